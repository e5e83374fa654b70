#include "crystal/cell_check.hpp"

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "crystal/space_group.hpp"

namespace zelt {

namespace {

constexpr double length_tolerance = 0.01;  // Angstroms
constexpr double angle_tolerance = 0.1;    // degrees

std::string number_text(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

bool same_length(double x, double y) { return std::abs(x - y) <= length_tolerance; }
bool angle_is(double x, double degrees) { return std::abs(x - degrees) <= angle_tolerance; }

// What the lattice of the crystal system asks of the cell, or an empty text
// when the cell satisfies it. Trigonal groups are tabulated on hexagonal axes.
std::string lattice_conflict(const std::array<double, 6>& k, const std::string& system) {
    const double a = k[0], b = k[1], c = k[2], al = k[3], be = k[4], ga = k[5];
    if (system == "monoclinic" && !(angle_is(al, 90) && angle_is(ga, 90)))
        return "a monoclinic cell needs alpha = gamma = 90";
    if (system == "orthorhombic" && !(angle_is(al, 90) && angle_is(be, 90) && angle_is(ga, 90)))
        return "an orthorhombic cell needs alpha = beta = gamma = 90";
    if (system == "tetragonal" &&
        !(same_length(a, b) && angle_is(al, 90) && angle_is(be, 90) && angle_is(ga, 90)))
        return "a tetragonal cell needs a = b and alpha = beta = gamma = 90";
    if ((system == "trigonal" || system == "hexagonal") &&
        !(same_length(a, b) && angle_is(al, 90) && angle_is(be, 90) && angle_is(ga, 120)))
        return "a " + system + " cell needs a = b, alpha = beta = 90 and gamma = 120";
    if (system == "cubic" && !(same_length(a, b) && same_length(a, c) && angle_is(al, 90) &&
                               angle_is(be, 90) && angle_is(ga, 90)))
        return "a cubic cell needs a = b = c and alpha = beta = gamma = 90";
    return {};
}

// The first reason why the constants make no cell, or an empty text.
std::string cell_fault(const std::array<double, 6>& k) {
    static const char* const names[6] = {"a", "b", "c", "alpha", "beta", "gamma"};
    for (int i = 0; i < 3; ++i)
        if (!(k[i] > 0 && k[i] <= longest_cell_edge))
            return std::string("the edge ") + names[i] + " = " + number_text(k[i]) +
                   " is not a length above 0 and up to " + number_text(longest_cell_edge) + " Angstroms";
    for (int i = 3; i < 6; ++i) {
        if (!(k[i] > 0 && k[i] < 180))
            return std::string("the angle ") + names[i] + " = " + number_text(k[i]) +
                   " does not lie between 0 and 180 degrees";
        if (k[i] < 3.15)
            return std::string("the angle ") + names[i] + " = " + number_text(k[i]) +
                   " is implausible (angles are read in degrees)";
    }
    constexpr double to_radians = 3.14159265358979323846 / 180.0;
    const double ca = std::cos(k[3] * to_radians), cb = std::cos(k[4] * to_radians),
                 cg = std::cos(k[5] * to_radians);
    if (!(1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg > 1e-9))
        return "the angles " + number_text(k[3]) + " " + number_text(k[4]) + " " + number_text(k[5]) +
               " close no cell";
    return {};
}

}  // namespace

void check_cell_constants(const std::array<double, 6>& constants, int number, const std::string& file) {
    std::string fault = cell_fault(constants);
    if (fault.empty() && number >= 1 && number <= 230) {
        const space_group& group = space_group_by_number(number);
        fault = lattice_conflict(constants, group.crystal_system);
        if (!fault.empty()) fault += " (space group " + group.symbol + ")";
    }
    if (!fault.empty()) throw std::runtime_error("bad cell definition in input file " + file + ": " + fault);
}

}  // namespace zelt
