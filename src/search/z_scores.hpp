#pragma once
// Two statistics of a placed copy that a crystallographer reads as the
// strength of a solution:
//
// * the translation Z (TFZ): the height of the copy's peak in the fast
//   translation function of its own orientation, above the mean of that map
//   in standard deviations of the map (over all its grid points);
// * the score Z: the copy's score above the mean score of random placements
//   of the same model (uniform random orientation and position, everything
//   else as in the copy's solution), in standard deviations of those scores.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "score/translation_function.hpp"
#include "model/solution.hpp"

namespace zelt {

struct map_statistics {
    double mean = 0.0, sd = 0.0;   // over every grid point (population sd)
    double peak = 0.0;             // the map's highest value next to the copy's position
};

// Mean and standard deviation of a map, and its highest value at the grid
// point nearest to `translation` and its neighbours (one step along each
// searched axis, periodically).
map_statistics translation_map_statistics(const translation_map& map, const fractional& translation);

// (peak - mean) / sd; 0 for a flat map.
double translation_z(const map_statistics& m);

// TFZ of placement `which` of `s`: its map from `tf` (other placements and
// the fixed structure as in the map), at its own translation.
double translation_z(const translation_function& tf, const solution& s, int which,
                     std::array<bool, 3> fixed_axes);

struct score_statistics {
    double mean = 0.0, sd = 0.0;
    int count = 0;
};

// The scores of `count` random placements: copies of `like` whose placement
// `which` gets a uniform random rotation and translation (translation axes in
// `fixed_axes` keep `like`'s value), drawn from a 64-bit Mersenne Twister
// seeded with `seed` (u1, u2, u3 of the rotation as the run's generator
// draws them, then x, y, z). Scored by `score` in parallel. sd is the sample
// standard deviation.
std::vector<solution> random_placements(const solution& like, int which, int count, std::uint64_t seed,
                                        std::array<bool, 3> fixed_axes);
score_statistics random_placement_scores(const std::vector<solution>& placements,
                                         const std::function<double(const solution&)>& score);

// (score - mean) / sd, signed so that better is positive; 0 when sd is 0.
double score_z(double score, const score_statistics& random, bool goal_maximum);

}  // namespace zelt
