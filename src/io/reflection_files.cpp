#include "io/reflection_files.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "crystal/space_group.hpp"
#include "io/io_error.hpp"
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
// merged into one intensity when the line reaches column 44. False when the
// line holds a Friedel pair of which neither half was measured.
bool scalepack_reflection(const std::string& line, reflection& r) {
    if (line.size() < 28) bad_line(line);
    r.h = field_to_float(columns(line, 1, 4));
    r.k = field_to_float(columns(line, 5, 8));
    r.l = field_to_float(columns(line, 9, 12));
    r.f = field_to_float(columns(line, 13, 20));
    r.sigma = field_to_float(columns(line, 21, 28));
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

reflection plain_text_reflection(const std::string& line) {
    float v[5] = {0, 0, 0, 0, 0};
    const int n = std::sscanf(line.c_str(), "%f %f %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n < 4) bad_line(line);
    reflection r;
    r.h = v[0];
    r.k = v[1];
    r.l = v[2];
    r.f = v[3];
    r.sigma = n == 4 ? 1.0f : v[4];
    return r;
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

std::vector<unit_cell> read_cell(const std::string& name) {
    double p[6] = {0, 0, 0, 0, 0, 0};
    int number = 0;
    switch (file_kind_of(name)) {
        case reflection_file_kind::mtz: {
            const mtz_file mtz = mtz_file::open(name);
            const auto cell = mtz.cell();
            for (int i = 0; i < 6; ++i) p[i] = cell[i];
            number = mtz.space_group_number();
            break;
        }
        case reflection_file_kind::scalepack: {
            std::ifstream in;
            open_input_file(in, name);
            skip_line(in);
            skip_line(in);
            // A value that cannot be read stays 0, and so do all after it.
            std::string symbol;
            in >> p[0] >> p[1] >> p[2] >> p[3] >> p[4] >> p[5] >> symbol;
            check_stream(in, name);
            number = symbol.empty() ? 0 : space_group_number_from_name(symbol);
            break;
        }
        case reflection_file_kind::plain_text: {
            std::ifstream in;
            open_input_file(in, name);
            in >> p[0] >> p[1] >> p[2] >> p[3] >> p[4] >> p[5] >> number;
            check_stream(in, name);
            break;
        }
    }
    for (double v : p)
        if (!(v > 0) || !std::isfinite(v)) throw std::runtime_error("bad cell definition in input file");
    if (number < 1 || number > 230)
        throw std::runtime_error("bad or missing space group information in input file");

    std::vector<unit_cell> cells;
    cells.emplace_back(number, p[0], p[1], p[2], p[3], p[4], p[5]);
    // Angles that close no cell (say 90 90 200) leave no volume.
    if (!(cells.front().volume > 0) || !std::isfinite(cells.front().volume))
        throw std::runtime_error("bad cell definition in input file");
    return cells;
}

reflection_set read_reflections(const unit_cell& cell, double low, double high,
                                const std::string& name, const std::string& mtz_column,
                                std::string& used_label, reflection_reading* reading) {
    used_label.clear();
    const auto kind = file_kind_of(name);
    if (kind == reflection_file_kind::mtz)
        return read_mtz_reflections(cell, low, high, name, mtz_column, used_label, reading);

    reflection_set set;
    set.reserve(4000);
    std::ifstream in;
    open_input_file(in, name);
    std::string line;
    std::size_t dropped = 0;
    if (kind == reflection_file_kind::scalepack) {
        for (int i = 0; i < 3; ++i) skip_line(in);
        while (read_line(in, line)) {
            reflection r;
            const bool measured = scalepack_reflection(line, r);
            if (!in_resolution_range(cell, low, high, r.h, r.k, r.l)) continue;
            if (measured) keep_acceptable(set, r, dropped);
            else ++dropped;
        }
        check_stream(in, name);
        intensities_to_amplitudes(set);
    } else {
        while (read_line(in, line)) {
            const reflection r = plain_text_reflection(line);
            if (in_resolution_range(cell, low, high, r.h, r.k, r.l)) keep_acceptable(set, r, dropped);
        }
        check_stream(in, name);
    }
    if (reading) reading->dropped += dropped;
    return set;
}

}  // namespace zelt
