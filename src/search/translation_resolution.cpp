#include "search/translation_resolution.hpp"

#include <algorithm>
#include <cmath>

#include "crystal/geometry.hpp"

namespace zelt {

double expected_fraction(std::size_t model_atoms, std::size_t known_atoms, double cell_volume,
                         int operators) {
    const double expected = cell_volume / (std::max(operators, 1) * protein_volume_per_atom);
    const double total = std::max(expected, static_cast<double>(known_atoms));
    if (!(total > 0.0)) return 1.0;
    return std::min(1.0, static_cast<double>(model_atoms) / total);
}

namespace {

std::size_t reflections_to_limit(const reflection_set& reflections, double d) {
    const double s2_max = 1.0 / (4.0 * d * d);
    return static_cast<std::size_t>(std::count_if(reflections.begin(), reflections.end(),
                                                  [&](const reflection& r) { return r.s2 <= s2_max; }));
}

}  // namespace

resolution_choice choose_translation_resolution(const reflection_set& reflections, double data_d_min,
                                                double fraction, double signal_goal) {
    resolution_choice c;
    c.automatic = true;
    c.fraction = fraction;
    std::vector<double> limits;
    for (double d = auto_resolution_coarsest; d > data_d_min + 1e-9; d -= auto_resolution_step)
        limits.push_back(d);
    limits.push_back(data_d_min);
    for (double d : limits) {
        c.d_min = d;
        c.reflections = reflections_to_limit(reflections, d);
        c.signal = fraction * std::sqrt(static_cast<double>(c.reflections));
        if (c.signal >= signal_goal) break;
    }
    return c;
}

resolution_choice given_translation_resolution(const reflection_set& reflections, double d_min, double data_d_min,
                                               double fraction) {
    resolution_choice c;
    c.d_min = d_min;
    c.fraction = fraction;
    c.reflections = reflections_to_limit(reflections, std::max(d_min, data_d_min));
    c.signal = fraction * std::sqrt(static_cast<double>(c.reflections));
    return c;
}

double automatic_scan_spacing(double radius, double d_min) {
    const double lowest = 1.0 / radians_to_degrees, highest = 20.0 / radians_to_degrees;
    if (!(radius > 0.0)) return highest;
    return std::clamp(d_min / (2.0 * radius), lowest, highest);
}

}  // namespace zelt
