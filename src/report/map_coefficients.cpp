#include "report/map_coefficients.hpp"

#include <gemmi/math.hpp>
#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "crystal/axis_permutation.hpp"
#include "crystal/geometry.hpp"
#include "io/mtz_writer.hpp"

namespace zelt {

namespace {

const gemmi::SpaceGroup& gemmi_group(const unit_cell& cell) {
    const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_number(cell.group().number);
    if (!sg) throw std::runtime_error("space group unknown to the map coefficients");
    return *sg;
}

double wrapped_degrees(double phi) {
    phi = std::fmod(phi, 360.0);
    return phi < 0.0 ? phi + 360.0 : phi;
}

// Amplitude and phase (degrees, [0, 360)) of value * exp(i phi).
void signed_coefficient(double value, double phi, float& amplitude, float& phase) {
    if (value < 0.0) {
        value = -value;
        phi += 180.0;
    }
    amplitude = static_cast<float>(value);
    phase = static_cast<float>(wrapped_degrees(phi));
}

// Each reflection as the sigmaA estimate sees it, with |Fc| scaled onto Fo.
std::vector<sigma_a_reflection> scaled_reflections(const reflection_set& reflections,
                                                   const std::vector<std::complex<float>>& fc,
                                                   const std::vector<gemmi::Miller>& hkl, const gemmi::GroupOps& ops) {
    std::vector<double> fo, fc_amplitude, s2;
    for (std::size_t i = 0; i < fc.size(); ++i) {
        fo.push_back(reflections[i].f);
        fc_amplitude.push_back(std::abs(fc[i]));
        s2.push_back(reflections[i].s2);
    }
    const std::vector<double> scale = shell_scale(fo, fc_amplitude, s2);
    std::vector<sigma_a_reflection> out(fc.size());
    for (std::size_t i = 0; i < fc.size(); ++i) {
        out[i].fo = fo[i];
        out[i].fc = scale[i] * std::complex<double>(fc[i]);
        out[i].s2 = s2[i];
        out[i].epsilon = ops.epsilon_factor_without_centering(hkl[i]);
        out[i].centric = ops.is_reflection_centric(hkl[i]);
    }
    return out;
}

void add_column(map_coefficient_table& t, const char* label, char type) {
    t.labels.emplace_back(label);
    t.types.push_back(type);
}

// Moves the index of a row into the standard asymmetric unit; the phases in
// columns `phases` follow: phi(hR) = phi(h) - 2 pi h.t, and a Friedel mate
// takes the negative phase.
void move_to_asu(float* row, const std::vector<int>& phases, const gemmi::ReciprocalAsu& asu,
                 const gemmi::GroupOps& ops) {
    const gemmi::Miller hkl{{static_cast<int>(row[0]), static_cast<int>(row[1]), static_cast<int>(row[2])}};
    if (asu.is_in(hkl)) return;
    const auto [moved, isym] = asu.to_asu(hkl, ops);
    const double shift = gemmi::deg(ops.sym_ops[static_cast<std::size_t>((isym - 1) / 2)].phase_shift(hkl));
    for (int i = 0; i < 3; ++i) row[i] = static_cast<float>(moved[i]);
    for (int c : phases) {
        const double phi = row[c] + shift;
        row[c] = static_cast<float>(wrapped_degrees(isym % 2 == 1 ? phi : -phi));
    }
}

}  // namespace

map_coefficient_table map_coefficients(const reflection_set& reflections, const std::vector<std::complex<float>>& fc,
                                       const unit_cell& cell, int code, const reflection_extras& extras) {
    if (fc.size() != reflections.size())
        throw std::logic_error("map coefficients need one calculated value per reflection");
    const gemmi::SpaceGroup& sg = gemmi_group(cell);
    const gemmi::GroupOps ops = sg.operations();
    std::vector<gemmi::Miller> hkl;
    for (const reflection& r : reflections) {
        const miller_indices index{r.h, r.k, r.l};
        hkl.push_back(permuted_indices<int>(index, code));
    }
    const std::vector<sigma_a_reflection> scaled = scaled_reflections(reflections, fc, hkl, ops);

    map_coefficient_table t;
    t.shells = estimate_sigma_a(scaled);
    for (const char* label : {"H", "K", "L"}) add_column(t, label, 'H');
    const bool free = !extras.free_flag.empty(), sigma = !extras.sigma_f.empty();
    if (free) add_column(t, "FreeR_flag", 'I');
    add_column(t, "FP", 'F');
    if (sigma) add_column(t, "SIGFP", 'Q');
    for (const auto& [label, type] : {std::pair{"FC", 'F'}, {"PHIC", 'P'}, {"FWT", 'F'}, {"PHWT", 'P'},
                                      {"DELFWT", 'F'}, {"PHDELWT", 'P'}, {"FOM", 'W'}})
        add_column(t, label, type);
    const std::vector<int> phases{t.column("PHIC"), t.column("PHWT"), t.column("PHDELWT")};
    const gemmi::ReciprocalAsu asu(&sg);
    t.data.reserve(scaled.size() * t.columns());
    for (std::size_t i = 0; i < scaled.size(); ++i) {
        const sigma_a_reflection& r = scaled[i];
        const map_weight w = reflection_weight(t.shells, r, t.shells.shell[i]);
        const double fcalc = std::abs(r.fc);
        const double phi = wrapped_degrees(std::atan2(r.fc.imag(), r.fc.real()) * radians_to_degrees);
        std::vector<float> row{static_cast<float>(hkl[i][0]), static_cast<float>(hkl[i][1]),
                               static_cast<float>(hkl[i][2])};
        if (free) row.push_back(extras.free_flag[i]);
        row.push_back(static_cast<float>(r.fo));
        if (sigma) row.push_back(extras.sigma_f[i]);
        row.push_back(static_cast<float>(fcalc));
        row.push_back(static_cast<float>(phi));
        float a = 0, p = 0;
        signed_coefficient((r.centric ? 1.0 : 2.0) * w.m * r.fo - (r.centric ? 0.0 : w.d * fcalc), phi, a, p);
        row.insert(row.end(), {a, p});
        signed_coefficient(w.m * r.fo - w.d * fcalc, phi, a, p);
        row.insert(row.end(), {a, p, static_cast<float>(w.m)});
        move_to_asu(row.data(), phases, asu, ops);
        t.data.insert(t.data.end(), row.begin(), row.end());
    }
    return t;
}

void write_map_coefficients(const std::string& file_name, const map_coefficient_table& table, const unit_cell& cell) {
    write_mtz(file_name, cell, "zelt map coefficients of the best solution", table);
}

}  // namespace zelt
