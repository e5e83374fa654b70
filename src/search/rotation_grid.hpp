#pragma once
// A uniform grid over rotations for a systematic orientation scan.
//
// Construction. Unit quaternions q and -q are one rotation, so every rotation
// has a quaternion whose largest component (by magnitude) is positive. The
// quaternions whose component f is largest project from the origin onto the
// face q_f = 1 of the cube [-1, 1]^4; on each of the four faces the other
// three components are tan(a1), tan(a2), tan(a3) with a_i in [-pi/4, pi/4],
// and the grid takes n equal steps of pi/(2n) in each a_i (cell centres), n
// = ceil(pi / spacing), so 4 n^3 points. Neighbours along an axis are at most
// pi/n apart as rotations (twice the quaternion angle), which is at most the
// spacing; every rotation lies within sqrt(3)/2 * pi/n of a grid point.
//
// Symmetry. A copy turned by R and one turned by S R, S a rotation of the
// crystal's point group (Cartesian), are the same set of symmetry copies, so
// only one orientation per class needs scanning. With r the covering radius,
// a grid point g is kept when w(g) <= w(S g) + 2r for every S, w being the
// rotation angle: that keeps every point within r of the region of rotations
// nearest to the identity among their images, so every class still has a
// kept point within r. Of kept points related exactly by some S (a grid that
// the point group partly maps onto itself), only the first is kept.
//
// Turn. The whole grid may first be turned by a rotation T (each point g
// becomes g T), which keeps its spacing and covering; independent attempts
// scan differently turned grids.
#include <cstddef>
#include <vector>

#include "crystal/geometry.hpp"
#include "model/solution.hpp"

namespace zelt {

// The most orientations a scan may have (before symmetry reduction).
inline constexpr double max_scan_orientations = 1e7;

// Steps n per face axis for a spacing in radians (> 0).
int rotation_grid_steps(double spacing);
// Points of the whole grid, 4 n^3, for a spacing in radians (> 0).
double rotation_grid_points(double spacing);
// Largest distance (radians) of any rotation from the nearest grid point.
double rotation_grid_covering(double spacing);

// Rotation angle (radians, 0 to pi) between two rotations.
double rotation_distance(const mat3& a, const mat3& b);
// Unit quaternion (x, y, z, w), w >= 0, of a rotation matrix.
quaternion rotation_quaternion(const mat3& r);

// The grid for `spacing` (radians), turned by `turn`, reduced by the point
// group `symmetry` (Cartesian rotations; identity included or not), as unit
// quaternions.
std::vector<quaternion> rotation_grid(double spacing, const quaternion& turn,
                                      const std::vector<mat3>& symmetry);

}  // namespace zelt
