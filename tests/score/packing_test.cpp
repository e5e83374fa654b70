// Packing clashes: hand-built contacts, and random atoms in several space
// groups against a brute-force search over lattice translations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/test_support.hpp"
#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"
#include "score/packing.hpp"
#include "model/solution.hpp"

namespace {

using zelt::placed_atom;
using zelt::placed_model;
using zelt::placed_model_list;
using zelt::unit_cell;
using zelt::vec3;
using zelt::fractional;
using zelt::position;

// A record with the given atom name (columns 13-16) and element number.
placed_atom make_atom(const std::string& name, int element, double u, double v, double w) {
    char line[81];
    std::snprintf(line, sizeof line, "ATOM      1 %-4s ALA A   1       0.000   0.000   0.000  1.00 20.00",
                  name.c_str());
    placed_atom a;
    a.line = line;
    a.element = static_cast<std::int16_t>(element);
    a.site = {u, v, w};
    return a;
}

placed_atom ca(double u, double v, double w) { return make_atom(" CA ", 6, u, v, w); }

int count(const placed_model_list& groups, const unit_cell& cell, double d, bool all_atoms = false,
          const std::vector<int>& copies = {}) {
    const std::vector<unit_cell> cells = {unit_cell(1, 10, 10, 10, 90, 90, 90), cell};
    zelt::solution s;
    s.cell = 1;
    return zelt::count_clashes(groups, cells, all_atoms, d, s, copies);
}

TEST(Packing, AtomsOnAndNearATwoFoldAxis) {
    const unit_cell p2(3, 40, 50, 60, 90, 100, 90);  // two-fold along b through the origin
    struct axis_case {
        double u;
        int expected;
    } cases[] = {
        {0.0, 1},     // on the axis: meets its own image at distance 0
        {0.03, 1},    // 2.4 A from its image
        {0.05, 0},    // 4.0 A from its image
        {0.51, 1},    // near the axis at x = 1/2, 0.8 A from its image
    };
    for (const axis_case& c : cases)
        EXPECT_EQ(count({{ca(c.u, 0.3, 0.0)}}, p2, 3.4), c.expected) << "x = " << c.u;
}

TEST(Packing, ContactsWithinOneCopyAreNotCounted) {
    // Two C-alpha atoms 3.0 A apart, as across a cis peptide.
    const unit_cell p212121(19, 50, 60, 70, 90, 90, 90);
    EXPECT_EQ(count({{ca(0.3, 0.3, 0.3), ca(0.36, 0.3, 0.3)}}, p212121, 3.4), 0);
    // The same pair in two segments of one copy is not counted either; in two
    // copies it is a clash.
    const placed_model_list two = {{ca(0.3, 0.3, 0.3)}, {ca(0.36, 0.3, 0.3)}};
    EXPECT_EQ(count(two, p212121, 3.4, false, {4, 4}), 0);
    EXPECT_EQ(count(two, p212121, 3.4, false, {4, 5}), 1);
    EXPECT_EQ(count(two, p212121, 3.4), 1);
}

TEST(Packing, StackedCopiesClashUnderEveryOperator) {
    const unit_cell p1(1, 40, 50, 60, 90, 90, 90);
    // A chain of five C-alpha atoms 3.8 A apart along a.
    placed_model chain;
    for (int i = 0; i < 5; ++i) chain.push_back(ca(0.2 + 0.095 * i, 0.5, 0.5));
    auto shifted = [&](double du, double dv, double dw) {
        placed_model m = chain;
        for (placed_atom& a : m) a.site = a.site + fractional{du, dv, dw};
        return m;
    };
    EXPECT_EQ(count({chain}, p1, 3.4), 0);
    // Two copies on top of each other, or a copy on the fixed structure.
    EXPECT_EQ(count({chain, shifted(0, 0, 0)}, p1, 3.4), 5);
    // Two segments of one copy are the copy itself.
    EXPECT_EQ(count({chain, shifted(0, 0, 0)}, p1, 3.4, false, {0, 0}), 0);
    EXPECT_EQ(count({chain, shifted(1, 0, 0)}, p1, 3.4, false, {0, 0}), 5);
    EXPECT_EQ(count({chain, shifted(1, 0, 0)}, p1, 3.4), 5);
    EXPECT_EQ(count({chain, shifted(0, -1, 0)}, p1, 3.4), 5);
    EXPECT_EQ(count({chain, shifted(2, 1, -3)}, p1, 3.4), 5);
    // Within 4 A each atom also meets the chain neighbours of its twin in the
    // next cell: 5 + 2 * 4 contacts; the neighbours within one copy are not.
    EXPECT_EQ(count({chain, shifted(1, 0, 0)}, p1, 4.0), 13);
}

TEST(Packing, TheClashDistanceItselfIsNotAClash) {
    const unit_cell p1(1, 10, 10, 10, 90, 90, 90);
    const unit_cell p1bar(2, 10, 10, 10, 90, 90, 90);
    ASSERT_EQ(p1.orthogonalisation[0], 10.0);
    // Across the cell edge: 0.875 - 0.125 - 1 = -0.25, 2.5 A exactly.
    const placed_model_list pair = {{ca(0.125, 0, 0), ca(0.875, 0, 0)}};
    EXPECT_EQ(count(pair, p1, 2.5), 0);
    EXPECT_EQ(count(pair, p1, 2.5000001), 1);
    // An atom and its image through the centre of symmetry: 2.5 A exactly.
    const placed_model_list single = {{ca(0.125, 0, 0)}};
    EXPECT_EQ(count(single, p1bar, 2.5), 0);
    EXPECT_EQ(count(single, p1bar, 2.5000001), 1);
}

TEST(Packing, CAlphaSelection) {
    const unit_cell p2(3, 40, 50, 60, 90, 100, 90);
    // All on the two-fold axis, 10 A apart: each meets only its own image.
    const placed_model_list atoms = {{
        make_atom(" CA ", 6, 0, 0.0, 0),   // C-alpha
        make_atom("CA  ", 20, 0, 0.2, 0),  // calcium ion
        make_atom(" CA ", 20, 0, 0.4, 0),  // named like a C-alpha, but calcium
        make_atom(" N  ", 7, 0, 0.6, 0),
        make_atom(" CB ", 6, 0, 0.8, 0),
    }};
    EXPECT_EQ(count(atoms, p2, 3.4, false), 1);
    EXPECT_EQ(count(atoms, p2, 3.4, true), 5);
}

TEST(Packing, NothingSelectedAndUnknownCell) {
    const unit_cell p2(3, 40, 50, 60, 90, 100, 90);
    EXPECT_EQ(count({{}, {}}, p2, 3.4), 0);
    EXPECT_EQ(count({{make_atom(" N  ", 7, 0, 0, 0)}}, p2, 3.4), 0);
    zelt::solution s;
    s.cell = 3;
    EXPECT_THROW(zelt::count_clashes({{ca(0, 0, 0)}}, {p2}, false, 3.4, s), std::out_of_range);
}

// Independent count: for every selected atom a and every symmetry image of
// an atom b (b after a, or b = a under a non-identity operator), look through
// the lattice translations for an image closer than d. Two different atoms
// of one copy that are already close as stored do not count through the
// identity. `copies` numbers the groups' copies; empty: one copy per group.
int brute_force(const placed_model_list& groups, const unit_cell& cell, bool all_atoms, double d,
                const std::vector<int>& copies = {}) {
    std::vector<vec3> x;
    std::vector<int> copy;
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (const placed_atom& a : groups[g]) {
            const bool c_alpha = a.element == 6 && a.line.substr(12, 4) == " CA ";
            if (all_atoms || c_alpha) {
                x.push_back(a.site.xyz);
                copy.push_back(copies.empty() ? static_cast<int>(g) : copies[g]);
            }
        }
    const auto& ops = cell.group().operators;
    auto length2 = [&](const vec3& f) {
        const position c = cell.to_orthogonal(fractional(f));
        return c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    };
    int total = 0;
    for (std::size_t a = 0; a < x.size(); ++a)
        for (std::size_t b = a; b < x.size(); ++b)
            for (std::size_t s = 0; s < ops.size(); ++s) {
                if (b == a && s == 0) continue;
                const vec3 y = ops[s].apply(fractional(x[b])).xyz;
                vec3 v;
                for (int k = 0; k < 3; ++k) v[k] = y[k] - x[a][k] - std::round(y[k] - x[a][k]);
                bool close = false;
                for (int i = -1; i <= 1 && !close; ++i)
                    for (int j = -1; j <= 1 && !close; ++j)
                        for (int k = -1; k <= 1 && !close; ++k)
                            close = length2({v[0] + i, v[1] + j, v[2] + k}) < d * d;
                if (!close) continue;
                if (s == 0 && copy[a] == copy[b] &&
                    length2({x[b][0] - x[a][0], x[b][1] - x[a][1], x[b][2] - x[a][2]}) < d * d)
                    continue;
                ++total;
            }
    return total;
}

TEST(Packing, RandomAtomsMatchBruteForce) {
    struct group_case {
        int number;
        double a, b, c, alpha, beta, gamma;
    };
    const std::vector<group_case> groups = {
        {1, 30, 35, 40, 80, 95, 105},    // triclinic
        {4, 30, 35, 40, 90, 110, 90},    // P21
        {5, 60, 35, 40, 90, 105, 90},    // C2, centred
        {19, 30, 35, 40, 90, 90, 90},    // P212121
        {22, 50, 60, 70, 90, 90, 90},    // F222, sixteen operators
        {146, 50, 50, 60, 90, 90, 120},  // R3, hexagonal axes
        {154, 40, 40, 50, 90, 90, 120},  // P3221
        {198, 45, 45, 45, 90, 90, 90},   // P213
    };
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> position(-0.2, 1.2);
    for (const group_case& g : groups) {
        const unit_cell cell(g.number, g.a, g.b, g.c, g.alpha, g.beta, g.gamma);
        placed_model_list lists(3);
        for (int i = 0; i < 45; ++i) {
            const double u = position(random), v = position(random), w = position(random);
            lists[i % 3].push_back(i % 4 == 3 ? make_atom(" N  ", 7, u, v, w) : ca(u, v, w));
        }
        for (bool all : {false, true}) {
            const int expected = brute_force(lists, cell, all, 6.0);
            EXPECT_GT(expected, 5) << g.number;
            EXPECT_EQ(count(lists, cell, 6.0, all), expected)
                << "space group " << g.number << (all ? ", all atoms" : ", C-alpha");
            // The first two lists as segments of one copy.
            EXPECT_EQ(count(lists, cell, 6.0, all, {0, 0, 1}), brute_force(lists, cell, all, 6.0, {0, 0, 1}))
                << "space group " << g.number;
        }
    }
}

// Every pair of the position list compared, each at its minimum image along
// the cell axes: the count before the images were filed in a grid.
int all_pairs(const placed_model_list& groups, const unit_cell& cell, double d, const std::vector<int>& copies) {
    std::vector<vec3> x;
    std::vector<int> copy;
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (const placed_atom& a : groups[g]) {
            x.push_back(a.site.xyz);
            copy.push_back(copies[g]);
        }
    const auto& ops = cell.group().operators;
    const std::size_t n = ops.size();
    std::vector<vec3> p;
    for (const vec3& xa : x)
        for (const auto& op : ops) {
            const vec3 y = op.apply(fractional(xa)).xyz;
            p.push_back({y[0] - std::floor(y[0]), y[1] - std::floor(y[1]), y[2] - std::floor(y[2])});
        }
    auto length2 = [&](const vec3& f) {
        const position c = cell.to_orthogonal(fractional(f));
        return c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    };
    int total = 0;
    for (std::size_t a = 0; a < x.size(); ++a)
        for (std::size_t j = a * n + 1; j < p.size(); ++j) {
            vec3 v;
            for (int k = 0; k < 3; ++k) v[k] = std::fmod(p[j][k] - p[a * n][k] + 99.5, 1.0) - 0.5;
            if (length2(v) >= d * d) continue;
            const std::size_t b = j / n;
            if (j % n == 0 && copy[a] == copy[b] &&
                length2({x[b][0] - x[a][0], x[b][1] - x[a][1], x[b][2] - x[a][2]}) <= d * d)
                continue;
            ++total;
        }
    return total;
}

// The grid of the count against all pairs over many clash distances: from
// cells hundreds of grid cells across down to cells narrower than two clash
// distances (where the neighbouring grid cells wrap onto each other), with
// dense clusters of atoms.
TEST(Packing, GridMatchesAllPairsAtEveryScale) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const std::vector<unit_cell> cells = {unit_cell(1, 9, 11, 13, 70, 100, 110), unit_cell(4, 12, 9, 20, 90, 100, 90),
                                          unit_cell(154, 15, 15, 22, 90, 90, 120), unit_cell(19, 80, 90, 100, 90, 90, 90)};
    for (const unit_cell& cell : cells)
        for (double d : {0.4, 2.0, 4.0, 7.0, 11.0}) {
            placed_model_list lists(4);
            for (int i = 0; i < 60; ++i) {
                // Half of the atoms in a tight cluster, the rest anywhere.
                const double spread = i % 2 ? 1.0 : 0.02;
                lists[i % 4].push_back(ca(0.4 + spread * (unit(random) - 0.5), 0.6 + spread * (unit(random) - 0.5),
                                          0.1 + spread * (unit(random) - 0.5)));
            }
            const std::vector<int> copies = {0, 1, 1, 2};
            const int expected = all_pairs(lists, cell, d, copies);
            if (d > 1.0) {
                EXPECT_GT(expected, 0);
            }
            EXPECT_EQ(count(lists, cell, d, false, copies), expected)
                << "space group " << cell.group().number << ", d " << d;
        }
}

