#pragma once
// Observed reflections: eight 32-bit values per record (the Miller indices
// as integers, then five floats), contiguous, in file order.
#include <array>
#include <cstdint>
#include <vector>

#include "crystal/unit_cell.hpp"

namespace zelt {

using miller_indices = std::array<std::int32_t, 3>;

struct reflection {
    std::int32_t h = 0, k = 0, l = 0;
    float f = 0;          // amplitude (intensity until converted)
    float sigma = 0;      // its uncertainty; later the scoring weight
    float static_re = 0;  // static-structure contribution
    float static_im = 0;
    float s2 = 0;         // (sin theta / lambda)^2 in the first cell

    void set_indices(const miller_indices& m) {
        h = m[0];
        k = m[1];
        l = m[2];
    }
};
static_assert(sizeof(reflection) == 8 * sizeof(float) && sizeof(std::int32_t) == sizeof(float));

using reflection_set = std::vector<reflection>;

// True when high < d(h,k,l) < low in the given cell (both strict; NaN fails).
bool in_resolution_range(const unit_cell& cell, double low, double high,
                         std::int32_t h, std::int32_t k, std::int32_t l);

// Converts every record from intensity and sigma(I) to amplitude and sigma(F).
void intensities_to_amplitudes(reflection_set& reflections);

}  // namespace zelt
