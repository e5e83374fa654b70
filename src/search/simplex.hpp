#pragma once
// Downhill simplex (Nelder and Mead) refinement of one solution.
#include <functional>

#include "search/solution.hpp"

namespace zelt {

// Refines `s` in place over its simplex parameter vector (see
// to_parameters): orientations when `orientation`, translations when
// `position`, k and B always. `value_to_minimise` receives the back-converted
// solution (orientations normalised, translations modulo 1.0); the caller
// passes the negated correlation. The start simplex adds `step` to one
// coordinate per vertex; the loop stops when the relative spread of the
// values falls below `tolerance` or after 1000 passes, and the best vertex is
// written back (translations as the simplex left them).
void refine_simplex(solution& s, const std::function<double(const solution&)>& value_to_minimise,
                    bool orientation, bool position, double step, double tolerance);

}  // namespace zelt
