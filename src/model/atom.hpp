#pragma once
// Atoms as read from coordinate files; a model is the atom list of one file.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "crystal/geometry.hpp"

namespace zelt {

struct atom {
    double x = 0, y = 0, z = 0;   // orthogonal Angstrom as read (fractional once placed)
    std::string line;             // the whole record as read, without its line break
    double occupancy = 1.0;
    double b = 0.0;               // isotropic B, Angstrom^2
    std::int16_t element = 6;     // atomic number used for scattering
    std::int16_t member = 0;      // ensemble member the atom came from (0: first or only)
    std::string anisou;           // its ANISOU record as read (turned with a placed copy), or empty
};

// The coordinates of an atom as read: orthogonal, Angstrom.
inline position read_position(const atom& a) { return {a.x, a.y, a.z}; }
// The coordinates of an atom once placed in a cell: fractional.
inline fractional placed_position(const atom& a) { return {a.x, a.y, a.z}; }
inline void set_placed_position(atom& a, const fractional& f) {
    a.x = f[0];
    a.y = f[1];
    a.z = f[2];
}

using model = std::vector<atom>;
using model_list = std::vector<model>;

// The ensemble members a model holds (1 for a single model).
inline int member_count(const model& m) {
    int members = 1;
    for (const atom& a : m) members = std::max(members, a.member + 1);
    return members;
}

}  // namespace zelt
