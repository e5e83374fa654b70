// Skipping a search by replaying its draws: the random stream ends exactly
// where the real search leaves it, whatever the scores select.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "search/evolution.hpp"
#include "search/random.hpp"

namespace {

using namespace zelt;

// A score with many distinct values, so that selection really depends on it.
double rugged(const solution& s) {
    double v = s.k + 0.001 * s.b + 0.1 * s.cell;
    for (const copy_placement& p : s.placements)
        v += std::sin(7 * p.orientation[0] + 3 * p.orientation[2]) + std::cos(11 * p.translation[1]) +
             p.translation[0] * p.translation[2] + 0.3 * p.model;
    return v;
}

evolution_settings busy_settings() {
    evolution_settings s;
    s.placements = 2;
    s.search_model = true;
    s.model_base = 1;
    s.model_count = 3;
    s.cell_count = 3;
    s.start_positions = {{0.1, 0.2, 0.3}, {0.4, 0.5, 0.6}, {0.7, 0.8, 0.9}, {0.2, 0.2, 0.2}};
    s.interpolation_rate = 0.3;
    s.crossover_rate = 0.5;
    s.rotation_rate = 0.6;
    s.rotation_size = 0.2;
    s.translation_rate = 0.4;
    s.translation_size = 0.05;
    s.modelswap_rate = 0.2;
    s.cellswap_rate = 0.2;
    s.babinet_rate = 0.5;
    s.babinet_k_size = 0.1;
    s.babinet_k_min = 0.2;
    s.babinet_k_max = 1.5;
    s.babinet_b_size = 20;
    s.babinet_b_min = 10;
    s.babinet_b_max = 400;
    s.generations = 12;
    return s;
}

// The next engine output after a real search and after a skipped one.
std::uint64_t after_search(const evolution_settings& s, int population, double sign, bool skip) {
    random_source rng(20260512);
    if (skip) {
        skip_evolution_draws(rng, s, population);
    } else {
        run_evolution(rng, s, [sign](const solution& x) { return sign * rugged(x); }, {}, population);
    }
    rng.normal();  // a kept second normal deviate must match too
    return rng.engine()();
}

TEST(SkipEvolution, LeavesTheStreamWhereTheSearchDoes) {
    struct variant {
        const char* name;
        void (*change)(evolution_settings&);
        int population;
    };
    const std::vector<variant> variants = {
        {"all operators", [](evolution_settings&) {}, 30},
        {"fixed axes, one placement", [](evolution_settings& s) {
             s.placements = 1;
             s.fixed_axes = {true, false, true};
         }, 17},
        {"all axes fixed, later copy", [](evolution_settings& s) {
             s.fixed_axes = {true, true, true};
             s.copy_counter = 1;
             s.cell_count = 1;
         }, 25},
        {"orientation only", [](evolution_settings& s) { s.search_position = false; }, 20},
        {"position only", [](evolution_settings& s) { s.search_orientation = false; }, 20},
        {"restart from random (parent count 0)", [](evolution_settings& s) { s.generations = 50; }, 20},
        {"minimum goal", [](evolution_settings& s) { s.score_sign = 1.0; }, 31},
    };
    for (const variant& v : variants) {
        SCOPED_TRACE(v.name);
        evolution_settings s = busy_settings();
        v.change(s);
        const std::uint64_t skipped = after_search(s, v.population, 1.0, true);
        // Opposite scores select other parents, yet draw as many deviates.
        EXPECT_EQ(after_search(s, v.population, 1.0, false), skipped);
        EXPECT_EQ(after_search(s, v.population, -1.0, false), skipped);
    }
}

TEST(SkipEvolution, TheScoresDoChangeTheSearch) {
    // Guards the test above: the two objectives pick different solutions.
    const evolution_settings s = busy_settings();
    random_source a(7), b(7);
    const solution x = run_evolution(a, s, [](const solution& q) { return rugged(q); }, {}, 30);
    const solution y = run_evolution(b, s, [](const solution& q) { return -rugged(q); }, {}, 30);
    EXPECT_NE(rugged(x), rugged(y));
}

}  // namespace
