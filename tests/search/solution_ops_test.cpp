// Orientation conversions checked against matrices built independently from
// Euler angles; parameter vectors; the reporting normalisation checked by
// placing model atoms and comparing them with their symmetry images.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "crystal/unit_cell.hpp"
#include "search/random.hpp"
#include "search/solution_ops.hpp"

namespace {

using namespace zelt;
constexpr double pi = 3.141592653589793;

mat3 rz(double a) { return {std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1}; }
mat3 ry(double a) { return {std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a)}; }

void expect_matrix_near(const mat3& a, const mat3& b, double tol) {
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

// Quaternion from axis and angle, written out here.
quaternion axis_angle(double x, double y, double z, double angle) {
    const double n = std::sqrt(x * x + y * y + z * z);
    const double s = std::sin(angle / 2) / n;
    return {x * s, y * s, z * s, std::cos(angle / 2)};
}

TEST(Orientation, EulerAnglesRebuildTheMatrix) {
    random_source r(77);
    for (int i = 0; i < 200; ++i) {
        quaternion q = r.random_rotation();
        // Unnormalised input must give the same rotation.
        for (double& c : q) c *= 3.0;
        const vec3 e = euler_angles(q);
        EXPECT_GE(e[0], 0.0);
        EXPECT_LT(e[0], 2 * pi);
        EXPECT_GE(e[1], 0.0);
        EXPECT_LE(e[1], pi);
        EXPECT_GE(e[2], 0.0);
        EXPECT_LT(e[2], 2 * pi);
        expect_matrix_near(mul(mul(rz(e[0]), ry(e[1])), rz(e[2])), rotation_matrix(q), 1e-12);
    }
}

TEST(Orientation, EulerSpecialCases) {
    // Rotation about z alone: gamma carries it, alpha and beta are negated zeros.
    const vec3 e = euler_angles(axis_angle(0, 0, 1, 0.7));
    EXPECT_TRUE(std::signbit(e[0]));
    EXPECT_EQ(e[0], 0.0);
    EXPECT_TRUE(std::signbit(e[1]));
    EXPECT_NEAR(e[2], 0.7, 1e-14);
    // Beta of pi is reported with alpha pi.
    const vec3 f = euler_angles(axis_angle(1, 0, 0, pi));
    EXPECT_NEAR(f[1], pi, 1e-14);
    EXPECT_NEAR(f[0], pi, 1e-14);
    // The zero quaternion is the identity.
    expect_matrix_near(rotation_matrix({0, 0, 0, 0}), identity3(), 0);
}

TEST(Orientation, QuaternionFromMatrixRoundTripsEveryBranch) {
    struct row { const char* what; quaternion q; };
    const row rows[] = {
        {"positive trace", axis_angle(1, 2, 3, 0.4)},
        {"half turn about x", axis_angle(1, 0, 0, pi)},
        {"half turn about y", axis_angle(0, 1, 0, pi)},
        {"half turn about z", axis_angle(0, 0, 1, pi)},
        {"x largest", axis_angle(1, 0.1, 0.2, 2.9)},
        {"y largest", axis_angle(0.1, 1, 0.2, 2.9)},
        {"z largest", axis_angle(0.1, 0.2, 1, 2.9)},
        {"threefold", axis_angle(1, 1, 1, 2 * pi / 3)},
    };
    for (const row& t : rows) {
        SCOPED_TRACE(t.what);
        const quaternion p = quaternion_from_matrix(rotation_matrix(t.q));
        EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2] + p[3] * p[3], 1.0, 1e-12);
        // Same rotation: p = +q or -q.
        const double d = p[0] * t.q[0] + p[1] * t.q[1] + p[2] * t.q[2] + p[3] * t.q[3];
        EXPECT_NEAR(std::fabs(d), 1.0, 1e-12);
    }
    // Exact values of the half turns.
    const quaternion hx = quaternion_from_matrix({1, 0, 0, 0, -1, 0, 0, 0, -1});
    EXPECT_EQ(hx, (quaternion{1, 0, 0, 0}));
    const quaternion hy = quaternion_from_matrix({-1, 0, 0, 0, 1, 0, 0, 0, -1});
    EXPECT_EQ(hy, (quaternion{0, 1, 0, 0}));
    const quaternion hz = quaternion_from_matrix({-1, 0, 0, 0, -1, 0, 0, 0, 1});
    EXPECT_EQ(hz, (quaternion{0, 0, 1, 0}));
    random_source r(3);
    for (int i = 0; i < 500; ++i) {
        const mat3 m = rotation_matrix(r.random_rotation());
        expect_matrix_near(rotation_matrix(quaternion_from_matrix(m)), m, 1e-12);
    }
}

