#pragma once
// What happens to a finished attempt, and to the best solution after all
// searches: clash count, solution line, statistics, coordinate files.
#include <string>
#include <vector>

#include "run/run_state.hpp"
#include "model/copy_result.hpp"
#include "model/solution.hpp"

namespace zelt {

// Where the search loops are, and how they step.
struct loop_position {
    int cell = 0, model = 0, copy = 0;            // indices, from 0
    int cells = 1, models = 1, copies = 1;        // totals
    int cells_per_step = 1, models_per_step = 1, copies_per_step = 1;
    int attempts = 1;
};

// The loop position in the words of the loop headers ("Unit Cell 2 (P 32 2
// 1), Copy 1"); empty when the run has a single copy step.
std::string step_label(const run_state& state, const loop_position& where);

// Reports one attempt and writes its coordinates as configured; the static
// list is left as it was found. Returns the clash count (-1: not counted).
int attempt_output(run_state& state, const loop_position& where, const solution& s,
                   double cc, double r, const std::vector<double>& step_scores, int attempt);

// The cell step and model step (indices into `results`) whose last copy step
// holds the overall best solution; -1 when there is none.
struct best_step {
    int cell = -1, model = -1;
    bool found() const { return cell >= 0; }
};

// Over every cell step and model step (with an assembly only the last model
// step of each cell step), the best first score of the last copy step, the
// first in loop order winning ties.
best_step find_overall_best(const result_tables& results, bool assembly, bool goal_is_maximum);

// Writes the overall best solution when the output level is "best".
void final_output(run_state& state, const result_tables& results, const best_step& best);

}  // namespace zelt
