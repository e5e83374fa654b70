#pragma once
// Unit cell: constants, metric, reciprocal cell and coordinate matrices.
#include <iosfwd>
#include <vector>

#include "crystal/geometry.hpp"
#include "crystal/space_group.hpp"

namespace zelt {

class unit_cell {
public:
    // Angles above pi are taken as degrees, others as radians.
    unit_cell(int space_group_number, double a, double b, double c,
              double alpha, double beta, double gamma);

    const space_group& group() const { return *group_; }

    double a = 0, b = 0, c = 0;              // Angstrom
    double alpha = 0, beta = 0, gamma = 0;   // radians
    double volume = 0;
    double a_star = 0, b_star = 0, c_star = 0;
    double alpha_star = 0, beta_star = 0, gamma_star = 0;  // radians
    // s^2 coefficients in this order: Chk, Chl, Ckl, Chh, Ckk, Cll.
    std::array<double, 6> s2_coefficients{};
    mat3 orthogonalisation{};   // fractional -> orthogonal
    mat3 fractionalisation{};   // orthogonal -> fractional

    double s_squared(double h, double k, double l) const;   // (sin theta / lambda)^2
    double d_spacing(double h, double k, double l) const;   // +inf for (0,0,0)
    position to_orthogonal(const fractional& x) const { return position(mul(orthogonalisation, x.xyz)); }
    fractional to_fractional(const position& x) const { return fractional(mul(fractionalisation, x.xyz)); }

private:
    const space_group* group_ = nullptr;
};

// Extends cells (and the parallel axis-permutation codes) by the space groups
// of the same point group and lattice as the first cell.
void add_related_cells(std::vector<unit_cell>& cells, std::vector<int>& codes);

// The cell listing: one line per cell, then an empty line.
void print_cells(std::ostream& out, const std::vector<unit_cell>& cells);

}  // namespace zelt
