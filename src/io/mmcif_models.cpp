#include "io/mmcif_models.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <exception>

#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>

#include "model/element.hpp"
#include "common/errors.hpp"
#include "model/search_model_options.hpp"

namespace zelt {

namespace {

// ModelCIF categories (_ma_...) or a title or software entry naming a
// structure predictor mark a predicted model.
bool declares_prediction(const gemmi::cif::Block& block) {
    for (const gemmi::cif::Item& item : block.items) {
        if (item.type == gemmi::cif::ItemType::Pair && item.pair[0].compare(0, 4, "_ma_") == 0) return true;
        if (item.type == gemmi::cif::ItemType::Loop && !item.loop.tags.empty() &&
            item.loop.tags[0].compare(0, 4, "_ma_") == 0)
            return true;
    }
    for (const char* tag : {"_struct.title", "_software.name", "_struct_keywords.text"}) {
        for (const std::string& value : const_cast<gemmi::cif::Block&>(block).find_values(tag)) {
            if (names_structure_predictor(value)) return true;
        }
    }
    return false;
}

// gemmi keeps occupancy and B in single precision; the shortest decimal
// text of the float is the value as written in the file, read as a double
// the way the PDB reader reads it.
double as_written(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double result = value;
    std::from_chars(text, end, result);
    return result;
}

void append_atoms(const gemmi::Model& m, std::int16_t member, model& out) {
    for (const gemmi::Chain& chain : m.chains)
        for (const gemmi::Residue& res : chain.residues)
            for (const gemmi::Atom& a : res.atoms) {
                atom at;
                at.site = {a.pos.x, a.pos.y, a.pos.z};
                at.occupancy = as_written(a.occ);
                at.b = as_written(a.b_iso);
                at.line = pdb_atom_line(res.het_flag == 'H', a.serial, a.name, a.element.uname(),
                                        a.altloc, res.name, chain.name, res.seqid.num.value,
                                        res.seqid.icode, a.pos.x, a.pos.y, a.pos.z, a.occ, a.b_iso);
                at.element = element_number(at.line);
                at.member = member;
                out.push_back(std::move(at));
            }
}

}  // namespace

std::string pdb_atom_line(bool hetero, int serial, const std::string& atom_name,
                          const std::string& element, char altloc, const std::string& residue,
                          const std::string& chain, int seq_num, char icode, double x, double y,
                          double z, double occupancy, double b) {
    // A name of up to three characters of a one-letter element starts in
    // column 14 (" CA "), as in PDB files; others start in column 13.
    std::string name = atom_name.substr(0, 4);
    if (name.size() < 4 && element.size() < 2) name = " " + name;
    std::string elem = element.substr(0, 2);
    if (elem == "X") elem.clear();
    char buffer[128];
    std::snprintf(buffer, sizeof buffer,
                  "%-6s%5d %-4s%c%3.3s %c%4d%c   %8.3f%8.3f%8.3f%6.2f%6.2f          %2s",
                  hetero ? "HETATM" : "ATOM", serial % 100000, name.c_str(), altloc ? altloc : ' ',
                  residue.c_str(), chain.empty() ? ' ' : chain[0], seq_num % 10000,
                  icode && icode != '?' ? icode : ' ', x, y, z, occupancy, b, elem.c_str());
    return buffer;
}

mmcif_model read_mmcif_model(std::string_view bytes, const std::string& name) {
    try {
        gemmi::cif::Document doc = gemmi::cif::read_memory(bytes.data(), bytes.size(), name.c_str());
        if (doc.blocks.empty()) throw std::runtime_error("no data block");
        mmcif_model result;
        result.predicted_header = declares_prediction(doc.blocks.front());
        const gemmi::Structure st = gemmi::make_structure_from_block(doc.blocks.front());
        for (std::size_t i = 0; i < st.models.size(); ++i)
            append_atoms(st.models[i], static_cast<std::int16_t>(std::min<std::size_t>(i, 32767)), result.atoms);
        return result;
    } catch (const io_error&) {
        throw;
    } catch (const std::exception& e) {
        throw io_error(name + ": not a readable mmCIF coordinate file (" + e.what() + ")");
    }
}

}  // namespace zelt
