#include "search/translation_placement.hpp"

#include <cmath>
#include <stdexcept>

namespace zelt {

placement_function make_translation_placement(std::shared_ptr<const translation_function> tf,
                                              objective_function objective, int peaks,
                                              std::array<bool, 3> fixed_axes, bool goal_is_maximum) {
    if (!tf || !objective || peaks < 1) throw std::invalid_argument("translation placement without its parts");
    return [tf = std::move(tf), objective = std::move(objective), peaks, fixed_axes,
            goal_is_maximum](solution& s) -> std::optional<double> {
        const std::vector<translation_peak> found = tf->peaks(s, 0, peaks, fixed_axes);
        if (found.empty()) return std::nullopt;
        fractional& t = s.placements.front().translation;
        if (found.size() == 1) {
            t = found.front().translation;
            return std::nullopt;
        }
        fractional best = found.front().translation;
        double best_score = 0.0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            t = found[i].translation;
            const double score = objective(s);
            const bool better = goal_is_maximum ? score > best_score : score < best_score;
            if (i == 0 || better) {
                best_score = score;
                best = t;
            }
        }
        t = best;
        return best_score;
    };
}

reflection_set reflections_to(const reflection_set& all, double d_min) {
    const double s2_max = 1.0 / (4.0 * d_min * d_min);
    reflection_set out;
    for (const reflection& r : all)
        if (r.s2 <= s2_max) out.push_back(r);
    return out;
}

}  // namespace zelt
