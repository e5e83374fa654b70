// Unit-cell metric against gemmi, related-cell lists and the cell listing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.hpp"
#include "crystal/unit_cell.hpp"

namespace {

using zelt::unit_cell;

constexpr double deg = 3.141592653589793 / 180.0;

void expect_rel(double got, double want, double rel, const std::string& what) {
    EXPECT_NEAR(got, want, rel * std::max(1.0, std::fabs(want))) << what;
}

struct cell_case {
    int group;
    double a, b, c, alpha, beta, gamma;
};

TEST(UnitCell, MetricAndMatricesAgreeWithGemmi) {
    const std::vector<cell_case> cells = {
        {1, 10, 20, 30, 80, 100, 110},               // triclinic
        {2, 41.3, 52.7, 60.1, 72.5, 84.25, 66.0},    // triclinic, acute
        {4, 10, 20, 30, 90, 100, 90},                // monoclinic, unique b
        {5, 118.6, 54.3, 67.2, 90, 93.7, 90},        // monoclinic C2
        {154, 74.5, 74.5, 103.2, 90, 90, 120},       // trigonal on hexagonal axes
        {173, 95.0, 95.0, 45.5, 90, 90, 120},        // hexagonal
        {19, 73.58, 38.73, 23.19, 90, 90, 90},       // orthorhombic
    };
    const std::vector<std::array<int, 3>> hkls = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3},
                                                   {-3, 5, -7}, {4, -1, 2}, {-2, -2, 9}, {13, 0, -5}};
    std::ostringstream script;
    script << "import gemmi\n";
    for (const auto& k : cells) {
        script << "c = gemmi.UnitCell(" << k.a << "," << k.b << "," << k.c << "," << k.alpha << ","
               << k.beta << "," << k.gamma << ")\n"
               << "r = c.reciprocal()\n"
               << "v = [c.volume, r.a, r.b, r.c, r.alpha, r.beta, r.gamma]\n"
               << "v += [x for row in c.orth.mat.tolist() for x in row]\n"
               << "v += [x for row in c.frac.mat.tolist() for x in row]\n";
        for (const auto& h : hkls)
            script << "v.append(c.calculate_1_d2([" << h[0] << "," << h[1] << "," << h[2] << "]))\n";
        script << "print(' '.join(repr(x) for x in v))\n";
    }
    std::istringstream out(zelt_test::run_python(script.str()));

    for (const auto& k : cells) {
        SCOPED_TRACE("cell of group " + std::to_string(k.group));
        const unit_cell cell(k.group, k.a, k.b, k.c, k.alpha, k.beta, k.gamma);
        double v[7];
        for (double& x : v) out >> x;
        expect_rel(cell.volume, v[0], 1e-12, "volume");
        expect_rel(cell.a_star, v[1], 1e-12, "a*");
        expect_rel(cell.b_star, v[2], 1e-12, "b*");
        expect_rel(cell.c_star, v[3], 1e-12, "c*");
        expect_rel(cell.alpha_star, v[4] * deg, 1e-10, "alpha*");
        expect_rel(cell.beta_star, v[5] * deg, 1e-10, "beta*");
        expect_rel(cell.gamma_star, v[6] * deg, 1e-10, "gamma*");
        for (int i = 0; i < 9; ++i) {
            double o = 0;
            out >> o;
            EXPECT_NEAR(cell.orthogonalisation[i], o, 1e-10 * k.c) << "O[" << i << "]";
        }
        for (int i = 0; i < 9; ++i) {
            double f = 0;
            out >> f;
            EXPECT_NEAR(cell.fractionalisation[i], f, 1e-14) << "F[" << i << "]";
        }
        for (const auto& h : hkls) {
            double inv_d2 = 0;
            out >> inv_d2;
            expect_rel(cell.s_squared(h[0], h[1], h[2]), inv_d2 / 4.0, 1e-12, "s2");
            EXPECT_NEAR(cell.d_spacing(h[0], h[1], h[2]), 1.0 / std::sqrt(inv_d2), 1e-11);
        }
        // F is the inverse of O.
        const zelt::mat3 fo = zelt::mul(cell.fractionalisation, cell.orthogonalisation);
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(fo[i], i % 4 == 0 ? 1.0 : 0.0, 1e-14);
        const zelt::fractional x{0.1, -0.7, 1.3};
        const zelt::fractional back = cell.to_fractional(cell.to_orthogonal(x));
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], x[i], 1e-14);
    }
    ASSERT_TRUE(out) << "oracle output too short";
}

