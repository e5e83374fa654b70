#pragma once
// Generational evolutionary search with elitist truncation selection over a
// population of solution records. The engine is a loop over ten replaceable
// operations; run_evolution() plugs in the operators of a molecular-
// replacement search (random individual, breeding, linear selection schedule,
// parallel scoring) for the search loops.
#include <array>
#include <functional>
#include <iosfwd>
#include <optional>
#include <vector>

#include "crystal/geometry.hpp"
#include "search/random.hpp"
#include "model/solution.hpp"

namespace zelt {

using population_list = std::vector<solution>;
using score_list = std::vector<double>;
using order_list = std::vector<int>;

// A generation's progress callback: (generations completed, population, scores).
using progress_function = std::function<void(int, const population_list&, const score_list&)>;
using objective_function = std::function<double(const solution&)>;
// Sets, in place, the genes of an individual that the engine does not search
// itself (the translation found by the fast translation function), just
// before the individual is scored. Called concurrently, each call on its own
// individual only; it must depend on nothing but that individual, so that
// the search stays reproducible whatever the thread count. Returns the
// objective's value at the placement when finding it took that value already
// (rescored peaks), so that it is not computed twice; nothing otherwise.
using placement_function = std::function<std::optional<double>(solution&)>;

class evolution_engine {
public:
    // Fill one solution with a random individual. Must be set.
    std::function<void(solution&)> generate;
    // (child position, population, order, parent count): make the individual at
    // the child position from parents among order[0 .. parent count - 1]. Must be set.
    std::function<void(int, population_list&, const order_list&, int)> breed;
    // Score of one individual; called concurrently by the parallel evaluation. Must be set.
    objective_function objective;
    // (index, scores) -> fitness, lower is better. Default: scores[index].
    std::function<double(int, const score_list&)> fitness;
    // Called after every generation. Default: nothing.
    progress_function progress;
    // Selection rate after generation g (the fraction of parents kept for
    // generation g + 1). Default: 0.5. Values outside [0, 1] are clamped.
    std::function<double(int)> selection_rate;
    // (generation, scores) -> stop. Default: generation == 100.
    std::function<bool(int, const score_list&)> termination;
    // (population, order, parent count): with no parents every individual is
    // generated anew, otherwise order[c .. N-1] are bred. Default: that step.
    std::function<void(population_list&, const order_list&, int)> reproduce;
    // Completes a new individual before it is scored. Default: empty (nothing).
    placement_function place;
    // (population, scores, order, parent count): place(population[order[j]])
    // when set, then scores[order[j]] = objective(population[order[j]]) unless
    // the placement returned that score, for j in [c, N). Default: serial.
    std::function<void(population_list&, score_list&, const order_list&, int)> evaluate;
    // (scores, fitness): fitness[i] = fitness(i, scores). Default: that loop.
    std::function<void(const score_list&, score_list&)> fitness_of_all;

    evolution_engine();
    // The default slots refer to this engine, so it stays where it was built.
    evolution_engine(const evolution_engine&) = delete;
    evolution_engine& operator=(const evolution_engine&) = delete;

    // Replaces the evaluate slot by a tbb::parallel_for over [c, N) (inline
    // when only one individual is new).
    void use_parallel_evaluation();

    // Runs the loop with N = population_size individuals and returns a copy of
    // the best individual of the final generation. Survivors keep their
    // scores and are never re-scored; from the second generation on at least
    // one parent is always kept. Throws std::invalid_argument when N < 1 or a
    // required slot is empty.
    solution evolve(int population_size);

    // Parent count for N individuals at selection rate r: N * r rounded half
    // away from zero, with r clamped into [0, 1] (a NaN rate counts as 0).
    static int parent_count(int population_size, double rate);

private:
    double place_and_score(solution& x) const;
};

// What the search loops hand to one evolutionary search.
// For the second and later copies (copy_counter > 0) the cell is fixed: hand
// over cell_base = that cell and cell_count = 1, so the cell swap keeps it.
struct evolution_settings {
    int placements = 1;               // placements per candidate
    bool search_model = false;        // optimize.model
    bool search_orientation = true;   // optimize.orientation
    bool search_position = true;      // optimize.position
    int model_base = 0, model_count = 1;
    int cell_base = 0, cell_count = 1;
    int copy_counter = 0;             // 0 while the first copy is searched
    std::vector<fractional> start_positions;  // centre per model index
    std::array<bool, 3> fixed_axes{false, false, false};
    double interpolation_rate = 0.0, crossover_rate = 0.0;
    double rotation_rate = 0.0, rotation_size = 0.0;
    double translation_rate = 0.0, translation_size = 0.0;
    double modelswap_rate = 0.0, cellswap_rate = 0.0;
    bool babinet = true;              // optimize.babinet: false keeps the solvent term off (k = 0)
    double babinet_rate = 0.0;
    double babinet_k_size = 0.0, babinet_k_min = 0.0, babinet_k_max = 0.0;
    double babinet_b_size = 0.0, babinet_b_min = 0.0, babinet_b_max = 0.0;
    double selection_start = 0.4, selection_end = 0.01;
    int generations = 50;
    double score_sign = -1.0;         // -1 when the goal is "maximum", +1 otherwise
};

// The operators below hold `rng` by reference (it must outlive them) and a
// copy of the settings; they run on the thread that calls evolve().
//
// The random-individual generator (generate slot). Draws, per placement: the
// model (when searched), the rotation u1, u2, u3 (when searched), then x, y, z
// (when searched); then the cell (first copy, more than one cell). k = 0.8
// (0 with the solvent term off), B = 200. A translation that is not searched is the start position of the
// placement's model; a fixed axis of the first placement takes the start
// position of the first placement's model.
std::function<void(solution&)> make_generator(random_source& rng, const evolution_settings& s);

// The breeding operator (breed slot): two parents, then per placement
// interpolation or crossover, rotation mutation, translation mutation (never
// on a fixed axis of the first placement), reduction into [0, 1), model swap;
// then cell swap and the two Babinet mutations (drawn, but not applied, with
// the solvent term off).
std::function<void(int, population_list&, const order_list&, int)> make_breeder(
    random_source& rng, const evolution_settings& s);

// Linear schedule r(g) = start + (end - start) * g / G.
std::function<double(int)> make_selection_schedule(double start, double end, int generations);

// The "generations" progress report: one line per generation,
// "Generation %2d: Best score = ..., Ave. score = ..., Std. dev. = ..." in
// fixed notation with 3 decimals (left in force on the stream).
progress_function make_generation_report(std::ostream& out, bool goal_is_maximum);

// One evolutionary search with the operators above, fitness = score *
// score_sign, termination after s.generations generations (a single
// generation when that is 0 or less) and parallel evaluation. `progress` may
// be empty; so may `place` (the engine's place slot). Returns the best
// solution of the last generation.
solution run_evolution(random_source& rng, const evolution_settings& s, objective_function objective,
                       progress_function progress, int population_size, placement_function place = {});

// Draws exactly the deviates run_evolution draws with the same settings and
// population, scoring nothing: how many deviates a search draws depends only
// on the settings and on the deviates themselves (breeding draws a fixed
// sequence whatever parents the scores select; the polar method rejects on
// its own deviates), so this leaves the stream where the search would.
void skip_evolution_draws(random_source& rng, const evolution_settings& s, int population_size);

}  // namespace zelt
