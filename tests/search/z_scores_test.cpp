// The statistics behind the translation Z and the score Z: a map's mean,
// standard deviation and peak by closed forms on made-up maps, and the random
// placements against the known moments of uniform rotations and positions.
#include "search/z_scores.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace zelt;

// A 4 x 5 x 6 map of zeros but for one point of height h (and a neighbour of
// h / 2): mean h * 1.5 / 120, and the population sd from the two values.
TEST(ZScores, MapStatisticsByClosedForm) {
    translation_map map;
    map.size = {4, 5, 6};
    map.values.assign(120, 0.0f);
    const double h = 6.0;
    auto at = [&](int i, int j, int k) -> float& { return map.values[i + 4 * (j + 5 * k)]; };
    at(0, 4, 5) = static_cast<float>(h);        // next to (3, 0, 0) across the cell edges
    at(2, 2, 2) = static_cast<float>(h / 2);
    const double mean = 1.5 * h / 120.0;
    const double var = (h * h + h * h / 4) / 120.0 - mean * mean;
    // The translation nearest to grid point (3, 0, 0) sees the peak through
    // the periodic neighbourhood.
    const map_statistics m = translation_map_statistics(map, fractional{0.74, 0.01, 0.99});
    EXPECT_NEAR(m.mean, mean, 1e-12);
    EXPECT_NEAR(m.sd, std::sqrt(var), 1e-9);
    EXPECT_DOUBLE_EQ(m.peak, h);
    EXPECT_NEAR(translation_z(m), (h - mean) / std::sqrt(var), 1e-9);
    // Two grid points away from both peaks: the background.
    EXPECT_DOUBLE_EQ(translation_map_statistics(map, fractional{0.5, 0.0, 0.5}).peak, 0.0);
    EXPECT_DOUBLE_EQ(translation_map_statistics(map, fractional{0.5, 0.4, 0.4}).peak, h / 2);
    // A flat map has no Z.
    map.values.assign(120, 1.0f);
    EXPECT_EQ(translation_z(translation_map_statistics(map, fractional{0, 0, 0})), 0.0);
}

// Uniform rotations have a trace of mean 0 and variance 1 (Haar measure), and
// uniform positions a mean of 1/2 and variance 1/12 along each axis; an axis
// not searched keeps its value. The same seed gives the same placements.
TEST(ZScores, RandomPlacementsAreUniformAndReproducible) {
    solution like;
    like.placements.resize(2);
    like.placements[0].translation = {0.3, 0.7, 0.9};
    like.placements[1].translation = {0.1, 0.2, 0.25};
    const int n = 4000;
    const std::vector<solution> s = random_placements(like, 1, n, 77, {false, true, false});
    ASSERT_EQ(s.size(), static_cast<std::size_t>(n));
    const score_statistics trace = random_placement_scores(s, [](const solution& x) {
        const mat3 r = rotation_matrix(x.placements[1].orientation);
        return r[0] + r[4] + r[8];
    });
    EXPECT_EQ(trace.count, n);
    EXPECT_NEAR(trace.mean, 0.0, 4.0 / std::sqrt(n));
    EXPECT_NEAR(trace.sd, 1.0, 0.05);
    const score_statistics x = random_placement_scores(s, [](const solution& v) { return v.placements[1].translation[0]; });
    EXPECT_NEAR(x.mean, 0.5, 4.0 * std::sqrt(1.0 / 12.0 / n));
    EXPECT_NEAR(x.sd, std::sqrt(1.0 / 12.0), 0.01);
    for (const solution& v : s) {
        EXPECT_EQ(v.placements[1].translation[1], 0.2);
        EXPECT_EQ(v.placements[0].translation, like.placements[0].translation);
        EXPECT_EQ(v.placements[0].orientation, like.placements[0].orientation);
    }
    const std::vector<solution> again = random_placements(like, 1, 3, 77, {false, true, false});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(again[i].placements[1].orientation, s[i].placements[1].orientation);
}

TEST(ZScores, ScoreZIsSignedSoThatBetterIsPositive) {
    const score_statistics r{0.2, 0.05, 500};
    EXPECT_NEAR(score_z(0.45, r, true), 5.0, 1e-12);
    EXPECT_NEAR(score_z(0.05, r, false), 3.0, 1e-12);
    EXPECT_EQ(score_z(0.45, score_statistics{0.2, 0.0, 500}, true), 0.0);
}

}  // namespace
