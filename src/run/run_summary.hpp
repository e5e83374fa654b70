#pragma once
// The end of a run: distinct placements of every copy step, the verdict, the
// map coefficients of the best solution and the run record. The search loops
// call the step functions; the summary follows every attempt's report and
// the final coordinate file.
#include <string>
#include <vector>

#include "run/attempt_output.hpp"
#include "run/run_state.hpp"
#include "score/scorer.hpp"

namespace zelt {

// Opens the record of a copy step; `results` as the loops hold it before the
// step's best is added.
void begin_copy_step(run_state& state, const loop_position& where, const result_tables& results,
                     bool origin_fixed);

// Adds a finished attempt to the current copy step.
void note_attempt(run_state& state, const solution& s, double cc, double r, double score,
                  int clashes, int attempt);

// Closes the current copy step: groups its attempts into distinct placements,
// judges them, and keeps the structure factors of its best solution (with the
// step's fixed structure, read through `data`). `best_attempt` is the
// attempt that found `best` (from 1), 0 when no attempt ran here.
// `independent`: the attempts draw at random, so that each is evidence of
// its own.
void end_copy_step(run_state& state, const scorer_data& data, const copy_result& best, int best_attempt,
                   bool goal_is_maximum, bool independent);

// The overall verdict: the weakest of the copy steps that built the best
// solution, with the reason of that step.
verdict overall_verdict(const run_log& log, const std::vector<std::size_t>& chain);

// After the loops and the final output, before the elapsed time: prints the summary and the verdict (`report.summary`),
// writes PREFIX.best.mtz and PREFIX.json as configured.
void finish_run(run_state& state, const result_tables& results, const best_step& step);

}  // namespace zelt
