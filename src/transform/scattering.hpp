#pragma once
// Atomic scattering factors of neutral atoms as sums of four Gaussians and a
// constant: f(s) = a1 exp(-b1 s^2) + ... + a4 exp(-b4 s^2) + c, s = sin(theta)/lambda.
#include <array>

namespace zelt {

// Row layout: a1, b1, a2, b2, a3, b3, a4, b4, c (electrons; b in A^2).
using scattering_row = std::array<double, 9>;

// Highest element number with its own row (californium).
constexpr int scattering_max_element = 98;

// Rows 0..98 indexed by atomic number; row 0 is all zeros (no scattering).
extern const std::array<scattering_row, scattering_max_element + 1> scattering_table;

// The row used for an element number: numbers above 98 (the heaviest
// elements the element rule can name) use californium's row; negative
// numbers use row 0 and scatter nothing.
const scattering_row& scattering_row_for(int element);

// f(s^2) of an element, with the row chosen as above.
double scattering_factor(int element, double s2);

}  // namespace zelt
