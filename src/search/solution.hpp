#pragma once
// A candidate answer of the search: where each searched copy sits.
#include <array>
#include <vector>

#include "crystal/geometry.hpp"

namespace zelt {

using quaternion = std::array<double, 4>;  // (x, y, z, w): vector part first

struct copy_placement {
    quaternion orientation{0.0, 0.0, 0.0, 1.0};
    vec3 translation{0.0, 0.0, 0.0};   // fractional, of the current cell
    int model = 0;                     // selects the model transform
    int reported_model = 0;            // model number shown in reports
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

}  // namespace zelt
