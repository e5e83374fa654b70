#include "run/fft_candidates.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <tbb/parallel_for.h>

#include "report/placement_groups.hpp"

namespace zelt {

namespace {

// The candidate's numbers in a fixed order, for breaking ties.
std::vector<double> numbers_of(const solution& s) {
    std::vector<double> v{static_cast<double>(s.cell), s.k, s.b};
    for (const copy_placement& p : s.placements) {
        v.insert(v.end(), p.orientation.begin(), p.orientation.end());
        v.insert(v.end(), p.translation.begin(), p.translation.end());
        v.push_back(p.model);
    }
    return v;
}

}  // namespace

void candidate_archive::add(const solution& s, double score) {
    std::lock_guard<std::mutex> hold(lock_);
    all_.push_back({s, score});
}

std::size_t candidate_archive::size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return all_.size();
}

std::vector<placed_candidate> candidate_archive::best_first(bool goal_maximum) const {
    std::vector<placed_candidate> out;
    {
        std::lock_guard<std::mutex> hold(lock_);
        out = all_;
    }
    std::sort(out.begin(), out.end(), [goal_maximum](const placed_candidate& a, const placed_candidate& b) {
        const bool na = std::isnan(a.score), nb = std::isnan(b.score);
        if (na != nb) return nb;
        if (!na && a.score != b.score) return goal_maximum ? a.score > b.score : a.score < b.score;
        return numbers_of(a.s) < numbers_of(b.s);
    });
    return out;
}

placement_function archived_placement(placement_function place, objective_function objective,
                                      std::shared_ptr<candidate_archive> archive) {
    return [place = std::move(place), objective = std::move(objective),
            archive = std::move(archive)](solution& s) -> std::optional<double> {
        std::optional<double> score = place ? place(s) : std::nullopt;
        if (!score) score = objective(s);
        archive->add(s, *score);
        return score;
    };
}

void scan_orientations(const std::vector<quaternion>& grid, const solution& like,
                       const placement_function& place, const objective_function& objective,
                       candidate_archive& archive) {
    tbb::parallel_for(std::size_t{0}, grid.size(), [&](std::size_t i) {
        solution s = like;
        s.placements.front().orientation = grid[i];
        std::optional<double> score = place(s);
        if (!score) score = objective(s);
        archive.add(s, *score);
    });
}

std::vector<placed_candidate> distinct_candidates(const std::vector<placed_candidate>& sorted, int count,
                                                  const model_list& models, const std::vector<unit_cell>& cells,
                                                  double tolerance, bool origin_fixed) {
    std::vector<placed_candidate> taken;
    std::vector<compared_placement> sites;
    for (const placed_candidate& c : sorted) {
        if (static_cast<int>(taken.size()) >= count) break;
        compared_placement here = comparison_sites(c.s, models, cells, 60);
        bool seen = false;
        for (const compared_placement& other : sites)
            if (same_placement(other, here, cells, tolerance, origin_fixed)) {
                seen = true;
                break;
            }
        if (seen) continue;
        taken.push_back(c);
        sites.push_back(std::move(here));
    }
    return taken;
}

std::vector<mat3> cartesian_point_group(const unit_cell& cell) {
    std::vector<mat3> out;
    for (const symmetry_operator& op : cell.group().operators) {
        const mat3 r = mul(cell.orthogonalisation, mul(op.rotation(), cell.fractionalisation));
        bool known = false;
        for (const mat3& m : out) {
            double d = 0.0;
            for (int i = 0; i < 9; ++i) d = std::max(d, std::fabs(m[i] - r[i]));
            known = known || d < 1e-6;
        }
        if (!known) out.push_back(r);
    }
    return out;
}

void refine_candidates(std::vector<placed_candidate>& chosen, const scorer_data& data,
                       const candidate_refinement& how) {
    auto objective = [&](const solution& x) { return how.r_factor_target ? data.r_factor(x) : -data.correlation(x); };
    tbb::parallel_for(std::size_t{0}, chosen.size(), [&](std::size_t i) {
        refine_simplex(chosen[i].s, objective, how.orientation, how.position, how.size, how.tolerance,
                       how.babinet);
        const double value = objective(chosen[i].s);
        chosen[i].score = how.r_factor_target ? value : -value;
    });
}

solution best_refined(std::vector<placed_candidate> chosen, const scorer_data& coarse, const scorer_data& fine,
                      std::size_t finalists, const candidate_refinement& how) {
    auto better = [&](double a, double b) { return how.goal_maximum ? a > b : a < b; };
    if (&coarse != &fine && chosen.size() > finalists) {
        refine_candidates(chosen, coarse, how);
        std::stable_sort(chosen.begin(), chosen.end(),
                         [&](const placed_candidate& a, const placed_candidate& b) { return better(a.score, b.score); });
        chosen.resize(finalists);
    }
    refine_candidates(chosen, fine, how);
    std::size_t best = 0;
    for (std::size_t i = 1; i < chosen.size(); ++i)
        if (better(chosen[i].score, chosen[best].score)) best = i;
    return chosen[best].s;
}

}  // namespace zelt
