#pragma once
// Search-model transforms: the artificial P1 box a model is put in, and the
// sampling of its transform on the reciprocal lattice of that box.
#include <memory>

#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"
#include "transform/transform_table.hpp"

namespace zelt {

// A model's transform: the P1 box it was sampled in and the table.
class molecular_transform {
public:
    molecular_transform(const unit_cell& box_cell, transform_table t)
        : box(box_cell), table(std::move(t)) {}
    unit_cell box;
    transform_table table;
};

// Box edges of a model: the Cartesian extents of its atoms, each at least
// 10 A, times scale.
vec3 transform_box_edges(const model& m, double scale);

// The P1 box a model's transform is sampled in, the index limits of its
// table (the first index beyond d_min along each axis) and the resolution
// d_t of the density grid (the smallest of the three limits' spacings).
struct transform_box {
    unit_cell cell;
    int h_max = 0, k_max = 0, l_max = 0;
    double d_t = 0.0;
};
// Throws std::runtime_error when d_min or scale is not a positive number,
// range_refusal when an edge holds more than 100000 spacings of d_min.
transform_box model_transform_box(const model& m, double d_min, double scale);

// The largest box volume, in cells of d_min^3, whose transform is computed:
// 2^22, a box of about 480 A edges at 3 A (a model of 240 A at the default
// transform.scale). Its density grid (about 27 points per cell at the default
// sampling) takes about 1 GB; atoms far apart would otherwise ask for
// terabytes.
inline constexpr double max_transform_cells = 4194304.0;

// Refuses (range_refusal) the model read from `name` when its transform box
// holds more than 100000 spacings of d_min along an edge or more than
// `max_transform_cells` cells of d_min^3, naming the file and the box's
// edges; called when the models are read, before any search.
void check_transform_box(const model& m, double d_min, double scale, const std::string& name);

// Samples the transform of a model (centred on its own origin) to d_min.
std::unique_ptr<molecular_transform> build_molecular_transform(const model& m, double d_min,
                                                               double scale, double sampling);

}  // namespace zelt
