// Downhill simplex: convergence on known minima, the ranking tie rule, the
// pass limit and the write-back of a refined solution.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "search/simplex.hpp"
#include "search/solution_ops.hpp"

namespace {

using namespace zelt;

TEST(Simplex, FindsTheMinimumOfKnownFunctions) {
    struct row {
        const char* what;
        std::vector<double> start, minimum;
        double step;
        double (*f)(const std::vector<double>&);
    };
    const row rows[] = {
        {"shifted bowl", {0, 0, 0}, {0.3, -0.2, 0.7}, 0.1,
         [](const std::vector<double>& x) {
             return 1.0 + (x[0] - 0.3) * (x[0] - 0.3) + 2 * (x[1] + 0.2) * (x[1] + 0.2) +
                    3 * (x[2] - 0.7) * (x[2] - 0.7);
         }},
        {"Rosenbrock", {-1.2, 1.0}, {1.0, 1.0}, 0.5,
         [](const std::vector<double>& x) {
             return 1.0 + 100 * (x[1] - x[0] * x[0]) * (x[1] - x[0] * x[0]) + (1 - x[0]) * (1 - x[0]);
         }},
        {"one parameter", {5.0}, {-1.5}, 0.3,
         [](const std::vector<double>& x) { return 2.0 + (x[0] + 1.5) * (x[0] + 1.5); }},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        const simplex_outcome o = simplex_minimise(r.start, r.f, r.step, 1e-14);
        ASSERT_EQ(o.best.size(), r.minimum.size());
        for (std::size_t i = 0; i < r.minimum.size(); ++i) EXPECT_NEAR(o.best[i], r.minimum[i], 2e-3);
        EXPECT_LT(o.passes, 1000);
        EXPECT_DOUBLE_EQ(o.value, r.f(o.best));
    }
    EXPECT_THROW(simplex_minimise({}, rows[0].f, 0.1, 1e-6), std::invalid_argument);
}

TEST(Simplex, StopsAfterAThousandPasses) {
    // A rough function whose spread never falls below the tolerance.
    std::uint64_t state = 1;
    auto noise = [&](const std::vector<double>&) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return 1.0 + static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    const simplex_outcome o = simplex_minimise({0, 0, 0}, noise, 0.1, 1e-12);
    EXPECT_EQ(o.passes, 1000);
    EXPECT_GE(o.evaluations, 4 + 1000);
    EXPECT_LE(o.evaluations, 4 + 1000 * (2 + 3));
}

TEST(Simplex, EqualValuesPickTheLastVertex) {
    // All vertices equal: the first ranking stops the refinement and the
    // last vertex (B raised by 10000 * step) is written back.
    solution s;
    s.placements.resize(1);
    s.placements[0].orientation = {0, 0, 0, 1};
    s.placements[0].translation = {0.25, 0.5, 0.75};
    s.k = 0.8f;
    s.b = 200.0f;
    long calls = 0;
    refine_simplex(s, [&](const solution&) { ++calls; return -0.5; }, true, true, 0.05, 1e-6, {});
    EXPECT_EQ(calls, 9 + 1);   // n = 4 + 3 + 2
    EXPECT_FLOAT_EQ(s.b, 700.0f);
    EXPECT_FLOAT_EQ(s.k, 0.8f);
    EXPECT_EQ(s.placements[0].translation, (fractional{0.25, 0.5, 0.75}));
    EXPECT_EQ(s.placements[0].orientation, (quaternion{0, 0, 0, 1}));

    // Neither orientation nor position refined: three vertices.
    calls = 0;
    s.b = 200.0f;
    refine_simplex(s, [&](const solution&) { ++calls; return 3.0; }, false, false, 0.01, 1e-6, {});
    EXPECT_EQ(calls, 3);
    EXPECT_FLOAT_EQ(s.b, 300.0f);
}

TEST(Simplex, RefinesASolutionAndWritesBackRawTranslations) {
    // Objective sees translations modulo 1 and normalised orientations; the
    // minimum lies across the cell edge (x = 0.02), reached from 0.96,
    // so the stored x is the raw value near 1.02.
    const quaternion target = normalised({0.1, 0.2, 0.3, 0.9});
    solution s;
    s.placements.resize(1);
    s.placements[0].orientation = normalised({0.12, 0.18, 0.33, 0.88});
    s.placements[0].translation = {0.96, 0.4, 0.5};
    s.k = 0.7f;
    s.b = 180.0f;
    s.cell = 3;
    bool scored_in_range = true;
    auto f = [&](const solution& x) {
        const copy_placement& c = x.placements[0];
        const quaternion& q = c.orientation;
        scored_in_range = scored_in_range && std::fabs(c.translation[0]) < 1.0;
        const double n2 = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
        EXPECT_NEAR(n2, 1.0, 1e-12);
        const double d = q[0] * target[0] + q[1] * target[1] + q[2] * target[2] + q[3] * target[3];
        double dx = c.translation[0] - 0.02;
        dx -= std::round(dx);
        return -1.0 + (1 - d * d) + dx * dx + (c.translation[1] - 0.45) * (c.translation[1] - 0.45) +
               (c.translation[2] - 0.5) * (c.translation[2] - 0.5) + (x.k - 0.75) * (x.k - 0.75) +
               1e-6 * (x.b - 190) * (x.b - 190);
    };
    refine_simplex(s, f, true, true, 0.01, 1e-12, {});
    EXPECT_TRUE(scored_in_range);
    const copy_placement& c = s.placements[0];
    EXPECT_NEAR(c.translation[0], 1.02, 1e-3);
    EXPECT_NEAR(c.translation[1], 0.45, 1e-3);
    const quaternion& q = c.orientation;
    EXPECT_NEAR(std::fabs(q[0] * target[0] + q[1] * target[1] + q[2] * target[2] + q[3] * target[3]), 1.0, 1e-5);
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
    EXPECT_NEAR(s.k, 0.75, 1e-3);
    EXPECT_NEAR(s.b, 190.0, 5.0);
    EXPECT_EQ(s.cell, 3);
}

}  // namespace

