// Cost of scoring one candidate: calculated structure factors of beta.pdb in
// the P3221 cell of the beta/BLIP example (about 8500 reflections to 3 A),
// serial with both lookups and spread over the worker threads.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "io/coordinates.hpp"
#include "score/scorer.hpp"
#include "transform/molecular_transform.hpp"

namespace {

using namespace zelt;

// beta-lactamase of the bundled example, centred on the mean of its atoms.
model centred_beta() {
    model m = load_model_file(std::string(ZELT_SOURCE_DIR) + "/examples/beta-blip/beta.pdb");
    vec3 c{0, 0, 0};
    for (const atom& a : m) c = add(c, {a.x, a.y, a.z});
    for (atom& a : m) {
        a.x -= c[0] / m.size();
        a.y -= c[1] / m.size();
        a.z -= c[2] / m.size();
    }
    return m;
}

struct fixture {
    std::vector<unit_cell> cells{unit_cell(154, 75.11, 75.11, 133.31, 90.0, 90.0, 120.0)};
    std::vector<int> codes{0};
    transform_store store;
    std::shared_ptr<const scorer_data> data;
    solution candidate;

    fixture() {
        const model m = centred_beta();
        store.set(0, build_molecular_transform(m, 3.0, 2.0, 3.0));
        // The unique reflections of P3221 are about a sixth of a hemisphere.
        reflection_set refl;
        for (int h = -26; h <= 26; ++h)
            for (int k = -26; k <= 26; ++k)
                for (int l = 0; l <= 45; ++l) {
                    const double d = cells[0].d_spacing(h, k, l);
                    if (d < 3.0 || d > 80.0 || (7 * h + 3 * k + l) % 6 != 0) continue;
                    reflection r;
                    r.h = float(h);
                    r.k = float(k);
                    r.l = float(l);
                    r.f = float(1 + (h * k + l) % 17 + 17);
                    r.sigma = 1.0f;
                    r.s2 = float(cells[0].s_squared(h, k, l));
                    refl.push_back(r);
                }
        data = std::make_shared<const scorer_data>(refl, cells, codes, store);
        copy_placement p;
        p.orientation = {0.3, -0.5, 0.2, 0.8};
        p.translation = {0.13, 0.41, 0.07};
        candidate.placements = {p};
        candidate.k = 0.8f;
        candidate.b = 200.0f;
    }
};

fixture& shared() {
    static fixture f;
    return f;
}

template <int Interpolate>
void serial_correlation(benchmark::State& state) {
    fixture& f = shared();
    const scorer<pearson<float, double>, Interpolate, 0> objective(f.data);
    for (auto _ : state) benchmark::DoNotOptimize(objective(f.candidate));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * f.data->size()));
}
BENCHMARK(serial_correlation<1>)->Unit(benchmark::kMillisecond);
BENCHMARK(serial_correlation<0>)->Unit(benchmark::kMillisecond);

void parallel_correlation(benchmark::State& state) {
    fixture& f = shared();
    for (auto _ : state) benchmark::DoNotOptimize(f.data->correlation(f.candidate));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * f.data->size()));
}
BENCHMARK(parallel_correlation)->Unit(benchmark::kMillisecond)->UseRealTime();

void build_transform(benchmark::State& state) {
    const model m = centred_beta();
    for (auto _ : state) benchmark::DoNotOptimize(build_molecular_transform(m, 3.0, 2.0, 3.0));
}
BENCHMARK(build_transform)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
