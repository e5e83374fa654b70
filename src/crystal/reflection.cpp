// Resolution cut and intensity-to-amplitude conversion of observed reflections.
#include "crystal/reflection.hpp"

#include <cmath>

namespace zelt {

bool in_resolution_range(const unit_cell& cell, double low, double high,
                         std::int32_t h, std::int32_t k, std::int32_t l) {
    const double d = cell.d_spacing(h, k, l);
    return high < d && d < low;  // NaN fails both
}

void intensities_to_amplitudes(reflection_set& reflections) {
    for (reflection& r : reflections) {
        const double i = r.f;
        const double s = r.sigma;
        const double f = 0.5 * std::sqrt(std::sqrt(8.0 * s * s + 4.0 * i * i) + 2.0 * i);
        // Without an uncertainty on I there is none on F (the formula gives
        // 0 for I > 0 and 0/0 when F is 0).
        const double sigma_f = s == 0.0 ? 0.0 : 1.0 / std::sqrt(2.0 * (3.0 * f * f - i) / (s * s) + 1.0 / (f * f));
        r.f = static_cast<float>(f);
        r.sigma = static_cast<float>(sigma_f);
    }
}

}  // namespace zelt
