#include "run/search_loops.hpp"

#include <array>
#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>
#include <iomanip>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/segments.hpp"
#include "parallel/attempt_distribution.hpp"
#include "parallel/process_group.hpp"
#include "run/attempt_output.hpp"
#include "run/attempt_progress.hpp"
#include "run/fft_candidates.hpp"
#include "run/run_summary.hpp"
#include "run/search_plan.hpp"
#include "run/searched_cells.hpp"
#include "run/start_positions.hpp"
#include "score/pearson.hpp"
#include "score/scorer.hpp"
#include "search/evolution.hpp"
#include "search/random.hpp"
#include "search/rotation_grid.hpp"
#include "search/simplex.hpp"
#include "search/solution_ops.hpp"
#include "search/translation_placement.hpp"
#include "search/z_scores.hpp"
#include "settings/reports.hpp"
#include "transform/molecular_transform.hpp"
#include "transform/static_structure.hpp"
#include "transform/structure_factors.hpp"

namespace zelt {

namespace {

// The header of an attempt: where the loops are, then its number.
void print_loop_header(const run_state& state, const loop_position& where, int attempt) {
    const std::string label = step_label(state, where);
    std::cout << label << (label.empty() ? "" : ", ") << "Attempt " << attempt << std::endl;
}

// What the search of one copy step may vary: the translation axes left
// fixed and the rotation mutation's rate and size.
struct copy_constraints {
    std::array<bool, 3> fixed{};
    double rotation_rate = 0.0, rotation_size = 0.0;
};

// What every attempt of one copy step shares.
struct copy_step {
    loop_position where;
    int placements = 1;
    copy_constraints constraints;
    std::shared_ptr<const scorer_data> data;
    // fft translation search: the global search's reflections (to its own
    // resolution limit) and the translation function on them.
    std::shared_ptr<const scorer_data> global_data;
    std::shared_ptr<const translation_function> translations;
};

// The four nested loops over cell steps, model steps, copy steps and
// attempts, with the state they carry from one step to the next.
class search_loops {
public:
    explicit search_loops(run_state& state)
        : state_(state), plan_(read_plan(state)), rng_(state.seed), starts_(state.model_centres),
          progress_(std::cerr, process_rank() == 0 && progress_wanted(state.params.text("report.evolution"),
                                                                      state.report_steps),
                    process_rank(), process_count()) {}

    void run() {
        const int n_cells = static_cast<int>(state_.cells.size());
        for (int first = 0; first < n_cells; first += plan_.cells_per_step) run_cell_step(first);
        if (process_rank() == 0) {
            const best_step best = find_overall_best(results_, plan_.assembly, plan_.goal_maximum);
            final_output(state_, results_, best);
            finish_run(state_, results_, best);
        }
        report_elapsed_time();
    }

private:
    bool better(double a, double b) const { return plan_.goal_maximum ? a > b : a < b; }

    void drop_placed_copies() {
        state_.static_list.resize(state_.base_static_count);
        state_.static_centres.resize(state_.base_static_count);
        state_.static_copies.resize(state_.base_static_count);
    }

    void run_cell_step(int first) {
        results_.emplace_back();
        drop_placed_copies();
        // Segment models appended by splits in earlier cell steps stay in the
        // model list, so their start positions follow into this cell.
        starts_.move_to(state_.cells[cells_.first()], state_.cells[first]);
        cells_.open_cell_step(first);
        for (int model = 0; model < plan_.search_models; model += plan_.models_per_step) run_model_step(model);
    }

    void run_model_step(int model) {
        results_.back().emplace_back();
        if (!plan_.assembly) {
            drop_placed_copies();
            cells_.release();
        }
        std::ostream& out = std::cout;
        if (state_.report_steps) out << "Search model initialization " << std::flush;
        transforms_.prepare_step(state_.models, model, plan_.models_per_step, plan_.d_min, plan_.scale,
                                 plan_.sampling);
        if (state_.report_steps) out << "completed" << std::endl;
        for (int copy = 0; copy < plan_.copies; copy += plan_.copies_per_step) run_copy_step(model, copy);
    }

