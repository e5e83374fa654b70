#include "report/verdict.hpp"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <map>
#include <ostream>
#include <sstream>

namespace zelt {

namespace {

std::optional<double> contrast_of(const distinct_placement& p, const std::vector<attempt_result>& all,
                                  int group, bool goal_maximum, double floor) {
    std::vector<double> others;
    for (const attempt_result& a : all)
        if (a.group != group) others.push_back(a.score);
    if (others.size() < 2) return std::nullopt;
    double mean = 0.0;
    for (double x : others) mean += x;
    mean /= static_cast<double>(others.size());
    double var = 0.0;
    for (double x : others) var += (x - mean) * (x - mean);
    const double sd = std::max(std::sqrt(var / static_cast<double>(others.size() - 1)), floor);
    return (goal_maximum ? p.score - mean : mean - p.score) / sd;
}

std::string number(double x, int precision) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(precision) << x;
    return s.str();
}

std::string clash_text(int clashes) {
    if (clashes < 0) return "packing clashes not counted";
    if (clashes == 0) return "no packing clashes";
    return std::to_string(clashes) + (clashes == 1 ? " packing clash" : " packing clashes");
}

// Z-scores raise a placement that stands out from random placements (found
// twice: solved; once: probably solved) and keep one that does not from
// being called solved.
void judge_by_z_scores(verdict& v, int found, double tfz, double score_z, const verdict_thresholds& t) {
    const bool strong = score_z >= t.strong_score_z && tfz >= t.strong_tfz;
    if (strong && found >= 2) v.level = verdict_level::solved;
    else if (strong && v.level < verdict_level::probably_solved) v.level = verdict_level::probably_solved;
    if (score_z < t.weak_score_z && v.level == verdict_level::solved) v.level = verdict_level::probably_solved;
}

}  // namespace

std::vector<distinct_placement> distinct_placements(const std::vector<attempt_result>& attempts,
                                                    bool goal_maximum, const verdict_thresholds& t) {
    std::map<int, std::vector<const attempt_result*>> members;
    for (const attempt_result& a : attempts) members[a.group].push_back(&a);
    std::vector<std::pair<int, distinct_placement>> rows;
    for (const auto& [group, list] : members) {
        const attempt_result* best = list.front();
        for (const attempt_result* a : list) {
            const bool better = goal_maximum ? a->score > best->score : a->score < best->score;
            if (better) best = a;
        }
        distinct_placement p;
        p.best_attempt = best->attempt;
        p.score = best->score;
        p.cc = best->cc;
        p.r = best->r;
        p.clashes = best->clashes;
        p.space_group = best->space_group;
        p.tfz = best->tfz;
        p.score_z = best->score_z;
        for (const attempt_result* a : list) p.attempts.push_back(a->attempt);
        std::sort(p.attempts.begin(), p.attempts.end());
        p.contrast = contrast_of(p, attempts, group, goal_maximum, t.contrast_floor);
        rows.emplace_back(group, p);
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& x, const auto& y) {
        return goal_maximum ? x.second.score > y.second.score : x.second.score < y.second.score;
    });
    std::vector<distinct_placement> out;
    for (auto& row : rows) out.push_back(std::move(row.second));
    return out;
}

verdict judge(const std::vector<distinct_placement>& placements, int attempts,
              const verdict_thresholds& t, bool independent) {
    verdict v;
    if (placements.empty()) {
        v.reason = "no solution";
        return v;
    }
    const distinct_placement& best = placements.front();
    const int found = static_cast<int>(best.attempts.size());
    const bool packs = best.clashes <= t.max_clashes;
    // With at most one attempt elsewhere there is no spread to measure the
    // contrast by; agreement of all the others must speak instead.
    const bool nearly_unanimous = attempts - found <= 1 && found >= t.unanimous_attempts;
    const double z = best.contrast.value_or(0.0);

    std::ostringstream why;
    why << "best placement (CC " << number(best.cc, 3) << ") found by " << found << " of " << attempts
        << (attempts == 1 ? " attempt" : " attempts");
    if (!independent && attempts > 1) why << " (nothing in them is drawn at random, so they count as one)";
    if (best.contrast) why << ", " << number(z, 1) << " sd ahead of the other attempts";
    if (best.tfz) why << ", TFZ " << number(*best.tfz, 1);
    if (best.score_z) why << ", score Z " << number(*best.score_z, 1);
    why << ", " << clash_text(best.clashes);
    v.reason = why.str();

    if (!packs) return v;
    if (independent && found >= 2 && (z >= t.solved_contrast || nearly_unanimous))
        v.level = verdict_level::solved;
    else if (independent && (found >= 2 || z >= t.single_contrast))
        v.level = verdict_level::probably_solved;
    // Attempts that draw nothing at random are one find, however many ran.
    if (best.tfz && best.score_z) judge_by_z_scores(v, independent ? found : 1, *best.tfz, *best.score_z, t);
    if (best.clashes < 0 && v.level == verdict_level::solved) v.level = verdict_level::probably_solved;
    return v;
}

std::string verdict_word(verdict_level level) {
    switch (level) {
    case verdict_level::solved: return "solved";
    case verdict_level::probably_solved: return "probably solved";
    case verdict_level::not_clear: break;
    }
    return "not clear";
}

void print_placements(std::ostream& out, const std::string& title,
                      const std::vector<distinct_placement>& placements) {
    std::ostringstream s;
    const bool z = std::any_of(placements.begin(), placements.end(),
                               [](const distinct_placement& p) { return p.tfz || p.score_z; });
    auto optional_number = [](const std::optional<double>& x) { return x ? number(*x, 1) : std::string("-"); };
    s << title << '\n' << "   #     CC      R   d<  sg  found  contrast" << (z ? "    TFZ  score-Z" : "")
      << "  attempts\n";
    for (std::size_t i = 0; i < placements.size(); ++i) {
        const distinct_placement& p = placements[i];
        s << std::setw(4) << i + 1 << ' ' << std::setw(6) << number(p.cc, 3) << ' ' << std::setw(6)
          << number(p.r, 3) << ' ' << std::setw(4) << p.clashes << ' ' << std::setw(3) << p.space_group
          << ' ' << std::setw(6) << p.attempts.size() << ' ' << std::setw(9) << optional_number(p.contrast);
        if (z) s << ' ' << std::setw(6) << optional_number(p.tfz) << ' ' << std::setw(8) << optional_number(p.score_z);
        s << "  ";
        for (std::size_t k = 0; k < p.attempts.size(); ++k) s << (k ? " " : "") << p.attempts[k];
        s << '\n';
    }
    out << s.str() << std::flush;
}

}  // namespace zelt
