#include "io/observation_rule.hpp"

#include <cmath>
#include <limits>

namespace zelt {

bool is_finite_float(double value) {
    return std::fabs(value) < static_cast<double>(std::numeric_limits<float>::max());
}

bool is_acceptable_observation(double value, double sigma) {
    return is_finite_float(value) && is_finite_float(sigma);
}

void keep_acceptable(reflection_set& set, const reflection& r, std::size_t& dropped) {
    if (is_acceptable_observation(r.f, r.sigma)) set.push_back(r);
    else ++dropped;
}

void intensities_to_amplitudes(reflection_set& set, const reflection_reading* reading) {
    if (!reading || !reading->sigma_weighting)
        for (reflection& r : set) r.sigma = 0.0f;
    intensities_to_amplitudes(set);
}

}  // namespace zelt