namespace {

// The Babinet values pull towards k = -5000, B = 40 (the solvent term made
// into a resolution fall-off); the bounds hold them, every trial included.
TEST(Simplex, KeepsTheBabinetBoundsAndCanLeaveTheTermOff) {
    solution start;
    start.placements.resize(1);
    start.placements[0].translation = {0.1, 0.2, 0.3};
    start.k = 0.8f;
    start.b = 200.0f;
    const babinet_limits bounds{true, 0.2, 1.5, 100.0, 400.0};
    double lowest_k = 1e30, lowest_b = 1e30;
    auto f = [&](const solution& x) {
        lowest_k = std::min(lowest_k, static_cast<double>(x.k));
        lowest_b = std::min(lowest_b, static_cast<double>(x.b));
        const double t = x.placements[0].translation[0] - 0.15;
        return t * t + 1e-6 * (x.k + 5000.0) * (x.k + 5000.0) + 1e-4 * (x.b - 40.0) * (x.b - 40.0);
    };
    solution s = start;
    refine_simplex(s, f, false, true, 0.05, 1e-12, bounds);
    EXPECT_FLOAT_EQ(s.k, 0.2f);
    EXPECT_FLOAT_EQ(s.b, 100.0f);
    EXPECT_GE(lowest_k, 0.2 - 1e-7);
    EXPECT_GE(lowest_b, 100.0 - 1e-4);
    EXPECT_NEAR(s.placements[0].translation[0], 0.15, 1e-3);

    // Unbounded, as before, the pull wins.
    solution free = start;
    refine_simplex(free, f, false, true, 0.05, 1e-12, {});
    EXPECT_LT(free.k, -100.0f);

    // Term off: k is 0 in every trial and B stays; nothing else refined
    // leaves the solution as it was, without a call.
    solution off = start;
    int calls = 0;
    refine_simplex(off, [&](const solution& x) { ++calls; EXPECT_EQ(x.k, 0.0f); return f(x); }, false, true,
                   0.05, 1e-12, babinet_limits{false});
    EXPECT_GT(calls, 0);
    EXPECT_EQ(off.k, 0.0f);
    EXPECT_FLOAT_EQ(off.b, 200.0f);
    EXPECT_NEAR(off.placements[0].translation[0], 0.15, 1e-3);
    solution still = start;
    calls = 0;
    refine_simplex(still, [&](const solution& x) { ++calls; return f(x); }, false, false, 0.05, 1e-12,
                   babinet_limits{false});
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(still.k, 0.0f);
    EXPECT_EQ(still.placements[0].translation, start.placements[0].translation);
}

}  // namespace
