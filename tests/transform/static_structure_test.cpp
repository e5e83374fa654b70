// Fixed-structure contribution and placed copies, against analytic transforms
// of single atoms and hand-computed placements.
#include "transform/static_structure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <complex>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

using namespace zelt;
constexpr double static_pi = 3.141592653589793;

// Carbon's four-Gaussian coefficients (a1..a4, b1..b4, c) from CCP4's atomsf.lib.
std::array<double, 9> carbon_coefficients() {
    std::ifstream in("/usr/share/ccp4/atomsf.lib");
    std::string line;
    while (std::getline(in, line)) {
        if (line.substr(0, line.find_last_not_of(' ') + 1) != "C") continue;
        double iwt, ielec;
        std::array<double, 9> r{};
        in >> iwt >> ielec >> r[8] >> r[0] >> r[1] >> r[2] >> r[3] >> r[4] >> r[5] >> r[6] >> r[7];
        return r;
    }
    throw std::runtime_error("carbon not found in atomsf.lib");
}

double carbon_f(double s2) {
    static const std::array<double, 9> r = carbon_coefficients();
    double f = r[8];
    for (int i = 0; i < 4; ++i) f += r[i] * std::exp(-r[4 + i] * s2);
    return f;
}

reflection_set all_reflections(const unit_cell& cell, int n, double d_min, bool both_halves) {
    reflection_set r;
    for (int h = -n; h <= n; ++h)
        for (int k = -n; k <= n; ++k)
            for (int l = both_halves ? -n : 0; l <= n; ++l) {
                if ((h == 0 && k == 0 && l == 0) || cell.d_spacing(h, k, l) < d_min) continue;
                reflection x;
                x.set_indices({h, k, l});
                x.s2 = float(cell.s_squared(h, k, l));
                r.push_back(x);
            }
    return r;
}

// A carbon atom as read (Cartesian `x`) or placed (fractional `x`).
template <class Site = position>
basic_atom<Site> carbon_at(const vec3& x, double b, double occ = 1.0) {
    basic_atom<Site> a;
    a.site = Site(x);
    a.b = b;
    a.occupancy = occ;
    a.element = 6;
    return a;
}

// One atom in P1 and two symmetry-related atoms in P21 (an oblique cell):
// the stored factors follow the analytic transform of the atoms.
TEST(StaticContribution, SingleAtomAgainstAnalyticTransform) {
    struct row {
        int group;
        double a, b, c, al, be, ga;
    };
    const row rows[] = {{1, 30, 35, 40, 90, 90, 90}, {1, 31, 36, 41, 80, 95, 105}, {4, 32, 28, 36, 90, 103, 90}};
    const vec3 x{0.1, 0.23, 0.37};
    for (const row& r : rows) {
        const unit_cell cell(r.group, r.a, r.b, r.c, r.al, r.be, r.ga);
        reflection_set refl = all_reflections(cell, 12, 3.0, true);
        const placed_model_list statics{{carbon_at<fractional>(x, 20.0)}};
        static_contribution(cell, statics, 0, refl, 3.0, 3.0);
        double worst = 0;
        for (const reflection& f : refl) {
            const vec3 h{double(f.h), double(f.k), double(f.l)};
            const double s2 = cell.s_squared(h[0], h[1], h[2]);
            std::complex<double> want = 0;
            for (const auto& op : cell.group().operators)
                want += std::polar(carbon_f(s2) * std::exp(-20.0 * s2), 2 * static_pi * dot(h, op.apply(fractional(x)).xyz));
            const std::complex<double> got(f.static_re, f.static_im);
            worst = std::max(worst, std::abs(got - want));
        }
        std::cout << "space group " << r.group << ": largest |F - F(analytic)| " << worst << " e over "
                  << refl.size() << " reflections\n";
        EXPECT_LT(worst, 0.05 * carbon_f(0) * static_cast<double>(cell.group().operators.size())) << r.group;
    }
}