TEST(UnitCell, RightAnglesInDegreesOrRadians) {
    const unit_cell deg_cell(19, 73.58, 38.73, 23.19, 90, 90, 90);
    const unit_cell rad_cell(19, 73.58, 38.73, 23.19, 1.5707963267948966, 1.5707963267948966, 1.5707963267948966);
    EXPECT_EQ(deg_cell.alpha, 1.5707963267948966);
    EXPECT_EQ(deg_cell.gamma, 1.5707963267948966);
    EXPECT_NEAR(deg_cell.volume, 73.58 * 38.73 * 23.19, 1e-9);
    EXPECT_NEAR(deg_cell.a_star, 1 / 73.58, 1e-16);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(deg_cell.s2_coefficients[i], 0.0, 1e-18);
    const zelt::mat3 diag{73.58, 0, 0, 0, 38.73, 0, 0, 0, 23.19};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(deg_cell.orthogonalisation[i], diag[i], 1e-12);
    // Same cell whether the angles came in degrees or radians.
    EXPECT_EQ(deg_cell.volume, rad_cell.volume);
    EXPECT_EQ(deg_cell.s2_coefficients, rad_cell.s2_coefficients);
    EXPECT_EQ(deg_cell.orthogonalisation, rad_cell.orthogonalisation);
    EXPECT_EQ(deg_cell.fractionalisation, rad_cell.fractionalisation);
    // A cell built from another's stored radians is the same cell.
    const unit_cell mono(4, 10, 20, 30, 90, 100, 90);
    const unit_cell copy(4, mono.a, mono.b, mono.c, mono.alpha, mono.beta, mono.gamma);
    EXPECT_EQ(mono.orthogonalisation, copy.orthogonalisation);
    EXPECT_NEAR(mono.orthogonalisation[2], 30 * std::cos(100 * deg), 1e-12);
    EXPECT_NEAR(mono.orthogonalisation[1], 0.0, 1e-12);

    EXPECT_DOUBLE_EQ(deg_cell.d_spacing(1, 0, 0), 73.58);
    EXPECT_EQ(deg_cell.d_spacing(0, 0, 0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(&deg_cell.group(), &zelt::space_group_by_number(19));
}

TEST(UnitCell, AnglesThatCannotCloseGiveNaN) {
    const unit_cell bad(1, 50, 60, 70, 150, 150, 150);
    EXPECT_TRUE(std::isnan(bad.volume));
    EXPECT_TRUE(std::isnan(bad.a_star));
    EXPECT_TRUE(std::isnan(bad.s_squared(1, 2, 3)));
    EXPECT_TRUE(std::isnan(bad.d_spacing(1, 2, 3)));
    EXPECT_TRUE(std::isnan(bad.d_spacing(0, 0, 1)));
}

TEST(UnitCell, InvalidGroupNumber) {
    try {
        unit_cell(231, 10, 10, 10, 90, 90, 90);
        FAIL() << "no failure";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "invalid space group number: 231");
    }
}

struct member {
    int group;
    int code;
};

std::vector<member> related(int group) {
    std::vector<unit_cell> cells{unit_cell(group, 11, 22, 33, 90, 90, group >= 143 && group <= 194 ? 120 : 90)};
    std::vector<int> codes{0};
    zelt::add_related_cells(cells, codes);
    EXPECT_EQ(cells.size(), codes.size());
    std::vector<member> out;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        out.push_back({cells[i].group().number, codes[i]});
        // Permuted edges by code; the angles never move.
        const double e[3] = {11, 22, 33};
        const int c = codes[i];
        EXPECT_EQ(cells[i].a, e[c % 3]);
        EXPECT_EQ(cells[i].b, e[(c + 1) % 3]);
        EXPECT_EQ(cells[i].c, e[(c + 2) % 3]);
        EXPECT_EQ(cells[i].gamma, cells[0].gamma);
    }
    return out;
}

bool operator==(const member& x, const member& y) { return x.group == y.group && x.code == y.code; }
std::ostream& operator<<(std::ostream& o, const member& m) { return o << m.group << "/" << m.code; }

TEST(UnitCell, RelatedCellLists) {
    const std::vector<std::pair<int, std::vector<member>>> cases = {
        {19, {{19, 0}, {16, 0}, {17, 0}, {17, 1}, {17, 2}, {18, 0}, {18, 1}, {18, 2}}},
        {17, {{17, 0}, {16, 0}, {17, 1}, {17, 2}, {18, 0}, {18, 1}, {18, 2}, {19, 0}}},
        {18, {{18, 0}, {16, 0}, {17, 0}, {17, 1}, {17, 2}, {18, 1}, {18, 2}, {19, 0}}},
        {5, {{5, 0}}},
        {4, {{4, 0}, {3, 0}}},
        {76, {{76, 0}, {75, 0}, {77, 0}, {78, 0}}},
        {152, {{152, 0}, {150, 0}, {154, 0}}},
        {151, {{151, 0}, {149, 0}, {153, 0}}},
        {178, {{178, 0}, {177, 0}, {179, 0}, {180, 0}, {181, 0}, {182, 0}}},
        {20, {{20, 0}, {21, 0}}},
        {96, {{96, 0}, {89, 0}, {90, 0}, {91, 0}, {92, 0}, {93, 0}, {94, 0}, {95, 0}}},
        {1, {{1, 0}}},
    };
    for (const auto& [group, expect] : cases) EXPECT_EQ(related(group), expect) << "first group " << group;
}

TEST(UnitCell, CellListing) {
    std::vector<unit_cell> cells{unit_cell(19, 73.58, 38.73, 23.19, 90, 90, 90),
                                 unit_cell(4, 45.123456, 60, 70.5, 90, 101.25, 90),
                                 unit_cell(146, 80, 80, 55.5, 90, 90, 120)};
    std::ostringstream out;
    out.setf(std::ios::fixed | std::ios::showpoint);  // left so by an earlier table
    out.precision(3);
    zelt::print_cells(out, cells);
    EXPECT_EQ(out.str(),
              "a=73.58 b=38.73 c=23.19 alpha=90 beta=90 gamma=90, space group 19 (P 21 21 21) \n"
              "a=45.1235 b=60 c=70.5 alpha=90 beta=101.25 gamma=90, space group 4 (P 1 21 1) \n"
              "a=80 b=80 c=55.5 alpha=90 beta=90 gamma=120, space group 146 (R 3) \n"
              "\n");
    std::ostringstream empty;
    zelt::print_cells(empty, {});
    EXPECT_EQ(empty.str(), "\n");
}

}  // namespace
