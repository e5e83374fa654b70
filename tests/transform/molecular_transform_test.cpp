// Model transforms and calculated structure factors, checked against direct
// summation over atoms, hand-made tables and the invariances of the physics.
#include "transform/structure_factors.hpp"

#include <gtest/gtest.h>
#include <tbb/parallel_for.h>

#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "common/test_support.hpp"

namespace {

using namespace zelt;
constexpr double mt_pi = 3.141592653589793;

// --- Independent helpers -----------------------------------------------------

// Four-Gaussian coefficients a1..a4, b1..b4, c of one element from CCP4's
// atomsf.lib (fixed format: id line, weight/electrons/c, a(4), b(4)).
std::array<double, 9> atomsf(const std::string& id) {
    std::ifstream in("/usr/share/ccp4/atomsf.lib");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream first(line);
        std::string word;
        first >> word;
        if (word != id || line.rfind("AD", 0) == 0) continue;
        std::string rest;
        first >> rest;
        if (!rest.empty()) continue;   // ions carry a charge after the symbol
        double iwt, ielec, c;
        std::array<double, 9> r{};
        in >> iwt >> ielec >> c >> r[0] >> r[2] >> r[4] >> r[6] >> r[1] >> r[3] >> r[5] >> r[7];
        r[8] = c;
        return r;
    }
    throw std::runtime_error("element " + id + " not in atomsf.lib");
}

double form_factor(const std::array<double, 9>& c, double s2) {
    return c[0] * std::exp(-c[1] * s2) + c[2] * std::exp(-c[3] * s2) + c[4] * std::exp(-c[5] * s2) +
           c[6] * std::exp(-c[7] * s2) + c[8];
}

struct test_atom {
    vec3 x;
    double occ, b;
    std::string element;
};

// ATOM/HETATM records, element from the first letter of the atom name (all
// atoms of beta.pdb are C, N, O or S), centred on their mean.
std::vector<test_atom> read_pdb_centred(const std::string& path) {
    std::ifstream in(path);
    std::vector<test_atom> atoms;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
        test_atom a;
        a.x = {std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8))};
        a.occ = std::stod(line.substr(54, 6));
        a.b = std::stod(line.substr(60, 6));
        const std::string name = line.substr(12, 4);
        a.element = std::string(1, name[name.find_first_not_of(' ')]);
        atoms.push_back(a);
    }
    vec3 m{0, 0, 0};
    for (const auto& a : atoms) m = add(m, a.x);
    for (auto& v : m) v /= static_cast<double>(atoms.size());
    for (auto& a : atoms) a.x = sub(a.x, m);
    return atoms;
}

model to_model(const std::vector<test_atom>& atoms) {
    const std::map<std::string, int> z{{"C", 6}, {"N", 7}, {"O", 8}, {"S", 16}};
    model m;
    for (const auto& a : atoms) {
        atom t;
        t.site = position(a.x);
        t.occupancy = a.occ;
        t.b = a.b;
        t.element = static_cast<std::int16_t>(z.at(a.element));
        m.push_back(t);
    }
    return m;
}

struct amplitude_stats {
    double cc = 0, r = 0, phase_cc = 0;
};

// Amplitude correlation, scaled R and the normalised real part of
// sum(Fa conj(Fb)), which is 1 only when the phases agree as well.
amplitude_stats compare(const std::vector<complex_f>& a, const std::vector<std::complex<double>>& b) {
    const double n = static_cast<double>(a.size());
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, cross = 0, na = 0, nb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double x = std::abs(std::complex<double>(a[i])), y = std::abs(b[i]);
        sa += x;
        sb += y;
        saa += x * x;
        sbb += y * y;
        sab += x * y;
        cross += (std::complex<double>(a[i]) * std::conj(b[i])).real();
        na += x * x;
        nb += y * y;
    }
    amplitude_stats s;
    s.cc = (sab - sa * sb / n) / std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
    const double k = sb / sa;
    double num = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        num += std::fabs(std::abs(b[i]) - k * std::abs(std::complex<double>(a[i])));
    s.r = num / sb;
    s.phase_cc = cross / std::sqrt(na * nb);
    return s;
}