    // Without a fixed structure (the first copy step of a model step with
    // nothing placed yet) the origin is free along the space group's free
    // axes; with no translation left to search, the rotation mutation takes
    // its notrans rate and size, but only when orientation is searched at all
    // (otherwise the rotation must stay as it is). Later copy steps search
    // within the plan's own constraints.
    copy_constraints step_constraints() const {
        copy_constraints c{plan_.range_fixed, plan_.rotation_rate, plan_.rotation_size};
        if (!state_.static_list.empty()) return c;
        const auto& free = state_.cells[cells_.current()].group().free_axes;
        for (int a = 0; a < 3; ++a) c.fixed[a] = c.fixed[a] || free[a];
        if (plan_.copies_per_step == 1 && c.fixed[0] && c.fixed[1] && c.fixed[2] &&
            plan_.evolution.search_orientation) {
            c.rotation_rate = plan_.notrans_rate;
            c.rotation_size = plan_.notrans_size;
        }
        return c;
    }

    copy_step open_copy_step(int model, int copy) {
        if (!state_.static_list.empty() && state_.report_steps)
            std::cout << "Calculating static structure contribution" << std::endl;
        const int cell = cells_.current();
        static_contribution(state_.cells[cell], state_.static_list, state_.codes[cell], state_.reflections,
                            plan_.d_min, plan_.sampling);
        copy_step step;
        step.constraints = step_constraints();
        step.placements =
            plan_.optimize_assembly ? plan_.models_per_step * plan_.copies_per_step : plan_.copies_per_step;
        // The reflections (with this copy step's static contribution) stay as
        // they are for every attempt of the step, so one set of scorer data
        // serves the global search, the simplex and the final scores; it reads
        // the transform store as it is at each call, segment models included.
        step.data = std::make_shared<const scorer_data>(state_.reflections, state_.cells, state_.codes,
                                                        transforms_);
        step.global_data = step.data;
        if (plan_.fft_translation && plan_.evolution.search_position) open_translation_function(step);
        loop_position& where = step.where;
        where.cell = cell;
        where.model = model;
        where.copy = copy;
        where.cells = static_cast<int>(state_.cells.size());
        where.models = plan_.search_models;
        where.copies = plan_.copies;
        where.cells_per_step = plan_.cells_per_step;
        where.models_per_step = plan_.models_per_step;
        where.copies_per_step = plan_.copies_per_step;
        where.attempts = plan_.attempts;
        return step;
    }

    // The global search of the fft mode reads only the reflections to its
    // own resolution limit, for the map and for its scores.
    void open_translation_function(copy_step& step) const {
        const double d_min = plan_.fft_limits.at(step.where.model).resolution.d_min;
        if (d_min > plan_.d_min) {
            const reflection_set low = reflections_to(state_.reflections, d_min);
            if (low.empty()) {
                std::ostringstream limit;
                limit << d_min;
                throw std::runtime_error("no reflections to the fft translation search's resolution limit of " +
                                         limit.str() + " A");
            }
            step.global_data =
                std::make_shared<const scorer_data>(low, state_.cells, state_.codes, transforms_);
        }
        step.translations = std::make_shared<const translation_function>(step.global_data, 0.0);
    }

    void run_copy_step(int model, int copy) {
        const copy_step step = open_copy_step(model, copy);
        const bool reporter = process_rank() == 0;
        if (reporter) begin_copy_step(state_, step.where, results_, !state_.static_list.empty());
        copy_result best;
        best.first_score = plan_.goal_maximum ? -std::numeric_limits<double>::max()
                                              : std::numeric_limits<double>::max();
        int best_attempt = 0;   // the attempt that found `best` (from 1); 0 before any
        std::vector<double> step_scores;
        const segment_mark mark{state_.models.size(), starts_.sites().size()};
        std::optional<score_statistics> random_scores;
        attempt_steps steps;
        steps.run = [&](int attempt) { return run_recorded_attempt(step, attempt, mark); };
        steps.skip = [&](int) { skip_attempt(step); };
        steps.exchange_begins = [&] { forget_segments(mark); };
        steps.take = [&](attempt_record& record) {
            if (process_count() > 1) adopt_segments(record, mark);
            const copy_result& r = record.result;
            step_scores.push_back(r.first_score);
            if (best_attempt == 0 || std::isnan(best.first_score) || better(r.first_score, best.first_score)) {
                best = r;
                best_attempt = record.attempt;
            }
            if (!reporter) return;
            const int clashes = attempt_output(state_, step.where, r.best, r.cc, r.r, step_scores, record.attempt);
            note_attempt(state_, r.best, r.cc, r.r, r.first_score, clashes, record.attempt);
            if (step.translations) note_z_scores(step, record, random_scores);
        };
        distribute_attempts(plan_.attempts, steps);
        results_.back().back().push_back(best);
        if (reporter) {
            // Segment models taken over from the exchange have atoms but no
            // transform yet; the step's best structure factors need them.
            if (best_attempt > 0)
                transforms_.prepare_solution(best.best, state_.models, plan_.d_min, plan_.scale, plan_.sampling);
            end_copy_step(state_, *step.data, best, best_attempt, plan_.goal_maximum, attempts_draw(step));
        }
        close_copy_step(best_attempt > 0 ? &best.best : nullptr);
    }

