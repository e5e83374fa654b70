// The FFT keeps its working storage per thread from call to call. These
// tests check that a transform of a size done before allocates nothing, and
// that transforms running at once on many threads, of sizes that grow and
// shrink, give exactly the numbers of a lone thread.
#include <gtest/gtest.h>
#include <tbb/parallel_for.h>

#include <random>
#include <vector>

#include "common/allocation_counter.hpp"
#include "transform/fft.hpp"

namespace {

struct grid {
    int nx, ny, nz;
    std::size_t size() const { return static_cast<std::size_t>(nx) * ny * nz; }
};

std::vector<float> random_values(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (float& x : v) x = u(gen);
    return v;
}

// Lengths with square digits only (64, 48), a square-free middle of several
// primes (42 = 2 3 7, 90, 360) and both, and a general odd radix (11, 13).
const grid grids[] = {{42, 20, 18}, {64, 48, 11}, {90, 13, 360}, {30, 1, 16}};

TEST(FftWorkspace, AWarmTransformAllocatesNothing) {
    for (const grid& g : grids) {
        std::vector<float> re = random_values(g.size(), 1), im = random_values(g.size(), 2);
        zelt::fft_3d(re.data(), im.data(), g.nx, g.ny, g.nz);
        const long n = allocation_counter::during([&] {
            zelt::fft_3d(re.data(), im.data(), g.nx, g.ny, g.nz);
            zelt::fft_transform_lines({g.ny, g.nx, static_cast<std::ptrdiff_t>(g.size())}, re.data(),
                                      im.data());
        });
        EXPECT_EQ(n, 0) << g.nx << "x" << g.ny << "x" << g.nz;
    }
    // A smaller size after larger ones needs nothing new either.
    std::vector<float> re = random_values(6 * 10 * 9, 3), im = random_values(6 * 10 * 9, 4);
    EXPECT_EQ(allocation_counter::during([&] { zelt::fft_3d(re.data(), im.data(), 6, 10, 9); }), 0);
}

TEST(FftWorkspace, ConcurrentTransformsMatchALoneThread) {
    std::vector<std::vector<float>> re0, im0, re1, im1;
    for (std::size_t i = 0; i < std::size(grids); ++i) {
        const grid& g = grids[i];
        re0.push_back(random_values(g.size(), 10 + i));
        im0.push_back(random_values(g.size(), 20 + i));
        re1.push_back(re0.back());
        im1.push_back(im0.back());
        zelt::fft_3d(re1.back().data(), im1.back().data(), g.nx, g.ny, g.nz);
    }
    // Each task takes the grids in its own order, so the per-thread storage
    // sees sizes grow and shrink while other threads use theirs.
    const int tasks = 48;
    std::vector<char> same(tasks, 0);
    tbb::parallel_for(0, tasks, [&](int t) {
        bool ok = true;
        for (std::size_t k = 0; k < std::size(grids); ++k) {
            const std::size_t i = (k + static_cast<std::size_t>(t)) % std::size(grids);
            const grid& g = grids[i];
            std::vector<float> re = re0[i], im = im0[i];
            zelt::fft_3d(re.data(), im.data(), g.nx, g.ny, g.nz);
            ok = ok && re == re1[i] && im == im1[i];
        }
        same[t] = ok;
    });
    for (int t = 0; t < tasks; ++t) EXPECT_TRUE(same[t]) << "task " << t;
}

}  // namespace
