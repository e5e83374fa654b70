#include "model/element.hpp"

#include <cstring>

namespace zelt {

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_letter(char c) { return is_upper(c) || (c >= 'a' && c <= 'z'); }

// Character at 0-based position i, blank past the end of the line.
char at(const std::string& line, std::size_t i) { return i < line.size() ? line[i] : ' '; }

int one_letter(char c) {
    switch (c) {
        case 'B': return 5;
        case 'C': return 6;
        case 'D': return 1;   // deuterium scatters as hydrogen
        case 'H': return 1;
        case 'F': return 9;
        case 'I': return 53;
        case 'K': return 19;
        case 'N': return 7;
        case 'O': return 8;
        case 'P': return 15;
        case 'S': return 16;
        case 'U': return 92;
        case 'V': return 23;
        case 'W': return 74;
        case 'X': return 0;
        case 'Y': return 39;
        default: return -1;
    }
}

struct two_letter {
    char symbol[3];
    int z;
};

// Two-letter element symbols, upper case.
constexpr two_letter two_letter_symbols[] = {
    {"AC", 89}, {"AG", 47}, {"AL", 13}, {"AM", 95}, {"AR", 18}, {"AS", 33}, {"AT", 85},
    {"AU", 79}, {"BA", 56}, {"BE", 4},  {"BH", 107}, {"BI", 83}, {"BK", 97}, {"BR", 35},
    {"CA", 20}, {"CD", 48}, {"CE", 58}, {"CF", 98}, {"CL", 17}, {"CM", 96}, {"CN", 112},
    {"CO", 27}, {"CR", 24}, {"CS", 55}, {"CU", 29}, {"DB", 105}, {"DS", 110}, {"DY", 66},
    {"ER", 68}, {"ES", 99}, {"EU", 63}, {"FE", 26}, {"FM", 100}, {"FR", 87}, {"GA", 31},
    {"GD", 64}, {"GE", 32}, {"HE", 2},  {"HF", 72}, {"HG", 80}, {"HO", 67}, {"HS", 108},
    {"IN", 49}, {"IR", 77}, {"KR", 36}, {"LA", 57}, {"LI", 3},  {"LR", 103}, {"LU", 71},
    {"MD", 101}, {"MG", 12}, {"MN", 25}, {"MO", 42}, {"MT", 109}, {"NA", 11}, {"NB", 41},
    {"ND", 60}, {"NE", 10}, {"NI", 28}, {"NO", 102}, {"NP", 93}, {"OS", 76}, {"PA", 91},
    {"PB", 82}, {"PD", 46}, {"PM", 61}, {"PO", 84}, {"PR", 59}, {"PT", 78}, {"PU", 94},
    {"RA", 88}, {"RB", 37}, {"RE", 75}, {"RF", 104}, {"RG", 111}, {"RH", 45}, {"RN", 86},
    {"RU", 44}, {"SB", 51}, {"SC", 21}, {"SE", 34}, {"SG", 106}, {"SI", 14}, {"SM", 62},
    {"SN", 50}, {"SR", 38}, {"TA", 73}, {"TB", 65}, {"TC", 43}, {"TE", 52}, {"TH", 90},
    {"TI", 22}, {"TL", 81}, {"TM", 69}, {"XE", 54}, {"YB", 70}, {"ZN", 30}, {"ZR", 40},
};

int two_letter_lookup(char c1, char c2) {
    for (const auto& s : two_letter_symbols)
        if (s.symbol[0] == c1 && s.symbol[1] == c2) return s.z;
    return -1;
}

// Lenient fallback for an unrecognised two-character pair.
int first_letter_fallback(char c1, char c2) {
    switch (c1) {
        case 'B': return 5;
        case 'D': return 1;
        case 'F': return 9;
        case 'H': return 1;
        case 'I': return 53;
        case 'K': return 19;
        case 'N': return 7;
        case 'O': return 8;
        case 'P': return 15;
        case 'S': return 16;
        case 'V': return 23;
        case 'W': return 74;
        case 'Y': return 39;
        case 'U': return c2 == 'N' ? 0 : 92;
        case 'X': return 0;
        case 'A': case 'C': case 'E': case 'G': case 'L':
        case 'M': case 'R': case 'T': case 'Z':
            return 6;
        default:
            switch (c2) {
                case 'N': return 7;
                case 'O': return 8;
                case 'P': return 15;
                case 'S': return 16;
                default: return 6;
            }
    }
}

bool matches(const std::string& line, std::size_t p, const char* name) {
    for (std::size_t i = 0; name[i]; ++i)
        if (at(line, p + i) != name[i]) return false;
    return true;
}

}  // namespace

int element_symbol_lookup(char c1, char c2, bool strict) {
    const bool single = strict ? c1 == ' ' : !is_letter(c1);
    if (single) {
        int z = one_letter(c2);
        if (z < 0 && !strict) return 6;
        return z;
    }
    int z = two_letter_lookup(c1, c2);
    if (z >= 0 || strict) return z;
    return first_letter_fallback(c1, c2);
}

bool is_polymer_residue(const std::string& line) {
    std::size_t p = 17;   // column 18
    while (p < line.size() && line[p] == ' ') ++p;
    if (p >= line.size()) return false;

    static const char* const three_letter[] = {
        "ALA", "ARG", "ASN", "ASP", "ASX", "CYS", "GLN", "GLU", "GLX", "GLY", "HIS",
        "HYL", "ILE", "LEU", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "VAL",
        "ABU", "HSE", "HYP", "MSE", "PCA",   // modified residues
        "ACE", "FOR", "NH2",                 // end groups
    };
    for (const char* name : three_letter)
        if (matches(line, p, name)) return true;
    if (matches(line, p, "TY")) return true;

    static const char nucleotides[] = "ACGITU";
    auto is_base = [](char c) { return c != '\0' && std::strchr(nucleotides, c) != nullptr; };
    const char c0 = at(line, p), c1 = at(line, p + 1), c2 = at(line, p + 2), c3 = at(line, p + 3);
    if (is_base(c0) && c1 == ' ') return true;                       // "A "
    if (c0 == 'D' && is_base(c1) && c2 == ' ') return true;          // "DA "
    if (c0 == '+' && is_base(c1) && c2 == ' ') return true;          // "+A "
    if (c0 == '+' && c1 == 'D' && is_base(c2) && c3 == ' ') return true;   // "+DA "
    return false;
}

std::int16_t element_number(const std::string& line) {
    if (line.size() >= 78) {
        int z = element_symbol_lookup(line[76], line[77], true);
        if (z == 0) return 6;
        if (z > 0) return static_cast<std::int16_t>(z);
    }
    int r = element_symbol_lookup(at(line, 12), at(line, 13), false);
    if (at(line, 12) == 'H' && is_polymer_residue(line)) return 1;
    if (r <= 0) return 6;
    return static_cast<std::int16_t>(r);
}

}  // namespace zelt
