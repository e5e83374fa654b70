// The global-search objective reuses per-thread working storage from
// candidate to candidate. These tests check that it then allocates nothing,
// that nothing of one candidate leaks into the score of the next, and that
// concurrent and nested evaluation give exactly the scores of a lone thread.
#include "score/scorer.hpp"

#include <gtest/gtest.h>
#include <tbb/parallel_for.h>

#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "common/allocation_counter.hpp"

namespace {

using namespace zelt;

// A compact random model of `count` carbon atoms around its origin.
model random_model(unsigned seed, int count) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-9.0, 9.0), b(10.0, 30.0);
    model m(static_cast<std::size_t>(count));
    for (atom& a : m) {
        for (double& v : a.site) v = u(gen);
        a.b = b(gen);
    }
    return m;
}

// P3221 (six operators) and a P1 cell with permuted axes: two models, so a
// candidate can differ from the previous one in every respect.
struct two_cell_setup {
    std::vector<unit_cell> cells{unit_cell(154, 52.0, 52.0, 71.0, 90.0, 90.0, 120.0),
                                 unit_cell(1, 41.0, 47.0, 55.0, 90.0, 90.0, 90.0)};
    std::vector<int> codes{0, 1};
    transform_store store;
    std::shared_ptr<const scorer_data> data;

    two_cell_setup() {
        store.set(0, build_molecular_transform(random_model(3, 40), 5.0, 2.0, 3.0));
        store.set(1, build_molecular_transform(random_model(4, 25), 5.0, 2.0, 3.0));
        std::mt19937 gen(11);
        std::uniform_real_distribution<float> fo(5.0f, 200.0f), st(-20.0f, 20.0f);
        reflection_set refl;
        for (int h = 0; h <= 12; ++h)
            for (int k = 0; k <= 12; ++k)
                for (int l = 0; l <= 16; ++l) {
                    const double d = cells[0].d_spacing(h, k, l);
                    if (!(d > 5.0 && d < 40.0)) continue;
                    reflection r;
                    r.set_indices({h, k, l});
                    r.f = fo(gen);
                    r.sigma = 1.0f;
                    r.static_re = st(gen);   // a fixed structure is present
                    r.static_im = st(gen);
                    r.s2 = float(cells[0].s_squared(h, k, l));
                    refl.push_back(r);
                }
        data = std::make_shared<const scorer_data>(refl, cells, codes, store);
    }
};

const two_cell_setup& fixture() {
    static const two_cell_setup f;
    return f;
}

std::vector<solution> random_candidates(unsigned seed, int count) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0), q(-1.0, 1.0);
    std::vector<solution> out(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < out.size(); ++i) {
        solution& s = out[i];
        s.placements.resize(1 + i % 3);
        for (copy_placement& p : s.placements) {
            p.orientation = {q(gen), q(gen), q(gen), q(gen)};
            p.translation = {u(gen), u(gen), u(gen)};
            p.model = p.reported_model = static_cast<int>(gen() % 2);
        }
        s.cell = static_cast<int>(i % 2);
        s.k = static_cast<float>(0.2 + 1.2 * u(gen));
        s.b = static_cast<float>(50.0 + 250.0 * u(gen));
    }
    return out;
}

using objective = std::function<double(const solution&)>;

struct objective_case {
    const char* name;
    objective (*make)(std::shared_ptr<const scorer_data>);
};

const objective_case objectives[] = {
    {"cc trilinear", [](auto d) { return objective(scorer<pearson<float, double>, 1, 0>(d)); }},
    {"cc nearest", [](auto d) { return objective(scorer<pearson<float, double>, 0, 0>(d)); }},
    {"R trilinear", [](auto d) { return objective(scorer<pearson<float, double>, 1, 1>(d)); }},
    {"R nearest", [](auto d) { return objective(scorer<pearson<float, double>, 0, 1>(d)); }},
};

TEST(ScorerReuse, CountingAllocatorSeesAllocations) {
    // Guards the tests below against a counter that never counts.
    std::size_t size = 0;
    const long n = allocation_counter::during([&size] {
        std::vector<complex_f> v(100);
        size = v.size();
    });
    EXPECT_EQ(n, 1);
    EXPECT_EQ(size, 100u);
}

