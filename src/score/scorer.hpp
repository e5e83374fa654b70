#pragma once
// Scores of a candidate: weighted correlation of observed and calculated
// amplitudes, and the crystallographic R-factor.
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "score/pearson.hpp"
#include "model/solution.hpp"
#include "transform/structure_factors.hpp"

namespace zelt {

// Read-only data of a search: the reflections as contiguous float arrays and
// references to the cells, their permutation codes and the model transforms
// (which must outlive this object and stay unchanged while it is used).
class scorer_data {
public:
    // Takes amplitude, weight (the sigma slot), static contribution, s^2 and
    // indices of every record. Throws std::runtime_error when a weight is not
    // finite and positive (such reflections must be left out beforehand).
    scorer_data(const reflection_set& reflections, const std::vector<unit_cell>& cells,
                const std::vector<int>& codes, const transform_store& transforms);

    std::size_t size() const { return observed.size(); }
    const fc_model& model() const { return model_; }

    // Statistics of a list of calculated structure factors (one per reflection).
    template <class Acc = pearson<float, double>>
    double correlation_of(const std::vector<complex_f>& fc) const;
    double r_factor_of(const std::vector<complex_f>& fc) const;

    // Scores with the parallel, always trilinear calculation: the simplex
    // objective and the reported scores.
    double correlation(const solution& s) const;
    double r_factor(const solution& s) const;

    fc_reflections reflections;
    std::vector<float> observed;   // amplitudes
    std::vector<float> weights;

private:
    fc_model model_;
};

// Objective of the evolutionary search, evaluated concurrently from many
// threads: each call computes the candidate's structure factors serially on
// its own thread. Interpolate: 1 trilinear lookup, 0 nearest table point.
// RFactor: 0 returns the correlation (Acc), 1 the R-factor (lower is better).
template <class Acc, int Interpolate, int RFactor>
class scorer {
public:
    explicit scorer(std::shared_ptr<const scorer_data> data) : data_(std::move(data)) {}

    // Allocates nothing in steady state: the calculated values go to a list
    // owned by the calling thread and reused from candidate to candidate
    // (nothing run between filling and reading it can start another task on
    // this thread).
    double operator()(const solution& s) const {
        thread_local std::vector<complex_f> fc;
        calculate_fc(data_->reflections, data_->model(), s,
                     Interpolate ? lookup_mode::trilinear : lookup_mode::nearest, fc);
        if constexpr (RFactor != 0)
            return data_->r_factor_of(fc);
        else
            return data_->template correlation_of<Acc>(fc);
    }

    const scorer_data& data() const { return *data_; }

private:
    std::shared_ptr<const scorer_data> data_;
};

template <class Acc>
double scorer_data::correlation_of(const std::vector<complex_f>& fc) const {
    Acc acc;
    const std::size_t n = observed.size();
    for (std::size_t i = 0; i < n; ++i) {
        const float re = fc[i].real(), im = fc[i].imag();
        acc.add(observed[i], std::sqrt(re * re + im * im), weights[i]);
    }
    return static_cast<double>(acc.result());
}

}  // namespace zelt
