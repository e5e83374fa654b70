// The evolutionary engine with cheap objectives: convergence, elitism, the
// number of objective calls, the selection schedule, determinism over thread
// counts, and the generator and breeding operators replayed deviate by
// deviate on a copy of the random stream.
#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <atomic>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "search/evolution.hpp"
#include "search/solution_ops.hpp"

namespace {

using namespace zelt;

// The run parameters' defaults for a one-copy search of one model.
evolution_settings default_settings() {
    evolution_settings s;
    s.placements = 1;
    s.start_positions = {{0.1, 0.2, 0.3}};
    s.interpolation_rate = 0.6;
    s.crossover_rate = 0.6;
    s.rotation_rate = 0.5;
    s.rotation_size = 0.05;
    s.translation_rate = 0.7;
    s.translation_size = 0.2;
    s.modelswap_rate = 0.25;
    s.cellswap_rate = 0.25;
    s.babinet_rate = 0.1;
    s.babinet_k_size = 0.1;
    s.babinet_k_min = 0.2;
    s.babinet_k_max = 1.5;
    s.babinet_b_size = 20.0;
    s.babinet_b_min = 100.0;
    s.babinet_b_max = 400.0;
    s.selection_start = 0.4;
    s.selection_end = 0.01;
    s.generations = 50;
    s.score_sign = -1.0;
    return s;
}

// Every rate zero: breeding copies parent 1 and draws only the rate tests.
evolution_settings quiet_settings() {
    evolution_settings s = default_settings();
    s.interpolation_rate = s.crossover_rate = s.rotation_rate = s.translation_rate = 0.0;
    s.modelswap_rate = s.cellswap_rate = s.babinet_rate = 0.0;
    return s;
}

// Squared distance between fractional points, periodic in every axis.
double periodic_distance2(const fractional& a, const fractional& b) {
    double d2 = 0.0;
    for (int i = 0; i < 3; ++i) {
        double d = a[i] - b[i];
        d -= std::round(d);
        d2 += d * d;
    }
    return d2;
}

const fractional target{0.31, 0.62, 0.77};
double bowl(const solution& s) { return -periodic_distance2(s.placements[0].translation, target); }

TEST(Evolution, ConvergesOnAQuadraticBowl) {
    random_source rng(42);
    evolution_settings s = default_settings();
    s.generations = 30;
    const solution best = run_evolution(rng, s, bowl, {}, 100);
    EXPECT_LT(std::sqrt(periodic_distance2(best.placements[0].translation, target)), 0.02);
    // Orientation search towards a target rotation.
    const quaternion q0 = normalised({0.3, -0.5, 0.2, 0.7});
    auto rotation_score = [&](const solution& x) {
        const quaternion& q = x.placements[0].orientation;
        const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        return std::fabs(q[0] * q0[0] + q[1] * q0[1] + q[2] * q0[2] + q[3] * q0[3]) / n;
    };
    const solution rot = run_evolution(rng, s, rotation_score, {}, 100);
    EXPECT_GT(rotation_score(rot), 0.995);
    // Goal "minimum": a score sign of +1 makes the smallest score best.
    s.score_sign = 1.0;
    const solution low = run_evolution(rng, s, [](const solution& x) { return -bowl(x); }, {}, 100);
    EXPECT_LT(std::sqrt(periodic_distance2(low.placements[0].translation, target)), 0.02);
}

TEST(Evolution, ParentCounts) {
    struct row { int n; double rate; int count; };
    const row rows[] = {{300, 0.4 + (0.01 - 0.4) * 1 / 50.0, 118}, {300, 0.4 + (0.01 - 0.4) * 49 / 50.0, 5},
                        {300, 0.01, 3}, {20, 0.0178, 0}, {10, 0.05, 1}, {10, 0.15, 2},
                        {300, 1.0, 300}, {300, 1.5, 300}, {300, -0.2, 0}, {300, std::nan(""), 0}};
    for (const row& r : rows) EXPECT_EQ(evolution_engine::parent_count(r.n, r.rate), r.count) << r.n << " " << r.rate;
    const auto schedule = make_selection_schedule(0.4, 0.01, 50);
    EXPECT_EQ(evolution_engine::parent_count(300, schedule(1)), 118);
    EXPECT_EQ(evolution_engine::parent_count(300, schedule(49)), 5);
    EXPECT_EQ(evolution_engine::parent_count(300, schedule(50)), 3);
    EXPECT_DOUBLE_EQ(schedule(0), 0.4);
}

// Runs an engine with the operators of `s` and records the parent count
// handed to each reproduction, and the number of objective calls.
struct recorded_run {
    std::vector<int> parents;
    long calls = 0;
    long generated = 0;
    long bred = 0;
    solution best;
};

recorded_run record(const evolution_settings& s, int n, double (*objective)(const solution&), bool parallel) {
    recorded_run out;
    random_source rng(7);
    std::atomic<long> calls{0};
    evolution_engine e;
    auto gen = make_generator(rng, s);
    auto br = make_breeder(rng, s);
    e.generate = [&](solution& x) { ++out.generated; gen(x); };
    e.breed = [&](int c, population_list& p, const order_list& o, int k) { ++out.bred; br(c, p, o, k); };
    e.objective = [&](const solution& x) { ++calls; return objective(x); };
    e.fitness = [&](int i, const score_list& sc) { return sc[i] * s.score_sign; };
    e.selection_rate = make_selection_schedule(s.selection_start, s.selection_end, s.generations);
    const int g_max = s.generations;
    e.termination = [g_max](int g, const score_list&) { return g == g_max; };
    auto reproduce = e.reproduce;
    e.reproduce = [&, reproduce](population_list& p, const order_list& o, int c) {
        out.parents.push_back(c);
        reproduce(p, o, c);
    };
    if (parallel) e.use_parallel_evaluation();
    out.best = e.evolve(n);
    out.calls = calls;
    return out;
}

TEST(Evolution, SurvivorsAreNeverRescored) {
    for (bool parallel : {false, true}) {
        const recorded_run r = record(default_settings(), 300, bowl, parallel);
        ASSERT_EQ(r.parents.size(), 50u);
        EXPECT_EQ(r.parents[0], 0);
        EXPECT_EQ(r.parents[1], 118);
        EXPECT_EQ(r.parents[49], 5);
        long expected = 0;
        for (int g = 0; g < 50; ++g) {
            const int c = g == 0 ? 0 : static_cast<int>(std::lround(300 * (0.4 - 0.39 * g / 50.0)));
            EXPECT_EQ(r.parents[g], c) << "generation " << g + 1;
            expected += 300 - c;
        }
        EXPECT_EQ(r.calls, expected);
        EXPECT_EQ(r.generated, 300);
        EXPECT_EQ(r.bred, expected - 300);
    }
    // Engine defaults: rate 0.5 and 100 generations.
    std::atomic<long> calls{0};
    random_source rng(1);
    evolution_engine e;
    e.generate = make_generator(rng, default_settings());
    e.breed = make_breeder(rng, default_settings());
    e.objective = [&](const solution& x) { ++calls; return -bowl(x); };
    e.evolve(40);
    EXPECT_EQ(calls.load(), 40 + 99 * 20);
}

TEST(Evolution, SmallPopulationAlwaysKeepsAParent) {
    // With 20 individuals the schedule's last rate rounds to no parent at
    // all; the best individual must still survive into the last generation.
    const recorded_run r = record(default_settings(), 20, bowl, false);
    ASSERT_EQ(r.parents.size(), 50u);
    for (int g = 1; g < 50; ++g) EXPECT_GE(r.parents[g], 1) << "generation " << g + 1;
    EXPECT_EQ(r.parents[45], 1);
    EXPECT_EQ(r.parents[49], 1);
    EXPECT_EQ(r.generated, 20);
}

TEST(Evolution, BestNeverGetsWorse) {
    random_source rng(3);
    evolution_settings s = default_settings();
    s.generations = 40;
    std::vector<double> bests;
    run_evolution(rng, s, bowl,
                  [&](int, const population_list&, const score_list& sc) {
                      double b = sc[0];
                      for (double x : sc) b = std::max(b, x);
                      bests.push_back(b);
                  },
                  20);
    ASSERT_EQ(bests.size(), 40u);
    for (std::size_t g = 1; g < bests.size(); ++g) EXPECT_GE(bests[g], bests[g - 1]) << g;
}

TEST(Evolution, TiesKeepTheParentFirst) {
    // Constant score: every child ties with its parents; the individual
    // first in the first generation must stay first to the end.
    int next_id = 0;
    evolution_engine e;
    e.generate = [&](solution& x) { x.cell = next_id++; };
    e.breed = [&](int child, population_list& p, const order_list&, int) { p[child].cell = next_id++; };
    e.objective = [](const solution&) { return 0.25; };
    e.termination = [](int g, const score_list&) { return g == 6; };
    const solution best = e.evolve(64);
    EXPECT_EQ(best.cell, 0);
    // With a worse first individual, the best of the first generation wins.
    next_id = 0;
    e.objective = [](const solution& x) { return x.cell == 0 ? 1.0 : 0.25; };
    EXPECT_EQ(e.evolve(64).cell, 1);
}

TEST(Evolution, FullSelectionCarriesThePopulationUnchanged) {
    for (double rate : {1.0, 1.7}) {
        random_source rng(5);
        std::atomic<long> calls{0};
        long bred = 0;
        std::vector<population_list> seen;
        evolution_engine e;
        e.generate = make_generator(rng, default_settings());
        auto br = make_breeder(rng, default_settings());
        e.breed = [&](int c, population_list& p, const order_list& o, int k) { ++bred; br(c, p, o, k); };
        e.objective = [&](const solution& x) { ++calls; return bowl(x); };
        e.selection_rate = [rate](int) { return rate; };
        e.termination = [](int g, const score_list&) { return g == 5; };
        e.progress = [&](int, const population_list& p, const score_list&) { seen.push_back(p); };
        e.use_parallel_evaluation();
        e.evolve(30);
        EXPECT_EQ(calls.load(), 30);
        EXPECT_EQ(bred, 0);
        ASSERT_EQ(seen.size(), 5u);
        for (const population_list& p : seen)
            for (int i = 0; i < 30; ++i) {
                EXPECT_EQ(p[i].placements[0].translation, seen[0][i].placements[0].translation);
                EXPECT_EQ(p[i].placements[0].orientation, seen[0][i].placements[0].orientation);
            }
    }
}

TEST(Evolution, NegativeRateStillKeepsOneParent) {
    long generated = 0;
    evolution_engine e;
    random_source rng(2);
    auto gen = make_generator(rng, default_settings());
    e.generate = [&](solution& x) { ++generated; gen(x); };
    e.breed = make_breeder(rng, default_settings());
    e.objective = bowl;
    e.selection_rate = [](int) { return -0.5; };
    e.termination = [](int g, const score_list&) { return g == 4; };
    e.evolve(10);
    EXPECT_EQ(generated, 10);
}

TEST(Evolution, SameSeedSameResultWithAnyThreadCount) {
    evolution_settings s = default_settings();
    s.generations = 15;
    s.placements = 2;
    s.model_count = 2;
    s.search_model = true;
    s.start_positions = {{0.1, 0.2, 0.3}, {0.4, 0.5, 0.6}};
    auto objective = [](const solution& x) {
        return -periodic_distance2(x.placements[0].translation, target) -
               periodic_distance2(x.placements[1].translation, {0.1, 0.1, 0.1}) + 0.01 * x.placements[1].model +
               0.001 * x.k;
    };
    auto run = [&](int threads) {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
        random_source rng(2718);
        return run_evolution(rng, s, objective, {}, 80);
    };
    const solution a = run(1), b = run(4), c = run(1);
    for (const solution& x : {b, c}) {
        ASSERT_EQ(x.placements.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(x.placements[i].orientation, a.placements[i].orientation);
            EXPECT_EQ(x.placements[i].translation, a.placements[i].translation);
            EXPECT_EQ(x.placements[i].model, a.placements[i].model);
        }
        EXPECT_EQ(x.k, a.k);
        EXPECT_EQ(x.b, a.b);
        EXPECT_EQ(x.cell, a.cell);
    }
}

// The place slot completes every new individual before it is scored (here:
// the translation as a function of the orientation, as the fft mode's
// translation function does), the individual keeps what it wrote, and the
// search stays the same on one thread or many.
TEST(Evolution, PlaceSlotWritesTheTranslationBeforeEveryScore) {
    evolution_settings s = default_settings();
    s.generations = 12;
    auto placed = [](const quaternion& q) {
        return fractional{std::fabs(q[0]), std::fabs(q[1]), std::fabs(q[2])};
    };
    auto place = [&](solution& x) -> std::optional<double> {
        x.placements[0].translation = placed(x.placements[0].orientation);
        return std::nullopt;
    };
    auto run = [&](int threads, std::atomic<int>& unplaced) {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
        random_source rng(99);
        auto objective = [&](const solution& x) {
            if (x.placements[0].translation != placed(x.placements[0].orientation)) ++unplaced;
            return bowl(x);
        };
        return run_evolution(rng, s, objective, {}, 60, place);
    };
    std::atomic<int> unplaced1{0}, unplaced4{0};
    const solution a = run(1, unplaced1), b = run(4, unplaced4);
    EXPECT_EQ(unplaced1.load(), 0);
    EXPECT_EQ(unplaced4.load(), 0);
    EXPECT_EQ(a.placements[0].translation, placed(a.placements[0].orientation));
    EXPECT_EQ(a.placements[0].orientation, b.placements[0].orientation);
    EXPECT_EQ(a.placements[0].translation, b.placements[0].translation);
    // The search climbs the bowl through the orientation alone.
    EXPECT_LT(periodic_distance2(a.placements[0].translation, target), 0.01);
}

TEST(Evolution, FailuresOfTheEngine) {
    evolution_engine e;
    EXPECT_THROW(e.evolve(10), std::invalid_argument);   // no slots set
    e.generate = [](solution&) {};
    e.breed = [](int, population_list&, const order_list&, int) {};
    e.objective = [](const solution&) { return 0.0; };
    EXPECT_THROW(e.evolve(0), std::invalid_argument);
    EXPECT_THROW(e.evolve(-3), std::invalid_argument);
    e.termination = [](int g, const score_list&) { return g == 2; };
    EXPECT_NO_THROW(e.evolve(1));
    // Zero generations end after the first one instead of running forever.
    random_source rng(1);
    evolution_settings s = default_settings();
    s.generations = 0;
    long calls = 0;
    run_evolution(rng, s, [&](const solution& x) { ++calls; return bowl(x); }, {}, 12);
    EXPECT_EQ(calls, 12);
}

TEST(Generator, DrawsInTheStatedOrder) {
    evolution_settings s = default_settings();
    s.placements = 2;
    s.search_model = true;
    s.model_base = 1;
    s.model_count = 3;
    s.cell_base = 2;
    s.cell_count = 4;
    s.start_positions = {{0, 0, 0}, {0.15, 0.25, 0.35}, {0.45, 0.55, 0.65}, {0.75, 0.85, 0.95}};
    s.fixed_axes = {false, true, true};
    random_source rng(99);
    random_source replay = rng;
    solution x;
    make_generator(rng, s)(x);
    ASSERT_EQ(x.placements.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const int model = 1 + static_cast<int>(3 * replay.uniform());
        EXPECT_EQ(x.placements[i].model, model);
        EXPECT_EQ(x.placements[i].reported_model, model);
        const quaternion q = replay.random_rotation();
        EXPECT_EQ(x.placements[i].orientation, q);
        fractional t{replay.uniform(), replay.uniform(), replay.uniform()};
        if (i == 0) {
            t[1] = s.start_positions[model][1];
            t[2] = s.start_positions[model][2];
        }
        EXPECT_EQ(x.placements[i].translation, t);
    }
    EXPECT_EQ(x.cell, 2 + static_cast<int>(4 * replay.uniform()));
    EXPECT_EQ(x.k, 0.8f);
    EXPECT_EQ(x.b, 200.0f);
    EXPECT_EQ(rng.uniform(), replay.uniform());   // nothing else was drawn

    // Later copies: no cell draw; nothing searched: no draw at all.
    evolution_settings fixed = s;
    fixed.copy_counter = 1;
    fixed.search_model = fixed.search_orientation = fixed.search_position = false;
    random_source a(5), b(5);
    make_generator(a, fixed)(x);
    EXPECT_EQ(a.uniform(), b.uniform());
    EXPECT_EQ(x.cell, 2);
    EXPECT_EQ(x.placements[0].model, 1);
    EXPECT_EQ(x.placements[1].model, 2);
    EXPECT_EQ(x.placements[1].translation, s.start_positions[2]);
    EXPECT_EQ(x.placements[0].orientation, (quaternion{0, 0, 0, 1}));
}

// Population of two parents and one child slot for breeding checks.
population_list parents_and_child(const solution& a, const solution& b) { return {a, b, solution{}}; }

solution one_copy(const quaternion& q, const fractional& t, float k = 0.8f, float b = 200.0f) {
    solution s;
    s.placements.resize(1);
    s.placements[0].orientation = q;
    s.placements[0].translation = t;
    s.k = k;
    s.b = b;
    return s;
}

TEST(Breeding, BabinetWrapsAtTheTopAndMirrorsAtTheBottom) {
    struct row { float k; double step; float expected; };
    const row rows[] = {{1.45f, 0.1, 0.25f}, {0.25f, -0.1, 0.25f}, {0.8f, 0.3, 1.1f}};
    for (const row& r : rows) {
        evolution_settings s = quiet_settings();
        s.babinet_rate = 1.0;
        random_source rng(17);
        // Replay: 2 parent draws, 7 rate draws for the placement
        // (interpolation, crossover, rotation, three translation axes, model
        // swap), cell swap, then the Babinet k test and its normal deviate.
        random_source replay = rng;
        for (int i = 0; i < 2 + 7 + 1; ++i) replay.uniform();
        replay.uniform();
        const double n = replay.normal();
        s.babinet_k_size = r.step / n;
        population_list pop = parents_and_child(one_copy({0, 0, 0, 1}, {0.1, 0.2, 0.3}, r.k), solution{});
        pop[1] = pop[0];
        make_breeder(rng, s)(2, pop, {0, 1, 2}, 1);
        EXPECT_NEAR(pop[2].k, r.expected, 1e-6) << r.k << " " << r.step;
        EXPECT_GE(pop[2].b, 100.0f);
        EXPECT_LT(pop[2].b, 400.0f);
    }
    // An empty range pins k to its bound instead of producing NaN.
    evolution_settings s = quiet_settings();
    s.babinet_rate = 1.0;
    s.babinet_k_min = s.babinet_k_max = 0.9;
    random_source rng(4);
    population_list pop = parents_and_child(one_copy({0, 0, 0, 1}, {0, 0, 0}), one_copy({0, 0, 0, 1}, {0, 0, 0}));
    make_breeder(rng, s)(2, pop, {0, 1, 2}, 2);
    EXPECT_EQ(pop[2].k, 0.9f);
}

TEST(Breeding, FixedAxesAreNeverDrawn) {
    evolution_settings s = quiet_settings();
    s.placements = 2;
    s.translation_rate = 1.0;
    s.translation_size = 0.1;
    s.fixed_axes = {true, true, true};
    solution parent;
    parent.placements.resize(2);
    parent.placements[0].translation = {0.1, 0.2, 0.3};
    parent.placements[1].translation = {0.6, 0.7, 0.8};
    random_source rng(23);
    random_source replay = rng;
    population_list pop{parent, solution{}};
    make_breeder(rng, s)(1, pop, {0, 1}, 1);
    // Replay: parents, placement 0 (interpolation, crossover, rotation,
    // model swap), placement 1 (the same with three translation draws).
    for (int i = 0; i < 2 + 4 + 3; ++i) replay.uniform();
    fractional moved = parent.placements[1].translation;
    for (double& v : moved) {
        replay.uniform();
        v = wrap_unit(v + 0.1 * replay.normal());
    }
    replay.uniform();                                  // model swap
    for (int i = 0; i < 3; ++i) replay.uniform();      // cell swap, two Babinet tests
    EXPECT_EQ(pop[1].placements[0].translation, parent.placements[0].translation);
    EXPECT_EQ(pop[1].placements[1].translation, moved);
    EXPECT_EQ(rng.uniform(), replay.uniform());
}

TEST(Breeding, TranslationsStayInTheUnitCell) {
    struct row { fractional in, out; };
    const row rows[] = {{{1.0, -0.25, 0.5}, {0.0, 0.75, 0.5}}, {{2.25, -1.0, 0.999}, {0.25, 0.0, 0.999}}};
    for (const row& r : rows) {
        random_source rng(1);
        population_list pop{one_copy({0, 0, 0, 1}, r.in), solution{}};
        make_breeder(rng, quiet_settings())(1, pop, {0, 1}, 1);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(pop[1].placements[0].translation[i], r.out[i], 1e-15);
    }
    evolution_settings s = default_settings();
    s.translation_rate = 1.0;
    s.translation_size = 3.0;
    random_source rng(8);
    population_list pop(50);
    auto gen = make_generator(rng, s);
    for (auto& x : pop) gen(x);
    order_list order(50);
    for (int i = 0; i < 50; ++i) order[i] = i;
    auto breed = make_breeder(rng, s);
    for (int round = 0; round < 200; ++round)
        for (int j = 10; j < 50; ++j) {
            breed(order[j], pop, order, 10);
            for (double v : pop[order[j]].placements[0].translation) {
                ASSERT_GE(v, 0.0);
                ASSERT_LT(v, 1.0);
            }
            const quaternion& q = pop[order[j]].placements[0].orientation;
            ASSERT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-9);
            ASSERT_GE(pop[order[j]].k, 0.2f);
            ASSERT_LE(pop[order[j]].k, 1.5f);
        }
}

