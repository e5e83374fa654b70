#pragma once
// Writes placed models as PDB coordinate files.
#include <iosfwd>
#include <string>

#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"

namespace zelt {

// Writes the title line with the scores, the CRYST1 line of `cell`, one record
// per atom of every list (placed in `cell`) and
// the END line. Each record keeps the text it was read from; only the chain
// identifier (reassigned to A, B, ... per list when `reassign_chains` is set)
// and the coordinates are replaced. An empty `file_name` writes to std::cout.
// A named file is written under a temporary name in the same folder and
// renamed when complete; throws io_error "unable to write the file NAME" when
// it cannot be created, written or renamed, leaving no partial file behind.
void write_coordinates(const placed_model_list& lists, const unit_cell& cell, double score, double r,
                       int clashes, const std::string& file_name, bool reassign_chains);

// The same records on an open stream; leaves it in fixed notation with a
// forced decimal point.
void write_coordinates(std::ostream& out, const placed_model_list& lists, const unit_cell& cell,
                       double score, double r, int clashes, bool reassign_chains);

// Name of the file of attempt `attempt` (counted from 1): the prefix, then the
// cell, model and copy numbers (indices counted from 0, written from 1) of
// those that are searched one at a time among several, then the attempt and
// ".pdb", all separated by dots. A prefix of "-" gives the empty name
// (standard output).
std::string attempt_file_name(const std::string& prefix, int cell, int model, int copy,
                              int attempt, bool number_cell, bool number_model, bool number_copy);

// Name of the file of the overall best solution: prefix + ".best.pdb", or the
// empty name for the prefix "-".
std::string best_file_name(const std::string& prefix);

}  // namespace zelt