// --- Hand-made tables --------------------------------------------------------

// A table whose entries are a linear function of the index (any trilinear
// interpolation of it is exact), with the origin entry kept.
transform_table linear_table(int hm, int km, int lm) {
    transform_table t(hm, km, lm);
    for (int h = -hm; h <= hm; ++h)
        for (int k = -km; k <= km; ++k)
            for (int l = -1; l <= lm; ++l)
                t.at(h, k, l) = {1.5f + 0.25f * h - 0.5f * k + 0.125f * l, -2.0f + 0.75f * h + 0.375f * k - 0.25f * l};
    return t;
}

transform_table random_transform_table(int hm, int km, int lm, unsigned seed) {
    transform_table t(hm, km, lm);
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    for (auto& e : t.entries) e = {u(gen), u(gen)};
    return t;
}

// Random entries obeying Friedel's law, as the transform of a real density
// does: the planes l = 0 and l = -1 hold the mates of l = 0 and l = 1.
transform_table hermitian_table(int hm, int km, int lm, unsigned seed) {
    transform_table t = random_transform_table(hm, km, lm, seed);
    for (int h = -hm; h <= hm; ++h)
        for (int k = -km; k <= km; ++k) {
            t.at(h, k, -1) = std::conj(t.at(-h, -k, 1));
            if (h < 0 || (h == 0 && k < 0)) t.at(h, k, 0) = std::conj(t.at(-h, -k, 0));
        }
    t.at(0, 0, 0) = 0;
    return t;
}

TEST(TransformTable, TrilinearReproducesLinearFunctionsAndFriedel) {
    const transform_table t = linear_table(5, 6, 7);
    auto expected = [](double h, double k, double l) {
        return std::complex<double>(1.5 + 0.25 * h - 0.5 * k + 0.125 * l, -2.0 + 0.75 * h + 0.375 * k - 0.25 * l);
    };
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> uh(-4.9f, 4.9f), uk(-5.9f, 5.9f), ul(-6.9f, 6.9f);
    for (int i = 0; i < 500; ++i) {
        const float q1 = uh(gen), q2 = uk(gen), q3 = ul(gen);
        const complex_f got = t.trilinear(q1, q2, q3);
        // q3 < 0 is read at -q and conjugated.
        const std::complex<double> want = q3 < 0 ? std::conj(expected(-q1, -q2, -q3)) : expected(q1, q2, q3);
        EXPECT_NEAR(got.real(), want.real(), 2e-5) << q1 << " " << q2 << " " << q3;
        EXPECT_NEAR(got.imag(), want.imag(), 2e-5) << q1 << " " << q2 << " " << q3;
    }
    // q3 exactly 0 reads the point itself, not its Friedel mate.
    EXPECT_EQ(t.trilinear(2.0f, -3.0f, 0.0f), t.at(2, -3, 0));
    EXPECT_EQ(t.trilinear(2.0f, -3.0f, -0.0f), t.at(2, -3, 0));
}

TEST(TransformTable, NearestPoint) {
    const transform_table t = random_transform_table(4, 4, 4, 5);
    struct row {
        float q1, q2, q3;
        int h, k, l;
        bool conj;
    };
    const row rows[] = {
        {1.2f, -2.7f, 3.4f, 1, -3, 3, false},
        {0.5f, 1.5f, 2.5f, 1, 2, 3, false},      // halfway: the larger index
        {-0.5f, -1.5f, 0.5f, 0, -1, 1, false},   // larger index also below zero
        {1.2f, -2.7f, -3.4f, -1, 3, 3, true},    // read at -q, conjugated
        {2.0f, 2.0f, 0.0f, 2, 2, 0, false},
    };
    for (const row& r : rows) {
        const complex_f e = t.at(r.h, r.k, r.l);
        EXPECT_EQ(t.nearest(r.q1, r.q2, r.q3), r.conj ? std::conj(e) : e) << r.q1 << " " << r.q2 << " " << r.q3;
    }
}

