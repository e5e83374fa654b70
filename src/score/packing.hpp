#pragma once
// Close contacts between placed copies and their crystal neighbours.
#include <vector>

#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"
#include "model/solution.hpp"

namespace zelt {

// True for a C-alpha atom: " CA " in columns 13-16 and element carbon, so a
// calcium ion named "CA  " is not one.
bool is_c_alpha(const placed_atom& a);

// Counts contacts closer than `clash_distance` (Angstrom, strict) between the
// selected atoms of `groups` (placed in the solution's cell) and
// the symmetry and lattice images of them in the solution's space group. All
// atoms are selected when `all_atoms` is set, otherwise C-alpha atoms only.
// `copy_of` gives the copy each group belongs to (the segments of one placed
// copy are one copy); a group beyond its end is a copy of its own. Two atoms
// of one copy that are close as they stand, without any symmetry operator or
// lattice translation, are not a clash; atoms of different copies are, under
// every operator including the identity. Of a merged ensemble only the first
// member's atoms are selected. The solution supplies only its cell index.
// The images are filed in a grid of cells about the clash distance wide, so
// the work grows with the number of atoms times operators, times the atoms
// within reach of one.
int count_clashes(const placed_model_list& groups, const std::vector<unit_cell>& cells, bool all_atoms,
                  double clash_distance, const solution& s, const std::vector<int>& copy_of = {});

}  // namespace zelt
