#pragma once
// The 230 crystallographic space groups, built from the program's own table.
#include <array>
#include <string>
#include <vector>

#include "crystal/geometry.hpp"

namespace zelt {

// Affine operator on fractional coordinates, x' = R x + t, stored as a 4x4
// row-major matrix (rows 1-3: rotation row then translation; row 4: 0 0 0 1).
struct symmetry_operator {
    std::array<double, 16> m{};

    double rot(int i, int j) const { return m[4 * i + j]; }
    double trans(int i) const { return m[4 * i + 3]; }
    mat3 rotation() const { return {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]}; }
    fractional translation() const { return {m[3], m[7], m[11]}; }
    fractional apply(const fractional& x) const { return mul(rotation(), x) + translation(); }
};

// One immutable record per space-group number, owned by the table cache.
class space_group {
public:
    int number = 0;
    std::string symbol;                  // short symbol without blanks, "P212121"
    std::vector<std::string> names;      // full symbol with blanks, then the short one if any
    std::string point_group;             // as written in the table, "222", "4bar2m"
    std::string crystal_system;          // "triclinic" ... "cubic"
    int primitive_count = 0;             // operators without centring translations
    std::vector<symmetry_operator> operators;  // all of them, identity first
    std::vector<fractional> origin_shifts;  // permitted origins; free components stored as 0
    std::array<bool, 3> free_axes{};     // origin may lie anywhere along a, b, c

    char lattice() const { return names.empty() ? 'P' : names.front().front(); }
};

// Shared record of space group n (1..230); throws std::invalid_argument
// "invalid space group number: n" otherwise. Safe to call from several threads.
const space_group& space_group_by_number(int n);

// Number whose short symbol equals the upper-cased name, or 0.
int space_group_number_from_name(const std::string& name);

// The table line of space group n (1..230), exactly as built into the program.
const char* space_group_table_line(int n);

}  // namespace zelt