TEST(TransformTable, PointsOutsideTheTableReadZero) {
    const transform_table t = random_transform_table(3, 3, 3, 9);
    const float outside[][3] = {{3.5f, 0, 0}, {0, -3.5f, 1}, {0, 0, 3.2f}, {NAN, 0, 0}, {0, 0, INFINITY}};
    for (const auto& q : outside) {
        EXPECT_EQ(t.trilinear(q[0], q[1], q[2]), complex_f(0, 0));
    }
    EXPECT_EQ(t.nearest(3.6f, 0, 0), complex_f(0, 0));
    EXPECT_EQ(t.nearest(3.4f, 0, 0), t.at(3, 0, 0));
    // The last plane is still inside for interpolation.
    EXPECT_EQ(t.trilinear(3.0f, 3.0f, 3.0f), t.at(3, 3, 3));
}

// --- Calculated structure factors with a hand-made table ----------------------

struct fc_fixture {
    std::vector<unit_cell> cells;
    std::vector<int> codes;
    transform_store store;
    fc_model model() const { return {&cells, &codes, &store}; }
};

reflection_set reflections_of(const unit_cell& cell, int hm, int km, int lm, double d_min) {
    reflection_set r;
    for (int h = -hm; h <= hm; ++h)
        for (int k = -km; k <= km; ++k)
            for (int l = 0; l <= lm; ++l) {
                if (h == 0 && k == 0 && l == 0) continue;
                if (cell.d_spacing(h, k, l) < d_min) continue;
                reflection x;
                x.set_indices({h, k, l});
                x.f = 1;
                x.sigma = 1;
                x.s2 = static_cast<float>(cell.s_squared(h, k, l));
                r.push_back(x);
            }
    return r;
}

TEST(CalculatedFc, IdentityPlacementInTheBoxReturnsTableEntries) {
    fc_fixture f;
    const unit_cell box(1, 31.0, 27.0, 23.0, 90.0, 90.0, 90.0);
    f.cells = {box};
    f.codes = {0};
    // Friedel mates agree, as in any real transform: a rotated point whose
    // third component comes out as -0 to rounding reads the same value.
    f.store.set(0, std::make_unique<molecular_transform>(box, hermitian_table(6, 6, 6, 1)));
    const reflection_set refl = reflections_of(box, 6, 6, 6, 0.0);
    solution s;
    s.placements.resize(1);
    std::vector<complex_f> out;
    for (lookup_mode mode : {lookup_mode::trilinear, lookup_mode::nearest}) {
        calculate_fc(fc_reflections(refl), f.model(), s, mode, out);
        ASSERT_EQ(out.size(), refl.size());
        for (std::size_t i = 0; i < refl.size(); ++i)
            ASSERT_EQ(out[i], f.store.get(0)->table.at(static_cast<int>(refl[i].h), static_cast<int>(refl[i].k),
                                                       static_cast<int>(refl[i].l)))
                << i;
    }
}

TEST(CalculatedFc, CandidateWithoutCopiesIsTheStaticPartTimesBabinet) {
    fc_fixture f;
    const unit_cell cell(19, 40.0, 50.0, 60.0, 90.0, 90.0, 90.0);
    f.cells = {cell};
    f.codes = {0};
    reflection_set refl = reflections_of(cell, 4, 4, 4, 8.0);
    for (std::size_t i = 0; i < refl.size(); ++i) {
        refl[i].static_re = static_cast<float>(i % 7) - 3.0f;
        refl[i].static_im = 0.5f * static_cast<float>(i % 5);
    }
    const fc_reflections in(refl);
    solution s;
    s.k = 0.35f;
    s.b = 120.0f;
    std::vector<complex_f> out;
    calculate_fc(in, f.model(), s, lookup_mode::trilinear, out);
    for (std::size_t i = 0; i < refl.size(); ++i) {
        const double g = 1.0 - 0.35 * std::exp(-120.0 * cell.s_squared(refl[i].h, refl[i].k, refl[i].l));
        EXPECT_NEAR(out[i].real(), refl[i].static_re * g, 1e-5);
        EXPECT_NEAR(out[i].imag(), refl[i].static_im * g, 1e-5);
    }
    // k = 0 leaves the sum exactly as it is.
    s.k = 0.0f;
    calculate_fc_parallel(in, f.model(), s, out);
    for (std::size_t i = 0; i < refl.size(); ++i) EXPECT_EQ(out[i], complex_f(refl[i].static_re, refl[i].static_im));
    // Without static structure: all zero.
    calculate_fc(fc_reflections(reflections_of(cell, 4, 4, 4, 8.0)), f.model(), s, lookup_mode::nearest, out);
    for (const auto& v : out) EXPECT_EQ(v, complex_f(0, 0));
}

