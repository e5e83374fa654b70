#include "app/map_coefficients.hpp"

// The MTZ writer of gemmi is compiled here, using the C library's snprintf.
#define USE_STD_SNPRINTF
#define GEMMI_WRITE_IMPLEMENTATION
#include <gemmi/mtz.hpp>
#include <gemmi/symmetry.hpp>

#include <cmath>
#include <stdexcept>

#include "crystal/geometry.hpp"
#include "io/atomic_file.hpp"

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
        row.h = hkl[code];
        row.k = hkl[(code + 1) % 3];
        row.l = hkl[(code + 2) % 3];
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
    write_file_atomically(file_name, [&](const std::string& temporary) {
        gemmi::Mtz mtz(true);
        mtz.spacegroup = gemmi::find_spacegroup_by_number(cell.group().number);
        if (!mtz.spacegroup) throw std::runtime_error("space group unknown to the MTZ writer");
        mtz.title = "zelt map coefficients of the best solution";
        mtz.add_dataset("zelt");
        mtz.set_cell_for_all(gemmi::UnitCell(cell.a, cell.b, cell.c, cell.alpha * radians_to_degrees,
                                             cell.beta * radians_to_degrees, cell.gamma * radians_to_degrees));
        for (const auto& [label, type] : {std::pair{"FP", 'F'}, {"FC", 'F'}, {"PHIC", 'P'}, {"FWT", 'F'},
                                          {"PHWT", 'P'}, {"DELFWT", 'F'}, {"PHDELWT", 'P'}})
            mtz.add_column(label, type, -1, -1, false);
        static_assert(sizeof(map_coefficient_row) == 10 * sizeof(float));
        mtz.set_data(reinterpret_cast<const float*>(rows.data()), rows.size() * 10);
        mtz.write_to_file(temporary);
    });
}

}  // namespace zelt