    // Attempts that draw nothing at random (no global search, or the
    // translation function placing models of fixed orientation) start alike
    // and end alike.
    bool attempts_draw(const copy_step& step) const {
        if (!plan_.evolutionary || (step.translations && !plan_.evolution.search_orientation)) return false;
        const evolution_settings e = attempt_settings(step);
        return e.search_orientation || e.search_position || (e.search_model && e.model_count > 1) ||
               (e.copy_counter == 0 && e.cell_count > 1);
    }

    // The translation and score Z of an attempt's solution (before its
    // segment split), for the summary and the run record. The random
    // placements are drawn once per copy step, like the first solution, from
    // a stream of their own so that the search's stream is not touched.
    void note_z_scores(const copy_step& step, const attempt_record& record,
                       std::optional<score_statistics>& random) const {
        const solution& s = record.unsplit ? *record.unsplit : record.result.best;
        if (!random) {
            const scorer_data& data = *step.data;
            const bool r_factor = plan_.r_factor_target;
            const std::uint64_t seed = state_.seed ^ (0x5a0e5c0dULL << 32) ^ state_.log.steps.size();
            random = random_placement_scores(
                random_placements(s, 0, random_placement_count, seed, step.constraints.fixed),
                [&data, r_factor](const solution& x) { return r_factor ? data.r_factor(x) : data.correlation(x); });
        }
        attempt_entry& a = state_.log.steps.back().attempts.back();
        a.tfz = translation_z(*step.translations, s, 0, step.constraints.fixed);
        a.score_z = score_z(record.result.first_score, *random, plan_.goal_maximum);
    }

    // Model and start-position counts at the start of a copy step: the
    // segment models its attempts append lie beyond them.
    struct segment_mark {
        std::size_t models, positions;
    };

    // Several processes: each attempt a rank runs starts from the copy step's
    // lists, its segment models appended from the mark, and remembers its
    // solution before the split so that every rank can append the same
    // models in attempt order afterwards.
    attempt_record run_recorded_attempt(const copy_step& step, int attempt, const segment_mark& mark) {
        if (process_count() > 1) forget_segments(mark);
        return run_attempt(step, attempt);
    }

    // An attempt run by another rank: only its random draws, those of the
    // evolutionary search. The translation function places candidates
    // without drawing, and with the orientation fixed it replaces the search.
    void skip_attempt(const copy_step& step) {
        if (!plan_.evolutionary || (step.translations && !plan_.evolution.search_orientation)) return;
        if (step.translations && plan_.orientation_scan) {
            rng_.random_rotation();
            return;
        }
        skip_evolution_draws(rng_, attempt_settings(step), plan_.population);
    }

    void forget_segments(const segment_mark& mark) {
        state_.models.resize(mark.models);
        starts_.truncate(mark.positions);
        for (std::size_t i = mark.models; i < transforms_.size(); ++i) transforms_.set(static_cast<int>(i), nullptr);
    }

    // Appends the attempt's segment models where one process would have, and
    // renumbers its segment placements to match.
    void adopt_segments(attempt_record& record, const segment_mark& mark) {
        if (!record.unsplit) return;
        const int shift = static_cast<int>(state_.models.size() - mark.models);
        solution split = *record.unsplit;
        split_segments(split, state_.models, starts_.sites());
        for (copy_placement& p : record.result.best.placements)
            if (p.model >= static_cast<int>(mark.models)) p.model += shift;
    }