TEST(CalculatedFc, EmptyReflectionSetAndMissingTransform) {
    fc_fixture f;
    const unit_cell cell(1, 20.0, 20.0, 20.0, 90.0, 90.0, 90.0);
    f.cells = {cell};
    f.codes = {0};
    solution s;
    s.placements.resize(1);
    std::vector<complex_f> out(3);
    EXPECT_THROW(calculate_fc_parallel(fc_reflections(), f.model(), s, out), std::logic_error);
    f.store.set(0, std::make_unique<molecular_transform>(cell, random_transform_table(2, 2, 2, 1)));
    calculate_fc_parallel(fc_reflections(), f.model(), s, out);
    EXPECT_TRUE(out.empty());
    s.cell = 1;
    EXPECT_THROW(calculate_fc(fc_reflections(), f.model(), s, lookup_mode::trilinear, out), std::logic_error);
}

// The transform of a few real atoms, sampled by hand on a box lattice by
// direct summation (no density map involved), so that geometry can be checked
// against direct summation in the crystal.
struct small_model {
    std::vector<test_atom> atoms;
    unit_cell box{1, 24.0, 22.0, 20.0, 90.0, 90.0, 90.0};
    transform_table table;
};

std::complex<double> atom_sum(const std::vector<test_atom>& atoms, const std::map<std::string, std::array<double, 9>>& sf,
                              double s2, const mat3& frac, const vec3& h) {
    std::complex<double> sum = 0;
    for (const auto& a : atoms) {
        const vec3 x = mul(frac, a.x);
        const double f = a.occ * form_factor(sf.at(a.element), s2) * std::exp(-a.b * s2);
        sum += f * std::polar(1.0, 2 * mt_pi * dot(h, x));
    }
    return sum;
}

small_model make_small_model(double d_min) {
    small_model m;
    m.atoms = {{{1.2, -0.7, 0.4}, 1.0, 15.0, "C"},
               {{-1.5, 0.9, -0.8}, 1.0, 20.0, "N"},
               {{0.3, 1.8, 1.1}, 0.8, 25.0, "O"},
               {{-0.2, -1.9, -0.9}, 1.0, 30.0, "S"}};
    std::map<std::string, std::array<double, 9>> sf;
    for (const char* e : {"C", "N", "O", "S"}) sf[e] = atomsf(e);
    int lim[3];
    for (int a = 0; a < 3; ++a) {
        int n = 1;
        while (m.box.d_spacing(a == 0 ? n : 0, a == 1 ? n : 0, a == 2 ? n : 0) >= d_min) ++n;
        lim[a] = n;
    }
    m.table = transform_table(lim[0], lim[1], lim[2]);
    for (int h = -lim[0]; h <= lim[0]; ++h)
        for (int k = -lim[1]; k <= lim[1]; ++k)
            for (int l = -1; l <= lim[2]; ++l)
                m.table.at(h, k, l) = complex_f(atom_sum(m.atoms, sf, m.box.s_squared(h, k, l), m.box.fractionalisation,
                                                         {double(h), double(k), double(l)}));
    return m;
}

