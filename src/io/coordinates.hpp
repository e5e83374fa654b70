#pragma once
// PDB coordinate files, model-list files and standard input as model sources.
#include <istream>
#include <string>

#include "io/atom.hpp"

namespace zelt {

// The ATOM/HETATM records of the stream, in order, to its end. Records
// shorter than 53 characters are skipped; occupancy is 1 below 59
// characters, B is 0 below 65. Number fields use field_to_double rules
// ("invalid stod argument", "stod argument out of range"). A non-finite
// coordinate, occupancy or B-factor is refused with a runtime_error naming
// SOURCE and the line number.
model read_atoms(std::istream& in, const std::string& source = "standard input");

// One model from the file NAME; io_error "unable to open the file NAME".
model load_model_file(const std::string& name);

// Appends the models of `source` to `list`: "@file" is a list file whose
// blank-separated words are sources in their own right, "-" or "" is
// standard input, anything else one coordinate file. A list file that names
// itself, directly or through other list files, is refused with a
// runtime_error.
void load_models(const std::string& source, model_list& list);

}  // namespace zelt
