// Grouping of solutions into distinct placements, on synthetic placements
// whose equivalence is built from the symmetry operators by hand, and the
// table and verdict computed from given scores.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "crystal/unit_cell.hpp"
#include "report/placement_groups.hpp"
#include "report/verdict.hpp"
#include "search/solution_ops.hpp"

namespace {

using namespace zelt;

constexpr double pi = 3.141592653589793;

// A protein-sized cloud of C-alpha atoms (40 A across), centred.
model cloud(unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-20.0, 20.0);
    model m;
    for (int i = 0; i < 120; ++i) {
        atom a;
        for (double& v : a.site) v = u(gen);
        a.line = "ATOM      1  CA  ALA A   1       0.000   0.000   0.000  1.00 20.00           C";
        m.push_back(a);
    }
    return m;
}

mat3 rot_z(double deg) {
    const double c = std::cos(deg * pi / 180), s = std::sin(deg * pi / 180);
    return {c, -s, 0, s, c, 0, 0, 0, 1};
}
mat3 rot_y(double deg) {
    const double c = std::cos(deg * pi / 180), s = std::sin(deg * pi / 180);
    return {c, 0, s, 0, 1, 0, -s, 0, c};
}
mat3 rot_x(double deg) {
    const double c = std::cos(deg * pi / 180), s = std::sin(deg * pi / 180);
    return {1, 0, 0, 0, c, -s, 0, s, c};
}
// CCP4 Euler angles: rotations about z, the new y, the new z.
mat3 euler(double a, double b, double g) { return mul(rot_z(a), mul(rot_y(b), rot_z(g))); }

copy_placement place(const mat3& r, const fractional& t, int model = 0) {
    copy_placement p;
    p.orientation = quaternion_from_matrix(r);
    p.translation = t;
    p.model = p.reported_model = model;
    return p;
}

// The same copy moved by symmetry operator k: rotation O S F R, position S t + t_k.
copy_placement symmetry_mate(const copy_placement& p, const unit_cell& cell, std::size_t k) {
    const symmetry_operator& op = cell.group().operators.at(k);
    const mat3 cart = mul(cell.orthogonalisation, mul(op.rotation(), cell.fractionalisation));
    return place(mul(cart, rotation_matrix(p.orientation)), op.apply(p.translation), p.model);
}

solution of(std::vector<copy_placement> copies, int cell = 0) {
    solution s;
    s.cell = cell;
    s.placements = std::move(copies);
    return s;
}

struct fixture {
    std::vector<unit_cell> cells;
    model_list models{cloud(1), cloud(2)};
    explicit fixture(int group, double beta = 90) { cells.emplace_back(group, 60, 70, 80, 90, beta, 90); }
    bool same(const solution& a, const solution& b, bool origin_fixed = false) const {
        return same_placement(comparison_sites(a, models, cells), comparison_sites(b, models, cells), cells,
                              2.0, origin_fixed);
    }
};

TEST(PlacementGroups, SymmetryMatesOriginShiftsLatticeAndEulerTwinsAreOnePlacement) {
    const fixture f(19);  // P 21 21 21: eight origins, none free
    const copy_placement p = place(euler(30, 0, 300), {0.12, 0.34, 0.56});
    const solution a = of({p});
    for (std::size_t k = 1; k < 4; ++k) EXPECT_TRUE(f.same(a, of({symmetry_mate(p, f.cells[0], k)}))) << k;
    EXPECT_TRUE(f.same(a, of({place(euler(30, 0, 300), {0.62, 0.34, 1.06})})));  // origin (1/2, 0, 1/2)
    EXPECT_TRUE(f.same(a, of({place(euler(30, 0, 300), {1.12, -0.66, 2.56})})));  // lattice
    EXPECT_TRUE(f.same(a, of({place(euler(300, 0, 30), {0.12, 0.34, 0.56})})));   // Euler twin
    // All at once: a symmetry mate of the twin, origin-shifted and translated.
    copy_placement mixed = symmetry_mate(place(euler(300, 0, 30), {0.12, 0.34, 0.56}), f.cells[0], 2);
    mixed.translation = mixed.translation + fractional{0.5, -1.5, 1.0};
    EXPECT_TRUE(f.same(a, of({mixed})));

    // Not origins of P 21 21 21, or another orientation: different placements.
    EXPECT_FALSE(f.same(a, of({place(euler(30, 0, 300), {0.37, 0.34, 0.56})})));
    const mat3 r = rotation_matrix(p.orientation);
    EXPECT_FALSE(f.same(a, of({place(mul(r, rot_x(10)), p.translation)})));
    EXPECT_TRUE(f.same(a, of({place(mul(r, rot_x(1)), p.translation)})));  // inside the tolerance
    EXPECT_FALSE(f.same(a, of({place(euler(30, 0, 300), p.translation, 1)})));  // another model
}

