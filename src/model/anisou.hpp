#pragma once
// ANISOU records: the anisotropic displacement of an atom, kept with the atom
// as read and turned with it when a copy is placed.
#include <iosfwd>
#include <string>

#include "crystal/geometry.hpp"

namespace zelt {

// True for a line whose record name is ANISOU and that reaches its six
// values (column 70).
bool is_anisou_record(const std::string& line);

// The record with its tensor U (orthogonal Angstrom^2, written as U x 10^4:
// U11 U22 U33 U12 U13 U23 in columns 29-70) turned by the rotation r:
// U' = r U r^T. Values that do not read as numbers leave the record as it is.
std::string rotated_anisou(const std::string& line, const mat3& r);

// Writes the record after the atom record `atom_line`: columns 7-27 from it
// with the chain identifier `chain` (as the atom was written), then the rest
// of `anisou` from column 28.
void write_anisou(std::ostream& out, const std::string& atom_line, char chain, const std::string& anisou);

}  // namespace zelt
