// Cost of scoring candidates on the bundled beta/BLIP data: the observed
// reflections of beta_blip.mtz (P3221, 80-3 A) read with the program's
// reader, and the transform of beta.pdb centred on its mean atom, built as a
// model step builds it (resolution 3 A, box scale 2, sampling 3).
//
// Rates: refl_ops/s counts reflection x symmetry-operator x copy evaluations
// (one table lookup, one sine and cosine each); candidates/s counts whole
// objective calls. The calculated structure factors are measured serially
// with both lookups and spread over the worker threads; the objective of the
// global search over a population of 300 random candidates with
// tbb::parallel_for, as the evolutionary engine scores a generation, on one
// thread and on all of them.
//
// Every structure-factor benchmark runs with both loops, the argument
// "vector" 1 for the vector loop (the instruction set chosen at run time, in
// the "simd" label) and 0 for the scalar reference, so that one run gives
// the ratio of the two on the same machine under the same load.
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/centring.hpp"
#include "io/coordinates.hpp"
#include "io/reflection_files.hpp"
#include "score/scorer.hpp"
#include "transform/structure_factors.hpp"

namespace {

using namespace zelt;

const std::string example_dir = std::string(ZELT_SOURCE_DIR) + "/examples/beta-blip/";

model centred_model(const std::string& file) {
    model_list one{load_model_file(example_dir + file)};
    centre_models(one);
    return std::move(one[0]);
}

// A uniformly random orientation and position, as the random individuals of
// the first generation.
copy_placement random_placement(std::mt19937_64& gen) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double two_pi = 6.283185307179586;
    const double u1 = u(gen), u2 = u(gen), u3 = u(gen);
    const double a = std::sqrt(1.0 - u1), b = std::sqrt(u1);
    copy_placement p;
    p.orientation = {a * std::sin(two_pi * u2), a * std::cos(two_pi * u2), b * std::sin(two_pi * u3),
                     b * std::cos(two_pi * u3)};
    p.translation = {u(gen), u(gen), u(gen)};
    return p;
}

struct beta_blip {
    std::vector<unit_cell> cells;
    std::vector<int> codes{0};
    transform_store store;
    std::shared_ptr<const scorer_data> data;
    std::vector<solution> population;
    std::size_t operators = 0;

    beta_blip() : cells(read_cell(example_dir + "beta_blip.mtz")) {
        std::string label;
        reflection_set refl =
            read_reflections(cells[0], 80.0, 3.0, example_dir + "beta_blip.mtz", "", label);
        for (reflection& r : refl) {   // unit weights and s^2, as the run driver sets them
            r.sigma = 1.0f;
            r.s2 = static_cast<float>(cells[0].s_squared(r.h, r.k, r.l));
        }
        store.set(0, build_molecular_transform(centred_model("beta.pdb"), 3.0, 2.0, 3.0));
        data = std::make_shared<const scorer_data>(refl, cells, codes, store);
        operators = cells[0].group().operators.size();
        std::mt19937_64 gen(2024);
        population.resize(300);
        for (solution& s : population) {
            s.placements = {random_placement(gen)};
            s.k = 0.8f;
            s.b = 200.0f;
        }
    }
    // Reflection x operator evaluations of one one-copy candidate.
    double work() const { return static_cast<double>(data->size() * operators); }
};

const beta_blip& fixture() {
    static const beta_blip f;
    return f;
}

void rate_counters(benchmark::State& state, double candidates) {
    const beta_blip& f = fixture();
    state.counters["refl_ops/s"] = benchmark::Counter(candidates * f.work(), benchmark::Counter::kIsRate);
    state.counters["candidates/s"] = benchmark::Counter(candidates, benchmark::Counter::kIsRate);
    state.counters["reflections"] = static_cast<double>(f.data->size());
    state.counters["operators"] = static_cast<double>(f.operators);
}

// Calculated structure factors of one candidate on the calling thread.
fc_kernel kernel_arg(benchmark::State& state, int index) {
    const bool vector = state.range(index) != 0;
    state.SetLabel(vector ? "simd " + fc_vector_target() : "scalar");
    return vector ? fc_kernel::vector : fc_kernel::scalar;
}

template <lookup_mode Mode>
void fc_serial(benchmark::State& state) {
    const beta_blip& f = fixture();
    const fc_kernel kernel = kernel_arg(state, 0);
    std::vector<complex_f> out(f.data->size());
    const solution& s = f.population.front();
    for (auto _ : state) {
        calculate_fc(f.data->reflections, f.data->model(), s, Mode, out, kernel);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    rate_counters(state, static_cast<double>(state.iterations()));
}
BENCHMARK(fc_serial<lookup_mode::trilinear>)
    ->Name("fc_serial/trilinear")
    ->ArgName("vector")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(fc_serial<lookup_mode::nearest>)
    ->Name("fc_serial/nearest")
    ->ArgName("vector")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond);

// The same, reflections spread over all worker threads (simplex, reports).
void fc_parallel(benchmark::State& state) {
    const beta_blip& f = fixture();
    const fc_kernel kernel = kernel_arg(state, 0);
    std::vector<complex_f> out(f.data->size());
    const solution& s = f.population.front();
    for (auto _ : state) {
        calculate_fc_parallel(f.data->reflections, f.data->model(), s, out, kernel);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    rate_counters(state, static_cast<double>(state.iterations()));
    state.counters["threads"] = tbb::info::default_concurrency();
}
BENCHMARK(fc_parallel)
    ->Name("fc_parallel/trilinear")
    ->ArgName("vector")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One generation of the global search: the objective over the population in
// a parallel loop, each candidate computed serially on its worker thread.
// The arguments: the number of threads allowed, and the loop. The objective
// takes the process-wide choice of loop, set here for the benchmark's run.
template <int Interpolate>
void population_objective(benchmark::State& state) {
    const beta_blip& f = fixture();
    const int threads = static_cast<int>(state.range(0));
    const fc_kernel before = current_fc_kernel();
    set_fc_kernel(kernel_arg(state, 1));
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                              static_cast<std::size_t>(threads));
    const scorer<pearson<float, double>, Interpolate, 0> objective(f.data);
    std::vector<double> scores(f.population.size());
    for (auto _ : state) {
        tbb::parallel_for(std::size_t(0), f.population.size(),
                          [&](std::size_t i) { scores[i] = objective(f.population[i]); });
        benchmark::DoNotOptimize(scores.data());
        benchmark::ClobberMemory();
    }
    set_fc_kernel(before);
    rate_counters(state, static_cast<double>(state.iterations() * f.population.size()));
    state.counters["threads"] = threads;
}

void thread_counts(benchmark::internal::Benchmark* b) {
    b->ArgNames({"threads", "vector"});
    const int all = tbb::info::default_concurrency();
    for (int vector = 0; vector <= 1; ++vector) {
        b->Args({1, vector});
        if (all > 1) b->Args({all, vector});
    }
}
BENCHMARK(population_objective<1>)
    ->Name("population_objective/trilinear")
    ->Apply(thread_counts)
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(population_objective<0>)
    ->Name("population_objective/nearest")
    ->Apply(thread_counts)
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The transform of a search model, built once per model step.
void build_transform(benchmark::State& state) {
    const model m = centred_model("beta.pdb");
    for (auto _ : state) benchmark::DoNotOptimize(build_molecular_transform(m, 3.0, 2.0, 3.0));
    state.counters["atoms"] = static_cast<double>(m.size());
}
BENCHMARK(build_transform)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
