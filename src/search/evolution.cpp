#include "search/evolution.hpp"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <stdexcept>

#include "search/solution_ops.hpp"

namespace zelt {

evolution_engine::evolution_engine() {
    fitness = [](int i, const score_list& scores) { return scores[i]; };
    progress = [](int, const population_list&, const score_list&) {};
    selection_rate = [](int) { return 0.5; };
    termination = [](int g, const score_list&) { return g == 100; };
    reproduce = [this](population_list& population, const order_list& order, int c) {
        const int n = static_cast<int>(population.size());
        if (c == 0) {
            for (int i = 0; i < n; ++i) generate(population[i]);
            return;
        }
        for (int j = c; j < n; ++j) breed(order[j], population, order, c);
    };
    evaluate = [this](population_list& population, score_list& scores, const order_list& order, int c) {
        const int n = static_cast<int>(population.size());
        for (int j = c; j < n; ++j) scores[order[j]] = place_and_score(population[order[j]]);
    };
    fitness_of_all = [this](const score_list& scores, score_list& fit) {
        for (std::size_t i = 0; i < scores.size(); ++i) fit[i] = fitness(static_cast<int>(i), scores);
    };
}

void evolution_engine::use_parallel_evaluation() {
    evaluate = [this](population_list& population, score_list& scores, const order_list& order, int c) {
        const int n = static_cast<int>(population.size());
        if (n - c <= 0) return;
        if (n - c == 1) {
            scores[order[c]] = place_and_score(population[order[c]]);
            return;
        }
        // Each task touches only its own individual and its own score.
        tbb::parallel_for(c, n, [&](int j) { scores[order[j]] = place_and_score(population[order[j]]); });
    };
}

double evolution_engine::place_and_score(solution& x) const {
    if (place)
        if (const std::optional<double> known = place(x)) return *known;
    return objective(x);
}

int evolution_engine::parent_count(int population_size, double rate) {
    if (!(rate >= 0.0)) rate = 0.0;  // also NaN
    if (rate > 1.0) rate = 1.0;
    const long c = std::lround(population_size * rate);
    return static_cast<int>(std::clamp<long>(c, 0, population_size));
}

solution evolution_engine::evolve(int population_size) {
    if (population_size < 1)
        throw std::invalid_argument("the population must hold at least one individual");
    if (!generate || !breed || !objective)
        throw std::invalid_argument("the evolutionary search has no generator, breeder or objective");
    const int n = population_size;
    population_list population(n);
    score_list scores(n, 0.0);
    score_list fit(n, 0.0);
    order_list order(n);
    for (int i = 0; i < n; ++i) order[i] = i;
    int c = 0;
    int g = 0;
    for (;;) {
        reproduce(population, order, c);
        evaluate(population, scores, order, c);
        fitness_of_all(scores, fit);
        // Ascending fitness, stable: a surviving parent stays ahead of a new
        // child of equal fitness. An undefined fitness sorts after all others.
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const double fa = fit[a], fb = fit[b];
            if (std::isnan(fb)) return !std::isnan(fa);
            return fa < fb;
        });
        ++g;
        if (progress) progress(g, population, scores);
        // At least one parent survives into every later generation, so the
        // best individual found so far is never thrown away.
        c = std::max(1, parent_count(n, selection_rate(g)));
        if (termination(g, scores)) return population[order[0]];
    }
}

namespace {

// Great-arc step from q towards the rotation r by the fraction s. q and -q
// are the same rotation, so the step takes the shorter of the two arcs: r's
// sign is flipped when it points away from q. q stays when the two are the
// same rotation.
void arc_step(quaternion& q, const quaternion& r, double s) {
    double d = q[0] * r[0] + q[1] * r[1] + q[2] * r[2] + q[3] * r[3];
    const double sign = d < 0.0 ? -1.0 : 1.0;
    d *= sign;
    if (!(d < 1.0)) return;
    const double theta = std::acos(d);
    const double st = std::sin(theta);
    if (st == 0.0) return;
    const double a = std::sin((1.0 - s) * theta);
    const double b = std::sin(s * theta) * sign;
    for (int i = 0; i < 4; ++i) q[i] = (a * q[i] + b * r[i]) / st;
}

// a * t + (1 - a) * t2 along the shorter path on the torus of fractional
// translations: 0.02 and 0.98 blend to a point near 0, not near 0.5.
void torus_blend(fractional& t, const fractional& t2, double a) {
    for (int k = 0; k < 3; ++k) {
        const double d = t2[k] - t[k];
        t[k] += (1.0 - a) * (d - std::nearbyint(d));
    }
}

// |((v - lo) + step) mod (hi - lo)| + lo: wraps at the upper bound, mirrors
// at the lower one. An empty range pins the value to its bound.
float babinet_step(float value, double step, double lo, double hi) {
    const double range = hi - lo;
    if (range == 0.0) return static_cast<float>(lo);
    return static_cast<float>(std::fabs(std::fmod((value - lo) + step, range)) + lo);
}

const fractional& start_for(const evolution_settings& s, int model) {
    if (model < 0 || static_cast<std::size_t>(model) >= s.start_positions.size())
        throw std::out_of_range("model index " + std::to_string(model) + " has no start position");
    return s.start_positions[model];
}

}  // namespace

