#pragma once
#include "run/run_state.hpp"

namespace zelt {

// Runs every search of a prepared run, writes its results and reports the
// elapsed time.
void run_search(run_state& state);

}  // namespace zelt
