#pragma once
// The distinct placements of one copy step, best first, and the heuristic
// verdict on whether the search has found the answer.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

// One attempt's final result as the summary sees it.
struct attempt_result {
    int attempt = 0;      // from 1
    double score = 0.0;   // the first score (the objective)
    double cc = 0.0, r = 0.0;
    int clashes = -1;     // -1: not counted
    int space_group = 0;
    int group = -1;       // distinct placement it belongs to
    std::optional<double> tfz, score_z;   // translation Z and score Z, where computed
};

// A distinct placement: the attempts that found it and its best result.
struct distinct_placement {
    int best_attempt = 0;
    double score = 0.0, cc = 0.0, r = 0.0;
    int clashes = -1;
    int space_group = 0;
    std::vector<int> attempts;       // ascending
    // (score - mean of the other attempts' scores) / their standard deviation
    // (at least `contrast_floor`), signed so that better is positive; absent
    // with fewer than two other attempts.
    std::optional<double> contrast;
    // Translation Z and score Z of the best attempt, where computed (the fft
    // translation search); the table and the verdict use them when present.
    std::optional<double> tfz, score_z;
};

// Thresholds of the verdict. They are heuristics, calibrated on the example
// beta-lactamase data and on synthetic searches, not statistics with a known
// error rate.
struct verdict_thresholds {
    double contrast_floor = 0.01;      // smallest spread of the other scores
    double solved_contrast = 3.0;      // a repeated placement this far ahead: solved
    double single_contrast = 4.0;      // found once, this far ahead: probably solved
    int max_clashes = 10;              // more packing clashes: not a solution
    int unanimous_attempts = 3;        // every attempt but at most one agreeing, at least this many
    // With Z-scores (the fft translation search): a placement with both at
    // least this high stands out from random placements and from the noise
    // of its translation function ...
    double strong_score_z = 10.0, strong_tfz = 7.0;
    // ... and one with a score Z below this does not stand out enough to be
    // called solved, however many attempts agree.
    double weak_score_z = 7.0;
};

enum class verdict_level { not_clear = 0, probably_solved = 1, solved = 2 };

struct verdict {
    verdict_level level = verdict_level::not_clear;
    std::string reason;   // what the judgement rests on
};

// Groups the attempts (whose `group` is set) into distinct placements, best
// first (larger score first when `goal_maximum`, else smaller).
std::vector<distinct_placement> distinct_placements(const std::vector<attempt_result>& attempts,
                                                    bool goal_maximum,
                                                    const verdict_thresholds& t = {});

// The verdict on one copy step from its distinct placements. Attempts that
// draw nothing at random (`independent` false) all start alike: together
// they are one piece of evidence, and the step is never more than "not
// clear". Packing clashes that were not counted leave it at "probably
// solved" at best.
verdict judge(const std::vector<distinct_placement>& placements, int attempts,
              const verdict_thresholds& t = {}, bool independent = true);

// "solved", "probably solved" or "not clear".
std::string verdict_word(verdict_level level);

// The table of distinct placements under a title line.
void print_placements(std::ostream& out, const std::string& title,
                      const std::vector<distinct_placement>& placements);

}  // namespace zelt
