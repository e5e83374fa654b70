#pragma once
// Fixed-format reports that frame a run on standard output.
#include <iosfwd>

#include "settings/parameters.hpp"

namespace zelt {

// Web address printed in the version banner.
inline constexpr const char* program_web_address = "https://github.com/zelt-mr/zelt";

// Three lines: version and date, where to find the program, an empty line.
// Reads `version` from the defaults store.
void print_banner(std::ostream& out);

// Settings of the run as stored in the effective store.
// fft_settings: the lines on the fft search, printed last (empty in the
// evolutionary mode).
void print_options_summary(std::ostream& out, const parameter_store& effective,
                           const std::string& fft_settings = {});

// Explains the columns of the solution lines.
void print_solution_legend(std::ostream& out);

// One-line progress of the global search: "Global search " and one dot per
// generation, then " completed" after the last one.
class progress_report {
public:
    progress_report(std::ostream& out, int generations) : out_(&out), generations_(generations) {}
    void operator()(int generation);

private:
    std::ostream* out_;
    int generations_;
};

}  // namespace zelt