TEST(Orientation, HamiltonProductAppliesRightFactorFirst) {
    random_source r(11);
    for (int i = 0; i < 50; ++i) {
        const quaternion a = r.random_rotation(), b = r.random_rotation();
        expect_matrix_near(rotation_matrix(hamilton_product(a, b)),
                           mul(rotation_matrix(a), rotation_matrix(b)), 1e-12);
    }
    EXPECT_EQ(normalised({0, 0, 0, 0}), (quaternion{0, 0, 0, 1}));
    EXPECT_EQ(normalised({0, 3, 0, 4}), (quaternion{0, 0.6, 0, 0.8}));
}

TEST(Translation, WrapIntoUnitInterval) {
    struct row { double in, out; };
    const row rows[] = {{1.0, 0.0}, {-0.25, 0.75}, {2.5, 0.5}, {0.0, 0.0}, {-3.0, 0.0},
                        {0.999, 0.999}, {-1e-17, 0.0}};
    for (const row& t : rows) {
        EXPECT_NEAR(wrap_unit(t.in), t.out, 1e-15) << t.in;
        EXPECT_LT(wrap_unit(t.in), 1.0) << t.in;
        EXPECT_GE(wrap_unit(t.in), 0.0) << t.in;
    }
}

solution two_copy_solution() {
    solution s;
    s.placements.resize(2);
    s.placements[0].orientation = {1, 2, 3, 4};
    s.placements[0].translation = {0.1, 0.2, 0.3};
    s.placements[1].orientation = {5, 6, 7, 8};
    s.placements[1].translation = {0.4, 0.5, 0.6};
    s.placements[1].model = s.placements[1].reported_model = 1;
    s.cell = 2;
    s.k = 0.8f;
    s.b = 200.0f;
    return s;
}

TEST(Parameters, LayoutFollowsTheFlags) {
    const solution s = two_copy_solution();
    const double k = 0.8f * 0.1, b = 200.0f * 0.0001;
    EXPECT_EQ(to_parameters(s, false, false), (std::vector<double>{k, b}));
    EXPECT_EQ(to_parameters(s, true, false), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, k, b}));
    EXPECT_EQ(to_parameters(s, false, true),
              (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, k, b}));
    EXPECT_EQ(to_parameters(s, true, true),
              (std::vector<double>{1, 2, 3, 4, 0.1, 0.2, 0.3, 5, 6, 7, 8, 0.4, 0.5, 0.6, k, b}));
}

TEST(Parameters, BackConversionNormalisesAndReduces) {
    const solution base = two_copy_solution();
    const std::vector<double> p{0, 0, 3, 4, 1.25, -0.25, 0.5, 0, 0, 0, 2, -1.5, 2.0, 0.0, 0.05, 0.03};
    const solution s = from_parameters(base, p, true, true);
    EXPECT_EQ(s.placements[0].orientation, (quaternion{0, 0, 0.6, 0.8}));
    EXPECT_EQ(s.placements[1].orientation, (quaternion{0, 0, 0, 1}));
    EXPECT_DOUBLE_EQ(s.placements[0].translation[0], 0.25);
    EXPECT_DOUBLE_EQ(s.placements[0].translation[1], -0.25);  // sign kept
    EXPECT_DOUBLE_EQ(s.placements[1].translation[0], -0.5);
    EXPECT_DOUBLE_EQ(s.placements[1].translation[1], 0.0);
    EXPECT_FLOAT_EQ(s.k, 0.5f);
    EXPECT_FLOAT_EQ(s.b, 300.0f);
    EXPECT_EQ(s.cell, 2);
    EXPECT_EQ(s.placements[1].model, 1);

    solution w = base;
    write_back_parameters(w, p, true, true);
    EXPECT_DOUBLE_EQ(w.placements[0].translation[0], 1.25);   // raw
    EXPECT_DOUBLE_EQ(w.placements[0].translation[1], -0.25);
    EXPECT_EQ(w.placements[0].orientation, (quaternion{0, 0, 0.6, 0.8}));

    // Only Babinet values: everything else untouched.
    const solution only = from_parameters(base, {0.1, 0.01}, false, false);
    EXPECT_EQ(only.placements[0].orientation, base.placements[0].orientation);
    EXPECT_EQ(only.placements[1].translation, base.placements[1].translation);
    EXPECT_FLOAT_EQ(only.k, 1.0f);
    EXPECT_FLOAT_EQ(only.b, 100.0f);

    EXPECT_THROW(from_parameters(base, {1, 2, 3}, false, false), std::invalid_argument);
    EXPECT_THROW(write_back_parameters(w, {1, 2, 3}, true, true), std::invalid_argument);
}

