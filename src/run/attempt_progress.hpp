#pragma once
// One progress line per attempt on standard error, for long runs: the
// attempt, the attempts left and an estimate of the time they need.
#include <chrono>
#include <iosfwd>
#include <string>

namespace zelt {

class attempt_progress {
public:
    // `out` receives the lines (standard error in a run); nothing is printed
    // when `enabled` is false. `rank` and `ranks` say which attempts this
    // process runs: attempt a on rank (a - 1) mod ranks.
    attempt_progress(std::ostream& out, bool enabled, int rank = 0, int ranks = 1);

    // An attempt of a copy step starts; an attempt number not above the last
    // one starts a new copy step.
    void started(int attempt);
    // The attempt has finished: prints "Attempt 3 of 20 done (LABEL): 17
    // left, about 1 min 5 s to go" (LABEL only when not empty).
    void finished(int attempt, int attempts, const std::string& label);

    // "1 min 5 s", "2 h 3 min", "12 s".
    static std::string duration_text(double seconds);

private:
    std::ostream& out_;
    bool enabled_;
    int rank_, ranks_;
    int last_ = 0, done_ = 0;
    std::chrono::steady_clock::time_point step_start_;
};

// Progress is shown with verbosity 2 (report.evolution "generations"), or
// when standard error is a terminal and step messages are printed.
bool progress_wanted(const std::string& report_evolution, bool report_steps);

}  // namespace zelt