TEST(CalculatedFc, RotatedTranslatedCopiesMatchDirectSummationInEverySpaceGroupSetting) {
    // Geometry test independent of the density map: a hand-sampled table of
    // four atoms, placed in several cells (including a permuted one).
    const small_model sm = make_small_model(4.0);
    std::map<std::string, std::array<double, 9>> sf;
    for (const char* e : {"C", "N", "O", "S"}) sf[e] = atomsf(e);
    struct row {
        int group;
        double a, b, c, al, be, ga;
        int code;
    };
    const row rows[] = {{1, 30, 33, 36, 90, 90, 90, 0},  {154, 46, 46, 40, 90, 90, 120, 0},
                        {19, 30, 34, 38, 90, 90, 90, 0}, {4, 30, 25, 35, 90, 104, 90, 0},
                        {17, 30, 34, 38, 90, 90, 90, 1}, {18, 30, 34, 38, 90, 90, 90, 2}};
    for (const row& r : rows) {
        fc_fixture f;
        // A permuted cell has edges (b, c, a) for code 1 and (c, a, b) for code 2.
        const double e[3] = {r.a, r.b, r.c};
        const unit_cell cell(r.group, e[r.code % 3], e[(r.code + 1) % 3], e[(r.code + 2) % 3], r.al, r.be, r.ga);
        f.cells = {cell};
        f.codes = {r.code};
        f.store.set(0, std::make_unique<molecular_transform>(sm.box, sm.table));
        // Reflections on the crystal's axes; the cell's own indices are permuted.
        const unit_cell crystal(1, r.a, r.b, r.c, r.al, r.be, r.ga);
        const reflection_set refl = reflections_of(crystal, 8, 8, 8, 5.0);
        solution s;
        copy_placement p;
        p.orientation = {0.3, -0.5, 0.2, 0.8};
        p.translation = {0.13, 0.41, 0.77};
        s.placements = {p};
        std::vector<complex_f> out;
        calculate_fc_parallel(fc_reflections(refl), f.model(), s, out);
        const mat3 rot = rotation_matrix(p.orientation);
        std::vector<std::complex<double>> direct(refl.size());
        for (std::size_t i = 0; i < refl.size(); ++i) {
            const double hh[3] = {double(refl[i].h), double(refl[i].k), double(refl[i].l)};
            const vec3 h{hh[r.code], hh[(r.code + 1) % 3], hh[(r.code + 2) % 3]};
            const double s2 = cell.s_squared(h[0], h[1], h[2]);
            for (const auto& op : cell.group().operators) {
                for (const auto& a : sm.atoms) {
                    const fractional x = op.apply(cell.to_fractional(position(mul(rot, a.x))) + p.translation);
                    const double fa = a.occ * form_factor(sf.at(a.element), s2) * std::exp(-a.b * s2);
                    direct[i] += fa * std::polar(1.0, 2 * mt_pi * dot(h, x.xyz));
                }
            }
        }
        const amplitude_stats st = compare(out, direct);
        std::cout << "group " << r.group << " code " << r.code << ": CC " << st.cc << " R " << st.r << " phase CC "
                  << st.phase_cc << " over " << refl.size() << " reflections\n";
        EXPECT_GE(st.cc, 0.97) << r.group;
        EXPECT_GE(st.phase_cc, 0.97) << r.group;
        EXPECT_LE(st.r, 0.1) << r.group;
    }
}

