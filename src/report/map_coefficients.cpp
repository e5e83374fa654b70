#include "report/map_coefficients.hpp"

#include <cmath>
#include <stdexcept>

#include "crystal/geometry.hpp"
#include "crystal/axis_permutation.hpp"
#include "io/mtz_writer.hpp"

namespace zelt {

namespace {

// Amplitude and phase (degrees, [0, 360)) of value * exp(i phi).
void signed_coefficient(double value, double phi, float& amplitude, float& phase) {
    if (value < 0.0) {
        value = -value;
        phi += 180.0;
    }
    amplitude = static_cast<float>(value);
    phase = static_cast<float>(std::fmod(phi, 360.0));
}

}  // namespace

std::vector<map_coefficient_row> map_coefficients(const reflection_set& reflections,
                                                  const std::vector<std::complex<float>>& fc,
                                                  int code) {
    if (fc.size() != reflections.size())
        throw std::logic_error("map coefficients need one calculated value per reflection");
    double sum_fo = 0.0, sum_fc = 0.0;
    for (std::size_t i = 0; i < fc.size(); ++i) {
        sum_fo += reflections[i].f;
        sum_fc += std::abs(fc[i]);
    }
    const double scale = sum_fc > 0.0 ? sum_fo / sum_fc : 0.0;
    std::vector<map_coefficient_row> rows;
    rows.reserve(fc.size());
    for (std::size_t i = 0; i < fc.size(); ++i) {
        const reflection& r = reflections[i];
        const float hkl[3] = {r.h, r.k, r.l};
        map_coefficient_row row;
        const std::array<float, 3> indices = permuted_indices<float>(hkl, code);
        row.h = indices[0];
        row.k = indices[1];
        row.l = indices[2];
        row.fobs = r.f;
        const double fcalc = scale * std::abs(fc[i]);
        double phi = std::atan2(fc[i].imag(), fc[i].real()) * radians_to_degrees;
        if (phi < 0.0) phi += 360.0;
        row.fcalc = static_cast<float>(fcalc);
        row.phi = static_cast<float>(phi);
        signed_coefficient(2.0 * r.f - fcalc, phi, row.fwt, row.phwt);
        signed_coefficient(r.f - fcalc, phi, row.delfwt, row.phdelwt);
        rows.push_back(row);
    }
    return rows;
}

void write_map_coefficients(const std::string& file_name, const reflection_set& reflections,
                            const std::vector<std::complex<float>>& fc, const unit_cell& cell,
                            int code) {
    const std::vector<map_coefficient_row> rows = map_coefficients(reflections, fc, code);
    std::vector<mtz_column> columns;
    for (const auto& [label, type] : {std::pair{"H", 'H'}, {"K", 'H'}, {"L", 'H'}, {"FP", 'F'}, {"FC", 'F'},
                                      {"PHIC", 'P'}, {"FWT", 'F'}, {"PHWT", 'P'}, {"DELFWT", 'F'}, {"PHDELWT", 'P'}})
        columns.push_back({label, type, {}});
    for (const map_coefficient_row& row : rows) {
        const float values[] = {row.h,   row.k,    row.l,   row.fobs,   row.fcalc,
                                row.phi, row.fwt, row.phwt, row.delfwt, row.phdelwt};
        for (std::size_t c = 0; c < columns.size(); ++c) columns[c].values.push_back(values[c]);
    }
    write_mtz(file_name, cell, "zelt map coefficients of the best solution", columns);
}

}  // namespace zelt