TEST(PlacementGroups, FreeAxisShiftIsArbitraryUnlessAFixedStructureSetsTheOrigin) {
    const fixture f(4, 103);  // P 1 21 1: y free, monoclinic cell
    const copy_placement p = place(euler(10, 70, 200), {0.2, 0.1, 0.3});
    const solution a = of({p});
    EXPECT_TRUE(f.same(a, of({place(euler(10, 70, 200), {0.7, 0.4731, 0.3})})));
    EXPECT_TRUE(f.same(a, of({symmetry_mate(p, f.cells[0], 1)})));
    EXPECT_FALSE(f.same(a, of({place(euler(10, 70, 200), {0.7, 0.4731, 0.3})}), true));
    EXPECT_TRUE(f.same(a, of({symmetry_mate(p, f.cells[0], 1)}), true));
    EXPECT_FALSE(f.same(a, of({place(euler(10, 70, 200), {0.45, 0.1, 0.3})})));
}

TEST(PlacementGroups, CopiesAreComparedAsAWholeInAnyOrder) {
    const fixture f(19);
    const copy_placement p = place(euler(30, 40, 50), {0.1, 0.2, 0.3});
    const copy_placement q = place(euler(200, 20, 10), {0.6, 0.1, 0.8});
    const solution a = of({p, q});
    // Permuted, each copy by its own symmetry operator, one origin shift for both.
    copy_placement q2 = symmetry_mate(q, f.cells[0], 3), p2 = symmetry_mate(p, f.cells[0], 1);
    q2.translation = q2.translation + fractional{0, 0.5, 0.5};
    p2.translation = p2.translation + fractional{0, 0.5, -0.5};
    EXPECT_TRUE(f.same(a, of({q2, p2})));
    EXPECT_FALSE(f.same(a, of({q2, p2}), true));  // the shift is refused when the origin is fixed
    // Different origin shifts for the two copies are another structure.
    p2.translation = p2.translation + fractional{0.5, 0, 0};
    EXPECT_FALSE(f.same(a, of({q2, p2})));
    EXPECT_FALSE(f.same(a, of({p})));           // one copy missing
    EXPECT_FALSE(f.same(a, of({p, p})));        // the same copy twice
}

TEST(PlacementGroups, GroupsFollowTheFirstMemberAndStayWithinOneCell) {
    fixture f(19);
    f.cells.emplace_back(18, 60, 70, 80, 90, 90, 90);
    const copy_placement p = place(euler(30, 40, 50), {0.1, 0.2, 0.3});
    const copy_placement other = place(euler(100, 40, 50), {0.1, 0.2, 0.3});
    std::vector<compared_placement> list;
    for (const solution& s : {of({p}), of({other}), of({symmetry_mate(p, f.cells[0], 2)}), of({p}, 1),
                              of({other})})
        list.push_back(comparison_sites(s, f.models, f.cells));
    EXPECT_EQ(group_placements(list, f.cells, 2.0, false), (std::vector<int>{0, 1, 0, 2, 1}));
}

std::vector<attempt_result> scores(const std::vector<std::pair<double, int>>& list, int clashes = 0) {
    std::vector<attempt_result> out;
    for (std::size_t i = 0; i < list.size(); ++i)
        out.push_back({static_cast<int>(i + 1), list[i].first, list[i].first, 0.5, clashes, 19, list[i].second, {}, {}});
    return out;
}

