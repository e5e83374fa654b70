#pragma once
// The attempts of one copy step spread over the processes of the run.
//
// Every rank walks through attempts 1..n in order. Rank (a - 1) mod size runs
// attempt a and keeps what it printed; the others only advance the run's
// random stream past it (an attempt draws a number of deviates that does not
// depend on any score, so replaying its draws without scoring leaves the
// stream exactly where running it would). Then the owners hand their results
// to every rank in attempt order, so that all ranks agree on the copy step's
// best solution; rank 0 prints each attempt's text before its output. With a
// single process each attempt is run and taken at once, printing as it goes.
#include <functional>
#include <optional>
#include <string>

#include "model/copy_result.hpp"
#include "model/solution.hpp"

namespace zelt {

// One finished attempt as the ranks exchange it.
struct attempt_record {
    int attempt = 0;
    copy_result result;
    std::optional<solution> unsplit;  // the solution before its segment split, when it was split
    std::string text;                 // what the attempt printed (several processes only)
};

std::string encode_record(const attempt_record& r);
// Throws std::runtime_error on a truncated or malformed record.
attempt_record decode_record(const std::string& bytes);

struct attempt_steps {
    std::function<attempt_record(int)> run;     // runs attempt a here
    std::function<void(int)> skip;              // moves the random stream past attempt a
    std::function<void()> exchange_begins;      // before the first record is taken (several processes)
    std::function<void(attempt_record&)> take;  // every rank, attempt order
};

// Which rank runs attempt a (from 1) of `ranks`.
inline int attempt_owner(int attempt, int ranks) { return (attempt - 1) % ranks; }

void distribute_attempts(int attempts, const attempt_steps& steps);

}  // namespace zelt