TEST(Packing, RefinedStructureAgreesWithBruteForce) {
    // The two molecules of the beta-lactamase/inhibitor crystal, as deposited.
    std::ifstream in(zelt_test::example("reference_solution.pdb"));
    ASSERT_TRUE(in);
    std::string line;
    std::vector<double> constants;
    zelt::model atoms;
    while (std::getline(in, line)) {
        if (line.rfind("CRYST1", 0) == 0) {
            for (int k = 0; k < 3; ++k) constants.push_back(std::stod(line.substr(6 + 9 * k, 9)));
            for (int k = 0; k < 3; ++k) constants.push_back(std::stod(line.substr(33 + 7 * k, 7)));
        } else if (line.rfind("ATOM  ", 0) == 0 || line.rfind("HETATM", 0) == 0) {
            zelt::atom a;
            a.line = line;
            a.site = {std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8))};
            a.element = line.size() >= 78 && line.substr(76, 2) == " C" ? 6 : 0;
            atoms.push_back(a);
        }
    }
    ASSERT_EQ(constants.size(), 6u);
    const unit_cell cell(154, constants[0], constants[1], constants[2], constants[3], constants[4],
                         constants[5]);
    placed_model_list lists(1);
    for (const zelt::atom& a : atoms) lists[0].push_back(zelt::place_atom(a, cell.to_fractional(a.site)));
    // A well-packed crystal: no C-alpha atoms within 3.4 A of a neighbour,
    // while 8 A reaches across the molecular contacts.
    EXPECT_EQ(count(lists, cell, 3.4), 0);
    const int wide = count(lists, cell, 8.0);
    EXPECT_GT(wide, 20);
    EXPECT_EQ(wide, brute_force(lists, cell, false, 8.0));
}

}  // namespace

// Members of a merged ensemble all stand in one place: only the first
// member's atoms are counted, so a second member lying on a two-fold axis
// (which would meet its own image) or on a lattice image of the first member
// adds nothing, whereas the same atoms as a model of their own do count.
TEST(Packing, MergedEnsembleCountsItsFirstMemberOnly) {
    const unit_cell p2(3, 20, 30, 40, 90, 100, 90);
    placed_atom first = ca(0.30, 0.20, 0.25);
    placed_atom on_axis = ca(0.0, 0.2, 0.0);
    placed_atom lattice_image = ca(1.30, 0.20, 0.25);
    on_axis.member = lattice_image.member = 1;
    const placed_model ensemble = {first, on_axis, lattice_image};
    EXPECT_EQ(count({ensemble}, p2, 3.4), count({{first}}, p2, 3.4));
    EXPECT_EQ(count({ensemble}, p2, 3.4, true), 0);

    on_axis.member = lattice_image.member = 0;  // the same atoms, not an ensemble
    EXPECT_EQ(count({{first, on_axis, lattice_image}}, p2, 3.4), 2);
}
