#include "report/solution_table.hpp"

#include <atomic>
#include <cstddef>
#include <iomanip>
#include <ostream>
#include <string>

#include "crystal/geometry.hpp"

namespace zelt {

namespace {

// Set by the first statistics line of the process.
std::atomic<bool> statistics_header_printed{false};

}  // namespace

void print_solution_table(std::ostream& out, const solution& s, double cc, double r,
                          int attempt_index, const std::vector<unit_cell>& cells, int clashes) {
    out << std::fixed << std::showpoint;
    out << "\n          #    CC    R    d<     al     be     ga     x      y      z   mod sg\n";
    const int space_group = cells.at(static_cast<std::size_t>(s.cell)).group().number;
    const std::size_t copies = s.placements.size();
    for (std::size_t i = 0; i < copies; ++i) {
        const copy_placement& p = s.placements[i];
        out << "Solution " << std::setw(2) << attempt_index + 1;
        out << (copies >= 2 ? static_cast<char>('a' + i % 26) : ' ') << ' ';
        if (i == 0) {
            out << std::setprecision(3) << cc << ' ' << r << ' ' << std::setw(3) << clashes
                << "  ";
        } else {
            out << std::string(17, ' ');
        }
        const vec3 e = euler_angles(p.orientation);
        out << std::setprecision(1);
        // Adding 0.0 turns a negative zero into a plain one, so that no angle or
        // translation is printed as "-0.0".
        for (int k = 0; k < 3; ++k) out << std::setw(6) << e[k] * radians_to_degrees + 0.0 << ' ';
        out << std::setprecision(3);
        for (int k = 0; k < 3; ++k) out << std::setw(6) << p.translation[k] + 0.0 << ' ';
        out << std::setw(2) << p.reported_model + 1 << ' ' << std::setw(3) << space_group << '\n';
    }
    out << '\n' << std::flush;
}

void print_statistics(std::ostream& out, int cell, int model, int copy,
                      const std::vector<double>& scores, bool lower_is_better) {
    if (!statistics_header_printed.exchange(true))
        out << "SpcGrp\tModel\tCopy\tAttempt\tScore\tMin\tMean\tMax\tNH-Mean\tRate\n";

    const std::size_t n = scores.size();
    double min = 0.0, max = 0.0, mean = 0.0, latest = 0.0;
    if (n > 0) {
        min = max = scores.front();
        latest = scores.back();
    }
    std::size_t count = 0;
    for (double x : scores) {
        if (x < min) min = x;
        if (x > max) max = x;
        ++count;
        mean += (x - mean) / static_cast<double>(count);
    }
    std::size_t near_best = 0, others = 0;
    double other_mean = 0.0;
    // Near-best is measured from the best score: the largest correlation, or
    // the smallest R-factor.
    for (double x : scores) {
        const double behind = lower_is_better ? x - min : max - x;
        if (behind < near_best_margin) {
            ++near_best;
        } else {
            ++others;
            other_mean += (x - other_mean) / static_cast<double>(others);
        }
    }
    // No attempt yet: report zeros rather than dividing by zero.
    const double rate = n > 0 ? static_cast<double>(near_best) / static_cast<double>(n) : 0.0;

    out << std::fixed << std::setprecision(3) << std::showpoint;
    out << cell << '\t' << model << '\t' << copy << '\t' << n << '\t' << latest << '\t' << min
        << '\t' << mean << '\t' << max << '\t' << other_mean << '\t' << rate << '\n'
        << std::flush;
}

void reset_statistics_header() { statistics_header_printed = false; }

}  // namespace zelt
