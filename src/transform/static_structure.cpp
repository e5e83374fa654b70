#include "transform/static_structure.hpp"

#include <complex>
#include <limits>
#include <stdexcept>
#include <string>

#include "model/anisou.hpp"
#include "transform/fourier_map.hpp"
#include "crystal/axis_permutation.hpp"

namespace zelt {

void static_contribution(const unit_cell& cell, const placed_model_list& static_list, int code,
                         reflection_set& reflections, double d_min, double sampling) {
    bool any = false;
    for (const placed_model& m : static_list) any = any || !m.empty();
    if (!any) {
        for (reflection& r : reflections) r.static_re = r.static_im = 0.0f;
        return;
    }
    if (code < 0 || code > 2)
        throw std::logic_error("invalid axis-permutation code " + std::to_string(code));

    fourier_map map(cell, sampling, std::numeric_limits<double>::max(), d_min);
    for (const placed_model& m : static_list)
        for (const placed_atom& a : m) map.add_atom(a.site, a.occupancy, a.b, a.element);
    map.transform();

    for (reflection& r : reflections) {
        const miller_indices hkl{r.h, r.k, r.l};
        const auto [h, k, l] = permuted_indices<int>(hkl, code);
        const std::complex<float> f = map.structure_factor(h, k, l, cell.d_spacing(h, k, l));
        r.static_re = f.real();
        r.static_im = f.imag();
    }
}

void place_copies(const solution& s, const model_list& models, const std::vector<unit_cell>& cells,
                  placed_model_list& static_list, std::vector<fractional>& static_centres) {
    if (s.cell < 0 || static_cast<std::size_t>(s.cell) >= cells.size())
        throw std::logic_error("solution refers to cell " + std::to_string(s.cell) +
                               " outside the cell list");
    const unit_cell& cell = cells[static_cast<std::size_t>(s.cell)];
    for (const copy_placement& p : s.placements) {
        if (p.model < 0 || static_cast<std::size_t>(p.model) >= models.size())
            throw std::logic_error("solution refers to model " + std::to_string(p.model) +
                                   " outside the model list");
        const mat3 r = rotation_matrix(p.orientation);
        const position tc = cell.to_orthogonal(p.translation);
        const model& m = models[static_cast<std::size_t>(p.model)];
        placed_model placed;
        placed.reserve(m.size());
        fractional sum{0.0, 0.0, 0.0};
        for (const atom& a : m) {
            placed_atom& x = placed.emplace_back(place_atom(a, cell.to_fractional(mul(r, a.site) + tc)));
            if (!x.anisou.empty()) x.anisou = rotated_anisou(x.anisou, r);
            sum = sum + x.site;
        }
        // An empty model has no centre of its own: its centre is where it was
        // placed, rather than 0/0.
        const fractional centre = placed.empty() ? p.translation : sum / static_cast<double>(placed.size());
        static_list.push_back(std::move(placed));
        static_centres.push_back(centre);
    }
}

void number_copies(const solution& s, std::vector<int>& copies) {
    for (const copy_placement& p : s.placements) {
        const int last = copies.empty() ? -1 : copies.back();
        copies.push_back(p.segment > 0 && !copies.empty() ? last : last + 1);
    }
}

}  // namespace zelt
