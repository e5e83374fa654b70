#include "run/attempt_output.hpp"

#include <iostream>
#include <string>
#include <vector>

#include "io/coordinate_writer.hpp"
#include "report/solution_table.hpp"
#include "score/packing.hpp"
#include "transform/static_structure.hpp"

namespace zelt {

namespace {

// Clash count of the static list as it stands (solution placed), or -1 when
// clash counting is switched off.
int clash_count(const run_state& state, const solution& s) {
    const parameter_store& p = state.params;
    if (p.text("packing.clash.type") != "interatomic") return -1;
    return count_clashes(state.static_list, state.cells, p.text("packing.clash.atoms") == "all",
                         p.real("packing.clash.distance"), s, state.static_copies);
}

void write_solution(run_state& state, const solution& s, double cc, double r, int clashes,
                    const std::string& name) {
    if (state.report_steps && !name.empty())
        std::cout << "Writing coordinates to " << name << "\n" << std::endl;
    write_coordinates(state.static_list, state.cells.at(s.cell), cc, r, clashes, name,
                      state.params.boolean("output.reassign-chain-ids"));
}

// Shortens the static list (and its centres) back to n lists.
void shorten_static(run_state& state, std::size_t n) {
    if (state.static_list.size() > n) state.static_list.resize(n);
    if (state.static_centres.size() > n) state.static_centres.resize(n);
    if (state.static_copies.size() > n) state.static_copies.resize(n);
}

}  // namespace

// The loop position in the words of the loop headers; empty when the run
// has a single copy step.
std::string step_label(const run_state& state, const loop_position& w) {
    std::vector<std::string> parts;
    if (w.cells > 1) {
        if (w.cells_per_step > 1 && w.copy == 0)
            parts.push_back("Unit cells " + std::to_string(w.cell + 1) + "-" +
                            std::to_string(w.cell + w.cells_per_step));
        else
            parts.push_back("Unit Cell " + std::to_string(w.cell + 1) + " (" +
                            state.cells.at(w.cell).group().symbol + ")");
    }
    if (w.models > 1)
        parts.push_back(w.models_per_step > 1 ? "Models " + std::to_string(w.model + 1) + "-" +
                                                    std::to_string(w.model + w.models_per_step)
                                              : "Model " + std::to_string(w.model + 1));
    if (w.copies > 1)
        parts.push_back(w.copies_per_step > 1 ? "Copies " + std::to_string(w.copy + 1) + "-" +
                                                    std::to_string(w.copy + w.copies_per_step)
                                              : "Copy " + std::to_string(w.copy + 1));
    std::string label;
    for (const std::string& part : parts) label += (label.empty() ? "" : ", ") + part;
    return label;
}

int attempt_output(run_state& state, const loop_position& where, const solution& s,
                   double cc, double r, const std::vector<double>& step_scores, int attempt) {
    const parameter_store& p = state.params;
    const std::size_t before = state.static_list.size();
    place_copies(s, state.models, state.cells, state.static_list, state.static_centres);
    number_copies(s, state.static_copies);

    // Counted whether or not the line is printed: the verdict needs it.
    const int clashes = clash_count(state, s);
    if (p.boolean("report.solution")) print_solution_table(std::cout, s, cc, r, attempt - 1, state.cells, clashes);

    const std::string& stats = p.text("report.stats");
    if (stats == "running" || (stats == "final" && attempt == where.attempts))
        print_statistics(std::cout, where.cell, where.model, where.copy, step_scores,
                         p.text("optimizer.goal") == "minimum");

    if (p.text("output.level") == "all") {
        const std::string& prefix = p.text("output.prefix");
        const std::string name =
            prefix == "-" ? std::string()
                          : attempt_file_name(prefix, where.cell, where.model, where.copy,
                                              attempt, where.cells_per_step < where.cells,
                                              where.models_per_step < where.models,
                                              where.copies_per_step < where.copies);
        write_solution(state, s, cc, r, clashes, name);
    }
    shorten_static(state, before);
    return clashes;
}

best_step find_overall_best(const result_tables& results, bool assembly, bool goal_is_maximum) {
    best_step best;
    for (std::size_t j = 0; j < results.size(); ++j) {
        const auto& cell_step = results[j];
        for (std::size_t i = 0; i < cell_step.size(); ++i) {
            if (assembly && i + 1 != cell_step.size()) continue;
            if (cell_step[i].empty()) continue;
            const double score = cell_step[i].back().first_score;
            if (best.found()) {
                const double current = results[best.cell][best.model].back().first_score;
                if (!(goal_is_maximum ? score > current : score < current)) continue;
            }
            best = {static_cast<int>(j), static_cast<int>(i)};
        }
    }
    return best;
}

void final_output(run_state& state, const result_tables& results, const best_step& step) {
    const parameter_store& p = state.params;
    if (p.text("output.level") != "best" || !step.found()) return;
    const bool assembly = p.boolean("assembly");
    const copy_result& best = results[step.cell][step.model].back();

    const std::string& prefix = p.text("output.prefix");
    const std::string name = prefix == "-" ? std::string() : best_file_name(prefix);

    shorten_static(state, state.base_static_count);
    const auto& cell_step = results[step.cell];
    for (std::size_t i = 0; i < cell_step.size(); ++i) {
        if (!assembly && static_cast<int>(i) != step.model) continue;
        for (const copy_result& c : cell_step[i]) {
            place_copies(c.best, state.models, state.cells, state.static_list, state.static_centres);
            number_copies(c.best, state.static_copies);
        }
    }
    const int clashes = clash_count(state, best.best);
    write_solution(state, best.best, best.cc, best.r, clashes, name);
}

}  // namespace zelt