std::function<void(solution&)> make_generator(random_source& rng, const evolution_settings& settings) {
    return [&rng, s = settings](solution& x) {
        x.placements.assign(s.placements, copy_placement{});
        for (int i = 0; i < s.placements; ++i) {
            copy_placement& c = x.placements[i];
            c.model = s.search_model ? rng.random_integer(s.model_base, s.model_count)
                                     : s.model_base + i % std::max(1, s.model_count);
            c.reported_model = c.model;
            if (s.search_orientation) c.orientation = rng.random_rotation();
            if (s.search_position) {
                for (int a = 0; a < 3; ++a) c.translation[a] = rng.uniform();
            } else {
                c.translation = start_for(s, c.model);
            }
        }
        if (!x.placements.empty() && (s.fixed_axes[0] || s.fixed_axes[1] || s.fixed_axes[2])) {
            copy_placement& first = x.placements.front();
            const fractional& start = start_for(s, first.model);
            for (int a = 0; a < 3; ++a)
                if (s.fixed_axes[a]) first.translation[a] = start[a];
        }
        x.cell = s.cell_base;
        if (s.copy_counter == 0 && s.cell_count > 1) x.cell = rng.random_integer(s.cell_base, s.cell_count);
        x.k = s.babinet ? 0.8f : 0.0f;
        x.b = 200.0f;
    };
}

std::function<void(int, population_list&, const order_list&, int)> make_breeder(
    random_source& rng, const evolution_settings& settings) {
    return [&rng, s = settings](int child, population_list& population, const order_list& order, int c) {
        const int p1 = order[static_cast<int>(c * rng.uniform())];
        const int p2 = order[static_cast<int>(c * rng.uniform())];
        solution& x = population[child];
        x = population[p1];
        const solution& other = population[p2];
        for (std::size_t i = 0; i < x.placements.size(); ++i) {
            copy_placement& pl = x.placements[i];
            const copy_placement& pl2 = other.placements[i];
            quaternion& q = pl.orientation;
            fractional& t = pl.translation;
            if (rng.uniform() < s.interpolation_rate) {
                const double f = rng.uniform();
                arc_step(q, pl2.orientation, f);
                torus_blend(t, pl2.translation, rng.uniform());
            } else if (rng.uniform() < s.crossover_rate) {
                if (rng.uniform() < 0.5) q = pl2.orientation;
                else t = pl2.translation;
            }
            if (rng.uniform() < s.rotation_rate) {
                const double step = std::fmod(std::fabs(s.rotation_size * rng.normal()), 1.0);
                const quaternion r = rng.random_rotation();
                arc_step(q, r, step);
            }
            for (int k = 0; k < 3; ++k) {
                if (i == 0 && s.fixed_axes[k]) continue;
                if (rng.uniform() < s.translation_rate) t[k] += s.translation_size * rng.normal();
            }
            for (double& v : t) v = wrap_unit(v);
            if (rng.uniform() < s.modelswap_rate) {
                pl.model = rng.random_integer(s.model_base, s.model_count);
                pl.reported_model = pl.model;
            }
        }
        if (rng.uniform() < s.cellswap_rate) x.cell = rng.random_integer(s.cell_base, s.cell_count);
        // The draws are the same with the solvent term off, so that the rest
        // of the search draws the same numbers.
        if (rng.uniform() < s.babinet_rate) {
            const double step = s.babinet_k_size * rng.normal();
            if (s.babinet) x.k = babinet_step(x.k, step, s.babinet_k_min, s.babinet_k_max);
        }
        if (rng.uniform() < s.babinet_rate) {
            const double step = s.babinet_b_size * rng.normal();
            if (s.babinet) x.b = babinet_step(x.b, step, s.babinet_b_min, s.babinet_b_max);
        }
    };
}

std::function<double(int)> make_selection_schedule(double start, double end, int generations) {
    return [=](int g) { return start + (end - start) * g / generations; };
}

progress_function make_generation_report(std::ostream& out, bool goal_is_maximum) {
    return [&out, goal_is_maximum](int g, const population_list&, const score_list& scores) {
        double best = scores.empty() ? 0.0 : scores.front();
        double mean = 0.0, m2 = 0.0;
        long n = 0;
        for (double x : scores) {
            if (goal_is_maximum ? x > best : x < best) best = x;
            ++n;
            const double old_mean = mean;
            mean += (x - mean) / n;
            m2 += (x - mean) * (x - old_mean);
        }
        const double sd = n > 0 ? std::sqrt(m2 / n) : 0.0;
        out << std::fixed << std::showpoint << std::setprecision(3);
        out << "Generation " << std::setw(2) << g << ": Best score = " << best
            << ", Ave. score = " << mean << ", Std. dev. = " << sd << '\n';
        out.flush();
    };
}

solution run_evolution(random_source& rng, const evolution_settings& s, objective_function objective,
                       progress_function progress, int population_size, placement_function place) {
    evolution_engine engine;
    engine.place = std::move(place);
    engine.generate = make_generator(rng, s);
    engine.breed = make_breeder(rng, s);
    engine.objective = std::move(objective);
    const double sign = s.score_sign;
    engine.fitness = [sign](int i, const score_list& scores) { return scores[i] * sign; };
    if (progress) engine.progress = std::move(progress);
    engine.selection_rate = make_selection_schedule(s.selection_start, s.selection_end, s.generations);
    const int limit = s.generations;
    engine.termination = [limit](int g, const score_list&) { return g >= limit; };
    engine.use_parallel_evaluation();
    return engine.evolve(population_size);
}

void skip_evolution_draws(random_source& rng, const evolution_settings& s, int population_size) {
    run_evolution(rng, s, [](const solution&) { return 0.0; }, {}, population_size);
}

}  // namespace zelt