TEST(Verdict, ContrastIsTheDistanceFromTheOtherAttemptsInTheirStandardDeviations) {
    // Others: 0.47, 0.46, 0.45: mean 0.46, sample sd 0.01.
    const auto rows = distinct_placements(scores({{0.47, 1}, {0.61, 0}, {0.46, 2}, {0.60, 0}, {0.45, 3}}), true);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].attempts, (std::vector<int>{2, 4}));
    EXPECT_EQ(rows[0].best_attempt, 2);
    ASSERT_TRUE(rows[0].contrast.has_value());
    EXPECT_NEAR(*rows[0].contrast, 15.0, 1e-9);
    // Row 2 (0.47) against 0.61, 0.46, 0.60, 0.45: mean 0.53, sd from scratch.
    const double m = (0.61 + 0.46 + 0.60 + 0.45) / 4;
    const double sd = std::sqrt((std::pow(0.61 - m, 2) + std::pow(0.46 - m, 2) + std::pow(0.60 - m, 2) +
                                 std::pow(0.45 - m, 2)) / 3);
    EXPECT_NEAR(*rows[1].contrast, (0.47 - m) / sd, 1e-9);
    EXPECT_EQ(judge(rows, 5).level, verdict_level::solved);

    // Minimum goal (R-factor): smaller is better and the sign follows; the
    // others 0.55, 0.56, 0.57 have mean 0.56 and sd 0.01.
    const auto low = distinct_placements(scores({{0.40, 0}, {0.55, 1}, {0.56, 2}, {0.57, 3}}), false);
    EXPECT_DOUBLE_EQ(low[0].score, 0.40);
    EXPECT_NEAR(*low[0].contrast, 16.0, 1e-9);
}

TEST(Verdict, ClashesSingleFindsAndShortRunsAreNotSolved) {
    // Others 0.46 and 0.45: sd 0.007, below the floor of 0.01.
    const auto clashing = distinct_placements(scores({{0.61, 0}, {0.60, 0}, {0.46, 1}, {0.45, 2}}, 113), true);
    const verdict v = judge(clashing, 4);
    EXPECT_EQ(v.level, verdict_level::not_clear);
    EXPECT_EQ(v.reason, "best placement (CC 0.610) found by 2 of 4 attempts, 15.5 sd ahead of the other attempts, "
                        "113 packing clashes");
    EXPECT_EQ(judge(distinct_placements(scores({{0.34, 0}, {0.31, 1}}), true), 2).level, verdict_level::not_clear);
    EXPECT_EQ(judge(distinct_placements(scores({{0.61, 0}, {0.46, 1}, {0.45, 2}}), true), 3).level,
              verdict_level::probably_solved);
    EXPECT_EQ(judge(distinct_placements(scores({{0.36, 0}, {0.35, 1}, {0.34, 2}, {0.30, 3}}), true), 4).level,
              verdict_level::not_clear);
    EXPECT_EQ(judge(distinct_placements(scores({{0.61, 0}, {0.60, 0}, {0.61, 0}}), true), 3).level,
              verdict_level::solved);
    EXPECT_EQ(judge({}, 0).level, verdict_level::not_clear);
}

// Nine of ten attempts agreeing leave one other attempt, too few for a
// contrast: the agreement itself decides. Attempts that draw nothing at
// random are one find however many there are; uncounted clashes cannot
// confirm the packing.
TEST(Verdict, AgreementRepetitionAndUncountedClashes) {
    std::vector<std::pair<double, int>> nine(9, {0.55, 0});
    nine.push_back({0.40, 1});
    EXPECT_EQ(judge(distinct_placements(scores(nine), true), 10).level, verdict_level::solved);
    EXPECT_EQ(judge(distinct_placements(scores({{0.55, 0}, {0.55, 0}, {0.55, 0}, {0.40, 1}}), true), 4).level,
              verdict_level::solved);
    EXPECT_EQ(judge(distinct_placements(scores({{0.55, 0}, {0.55, 0}, {0.40, 1}}), true), 3).level,
              verdict_level::probably_solved);

    const auto same = distinct_placements(scores({{0.14, 0}, {0.14, 0}, {0.14, 0}}), true);
    const verdict repeated = judge(same, 3, {}, false);
    EXPECT_EQ(repeated.level, verdict_level::not_clear);
    EXPECT_EQ(repeated.reason, "best placement (CC 0.140) found by 3 of 3 attempts (nothing in them is drawn at "
                               "random, so they count as one), no packing clashes");
    EXPECT_EQ(judge(same, 3).level, verdict_level::solved);

    const auto uncounted = distinct_placements(scores({{0.55, 0}, {0.55, 0}, {0.55, 0}}, -1), true);
    EXPECT_EQ(judge(uncounted, 3).level, verdict_level::probably_solved);
}

TEST(Verdict, TableLines) {
    std::ostringstream out;
    print_placements(out, "Distinct placements:", distinct_placements(scores({{0.614, 0}, {0.47, 1}}), true));
    EXPECT_EQ(out.str(),
              "Distinct placements:\n"
              "   #     CC      R   d<  sg  found  contrast  attempts\n"
              "   1  0.614  0.500    0  19      1         -  1\n"
              "   2  0.470  0.500    0  19      1         -  2\n");
}

}  // namespace
