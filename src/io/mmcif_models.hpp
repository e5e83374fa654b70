#pragma once
// Search models from mmCIF/PDBx coordinate files, read with gemmi. Each atom
// becomes an `atom` with a PDB-format line built from its fields, so the
// element rule, the C-alpha test and the coordinate writer treat it as they
// treat an atom from a PDB file.
#include <string>
#include <string_view>

#include "model/atom.hpp"

namespace zelt {

struct mmcif_model {
    model atoms;                  // every model of the file, members tagged in order
    bool predicted_header = false;  // the file declares a computed (predicted) model
};

// The atoms of the mmCIF text `bytes` (NAME for messages). A file gemmi
// cannot read fails with io_error "NAME: not a readable mmCIF coordinate file (...)".
mmcif_model read_mmcif_model(std::string_view bytes, const std::string& name);

// The PDB-format line of one atom: record name, serial, atom name aligned
// as in PDB files, alternate location, residue, chain, sequence number,
// insertion code, coordinates, occupancy, B and the element symbol in
// columns 77-78.
std::string pdb_atom_line(bool hetero, int serial, const std::string& atom_name,
                          const std::string& element, char altloc, const std::string& residue,
                          const std::string& chain, int seq_num, char icode, double x, double y,
                          double z, double occupancy, double b);

}  // namespace zelt
