#pragma once
// Checks on cell constants read from a file, before a unit cell is built.
#include <array>
#include <string>

namespace zelt {

// The longest cell edge accepted from a file, in Angstroms.
inline constexpr double longest_cell_edge = 10000.0;

// Refuses (std::runtime_error "bad cell definition in input file FILE: "
// and the reason) cell
// constants that no crystal has: an edge that is not a finite length above 0
// and up to `longest_cell_edge`; an angle (in degrees, as files give them)
// outside (0, 180) or below 3.15, which only a value in radians would be;
// angles that close no cell (a metric that is not positive definite); and a
// cell that contradicts the lattice of space group `number` (edges equal
// within 0.01 A, angles within 0.1 degrees).
void check_cell_constants(const std::array<double, 6>& constants, int number, const std::string& file);

}  // namespace zelt