TEST(StaticContribution, EmptyListWritesZerosAndCodePermutesIndices) {
    const unit_cell cell(1, 30.0, 35.0, 40.0, 90.0, 90.0, 90.0);
    reflection_set refl = all_reflections(cell, 4, 6.0, false);
    for (auto& r : refl) r.static_re = r.static_im = 7.0f;
    static_contribution(cell, {}, 0, refl, 6.0, 3.0);
    for (const auto& r : refl) {
        EXPECT_EQ(r.static_re, 0.0f);
        EXPECT_EQ(r.static_im, 0.0f);
    }
    for (auto& r : refl) r.static_re = r.static_im = 7.0f;
    static_contribution(cell, {{}, {}}, 0, refl, 6.0, 3.0);
    for (const auto& r : refl) EXPECT_EQ(r.static_re, 0.0f);

    // Code 1 reads (k, l, h), code 2 reads (l, h, k).
    const placed_model_list statics{
        {carbon_at<fractional>({0.1, 0.2, 0.3}, 15.0), carbon_at<fractional>({0.6, 0.45, 0.8}, 30.0)}};
    const unit_cell cube(1, 33.0, 33.0, 33.0, 90.0, 90.0, 90.0);
    reflection_set plain = all_reflections(cube, 4, 6.0, false);
    static_contribution(cube, statics, 0, plain, 6.0, 3.0);
    for (int code : {1, 2}) {
        reflection_set moved = plain;
        for (auto& r : moved) {
            const miller_indices h{r.h, r.k, r.l};
            // Stored so that reading it with this code gives the plain indices back.
            r.set_indices({h[(3 - code) % 3], h[(4 - code) % 3], h[(5 - code) % 3]});
        }
        static_contribution(cube, statics, code, moved, 6.0, 3.0);
        for (std::size_t i = 0; i < plain.size(); ++i) {
            ASSERT_EQ(moved[i].static_re, plain[i].static_re) << code << " " << i;
            ASSERT_EQ(moved[i].static_im, plain[i].static_im) << code << " " << i;
        }
    }
    EXPECT_THROW(static_contribution(cube, statics, 3, plain, 6.0, 3.0), std::logic_error);
}

TEST(PlaceCopies, RotatedTranslatedAtomsInFractionalCoordinates) {
    const std::vector<unit_cell> cells{unit_cell(19, 40.0, 50.0, 60.0, 90.0, 90.0, 90.0),
                                       unit_cell(4, 30.0, 40.0, 50.0, 90.0, 110.0, 90.0)};
    model m;
    m.push_back(carbon_at({1.0, 0.0, 0.0}, 10.0));
    m.push_back(carbon_at({0.0, 2.0, 0.0}, 11.0));
    m.push_back(carbon_at({0.0, 0.0, 3.0}, 12.0));
    m[0].line = "ATOM      1  CA  ALA A   1";
    const model_list models{model{carbon_at({5.0, 5.0, 5.0}, 1.0)}, m};

    solution s;
    s.cell = 1;
    copy_placement p;
    // 90 degrees about z, given unnormalised: x -> y, y -> -x.
    p.orientation = {0.0, 0.0, 2.0 * std::sqrt(0.5), 2.0 * std::sqrt(0.5)};
    p.translation = {0.25, -0.5, 1.25};
    p.model = 1;
    copy_placement q;   // identity, model 0
    q.translation = {0.1, 0.2, 0.3};
    s.placements = {p, q};

    placed_model_list statics{placed_model{carbon_at<fractional>({0.5, 0.5, 0.5}, 3.0)}};
    std::vector<fractional> centres{{0.5, 0.5, 0.5}};
    place_copies(s, models, cells, statics, centres);
    ASSERT_EQ(statics.size(), 3u);
    ASSERT_EQ(centres.size(), 3u);
    EXPECT_EQ(statics[0][0].site[0], 0.5);   // what was there stays

    // Monoclinic P21, beta = 110: orthogonal = (a x + c cos(beta) z, b y, c sin(beta) z).
    const double a = 30, b = 40, c = 50, be = 110 * static_pi / 180;
    auto frac = [&](vec3 o) { return vec3{(o[0] - o[2] / std::tan(be)) / a, o[1] / b, o[2] / (c * std::sin(be))}; };
    const vec3 tc{a * 0.25 + c * std::cos(be) * 1.25, b * -0.5, c * std::sin(be) * 1.25};
    const vec3 want[3] = {frac(add(vec3{0, 1, 0}, tc)), frac(add(vec3{-2, 0, 0}, tc)), frac(add(vec3{0, 0, 3}, tc))};
    ASSERT_EQ(statics[1].size(), 3u);
    vec3 mean{0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(statics[1][i].site[j], want[i][j], 1e-12) << i;
        mean = add(mean, want[i]);
        EXPECT_EQ(statics[1][i].b, 10.0 + i);
    }
    EXPECT_EQ(statics[1][0].line, m[0].line);
    EXPECT_NEAR(statics[1][2].site[2], 1.25 + 3.0 / (c * std::sin(be)), 1e-12);   // not reduced into the cell
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(centres[1][j], mean[j] / 3, 1e-12);
    const vec3 second = frac(add(vec3{5, 5, 5}, vec3{a * 0.1 + c * std::cos(be) * 0.3, b * 0.2, c * std::sin(be) * 0.3}));
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(centres[2][j], second[j], 1e-12);

    s.placements[1].model = 2;
    EXPECT_THROW(place_copies(s, models, cells, statics, centres), std::logic_error);
    s.placements[1].model = 0;
    s.cell = 2;
    EXPECT_THROW(place_copies(s, models, cells, statics, centres), std::logic_error);
}

}  // namespace
