// Element rule of atom lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "common/test_support.hpp"
#include "model/element.hpp"

using zelt::element_number;
using zelt::element_symbol_lookup;
using zelt::is_polymer_residue;

namespace {

// An 80-column HETATM/ATOM line with the given atom name (columns 13-16),
// residue name (18-20) and element field (77-78), cut to `length`.
std::string pdb_line(const char* name, const char* residue, const char* element, std::size_t length = 80) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "ATOM      1 %-4.4s %-3.3s A   1      11.104   6.134  -6.504  1.00 27.42          %2.2s  ",
                  name, residue, element);
    std::string s(buf);
    EXPECT_EQ(s.size(), 80u);
    s.resize(length, ' ');
    return s;
}

}  // namespace

TEST(ElementRule, LinesOfTheRule) {
    struct row {
        const char* name;
        const char* residue;
        const char* element;
        std::size_t length;
        int z;
    };
    const row table[] = {
        // Atom name decides on lines shorter than 78 characters.
        {" CA ", "ALA", "  ", 77, 6},
        {"CA  ", "CA ", "  ", 66, 20},
        {"FE  ", "HEM", "  ", 54, 26},
        {"1H  ", "ALA", "  ", 60, 1},
        {"HG  ", "SER", "  ", 70, 1},
        {"HG  ", "HG ", "  ", 70, 80},
        {"HE2 ", "HIS", "  ", 70, 1},
        {"HE  ", "HOH", "  ", 70, 2},      // water is no polymer: helium by the name
        {"HO  ", "TYR", "  ", 70, 1},
        {"HO  ", "HO ", "  ", 70, 67},
        {"H5' ", "  A", "  ", 70, 1},      // right-justified nucleotide
        {"HF  ", "DT ", "  ", 70, 1},
        {"HF  ", "DX ", "  ", 70, 72},
        {"HG  ", "+DA", "  ", 70, 1},
        {" N  ", "ALA", "  ", 77, 7},
        {" X  ", "UNK", "  ", 77, 6},
        {"UNK ", "UNK", "  ", 77, 6},      // UN gives 0, taken as carbon
        {"UX  ", "UNK", "  ", 77, 92},
        // Element field on lines of 78 or more characters.
        {" CA ", "ALA", " C", 78, 6},
        {" CA ", "ALA", "FE", 80, 26},
        {"FE  ", "HEM", " X", 80, 6},      // X: carbon, without looking at the name
        {"FE  ", "HEM", "C ", 80, 26},     // left-justified one-letter field is not recognised
        {"CA  ", "CA ", "Ca", 80, 20},     // nor is lower case
        {" CA ", "ALA", "Fe", 80, 6},
        {"HG  ", "SER", "HG", 80, 80},     // a recognised element field wins over the polymer test
        {"HG  ", "SER", " H", 80, 1},
        {" SE ", "MSE", "SE", 80, 34},
        {" CA ", "ALA", "  ", 80, 6},
        {" CA ", "ALA", "QQ", 80, 6},
        {"ZN  ", "ZN ", "1+", 80, 30},
        {" D  ", "HOH", " D", 80, 1},
    };
    for (const auto& r : table) {
        const std::string line = pdb_line(r.name, r.residue, r.element, r.length);
        EXPECT_EQ(element_number(line), r.z) << "'" << line << "'";
    }
}

TEST(ElementRule, LenientFallbacks) {
    struct row {
        char c1, c2;
        int z;
    };
    const row table[] = {
        {'N', 'X', 7},  {'O', 'X', 8},  {'B', 'X', 5},  {'D', 'X', 1},  {'F', 'X', 9},   {'H', 'X', 1},
        {'I', 'X', 53}, {'K', 'X', 19}, {'P', 'X', 15}, {'S', 'X', 16}, {'V', 'X', 23},  {'W', 'X', 74},
        {'Y', 'X', 39}, {'U', 'X', 92}, {'U', 'N', 0},  {'X', 'X', 0},  {'A', 'X', 6},   {'C', 'X', 6},
        {'E', 'X', 6},  {'G', 'X', 6},  {'L', 'X', 6},  {'M', 'X', 6},  {'R', 'X', 6},   {'T', 'X', 6},
        {'Z', 'X', 6},  {'Q', 'N', 7},  {'J', 'O', 8},  {'Q', 'P', 15}, {'J', 'S', 16},  {'Q', 'X', 6},
        {'1', 'H', 1},  {'2', 'C', 6},  {'*', 'Q', 6},  {' ', 'N', 7},  {'\'', 'O', 8},
    };
    for (const auto& r : table)
        EXPECT_EQ(element_symbol_lookup(r.c1, r.c2, false), r.z) << r.c1 << r.c2;
    // Strict mode recognises nothing of that kind.
    for (const char* pair : {"NX", "UN", "1H", "C ", "Fe", "  "})
        EXPECT_EQ(element_symbol_lookup(pair[0], pair[1], true), -1) << pair;
    EXPECT_EQ(element_symbol_lookup(' ', 'X', true), 0);
    EXPECT_EQ(element_symbol_lookup(' ', 'D', true), 1);
}

TEST(ElementRule, SymbolsAgreeWithGemmi) {
    // Every element 1..112 whose symbol is written in upper case in the
    // element field must be recognised in strict mode with gemmi's number.
    const std::string out = zelt_test::run_python(
        "import gemmi\n"
        "for z in range(1, 113):\n"
        "    print(gemmi.Element(z).name.upper(), z)\n");
    std::istringstream in(out);
    std::string symbol;
    int z, count = 0;
    while (in >> symbol >> z) {
        ++count;
        const char c1 = symbol.size() == 1 ? ' ' : symbol[0];
        const char c2 = symbol.size() == 1 ? symbol[0] : symbol[1];
        EXPECT_EQ(element_symbol_lookup(c1, c2, true), z) << symbol;
        if (symbol.size() == 2) {
            EXPECT_EQ(element_symbol_lookup(c1, c2, false), z) << symbol;
        }
    }
    EXPECT_EQ(count, 112);
}

TEST(ElementRule, PolymerResidues) {
    auto line_with_residue = [](const std::string& columns_18_on) {
        std::string s(17, ' ');
        s.replace(0, 6, "ATOM  ");
        return s + columns_18_on + std::string(30, ' ');
    };
    for (const char* r : {"ALA", "ARG", "ASN", "ASP", "ASX", "CYS", "GLN", "GLU", "GLX", "GLY", "HIS",
                          "HYL", "ILE", "LEU", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "VAL",
                          "TYR", "TYS", "ABU", "HSE", "HYP", "MSE", "PCA", "ACE", "FOR", "NH2",
                          "A  ", "  C", " G ", "  I", "  T", "  U", "DA ", " DC", " DG", " DI", " DT",
                          " DU", "+A ", "+U ", "+DA", "+DT"})
        EXPECT_TRUE(is_polymer_residue(line_with_residue(r))) << r;
    for (const char* r : {"HOH", "H2O", "WAT", "DOD", "D2O", "HEM", "UNK", "SO4", "NAG", "ADE", "DX ",
                          "+X ", "+DX", "B  ", "CA ", "T1 ", "   "})
        EXPECT_FALSE(is_polymer_residue(line_with_residue(r))) << r;
}
