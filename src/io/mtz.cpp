#include "io/mtz.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "common/errors.hpp"
#include "io/file_format.hpp"
#include "io/miller_index_check.hpp"
#include "io/observation_rule.hpp"
#include "io/text_input.hpp"

namespace zelt {

namespace {

constexpr std::int64_t data_start = 80;    // first reflection row
constexpr std::int64_t record_length = 80; // header records

std::string file_label(const std::string& name) { return name.empty() ? "" : " " + name; }

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\0' || c == '\r' || c == '\n'; }

std::vector<std::string> split_words(const char* p, std::size_t n) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < n) {
        while (i < n && is_separator(p[i])) ++i;
        std::size_t j = i;
        while (j < n && !is_separator(p[j])) ++j;
        if (j > i) words.emplace_back(p + i, j - i);
        i = j;
    }
    return words;
}

// Leading integer of a header word, read as a stream would read it.
bool parse_integer(const std::string& word, std::int64_t& out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(word.c_str(), &end, 10);
    if (end == word.c_str() || errno == ERANGE) return false;
    out = v;
    return true;
}

bool parse_real(const std::string& word, double& out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || errno == ERANGE) return false;
    out = v;
    return true;
}

std::uint32_t load_u32(const std::string& bytes, std::int64_t offset, bool big_endian) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    if (big_endian)
        return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) |
               (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
    return (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[1]) << 8) | std::uint32_t(p[0]);
}

}  // namespace

bool mtz_file::is_mtz(const std::string& bytes) {
    return bytes.size() >= 4 && bytes.compare(0, 4, "MTZ ") == 0;
}

mtz_file mtz_file::open(const std::string& name) {
    // Read whole (a failing read is an error, not the end of the file) and
    // inflated when the file is gzip-compressed.
    return mtz_file(read_input_file(name), name);
}

mtz_file::mtz_file(std::string bytes, const std::string& name) : bytes_(std::move(bytes)) {
    if (!is_mtz(bytes_))
        throw std::runtime_error("the file" + file_label(name) + " is not a valid MTZ file");
    const std::string corrupt = "the MTZ file" + file_label(name) + " is truncated or corrupted: ";
    const auto size = static_cast<std::int64_t>(bytes_.size());
    if (size < 12) throw io_error(corrupt + "it ends inside its file header");

    // The high four bits of the first machine-stamp byte give the number
    // format: 4 is little-endian IEEE, anything else is taken as big-endian.
    big_endian_ = (static_cast<unsigned char>(bytes_[8]) >> 4) != 4;
    const auto pointer = static_cast<std::int32_t>(load_u32(bytes_, 4, big_endian_));
    const std::int64_t header_start = 4 * (static_cast<std::int64_t>(pointer) - 1);
    if (header_start < data_start || header_start >= size)
        throw io_error(corrupt + "its header position (word " + std::to_string(pointer) +
                       ") lies outside the file");

    bool ended = false;
    for (std::int64_t pos = header_start; pos + record_length <= size; pos += record_length) {
        auto words = split_words(bytes_.data() + pos, record_length);
        record r;
        if (!words.empty()) {
            r.keyword = std::move(words.front());
            r.fields.assign(std::make_move_iterator(words.begin() + 1),
                            std::make_move_iterator(words.end()));
        }
        if (r.keyword == "END") {
            ended = true;
            break;
        }
        header_.push_back(std::move(r));
    }
    if (!ended) throw io_error(corrupt + "its header has no END record");

    for (const auto& r : header_) {
        if (r.keyword == "COL" || r.keyword.compare(0, 4, "COLU") == 0) {
            if (r.fields.size() < 2)
                throw io_error(corrupt + "a column record lacks its label or type");
            columns_.push_back({r.fields[0], r.fields[1]});
        }
    }

    std::vector<std::string> ncol_fields;
    if (find_record("NCOL", &ncol_fields)) {
        if (ncol_fields.size() < 2 || !parse_integer(ncol_fields[0], ncol_) ||
            !parse_integer(ncol_fields[1], nref_))
            throw io_error(corrupt + "unreadable number in its NCOL record");
        if (ncol_ < 0 || nref_ < 0)
            throw io_error(corrupt + "negative counts in its NCOL record");
        // The rows fill the space between byte 80 and the header exactly;
        // counts that need more than that cannot be right.
        const std::int64_t room = (header_start - data_start) / 4;
        if (ncol_ > room || (ncol_ > 0 && nref_ > room / ncol_))
            throw io_error(corrupt + "its NCOL record announces " + std::to_string(nref_) +
                           " rows of " + std::to_string(ncol_) +
                           " columns, more than the file holds");
        has_ncol_ = true;
    }
}

