#include "score/scorer.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

namespace zelt {

scorer_data::scorer_data(const reflection_set& reflections_in, const std::vector<unit_cell>& cells,
                         const std::vector<int>& codes, const transform_store& transforms)
    : reflections(reflections_in), model_{&cells, &codes, &transforms} {
    const std::size_t n = reflections_in.size();
    observed.resize(n);
    weights.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const reflection& r = reflections_in[i];
        // A zero sigma turns into an infinite weight under sigma weighting;
        // one such value would make every correlation undefined.
        if (!(std::isfinite(r.sigma) && r.sigma > 0.0f))
            throw std::runtime_error("reflection " + std::to_string(i + 1) +
                                     " has a scoring weight that is not a finite positive number");
        observed[i] = r.f;
        weights[i] = r.sigma;
    }
}

double scorer_data::r_factor_of(const std::vector<complex_f>& fc) const {
    // Two passes over the list, the amplitude recomputed in the second (the
    // same float operations, so the same value), so that the R-factor
    // objective allocates nothing per candidate.
    const std::size_t n = observed.size();
    auto amplitude = [&fc](std::size_t i) {
        const float re = fc[i].real(), im = fc[i].imag();
        return std::sqrt(re * re + im * im);
    };
    double sum_fo = 0.0, sum_fc = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sum_fo += observed[i];
        sum_fc += amplitude(i);
    }
    // Without any calculated amplitude there is nothing to scale: R is then
    // the weighted sum of Fo over itself (1), not 0/0.
    const double scale = sum_fc > 0.0 ? sum_fo / sum_fc : 0.0;
    double num = 0.0, den = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double fo = observed[i], w = weights[i];
        num += w * std::fabs(fo - scale * static_cast<double>(amplitude(i)));
        den += w * fo;
    }
    return num / den;
}

double scorer_data::correlation(const solution& s) const {
    std::vector<complex_f> fc;
    calculate_fc_parallel(reflections, model_, s, fc);
    return correlation_of<pearson<float, double>>(fc);
}

double scorer_data::r_factor(const solution& s) const {
    std::vector<complex_f> fc;
    calculate_fc_parallel(reflections, model_, s, fc);
    return r_factor_of(fc);
}

}  // namespace zelt
