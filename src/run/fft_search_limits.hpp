#pragma once
// The limits of the fft search chosen for a run: the translation search's
// resolution and the orientation scan's grid spacing, and their lines in the
// settings report.
#include <string>

#include "search/translation_resolution.hpp"

namespace zelt {

struct run_state;
// Fills the run state's translation resolution and scan spacing from the
// run parameters, the reflections, the models and the fixed structure (fft
// mode only).
void choose_fft_search_limits(run_state& state);

// The settings report's lines on the fft search (translation search, then
// orientation search), each ended by a newline.
std::string fft_settings_text(const run_state& state);

}  // namespace zelt
