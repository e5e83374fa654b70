// The three-dimensional FFT on every instruction set this processor offers,
// against a separable discrete Fourier transform in double precision, and
// the batched transform of the x lines against the plain line set.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "transform/fft.hpp"

namespace {

using cd = std::complex<double>;
constexpr double two_pi = 6.283185307179586;

// O(n^2) transform of every line along one axis of a double grid.
void dft_axis(std::vector<cd>& g, int n, std::ptrdiff_t stride) {
    const std::ptrdiff_t total = static_cast<std::ptrdiff_t>(g.size());
    std::vector<cd> line(static_cast<std::size_t>(n));
    for (std::ptrdiff_t base = 0; base < total; ++base) {
        if ((base / stride) % n != 0) continue;   // first point of a line only
        for (int k = 0; k < n; ++k) {
            cd sum = 0;
            for (int j = 0; j < n; ++j)
                sum += g[static_cast<std::size_t>(base + j * stride)] *
                       std::polar(1.0, -two_pi * static_cast<double>((j * k) % n) / n);
            line[static_cast<std::size_t>(k)] = sum;
        }
        for (int k = 0; k < n; ++k) g[static_cast<std::size_t>(base + k * stride)] = line[static_cast<std::size_t>(k)];
    }
}

TEST(FftDispatch, EveryTargetMatchesTheDiscreteTransform) {
    // 42 x 20 x 18: 360 lines along x, not a whole number of batches; the
    // lengths take radices 2, 3, 4, 5 and 7 and the square-free reordering.
    const int nx = 42, ny = 20, nz = 18;
    const std::size_t n = static_cast<std::size_t>(nx) * ny * nz;
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> re0(n), im0(n);
    for (std::size_t i = 0; i < n; ++i) re0[i] = u(gen), im0[i] = u(gen);
    std::vector<cd> expect(n);
    for (std::size_t i = 0; i < n; ++i) expect[i] = {re0[i], im0[i]};
    dft_axis(expect, nx, 1);
    dft_axis(expect, ny, nx);
    dft_axis(expect, nz, static_cast<std::ptrdiff_t>(nx) * ny);

    std::int64_t targets = (hwy::SupportedTargets() & HWY_TARGETS) | HWY_STATIC_TARGET;
    for (std::int64_t rest = targets; rest != 0; rest &= rest - 1) {
        const std::int64_t target = rest & -rest;
        hwy::SetSupportedTargetsForTest(target);
        std::vector<float> re = re0, im = im0;
        zelt::fft_3d(re.data(), im.data(), nx, ny, nz);
        double err = 0.0, norm = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            err += std::norm(cd(re[i], im[i]) - expect[i]);
            norm += std::norm(expect[i]);
        }
        EXPECT_LT(std::sqrt(err / norm), 5e-7) << hwy::TargetName(target);

        // The same axes as plain line sets: the x batches give the same numbers.
        std::vector<float> lr = re0, li = im0;
        const std::ptrdiff_t total = static_cast<std::ptrdiff_t>(n);
        zelt::fft_transform_lines({nx, 1, total}, lr.data(), li.data());
        zelt::fft_transform_lines({ny, nx, total}, lr.data(), li.data());
        zelt::fft_transform_lines({nz, static_cast<std::ptrdiff_t>(nx) * ny, total}, lr.data(), li.data());
        EXPECT_EQ(lr, re) << hwy::TargetName(target);
        EXPECT_EQ(li, im) << hwy::TargetName(target);
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