TEST(CalculatedFc, InvariancesAndSerialParallelAgreement) {
    const small_model sm = make_small_model(4.0);
    fc_fixture f;
    const unit_cell cell(154, 46.0, 46.0, 40.0, 90.0, 90.0, 120.0);
    f.cells = {cell};
    f.codes = {0};
    f.store.set(0, std::make_unique<molecular_transform>(sm.box, sm.table));
    const fc_reflections refl(reflections_of(cell, 9, 9, 9, 5.0));
    solution s;
    copy_placement p;
    p.orientation = {0.3, -0.5, 0.2, 0.8};
    p.translation = {0.13, 0.41, 0.77};
    copy_placement p2 = p;
    p2.orientation = {-0.1, 0.7, 0.4, 0.2};
    p2.translation = {0.6, 0.2, 0.3};
    s.placements = {p, p2};
    s.k = 0.8f;
    s.b = 200.0f;
    std::vector<complex_f> base, other;
    calculate_fc(refl, f.model(), s, lookup_mode::trilinear, base);

    auto max_rel_diff = [&](const std::vector<complex_f>& a, const std::vector<complex_f>& b) {
        double big = 0, diff = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            big = std::max(big, double(std::abs(a[i])));
            diff = std::max(diff, double(std::abs(a[i] - b[i])));
        }
        return diff / big;
    };
    // The parallel routine computes the very same numbers.
    calculate_fc_parallel(refl, f.model(), s, other);
    ASSERT_EQ(other.size(), base.size());
    for (std::size_t i = 0; i < base.size(); ++i) ASSERT_EQ(base[i], other[i]);

    // Quaternion scale, including a negative one.
    for (double scale : {3.7, -1.0, 0.01}) {
        solution t = s;
        for (auto& q : t.placements[0].orientation) q *= scale;
        calculate_fc(refl, f.model(), t, lookup_mode::trilinear, other);
        EXPECT_LT(max_rel_diff(base, other), 1e-4) << scale;
    }
    // A whole lattice vector on either copy.
    {
        solution t = s;
        t.placements[0].translation = t.placements[0].translation + fractional{1.0, -2.0, 3.0};
        t.placements[1].translation = t.placements[1].translation + fractional{-1.0, 0.0, 1.0};
        calculate_fc(refl, f.model(), t, lookup_mode::trilinear, other);
        EXPECT_LT(max_rel_diff(base, other), 1e-4);
    }
    // Order of copies does not change the sum (to rounding).
    {
        solution t = s;
        std::swap(t.placements[0], t.placements[1]);
        calculate_fc(refl, f.model(), t, lookup_mode::trilinear, other);
        EXPECT_LT(max_rel_diff(base, other), 1e-5);
    }
    // A symmetry operator applied to a copy gives a symmetry-equivalent copy,
    // hence the same structure factors: 3-fold screw along c of P3221 is
    // (-y, x-y, z+2/3) in fractional coordinates.
    {
        solution t = s;
        const symmetry_operator& op = cell.group().operators[1];
        copy_placement& c = t.placements[0];
        const mat3 ro = mul(cell.orthogonalisation, mul(op.rotation(), cell.fractionalisation));
        // Quaternion of a rotation matrix (trace > -1 here).
        const mat3 full = mul(ro, rotation_matrix(c.orientation));
        const double w = 0.5 * std::sqrt(1 + full[0] + full[4] + full[8]);
        c.orientation = {(full[7] - full[5]) / (4 * w), (full[2] - full[6]) / (4 * w), (full[3] - full[1]) / (4 * w), w};
        c.translation = op.apply(c.translation);
        calculate_fc(refl, f.model(), t, lookup_mode::trilinear, other);
        EXPECT_LT(max_rel_diff(base, other), 1e-4);
    }
}

