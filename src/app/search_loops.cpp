#include "app/search_loops.hpp"

#include <array>
#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/attempt_output.hpp"
#include "app/reports.hpp"
#include "app/run_summary.hpp"
#include "score/pearson.hpp"
#include "score/scorer.hpp"
#include "search/evolution.hpp"
#include "search/random.hpp"
#include "search/segments.hpp"
#include "search/simplex.hpp"
#include "search/solution_ops.hpp"
#include "transform/molecular_transform.hpp"
#include "transform/static_structure.hpp"

namespace zelt {

namespace {

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
};

search_plan read_plan(const run_state& state) {
    const parameter_store& p = state.params;
    search_plan plan;
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

    evolution_settings& e = plan.evolution;
    e.interpolation_rate = p.real("evolution.mutation.interpolation.rate");
    e.translation_rate = p.real("evolution.mutation.translation.rate");
    e.translation_size = p.real("evolution.mutation.translation.size");
    plan.rotation_rate = p.real("evolution.mutation.rotation.rate");
    plan.rotation_size = p.real("evolution.mutation.rotation.size");
    e.crossover_rate = p.real("evolution.mutation.crossover.rate");
    e.modelswap_rate = p.real("evolution.mutation.modelswap.rate");
    e.cellswap_rate = p.real("evolution.mutation.cellswap.rate");
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
    plan.goal_maximum = p.text("optimizer.goal") == "maximum";
    e.score_sign = plan.goal_maximum ? -1.0 : 1.0;
    e.selection_start = p.real("evolution.selection.rate.starting");
    e.selection_end = p.real("evolution.selection.rate.ending");
    e.generations = p.integer("evolution.generations");
    plan.scale = p.real("transform.scale");
    plan.sampling = p.real("transform.fft.sampling");
    plan.d_min = p.real("resolution.high");

    // A user who gives a notrans setting wants it used; otherwise the
    // defaults of these keys apply, as for every other key.
    plan.notrans_rate = p.real("evolution.mutation.rotation.notrans.rate");
    plan.notrans_size = p.real("evolution.mutation.rotation.notrans.size");

    e.search_model = p.boolean("optimize.model");
    e.search_orientation = p.boolean("optimize.orientation");
    e.search_position = p.boolean("optimize.position");
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
    return plan;
}

void print_loop_header(const run_state& state, const search_plan& plan, int cell, int model,
                       int copy, int attempt) {
    std::ostringstream line;
    if (state.cells.size() > 1) {
        if (plan.cells_per_step > 1 && copy == 0)
            line << "Unit cells " << cell + 1 << "-" << cell + plan.cells_per_step << ", ";
        else
            line << "Unit Cell " << cell + 1 << " (" << state.cells[cell].group().symbol << "), ";
    }
    if (plan.search_models > 1) {
        if (plan.models_per_step > 1)
            line << "Models " << model + 1 << "-" << model + plan.models_per_step << ", ";
        else
            line << "Model " << model + 1 << ", ";
    }
    if (plan.copies > 1) {
        if (plan.copies_per_step > 1)
            line << "Copies " << copy + 1 << "-" << copy + plan.copies_per_step << ", ";
        else
            line << "Copy " << copy + 1 << ", ";
    }
    line << "Attempt " << attempt;
    std::cout << line.str() << std::endl;
}

// Starting solution when there is no global search: the models as placed in
// their input files.
solution starting_solution(int cell, int model, int placements, const std::vector<vec3>& centres) {
    solution s;
    s.cell = cell;
    s.k = 0.8f;
    s.b = 200.0f;
    for (int i = 0; i < placements; ++i) {
        copy_placement c;
        c.model = c.reported_model = model + i;
        c.translation = centres.at(model + i);
        s.placements.push_back(c);
    }
    return s;
}

}  // namespace

