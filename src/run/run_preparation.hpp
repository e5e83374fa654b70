#pragma once
// The preparation of a run: inputs, weights, seed and derivation.
#include <iosfwd>

#include "settings/parameters.hpp"
#include "run/run_state.hpp"

namespace zelt {

// The preparation alone: effective store, inputs, weights, seed, derivation
// and the run summary, reported on `out`. Returns the prepared run state.
run_state prepare_run(const parameter_store& overrides, std::ostream& out);

// Weights of the reflections: 1/sigma^2 with sigma weighting, else 1.
// Reflections whose weight is not a finite positive number are removed;
// returns how many were.
std::size_t set_weights(reflection_set& reflections, bool sigma_weighting);

// Sets each reflection's s^2 from its indices and the cell's coefficients.
void set_s_squared(reflection_set& reflections, const unit_cell& cell);

// Moves each model to its mean atom position and returns those centres.
std::vector<position> centre_models(model_list& models);

// True when an MTZ label reads like calculated amplitudes (FC, FCALC, FC_ALL,
// F-model, Fmodel and the like).
bool looks_calculated(const std::string& label);

// The 64-bit seed drawn from the system's non-deterministic source.
std::uint64_t system_seed();

}  // namespace zelt
