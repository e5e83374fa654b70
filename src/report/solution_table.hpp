#pragma once
// The per-attempt solution table and the running statistics of the scores.
#include <iosfwd>
#include <vector>

#include "crystal/unit_cell.hpp"
#include "model/solution.hpp"

namespace zelt {

// One block per attempt: a blank line, the column titles, then one line per
// placed copy with its Euler angles (degrees), fractional translation, model
// number and space group. CC, R and the clash count appear on the first line
// only; with two or more copies the lines are lettered a, b, c, ...
// attempt_index counts from 0. Leaves `out` in fixed notation with a forced
// decimal point.
void print_solution_table(std::ostream& out, const solution& s, double cc, double r,
                          int attempt_index, const std::vector<unit_cell>& cells, int clashes);

// One tab-separated line summarising the final scores of the attempts made so
// far for one cell, model and copy (indices counted from 0): the number of
// attempts, the latest score, Min, Mean, Max, the mean of the scores that are
// not near the best (NH-Mean) and the fraction that are (Rate). The column
// titles are printed before the first line of the process.
void print_statistics(std::ostream& out, int cell, int model, int copy,
                      const std::vector<double>& scores, bool lower_is_better = false);

// Scores within this distance of the best one (below the largest, or above
// the smallest when lower is better) count as near-best.
inline constexpr double near_best_margin = 0.002;

// Forgets that the statistics titles were printed (for tests).
void reset_statistics_header();

}  // namespace zelt
