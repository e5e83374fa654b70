#pragma once
// A candidate answer of the search: where each searched copy sits.
#include <numbers>
#include <array>
#include <cmath>
#include <vector>

#include "crystal/geometry.hpp"

namespace zelt {

using quaternion = std::array<double, 4>;  // (x, y, z, w): vector part first

struct copy_placement {
    quaternion orientation{0.0, 0.0, 0.0, 1.0};
    fractional translation{0.0, 0.0, 0.0};   // of the current cell
    int model = 0;                     // selects the model transform
    int reported_model = 0;            // model number shown in reports
    int segment = -1;                  // place of this segment in the reported model; -1: the whole model
};

struct solution {
    std::vector<copy_placement> placements;
    int cell = 0;     // index into the run's list of unit cells
    float k = 0.0f;   // bulk-solvent (Babinet) scale
    float b = 0.0f;   // bulk-solvent (Babinet) B, Angstrom^2
};

// Rotation matrix of a (not necessarily normalised) quaternion; the zero
// quaternion gives the identity.
inline mat3 rotation_matrix(const quaternion& q) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    const double n = x * x + y * y + z * z + w * w;
    const double s = n > 0.0 ? 2.0 / n : 0.0;
    return {1 - s * (y * y + z * z), s * (x * y - z * w), s * (x * z + y * w),
            s * (x * y + z * w), 1 - s * (x * x + z * z), s * (y * z - x * w),
            s * (x * z - y * w), s * (y * z + x * w), 1 - s * (x * x + y * y)};
}

// CCP4 Euler angles (alpha, beta, gamma) in radians of an orientation; alpha
// and gamma in [0, 2pi), beta in [0, pi].
inline vec3 euler_angles(const quaternion& q) {
    constexpr double pi = std::numbers::pi;
    const mat3 r = rotation_matrix(q);
    const double t = std::sqrt(r[6] * r[6] + r[7] * r[7]);
    double a, b, c;
    if (t > 3.552713678800501e-15) {
        a = std::atan2(r[7], r[6]);
        b = std::atan2(t, r[8]);
        c = std::atan2(r[5], -r[2]);
    } else {
        a = std::atan2(-r[3], r[4]);
        b = std::atan2(t, r[8]);
        c = 0.0;
    }
    double a1 = -a, b1 = -b, c1 = -c;
    if (b1 < 0) {
        b1 = b;
        a1 = -a + pi;
        c1 = -c + pi;
    }
    if (a1 < 0) a1 += 2 * pi;
    if (c1 < 0) c1 += 2 * pi;
    return {c1, b1, a1};
}

}  // namespace zelt
