#pragma once
// The fixed part of the structure: its structure factors, stored in the
// reflection records, and the placing of found copies as atoms.
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"
#include "model/solution.hpp"

namespace zelt {

// Writes the structure factor of every atom of `static_list` (placed in
// `cell`, painted with the cell's symmetry) into static_re/static_im of
// each record, read at the indices permuted by `code` (0, 1, 2). An empty
// static list writes zeros.
void static_contribution(const unit_cell& cell, const placed_model_list& static_list, int code,
                         reflection_set& reflections, double d_min, double sampling);

// Appends, per placement of the solution, the model's atoms placed in the
// solution's cell (not reduced into the cell) and their centre.
void place_copies(const solution& s, const model_list& models, const std::vector<unit_cell>& cells,
                  placed_model_list& static_list, std::vector<fractional>& static_centres);

// Appends, per placement of the solution, the number of the copy it belongs
// to, counting on from the last number in `copies`: the later segments of a
// split copy share the number of its first segment, every other placement is
// a copy of its own.
void number_copies(const solution& s, std::vector<int>& copies);

}  // namespace zelt
