#pragma once
// Which solutions of a search are the same placement of the same models: the
// placed atoms coincide up to the space group's symmetry, lattice
// translations and the permitted origin shifts. Orientations are never
// compared as angles, so two descriptions of one rotation cannot differ.
#include <cstddef>
#include <vector>

#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"
#include "model/solution.hpp"

namespace zelt {

// The atoms a comparison looks at, for one placed copy: fractional
// coordinates of its cell, not reduced into the cell. A copy is known by its
// reported model and, once split, its segment's place in that model (the
// model index of a segment differs from attempt to attempt).
struct compared_copy {
    int model = 0;
    int segment = -1;
    std::vector<fractional> sites;
};

// Every placed copy of one solution, in its cell.
struct compared_placement {
    int cell = 0;
    std::vector<compared_copy> copies;
};

// The C-alpha atoms of each placed copy (all atoms for a model with fewer
// than three), thinned evenly to at most `max_sites` per copy.
compared_placement comparison_sites(const solution& s, const model_list& models,
                                    const std::vector<unit_cell>& cells,
                                    std::size_t max_sites = 200);

// True when the two placements put the same models at the same places: one
// origin shift for the whole structure (a permitted one of the space group,
// plus any shift along a free axis), then every copy of `b` matched to a
// distinct copy of `a` of the same model by some symmetry operator and
// lattice translation with a root-mean-square site distance below
// `tolerance` Angstroms. With `origin_fixed` (a fixed structure defines the
// origin) no origin shift is allowed. Different cells never match.
bool same_placement(const compared_placement& a, const compared_placement& b,
                    const std::vector<unit_cell>& cells, double tolerance, bool origin_fixed);

// Groups placements given best first: each joins the first group whose first
// member it matches, or starts a new group. Returns the group number (from 0,
// in order of first appearance) of each placement.
std::vector<int> group_placements(const std::vector<compared_placement>& placements,
                                  const std::vector<unit_cell>& cells, double tolerance,
                                  bool origin_fixed);

}  // namespace zelt