TEST(MolecularTransform, BoxEdgesAndTableLimits) {
    model m(2);
    m[0].site = {-1.0, -3.0, 0.0};
    // Extents: 2 A along x (raised to 10, then doubled), 16 A along y, 31 A along z.
    m[1].site = {1.0, 13.0, 31.0};
    const vec3 e = transform_box_edges(m, 2.0);
    EXPECT_DOUBLE_EQ(e[0], 20.0);
    EXPECT_DOUBLE_EQ(e[1], 32.0);
    EXPECT_DOUBLE_EQ(e[2], 62.0);
    const vec3 e1 = transform_box_edges(m, 1.5);
    EXPECT_DOUBLE_EQ(e1[2], 46.5);
    const vec3 empty = transform_box_edges(model{}, 2.0);
    EXPECT_DOUBLE_EQ(empty[1], 20.0);

    const auto t = build_molecular_transform(m, 3.0, 2.0, 3.0);
    EXPECT_DOUBLE_EQ(t->box.a, 20.0);
    EXPECT_EQ(t->box.group().number, 1);
    // Smallest h with d(h,0,0) = a/h below 3 A: 20/7 = 2.86, 32/11 = 2.91,
    // 62/21 = 2.95.
    EXPECT_EQ(t->table.n_h, 2 * 7 + 1);
    EXPECT_EQ(t->table.n_k, 2 * 11 + 1);
    EXPECT_EQ(t->table.n_l, 21 + 2);
    EXPECT_EQ(t->table.at(0, 0, 0), complex_f(0, 0));
    // Filled strictly above the margin d_t = min(...) = 20/7, zero at and
    // below it.
    EXPECT_EQ(t->table.at(7, 0, 0), complex_f(0, 0));
    EXPECT_EQ(t->table.at(-7, 0, 0), complex_f(0, 0));
    EXPECT_NE(t->table.at(6, 0, 0), complex_f(0, 0));
    EXPECT_NE(t->table.at(0, 11, 0), complex_f(0, 0));   // 2.91 A, inside the margin
    EXPECT_NE(t->table.at(0, 0, 21), complex_f(0, 0));
    EXPECT_NE(t->table.at(1, 1, -1), complex_f(0, 0));
    EXPECT_EQ(t->table.at(7, 11, 21), complex_f(0, 0));
    EXPECT_EQ(t->table.at(6, 6, 12), complex_f(0, 0));    // d = 2.48 A
    EXPECT_NE(t->table.at(5, 5, 10), complex_f(0, 0));    // d = 2.98 A

    EXPECT_THROW(build_molecular_transform(m, 0.0, 2.0, 3.0), std::runtime_error);
    EXPECT_THROW(build_molecular_transform(m, 3.0, -1.0, 3.0), std::runtime_error);
}

TEST(MolecularTransform, StorePreparesAndReleasesSlots) {
    model_list models(3);
    for (int i = 0; i < 3; ++i) {
        atom a;
        a.site[0] = i;
        a.b = 20;
        models[i].push_back(a);
    }
    transform_store store;
    store.prepare_step(models, 0, 1, 6.0, 2.0, 3.0);
    EXPECT_EQ(store.size(), 3u);
    ASSERT_NE(store.get(0), nullptr);
    EXPECT_EQ(store.get(1), nullptr);
    const molecular_transform* first = store.get(0);
    store.prepare_step(models, 0, 2, 6.0, 2.0, 3.0);
    EXPECT_EQ(store.get(0), first);   // kept, not rebuilt
    EXPECT_NE(store.get(1), nullptr);
    store.prepare_step(models, 2, 1, 6.0, 2.0, 3.0);
    EXPECT_EQ(store.get(0), nullptr);
    EXPECT_EQ(store.get(1), nullptr);
    EXPECT_NE(store.get(2), nullptr);

    // A solution naming models beyond the store enlarges it.
    model_list more = models;
    more.resize(5, models[0]);
    solution s;
    s.placements.resize(2);
    s.placements[0].model = 4;
    s.placements[1].model = 0;
    store.prepare_solution(s, more, 6.0, 2.0, 3.0);
    EXPECT_EQ(store.size(), 5u);
    EXPECT_NE(store.get(4), nullptr);
    EXPECT_NE(store.get(0), nullptr);
    EXPECT_EQ(store.get(3), nullptr);
    s.placements[0].model = 5;
    EXPECT_THROW(store.prepare_solution(s, more, 6.0, 2.0, 3.0), std::logic_error);
    EXPECT_THROW(store.prepare_step(models, 2, 2, 6.0, 2.0, 3.0), std::logic_error);
}

