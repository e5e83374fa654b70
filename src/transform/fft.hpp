#pragma once
// In-place mixed-radix complex FFT in single precision on split real and
// imaginary arrays. X_k = sum_j x_j exp(-2 pi i j k / n), no normalisation.
//
// A length is factorised symmetrically (square factors first and last, the
// square-free rest in the middle) so that the digit-reversed output of the
// decimation-in-frequency passes can be put back into natural order in place:
// the square digits by pairwise swaps, the square-free middle by following
// the cycles of its digit permutation.
#include <array>
#include <cstddef>

namespace zelt {

constexpr int fft_max_prime = 19;  // largest prime factor a length may have
constexpr int fft_nest = 14;       // most factors in the symmetric list

// Lists of factors, each terminated by 0.
struct fft_factors {
    std::array<int, fft_nest + 1> symmetric{};    // q_s..q_1, p_1..p_t, q_1..q_s
    std::array<int, fft_nest + 1> passes{};       // symmetric list with runs of 2 merged into 8/4/2
    std::array<int, fft_nest + 1> permutation{};  // q_s..q_1, P, q_1..q_s (P only if t >= 1)
    std::array<int, fft_nest + 1> square_free{};  // p_1..p_t when t >= 2, else empty
    int square_product = 1;                       // q_1 * ... * q_s
};

// The set of lines transformed by one pass over a grid: every line of length
// n whose successive points lie `stride` elements apart, in an array of
// `total` elements (a multiple of n * stride).
struct fft_lines {
    int n = 1;
    std::ptrdiff_t stride = 1;
    std::ptrdiff_t total = 1;
};

// Throws std::runtime_error "FFT: largest factor exceeds max_prime" or
// "FFT: factor count exceeds nest".
fft_factors fft_factorize(int n);

// One radix pass per entry of the pass list (up to its terminating 0).
// Throws std::runtime_error "FFT: Bad factor (6) in ComplexFTKernalDriver".
void ComplexFTKernalDriver(int n, const int* passes, const fft_lines& lines, float* re, float* im);

// Puts every line from the digit-reversed order of the passes into natural order.
void fft_reorder(int n, const int* permutation, const int* square_free, int square_product,
                 const fft_lines& lines, float* re, float* im);

// Factorises, transforms and reorders every line of the set. Length 1 does nothing.
void fft_transform_lines(const fft_lines& lines, float* re, float* im);

// Three-dimensional transform of a grid whose point (i, j, k) is stored at
// i + nx * (j + ny * k): along x, then y, then z; axes of length 1 are skipped.
void fft_3d(float* re, float* im, int nx, int ny, int nz);

// Smallest even number >= n (and >= 2) whose prime factors are only 2, 3, 5
// and 7, trying at most 100 even candidates; 0 when none of them qualifies.
int fft_friendly_size(int n);

}  // namespace zelt
