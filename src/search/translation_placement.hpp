#pragma once
// The fft translation search's placement of a candidate: the searched copy
// goes to the best of the top peaks of the fast translation function, judged
// by the search's own objective.
#include <array>
#include <memory>

#include "crystal/reflection.hpp"
#include "score/translation_function.hpp"
#include "search/evolution.hpp"

namespace zelt {

// Sets the translation of placement 0 of a candidate (its orientation, model,
// cell and Babinet genes as they are) to the peak of `tf` that scores best by
// `objective` among the `peaks` highest (higher is better when
// `goal_is_maximum`, else lower). Translations along `fixed_axes` stay as
// they are. A candidate whose map has no peak keeps its translation. When
// several peaks were rescored it returns the chosen one's score.
// Thread-safe as far as `objective` is.
placement_function make_translation_placement(std::shared_ptr<const translation_function> tf,
                                              objective_function objective, int peaks,
                                              std::array<bool, 3> fixed_axes, bool goal_is_maximum);

// The reflections of `all` to the resolution limit d_min (d >= d_min, from
// the stored s^2 = 1 / (4 d^2)), in their order.
reflection_set reflections_to(const reflection_set& all, double d_min);

}  // namespace zelt
