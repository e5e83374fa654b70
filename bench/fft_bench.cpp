// The three-dimensional FFT on the grids a run on the bundled beta/BLIP data
// really makes, sized by the program's own code: the P1 boxes of beta.pdb's
// and blip.pdb's transforms (resolution 3 A, box scale 2, sampling 3) and the
// P3221 cell of beta_blip.mtz with sampling 3 at 3 A (the fixed-structure
// grid) and at 5 A (the cell grids of a translation search at 5 and 3 A). When FFTW
// is available the same grids are transformed by FFTW (single precision,
// in place, planned with FFTW_MEASURE) for comparison, both with interleaved
// complex values and with split real and imaginary arrays (our layout), and
// the ratios of the times (ours / FFTW), wall clock and processor time, are
// printed at the end. On a shared machine the processor time of these
// single-threaded transforms is the steadier measure.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "io/coordinates.hpp"
#include "io/reflection_files.hpp"
#include "transform/fft.hpp"
#include "transform/fourier_map.hpp"
#include "transform/structure_factors.hpp"

#ifdef ZELT_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

using namespace zelt;

const std::string example_dir = std::string(ZELT_SOURCE_DIR) + "/examples/beta-blip/";

struct grid {
    std::string name;
    int nx, ny, nz;
    std::size_t size() const { return static_cast<std::size_t>(nx) * ny * nz; }
};

// A model's density grid: the box and resolution of its transform as the
// model step computes them.
grid model_box_grid(const std::string& name, const std::string& file) {
    model m = load_model_file(example_dir + file);
    vec3 c{0, 0, 0};
    for (const atom& a : m) c = add(c, a.site.xyz);
    for (atom& a : m) a.site = a.site - position(c) / static_cast<double>(m.size());
    const transform_box box = model_transform_box(m, 3.0, 2.0);
    const fourier_map map(box.cell, 3.0, std::numeric_limits<double>::max(), box.d_t);
    return {name, map.nx(), map.ny(), map.nz()};
}

// The crystal's cell at a resolution limit.
grid crystal_cell_grid(const std::string& name, double d_min) {
    const std::vector<unit_cell> cells = read_cell(example_dir + "beta_blip.mtz");
    const fourier_map map(cells.front(), 3.0, std::numeric_limits<double>::max(), d_min);
    return {name, map.nx(), map.ny(), map.nz()};
}

const std::vector<grid>& grids() {
    static const std::vector<grid> g{model_box_grid("beta_box", "beta.pdb"),
                                     model_box_grid("blip_box", "blip.pdb"),
                                     crystal_cell_grid("p3221_cell", 3.0),
                                     crystal_cell_grid("p3221_cell_5A", 5.0)};
    return g;
}

// Random values of a grid, kept so that every iteration transforms the same
// input (repeated unnormalised transforms would overflow).
std::vector<float> random_values(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (float& x : v) x = u(gen);
    return v;
}

void grid_counters(benchmark::State& state, const grid& g) {
    state.counters["nx"] = g.nx;
    state.counters["ny"] = g.ny;
    state.counters["nz"] = g.nz;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(g.size()));
}

void zelt_fft(benchmark::State& state, std::size_t which) {
    const grid& g = grids()[which];
    const std::vector<float> re0 = random_values(g.size(), 1), im0 = random_values(g.size(), 2);
    std::vector<float> re(re0), im(im0);
    for (auto _ : state) {
        fft_3d(re.data(), im.data(), g.nx, g.ny, g.nz);
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
        state.PauseTiming();
        std::copy(re0.begin(), re0.end(), re.begin());
        std::copy(im0.begin(), im0.end(), im.begin());
        state.ResumeTiming();
    }
    grid_counters(state, g);
}

#ifdef ZELT_HAVE_FFTW
// Interleaved complex values, FFTW's own layout; dimensions slowest first,
// so the grid's x axis (fastest) is the last one.
void fftw_interleaved(benchmark::State& state, std::size_t which) {
    const grid& g = grids()[which];
    fftwf_complex* data = fftwf_alloc_complex(g.size());
    const fftwf_plan plan =
        fftwf_plan_dft_3d(g.nz, g.ny, g.nx, data, data, FFTW_FORWARD, FFTW_MEASURE);
    const std::vector<float> re0 = random_values(g.size(), 1), im0 = random_values(g.size(), 2);
    auto fill = [&] {
        for (std::size_t i = 0; i < g.size(); ++i) {
            data[i][0] = re0[i];
            data[i][1] = im0[i];
        }
    };
    fill();
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(data);
        benchmark::ClobberMemory();
        state.PauseTiming();
        fill();
        state.ResumeTiming();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
    grid_counters(state, g);
}

