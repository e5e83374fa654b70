#include "io/reflection_files.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "crystal/cell_check.hpp"
#include "crystal/space_group.hpp"
#include "io/file_format.hpp"
#include "common/errors.hpp"
#include "io/miller_index_check.hpp"
#include "io/mmcif_reflections.hpp"
#include "io/mtz.hpp"
#include "io/observation_rule.hpp"
#include "io/text_input.hpp"

namespace zelt {

namespace {

bool ends_with(const std::string& s, const char* suffix) {
    const std::string tail(suffix);
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

[[noreturn]] void bad_line(const std::string& line) {
    throw std::runtime_error("invalid reflection data on this line: " + line);
}

void check_stream(const std::istream& in, const std::string& name) {
    if (in.bad()) throw io_error("error reading the file " + name);
}

// Columns first..last (1-based, inclusive) of a line known to reach `last`.
std::string columns(const std::string& line, std::size_t first, std::size_t last) {
    return line.substr(first - 1, last - first + 1);
}

// A merged value in single precision; one beyond its range becomes infinite
// (and is then dropped by the acceptance rule) rather than an undefined cast.
float to_float(double v) {
    return is_finite_float(v) ? static_cast<float>(v) : std::numeric_limits<float>::infinity();
}

// One reflection line of a scalepack file: h k l I sigma, or h k l I+ s+ I- s-
// merged into one intensity when the line reaches column 44, with the
// indices as written into `index`. False when the line holds a Friedel pair
// of which neither half was measured.
bool scalepack_reflection(const std::string& line, reflection& r, std::array<float, 3>& index) {
    if (line.size() < 28) bad_line(line);
    index = {field_to_float(columns(line, 1, 4)), field_to_float(columns(line, 5, 8)),
             field_to_float(columns(line, 9, 12))};
    // A value beyond single precision (1e39) is infinite, and left out by
    // the acceptance rule like any other non-finite value.
    r.f = to_float(field_to_double(columns(line, 13, 20)));
    r.sigma = to_float(field_to_double(columns(line, 21, 28)));
    if (line.size() < 44) return true;
    const double i_plus = r.f, s_plus = r.sigma;
    const double i_minus = field_to_double(columns(line, 29, 36));
    const double s_minus = field_to_double(columns(line, 37, 44));
    // A sigma that is not positive marks a measurement that is absent
    // (scalepack writes -1); it cannot carry a weight, so only the other
    // half of the pair is used, and a pair with neither half is unmeasured.
    const bool plus = s_plus > 0, minus = s_minus > 0;
    if (plus && minus) {
        const double w_plus = 1.0 / (s_plus * s_plus), w_minus = 1.0 / (s_minus * s_minus);
        r.f = to_float((i_plus * w_plus + i_minus * w_minus) / (w_plus + w_minus));
        r.sigma = to_float(0.5 * std::sqrt(s_plus * s_plus + s_minus * s_minus));
    } else if (minus) {
        r.f = to_float(i_minus);
        r.sigma = to_float(s_minus);
    }
    return plus || minus;
}

// One line of the plain text file: h k l F [sigma], the indices as written
// into `index`.
reflection plain_text_reflection(const std::string& line, std::array<float, 3>& index) {
    float v[5] = {0, 0, 0, 0, 0};
    const int n = std::sscanf(line.c_str(), "%f %f %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n < 4) bad_line(line);
    index = {v[0], v[1], v[2]};
    reflection r;
    r.f = v[3];
    r.sigma = n == 4 ? 1.0f : v[4];
    return r;
}

using cell_constants = std::array<double, 7>;  // a b c alpha beta gamma, space-group number

cell_constants mtz_cell(const mtz_file& mtz) {
    const auto cell = mtz.cell();
    return {cell[0], cell[1], cell[2], cell[3], cell[4], cell[5],
            static_cast<double>(mtz.space_group_number())};
}

// Third line of a scalepack file: six numbers and the space-group symbol.
// A value that cannot be read stays 0, and so do all after it.
cell_constants scalepack_cell(std::istream& in, const std::string& name) {
    cell_constants c{};
    skip_line(in);
    skip_line(in);
    std::string symbol;
    in >> c[0] >> c[1] >> c[2] >> c[3] >> c[4] >> c[5] >> symbol;
    check_stream(in, name);
    c[6] = symbol.empty() ? 0 : space_group_number_from_name(symbol);
    return c;
}

cell_constants plain_text_cell(std::istream& in, const std::string& name) {
    cell_constants c{};
    int number = 0;
    in >> c[0] >> c[1] >> c[2] >> c[3] >> c[4] >> c[5] >> number;
    check_stream(in, name);
    c[6] = number;
    return c;
}

// The content of a reflection file named on the command line: MTZ, mmCIF
// reflections or text. Coordinates (`coordinate_role` says what the file
// was taken for) and anything else unknown are refused.
content_kind reflection_content(std::string_view bytes, const std::string& name, const char* coordinate_role) {
    const content_kind kind = classify_content(bytes);
    switch (kind) {
        case content_kind::mmcif_model:
        case content_kind::pdb:
            throw std::runtime_error(name + " is a coordinate file; " + coordinate_role);
        case content_kind::mmcif_other:
        case content_kind::unknown:
            throw std::runtime_error(name +
                                     ": format not recognised (expected MTZ, mmCIF, scalepack or a cell file)");
        default:
            return kind;
    }
}

// Text content is scalepack when the name, without ".gz", says so.
bool named_scalepack(const std::string& name) {
    return file_kind_of(without_gz_suffix(name)) == reflection_file_kind::scalepack;
}

// A file whose name does not say MTZ or scalepack, recognised by its content
// (inflated when compressed): MTZ, mmCIF reflections, or text read as the
// name without ".gz" says.
cell_constants cell_from_content(const input_file& file, const std::string& mmcif_block) {
    const std::string& bytes = file.bytes;
    const std::string& name = file.name;
    const content_kind kind =
        reflection_content(bytes, name, "the first argument must hold the reflections");
    if (kind == content_kind::mtz) return mtz_cell(mtz_file(bytes, name));
    if (kind == content_kind::mmcif_reflections) {
        const mmcif_cell m = read_mmcif_cell(bytes, name, mmcif_block);
        const auto& k = m.constants;
        return {k[0], k[1], k[2], k[3], k[4], k[5], static_cast<double>(m.space_group)};
    }
    std::istringstream in(bytes);
    return named_scalepack(name) ? scalepack_cell(in, name) : plain_text_cell(in, name);
}

std::vector<unit_cell> checked_cell(const cell_constants& c, const std::string& name) {
    const int number = c[6] >= 1 && c[6] <= 230 ? static_cast<int>(c[6]) : 0;
    check_cell_constants({c[0], c[1], c[2], c[3], c[4], c[5]}, number, name);
    if (number == 0 || number != c[6])
        throw std::runtime_error("bad or missing space group information in input file " + name);
    std::vector<unit_cell> cells;
    cells.emplace_back(number, c[0], c[1], c[2], c[3], c[4], c[5]);
    return cells;
}

// The reflection lines of a scalepack or plain-text file; values that break
// the acceptance rule, and scalepack pairs with neither half measured, are
// counted in `dropped`.
void read_text_rows(std::istream& in, const std::string& name, bool scalepack, const unit_cell& cell,
                    double low, double high, reflection_set& set, std::size_t& dropped) {
    std::string line;
    if (scalepack)
        for (int i = 0; i < 3; ++i) skip_line(in);
    miller_index_tally indices;
    for (std::size_t number = scalepack ? 4 : 1; read_line(in, line); ++number) {
        reflection r;
        std::array<float, 3> written{};
        bool measured = true;
        on_line(name, number, [&] {
            if (scalepack)
                measured = scalepack_reflection(line, r, written);
            else
                r = plain_text_reflection(line, written);
            return 0;
        });
        const auto index = indices.whole(written[0], written[1], written[2]);
        if (!index) continue;   // the file is refused below
        r.set_indices(*index);
        if (!in_resolution_range(cell, low, high, r.h, r.k, r.l)) continue;
        if (measured)
            keep_acceptable(set, r, dropped);
        else
            ++dropped;
    }
    check_stream(in, name);
    indices.refuse_any(name);
    if (scalepack) intensities_to_amplitudes(set);
}

}  // namespace

reflection_file_kind file_kind_of(const std::string& name) {
    if (ends_with(name, ".mtz")) return reflection_file_kind::mtz;
    if (ends_with(name, ".sca")) return reflection_file_kind::scalepack;
    return reflection_file_kind::plain_text;
}

float field_to_float(const std::string& text) {
    try {
        return std::stof(text);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stof argument");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stof argument out of range");
    }
}

double field_to_double(const std::string& text) {
    try {
        return std::stod(text);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("invalid stod argument");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("stod argument out of range");
    }
}

std::vector<unit_cell> read_cell(const std::string& name, const std::string& mmcif_block) {
    return read_cell(load_input_file(name), mmcif_block);
}

std::vector<unit_cell> read_cell(const input_file& file, const std::string& mmcif_block) {
    // A file named .mtz is read as MTZ whatever it holds (and fails as one).
    if (file_kind_of(file.name) == reflection_file_kind::mtz)
        return checked_cell(mtz_cell(mtz_file(file.bytes, file.name)), file.name);
    return checked_cell(cell_from_content(file, mmcif_block), file.name);
}

reflection_set read_reflections(const unit_cell& cell, double low, double high,
                                const std::string& name, const std::string& mtz_column,
                                std::string& used_label, reflection_reading* reading) {
    return read_reflections(cell, low, high, load_input_file(name), mtz_column, used_label, reading);
}

reflection_set read_reflections(const unit_cell& cell, double low, double high, const input_file& file,
                                const std::string& mtz_column, std::string& used_label,
                                reflection_reading* reading) {
    used_label.clear();
    const std::string& name = file.name;
    const std::string& bytes = file.bytes;
    if (file_kind_of(name) == reflection_file_kind::mtz)
        return mtz_reflections(mtz_file(bytes, name), cell, low, high, name, mtz_column, used_label, reading);

    reflection_set set;
    set.reserve(4000);
    std::size_t dropped = 0;
    const content_kind content =
        reflection_content(bytes, name, "the reflections cannot be read from it");
    if (content == content_kind::mtz)
        return mtz_reflections(mtz_file(bytes, name), cell, low, high, name, mtz_column, used_label, reading);
    if (content == content_kind::mmcif_reflections) {
        mmcif_reflection_report report;
        set = read_mmcif_reflections(bytes, name, cell, low, high, mtz_column,
                                     reading ? reading->mmcif_block : std::string(), report);
        used_label = report.label;
        if (report.intensities) intensities_to_amplitudes(set, reading);
        if (reading) {
            reading->dropped += report.non_finite;
            reading->mmcif_data_block = report.block;
        }
        return set;
    }
    std::istringstream in(bytes);
    read_text_rows(in, name, named_scalepack(name), cell, low, high, set, dropped);
    if (reading) reading->dropped += dropped;
    return set;
}

}  // namespace zelt
