// Throughput of the three-dimensional FFT on typical density-grid sizes and
// of painting a protein into a map.
#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "crystal/unit_cell.hpp"
#include "transform/fft.hpp"
#include "transform/fourier_map.hpp"

namespace {

void fft_grid(benchmark::State& state) {
    const int nx = static_cast<int>(state.range(0)), ny = static_cast<int>(state.range(1)),
              nz = static_cast<int>(state.range(2));
    const std::size_t n = static_cast<std::size_t>(nx) * ny * nz;
    std::vector<float> re(n), im(n);
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (std::size_t i = 0; i < n; ++i) {
        re[i] = u(gen);
        im[i] = 0.0f;
    }
    for (auto _ : state) {
        zelt::fft_3d(re.data(), im.data(), nx, ny, nz);
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}
BENCHMARK(fft_grid)
    ->Args({96, 96, 120})
    ->Args({80, 80, 140})
    ->Args({64, 64, 64})
    ->Args({126, 126, 126})
    ->Args({162, 162, 162})
    ->Unit(benchmark::kMillisecond);

// A model box of a 30 kDa protein (2000 carbon atoms scattered through a
// 60 A box) painted and transformed at 3 A, as done once per search model.
void paint_and_transform(benchmark::State& state) {
    const zelt::unit_cell box(1, 120, 110, 130, 90, 90, 90);
    std::mt19937 gen(9);
    std::uniform_real_distribution<double> u(0.25, 0.75);
    std::vector<zelt::vec3> atoms(2000);
    for (auto& a : atoms) a = {u(gen), u(gen), u(gen)};
    for (auto _ : state) {
        zelt::fourier_map map(box, 3.0, std::numeric_limits<double>::max(), 3.0);
        for (const auto& a : atoms) map.add_atom(a, 1.0, 30.0, 6);
        map.transform();
        benchmark::DoNotOptimize(map.real_part().data());
    }
}
BENCHMARK(paint_and_transform)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