void run_search(run_state& state) {
    const search_plan plan = read_plan(state);
    const int n_cells = static_cast<int>(state.cells.size());
    std::ostream& out = std::cout;
    const double worst = plan.goal_maximum ? -std::numeric_limits<double>::max()
                                           : std::numeric_limits<double>::max();
    auto better = [&](double a, double b) { return plan.goal_maximum ? a > b : a < b; };

    random_source rng(state.seed);
    transform_store transforms;
    result_tables results;

    std::array<bool, 3> fixed = plan.range_fixed;
    double rotation_rate = plan.rotation_rate, rotation_size = plan.rotation_size;

    for (int cell_step = 0; cell_step < n_cells; cell_step += plan.cells_per_step) {
        results.emplace_back();
        state.static_list.resize(state.base_static_count);
        state.static_centres.resize(state.base_static_count);
        int cell = cell_step;
        // Once a copy of this cell step is fixed, every later copy is searched
        // in that copy's cell (and space group).
        bool cell_fixed = false;

        // The models' centres in fractional coordinates of this cell; segment
        // models appended by a split extend this list.
        std::vector<vec3> start_positions;
        for (const vec3& c : state.model_centres) start_positions.push_back(state.cells[cell].to_fractional(c));

        for (int model = 0; model < plan.search_models; model += plan.models_per_step) {
            results.back().emplace_back();
            if (!plan.assembly) {
                state.static_list.resize(state.base_static_count);
                state.static_centres.resize(state.base_static_count);
                cell_fixed = false;
                cell = cell_step;
            }
            if (state.static_list.empty()) {
                const auto& free = state.cells[cell].group().free_axes;
                for (int a = 0; a < 3; ++a) fixed[a] = fixed[a] || free[a];
                if (plan.copies_per_step == 1 && fixed[0] && fixed[1] && fixed[2]) {
                    rotation_rate = plan.notrans_rate;
                    rotation_size = plan.notrans_size;
                }
            }
            if (state.report_steps) out << "Search model initialization " << std::flush;
            transforms.prepare_step(state.models, model, plan.models_per_step, plan.d_min, plan.scale,
                                    plan.sampling);
            if (state.report_steps) out << "completed" << std::endl;

            for (int copy = 0; copy < plan.copies; copy += plan.copies_per_step) {
                if (!state.static_list.empty() && state.report_steps)
                    out << "Calculating static structure contribution" << std::endl;
                static_contribution(state.cells[cell], state.static_list, state.codes[cell],
                                    state.reflections, plan.d_min, plan.sampling);
                const int placements = plan.optimize_assembly ? plan.models_per_step * plan.copies_per_step
                                                              : plan.copies_per_step;
                copy_result best;
                best.first_score = worst;
                bool have_best = false;
                std::vector<double> step_scores;
                // The reflections (with this copy step's static contribution) stay
                // as they are for every attempt of the step, so one set of scorer
                // data serves the global search, the simplex and the final scores;
                // it reads the transform store as it is at each call, segment
                // models included.
                const auto data = std::make_shared<const scorer_data>(state.reflections, state.cells,
                                                                      state.codes, transforms);
                auto objective_to_minimise = [&](const solution& x) {
                    return plan.r_factor_target ? data->r_factor(x) : -data->correlation(x);
                };

                loop_position where;
                where.cell = cell;
                where.model = model;
                where.copy = copy;
                where.cells = n_cells;
                where.models = plan.search_models;
                where.copies = plan.copies;
                where.cells_per_step = plan.cells_per_step;
                where.models_per_step = plan.models_per_step;
                where.copies_per_step = plan.copies_per_step;
                where.attempts = plan.attempts;
                begin_copy_step(state, where, results, !state.static_list.empty());

                for (int attempt = 1; attempt <= plan.attempts; ++attempt) {
                    if (state.report_steps) print_loop_header(state, plan, cell, model, copy, attempt);

                    solution s;
                    if (plan.evolutionary) {
                        evolution_settings e = plan.evolution;
                        e.placements = placements;
                        e.model_base = model;
                        e.model_count = plan.models_per_step;
                        e.cell_base = cell_fixed ? cell : cell_step;
                        e.cell_count = cell_fixed ? 1 : plan.cells_per_step;
                        e.copy_counter = cell_fixed ? 1 : copy;
                        e.start_positions = start_positions;
                        e.fixed_axes = fixed;
                        e.rotation_rate = rotation_rate;
                        e.rotation_size = rotation_size;
                        objective_function objective;
                        if (plan.r_factor_target) {
                            if (plan.interpolate)
                                objective = scorer<pearson<float, double>, 1, 1>(data);
                            else
                                objective = scorer<pearson<float, double>, 0, 1>(data);
                        } else if (plan.interpolate) {
                            objective = scorer<pearson<float, double>, 1, 0>(data);
                        } else {
                            objective = scorer<pearson<float, double>, 0, 0>(data);
                        }
                        progress_function progress;
                        if (plan.report_evolution == "progress") {
                            progress_report dots(out, e.generations);
                            progress = [dots](int g, const population_list&, const score_list&) mutable {
                                dots(g);
                            };
                        } else if (plan.report_evolution == "generations") {
                            progress = make_generation_report(out, plan.goal_maximum);
                        }
                        s = run_evolution(rng, e, objective, progress, plan.population);
                    } else {
                        s = starting_solution(cell, model, placements, start_positions);
                    }

                    if (plan.simplex) {
                        if (plan.report_local) out << "Local optimization" << std::flush;
                        refine_simplex(s, objective_to_minimise, plan.evolution.search_orientation,
                                       plan.evolution.search_position, plan.simplex_size,
                                       plan.simplex_tolerance);
                        if (plan.report_local) out << " completed" << std::endl;
                        if (plan.local_segments && split_segments(s, state.models, start_positions)) {
                            if (plan.report_local) out << "Local optimization of segments" << std::flush;
                            transforms.prepare_solution(s, state.models, plan.d_min, plan.scale, plan.sampling);
                            refine_simplex(s, objective_to_minimise, plan.evolution.search_orientation,
                                           plan.evolution.search_position, plan.simplex_size,
                                           plan.simplex_tolerance);
                            if (plan.report_local) out << " completed" << std::endl;
                        }
                    }

                    if (plan.normalise)
                        normalise_solution(s, state.cells, start_positions, fixed, !state.static_list.empty(),
                                           plan.restricted);

                    const double cc = data->correlation(s);
                    const double r = data->r_factor(s);
                    const double first = plan.r_factor_target ? r : cc;
                    const double second = plan.r_factor_target ? cc : r;
                    step_scores.push_back(first);
                    if (!have_best || std::isnan(best.first_score) || better(first, best.first_score)) {
                        best = copy_result{s, first, second, cc, r};
                        have_best = true;
                    }
                    const int clashes = attempt_output(state, where, s, cc, r, step_scores, attempt);
                    note_attempt(state, s, cc, r, first, clashes, attempt);
                }

                results.back().back().push_back(best);
                end_copy_step(state, *data, best, have_best, plan.goal_maximum);
                fixed = plan.range_fixed;
                rotation_rate = plan.rotation_rate;
                rotation_size = plan.rotation_size;
                if (have_best) {
                    place_copies(best.best, state.models, state.cells, state.static_list,
                                 state.static_centres);
                    // Later copies are searched in the cell of the copy just fixed.
                    cell = best.best.cell;
                    cell_fixed = true;
                }
            }
        }
    }

    final_output(state, results, plan.goal_maximum);
    finish_run(state, results, plan.goal_maximum);

    if (state.params.boolean("report.time.total")) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - state.start).count();
        std::ostringstream text;
        text << seconds;
        out << "Total elapsed time: " << text.str() << " sec" << std::endl;
    }
}

}  // namespace zelt
