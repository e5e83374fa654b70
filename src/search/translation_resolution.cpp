#include "search/translation_resolution.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "crystal/geometry.hpp"

namespace zelt {

double expected_fraction(std::size_t model_atoms, std::size_t known_atoms, double cell_volume,
                         int operators) {
    const double expected = cell_volume / (std::max(operators, 1) * protein_volume_per_atom);
    const double total = std::max(expected, static_cast<double>(known_atoms));
    if (!(total > 0.0)) return 1.0;
    return std::min(1.0, static_cast<double>(model_atoms) / total);
}

double expected_signal(const reflection_set& reflections, double d, double fraction, model_accuracy accuracy,
                       std::size_t& count) {
    const double s2_max = 1.0 / (4.0 * d * d);
    // D^2 = exp(-(4 pi^2 / 3) e^2 / d^2) with 1 / d^2 = 4 s^2.
    const double decay = 16.0 * std::numbers::pi * std::numbers::pi / 3.0 * accuracy.error * accuracy.error;
    const double n = std::max(accuracy.members, 1);
    double sum = 0.0;
    count = 0;
    for (const reflection& r : reflections) {
        if (!(r.s2 <= s2_max)) continue;
        ++count;
        const double d2 = std::exp(-decay * r.s2);
        sum += n * d2 / (1.0 + (n - 1.0) * d2);
    }
    return count == 0 ? 0.0 : fraction * sum / std::sqrt(static_cast<double>(count));
}

resolution_choice choose_translation_resolution(const reflection_set& reflections, double data_d_min,
                                                double fraction, model_accuracy accuracy, double signal_goal) {
    std::vector<resolution_choice> tried;
    for (double d = auto_resolution_coarsest; d > data_d_min + 1e-9; d -= auto_resolution_step)
        tried.push_back(resolution_choice{d, 0.0, 0, fraction, accuracy, true});
    tried.push_back(resolution_choice{data_d_min, 0.0, 0, fraction, accuracy, true});
    double best = 0.0;
    for (resolution_choice& c : tried) {
        c.signal = expected_signal(reflections, c.d_min, fraction, accuracy, c.reflections);
        best = std::max(best, c.signal);
    }
    // The first to reach the goal, else the first with the largest signal.
    const double enough = std::min(signal_goal, best);
    for (const resolution_choice& c : tried)
        if (c.signal >= enough) return c;
    return tried.back();
}

resolution_choice given_translation_resolution(const reflection_set& reflections, double d_min, double data_d_min,
                                               double fraction, model_accuracy accuracy) {
    resolution_choice c;
    c.d_min = d_min;
    c.fraction = fraction;
    c.accuracy = accuracy;
    c.signal = expected_signal(reflections, std::max(d_min, data_d_min), fraction, accuracy, c.reflections);
    return c;
}

double automatic_scan_spacing(double radius, double d_min) {
    const double lowest = 1.0 / radians_to_degrees, highest = 20.0 / radians_to_degrees;
    if (!(radius > 0.0)) return highest;
    return std::clamp(d_min / (2.0 * radius), lowest, highest);
}

}  // namespace zelt
