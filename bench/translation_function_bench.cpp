// Cost of the fast translation function on the bundled beta/BLIP data: beta
// fixed at its reference placement (chain A of reference_solution.pdb, its
// structure factors as the static contribution), BLIP (blip.pdb centred on its
// mean atom, transform to 3 A, box scale 2, sampling 3) searched in random
// orientations with the Babinet factor of the scorer bench (k 0.8, B 200).
// The reflections are read to 3 A; the map at 5 A takes those to 5 A.
//
// One call computes the map of one orientation over the whole cell and finds
// its peaks, as the orientation search does for every candidate. Timed on the
// calling thread, and over a population of 300 candidates in a parallel loop
// on all worker threads.
#include <benchmark/benchmark.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>

#include <cmath>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "model/centring.hpp"
#include "io/coordinates.hpp"
#include "io/reflection_files.hpp"
#include "score/translation_function.hpp"
#include "transform/structure_factors.hpp"
#include "transform/static_structure.hpp"

namespace {

using namespace zelt;

const std::string example_dir = std::string(ZELT_SOURCE_DIR) + "/examples/beta-blip/";

model chain_of_reference(char chain) {
    const model all = load_model_file(example_dir + "reference_solution.pdb");
    model out;
    for (const atom& a : all)
        if (a.line.size() > 21 && a.line[21] == chain) out.push_back(a);
    return out;
}

model centred(model m) {
    model_list one{std::move(m)};
    centre_models(one);
    return std::move(one[0]);
}

struct beta_blip {
    std::vector<unit_cell> cells;
    std::vector<int> codes{0};
    transform_store store;
    std::shared_ptr<const scorer_data> data;
    std::vector<solution> population;

    beta_blip() : cells(read_cell(example_dir + "beta_blip.mtz")) {
        std::string label;
        reflection_set refl = read_reflections(cells[0], 80.0, 3.0, example_dir + "beta_blip.mtz", "", label);
        for (reflection& r : refl) {
            r.sigma = 1.0f;
            r.s2 = static_cast<float>(cells[0].s_squared(r.h, r.k, r.l));
        }
        placed_model beta;
        for (const atom& a : chain_of_reference('A')) beta.push_back(place_atom(a, cells[0].to_fractional(a.site)));
        static_contribution(cells[0], {beta}, 0, refl, 3.0, 3.0);
        store.set(0, build_molecular_transform(centred(load_model_file(example_dir + "blip.pdb")), 3.0,
                                               2.0, 3.0));
        data = std::make_shared<const scorer_data>(refl, cells, codes, store);
        std::mt19937_64 gen(2024);
        std::normal_distribution<double> n(0.0, 1.0);
        population.resize(300);
        for (solution& s : population) {
            s.placements.resize(1);
            s.placements[0].orientation = {n(gen), n(gen), n(gen), n(gen)};
            s.k = 0.8f;
            s.b = 200.0f;
        }
    }
};

const beta_blip& fixture() {
    static const beta_blip f;
    return f;
}

void map_counters(benchmark::State& state, const translation_function& tf) {
    const std::array<int, 3> g = tf.grid_size(0);
    state.counters["reflections"] = static_cast<double>(tf.reflection_count());
    state.counters["grid"] = static_cast<double>(g[0]) * g[1] * g[2];
}

// One call on the calling thread; the argument is d_min in tenths of an A,
// the second the number of peaks asked for.
void peaks_serial(benchmark::State& state) {
    const beta_blip& f = fixture();
    const translation_function tf(f.data, state.range(0) / 10.0);
    const int count = static_cast<int>(state.range(1));
    std::size_t i = 0;
    for (auto _ : state) {
        auto p = tf.peaks(f.population[i++ % f.population.size()], 0, count, {});
        benchmark::DoNotOptimize(p.data());
    }
    map_counters(state, tf);
    state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(peaks_serial)->Args({50, 1})->Args({50, 5})->Args({30, 1})->Unit(benchmark::kMillisecond);

// A generation: every candidate of the population placed at once, in parallel.
void peaks_population(benchmark::State& state) {
    const beta_blip& f = fixture();
    const translation_function tf(f.data, state.range(0) / 10.0);
    std::vector<double> best(f.population.size());
    for (auto _ : state) {
        tbb::parallel_for(std::size_t(0), f.population.size(), [&](std::size_t i) {
            best[i] = tf.peaks(f.population[i], 0, 1, {}).front().value;
        });
        benchmark::DoNotOptimize(best.data());
    }
    map_counters(state, tf);
    state.counters["calls/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * f.population.size()), benchmark::Counter::kIsRate);
    state.counters["threads"] = tbb::info::default_concurrency();
}
BENCHMARK(peaks_population)->Arg(50)->Arg(30)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
