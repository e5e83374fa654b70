#pragma once
// Reading a transform table at a fractional point of its lattice: the
// lookups inlined into the table's own readers and the structure-factor loop.
#include <algorithm>
#include <array>
#include <complex>
#include <cstddef>

#include "transform/transform_table.hpp"

namespace zelt::table_lookup {

inline float lerp(float a, float b, float f) { return (1.0f - f) * a + f * b; }

inline complex_f lerp(const complex_f& a, const complex_f& b, float f) {
    return {lerp(a.real(), b.real(), f), lerp(a.imag(), b.imag(), f)};
}

// Lower interpolation corner and fraction along one axis; false when the
// point lies outside [0, n - 1] (NaN included).
inline bool corner(float u, int n, int& i0, float& f) {
    if (!(u >= 0.0f && u <= static_cast<float>(n - 1))) return false;
    i0 = std::min(static_cast<int>(u), n - 2);
    f = u - static_cast<float>(i0);
    return true;
}

inline bool nearest_index(float u, int n, int& i) {
    const float v = u + 0.5f;
    if (!(v >= 0.0f && v < static_cast<float>(n))) return false;
    i = static_cast<int>(v);
    return true;
}

// The lookups proper, inlined into the structure-factor loop.
[[gnu::always_inline]] inline complex_f trilinear_lookup(const transform_table& t, float q1, float q2,
                                                        float q3) {
    const std::array<float, 3>& origin = t.origin;
    const std::array<float, 3>& inverse_step = t.inverse_step;
    const int n_h = t.n_h, n_k = t.n_k, n_l = t.n_l;
    const bool friedel = q3 < 0.0f;
    if (friedel) {
        q1 = -q1;
        q2 = -q2;
        q3 = -q3;
    }
    int i0, j0, k0;
    float f1, f2, f3;
    if (!corner((q1 - origin[0]) * inverse_step[0], n_h, i0, f1) ||
        !corner((q2 - origin[1]) * inverse_step[1], n_k, j0, f2) ||
        !corner((q3 - origin[2]) * inverse_step[2], n_l, k0, f3))
        return {0.0f, 0.0f};
    const std::size_t sh = 1, sk = static_cast<std::size_t>(n_h),
                      sl = static_cast<std::size_t>(n_h) * static_cast<std::size_t>(n_k);
    const complex_f* e = t.entries.data() + static_cast<std::size_t>(i0) +
                         sk * static_cast<std::size_t>(j0) + sl * static_cast<std::size_t>(k0);
    const complex_f c00 = lerp(e[0], e[sh], f1);
    const complex_f c10 = lerp(e[sk], e[sk + sh], f1);
    const complex_f c01 = lerp(e[sl], e[sl + sh], f1);
    const complex_f c11 = lerp(e[sl + sk], e[sl + sk + sh], f1);
    const complex_f c0 = lerp(c00, c10, f2);
    const complex_f c1 = lerp(c01, c11, f2);
    const complex_f c = lerp(c0, c1, f3);
    return friedel ? std::conj(c) : c;
}

[[gnu::always_inline]] inline complex_f nearest_lookup(const transform_table& t, float q1, float q2,
                                                      float q3) {
    const std::array<float, 3>& origin = t.origin;
    const std::array<float, 3>& inverse_step = t.inverse_step;
    const int n_h = t.n_h, n_k = t.n_k;
    const bool friedel = q3 < 0.0f;
    if (friedel) {
        q1 = -q1;
        q2 = -q2;
        q3 = -q3;
    }
    int i, j, k;
    if (!nearest_index((q1 - origin[0]) * inverse_step[0], n_h, i) ||
        !nearest_index((q2 - origin[1]) * inverse_step[1], n_k, j) ||
        !nearest_index((q3 - origin[2]) * inverse_step[2], t.n_l, k))
        return {0.0f, 0.0f};
    const complex_f c = t.entries[static_cast<std::size_t>(i) +
                                static_cast<std::size_t>(n_h) *
                                    (static_cast<std::size_t>(j) +
                                     static_cast<std::size_t>(n_k) * static_cast<std::size_t>(k))];
    return friedel ? std::conj(c) : c;
}

}  // namespace zelt::table_lookup