bool mtz_file::find_record(const std::string& keyword, std::vector<std::string>* fields) const {
    for (const auto& r : header_) {
        if (r.keyword == keyword) {
            if (fields) *fields = r.fields;
            return true;
        }
    }
    return false;
}

std::array<double, 6> mtz_file::cell() const {
    std::array<double, 6> cell{};
    std::vector<std::string> fields;
    std::size_t first = 0;
    std::string keyword = "CELL";
    if (!find_record("CELL", &fields)) {
        if (!find_record("DCELL", &fields)) return cell;
        keyword = "DCELL";
        first = 1;   // dataset identifier
    }
    for (std::size_t i = 0; i < 6; ++i) {
        if (first + i >= fields.size() || !parse_real(fields[first + i], cell[i]))
            throw io_error("the MTZ file is corrupted: unreadable number in its " + keyword +
                           " record");
    }
    return cell;
}

int mtz_file::space_group_number() const {
    std::vector<std::string> fields;
    if (!find_record("SYMINF", &fields)) return 0;
    std::int64_t n = 0;
    if (fields.size() < 4 || !parse_integer(fields[3], n))
        throw io_error("the MTZ file is corrupted: unreadable number in its SYMINF record");
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(n);
}

int mtz_file::column_index(const std::string& label) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].label == label) return static_cast<int>(i);
    return -1;
}

char mtz_file::column_type(const std::string& label) const {
    int i = column_index(label);
    if (i < 0 || columns_[i].type.empty()) return '\0';
    return columns_[i].type.front();
}

std::string mtz_file::first_column_with_prefix(const std::string& prefix) const {
    for (const auto& c : columns_)
        if (c.label.compare(0, prefix.size(), prefix) == 0) return c.label;
    return {};
}

std::string mtz_file::first_column_of_type(char type) const {
    for (const auto& c : columns_)
        if (!c.type.empty() && c.type.front() == type) return c.label;
    return {};
}

mtz_column_choice mtz_file::choose_data_column(const std::string& requested) const {
    std::string label;
    if (!requested.empty()) {
        if (column_index(requested) < 0) {
            std::string labels;
            for (const mtz_column& c : columns_) labels += (labels.empty() ? "" : ", ") + c.label;
            throw std::runtime_error("column with label '" + requested + "' not found in MTZ file (its columns: " +
                                     labels + ")");
        }
        label = requested;
    }
    if (label.empty()) {
        for (const char* name : {"FP", "F", "FNAT", "I", "IMEAN"}) {
            if (column_index(name) >= 0) {
                label = name;
                break;
            }
        }
    }
    if (label.empty()) {
        for (const char* prefix : {"FP_", "F_", "I_"}) {
            label = first_column_with_prefix(prefix);
            if (!label.empty()) break;
        }
    }
    if (label.empty()) {
        for (char type : {'F', 'J', 'G', 'K'}) {
            label = first_column_of_type(type);
            if (!label.empty()) break;
        }
    }
    if (label.empty())
        throw std::runtime_error(
            "No suitable data column found in the MTZ file.\nYou can specify the column to be "
            "used by providingthe column label with the option '-Z'.");

    mtz_column_choice choice;
    choice.label = label;
    switch (column_type(label)) {
        case 'F': case 'G': choice.kind = data_kind::amplitudes; break;
        case 'J': case 'K': choice.kind = data_kind::intensities; break;
        default:
            throw std::runtime_error("selected column in MTZ file (" + label +
                                     ") is not of a suitable type");
    }
    return choice;
}

int mtz_file::sigma_column_index(int data_index) const {
    if (data_index < 0 || data_index + 1 >= static_cast<int>(columns_.size())) return -1;
    const std::string& data_type = columns_[data_index].type;
    const std::string& next_type = columns_[data_index + 1].type;
    if (data_type.empty() || next_type.empty()) return -1;
    char expected = '\0';
    switch (data_type.front()) {
        case 'F': case 'J': expected = 'Q'; break;
        case 'G': expected = 'L'; break;
        case 'K': expected = 'M'; break;
        default: return -1;
    }
    return next_type.front() == expected ? data_index + 1 : -1;
}

