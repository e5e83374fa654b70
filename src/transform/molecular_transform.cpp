#include "transform/molecular_transform.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "common/errors.hpp"
#include "transform/fourier_map.hpp"

namespace zelt {

vec3 transform_box_edges(const model& m, double scale) {
    position lo{0.0, 0.0, 0.0}, hi{0.0, 0.0, 0.0};
    if (!m.empty()) {
        lo = hi = m.front().site;
        for (const atom& a : m) {
            const position& x = a.site;
            for (int i = 0; i < 3; ++i) {
                lo[i] = std::min(lo[i], x[i]);
                hi[i] = std::max(hi[i], x[i]);
            }
        }
    }
    vec3 edges;
    for (int i = 0; i < 3; ++i) edges[i] = std::max(hi[i] - lo[i], 10.0) * scale;
    return edges;
}

namespace {

// Largest table index along one axis: far beyond any box that fits in
// memory, and small enough that the index arithmetic cannot overflow.
constexpr double max_transform_index = 100000.0;

// Each edge within the index limit and the whole box within the cell limit.
bool box_fits(const vec3& e, double d_min) {
    for (double edge : e)
        if (!(edge / d_min <= max_transform_index)) return false;
    return (e[0] / d_min) * (e[1] / d_min) * (e[2] / d_min) <= max_transform_cells;
}

}  // namespace

void check_transform_box(const model& m, double d_min, double scale, const std::string& name) {
    if (!(d_min > 0.0) || !std::isfinite(d_min) || !(scale > 0.0) || !std::isfinite(scale)) return;
    const vec3 e = transform_box_edges(m, scale);
    if (box_fits(e, d_min)) return;
    std::ostringstream text;
    text << "the transform box of the model " << name << ", " << e[0] << " x " << e[1] << " x " << e[2]
         << " A (atom extents times transform.scale=" << scale << "), is too large for the resolution limit of "
         << d_min << " A: at most " << static_cast<long long>(max_transform_cells)
         << " cells of the limit's cube (check transform.scale and the atom coordinates)";
    throw range_refusal(text.str());
}

transform_box model_transform_box(const model& m, double d_min, double scale) {
    // Guard the index search below, which would never end for d_min <= 0.
    if (!(d_min > 0.0) || !std::isfinite(d_min))
        throw std::runtime_error("the high resolution limit must be a positive number");
    if (!(scale > 0.0) || !std::isfinite(scale))
        throw std::runtime_error("the transform box scale must be a positive number");
    const vec3 e = transform_box_edges(m, scale);
    for (double edge : e)
        if (!(edge / d_min <= max_transform_index))
            throw range_refusal("the transform box of a model is too large for the resolution limit "
                                "(check transform.scale and the atom coordinates)");
    const unit_cell box(1, e[0], e[1], e[2], 90.0, 90.0, 90.0);

    // First index along each axis beyond the resolution limit. Along an
    // edge of length a the spacing of index n is a/n, so the index is close
    // to a/d_min + 1; the steps below settle the rounding of d_spacing.
    auto limit = [&](int axis) {
        auto d = [&](int n) {
            return box.d_spacing(axis == 0 ? n : 0, axis == 1 ? n : 0, axis == 2 ? n : 0);
        };
        int n = std::max(1, static_cast<int>(std::floor(e[axis] / d_min)) + 1);
        while (n > 1 && d(n - 1) < d_min) --n;
        while (!(d(n) < d_min)) ++n;
        return n;
    };
    const int h_max = limit(0), k_max = limit(1), l_max = limit(2);
    const double d_t = std::min({box.d_spacing(h_max, 0, 0), box.d_spacing(0, k_max, 0),
                                 box.d_spacing(0, 0, l_max)});
    return {box, h_max, k_max, l_max, d_t};
}

std::unique_ptr<molecular_transform> build_molecular_transform(const model& m, double d_min,
                                                               double scale, double sampling) {
    const transform_box tb = model_transform_box(m, d_min, scale);
    const unit_cell& box = tb.cell;
    const int h_max = tb.h_max, k_max = tb.k_max, l_max = tb.l_max;
    const double d_t = tb.d_t;

    transform_table table(h_max, k_max, l_max);
    {
        fourier_map map(box, sampling, std::numeric_limits<double>::max(), d_t);
        for (const atom& a : m)
            map.add_atom(box.to_fractional(a.site), a.occupancy, a.b, a.element);
        map.transform();
        for (int h = -h_max; h <= h_max; ++h)
            for (int k = -k_max; k <= k_max; ++k)
                for (int l = -1; l <= l_max; ++l) {
                    if (h == 0 && k == 0 && l == 0) continue;
                    if (box.d_spacing(h, k, l) > d_t) table.at(h, k, l) = map.structure_factor(h, k, l);
                }
    }
    return std::make_unique<molecular_transform>(box, std::move(table));
}

}  // namespace zelt