// Split real and imaginary arrays, as our transform keeps them.
void fftw_split(benchmark::State& state, std::size_t which) {
    const grid& g = grids()[which];
    float* re = fftwf_alloc_real(g.size());
    float* im = fftwf_alloc_real(g.size());
    const fftwf_iodim dims[3] = {{g.nz, g.nx * g.ny, g.nx * g.ny}, {g.ny, g.nx, g.nx}, {g.nx, 1, 1}};
    // A forward transform with split arrays: FFTW's sign is fixed at -1 and
    // the imaginary array is the second one.
    const fftwf_plan plan = fftwf_plan_guru_split_dft(3, dims, 0, nullptr, re, im, re, im, FFTW_MEASURE);
    const std::vector<float> re0 = random_values(g.size(), 1), im0 = random_values(g.size(), 2);
    auto fill = [&] {
        std::memcpy(re, re0.data(), g.size() * sizeof(float));
        std::memcpy(im, im0.data(), g.size() * sizeof(float));
    };
    fill();
    for (auto _ : state) {
        fftwf_execute_split_dft(plan, re, im, re, im);
        benchmark::DoNotOptimize(re);
        benchmark::ClobberMemory();
        state.PauseTiming();
        fill();
        state.ResumeTiming();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(re);
    fftwf_free(im);
    grid_counters(state, g);
}
#endif

// Real and processor time per iteration of every benchmark, by name, for the
// ratios: the first repetition, or the median when there are several.
class recording_reporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, as the default reporter does.
    recording_reporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            // With repetitions the median stands for the benchmark.
            if (r.run_type == Run::RT_Iteration && !seconds.count(r.run_name.str())) {
                seconds[r.run_name.str()] = r.GetAdjustedRealTime();
                cpu_seconds[r.run_name.str()] = r.GetAdjustedCPUTime();
            } else if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                seconds[r.run_name.str()] = r.GetAdjustedRealTime();
                cpu_seconds[r.run_name.str()] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpu_seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (std::size_t i = 0; i < grids().size(); ++i) {
        const grid& g = grids()[i];
        const std::string suffix = g.name + "/" + std::to_string(g.nx) + "x" + std::to_string(g.ny) +
                                   "x" + std::to_string(g.nz);
        benchmark::RegisterBenchmark(("zelt/" + suffix).c_str(), zelt_fft, i)
            ->Unit(benchmark::kMillisecond);
#ifdef ZELT_HAVE_FFTW
        benchmark::RegisterBenchmark(("fftw_interleaved/" + suffix).c_str(), fftw_interleaved, i)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("fftw_split/" + suffix).c_str(), fftw_split, i)
            ->Unit(benchmark::kMillisecond);
#endif
    }
    recording_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
#ifdef ZELT_HAVE_FFTW
    std::printf("\nTime ratio, ours / FFTW (single precision, in place, FFTW_MEASURE): wall, cpu\n");
    for (const grid& g : grids()) {
        const std::string suffix = g.name + "/" + std::to_string(g.nx) + "x" + std::to_string(g.ny) +
                                   "x" + std::to_string(g.nz);
        const auto ours = reporter.seconds.find("zelt/" + suffix);
        if (ours == reporter.seconds.end()) continue;
        for (const char* kind : {"fftw_interleaved", "fftw_split"}) {
            const auto other = reporter.seconds.find(std::string(kind) + "/" + suffix);
            if (other == reporter.seconds.end() || !(other->second > 0.0)) continue;
            const double cpu = reporter.cpu_seconds[std::string(kind) + "/" + suffix];
            std::printf("  %-30s vs %-16s %6.2f %6.2f\n", suffix.c_str(), kind, ours->second / other->second,
                        cpu > 0.0 ? reporter.cpu_seconds["zelt/" + suffix] / cpu : 0.0);
        }
    }
#else
    std::printf("\nFFTW was not found when this benchmark was built: no comparison.\n");
#endif
    benchmark::Shutdown();
    return 0;
}
