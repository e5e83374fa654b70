#pragma once
// Observed reflections: eight floats per record, contiguous, in file order.
#include <vector>

#include "crystal/unit_cell.hpp"

namespace zelt {

struct reflection {
    float h = 0, k = 0, l = 0;
    float f = 0;          // amplitude (intensity until converted)
    float sigma = 0;      // its uncertainty; later the scoring weight
    float static_re = 0;  // static-structure contribution
    float static_im = 0;
    float s2 = 0;         // (sin theta / lambda)^2 in the first cell
};
static_assert(sizeof(reflection) == 8 * sizeof(float));

using reflection_set = std::vector<reflection>;

// True when high < d(h,k,l) < low in the given cell (both strict; NaN fails).
bool in_resolution_range(const unit_cell& cell, double low, double high,
                         float h, float k, float l);

// Converts every record from intensity and sigma(I) to amplitude and sigma(F).
void intensities_to_amplitudes(reflection_set& reflections);

}  // namespace zelt
