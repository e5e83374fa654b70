#include "run/search_plan.hpp"

#include <ostream>

#include "score/pearson.hpp"
#include "settings/reports.hpp"

namespace zelt {

namespace {

// How many cells, models, copies and attempts each step of the loops takes.
void read_loop_counts(const run_state& state, search_plan& plan) {
    const parameter_store& p = state.params;
    const int n_cells = static_cast<int>(state.cells.size());
    plan.search_models = static_cast<int>(state.models.size());
    plan.cells_per_step = p.boolean("optimize.spacegroup") ? n_cells : 1;
    plan.copies = p.integer("copies");
    plan.copies_per_step = p.boolean("optimize.copies") ? plan.copies : 1;
    plan.optimize_assembly = p.boolean("optimize.assembly");
    plan.models_per_step =
        (p.boolean("optimize.model") || plan.optimize_assembly) ? plan.search_models : 1;
    plan.attempts = p.integer("attempts");
    plan.assembly = p.boolean("assembly");
}

// The evolutionary search's mutation rates and sizes, selection and sizes.
void read_evolution(const parameter_store& p, search_plan& plan) {
    evolution_settings& e = plan.evolution;
    e.interpolation_rate = p.real("evolution.mutation.interpolation.rate");
    e.translation_rate = p.real("evolution.mutation.translation.rate");
    e.translation_size = p.real("evolution.mutation.translation.size");
    plan.rotation_rate = p.real("evolution.mutation.rotation.rate");
    plan.rotation_size = p.real("evolution.mutation.rotation.size");
    e.crossover_rate = p.real("evolution.mutation.crossover.rate");
    e.modelswap_rate = p.real("evolution.mutation.modelswap.rate");
    e.cellswap_rate = p.real("evolution.mutation.cellswap.rate");
    e.babinet = p.boolean("optimize.babinet");
    e.babinet_rate = p.real("evolution.mutation.babinet.rate");
    e.babinet_k_size = p.real("evolution.mutation.babinet.k.size");
    e.babinet_k_min = p.real("evolution.mutation.babinet.k.min");
    e.babinet_k_max = p.real("evolution.mutation.babinet.k.max");
    e.babinet_b_size = p.real("evolution.mutation.babinet.B.size");
    e.babinet_b_min = p.real("evolution.mutation.babinet.B.min");
    e.babinet_b_max = p.real("evolution.mutation.babinet.B.max");
    plan.range_fixed = {p.text("evolution.mutation.translation.range.x") == "0.0",
                        p.text("evolution.mutation.translation.range.y") == "0.0",
                        p.text("evolution.mutation.translation.range.z") == "0.0"};
    plan.population = p.integer("evolution.population");
    e.selection_start = p.real("evolution.selection.rate.starting");
    e.selection_end = p.real("evolution.selection.rate.ending");
    e.generations = p.integer("evolution.generations");
    // A user who gives a notrans setting wants it used; otherwise the
    // defaults of these keys apply, as for every other key.
    plan.notrans_rate = p.real("evolution.mutation.rotation.notrans.rate");
    plan.notrans_size = p.real("evolution.mutation.rotation.notrans.size");
    e.search_model = p.boolean("optimize.model");
    e.search_orientation = p.boolean("optimize.orientation");
    e.search_position = p.boolean("optimize.position");
}

// The searches and scores chosen, the calculation's settings and reports.
void read_methods(const run_state& state, search_plan& plan) {
    const parameter_store& p = state.params;
    plan.goal_maximum = p.text("optimizer.goal") == "maximum";
    plan.evolution.score_sign = plan.goal_maximum ? -1.0 : 1.0;
    plan.scale = p.real("transform.scale");
    plan.sampling = p.real("transform.fft.sampling");
    plan.d_min = p.real("resolution.high");
    plan.evolutionary = p.text("optimizer.global") == "evolutionary";
    plan.simplex = p.text("optimizer.local") == "simplex";
    plan.local_segments = p.boolean("optimize.local-segments");
    plan.normalise = p.boolean("report.solution.normalized");
    plan.restricted = p.text("optimizer.global") == "none" || p.text("optimize.orientation") == "false" ||
                      p.text("optimize.position") == "false";
    plan.r_factor_target = p.text("target.type") == "rfactor";
    plan.interpolate = p.boolean("target.global.interpolate-fc");
    plan.report_local = p.boolean("report.local");
    plan.report_evolution = p.text("report.evolution");
    plan.simplex_size = p.real("simplex.size");
    plan.simplex_tolerance = p.real("simplex.tolerance");
    plan.fft_translation = p.text("optimizer.translation") == "fft";
    if (plan.fft_translation) {
        plan.fft_limits = state.fft_limits;
        plan.translation_peaks = p.integer("optimizer.translation.peaks");
        plan.orientation_scan = p.text("optimizer.orientation") == "scan";
        plan.candidates = p.integer("optimizer.translation.candidates");
    }
}

}  // namespace

search_plan read_plan(const run_state& state) {
    search_plan plan;
    read_loop_counts(state, plan);
    read_evolution(state.params, plan);
    read_methods(state, plan);
    return plan;
}

// The global search's objective: correlation or R-factor, with the model
// transforms read by trilinear interpolation or at the nearest table point.
objective_function global_objective(const search_plan& plan, std::shared_ptr<const scorer_data> data) {
    if (plan.r_factor_target) {
        if (plan.interpolate) return scorer<pearson<float, double>, 1, 1>(std::move(data));
        return scorer<pearson<float, double>, 0, 1>(std::move(data));
    }
    if (plan.interpolate) return scorer<pearson<float, double>, 1, 0>(std::move(data));
    return scorer<pearson<float, double>, 0, 0>(std::move(data));
}

// The progress report chosen by `report.evolution`; empty for none.
progress_function global_progress(const search_plan& plan, std::ostream& out) {
    if (plan.report_evolution == "progress") {
        progress_report dots(out, plan.evolution.generations);
        return [dots](int g, const population_list&, const score_list&) mutable { dots(g); };
    }
    if (plan.report_evolution == "generations") return make_generation_report(out, plan.goal_maximum);
    return {};
}

babinet_limits babinet_bounds(const search_plan& plan) {
    const evolution_settings& e = plan.evolution;
    return {e.babinet, e.babinet_k_min, e.babinet_k_max, e.babinet_b_min, e.babinet_b_max};
}

}  // namespace zelt
