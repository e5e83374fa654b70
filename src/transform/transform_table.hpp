#pragma once
// A model's transform sampled on the reciprocal lattice of its P1 box.
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelt {

using complex_f = std::complex<float>;

// The sampled transform of one model: entries for h in [-h_max, h_max],
// k in [-k_max, k_max] and l in [-1, l_max]; the rest of reciprocal space
// follows from Friedel's law.
struct transform_table {
    std::array<float, 3> origin{};                   // index of element (0,0,0)
    std::array<float, 3> step{1.0f, 1.0f, 1.0f};
    std::array<float, 3> inverse_step{1.0f, 1.0f, 1.0f};
    std::int32_t n_h = 0, n_k = 0, n_l = 0;
    std::vector<complex_f> entries;                  // all (0,0) at creation

    transform_table() = default;
    transform_table(int h_max, int k_max, int l_max);

    bool contains(int h, int k, int l) const;
    std::size_t index(int h, int k, int l) const;    // caller checks contains()
    complex_f& at(int h, int k, int l) { return entries[index(h, k, l)]; }
    const complex_f& at(int h, int k, int l) const { return entries[index(h, k, l)]; }

    // Value at a (fractional) point of the box's reciprocal lattice. Points
    // with q3 < 0 are read at -q and conjugated. Points whose corners fall
    // outside the table read as zero.
    complex_f trilinear(float q1, float q2, float q3) const;
    complex_f nearest(float q1, float q2, float q3) const;
};

}  // namespace zelt
