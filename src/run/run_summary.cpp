#include "run/run_summary.hpp"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "report/map_coefficients.hpp"
#include "report/run_record.hpp"
#include "io/coordinate_writer.hpp"
#include "report/placement_groups.hpp"

namespace zelt {

namespace {

// Attempts of a step, best first (stable, so ties keep attempt order).
std::vector<std::size_t> best_first(const copy_step_record& step, bool goal_is_maximum) {
    std::vector<std::size_t> order(step.attempts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const double x = step.attempts[a].score, y = step.attempts[b].score;
        return goal_is_maximum ? x > y : x < y;
    });
    return order;
}

void group_attempts(copy_step_record& step, const run_state& state, bool goal_is_maximum) {
    const std::vector<std::size_t> order = best_first(step, goal_is_maximum);
    std::vector<compared_placement> placed;
    for (std::size_t i : order) placed.push_back(comparison_sites(step.attempts[i].s, state.models, state.cells));
    const double tolerance = state.params.real("report.summary.tolerance");
    const std::vector<int> groups = group_placements(placed, state.cells, tolerance, step.origin_fixed);
    std::vector<attempt_result> results;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const attempt_entry& a = step.attempts[order[k]];
        results.push_back({a.attempt, a.score, a.cc, a.r, a.clashes,
                           state.cells.at(static_cast<std::size_t>(a.s.cell)).group().number, groups[k], a.tfz,
                           a.score_z});
    }
    step.placements = distinct_placements(results, goal_is_maximum);
    // Number each attempt's group by its row in the table.
    for (attempt_entry& a : step.attempts)
        for (std::size_t row = 0; row < step.placements.size(); ++row) {
            const auto& list = step.placements[row].attempts;
            if (std::find(list.begin(), list.end(), a.attempt) != list.end()) a.group = static_cast<int>(row);
        }
}

// Copy steps that built the overall best solution, in loop order.
std::vector<std::size_t> best_chain(const run_log& log, int cell_step, int model_step, bool assembly) {
    std::vector<std::size_t> chain;
    for (std::size_t i = 0; i < log.steps.size(); ++i) {
        const copy_step_record& s = log.steps[i];
        if (s.cell_step == cell_step && (assembly ? s.model_step <= model_step : s.model_step == model_step))
            chain.push_back(i);
    }
    return chain;
}

// The coordinate file that holds the best solution, or empty.
std::string best_coordinates(const run_state& state, const copy_step_record& step) {
    const parameter_store& p = state.params;
    const std::string& prefix = p.text("output.prefix");
    if (prefix == "-") return {};
    if (p.text("output.level") == "best") return best_file_name(prefix);
    if (p.text("output.level") != "all") return {};
    return attempt_file_name(prefix, step.cell, step.model, step.copy, step.best_attempt, step.numbered[0],
                             step.numbered[1], step.numbered[2]);
}

// The bulk-solvent term of the best solution, after the verdict.
void print_solvent(std::ostream& out, const run_state& state, const solution& best) {
    out << "Bulk solvent (Babinet) of the best solution: ";
    if (!state.params.boolean("optimize.babinet")) {
        out << "off\n";
        return;
    }
    out << std::fixed << std::setprecision(3) << "k = " << best.k << ", B = " << std::setprecision(1) << best.b
        << " A^2\n";
}

void print_summary(std::ostream& out, const run_state& state, const std::vector<std::size_t>& chain,
                   const verdict& v, const std::string& coordinates, const solution* best) {
    std::ostringstream text;
    text << '\n';
    const double tolerance = state.params.real("report.summary.tolerance");
    for (const copy_step_record& step : state.log.steps) {
        std::ostringstream title;
        title << "Distinct placements" << (step.label.empty() ? "" : " for " + step.label) << " ("
              << step.attempts.size() << (step.attempts.size() == 1 ? " attempt" : " attempts")
              << "; the same placement when atoms agree within " << std::fixed << std::setprecision(1)
              << tolerance << " A RMSD up to symmetry" << (step.origin_fixed ? "" : " and origin choice")
              << "):";
        print_placements(text, title.str(), step.placements);
        text << '\n';
    }
    if (!chain.empty()) {
        const copy_step_record& last = state.log.steps[chain.back()];
        text << "Best solution: attempt " << last.best_attempt;
        if (!last.label.empty()) text << " of " << last.label;
        if (!coordinates.empty()) text << ", coordinates in " << coordinates;
        text << '\n';
    }
    text << verdict_word(v.level) << ": " << v.reason << '\n';
    const parameter_store& p = state.params;
    if (v.level == verdict_level::not_clear && p.text("optimizer.translation") == "evolutionary" &&
        p.text("optimizer.global") == "evolutionary" && !p.boolean("optimize.copies") &&
        !p.boolean("optimize.assembly"))
        text << "The fft translation search may find what this search did not: run again with -P "
                "optimizer.translation=fft\n";
    if (best) print_solvent(text, state, *best);
    out << text.str() << std::flush;
}

}  // namespace

