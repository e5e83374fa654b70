#pragma once
// The folder the output files go to, checked before a long search.
#include "settings/parameters.hpp"

namespace zelt {

// When the run writes files (output.prefix other than "-", output.level other
// than "none"), fails with io_error "the output folder DIR does not exist"
// or "the output folder DIR cannot be written" (and the prefix) unless a file
// can be created beside the prefix; the trial file is removed at once.
void check_output_folder(const parameter_store& p);

}  // namespace zelt
