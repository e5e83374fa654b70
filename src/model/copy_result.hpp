#pragma once
// The scored result of a search: the best solution of a copy step with the
// scores it was judged and reported by.
#include <vector>

#include "model/solution.hpp"

namespace zelt {

// Best result of one copy step.
struct copy_result {
    solution best;
    double first_score = 0.0;    // decides which solution is best
    double second_score = 0.0;   // reported only
    double cc = 0.0, r = 0.0;    // correlation and R-factor, for the coordinate file
};

// Result tables indexed by cell step, model step and copy step.
using result_tables = std::vector<std::vector<std::vector<copy_result>>>;

}  // namespace zelt
