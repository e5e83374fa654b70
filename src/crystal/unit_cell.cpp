// Unit-cell metric, reciprocal cell, coordinate matrices and related cells.
#include "crystal/unit_cell.hpp"

#include <numbers>
#include <cfloat>
#include <cmath>
#include <limits>
#include <ostream>
#include <sstream>

namespace zelt {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double degree = 0.017453292519943295;
constexpr double radian_in_degrees = 57.29577951308232;

// Input files give degrees, derived cells pass radians: anything above pi is degrees.
double to_radians(double angle) { return angle > pi ? angle * degree : angle; }

}  // namespace

unit_cell::unit_cell(int space_group_number, double a_, double b_, double c_,
                     double alpha_, double beta_, double gamma_)
    : a(a_), b(b_), c(c_),
      alpha(to_radians(alpha_)), beta(to_radians(beta_)), gamma(to_radians(gamma_)),
      group_(&space_group_by_number(space_group_number)) {
    const double ca = std::cos(alpha), cb = std::cos(beta), cg = std::cos(gamma);
    const double sa = std::sin(alpha), sb = std::sin(beta), sg = std::sin(gamma);

    // A negative radicand (angles that cannot close a cell) leaves NaN in
    // everything derived from the volume.
    volume = a * b * c * std::sqrt(1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg);

    a_star = b * c * sa / volume;
    b_star = a * c * sb / volume;
    c_star = a * b * sg / volume;

    const double cas = (cb * cg - ca) / (sb * sg);
    const double cbs = (ca * cg - cb) / (sa * sg);
    const double cgs = (ca * cb - cg) / (sa * sb);
    alpha_star = std::acos(cas);
    beta_star = std::acos(cbs);
    gamma_star = std::acos(cgs);

    s2_coefficients = {a_star * b_star * cgs / 2.0, a_star * c_star * cbs / 2.0,
                       b_star * c_star * cas / 2.0, a_star * a_star / 4.0,
                       b_star * b_star / 4.0,       c_star * c_star / 4.0};

    // x along a, y in the a-b plane, z along c*.
    const double sas = std::sin(alpha_star);
    orthogonalisation = {a, b * cg, c * cb,
                         0, b * sg, -c * sb * cas,
                         0, 0,      c * sb * sas};
    fractionalisation = inverse(orthogonalisation);
}

double unit_cell::s_squared(double h, double k, double l) const {
    const auto& s = s2_coefficients;
    return s[3] * h * h + s[4] * k * k + s[5] * l * l + s[0] * h * k + s[1] * h * l + s[2] * k * l;
}

double unit_cell::d_spacing(double h, double k, double l) const {
    const double r = std::sqrt(s_squared(h, k, l));
    if (r < DBL_MIN) return std::numeric_limits<double>::infinity();
    return 0.5 / r;
}

void add_related_cells(std::vector<unit_cell>& cells, std::vector<int>& codes) {
    if (cells.empty()) return;
    const unit_cell first = cells.front();
    const space_group& g = first.group();
    for (int n = 1; n <= 230; ++n) {
        const space_group& other = space_group_by_number(n);
        if (other.point_group != g.point_group || other.lattice() != g.lattice()) continue;
        if (n != g.number) {
            cells.emplace_back(n, first.a, first.b, first.c, first.alpha, first.beta, first.gamma);
            codes.push_back(0);
        }
        // P2221 and P21212 have a distinguished axis: try it along each edge.
        if (n == 17 || n == 18) {
            cells.emplace_back(n, first.b, first.c, first.a, first.alpha, first.beta, first.gamma);
            codes.push_back(1);
            cells.emplace_back(n, first.c, first.a, first.b, first.alpha, first.beta, first.gamma);
            codes.push_back(2);
        }
    }
}

void print_cells(std::ostream& out, const std::vector<unit_cell>& cells) {
    for (const unit_cell& cell : cells) {
        // Default notation and six significant digits whatever the stream was set to.
        std::ostringstream line;
        line << "a=" << cell.a << " b=" << cell.b << " c=" << cell.c
             << " alpha=" << cell.alpha * radian_in_degrees
             << " beta=" << cell.beta * radian_in_degrees
             << " gamma=" << cell.gamma * radian_in_degrees
             << ", space group " << cell.group().number << " (" << cell.group().names.front() << ") \n";
        out << line.str() << std::flush;
    }
    out << '\n' << std::flush;
}

}  // namespace zelt
