#pragma once
// Atoms as read from coordinate files; a model is the atom list of one file.
// An atom as read stands at a Cartesian position; once placed in a cell (a
// fixed structure, a found copy) it stands at a fractional site of that cell.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "crystal/geometry.hpp"

namespace zelt {

template <class Site>
struct basic_atom {
    Site site;                    // where the atom stands
    std::string line;             // the whole record as read, without its line break
    double occupancy = 1.0;
    double b = 0.0;               // isotropic B, Angstrom^2
    std::int16_t element = 6;     // atomic number used for scattering
    std::int16_t member = 0;      // ensemble member the atom came from (0: first or only)
    std::string anisou;           // its ANISOU record as read (turned with a placed copy), or empty
};

// An atom as read: orthogonal coordinates, Angstrom.
using atom = basic_atom<position>;
// An atom placed in a cell: fractional coordinates of that cell.
using placed_atom = basic_atom<fractional>;

using model = std::vector<atom>;
using model_list = std::vector<model>;
using placed_model = std::vector<placed_atom>;
using placed_model_list = std::vector<placed_model>;

// The atom `a` standing at `site` of a cell, with everything else as read.
inline placed_atom place_atom(const atom& a, const fractional& site) {
    return {site, a.line, a.occupancy, a.b, a.element, a.member, a.anisou};
}

// The ensemble members a model holds (1 for a single model).
template <class Site>
int member_count(const std::vector<basic_atom<Site>>& m) {
    int members = 1;
    for (const basic_atom<Site>& a : m) members = std::max(members, a.member + 1);
    return members;
}

}  // namespace zelt
