#include "search/simplex.hpp"

#include <cmath>
#include <cstddef>
#include <vector>

#include "search/solution_ops.hpp"

namespace zelt {

namespace {

constexpr int max_passes = 1000;
constexpr double tiny = 2.2250738585072014e-308;

using vertex = std::vector<double>;

struct simplex_state {
    std::vector<vertex> p;   // n + 1 vertices
    std::vector<double> y;   // their values
    vertex psum;
};

void compute_psum(simplex_state& st) {
    const std::size_t n = st.psum.size();
    for (std::size_t j = 0; j < n; ++j) {
        double sum = 0.0;
        for (const vertex& v : st.p) sum += v[j];
        st.psum[j] = sum;
    }
}

}  // namespace

void refine_simplex(solution& s, const std::function<double(const solution&)>& value_to_minimise,
                    bool orientation, bool position, double step, double tolerance) {
    const solution base = s;
    const vertex start = to_parameters(s, orientation, position);
    const std::size_t n = start.size();
    auto value = [&](const vertex& v) {
        return value_to_minimise(from_parameters(base, v, orientation, position));
    };

    simplex_state st;
    st.p.assign(n + 1, start);
    for (std::size_t j = 1; j <= n; ++j) st.p[j][j - 1] += step;
    st.y.resize(n + 1);
    for (std::size_t j = 0; j <= n; ++j) st.y[j] = value(st.p[j]);
    st.psum.assign(n, 0.0);
    compute_psum(st);

    std::size_t worst = 0;
    // Replaces the worst vertex by its reflection through the opposite face,
    // stretched by `factor`, when that improves it; returns the trial value.
    auto trial = [&](double factor) {
        const double a = (1.0 - factor) / static_cast<double>(n);
        const double b = a - factor;
        vertex t(n);
        for (std::size_t j = 0; j < n; ++j) t[j] = st.psum[j] * a - st.p[worst][j] * b;
        const double yt = value(t);
        if (yt < st.y[worst]) {
            for (std::size_t j = 0; j < n; ++j) st.psum[j] += t[j] - st.p[worst][j];
            st.p[worst] = t;
            st.y[worst] = yt;
        }
        return yt;
    };

    std::size_t best = 0;
    int passes = 0;
    for (;;) {
        best = 0;
        std::size_t second;
        if (st.y[0] > st.y[1]) {
            worst = 0;
            second = 1;
        } else {
            worst = 1;
            second = 0;
        }
        for (std::size_t j = 0; j <= n; ++j) {
            if (st.y[j] <= st.y[best]) best = j;
            if (st.y[j] > st.y[worst]) {
                second = worst;
                worst = j;
            } else if (st.y[j] > st.y[second] && j != worst) {
                second = j;
            }
        }
        const double rtol = 2.0 * std::fabs(st.y[worst] - st.y[best]) /
                            (std::fabs(st.y[best]) + std::fabs(st.y[worst]) + tiny);
        if (rtol < tolerance || passes >= max_passes) break;

        const double ys = st.y[worst];
        const double yt = trial(-1.0);
        if (yt <= st.y[best]) {
            trial(2.0);
        } else if (yt >= st.y[second]) {
            if (trial(0.5) >= ys) {
                for (std::size_t j = 0; j <= n; ++j) {
                    if (j == best) continue;
                    for (std::size_t k = 0; k < n; ++k) st.p[j][k] = 0.5 * (st.p[j][k] + st.p[best][k]);
                    st.y[j] = value(st.p[j]);
                }
                compute_psum(st);
            }
        }
        ++passes;
    }
    write_back_parameters(s, st.p[best], orientation, position);
}

}  // namespace zelt
