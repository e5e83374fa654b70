#pragma once
// Small fixed-size vector and matrix helpers shared by the crystallographic code.
// Matrices are 3x3, row-major, double precision.
#include <numbers>
#include <array>
#include <cmath>
#include <cstddef>

namespace zelt {

using vec3 = std::array<double, 3>;
using mat3 = std::array<double, 9>;

// Degrees in one radian, for angles written out.
inline constexpr double radians_to_degrees = 180.0 / std::numbers::pi;

inline vec3 mul(const mat3& m, const vec3& v) {
    return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2],
            m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
            m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

inline mat3 mul(const mat3& a, const mat3& b) {
    mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    return r;
}

inline mat3 transpose(const mat3& m) {
    return {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
}

inline mat3 identity3() { return {1, 0, 0, 0, 1, 0, 0, 0, 1}; }

inline vec3 add(const vec3& a, const vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline vec3 sub(const vec3& a, const vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline double dot(const vec3& a, const vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Inverse by cofactors over the determinant.
inline mat3 inverse(const mat3& m) {
    const double c00 = m[4] * m[8] - m[5] * m[7];
    const double c01 = m[5] * m[6] - m[3] * m[8];
    const double c02 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    const double s = 1.0 / det;
    return {c00 * s, (m[2] * m[7] - m[1] * m[8]) * s, (m[1] * m[5] - m[2] * m[4]) * s,
            c01 * s, (m[0] * m[8] - m[2] * m[6]) * s, (m[2] * m[3] - m[0] * m[5]) * s,
            c02 * s, (m[1] * m[6] - m[0] * m[7]) * s, (m[0] * m[4] - m[1] * m[3]) * s};
}

// The coordinates of a point, kept apart by their kind so that one kind cannot
// be passed where the other is expected: `fractional` in units of the cell
// edges (a vector of the lattice is whole), `position` orthogonal (Cartesian)
// in Angstrom, in the frame of the unit cell's orthogonalisation matrix. The
// unit cell converts between them. Both read and write their components by
// index like a vec3, take a plain vec3 only explicitly, and add, subtract and
// scale component by component in the same operations as add/sub on vec3.
template <class Kind>
struct coordinates {
    vec3 xyz{0.0, 0.0, 0.0};

    constexpr coordinates() = default;
    constexpr coordinates(double x, double y, double z) : xyz{x, y, z} {}
    constexpr explicit coordinates(const vec3& v) : xyz(v) {}

    constexpr double& operator[](std::size_t i) { return xyz[i]; }
    constexpr const double& operator[](std::size_t i) const { return xyz[i]; }
    auto begin() { return xyz.begin(); }
    auto end() { return xyz.end(); }
    auto begin() const { return xyz.begin(); }
    auto end() const { return xyz.end(); }
    bool operator==(const coordinates&) const = default;

    friend coordinates operator+(const coordinates& a, const coordinates& b) { return coordinates(add(a.xyz, b.xyz)); }
    friend coordinates operator-(const coordinates& a, const coordinates& b) { return coordinates(sub(a.xyz, b.xyz)); }
    friend coordinates operator/(const coordinates& a, double d) { return {a[0] / d, a[1] / d, a[2] / d}; }
};

struct fractional_kind;
struct position_kind;
using fractional = coordinates<fractional_kind>;
using position = coordinates<position_kind>;

// A matrix acting within one kind: a rotation of Cartesian space on a
// position, the rotation part of a symmetry operator on a fractional point.
template <class Kind>
coordinates<Kind> mul(const mat3& m, const coordinates<Kind>& x) {
    return coordinates<Kind>(mul(m, x.xyz));
}

// Squared length of a Cartesian vector, Angstrom^2.
inline double squared_length(const position& x) { return dot(x.xyz, x.xyz); }

}  // namespace zelt
