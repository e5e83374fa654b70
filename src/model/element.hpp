#pragma once
// Element of an ATOM/HETATM line for scattering: the element columns 77-78
// when they name an element, else the atom name in columns 13-14, with
// hydrogens of polymer residues told apart from metals. Never fails: what
// it cannot place is carbon.
#include <cstdint>
#include <string>

namespace zelt {

// Atomic number 1..112 for the line.
std::int16_t element_number(const std::string& line);

// Symbol lookup of the pair (c1, c2): strict mode (element columns) gives
// -1 for an unrecognised pair, lenient mode (atom name) falls back on single
// letters. 0 stands for an unknown element ("X").
int element_symbol_lookup(char c1, char c2, bool strict);

// True when the residue name of the line (from column 18, blanks skipped)
// is that of an amino acid, nucleotide, modified residue or end group.
bool is_polymer_residue(const std::string& line);

}  // namespace zelt
