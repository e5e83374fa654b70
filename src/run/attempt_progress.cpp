#include "run/attempt_progress.hpp"

#include <unistd.h>

#include <cmath>
#include <ostream>

namespace zelt {

attempt_progress::attempt_progress(std::ostream& out, bool enabled, int rank, int ranks)
    : out_(out), enabled_(enabled), rank_(rank), ranks_(ranks < 1 ? 1 : ranks) {}

void attempt_progress::started(int attempt) {
    if (attempt <= last_ || done_ == 0) {
        done_ = 0;
        step_start_ = std::chrono::steady_clock::now();
    }
    last_ = attempt;
}

void attempt_progress::finished(int attempt, int attempts, const std::string& label) {
    ++done_;
    if (!enabled_) return;
    int left_here = 0;  // attempts after this one that this process runs
    for (int a = attempt + 1; a <= attempts; ++a) left_here += (a - 1) % ranks_ == rank_;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - step_start_).count();
    out_ << "Attempt " << attempt << " of " << attempts << " done" << (label.empty() ? "" : " (" + label + ")")
         << ": " << attempts - attempt << " left";
    if (attempts > attempt) out_ << ", about " << duration_text(elapsed / done_ * left_here) << " to go";
    out_ << std::endl;
}

std::string attempt_progress::duration_text(double seconds) {
    const long s = std::lround(seconds);
    if (s < 60) return std::to_string(s) + " s";
    if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

bool progress_wanted(const std::string& report_evolution, bool report_steps) {
    return report_evolution == "generations" || (report_steps && ::isatty(STDERR_FILENO));
}

}  // namespace zelt
