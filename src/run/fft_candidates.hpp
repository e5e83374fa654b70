#pragma once
// The candidates of one attempt of the fft translation search: every placed
// orientation with its score, whether evolved or scanned, and the best of
// them that are distinct placements, to be refined one by one.
#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"
#include "score/scorer.hpp"
#include "search/evolution.hpp"
#include "search/simplex.hpp"
#include "model/solution.hpp"

namespace zelt {

struct placed_candidate {
    solution s;
    double score = 0.0;
};

// Collects candidates from concurrent placements. The order they arrive in
// depends on the threads; best_first() does not.
class candidate_archive {
public:
    void add(const solution& s, double score);
    // Every candidate, best first (higher scores first when `goal_maximum`),
    // ties broken by the candidate's own numbers so that the order is the
    // same whatever the threads did. NaN scores go last.
    std::vector<placed_candidate> best_first(bool goal_maximum) const;
    std::size_t size() const;

private:
    mutable std::mutex lock_;
    std::vector<placed_candidate> all_;
};

// A placement that also records every placed candidate with its score
// (computing the score by `objective` when the placement did not).
placement_function archived_placement(placement_function place, objective_function objective,
                                      std::shared_ptr<candidate_archive> archive);

// Places one candidate per orientation of `grid` (placement 0 of `like`
// turned to it, everything else as in `like`) by `place`, in parallel, and
// adds each to `archive`.
void scan_orientations(const std::vector<quaternion>& grid, const solution& like,
                       const placement_function& place, const objective_function& objective,
                       candidate_archive& archive);

// The first `count` candidates of `sorted` (best first) that are distinct
// placements: each differs from every one taken before by more than
// `tolerance` A RMSD of its C-alpha atoms up to symmetry (and origin choice
// unless `origin_fixed`).
std::vector<placed_candidate> distinct_candidates(const std::vector<placed_candidate>& sorted, int count,
                                                  const model_list& models, const std::vector<unit_cell>& cells,
                                                  double tolerance, bool origin_fixed);

// How the candidates of an attempt are refined: the simplex's moves, step,
// tolerance and solvent bounds, and the objective.
struct candidate_refinement {
    bool r_factor_target = false;   // the R-factor minimised, else the correlation maximised
    bool goal_maximum = true;       // higher scores are better
    bool orientation = true, position = true;
    double size = 0.05, tolerance = 1e-6;
    babinet_limits babinet;
};

// Refines every candidate by the simplex against `data`, in parallel; each
// candidate's score becomes its refined score.
void refine_candidates(std::vector<placed_candidate>& chosen, const scorer_data& data,
                       const candidate_refinement& how);

// The attempt's solution from its distinct candidates (not empty), best
// first: when `coarse` is not `fine` and more than `finalists` candidates
// are there, all are refined against `coarse` first and the best `finalists`
// kept; those are refined against `fine`, and the best of them is returned.
solution best_refined(std::vector<placed_candidate> chosen, const scorer_data& coarse, const scorer_data& fine,
                      std::size_t finalists, const candidate_refinement& how);

// The point group of a cell as Cartesian rotations (one per distinct
// rotation part of its operators, identity included).
std::vector<mat3> cartesian_point_group(const unit_cell& cell);

}  // namespace zelt
