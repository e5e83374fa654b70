#include "io/reflection_extras.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "io/file_format.hpp"
#include "io/mmcif_reflections.hpp"
#include "io/mtz.hpp"
#include "io/observation_rule.hpp"
#include "io/reflection_files.hpp"

namespace zelt {

namespace {

constexpr float missing = std::numeric_limits<float>::quiet_NaN();

long long index_key(long long h, long long k, long long l) {
    auto part = [](long long v) { return v + (1 << 20); };
    return (part(h) << 42) | (part(k) << 21) | part(l);
}

long long index_key(const reflection& r) { return index_key(r.h, r.k, r.l); }

// The key of indices an MTZ file stores as reals, rounded to the nearest integers.
long long rounded_index_key(double h, double k, double l) {
    return index_key(std::lround(h), std::lround(k), std::lround(l));
}

using value_map = std::unordered_map<long long, float>;

std::vector<float> matched(const reflection_set& reflections, const value_map& values) {
    std::vector<float> out;
    out.reserve(reflections.size());
    for (const reflection& r : reflections) {
        const auto it = values.find(index_key(r));
        out.push_back(it == values.end() ? missing : it->second);
    }
    return out;
}

std::vector<float> sigmas(const reflection_set& reflections, const unit_cell& cell, double low, double high,
                          const input_file& file, const std::string& column, const std::string& block) {
    reflection_reading reading;
    reading.sigma_weighting = true;
    reading.mmcif_block = block;
    std::string label;
    const reflection_set again = read_reflections(cell, low, high, file, column, label, &reading);
    value_map values;
    bool informative = false;
    for (const reflection& r : again) {
        values[index_key(r)] = r.sigma;
        informative = informative || (r.sigma != 0.0f && r.sigma != 1.0f);
    }
    return informative ? matched(reflections, values) : std::vector<float>{};
}

value_map mtz_free_flags(const mtz_file& mtz, std::string& label) {
    value_map flags;
    int column = -1;
    for (const char* wanted : free_flag_labels)
        if (column < 0 && mtz.column_type(wanted) == 'I') {
            column = mtz.column_index(wanted);
            label = wanted;
        }
    const int h = mtz.column_index("H"), k = mtz.column_index("K"), l = mtz.column_index("L");
    if (column < 0 || h < 0 || k < 0 || l < 0 || !mtz.has_rows() || column >= mtz.column_count()) return flags;
    for (std::int64_t r = 0; r < mtz.row_count(); ++r) {
        const float flag = mtz.value(r, column);
        if (!std::isnan(flag)) flags[rounded_index_key(mtz.value(r, h), mtz.value(r, k), mtz.value(r, l))] = flag;
    }
    return flags;
}

value_map free_flags(const input_file& file, const std::string& block, std::string& label) {
    const std::string& name = file.name;
    if (file_kind_of(name) == reflection_file_kind::scalepack) return {};
    const std::string& bytes = file.bytes;
    if (mtz_file::is_mtz(bytes)) return mtz_free_flags(mtz_file(bytes, name), label);
    value_map flags;
    if (classify_content(bytes) != content_kind::mmcif_reflections) return flags;
    for (const auto& [hkl, flag] : read_mmcif_free_flags(bytes, name, block, label))
        flags[index_key(hkl[0], hkl[1], hkl[2])] = flag;
    return flags;
}

}  // namespace

reflection_extras read_reflection_extras(const reflection_set& reflections, const unit_cell& cell, double low,
                                         double high, const input_file& file, const std::string& column,
                                         const std::string& mmcif_block) {
    reflection_extras extras;
    extras.sigma_f = sigmas(reflections, cell, low, high, file, column, mmcif_block);
    const value_map flags = free_flags(file, mmcif_block, extras.free_label);
    if (!flags.empty()) extras.free_flag = matched(reflections, flags);
    return extras;
}

}  // namespace zelt