// beta.pdb placed in the crystal cell of beta_blip.mtz: structure factors
// read from its transform against direct summation over atoms and operators.
TEST(MolecularTransform, BetaInP3221AgainstDirectSummation) {
    const std::string out = zelt_test::run_python(
        "import gemmi\n"
        "m = gemmi.read_mtz_file(" + std::string("'") + zelt_test::example("beta_blip.mtz").string() + "')\n"
        "c = m.cell\n"
        "print(m.spacegroup.number, c.a, c.b, c.c, c.alpha, c.beta, c.gamma)\n"
        "for h, k, l in zip(m.columns[0], m.columns[1], m.columns[2]): print(int(h), int(k), int(l))\n");
    std::istringstream in(out);
    int group;
    double a, b, c, al, be, ga;
    in >> group >> a >> b >> c >> al >> be >> ga;
    ASSERT_EQ(group, 154);
    const unit_cell cell(group, a, b, c, al, be, ga);
    reflection_set refl;
    int h, k, l;
    // Every second reflection of the file keeps the direct summation short.
    for (int row = 0; in >> h >> k >> l; ++row) {
        if (row % 2 != 0 || cell.d_spacing(h, k, l) < 3.0 || cell.d_spacing(h, k, l) > 80.0) continue;
        reflection r;
        r.set_indices({h, k, l});
        r.s2 = float(cell.s_squared(h, k, l));
        refl.push_back(r);
    }
    ASSERT_GT(refl.size(), 4000u);

    const std::vector<test_atom> atoms = read_pdb_centred(zelt_test::example("beta.pdb").string());
    ASSERT_EQ(atoms.size(), 2026u);
    fc_fixture f;
    f.cells = {cell};
    f.codes = {0};
    f.store.set(0, build_molecular_transform(to_model(atoms), 3.0, 2.0, 3.0));

    solution s;
    copy_placement p;
    p.orientation = {0.3, -0.5, 0.2, 0.8};
    p.translation = {0.13, 0.41, 0.07};
    s.placements = {p};
    std::vector<complex_f> tri, near;
    const fc_reflections fr(refl);
    calculate_fc_parallel(fr, f.model(), s, tri);
    calculate_fc(fr, f.model(), s, lookup_mode::nearest, near);

    std::map<std::string, std::array<double, 9>> sf;
    for (const char* e : {"C", "N", "O", "S"}) sf[e] = atomsf(e);
    const mat3 rot = rotation_matrix(p.orientation);
    const auto& ops = cell.group().operators;
    std::vector<vec3> placed;
    std::vector<std::array<double, 9>> coef;
    for (const auto& at : atoms) {
        const fractional x = cell.to_fractional(position(mul(rot, at.x))) + p.translation;
        for (const auto& op : ops) placed.push_back(op.apply(x).xyz);
    }
    std::vector<std::complex<double>> direct(refl.size());
    tbb::parallel_for(std::size_t(0), refl.size(), [&](std::size_t i) {
        const vec3 hv{double(refl[i].h), double(refl[i].k), double(refl[i].l)};
        const double s2 = cell.s_squared(hv[0], hv[1], hv[2]);
        std::map<std::string, double> f0;
        for (const auto& [e, cf] : sf) f0[e] = form_factor(cf, s2);
        std::complex<double> sum = 0;
        for (std::size_t j = 0; j < atoms.size(); ++j) {
            const double fa = atoms[j].occ * f0[atoms[j].element] * std::exp(-atoms[j].b * s2);
            for (std::size_t o = 0; o < ops.size(); ++o)
                sum += fa * std::polar(1.0, 2 * mt_pi * dot(hv, placed[j * ops.size() + o]));
        }
        direct[i] = sum;
    });

    const amplitude_stats t = compare(tri, direct), n = compare(near, direct);
    std::cout << "beta in P3221, " << refl.size() << " reflections: trilinear CC " << t.cc << " R " << t.r
              << " phase CC " << t.phase_cc << "; nearest CC " << n.cc << " R " << n.r << " phase CC " << n.phase_cc
              << "\n";
    EXPECT_GE(t.cc, 0.9);
    EXPECT_GE(t.phase_cc, 0.9);
    EXPECT_LT(t.r, 0.2);
    EXPECT_LT(n.cc, t.cc);
    EXPECT_GT(n.r, t.r);
}

}  // namespace
