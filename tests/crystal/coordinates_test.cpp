// Fractional and Cartesian coordinates as distinct types, converted by the
// unit cell. Reference values from gemmi's UnitCell.orthogonalize and
// fractionalize (python3-gemmi), pasted in.
#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

#include "crystal/space_group.hpp"
#include "crystal/unit_cell.hpp"

using zelt::fractional;
using zelt::position;
using zelt::unit_cell;
using zelt::vec3;

namespace {

// Neither kind turns into the other, nor does a plain vec3 turn into either
// without being named; the cell converts only in the direction its names say.
static_assert(!std::is_convertible_v<fractional, position> && !std::is_constructible_v<position, fractional>);
static_assert(!std::is_convertible_v<position, fractional> && !std::is_constructible_v<fractional, position>);
static_assert(!std::is_convertible_v<vec3, fractional> && !std::is_convertible_v<vec3, position>);
static_assert(!std::is_convertible_v<fractional, vec3> && !std::is_convertible_v<position, vec3>);
static_assert(!std::is_invocable_v<decltype(&unit_cell::to_orthogonal), const unit_cell&, position>);
static_assert(!std::is_invocable_v<decltype(&unit_cell::to_fractional), const unit_cell&, fractional>);
static_assert(std::is_invocable_r_v<position, decltype(&unit_cell::to_orthogonal), const unit_cell&, fractional>);
static_assert(std::is_invocable_r_v<fractional, decltype(&unit_cell::to_fractional), const unit_cell&, position>);

void expect_near(const auto& got, const vec3& want, double tolerance) {
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "component " << i;
}

}  // namespace

TEST(Coordinates, CellConversionsAgreeWithGemmiAndRoundTrip) {
    struct row {
        unit_cell cell;
        fractional f;
        vec3 f_orthogonal;   // gemmi: cell.orthogonalize(f)
        position p;
        vec3 p_fractional;   // gemmi: cell.fractionalize(p)
    };
    const row rows[] = {
        {unit_cell(154, 75.11, 75.11, 133.31, 90, 90, 120), {0.1, -0.7, 1.3},
         {33.79949999999999, -45.533017654774426, 173.303}, {12.5, -30.25, 88.0},
         {-0.06610099378226827, -0.46504714799590413, 0.6601155202160378}},
        {unit_cell(1, 31, 36, 41, 80, 95, 105), {0.31, 0.62, -0.13},
         {4.2976990221567535, 20.725743117941573, -5.243854616577128}, {-7.5, 14.25, 30.0},
         {-0.07426247837018268, 0.27263121013846187, 0.743727712753731}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.cell.group().symbol);
        expect_near(r.cell.to_orthogonal(r.f), r.f_orthogonal, 1e-10);
        expect_near(r.cell.to_fractional(r.p), r.p_fractional, 1e-13);
        expect_near(r.cell.to_fractional(r.cell.to_orthogonal(r.f)), r.f.xyz, 1e-13);
        expect_near(r.cell.to_orthogonal(r.cell.to_fractional(r.p)), r.p.xyz, 1e-10);
    }
    // Hexagonal by hand: x = a (u - v/2), y = a v sqrt(3)/2, z = c w.
    const unit_cell hex(154, 75.11, 75.11, 133.31, 90, 90, 120);
    expect_near(hex.to_orthogonal({0.0, 1.0, 0.0}), {-37.555, 75.11 * std::sqrt(3.0) / 2, 0.0}, 1e-10);
}

TEST(Coordinates, ArithmeticKeepsTheKind) {
    const fractional a{0.25, -0.5, 1.75}, b{1.0, 0.5, -0.25};
    static_assert(std::is_same_v<decltype(a + b), fractional> && std::is_same_v<decltype(a - b), fractional>);
    EXPECT_EQ(a + b, (fractional{1.25, 0.0, 1.5}));
    EXPECT_EQ(a - b, (fractional{-0.75, -1.0, 2.0}));
    EXPECT_EQ(a / 2.0, (fractional{0.125, -0.25, 0.875}));
    EXPECT_EQ(fractional(vec3{1, 2, 3}).xyz, (vec3{1, 2, 3}));
    EXPECT_DOUBLE_EQ(zelt::squared_length(position{3.0, 4.0, 12.0}), 169.0);
    // A symmetry operator of P3221 acts on fractional coordinates: (-y, x-y, z+2/3).
    const unit_cell cell(154, 75.11, 75.11, 133.31, 90, 90, 120);
    const fractional moved = cell.group().operators.at(1).apply(a);
    static_assert(std::is_same_v<decltype(moved), const fractional>);
    bool found = false;
    for (const zelt::symmetry_operator& op : cell.group().operators) {
        const fractional y = op.apply(a);
        found = found || (std::abs(y[0] + a[1]) < 1e-15 && std::abs(y[1] - (a[0] - a[1])) < 1e-15 &&
                          std::abs(y[2] - (a[2] + 2.0 / 3.0)) < 1e-15);
    }
    EXPECT_TRUE(found);
    EXPECT_NE(moved, a);
}
