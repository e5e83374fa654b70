#pragma once
// The numbers and switches the search loops read from the run parameters,
// once, after the derivation.
#include <array>
#include <iosfwd>
#include <memory>
#include <string>

#include "run/run_state.hpp"
#include "score/scorer.hpp"
#include "search/evolution.hpp"
#include "search/simplex.hpp"

namespace zelt {

// Everything the loops read from the run parameters, read once before the loops.
struct search_plan {
    int cells_per_step = 1;
    int copies = 1, copies_per_step = 1;
    int search_models = 1;      // models loaded from files; segment models never count
    int models_per_step = 1;
    int attempts = 1;
    bool assembly = false;              // `assembly`: placed models stay for the next model
    bool optimize_assembly = false;
    bool evolutionary = true;
    bool simplex = true;
    bool local_segments = true;
    bool normalise = true;
    bool restricted = false;            // simple normalisation mode
    bool goal_maximum = true;
    bool r_factor_target = false;       // the R-factor is the objective
    bool interpolate = true;
    bool report_local = true;
    std::string report_evolution;
    std::array<bool, 3> range_fixed{};  // translation range "0.0" on x, y, z
    evolution_settings evolution;       // rates, sizes, schedule (per-attempt fields set later)
    double rotation_rate = 0, rotation_size = 0;
    double notrans_rate = 0, notrans_size = 0;
    int population = 300;
    double d_min = 3.0, scale = 2.0, sampling = 3.0;
    double simplex_size = 0.05, simplex_tolerance = 1e-6;
    // Translation search "fft": orientations searched, each candidate placed
    // by the fast translation function at this resolution limit, the best of
    // `translation_peaks` peaks by the objective.
    bool fft_translation = false;
    int translation_peaks = 3;
    // Orientations of the fft mode: every point of a rotation grid instead of
    // the evolutionary search; the best `candidates` distinct placements are
    // each refined.
    bool orientation_scan = false;
    int candidates = 1;
    // Each search model's translation-search resolution and scan spacing.
    std::vector<model_fft_limits> fft_limits;
};

search_plan read_plan(const run_state& state);

// The global search's objective: correlation or R-factor, with the model
// transforms read by trilinear interpolation or at the nearest table point.
objective_function global_objective(const search_plan& plan, std::shared_ptr<const scorer_data> data);

// The progress report chosen by `report.evolution`; empty for none.
progress_function global_progress(const search_plan& plan, std::ostream& out);

// The bounds of the solvent term's k and B that the simplex keeps to.
babinet_limits babinet_bounds(const search_plan& plan);

}  // namespace zelt
