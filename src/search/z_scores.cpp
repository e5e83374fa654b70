#include "search/z_scores.hpp"

#include <algorithm>
#include <cmath>

#include <tbb/parallel_for.h>

#include "score/map_peaks.hpp"
#include "search/random.hpp"

namespace zelt {

map_statistics translation_map_statistics(const translation_map& map, const fractional& translation) {
    map_statistics m;
    if (map.values.empty()) return m;
    double sum = 0.0, sum2 = 0.0;
    for (float v : map.values) sum += v;
    const double n = static_cast<double>(map.values.size());
    m.mean = sum / n;
    for (float v : map.values) sum2 += (v - m.mean) * (v - m.mean);
    m.sd = std::sqrt(sum2 / n);
    std::array<int, 3> centre{};
    for (int a = 0; a < 3; ++a)
        centre[a] = static_cast<int>(std::lround(wrap_unit_cell(translation[a]) * map.size[a])) % map.size[a];
    const grid_view grid{map.values.data(), map.size};
    bool first = true;
    for (int dk = -1; dk <= 1; ++dk)
        for (int dj = -1; dj <= 1; ++dj)
            for (int di = -1; di <= 1; ++di) {
                const double v = grid.at(centre[0] + di, centre[1] + dj, centre[2] + dk);
                if (first || v > m.peak) m.peak = v;
                first = false;
            }
    return m;
}

double translation_z(const map_statistics& m) { return m.sd > 0.0 ? (m.peak - m.mean) / m.sd : 0.0; }

double translation_z(const translation_function& tf, const solution& s, int which,
                     std::array<bool, 3> fixed_axes) {
    translation_map map;
    tf.map(s, which, fixed_axes, map);
    return translation_z(
        translation_map_statistics(map, s.placements.at(static_cast<std::size_t>(which)).translation));
}

std::vector<solution> random_placements(const solution& like, int which, int count, std::uint64_t seed,
                                        std::array<bool, 3> fixed_axes) {
    random_source rng(seed);
    std::vector<solution> out;
    for (int i = 0; i < count; ++i) {
        solution s = like;
        copy_placement& p = s.placements.at(static_cast<std::size_t>(which));
        p.orientation = rng.random_rotation();
        for (int a = 0; a < 3; ++a)
            if (!fixed_axes[a]) p.translation[a] = rng.uniform();
        out.push_back(std::move(s));
    }
    return out;
}

score_statistics random_placement_scores(const std::vector<solution>& placements,
                                         const std::function<double(const solution&)>& score) {
    std::vector<double> scores(placements.size());
    tbb::parallel_for(std::size_t{0}, placements.size(), [&](std::size_t i) { scores[i] = score(placements[i]); });
    score_statistics out;
    out.count = static_cast<int>(scores.size());
    if (scores.empty()) return out;
    double sum = 0.0;
    for (double x : scores) sum += x;
    out.mean = sum / out.count;
    double sum2 = 0.0;
    for (double x : scores) sum2 += (x - out.mean) * (x - out.mean);
    out.sd = out.count > 1 ? std::sqrt(sum2 / (out.count - 1)) : 0.0;
    return out;
}

double score_z(double score, const score_statistics& random, bool goal_maximum) {
    if (!(random.sd > 0.0)) return 0.0;
    return (goal_maximum ? score - random.mean : random.mean - score) / random.sd;
}

}  // namespace zelt