float mtz_file::value(std::int64_t r, std::int64_t c) const {
    if (!has_ncol_ || r < 0 || r >= nref_ || c < 0 || c >= ncol_)
        throw io_error("MTZ value outside the rows of the file (row " + std::to_string(r) +
                       ", column " + std::to_string(c) + ")");
    const std::int64_t offset = data_start + 4 * (r * ncol_ + c);
    const std::uint32_t bits = load_u32(bytes_, offset, big_endian_);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::array<float, 4> mtz_file::read_row(std::int64_t r, int h, int k, int l, int data) const {
    return {value(r, h), value(r, k), value(r, l), value(r, data)};
}

namespace {

// The columns of the Miller indices H, K and L; refused by name when one is
// missing.
std::array<int, 3> index_columns(const mtz_file& mtz) {
    const int h = mtz.column_index("H"), k = mtz.column_index("K"), l = mtz.column_index("L");
    std::vector<std::string> missing;
    if (h < 0) missing.push_back("H");
    if (k < 0) missing.push_back("K");
    if (l < 0) missing.push_back("L");
    if (!missing.empty()) {
        std::string list = "'" + missing[0] + "'";
        for (std::size_t i = 1; i < missing.size(); ++i)
            list += (i + 1 == missing.size() ? " and '" : ", '") + missing[i] + "'";
        throw std::runtime_error(std::string(missing.size() == 1 ? "Miller index column "
                                                                 : "Miller index columns ") +
                                 list + " not found in MTZ file");
    }
    return {h, k, l};
}

// The file's columns of amplitudes or intensities, for the report.
void note_data_columns(const mtz_file& mtz, const std::string& mtz_column, reflection_reading& reading) {
    reading.automatic_choice = mtz_column.empty();
    for (const auto& c : mtz.columns())
        if (!c.type.empty() && std::string("FJGK").find(c.type.front()) != std::string::npos)
            reading.data_columns.push_back(c.label + " (" + c.type + ")");
}

}  // namespace

reflection_set mtz_reflections(const mtz_file& mtz, const unit_cell& cell, double low, double high,
                               const std::string& name, const std::string& mtz_column,
                               std::string& used_label, reflection_reading* reading) {
    const mtz_column_choice choice = mtz.choose_data_column(mtz_column);
    const auto [h, k, l] = index_columns(mtz);
    const int data = mtz.column_index(choice.label);
    const int sigma = mtz.sigma_column_index(data);

    reflection_set set;
    set.reserve(4000);
    used_label = choice.label;
    if (!mtz.has_rows()) return set;

    for (int c : {h, k, l, data, sigma}) {
        if (c >= mtz.column_count())
            throw io_error("the MTZ file " + name + " is corrupted: column '" +
                           mtz.columns()[c].label + "' lies beyond the " +
                           std::to_string(mtz.column_count()) + " columns of its rows");
    }

    if (reading) note_data_columns(mtz, mtz_column, *reading);
    std::size_t dropped = 0, negative = 0;
    miller_index_tally indices;
    for (std::int64_t r = 0; r < mtz.row_count(); ++r) {
        const auto row = mtz.read_row(r, h, k, l, data);
        const auto index = indices.whole(row[0], row[1], row[2]);
        if (!index) continue;   // the file is refused below
        const float v = row[3];
        // NaN is the format's mark of a missing value; negative values are
        // not used either, but counted.
        if (std::isnan(v)) continue;
        const auto [ih, ik, il] = *index;
        if (!in_resolution_range(cell, low, high, ih, ik, il)) continue;
        if (v < 0) {
            ++negative;
            continue;
        }
        reflection refl;
        refl.set_indices(*index);
        refl.f = v;
        if (sigma >= 0) {
            const float s = mtz.value(r, sigma);
            // A missing (NaN) or negative sigma reads as "none".
            refl.sigma = (std::isnan(s) || s < 0) ? 0.0f : s;
        }
        keep_acceptable(set, refl, dropped);
    }
    indices.refuse_any(name);
    if (reading) {
        reading->dropped += dropped;
        reading->negative += negative;
        reading->intensities = choice.kind == data_kind::intensities;
    }
    if (choice.kind == data_kind::intensities) intensities_to_amplitudes(set, reading);
    return set;
}

}  // namespace zelt