TEST(ScorerReuse, ObjectiveAllocatesNothingOnceWarm) {
    const auto& f = fixture();
    const std::vector<solution> candidates = random_candidates(21, 12);
    for (const objective_case& c : objectives) {
        SCOPED_TRACE(c.name);
        const objective score = c.make(f.data);
        // Warm up with the largest candidate (three copies, six operators).
        score(candidates[2]);
        double sum = 0.0;
        const long n = allocation_counter::during([&] {
            for (const solution& s : candidates) sum += score(s);
        });
        EXPECT_EQ(n, 0);
        EXPECT_TRUE(std::isfinite(sum));
    }
}

TEST(ScorerReuse, SerialStructureFactorsAllocateNothingOnceWarm) {
    const auto& f = fixture();
    const std::vector<solution> candidates = random_candidates(22, 6);
    std::vector<complex_f> out;
    for (lookup_mode mode : {lookup_mode::trilinear, lookup_mode::nearest}) {
        calculate_fc(f.data->reflections, f.data->model(), candidates[2], mode, out);
        const long n = allocation_counter::during([&] {
            for (const solution& s : candidates)
                calculate_fc(f.data->reflections, f.data->model(), s, mode, out);
        });
        EXPECT_EQ(n, 0);
        EXPECT_EQ(out.size(), f.data->size());
    }
}

// Each candidate scored first on a thread of its own (fresh working storage),
// then all in one sequence on one thread, after candidates with more copies,
// other models and the other cell: the scores must be bit for bit the same.
TEST(ScorerReuse, ReusedStorageCarriesNothingOver) {
    const auto& f = fixture();
    const std::vector<solution> candidates = random_candidates(23, 9);
    for (const objective_case& c : objectives) {
        SCOPED_TRACE(c.name);
        const objective score = c.make(f.data);
        std::vector<double> fresh(candidates.size());
        for (std::size_t i = 0; i < candidates.size(); ++i)
            std::thread([&, i] { fresh[i] = score(candidates[i]); }).join();
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t i = candidates.size(); i-- > 0;)
                EXPECT_EQ(score(candidates[i]), fresh[i]) << "candidate " << i;
    }
    // A failing candidate (model without transform) leaves the storage usable.
    const objective score = objectives[0].make(f.data);
    solution bad = candidates[1];
    bad.placements.back().model = 7;
    const double before = score(candidates[0]);
    EXPECT_THROW(score(bad), std::logic_error);
    EXPECT_EQ(score(candidates[0]), before);
}

// The evolutionary search scores a generation with a parallel loop, and the
// simplex path spreads one candidate over the threads; both nested inside a
// parallel loop must still give the single-thread scores exactly.
TEST(ScorerReuse, ConcurrentAndNestedEvaluationMatchSerial) {
    const auto& f = fixture();
    const std::vector<solution> candidates = random_candidates(24, 120);
    const scorer<pearson<float, double>, 1, 0> global(f.data);
    std::vector<double> serial(candidates.size()), reported(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        serial[i] = global(candidates[i]);
        reported[i] = f.data->correlation(candidates[i]);
    }
    for (int repeat = 0; repeat < 3; ++repeat) {
        std::vector<double> par(candidates.size()), nested(candidates.size());
        tbb::parallel_for(std::size_t(0), candidates.size(), [&](std::size_t i) {
            par[i] = global(candidates[i]);
            nested[i] = f.data->correlation(candidates[i]);   // nested parallel loop
            // The serial score again after the nested loop, in which this
            // thread may have run other candidates' tasks.
            if (global(candidates[i]) != par[i]) par[i] = -2.0;
        });
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            ASSERT_EQ(par[i], serial[i]) << "candidate " << i << ", repeat " << repeat;
            ASSERT_EQ(nested[i], reported[i]) << "candidate " << i << ", repeat " << repeat;
        }
    }
}

}  // namespace
