#pragma once
// PDB coordinate files, model-list files and standard input as model sources.
#include <istream>
#include <string>

#include "model/atom.hpp"

namespace zelt {

// The ATOM/HETATM records of the stream, in order, to its end. Records
// shorter than 53 characters are skipped; occupancy is 1 below 59
// characters, B is 0 below 65. Number fields use field_to_double rules
// ("invalid stod argument", "stod argument out of range"). A non-finite
// coordinate, occupancy or B-factor is refused with a runtime_error naming
// SOURCE and the line number. Atoms after the n-th MODEL record (from 0) are
// tagged as ensemble member n.
model read_atoms(std::istream& in, const std::string& source = "standard input");

// One model as loaded, with what its file says about it.
struct loaded_model {
    model atoms;
    std::string name;               // the file, or "standard input"
    bool predicted_header = false;  // the header names a structure predictor
};

// One model from the file NAME, recognised by its content: PDB text, mmCIF,
// either of them gzip-compressed. io_error "unable to open the file NAME".
// A reflection file or unknown binary data is refused with a runtime_error.
loaded_model load_coordinate_file(const std::string& name);
model load_model_file(const std::string& name);

// Appends the models of `source` to `list`: "@file" is a list file whose
// blank-separated words are sources in their own right, "-" or "" is
// standard input, anything else one coordinate file. A list file that names
// itself, directly or through other list files, is refused with a
// runtime_error.
void load_models(const std::string& source, model_list& list);
void load_models(const std::string& source, std::vector<loaded_model>& list);

}  // namespace zelt
