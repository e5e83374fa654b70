#include "io/coordinate_writer.hpp"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "crystal/geometry.hpp"
#include "common/errors.hpp"
#include "model/anisou.hpp"
#include "io/atomic_file.hpp"

namespace zelt {

namespace {

// Characters [first, first + count) of a record (0-based), blank-padded
// where the record is shorter.
void put_columns(std::ostream& out, const std::string& line, std::size_t first,
                 std::size_t count) {
    std::size_t have = 0;
    if (first < line.size()) {
        have = std::min(count, line.size() - first);
        out.write(line.data() + first, static_cast<std::streamsize>(have));
    }
    for (; have < count; ++have) out.put(' ');
}

// The PDB format gives a coordinate 8 columns with 3 decimals.
bool fits_pdb_columns(double v) { return v > -999.9995 && v < 9999.9995; }

// Refuses a structure that the PDB columns cannot hold, before any of it is
// written (a wider number would shift every column after it).
void check_pdb_columns(const placed_model_list& lists, const unit_cell& cell, const std::string& where) {
    for (const placed_model& m : lists)
        for (const placed_atom& a : m) {
            const position x = cell.to_orthogonal(a.site);
            for (double v : x)
                if (!fits_pdb_columns(v))
                    throw std::runtime_error("cannot write " + where + " in the PDB format: the coordinate " +
                                             std::to_string(v) + " lies outside -999.999 to 9999.999");
        }
}

// The chain written for an atom: `chain`, or the record's own when it is 0.
char chain_of(const placed_atom& a, char chain) { return chain != '\0' ? chain : a.line.size() > 21 ? a.line[21] : ' '; }

bool is_atom_record(const placed_atom& a) { return a.line.rfind("ATOM  ", 0) == 0; }

void write_atom(std::ostream& out, const placed_atom& a, const unit_cell& cell, char chain) {
    const std::string& line = a.line;
    put_columns(out, line, 0, 21);
    out.put(chain_of(a, chain));
    put_columns(out, line, 22, 8);
    const position x = cell.to_orthogonal(a.site);
    out << std::setw(8) << x[0] << std::setw(8) << x[1] << std::setw(8) << x[2];
    if (line.size() >= 55)
        out.write(line.data() + 54, static_cast<std::streamsize>(line.size() - 54));
    else
        out << std::string(26, ' ');
    out.put('\n');
    if (!a.anisou.empty()) write_anisou(out, line, chain_of(a, chain), a.anisou);
}

// The TER record after atom `a`: the next serial number, its residue name,
// chain and residue number.
void write_ter(std::ostream& out, const placed_atom& a, char chain) {
    std::string serial;
    try {
        serial = std::to_string(std::stoi(a.line.substr(6, 5)) + 1);
    } catch (const std::exception&) {
    }
    out << "TER   " << std::setw(5) << serial.substr(0, 5) << "      ";
    put_columns(out, a.line, 17, 3);
    out << ' ' << chain_of(a, chain);
    put_columns(out, a.line, 22, 5);
    out << std::string(53, ' ') << '\n';
}

// The atoms of ensemble member `member` of one list (all of a list that is
// no ensemble), with a TER record after each chain of ATOM records.
void write_member(std::ostream& out, const placed_model& list, const unit_cell& cell, int member, char chain) {
    const bool ensemble = member_count(list) > 1;
    const placed_atom* previous = nullptr;
    for (const placed_atom& a : list) {
        if (ensemble && a.member != member) continue;
        if (previous && is_atom_record(*previous) &&
            (!is_atom_record(a) || chain_of(a, chain) != chain_of(*previous, chain)))
            write_ter(out, *previous, chain);
        write_atom(out, a, cell, chain);
        previous = &a;
    }
    if (previous && is_atom_record(*previous)) write_ter(out, *previous, chain);
}

}  // namespace

void write_coordinates(std::ostream& out, const placed_model_list& lists, const unit_cell& cell,
                       double score, double r, int clashes, bool reassign_chains) {
    out << std::fixed << std::showpoint;
    out << "TITLE     ZELT Score: " << std::setprecision(3) << score << " Rfactor: " << r
        << " Packing clashes: " << clashes << "     \n";

    const space_group& group = cell.group();
    out << "CRYST1" << std::setprecision(3) << std::setw(9) << cell.a << std::setw(9) << cell.b
        << std::setw(9) << cell.c << std::setprecision(2) << std::setw(7)
        << cell.alpha * radians_to_degrees << std::setw(7) << cell.beta * radians_to_degrees
        << std::setw(7) << cell.gamma * radians_to_degrees << ' ' << std::left << std::setw(11)
        << (group.names.empty() ? group.symbol : group.names.front()) << std::right
        << std::setw(4) << group.operators.size() << '\n';

    out << std::setprecision(3);
    int members = 1;
    for (const placed_model& list : lists) members = std::max(members, member_count(list));
    for (int m = 0; m < members; ++m) {
        if (members > 1) out << "MODEL     " << std::setw(4) << m + 1 << std::string(66, ' ') << '\n';
        for (std::size_t k = 0; k < lists.size(); ++k) {
            const char chain = static_cast<char>('A' + k % 26);
            write_member(out, lists[k], cell, m, reassign_chains ? chain : '\0');
        }
        if (members > 1) out << "ENDMDL" << std::string(74, ' ') << '\n';
    }
    out << "END" << std::string(51, ' ') << '\n' << std::flush;
}

void write_coordinates(const placed_model_list& lists, const unit_cell& cell, double score, double r,
                       int clashes, const std::string& file_name, bool reassign_chains) {
    check_pdb_columns(lists, cell, file_name.empty() ? std::string("coordinates to standard output")
                                                      : "the file " + file_name);
    if (file_name.empty()) {
        write_coordinates(std::cout, lists, cell, score, r, clashes, reassign_chains);
        if (!std::cout) throw io_error("unable to write the coordinates to standard output");
        return;
    }
    write_file_atomically(file_name, [&](const std::string& temporary) {
        std::ofstream file(temporary, std::ios::out | std::ios::trunc);
        if (!file) throw io_error("unable to write the file " + file_name);
        write_coordinates(file, lists, cell, score, r, clashes, reassign_chains);
        file.close();
        if (file.fail()) throw io_error("unable to write the file " + file_name);
    });
}

std::string attempt_file_name(const std::string& prefix, int cell, int model, int copy,
                              int attempt, bool number_cell, bool number_model, bool number_copy) {
    if (prefix == "-") return {};
    std::string name = prefix + ".";
    if (number_cell) name += std::to_string(cell + 1) + ".";
    if (number_model) name += std::to_string(model + 1) + ".";
    if (number_copy) name += std::to_string(copy + 1) + ".";
    return name + std::to_string(attempt) + ".pdb";
}

std::string best_file_name(const std::string& prefix) {
    if (prefix == "-") return {};
    return prefix + ".best.pdb";
}

}  // namespace zelt
