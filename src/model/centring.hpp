#pragma once
// Search models are rotated about their centres: the mean of their atoms.
#include <vector>

#include "crystal/geometry.hpp"
#include "model/atom.hpp"

namespace zelt {

// Moves each model to its mean atom position and returns those centres
// (Cartesian, Angstrom).
std::vector<position> centre_models(model_list& models);

}  // namespace zelt