    // The search space of the next copy step starts afresh; the best solution
    // joins the fixed structure, and later copies are searched in its cell.
    void close_copy_step(const solution* best) {
        if (!best) return;
        place_copies(*best, state_.models, state_.cells, state_.static_list, state_.static_centres);
        number_copies(*best, state_.static_copies);
        cells_.fix(best->cell);
    }

    // One attempt: global search (or the models as placed), local refinement,
    // normalisation and the two scores; with the solution before its segment
    // split, when it was split.
    attempt_record run_attempt(const copy_step& step, int attempt) {
        attempt_record record;
        record.attempt = attempt;
        progress_.started(attempt);
        if (state_.report_steps)
            print_loop_header(state_, step.where, attempt);
        const bool candidates = plan_.evolutionary && step.translations && plan_.evolution.search_orientation;
        solution s = candidates            ? best_refined_candidate(step)
                     : plan_.evolutionary ? global_search(step)
                                          : starting_solution(cells_.current(), step.where.model, step.placements,
                                                              starts_.sites(), plan_.evolution.babinet);
        if (plan_.simplex) record.unsplit = refine_locally(s, *step.data, candidates);
        if (plan_.normalise)
            normalise_solution(s, state_.cells, starts_.sites(), step.constraints.fixed, !state_.static_list.empty(),
                               plan_.restricted);
        const double cc = step.data->correlation(s);
        const double r = step.data->r_factor(s);
        progress_.finished(attempt, plan_.attempts, step_label(state_, step.where));
        record.result = plan_.r_factor_target ? copy_result{s, r, cc, cc, r} : copy_result{s, cc, r, cc, r};
        return record;
    }

    evolution_settings attempt_settings(const copy_step& step) const {
        evolution_settings e = plan_.evolution;
        e.placements = step.placements;
        e.model_base = step.where.model;
        e.model_count = plan_.models_per_step;
        e.cell_base = cells_.current();
        e.cell_count = cells_.count(plan_.cells_per_step);
        e.copy_counter = cells_.fixed() ? 1 : step.where.copy;
        e.start_positions = starts_.sites();
        e.fixed_axes = step.constraints.fixed;
        e.rotation_rate = step.constraints.rotation_rate;
        e.rotation_size = step.constraints.rotation_size;
        return e;
    }

    solution global_search(const copy_step& step) {
        objective_function objective = global_objective(plan_, step.global_data);
        if (!step.translations)
            return run_evolution(rng_, attempt_settings(step), objective, global_progress(plan_, std::cout),
                                 plan_.population);
        const placement_function place = make_translation_placement(
            step.translations, objective, plan_.translation_peaks, step.constraints.fixed,
            plan_.goal_maximum);
        if (!plan_.evolution.search_orientation) {
            // Orientation fixed (-T): the translation function alone finds
            // the translation of the models as they are.
            solution s = starting_solution(cells_.current(), step.where.model, step.placements, starts_.sites(),
                                           plan_.evolution.babinet);
            place(s);
            return s;
        }
        return run_evolution(rng_, attempt_settings(step), objective, global_progress(plan_, std::cout),
                             plan_.population, place);
    }

    // The fft mode's orientations, evolved or scanned, each placed by the
    // translation function; the best distinct candidates are refined by the
    // simplex one by one and the best of them is the attempt's solution.
    solution best_refined_candidate(const copy_step& step) {
        objective_function objective = global_objective(plan_, step.global_data);
        const placement_function place = make_translation_placement(
            step.translations, objective, plan_.translation_peaks, step.constraints.fixed,
            plan_.goal_maximum);
        auto archive = std::make_shared<candidate_archive>();
        if (plan_.orientation_scan) scan_attempt(step, place, objective, *archive);
        else
            run_evolution(rng_, attempt_settings(step), objective, global_progress(plan_, std::cout),
                          plan_.population, archived_placement(place, objective, archive));
        std::vector<placed_candidate> chosen =
            distinct_candidates(archive->best_first(plan_.goal_maximum), plan_.candidates, state_.models,
                                state_.cells, candidate_tolerance, !state_.static_list.empty());
        if (chosen.empty())
            return starting_solution(cells_.current(), step.where.model, step.placements, starts_.sites(),
                                     plan_.evolution.babinet);
        if (!plan_.simplex) return chosen.front().s;
        if (plan_.report_local) std::cout << "Local optimization of " << chosen.size() << " candidates" << std::flush;
        // First at the global search's resolution, then the best few at the
        // full resolution; the best of those is the attempt's solution.
        const candidate_refinement how{plan_.r_factor_target, plan_.goal_maximum, plan_.evolution.search_orientation,
                                       plan_.evolution.search_position, plan_.simplex_size, plan_.simplex_tolerance,
                                       babinet_bounds(plan_)};
        solution best = best_refined(std::move(chosen), *step.global_data, *step.data, finalists, how);
        if (plan_.report_local) std::cout << " completed" << std::endl;
        return best;
    }

