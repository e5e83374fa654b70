#pragma once
// Operations on solution records: quaternion helpers, the flattening into the
// simplex parameter vector and back, and the normalisation used for reports.
#include <array>
#include <vector>

#include "crystal/geometry.hpp"
#include "crystal/unit_cell.hpp"
#include "model/solution.hpp"

namespace zelt {

// Quaternion (x, y, z, w) of a proper rotation matrix (rows first). The
// branch is chosen on the trace (formed as R33 + (R11 + R22)) and then on the
// largest diagonal element, so the square root never sees a small argument.
quaternion quaternion_from_matrix(const mat3& r);

// Hamilton product a*b: the rotation b is applied first, then a.
quaternion hamilton_product(const quaternion& a, const quaternion& b);

// The quaternion divided by its Euclidean length. The zero quaternion (which
// stands for no rotation) becomes (0, 0, 0, 1).
quaternion normalised(const quaternion& q);

// x reduced into [0, 1): remainder modulo 1.0, plus 1 when negative. A tiny
// negative x whose sum with 1 rounds to 1.0 gives 0.0.
double wrap_unit(double x);

// The simplex parameter vector: per placement, the orientation x, y, z, w
// (when `orientation`), then the translation x, y, z (when `position`); then
// always k * 0.1 and B * 0.0001.
std::vector<double> to_parameters(const solution& s, bool orientation, bool position);

// Back-conversion used by the simplex objective: a copy of `base` with the
// optimised genes taken from `p`; orientations normalised, translations
// replaced by their remainder modulo 1.0 (sign kept, so in (-1, 1)),
// k = 10 * value, B = 10000 * value. Throws std::invalid_argument when the
// length of `p` does not match.
solution from_parameters(const solution& base, const std::vector<double>& p, bool orientation,
                         bool position);

// Final write-back after the simplex: as from_parameters, but translations
// are stored as given, without taking the remainder.
void write_back_parameters(solution& s, const std::vector<double>& p, bool orientation,
                           bool position);

// Normalisation for reporting.
//   start_positions: one fractional point per model index (the models'
//   fractional centres in the current cell); fixed_axes: translation axes not
//   searched (x, y, z); static_present: a fixed structure is loaded (the
//   origin is then fixed at 0, 0, 0); simple_mode: global search off, or
//   only one of orientation and position searched.
// Simple mode: shifts the fixed axes back onto the first model's start
// position, normalises the orientations and puts each copy into the
// unit-cell translate of its model's start position.
// Full mode: shifts fixed axes that are free origin directions of the space
// group to the smallest coordinate, then, copy by copy, chooses among the
// permitted origin shifts (while the origin is open) and the symmetry
// operators the image nearest the origin, applying the operator's rotation
// after the copy's own.
// Throws std::out_of_range for a cell index outside `cells` or a model index
// outside `start_positions`.
void normalise_solution(solution& s, const std::vector<unit_cell>& cells,
                        const std::vector<fractional>& start_positions,
                        const std::array<bool, 3>& fixed_axes, bool static_present,
                        bool simple_mode);

// Starting solution when there is no global search: `placements` copies of
// the models from `model` on, each as placed in its input file (at its centre
// in `centres`), in cell `cell`, with the solvent term's starting k and B
// (k = 0 without it).
solution starting_solution(int cell, int model, int placements, const std::vector<fractional>& centres, bool babinet);

}  // namespace zelt
