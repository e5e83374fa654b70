#include "search/simplex.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "search/solution_ops.hpp"

namespace zelt {

namespace {

constexpr int max_passes = 1000;
constexpr double tiny = 2.2250738585072014e-308;

using vertex = std::vector<double>;

void compute_psum(const std::vector<vertex>& p, vertex& psum) {
    for (std::size_t j = 0; j < psum.size(); ++j) {
        double sum = 0.0;
        for (const vertex& v : p) sum += v[j];
        psum[j] = sum;
    }
}

// The lowest, highest and next-highest vertices by value; among equal
// lowest values the last vertex is the best. With a single parameter there
// are only two vertices.
struct ranking {
    std::size_t best = 0, worst = 0, second = 0;
};

ranking rank(const std::vector<double>& y) {
    ranking r;
    if (y[0] > y[1]) {
        r.worst = 0;
        r.second = 1;
    } else {
        r.worst = 1;
        r.second = 0;
    }
    for (std::size_t j = 0; j < y.size(); ++j) {
        if (y[j] <= y[r.best]) r.best = j;
        if (y[j] > y[r.worst]) {
            r.second = r.worst;
            r.worst = j;
        } else if (y[j] > y[r.second] && j != r.worst) {
            r.second = j;
        }
    }
    return r;
}

// Every vertex but the best moved halfway towards it, and valued again.
template <class Value>
void shrink(std::vector<vertex>& p, std::vector<double>& y, std::size_t best, Value& value) {
    for (std::size_t j = 0; j < p.size(); ++j) {
        if (j == best) continue;
        for (std::size_t k = 0; k < p[j].size(); ++k) p[j][k] = 0.5 * (p[j][k] + p[best][k]);
        y[j] = value(p[j]);
    }
}

}  // namespace

simplex_outcome simplex_minimise(const std::vector<double>& start,
                                 const std::function<double(const std::vector<double>&)>& f,
                                 double step, double tolerance) {
    const std::size_t n = start.size();
    if (n == 0) throw std::invalid_argument("the simplex needs at least one parameter");
    simplex_outcome out;
    auto value = [&](const vertex& v) {
        ++out.evaluations;
        return f(v);
    };

    std::vector<vertex> p(n + 1, start);
    for (std::size_t j = 1; j <= n; ++j) p[j][j - 1] += step;
    std::vector<double> y(n + 1);
    for (std::size_t j = 0; j <= n; ++j) y[j] = value(p[j]);
    vertex psum(n, 0.0);
    compute_psum(p, psum);

    std::size_t worst = 0;
    // Moves the worst vertex through the centroid of the others, stretched
    // by `factor` (-1 reflects, 2 expands, 0.5 contracts); the trial point
    // replaces the worst vertex when it is lower. Returns the trial value.
    auto trial = [&](double factor) {
        const double a = (1.0 - factor) / static_cast<double>(n);
        const double b = a - factor;
        vertex t(n);
        for (std::size_t j = 0; j < n; ++j) t[j] = psum[j] * a - p[worst][j] * b;
        const double yt = value(t);
        if (yt < y[worst]) {
            for (std::size_t j = 0; j < n; ++j) psum[j] += t[j] - p[worst][j];
            p[worst] = std::move(t);
            y[worst] = yt;
        }
        return yt;
    };

    std::size_t best = 0;
    for (;;) {
        const ranking r = rank(y);
        best = r.best;
        worst = r.worst;
        const double rtol = 2.0 * std::fabs(y[worst] - y[best]) / (std::fabs(y[best]) + std::fabs(y[worst]) + tiny);
        if (rtol < tolerance || out.passes >= max_passes) break;

        const double ys = y[worst];
        const double yt = trial(-1.0);
        if (yt <= y[best]) {
            trial(2.0);
        } else if (yt >= y[r.second] && trial(0.5) >= ys) {
            shrink(p, y, best, value);
            compute_psum(p, psum);
        }
        ++out.passes;
    }
    out.best = p[best];
    out.value = y[best];
    return out;
}

void refine_simplex(solution& s, const std::function<double(const solution&)>& value_to_minimise,
                    bool orientation, bool position, double step, double tolerance,
                    const babinet_limits& babinet) {
    if (!babinet.refine) s.k = 0.0f;
    const solution base = s;
    std::vector<double> start = to_parameters(s, orientation, position);
    if (!babinet.refine) start.resize(start.size() - 2);
    if (start.empty()) return;
    // The full parameter vector of a vertex, Babinet values included.
    auto full = [&](const std::vector<double>& v) {
        if (babinet.refine) return v;
        std::vector<double> w = v;
        w.push_back(0.0);
        w.push_back(base.b * 0.0001);
        return w;
    };
    auto bound = [&](solution& x) {
        if (!babinet.refine) return;
        x.k = static_cast<float>(std::clamp(static_cast<double>(x.k), babinet.k_min, babinet.k_max));
        x.b = static_cast<float>(std::clamp(static_cast<double>(x.b), babinet.b_min, babinet.b_max));
    };
    const simplex_outcome r = simplex_minimise(
        start,
        [&](const std::vector<double>& v) {
            solution x = from_parameters(base, full(v), orientation, position);
            bound(x);
            return value_to_minimise(x);
        },
        step, tolerance);
    write_back_parameters(s, full(r.best), orientation, position);
    bound(s);
}

}  // namespace zelt