TEST(Breeding, InterpolationFollowsTheGreatArc) {
    evolution_settings s = quiet_settings();
    s.interpolation_rate = 1.0;
    const quaternion qa{0, 0, 0, 1};
    const quaternion qb = normalised({0, 0, 1, 1});   // 90 degrees about z
    random_source rng(6);
    random_source replay = rng;
    population_list pop{one_copy(qa, {0.2, 0.2, 0.2}), one_copy(qb, {0.6, 0.4, 0.2}), solution{}};
    make_breeder(rng, s)(2, pop, {0, 1, 2}, 2);
    const int p1 = static_cast<int>(2 * replay.uniform());
    const int p2 = static_cast<int>(2 * replay.uniform());
    replay.uniform();
    const double f = replay.uniform();
    const double a = replay.uniform();
    const quaternion& from = pop[p1].placements[0].orientation;
    const quaternion& to = pop[p2].placements[0].orientation;
    // Angle between the rotations, half of it in quaternion space.
    const double theta = std::acos(std::min(1.0, from[0] * to[0] + from[1] * to[1] + from[2] * to[2] + from[3] * to[3]));
    const quaternion q = pop[2].placements[0].orientation;
    if (p1 != p2) {
        // Angle from the first parent is the fraction f of the arc.
        const double got = std::acos(std::min(1.0, q[0] * from[0] + q[1] * from[1] + q[2] * from[2] + q[3] * from[3]));
        EXPECT_NEAR(got, f * theta, 1e-12);
    } else {
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(q[i], from[i], 1e-15);   // identical orientations stay
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(pop[2].placements[0].translation[i],
                    a * pop[p1].placements[0].translation[i] + (1 - a) * pop[p2].placements[0].translation[i], 1e-15);

    // Identical parents: the orientation stays (d = 1 exactly for the identity).
    population_list same{one_copy({0, 0, 0, 1}, {0.1, 0.1, 0.1}), solution{}};
    random_source r2(9);
    make_breeder(r2, s)(1, same, {0, 1}, 1);
    EXPECT_EQ(same[1].placements[0].orientation, (quaternion{0, 0, 0, 1}));
}

TEST(Breeding, RotationMutationMovesAFractionOfTheArc) {
    evolution_settings s = quiet_settings();
    s.rotation_rate = 1.0;
    s.rotation_size = 0.7;
    const quaternion q0 = normalised({0.2, -0.1, 0.4, 0.8});
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
        random_source rng(seed);
        random_source replay = rng;
        population_list pop{one_copy(q0, {0.1, 0.2, 0.3}), solution{}};
        make_breeder(rng, s)(1, pop, {0, 1}, 1);
        for (int i = 0; i < 5; ++i) replay.uniform();   // parents, interpolation, crossover, rotation test
        const double step = std::fmod(std::fabs(0.7 * replay.normal()), 1.0);
        const quaternion r = replay.random_rotation();
        // The shorter arc: r and -r are the same rotation.
        const double d = q0[0] * r[0] + q0[1] * r[1] + q0[2] * r[2] + q0[3] * r[3];
        const double theta = std::acos(std::fabs(d));
        const quaternion& q = pop[1].placements[0].orientation;
        const double from_start = std::acos(std::min(1.0, q[0] * q0[0] + q[1] * q0[1] + q[2] * q0[2] + q[3] * q0[3]));
        const double to_random =
            std::acos(std::min(1.0, std::fabs(q[0] * r[0] + q[1] * r[1] + q[2] * r[2] + q[3] * r[3])));
        EXPECT_NEAR(from_start, step * theta, 1e-9) << seed;
        EXPECT_NEAR(to_random, (1 - step) * theta, 1e-9) << seed;
        EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
    }
}

