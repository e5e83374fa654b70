// Cost of the packing-clash count for models of 1,000 to 20,000 residues:
// that many C-alpha atoms spread at random through a P3221 cell whose
// volume gives each residue 270 A^3 (a crystal of about half solvent), in
// two copies, counted at the default clash distance of 3.4 A. The images of
// all atoms under the six operators are filed in a grid, so the time grows
// with the number of atoms rather than with its square.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "score/packing.hpp"

namespace {

using namespace zelt;

placed_atom c_alpha(double u, double v, double w) {
    placed_atom a;
    a.line = "ATOM      1  CA  ALA A   1       0.000   0.000   0.000  1.00 20.00           C";
    a.element = 6;
    a.site = {u, v, w};
    return a;
}

void clash_count(benchmark::State& state) {
    const int residues = static_cast<int>(state.range(0));
    // Two copies of `residues / 2` residues, six operators: the cell holds
    // 6 * residues residues at 270 A^3 each; hexagonal cell with c = 1.3 a.
    const double volume = 6.0 * residues * 270.0;
    const double a = std::cbrt(volume / (1.3 * std::sqrt(3.0) / 2.0));
    const std::vector<unit_cell> cells = {unit_cell(154, a, a, 1.3 * a, 90, 90, 120)};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    placed_model_list copies(2);
    for (int i = 0; i < residues; ++i) copies[i % 2].push_back(c_alpha(unit(random), unit(random), unit(random)));
    solution s;
    int count = 0;
    for (auto _ : state) {
        count = count_clashes(copies, cells, false, 3.4, s, {0, 1});
        benchmark::DoNotOptimize(count);
    }
    state.counters["clashes"] = count;
    state.counters["atoms/s"] = benchmark::Counter(static_cast<double>(residues) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
}

BENCHMARK(clash_count)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
