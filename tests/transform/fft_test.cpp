// The FFT against a plain O(n^2) discrete Fourier transform in double
// precision, its factor lists, its refusals and the grid-size rule.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "transform/fft.hpp"

namespace {

using zelt::fft_lines;
using cd = std::complex<double>;
constexpr double fft_two_pi = 6.283185307179586476925286766559;

std::vector<float> random_signal(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (float& x : v) x = u(gen);
    return v;
}

// X_k = sum_j x_j exp(-2 pi i j k / n) of one line.
std::vector<cd> plain_dft(const std::vector<cd>& x) {
    const std::size_t n = x.size();
    std::vector<cd> root(n), out(n);
    for (std::size_t m = 0; m < n; ++m) root[m] = std::polar(1.0, -fft_two_pi * static_cast<double>(m) / n);
    for (std::size_t k = 0; k < n; ++k) {
        cd sum = 0;
        for (std::size_t j = 0; j < n; ++j) sum += x[j] * root[(j * k) % n];
        out[k] = sum;
    }
    return out;
}

// Largest deviation relative to the largest amplitude.
double relative_error(const std::vector<cd>& expect, const std::vector<float>& re,
                      const std::vector<float>& im) {
    double err = 0, mag = 0;
    for (std::size_t i = 0; i < expect.size(); ++i) {
        err = std::max(err, std::abs(expect[i] - cd(re[i], im[i])));
        mag = std::max(mag, std::abs(expect[i]));
    }
    return err / mag;
}

class fft_length : public ::testing::TestWithParam<int> {};

// Several lines of one length at strides 1, 3 and n (the three axis layouts
// of a grid); every line is checked against the plain transform.
TEST_P(fft_length, matches_plain_dft_on_every_line) {
    const int n = GetParam();
    // Long lines are checked once; the short ones in all three layouts.
    const std::vector<std::ptrdiff_t> strides =
        n > 400 ? std::vector<std::ptrdiff_t>{1} : std::vector<std::ptrdiff_t>{1, 3, 5};
    for (std::ptrdiff_t stride : strides) {
        const std::ptrdiff_t total = n * stride * (n > 400 ? 1 : 2);
        std::vector<float> re = random_signal(total, n * 7 + stride);
        std::vector<float> im = random_signal(total, n * 13 + stride);
        const std::vector<float> re0 = re, im0 = im;
        zelt::fft_transform_lines({n, stride, total}, re.data(), im.data());
        for (std::ptrdiff_t base = 0; base < total; base += n * stride)
            for (std::ptrdiff_t a = 0; a < stride; ++a) {
                std::vector<cd> x(n);
                std::vector<float> gr(n), gi(n);
                for (int j = 0; j < n; ++j) {
                    x[j] = cd(re0[base + a + j * stride], im0[base + a + j * stride]);
                    gr[j] = re[base + a + j * stride];
                    gi[j] = im[base + a + j * stride];
                }
                EXPECT_LT(relative_error(plain_dft(x), gr, gi), 2e-6 * std::log2(2.0 * n))
                    << "n=" << n << " stride=" << stride << " line at " << base + a;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(lengths, fft_length,
                         ::testing::Values(2, 3, 4, 5, 7, 8, 11, 16, 19, 22, 32, 38, 45, 48, 60,
                                           64, 90, 96, 180, 360, 30, 210, 13 * 17, 2 * 3 * 5 * 7 * 11,
                                           1024, 8 * 27 * 5 * 7));

// A unit value at position 1 transforms to exp(-2 pi i k / n).
TEST(fft, shifted_impulse_gives_the_roots_of_unity) {
    for (int n : {2, 3, 5, 6, 12, 17, 40, 96, 120, 343}) {
        std::vector<float> re(n, 0.0f), im(n, 0.0f);
        re[1] = 1.0f;
        zelt::fft_transform_lines({n, 1, n}, re.data(), im.data());
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(re[k], std::cos(fft_two_pi * k / n), 2e-6) << "n=" << n << " k=" << k;
            EXPECT_NEAR(im[k], -std::sin(fft_two_pi * k / n), 2e-6) << "n=" << n << " k=" << k;
        }
    }
}

TEST(fft, length_two_is_sum_and_difference_and_length_one_is_untouched) {
    float re[2] = {3.0f, 1.25f}, im[2] = {-2.0f, 0.5f};
    zelt::fft_transform_lines({2, 1, 2}, re, im);
    EXPECT_EQ(re[0], 4.25f);
    EXPECT_EQ(im[0], -1.5f);
    EXPECT_EQ(re[1], 1.75f);
    EXPECT_EQ(im[1], -2.5f);

    std::vector<float> gr = random_signal(12, 1), gi = random_signal(12, 2);
    const std::vector<float> r0 = gr, i0 = gi;
    zelt::fft_transform_lines({1, 1, 12}, gr.data(), gi.data());
    EXPECT_EQ(gr, r0);
    EXPECT_EQ(gi, i0);
}

// Three-dimensional grids against the full triple sum; axes of length 1
// are skipped by the transform and must still come out right.
TEST(fft, three_dimensional_grids_match_the_triple_sum) {
    struct dims { int nx, ny, nz; };
    for (dims d : {dims{6, 10, 9}, dims{8, 1, 12}, dims{1, 22, 3}, dims{16, 5, 7}, dims{4, 4, 1},
                   dims{1, 1, 19}}) {
        const int n = d.nx * d.ny * d.nz;
        std::vector<float> re = random_signal(n, 11 + n), im = random_signal(n, 17 + n);
        const std::vector<float> re0 = re, im0 = im;
        zelt::fft_3d(re.data(), im.data(), d.nx, d.ny, d.nz);
        std::vector<cd> expect(n);
        for (int h = 0; h < d.nx; ++h)
            for (int k = 0; k < d.ny; ++k)
                for (int l = 0; l < d.nz; ++l) {
                    cd sum = 0;
                    for (int x = 0; x < d.nx; ++x)
                        for (int y = 0; y < d.ny; ++y)
                            for (int z = 0; z < d.nz; ++z) {
                                const double phase = static_cast<double>(h * x) / d.nx +
                                                     static_cast<double>(k * y) / d.ny +
                                                     static_cast<double>(l * z) / d.nz;
                                const int i = x + d.nx * (y + d.ny * z);
                                sum += cd(re0[i], im0[i]) * std::polar(1.0, -fft_two_pi * phase);
                            }
                    expect[h + d.nx * (k + d.ny * l)] = sum;
                }
        EXPECT_LT(relative_error(expect, re, im), 5e-6) << d.nx << "x" << d.ny << "x" << d.nz;
    }
}

// Every line of an axis gets exactly the same arithmetic, whether it is
// transformed with all the others or on its own.
TEST(fft, lines_are_independent_of_their_neighbours) {
    const int nx = 5, ny = 48, nz = 3;
    std::vector<float> re = random_signal(nx * ny * nz, 3), im = random_signal(nx * ny * nz, 4);
    const std::vector<float> re0 = re, im0 = im;
    zelt::fft_transform_lines({ny, nx, nx * ny * nz}, re.data(), im.data());
    for (int x = 0; x < nx; ++x)
        for (int z = 0; z < nz; ++z) {
            std::vector<float> lr(ny), li(ny);
            for (int y = 0; y < ny; ++y) {
                lr[y] = re0[x + nx * (y + ny * z)];
                li[y] = im0[x + nx * (y + ny * z)];
            }
            zelt::fft_transform_lines({ny, 1, ny}, lr.data(), li.data());
            for (int y = 0; y < ny; ++y) {
                ASSERT_EQ(lr[y], re[x + nx * (y + ny * z)]);
                ASSERT_EQ(li[y], im[x + nx * (y + ny * z)]);
            }
        }
}

std::vector<int> listed(const std::array<int, zelt::fft_nest + 1>& a) {
    std::vector<int> v;
    for (int x : a) {
        if (x == 0) break;
        v.push_back(x);
    }
    return v;
}

TEST(fft, factor_lists) {
    struct row {
        int n;
        std::vector<int> symmetric, passes, permutation, square_free;
        int square_product;
    };
    const row rows[] = {
        {180, {3, 2, 5, 2, 3}, {3, 2, 5, 2, 3}, {3, 2, 5, 2, 3}, {}, 6},
        {8, {2, 2, 2}, {1, 1, 8}, {2, 2, 2}, {}, 2},
        {16, {2, 2, 2, 2}, {1, 1, 8, 2}, {2, 2, 2, 2}, {}, 4},
        {32, {2, 2, 2, 2, 2}, {1, 1, 8, 1, 4}, {2, 2, 2, 2, 2}, {}, 4},
        {48, {2, 2, 3, 2, 2}, {1, 4, 3, 1, 4}, {2, 2, 3, 2, 2}, {}, 4},
        {2, {2}, {2}, {2}, {}, 1},
        {360, {3, 2, 2, 5, 2, 3}, {3, 1, 4, 5, 2, 3}, {3, 2, 10, 2, 3}, {2, 5}, 6},
        {90, {3, 2, 5, 3}, {3, 2, 5, 3}, {3, 10, 3}, {2, 5}, 3},
        {30, {2, 3, 5}, {2, 3, 5}, {30}, {2, 3, 5}, 1},
        {81, {3, 3, 3, 3}, {3, 3, 3, 3}, {3, 3, 3, 3}, {}, 9},
        {27, {3, 3, 3}, {3, 3, 3}, {3, 3, 3}, {}, 3},
        {16384, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
         {1, 1, 8, 1, 1, 8, 1, 1, 8, 1, 1, 8, 1, 4},
         {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, {}, 128},
        {19, {19}, {19}, {19}, {}, 1},
        {1, {}, {}, {}, {}, 1},
    };
    for (const row& r : rows) {
        const zelt::fft_factors f = zelt::fft_factorize(r.n);
        EXPECT_EQ(listed(f.symmetric), r.symmetric) << r.n;
        EXPECT_EQ(listed(f.passes), r.passes) << r.n;
        EXPECT_EQ(listed(f.permutation), r.permutation) << r.n;
        EXPECT_EQ(listed(f.square_free), r.square_free) << r.n;
        EXPECT_EQ(f.square_product, r.square_product) << r.n;
    }
}

template <class F>
std::string failure_of(F&& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no failure";
}

TEST(fft, refused_lengths_and_factors) {
    const std::string max_prime = "FFT: largest factor exceeds max_prime";
    const std::string nest = "FFT: factor count exceeds nest";
    struct row { int n; std::string message; };
    for (const row& r : {row{46, max_prime}, row{23, max_prime}, row{2 * 3 * 29, max_prime},
                         row{1 << 15, nest}, row{3 * (1 << 14), nest}, row{(1 << 12) * 27, nest}}) {
        EXPECT_EQ(failure_of([&] { zelt::fft_factorize(r.n); }), r.message) << r.n;
        // The same failure comes out of a transform of that length.
        std::vector<float> re(r.n, 0.0f), im(r.n, 0.0f);
        EXPECT_EQ(failure_of([&] { zelt::fft_transform_lines({r.n, 1, r.n}, re.data(), im.data()); }),
                  r.message)
            << r.n;
    }
    std::vector<float> re(12, 0.0f), im(12, 0.0f);
    const int six[] = {2, 6, 0};
    EXPECT_EQ(failure_of([&] { zelt::ComplexFTKernalDriver(12, six, {12, 1, 12}, re.data(), im.data()); }),
              "FFT: Bad factor (6) in ComplexFTKernalDriver");
    const int ten[] = {10, 0};
    EXPECT_EQ(failure_of([&] { zelt::ComplexFTKernalDriver(10, ten, {10, 1, 10}, re.data(), im.data()); }),
              "FFT: Bad factor (10) in ComplexFTKernalDriver");
    // A line set that does not tile its array is refused before any access.
    try {
        zelt::fft_transform_lines({5, 2, 12}, re.data(), im.data());
        ADD_FAILURE() << "a line set of 5 x 2 over 12 elements was accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "FFT: line set does not tile the array");
    }
    // The three-dimensional transform refuses an axis just the same.
    std::vector<float> g(4 * 46, 0.0f), gi(4 * 46, 0.0f);
    EXPECT_EQ(failure_of([&] { zelt::fft_3d(g.data(), gi.data(), 4, 46, 1); }), max_prime);
}

TEST(fft, friendly_sizes) {
    struct row { int n, size; };
    for (row r : {row{1, 2}, row{0, 2}, row{-5, 2}, row{2, 2}, row{45, 48}, row{49, 50}, row{98, 98},
                  row{22, 24}, row{13, 14}, row{11, 12}, row{101, 108}, row{127, 128}, row{211, 216},
                  row{6480, 6480}, row{6481, 0}, row{6482, 0}, row{6680, 6720}, row{6681, 6720}}) {
        EXPECT_EQ(zelt::fft_friendly_size(r.n), r.size) << r.n;
    }
    // Every size the rule gives is even, not below n and accepted by the FFT.
    for (int n = 1; n <= 2000; ++n) {
        const int s = zelt::fft_friendly_size(n);
        ASSERT_GE(s, n);
        ASSERT_EQ(s % 2, 0);
        ASSERT_NO_THROW(zelt::fft_factorize(s)) << s;
    }
}

}  // namespace