// Rotation angle between two orientations in radians; q and -q are the same.
double rotation_angle(const quaternion& a, const quaternion& b) {
    const double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    return 2.0 * std::acos(std::min(1.0, std::fabs(d)));
}

// Parents 4 degrees and 0.04 of the cell apart, with opposite quaternion
// signs and translations on both sides of the cell edge: every child of
// every blend stays between them, never on the far side of the circle.
TEST(Breeding, ChildOfNearParentsStaysNearWhateverSignsAndWrap) {
    evolution_settings s = quiet_settings();
    s.interpolation_rate = 1.0;
    const double pi = 3.141592653589793;
    const double half = 2.0 * pi / 180.0;   // half of 4 degrees
    const quaternion qa = normalised({0.3, 0.5, 0.1, 0.8});
    // qb = qa rotated by 4 degrees about x, then negated.
    const quaternion rx{std::sin(half), 0, 0, std::cos(half)};
    quaternion qb{rx[3] * qa[0] + rx[0] * qa[3], rx[3] * qa[1] + rx[0] * qa[2], rx[3] * qa[2] - rx[0] * qa[1],
                  rx[3] * qa[3] - rx[0] * qa[0]};
    for (double& v : qb) v = -v;
    ASSERT_NEAR(rotation_angle(qa, qb), 4.0 * pi / 180.0, 1e-9);
    const fractional ta{0.02, 0.5, 0.99}, tb{0.98, 0.52, 0.01};
    for (std::uint64_t seed = 0; seed < 40; ++seed) {
        random_source rng(seed);
        population_list pop{one_copy(qa, ta), one_copy(qb, tb), solution{}};
        make_breeder(rng, s)(2, pop, {0, 1, 2}, 2);
        const copy_placement& c = pop[2].placements[0];
        EXPECT_LE(rotation_angle(c.orientation, qa), 4.0 * pi / 180.0 + 1e-9) << seed;
        EXPECT_LE(rotation_angle(c.orientation, qb), 4.0 * pi / 180.0 + 1e-9) << seed;
        EXPECT_LE(periodic_distance2(c.translation, ta), periodic_distance2(ta, tb) + 1e-12) << seed;
        EXPECT_LE(periodic_distance2(c.translation, tb), periodic_distance2(ta, tb) + 1e-12) << seed;
    }
    // The rotation mutation moves by the fraction `step` of the shorter arc,
    // so never by more than step x 180 degrees.
    evolution_settings m = quiet_settings();
    m.rotation_rate = 1.0;
    m.rotation_size = 0.05;
    for (std::uint64_t seed = 0; seed < 40; ++seed) {
        random_source rng(seed);
        random_source replay = rng;
        population_list pop{one_copy(qa, ta), solution{}};
        make_breeder(rng, m)(1, pop, {0, 1}, 1);
        for (int i = 0; i < 5; ++i) replay.uniform();   // parents, interpolation, crossover, rotation test
        const double step = std::fmod(std::fabs(0.05 * replay.normal()), 1.0);
        EXPECT_LE(rotation_angle(pop[1].placements[0].orientation, qa), step * pi + 1e-9) << seed;
    }
}