void begin_copy_step(run_state& state, const loop_position& where, const result_tables& results,
                     bool origin_fixed) {
    copy_step_record step;
    step.cell = where.cell;
    step.model = where.model;
    step.copy = where.copy;
    step.cell_step = static_cast<int>(results.size()) - 1;
    step.model_step = static_cast<int>(results.back().size()) - 1;
    step.copy_step = static_cast<int>(results.back().back().size());
    step.label = step_label(state, where);
    step.numbered = {where.cells_per_step < where.cells, where.models_per_step < where.models,
                     where.copies_per_step < where.copies};
    step.origin_fixed = origin_fixed;
    step.started = std::chrono::steady_clock::now();
    state.log.steps.push_back(std::move(step));
}

void note_attempt(run_state& state, const solution& s, double cc, double r, double score, int clashes,
                  int attempt) {
    state.log.steps.back().attempts.push_back({attempt, s, cc, r, score, clashes, -1, std::nullopt, std::nullopt});
}

void end_copy_step(run_state& state, const scorer_data& data, const copy_result& best, int best_attempt,
                   bool goal_is_maximum, bool independent) {
    copy_step_record& step = state.log.steps.back();
    group_attempts(step, state, goal_is_maximum);
    step.judgement = judge(step.placements, static_cast<int>(step.attempts.size()), {}, independent);
    if (best_attempt > 0) {
        calculate_fc_parallel(data.reflections, data.model(), best.best, step.best_fc);
        step.best_attempt = best_attempt;
    }
    step.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - step.started).count();
}

verdict overall_verdict(const run_log& log, const std::vector<std::size_t>& chain) {
    if (chain.empty()) return verdict{verdict_level::not_clear, "no solution"};
    const copy_step_record* weakest = &log.steps[chain.front()];
    for (std::size_t i : chain)
        if (log.steps[i].judgement.level < weakest->judgement.level) weakest = &log.steps[i];
    verdict v = weakest->judgement;
    if (chain.size() > 1 && !weakest->label.empty()) v.reason = weakest->label + ": " + v.reason;
    return v;
}

void finish_run(run_state& state, const result_tables& results, const best_step& step) {
    const parameter_store& p = state.params;
    const bool assembly = p.boolean("assembly");
    const std::vector<std::size_t> chain =
        step.found() ? best_chain(state.log, step.cell, step.model, assembly) : std::vector<std::size_t>{};
    const verdict v = overall_verdict(state.log, chain);
    const copy_step_record* best = chain.empty() ? nullptr : &state.log.steps[chain.back()];
    if (best && best->best_attempt == 0) best = nullptr;

    run_outcome outcome{chain, v, best ? best_coordinates(state, *best) : std::string(), {}};
    const solution* best_solution = step.found() ? &results[step.cell][step.model].back().best : nullptr;
    if (p.boolean("report.summary"))
        print_summary(std::cout, state, chain, v, outcome.coordinates, best_solution);

    // With coordinates on standard output there is no prefix to name files
    // by; a run that writes no coordinate files writes no other files either.
    const std::string& prefix = p.text("output.prefix");
    if (prefix == "-" || p.text("output.level") == "none") return;
    if (best && p.boolean("output.map-coefficients")) {
        const std::string name = prefix + ".best.mtz";
        if (state.report_steps) std::cout << "Writing map coefficients to " << name << std::endl;
        const solution& s = *best_solution;   // a best step record implies a best step
        const reflection_extras extras =
            read_reflection_extras(state.reflections, state.cells.front(), p.real("resolution.low"),
                                   p.real("resolution.high"), state.data_file,
                                   p.text("data.mtz-column"),
                                   p.text("data.mmcif-block"));
        const map_coefficient_table table = map_coefficients(state.reflections, best->best_fc,
                                                             state.cells.at(s.cell), state.codes.at(s.cell), extras);
        write_map_coefficients(name, table, state.cells.at(s.cell));
        outcome.map_coefficients = name;
    }
    if (p.boolean("output.json")) {
        const std::string name = prefix + ".json";
        if (state.report_steps) std::cout << "Writing run record to " << name << std::endl;
        write_run_record(name, recorded_run{state.params, state.command_line, state.cells, state.reflections, state.models, state.seed, state.start, state.log,
                                    state.fft_limits, state.data_label,
                                    state.model_centres}, outcome);
    }
}

}  // namespace zelt