    // One attempt of the orientation scan: the grid turned by a random
    // rotation (three deviates of the run's stream, whatever the scores),
    // reduced by each searched cell's point group, every orientation of each
    // searched model placed by the translation function.
    void scan_attempt(const copy_step& step, const placement_function& place, const objective_function& objective,
                      candidate_archive& archive) {
        const auto started = std::chrono::steady_clock::now();
        const quaternion turn = rng_.random_rotation();
        const evolution_settings e = attempt_settings(step);
        std::size_t orientations = 0;
        for (int cell = e.cell_base; cell < e.cell_base + e.cell_count; ++cell)
            for (int model = e.model_base; model < e.model_base + e.model_count; ++model) {
                const std::vector<quaternion> grid = rotation_grid(
                    plan_.fft_limits.at(model).scan_spacing, turn, cartesian_point_group(state_.cells.at(cell)));
                const solution like = starting_solution(cell, model, step.placements, starts_.sites(),
                                                         plan_.evolution.babinet);
                scan_orientations(grid, like, place, objective, archive);
                orientations += grid.size();
            }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (state_.report_steps)
            std::cout << "Orientation scan: " << orientations << " orientations in " << std::fixed
                      << std::setprecision(1) << seconds << " s" << std::endl;
    }

    // Simplex refinement (unless `refined` already), then, for models with
    // several segments, once more segment by segment; returns the solution
    // before that split, when there was one.
    std::optional<solution> refine_locally(solution& s, const scorer_data& data, bool refined = false) {
        std::ostream& out = std::cout;
        auto objective = [&](const solution& x) {
            return plan_.r_factor_target ? data.r_factor(x) : -data.correlation(x);
        };
        const bool orientation = plan_.evolution.search_orientation;
        const bool position = plan_.evolution.search_position;
        const babinet_limits babinet = babinet_bounds(plan_);
        if (!refined) {
            if (plan_.report_local) out << "Local optimization" << std::flush;
            refine_simplex(s, objective, orientation, position, plan_.simplex_size, plan_.simplex_tolerance,
                           babinet);
            if (plan_.report_local) out << " completed" << std::endl;
        }
        solution unsplit = s;
        if (!plan_.local_segments || !split_segments(s, state_.models, starts_.sites())) return std::nullopt;
        if (plan_.report_local) out << "Local optimization of segments" << std::flush;
        transforms_.prepare_solution(s, state_.models, plan_.d_min, plan_.scale, plan_.sampling);
        refine_simplex(s, objective, orientation, position, plan_.simplex_size, plan_.simplex_tolerance, babinet);
        if (plan_.report_local) out << " completed" << std::endl;
        return unsplit;
    }

    void report_elapsed_time() const {
        if (!state_.params.boolean("report.time.total")) return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - state_.start).count();
        std::ostringstream text;
        text << seconds;
        std::cout << "Total elapsed time: " << text.str() << " sec" << std::endl;
    }

    // Candidates closer than this (A RMSD up to symmetry) are one placement,
    // well within the reach of the simplex refinement.
    static constexpr double candidate_tolerance = 2.0;
    // Random placements behind the score Z.
    static constexpr int random_placement_count = 500;
    // Candidates refined at the full resolution after the first refinement
    // at the global search's resolution.
    static constexpr std::size_t finalists = 3;

    run_state& state_;
    const search_plan plan_;
    random_source rng_;
    transform_store transforms_;
    result_tables results_;
    searched_cells cells_;      // the cells a copy step searches
    start_positions starts_;    // the models' centres in the cell step's first cell
    attempt_progress progress_;  // progress lines on standard error
};

}  // namespace

void run_search(run_state& state) { search_loops(state).run(); }

}  // namespace zelt