TEST(Breeding, CrossoverAndSwapsDrawTheirRanges) {
    evolution_settings s = quiet_settings();
    s.crossover_rate = 1.0;
    s.modelswap_rate = 1.0;
    s.cellswap_rate = 1.0;
    s.model_base = 2;
    s.model_count = 3;
    s.cell_base = 1;
    s.cell_count = 2;
    const quaternion qb = normalised({1, 2, 3, 4});
    for (std::uint64_t seed = 0; seed < 30; ++seed) {
        random_source rng(seed);
        random_source replay = rng;
        population_list pop{one_copy({0, 0, 0, 1}, {0.1, 0.2, 0.3}), one_copy(qb, {0.5, 0.6, 0.7}), solution{}};
        make_breeder(rng, s)(2, pop, {0, 1, 2}, 2);
        const int p1 = static_cast<int>(2 * replay.uniform());
        const int p2 = static_cast<int>(2 * replay.uniform());
        replay.uniform();
        replay.uniform();
        const bool take_orientation = replay.uniform() < 0.5;
        replay.uniform();   // rotation
        for (int i = 0; i < 3; ++i) replay.uniform();
        replay.uniform();
        const int model = 2 + static_cast<int>(3 * replay.uniform());
        replay.uniform();
        const int cell = 1 + static_cast<int>(2 * replay.uniform());
        const copy_placement& c = pop[2].placements[0];
        EXPECT_EQ(c.orientation, take_orientation ? pop[p2].placements[0].orientation : pop[p1].placements[0].orientation);
        EXPECT_EQ(c.translation, take_orientation ? pop[p1].placements[0].translation : pop[p2].placements[0].translation);
        EXPECT_EQ(c.model, model);
        EXPECT_EQ(c.reported_model, model);
        EXPECT_EQ(pop[2].cell, cell);
    }
}

TEST(GenerationReport, FormatsBestMeanAndDeviation) {
    struct row { bool maximum; int generation; const char* line; };
    const row rows[] = {
        {true, 1, "Generation  1: Best score = 0.600, Ave. score = 0.300, Std. dev. = 0.216\n"},
        {false, 12, "Generation 12: Best score = 0.100, Ave. score = 0.300, Std. dev. = 0.216\n"},
        {true, 100, "Generation 100: Best score = 0.600, Ave. score = 0.300, Std. dev. = 0.216\n"},
    };
    for (const row& r : rows) {
        std::ostringstream out;
        make_generation_report(out, r.maximum)(r.generation, {}, {0.1, 0.2, 0.6});
        EXPECT_EQ(out.str(), r.line);
        EXPECT_TRUE(out.flags() & std::ios::fixed);   // left in force
    }
    std::ostringstream out;
    make_generation_report(out, true)(2, {}, {-2.0, -2.0});
    EXPECT_EQ(out.str(), "Generation  2: Best score = -2.000, Ave. score = -2.000, Std. dev. = 0.000\n");
}

}  // namespace
