// A search model's own estimate of its coordinate errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "model/model_error.hpp"

namespace zelt {
namespace {

atom c_alpha(int residue, int member, double x, double y, double z) {
    char line[81];
    std::snprintf(line, sizeof line, "ATOM  %5d  CA  ALA A%4d    %8.3f%8.3f%8.3f  1.00 20.00           C",
                  residue, residue, x, y, z);
    atom a;
    a.line = line;
    a.site = {x, y, z};
    a.member = static_cast<std::int16_t>(member);
    return a;
}

TEST(ModelError, EnsembleSpreadFromTheMembersCAlphas) {
    // Three members shifted rigidly by 0, 1 and 2 A along x: pairwise squared
    // distances 1, 4 and 1, mean 2, so e^2 = 1. Residues are matched by
    // position, whatever their names (the second member, a homolog, has
    // glycines); a side-chain atom and a residue only one member has do not
    // count.
    model m;
    for (int member = 0; member < 3; ++member)
        for (int r = 1; r <= 5; ++r) {
            m.push_back(c_alpha(r, member, 3.0 * r + member, 0.5 * r, 0.0));
            if (member == 1) m.back().line.replace(17, 3, "GLY");
        }
    m.push_back(c_alpha(99, 2, 50.0, 0.0, 0.0));
    atom side = c_alpha(1, 1, 40.0, 0.0, 0.0);
    side.line.replace(12, 4, " CB ");
    m.push_back(side);
    EXPECT_NEAR(ensemble_spread_error(m), 1.0, 1e-12);
}

TEST(ModelError, NoSpreadForOneModelOrTooFewSharedResidues) {
    model single;
    for (int r = 1; r <= 5; ++r) single.push_back(c_alpha(r, 0, r, 0, 0));
    EXPECT_EQ(ensemble_spread_error(single), 0.0);
    model apart = single;
    apart.push_back(c_alpha(7, 1, 0, 0, 0));
    apart.push_back(c_alpha(8, 1, 0, 0, 0));
    EXPECT_EQ(ensemble_spread_error(apart), 0.0);
}

TEST(ModelError, FromPlddtConvertedB) {
    // B = 8 pi^2 e^2 / 3: errors of 1 and 2 A give an RMS of sqrt(2.5).
    model m(2);
    m[0].b = 8.0 * std::numbers::pi * std::numbers::pi / 3.0;
    m[1].b = 4.0 * m[0].b;
    EXPECT_NEAR(error_from_plddt_b(m), std::sqrt(2.5), 1e-12);
}

}  // namespace
}  // namespace zelt
