#pragma once
// Downhill simplex (Nelder and Mead) refinement of one solution.
#include <functional>
#include <limits>
#include <vector>

#include "model/solution.hpp"

namespace zelt {

// Refines `s` in place over its simplex parameter vector (see
// to_parameters): orientations when `orientation`, translations when
// `position`, k and B always. `value_to_minimise` receives the back-converted
// solution (orientations normalised, translations modulo 1.0); the caller
// passes the negated correlation. The start simplex adds `step` to one
// coordinate per vertex; the loop stops when the relative spread of the
// values falls below `tolerance` or after 1000 passes, and the best vertex is
// written back (translations as the simplex left them).
// What one simplex run did.
struct simplex_outcome {
    std::vector<double> best;   // the best vertex of the last ranking
    double value = 0.0;         // its function value
    int passes = 0;             // passes of the main loop (at most 1000)
    long evaluations = 0;       // calls of the function
};

// Minimises f from `start` by the downhill simplex method: vertex j (j >= 1)
// is `start` with `step` added to coordinate j - 1; ties in the ranking go to
// the later vertex; stops when 2|y_worst - y_best| / (|y_best| + |y_worst| +
// DBL_MIN) < tolerance or after 1000 passes. `start` must not be empty.
simplex_outcome simplex_minimise(const std::vector<double>& start,
                                 const std::function<double(const std::vector<double>&)>& f,
                                 double step, double tolerance);

// What the local refinement does with the bulk-solvent (Babinet) k and B:
// refine them inside their bounds, or keep the term off.
struct babinet_limits {
    bool refine = true;   // false: k = 0 (no solvent term), neither k nor B refined
    double k_min = -std::numeric_limits<double>::infinity(), k_max = std::numeric_limits<double>::infinity();
    double b_min = -std::numeric_limits<double>::infinity(), b_max = std::numeric_limits<double>::infinity();
};

// With `babinet.refine`, k and B are clamped into their bounds wherever a
// vertex is turned into a solution: a vertex beyond a bound is scored at the
// bound, and the written-back solution lies inside them. Otherwise k is set
// to 0 and the two Babinet coordinates leave the parameter vector; with
// nothing else refined the solution is left as it is.
void refine_simplex(solution& s, const std::function<double(const solution&)>& value_to_minimise,
                    bool orientation, bool position, double step, double tolerance,
                    const babinet_limits& babinet);

}  // namespace zelt
