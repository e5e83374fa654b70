#include "io/mmcif_reflections.hpp"

#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <exception>
#include <stdexcept>

#include <gemmi/cif.hpp>
#include <gemmi/refln.hpp>

#include "common/errors.hpp"
#include "io/observation_rule.hpp"
#include "common/numbers.hpp"
#include "io/text_input.hpp"

namespace zelt {

namespace {

// A failure of the data itself (block, column, space group), reported as is;
// anything else gemmi throws means the file could not be read.
class choice_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct data_choice {
    std::string first, second;  // second: the Friedel mate averaged with first, or empty
    bool intensities = false;
};

std::vector<gemmi::ReflnBlock> parse_blocks(std::string_view bytes, const std::string& name) {
    gemmi::cif::Document doc = gemmi::cif::read_memory(bytes.data(), bytes.size(), name.c_str());
    return gemmi::as_refln_blocks(std::move(doc.blocks));
}

// The block named (or numbered) by `wanted`; the first with merged reflections by default.
gemmi::ReflnBlock& choose_block(std::vector<gemmi::ReflnBlock>& blocks, const std::string& wanted,
                                const std::string& name) {
    int index = 0;
    for (gemmi::ReflnBlock& b : blocks) {
        if (!b.refln_loop) continue;
        ++index;
        if (wanted.empty() || b.block.name == wanted || small_positive_number(wanted) == index)
            return b;
    }
    if (wanted.empty()) throw choice_error(name + ": no reflections (_refln loop) in any data block");
    throw choice_error(name + ": no data block '" + wanted + "' with reflections");
}

// The symbol from _symmetry (as gemmi reads it) or from the newer _space_group category.
const gemmi::SpaceGroup* space_group_of(const gemmi::ReflnBlock& b) {
    if (b.spacegroup) return b.spacegroup;
    if (const std::string* hm = b.block.find_value("_space_group.name_H-M_alt"))
        return gemmi::find_spacegroup_by_name(gemmi::cif::as_string(*hm), b.cell.alpha, b.cell.gamma);
    return nullptr;
}

int space_group_number(const gemmi::ReflnBlock& b, const std::string& name) {
    if (const gemmi::SpaceGroup* sg = space_group_of(b)) {
        if (!sg->is_reference_setting())
            throw choice_error(name + ": space group " + sg->xhm() + " is not in its standard setting");
        return sg->number;
    }
    for (const char* tag : {"_symmetry.Int_Tables_number", "_space_group.IT_number"})
        if (const std::string* v = b.block.find_value(tag)) {
            if (gemmi::cif::is_null(*v)) continue;
            const double n = gemmi::cif::as_number(*v);
            // Compared as a real first: 1e300 or 154.9 is no space-group number.
            if (!(n >= 1 && n <= 230 && n == std::nearbyint(n)))
                throw choice_error(name + ": the space-group number " + *v + " (" + tag +
                                   ") is not a whole number from 1 to 230");
            return static_cast<int>(n);
        }
    return 0;
}

// True when the block gives the three cell edges.
bool has_cell(const gemmi::ReflnBlock& b) {
    for (const char* tag : {"_cell.length_a", "_cell.length_b", "_cell.length_c"}) {
        const std::string* v = b.block.find_value(tag);
        if (v == nullptr || gemmi::cif::is_null(*v)) return false;
    }
    return true;
}

std::string strip_prefix(const std::string& label) {
    const std::string prefix = "_refln.";
    return label.compare(0, prefix.size(), prefix) == 0 ? label.substr(prefix.size()) : label;
}

bool has(const gemmi::ReflnBlock& b, const std::string& tag) { return b.find_column_index(tag) >= 0; }

data_choice requested_column(const gemmi::ReflnBlock& b, const std::string& column) {
    const std::string label = strip_prefix(column);
    if (!has(b, label)) throw choice_error("column with label '" + label + "' not found in mmCIF file");
    const bool amplitude = label.compare(0, 1, "F") == 0 || label.compare(0, 6, "pdbx_F") == 0;
    const bool intensity = label.compare(0, 9, "intensity") == 0 || label.compare(0, 6, "pdbx_I") == 0;
    if (label.find("sigma") != std::string::npos || (!amplitude && !intensity))
        throw choice_error("selected column in mmCIF file (" + label + ") is not of a suitable type");
    return {label, "", intensity};
}

data_choice default_column(const gemmi::ReflnBlock& b) {
    if (has(b, "F_meas_au")) return {"F_meas_au", "", false};
    if (has(b, "F_meas")) return {"F_meas", "", false};
    if (has(b, "pdbx_F_plus") || has(b, "pdbx_F_minus")) return {"pdbx_F_plus", "pdbx_F_minus", false};
    if (has(b, "intensity_meas")) return {"intensity_meas", "", true};
    if (has(b, "pdbx_I_plus") || has(b, "pdbx_I_minus")) return {"pdbx_I_plus", "pdbx_I_minus", true};
    throw choice_error(
        "No suitable data column found in the mmCIF file.\nYou can specify the column to be used by "
        "providing the item name (for example F_meas_au) with the option '-Z'.");
}

std::string sigma_of(const std::string& label) {
    if (label == "F_meas_au") return "F_meas_sigma_au";
    if (label == "F_meas") return "F_meas_sigma";
    if (label == "intensity_meas") return "intensity_sigma";
    return label + "_sigma";
}

// One measured value and its sigma; `present` false when missing or unusable.
struct measurement {
    bool present = false;
    double value = 0, sigma = 0;
};

// Reads one value of row `row`; a value that is not a finite number is counted.
measurement read_value(const gemmi::cif::Loop& loop, std::size_t row, int value_col, int sigma_col,
                       std::size_t& non_finite) {
    measurement m;
    if (value_col < 0) return m;
    const std::string& text = loop.val(row, static_cast<std::size_t>(value_col));
    if (gemmi::cif::is_null(text)) return m;
    const double v = gemmi::cif::as_number(text);
    if (!is_finite_float(v)) {
        ++non_finite;
        return m;
    }
    if (v < 0) return m;
    m.present = true;
    m.value = v;
    if (sigma_col >= 0) {
        const double s = gemmi::cif::as_number(loop.val(row, static_cast<std::size_t>(sigma_col)));
        if (std::isfinite(s) && s < FLT_MAX) m.sigma = s;
    }
    return m;
}

// A Friedel pair merged as in scalepack files: weighted by 1/sigma^2 when
// both sigmas are positive, otherwise the plain mean.
measurement merge_pair(const measurement& plus, const measurement& minus) {
    if (!plus.present) return minus;
    if (!minus.present) return plus;
    measurement m;
    m.present = true;
    if (plus.sigma > 0 && minus.sigma > 0) {
        const double wp = 1 / (plus.sigma * plus.sigma), wm = 1 / (minus.sigma * minus.sigma);
        m.value = (plus.value * wp + minus.value * wm) / (wp + wm);
    } else {
        m.value = 0.5 * (plus.value + minus.value);
    }
    m.sigma = 0.5 * std::sqrt(plus.sigma * plus.sigma + minus.sigma * minus.sigma);
    return m;
}

// A Miller index as the file writes it. gemmi's integer reader would wrap
// around on a word of many digits; such an index makes the file unreadable.
std::int32_t miller_index(const std::string& word) {
    const char* begin = word.data();
    const char* end = begin + word.size();
    if (begin != end && *begin == '+') ++begin;
    std::int32_t value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || value < -100000 || value > 100000)
        throw std::runtime_error("Miller index '" + word + "' is not an integer of a possible size");
    return value;
}

reflection_set read_rows(const gemmi::ReflnBlock& b, const data_choice& choice, const unit_cell& cell,
                         double low, double high, std::size_t& non_finite) {
    const auto hkl = b.get_hkl_column_indices();
    const gemmi::cif::Loop& loop = *b.refln_loop;
    const int v1 = b.find_column_index(choice.first), s1 = b.find_column_index(sigma_of(choice.first));
    const int v2 = choice.second.empty() ? -1 : b.find_column_index(choice.second);
    const int s2 = choice.second.empty() ? -1 : b.find_column_index(sigma_of(choice.second));
    reflection_set set;
    set.reserve(loop.length());
    for (std::size_t row = 0; row < loop.length(); ++row) {
        const measurement m = merge_pair(read_value(loop, row, v1, s1, non_finite),
                                         read_value(loop, row, v2, s2, non_finite));
        if (!m.present) continue;
        reflection r;
        r.h = miller_index(loop.val(row, hkl[0]));
        r.k = miller_index(loop.val(row, hkl[1]));
        r.l = miller_index(loop.val(row, hkl[2]));
        r.f = static_cast<float>(m.value);
        r.sigma = static_cast<float>(m.sigma);
        if (in_resolution_range(cell, low, high, r.h, r.k, r.l)) set.push_back(r);
    }
    return set;
}

// Runs `read`, turning gemmi's parse failures into io_error naming the file.
template <class F>
auto guarded(const std::string& name, F read) {
    try {
        return read();
    } catch (const choice_error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw io_error(name + ": not a readable mmCIF reflection file (" + e.what() + ")");
    }
}

}  // namespace