TEST(Normalisation, SimpleModeShiftsAndKeepsStartTranslate) {
    solution s;
    s.placements.resize(2);
    s.placements[0].orientation = {0, 0, 0, 2};
    s.placements[0].translation = {0.5, 0.7, 0.1};
    s.placements[1].translation = {1.0, -0.25, 0.3};
    s.placements[1].model = 1;
    const std::vector<fractional> starts{{1.2, -0.3, 0.4}, {0.1, 0.2, 2.5}};
    normalise_solution(s, {}, starts, {true, false, false}, false, true);
    // x shift = 0.5 - 1.2; copy 0 lands on its start's x and in its start's translate.
    EXPECT_NEAR(s.placements[0].translation[0], 1.2, 1e-12);
    EXPECT_NEAR(s.placements[0].translation[1], -0.3, 1e-12);
    EXPECT_NEAR(s.placements[0].translation[2], 0.1, 1e-12);
    EXPECT_EQ(s.placements[0].orientation, (quaternion{0, 0, 0, 1}));
    // Copy 1: x = wrap(1.0 + 0.7) + 0, y = wrap(-0.25) + 0, z = wrap(0.3) + 2.
    EXPECT_NEAR(s.placements[1].translation[0], 0.7, 1e-12);
    EXPECT_NEAR(s.placements[1].translation[1], 0.75, 1e-12);
    EXPECT_NEAR(s.placements[1].translation[2], 2.3, 1e-12);

    solution bad = s;
    bad.placements[1].model = 5;
    EXPECT_THROW(normalise_solution(bad, {}, starts, {false, false, false}, false, true),
                 std::out_of_range);
}

TEST(Normalisation, FullModeP1ShiftsToSmallestCoordinates) {
    const std::vector<unit_cell> cells{unit_cell(1, 30, 40, 50, 80, 95, 100)};
    solution s;
    s.placements.resize(2);
    s.placements[0].translation = {0.3, 0.6, 0.9};
    s.placements[1].translation = {0.5, 0.2, 0.95};
    const std::vector<fractional> starts{{0, 0, 0}};
    normalise_solution(s, cells, starts, {true, true, true}, false, false);
    EXPECT_NEAR(s.placements[0].translation[0], 0.0, 1e-12);
    EXPECT_NEAR(s.placements[0].translation[1], 0.4, 1e-12);
    EXPECT_NEAR(s.placements[0].translation[2], 0.0, 1e-12);
    EXPECT_NEAR(s.placements[1].translation[0], 0.2, 1e-12);
    EXPECT_NEAR(s.placements[1].translation[1], 0.0, 1e-12);
    EXPECT_NEAR(s.placements[1].translation[2], 0.05, 1e-12);

    solution bad = s;
    bad.cell = 1;
    EXPECT_THROW(normalise_solution(bad, cells, starts, {false, false, false}, false, false),
                 std::out_of_range);
}

// P 21 21 21 operators and its eight origins, as listed in the CCP4 symmetry
// library and the tables of Euclidean normalisers.
struct affine { mat3 r; vec3 t; };
const affine p212121_ops[] = {
    {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}},
    {{-1, 0, 0, 0, -1, 0, 0, 0, 1}, {0.5, 0, 0.5}},
    {{-1, 0, 0, 0, 1, 0, 0, 0, -1}, {0, 0.5, 0.5}},
    {{1, 0, 0, 0, -1, 0, 0, 0, -1}, {0.5, 0.5, 0}},
};

double frac_distance2(const unit_cell& cell, vec3 p) {
    for (double& x : p) x = wrap_unit(x);
    const position o = cell.to_orthogonal(fractional(p));
    return dot(o.xyz, o.xyz);
}

// Fractional position of an atom at orthogonal offset v of a copy.
vec3 place(const unit_cell& cell, const copy_placement& c, const vec3& v) {
    return add(c.translation.xyz, cell.to_fractional(position(mul(rotation_matrix(c.orientation), v))).xyz);
}

