#pragma once
// What a search model says about its own coordinate errors, for choosing the
// resolution a search can use: an ensemble's members disagree where the
// structure is uncertain, and a predicted model's pLDDT estimates each atom's
// error.
#include "model/atom.hpp"

namespace zelt {

// The RMS coordinate error (A) of one member of an ensemble, from the
// members' spread: members with independent errors of RMS e about the true
// structure differ pairwise by e sqrt(2) RMS, so e^2 is half the mean squared
// distance between C-alpha atoms at the same residue position (chain, number,
// insertion code) in two members, over every pair of members. 0 for a single
// model or when no two members share three positions.
double ensemble_spread_error(const model& m);

// The RMS coordinate error (A) of a predicted model whose B column was
// converted from pLDDT (B = 8 pi^2 e^2 / 3 atom by atom): the root of the
// atoms' mean e^2.
double error_from_plddt_b(const model& m);

}  // namespace zelt