mmcif_cell read_mmcif_cell(std::string_view bytes, const std::string& name, const std::string& block) {
    return guarded(name, [&] {
        std::vector<gemmi::ReflnBlock> blocks = parse_blocks(bytes, name);
        const gemmi::ReflnBlock& b = choose_block(blocks, block, name);
        // Without its _cell items gemmi leaves a cell of 1 A edges. A later
        // block of a deposited file may leave them to the first block.
        const gemmi::ReflnBlock* with_cell = has_cell(b) ? &b : nullptr;
        for (const gemmi::ReflnBlock& other : blocks)
            if (with_cell == nullptr && has_cell(other)) with_cell = &other;
        if (with_cell == nullptr)
            throw choice_error(name + ": no data block gives the unit cell (_cell.length_a, _cell.length_b, "
                                      "_cell.length_c)");
        const gemmi::UnitCell& k = with_cell->cell;
        mmcif_cell c;
        c.constants = {k.a, k.b, k.c, k.alpha, k.beta, k.gamma};
        c.space_group = space_group_number(b, name);
        if (c.space_group == 0 && with_cell != &b) c.space_group = space_group_number(*with_cell, name);
        return c;
    });
}

reflection_set read_mmcif_reflections(std::string_view bytes, const std::string& name,
                                      const unit_cell& cell, double low, double high,
                                      const std::string& column, const std::string& block,
                                      mmcif_reflection_report& report) {
    return guarded(name, [&] {
        std::vector<gemmi::ReflnBlock> blocks = parse_blocks(bytes, name);
        const gemmi::ReflnBlock& b = choose_block(blocks, block, name);
        const data_choice choice = column.empty() ? default_column(b) : requested_column(b, column);
        report.block = b.block.name;
        report.label = choice.second.empty() ? choice.first : choice.first + "/" + choice.second;
        report.non_finite = 0;
        report.intensities = choice.intensities;
        return read_rows(b, choice, cell, low, high, report.non_finite);
    });
}

}  // namespace zelt

