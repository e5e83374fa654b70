#pragma once
// Peaks of a map on a periodic grid (the translation function's): the
// highest local maxima, each refined by a parabola through its neighbours,
// and whether two peaks are one up to the map's symmetry shifts.
#include <array>
#include <cstddef>
#include <vector>

#include "crystal/geometry.hpp"
#include "score/translation_function.hpp"

namespace zelt {

struct grid_peak {
    float value;
    std::size_t index;   // i + n[0] (j + n[1] k)
};

// A map of n[0] x n[1] x n[2] points, read periodically.
struct grid_view {
    const float* v;
    std::array<int, 3> n;

    float at(int i, int j, int k) const {
        auto wrap = [](int x, int m) { return ((x % m) + m) % m; };
        return v[static_cast<std::size_t>(wrap(i, n[0])) +
                 static_cast<std::size_t>(n[0]) *
                     (static_cast<std::size_t>(wrap(j, n[1])) +
                      static_cast<std::size_t>(n[1]) * static_cast<std::size_t>(wrap(k, n[2])))];
    }
};

// x wrapped into [0, 1) (x - floor(x); +0 for a whole number).
double wrap_unit_cell(double x);

// The `keep` highest local maxima (no neighbour higher), in a min-heap on
// value.
void highest_maxima(const grid_view& g, std::size_t keep, std::vector<grid_peak>& heap);

// Parabola through a grid peak and its two neighbours along each searched
// axis: the refined fractional position (`fixed` along unsearched axes) and
// value.
translation_peak refine_peak(const grid_view& g, std::size_t idx, const std::array<bool, 3>& unsearched,
                             const fractional& fixed);

// Whether two peaks are one up to a shift of the map's symmetry, within a
// grid step along each axis; axes along which the map is constant are ignored.
bool equivalent_peaks(const translation_peak& a, const translation_peak& b, const std::vector<fractional>& shifts,
                      const std::array<int, 3>& n, const std::array<bool, 3>& constant);

}  // namespace zelt