bool same_mod_lattice(const vec3& a, const vec3& b) {
    for (int i = 0; i < 3; ++i) {
        const double d = a[i] - b[i];
        if (std::fabs(d - std::round(d)) > 1e-9) return false;
    }
    return true;
}

// P 1 21 1 (unique axis b), origin free along b.
const affine p21_ops[] = {
    {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}},
    {{-1, 0, 0, 0, 1, 0, 0, 0, -1}, {0, 0.5, 0}},
};

struct full_case {
    const char* what;
    unit_cell cell;
    std::vector<affine> ops;
    std::vector<vec3> origins;       // permitted origins, free components 0
    std::array<bool, 3> fixed;       // fixed translation axes
    std::array<bool, 3> free;        // free origin directions of the group
};

TEST(Normalisation, FullModeMovesEachCopyToTheImageNearestTheOrigin) {
    const full_case cases[] = {
        {"P212121", unit_cell(19, 40, 55, 70, 90, 90, 90),
         std::vector<affine>(std::begin(p212121_ops), std::end(p212121_ops)),
         {{0, 0, 0}, {0, 0, 0.5}, {0, 0.5, 0}, {0, 0.5, 0.5}, {0.5, 0, 0}, {0.5, 0, 0.5}, {0.5, 0.5, 0}, {0.5, 0.5, 0.5}},
         {false, false, false}, {false, false, false}},
        {"P21, b fixed", unit_cell(4, 35, 45, 52, 90, 104, 90),
         std::vector<affine>(std::begin(p21_ops), std::end(p21_ops)),
         {{0, 0, 0}, {0, 0, 0.5}, {0.5, 0, 0}, {0.5, 0, 0.5}},
         {false, true, false}, {false, true, false}},
    };
    random_source r(8);
    const std::vector<vec3> atoms{{3, -2, 5}, {-4, 1, 2}, {0.5, 6, -3}};
    for (const full_case& fc : cases)
    for (bool static_present : {false, true}) {
        SCOPED_TRACE(fc.what);
        const unit_cell& cell = fc.cell;
        const std::vector<unit_cell> cells{cell};
        const auto& ops = fc.ops;
        for (int trial = 0; trial < 20; ++trial) {
            solution s;
            s.placements.resize(2);
            for (auto& c : s.placements) {
                c.orientation = r.random_rotation();
                c.translation = {r.uniform(-1, 2), r.uniform(-1, 2), r.uniform(-1, 2)};
            }
            solution before = s;
            normalise_solution(s, cells, {{0.1, 0.2, 0.3}}, fc.fixed, static_present, false);
            // Fixed free axes move the lowest copy onto the origin plane.
            for (int a = 0; a < 3; ++a)
                if (fc.fixed[a] && fc.free[a]) {
                    const double lowest = std::min(before.placements[0].translation[a], before.placements[1].translation[a]);
                    for (auto& c : before.placements) c.translation[a] -= lowest;
                }

            // Brute force over origins and operators for copy 0.
            std::vector<vec3> origins{{0, 0, 0}};
            if (!static_present) origins = fc.origins;
            double best = 1e300;
            vec3 chosen{};
            for (const vec3& o : origins)
                for (const affine& op : ops) {
                    const vec3 t = before.placements[0].translation.xyz;
                    const double d = frac_distance2(cell, add(mul(op.r, sub(t, o)), op.t));
                    if (d < best - 1e-9) {
                        best = d;
                        chosen = o;
                    }
                }
            const vec3 t0 = s.placements[0].translation.xyz;
            EXPECT_NEAR(frac_distance2(cell, t0), best, 1e-9);
            for (double x : t0) {
                EXPECT_GE(x, 0.0);
                EXPECT_LT(x, 1.0);
            }
            // Every atom of each normalised copy is an image of the same atom
            // of the original copy under one operator after the origin shift.
            for (std::size_t c = 0; c < 2; ++c) {
                bool matched = false;
                for (const affine& op : ops) {
                    bool all = true;
                    for (const vec3& v : atoms) {
                        const vec3 image = add(mul(op.r, sub(place(cell, before.placements[c], v), chosen)), op.t);
                        all = all && same_mod_lattice(image, place(cell, s.placements[c], v));
                    }
                    matched = matched || all;
                }
                EXPECT_TRUE(matched) << "copy " << c << " trial " << trial;
                const quaternion& q = s.placements[c].orientation;
                EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
            }
        }
    }
}

}  // namespace