namespace zelt {

std::vector<std::pair<std::array<int, 3>, float>> read_mmcif_free_flags(std::string_view bytes, const std::string& name,
                                                                        const std::string& block, std::string& label) {
    return guarded(name, [&] {
        std::vector<gemmi::ReflnBlock> blocks = parse_blocks(bytes, name);
        const gemmi::ReflnBlock& b = choose_block(blocks, block, name);
        std::vector<std::pair<std::array<int, 3>, float>> flags;
        label.clear();
        const int numbered = b.find_column_index("pdbx_r_free_flag");
        const int status = numbered >= 0 ? -1 : b.find_column_index("status");
        const int column = numbered >= 0 ? numbered : status;
        if (column < 0) return flags;
        label = numbered >= 0 ? "pdbx_r_free_flag" : "status";
        const auto hkl = b.get_hkl_column_indices();
        const gemmi::cif::Loop& loop = *b.refln_loop;
        for (std::size_t row = 0; row < loop.length(); ++row) {
            const std::string& text = loop.val(row, static_cast<std::size_t>(column));
            if (gemmi::cif::is_null(text)) continue;
            float flag = 0.0f;
            if (numbered >= 0) {
                const double v = gemmi::cif::as_number(text);
                if (!std::isfinite(v)) continue;
                flag = static_cast<float>(v);
            } else {
                const std::string s = gemmi::cif::as_string(text);
                if (s != "f" && s != "o") continue;
                flag = s == "f" ? 0.0f : 1.0f;
            }
            const std::array<int, 3> index{miller_index(loop.val(row, hkl[0])), miller_index(loop.val(row, hkl[1])),
                                           miller_index(loop.val(row, hkl[2]))};
            flags.emplace_back(index, flag);
        }
        return flags;
    });
}

}  // namespace zelt
