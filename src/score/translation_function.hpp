#pragma once
// Fast translation function: the score of every translation of one placed
// model on a grid over the unit cell, computed at once by one FFT.
//
// Target. For a translation t of the searched copy, with Fc(h; t) the
// calculated structure factor of the whole candidate (fixed structure, the
// other copies, and the searched copy under every symmetry operator, times the
// candidate's Babinet factor, exactly as the scorer computes it), the map is
// the weighted covariance of normalised observed and calculated intensities,
//
//     T(t) = sum_h w_h (Io_h / <Io>_h - 1) |Fc(h; t)|^2 / <Io>_h / sum_h w_h,
//
// with Io = Fo^2 and <Io>_h the weighted mean of Io in the resolution shell
// of h (shells of equal count, about 200 reflections each, 1 to 20 of them).
// Within a shell sum w (Io / <Io> - 1) = 0, so T is a covariance: its maximum
// is where the calculated intensities are high on the strong reflections.
// Normalising by shells makes every resolution range count alike; with raw
// intensities the few strongest low-resolution terms dominate, and they
// favour a copy laid over the fixed structure (more scattering matter in
// phase) over the true position.
//
// Method. With Fp(h) the t-independent part and G_s(h) the searched copy's
// transform read at the rotated index for operator s (times the operator's
// own translation phase), |Fc|^2 = g^2 |Fp + sum_s G_s exp(2 pi i h.S_s t)|^2
// is a Fourier series in t with coefficients
//     |Fp|^2 + sum_s |G_s|^2                    at index 0,
//     2 Fp* G_s                                  at index S_s^T h,
//     2 G_s G_s'*   (s < s')                     at index (S_s - S_s')^T h,
// whose real part is taken. Operators that share a rotation (centring
// vectors, for instance) are merged first: their G_s differ only by the
// phase of their translation, so they are one term with the summed phase.
#include <array>
#include <memory>
#include <vector>

#include "crystal/geometry.hpp"
#include "score/scorer.hpp"
#include "model/solution.hpp"

namespace zelt {

struct translation_peak {
    fractional translation;   // each in [0, 1)
    double value;       // the map's value (higher is better)
};

// The map on its grid: point (i, j, k) is stored at i + size[0] * (j +
// size[1] * k) and is the translation (i / size[0], j / size[1], k / size[2]),
// except along axes not searched (size 1), which keep `fixed`.
struct translation_map {
    std::array<int, 3> size{1, 1, 1};
    fractional fixed{0.0, 0.0, 0.0};
    std::vector<float> values;
};

// Fast translation function of one placement of a candidate, for the
// reflections, cells, codes and transforms of a scorer_data (the reflections'
// static contribution is the fixed structure).
class translation_function {
public:
    // d_min: resolution limit of the map's reflections (reflections of `data`
    // with d < d_min are left out; 0 = all). The grid has about 3 points per
    // d_min along each cell edge (d_min = 0: per the highest resolution of the
    // data), in sizes the FFT accepts. Throws std::runtime_error for a
    // negative or non-finite d_min.
    translation_function(std::shared_ptr<const scorer_data> data, double d_min);

    // The `count` highest distinct peaks of the map for placement `which` of
    // `s` (its own translation is ignored; the other placements of s count as
    // fixed, like the static contribution; the candidate's Babinet k, B apply
    // per reflection as in the scorer), best first. Peaks related by a
    // centring vector (or, with nothing fixed, by a permitted origin shift)
    // are one peak. Positions are refined between grid points by a parabola
    // along each searched axis. `fixed_axes[a]` true: the translation along a
    // is not searched and stays s's value. The free axes of a polar group are
    // not searched either when nothing is fixed and s has one placement (the
    // map is constant along them). Safe to call concurrently; allocates
    // nothing per call in steady state (per-thread workspace). Throws
    // std::logic_error when `which` is not a placement of s.
    std::vector<translation_peak> peaks(const solution& s, int which, int count,
                                        std::array<bool, 3> fixed_axes) const;

    // The map itself, on the grid of s's cell, with the axes not searched
    // chosen as in peaks().
    void map(const solution& s, int which, std::array<bool, 3> fixed_axes,
             translation_map& out) const;

    // Grid points along a, b, c of the map of cell `cell` (all axes searched).
    std::array<int, 3> grid_size(int cell) const;
    // Number of reflections in the map.
    std::size_t reflection_count() const { return refl_.size(); }

    // Per-cell tables (symmetry grouped by rotation, grid, equivalent shifts).
    struct rotation_class;
    struct cell_setup;

private:
    struct workspace;   // per-thread buffers, reused from call to call
    void fill_map(const solution& s, int which, std::array<bool, 3> fixed_axes,
                  workspace& w) const;
    void fixed_part(const solution& s, int which, workspace& w) const;
    std::array<bool, 3> unsearched_axes(const solution& s, std::array<bool, 3> fixed_axes) const;

    std::shared_ptr<const scorer_data> data_;
    fc_reflections refl_;           // the map's reflections
    std::vector<double> weight_;    // w (Io - <Io>) / sum w of each
    bool has_static_ = false;       // any non-zero static contribution
    std::vector<std::shared_ptr<const cell_setup>> cells_;
};

}  // namespace zelt
