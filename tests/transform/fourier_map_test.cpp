// Density maps: painting against a brute-force painting written here,
// structure factors of a real protein against a direct summation over atoms
// and symmetry operators (data prepared by gemmi), the scattering table
// against gemmi's, and the failures of the map.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/test_support.hpp"
#include "crystal/unit_cell.hpp"
#include "transform/fourier_map.hpp"
#include "transform/scattering.hpp"

namespace {

using zelt::fourier_map;
using zelt::unit_cell;
using zelt::vec3;
using zelt::fractional;
using cd = std::complex<double>;
constexpr double pi = 3.141592653589793238462643383279;
constexpr double huge = std::numeric_limits<double>::max();

// f(s^2) from nine coefficients a1 b1 .. a4 b4 c.
double form_factor(const double* r, double s2) {
    double f = r[8];
    for (int i = 0; i < 4; ++i) f += r[2 * i] * std::exp(-r[2 * i + 1] * s2);
    return f;
}

// The atom's density as the sum of five Gaussians, widths b_i + B + B_add
// (raised to 1 A^2 when narrower), written out independently of the map.
struct gaussians {
    double amp[5], expo[5];
    gaussians(int element, double q, double b, double b_add) {
        const auto& row = zelt::scattering_table[std::min(std::max(element, 0), 98)];
        for (int i = 0; i < 5; ++i) {
            double w = (i < 4 ? row[2 * i + 1] : 0.0) + b + b_add;
            if (!(w >= 1.0)) w = 1.0;
            amp[i] = q * (i < 4 ? row[2 * i] : row[8]) * std::pow(4 * pi / w, 1.5);
            expo[i] = 4 * pi * pi / w;
        }
    }
    double operator()(double r2) const {
        double s = 0;
        for (int i = 0; i < 5; ++i) s += amp[i] * std::exp(-expo[i] * r2);
        return s;
    }
    double cutoff() const {
        const double rho0 = (*this)(0.0);
        double r = 0.1;
        while ((*this)(r * r) > 0 && rho0 / (*this)(r * r) < 200.0) r += 0.1;
        return r;
    }
};

// Paints by visiting every grid point and every lattice image of every
// symmetry copy (positions reduced into the cell first).
std::vector<double> brute_force_paint(const fourier_map& map, const fractional& frac, double q, double b,
                                      int element) {
    const gaussians g(element, q, b, map.b_add());
    const double rc = g.cutoff();
    const unit_cell& cell = map.cell();
    const int nx = map.nx(), ny = map.ny(), nz = map.nz();
    std::vector<double> grid(static_cast<std::size_t>(nx) * ny * nz, 0.0);
    for (const auto& op : cell.group().operators) {
        fractional x = op.apply(frac);
        for (double& v : x) v -= std::floor(v);
        for (int i = 0; i < nx; ++i)
            for (int j = 0; j < ny; ++j)
                for (int k = 0; k < nz; ++k)
                    for (int u = -1; u <= 1; ++u)
                        for (int v = -1; v <= 1; ++v)
                            for (int w = -1; w <= 1; ++w) {
                                const zelt::position d = cell.to_orthogonal({double(i) / nx - x[0] - u,
                                                                   double(j) / ny - x[1] - v,
                                                                   double(k) / nz - x[2] - w});
                                const double d2 = zelt::dot(d.xyz, d.xyz);
                                if (d2 <= rc * rc) grid[i + nx * (j + ny * std::size_t(k))] += g(d2);
                            }
    }
    return grid;
}

double max_abs(const std::vector<double>& v) {
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

TEST(fourier_map, painting_matches_brute_force_in_every_kind_of_cell) {
    struct row {
        int group;
        double a, b, c, alpha, beta, gamma;
        fractional position;
        double b_iso;
        int element;
    };
    const row rows[] = {
        {1, 20, 24, 18, 90, 90, 90, {0.31, 0.62, 0.13}, 20, 6},
        {1, 20, 24, 18, 90, 90, 90, {-0.013, 0.998, 1.04}, 15, 8},  // wraps on every axis
        {1, 22, 22, 19, 90, 90, 120, {-0.21, 0.42, -0.37}, 30, 16},
        {1, 21, 23, 19, 64, 75, 118, {-0.02, -0.41, 0.52}, 12, 7},   // oblique: box must hold the sphere
        {1, 21, 23, 19, 111, 103, 62, {0.45, -0.04, -0.61}, 25, 26},
        {19, 22, 20, 24, 90, 90, 90, {0.11, 0.23, 0.87}, 18, 6},     // four copies
        {154, 22, 22, 21, 90, 90, 120, {0.31, 0.08, 0.93}, 25, 8},   // six copies, negative images
        {5, 30, 20, 22, 90, 104, 90, {0.17, 0.71, -0.12}, 20, 6},    // C-centred
    };
    for (const row& r : rows) {
        const unit_cell cell(r.group, r.a, r.b, r.c, r.alpha, r.beta, r.gamma);
        fourier_map map(cell, 3.0, huge, 2.5);
        map.add_atom(r.position, 0.8, r.b_iso, r.element);
        const std::vector<double> expect = brute_force_paint(map, r.position, 0.8, r.b_iso, r.element);
        const double peak = max_abs(expect);
        ASSERT_GT(peak, 0.0);
        double worst = 0;
        for (std::size_t i = 0; i < expect.size(); ++i)
            worst = std::max(worst, std::fabs(expect[i] - map.real_part()[i]));
        EXPECT_LT(worst, 1e-5 * peak) << "space group " << r.group << " cell " << r.a << " " << r.alpha;
        EXPECT_EQ(max_abs(std::vector<double>(map.imag_part().begin(), map.imag_part().end())), 0.0);
        EXPECT_NEAR(map.cutoff_radius(0.8, r.b_iso, r.element),
                    gaussians(r.element, 0.8, r.b_iso, map.b_add()).cutoff(), 1e-9);
    }
}

TEST(fourier_map, lattice_translations_paint_the_same_grid) {
    const unit_cell cell(1, 21, 23, 19, 64, 75, 118);
    const fractional x = {0.013, 0.47, 0.021};
    fourier_map ref(cell, 3.0, huge, 2.5);
    ref.add_atom(x, 1.0, 20, 6);
    for (vec3 shift : {vec3{-1, 0, 0}, vec3{0, -1, -1}, vec3{2, -3, 1}, vec3{-1, -1, -1}}) {
        fourier_map moved(cell, 3.0, huge, 2.5);
        moved.add_atom(x + fractional(shift), 1.0, 20, 6);
        for (std::size_t i = 0; i < ref.real_part().size(); ++i)
            ASSERT_NEAR(moved.real_part()[i], ref.real_part()[i], 1e-5f * (1 + ref.real_part()[i]))
                << "shift " << shift[0] << " " << shift[1] << " " << shift[2] << " point " << i;
    }
}

TEST(fourier_map, grid_size_b_add_and_scale) {
    struct row {
        double a, b, c, sampling, d_min;
        int nx, ny, nz;
        double b_add;
    };
    const row rows[] = {
        {45, 49, 22, 3.0, 3.0, 48, 50, 24, 74.0},
        {98, 13, 1, 3.0, 3.0, 98, 14, 2, 74.0},
        {30, 30, 30, 2.0, 3.0, 20, 20, 20, 620.0},  // m = 0 raised to 0.1
        {30, 30, 30, 6.0, 3.0, 60, 60, 60, 0.5},
        {10, 10, 10, 8.0, 1.0, 80, 80, 80, 0.0},    // negative B_add becomes 0
        {75.11, 75.11, 133.31, 3.0, 3.0, 80, 80, 140, 74.0},
    };
    for (const row& r : rows) {
        const unit_cell cell(1, r.a, r.b, r.c, 90, 90, 90);
        const fourier_map map(cell, r.sampling, huge, r.d_min);
        EXPECT_EQ(map.nx(), r.nx);
        EXPECT_EQ(map.ny(), r.ny);
        EXPECT_EQ(map.nz(), r.nz);
        EXPECT_NEAR(map.b_add(), r.b_add, 1e-9) << r.sampling << " " << r.d_min;
        EXPECT_DOUBLE_EQ(map.scale(), r.a * r.b * r.c / (r.nx * r.ny * r.nz));
        EXPECT_EQ(map.real_part().size(), std::size_t(r.nx) * r.ny * r.nz);
        EXPECT_FALSE(map.transformed());
    }
}

template <class F>
std::string map_failure_of(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no failure";
}

TEST(fourier_map, failures) {
    const unit_cell cell(1, 20, 20, 20, 90, 90, 90);
    fourier_map map(cell, 3.0, 15.0, 2.0);
    map.add_atom({0.5, 0.5, 0.5}, 1.0, 20, 6);
    map.transform();
    const std::string range = "reflection out of resolution range in fourier_map";
    EXPECT_THROW(map.structure_factor(0, 0, 0), std::invalid_argument);
    EXPECT_EQ(map_failure_of([&] { map.structure_factor(0, 0, 0); }), range);       // d infinite
    EXPECT_EQ(map_failure_of([&] { map.structure_factor(11, 0, 0); }), range);      // d = 1.82 < 2
    EXPECT_EQ(map_failure_of([&] { map.structure_factor(1, 0, 0, 16.0); }), range);  // above d_max
    EXPECT_EQ(map_failure_of([&] { map.structure_factor(1, 0, 0, std::nan("")); }), range);
    EXPECT_EQ(map_failure_of([&] { map.structure_factor(10, 0, 0, 2.0); }), "no failure");  // d = d_min
    EXPECT_EQ(map_failure_of([&] { map.structure_factor(2, 0, 0, 15.0); }), "no failure");

    // A cell edge for which none of the 100 even candidates is a product of 2, 3, 5, 7.
    const unit_cell wide(1, 6482, 10, 10, 90, 90, 90);
    EXPECT_THROW(fourier_map(wide, 3.0, huge, 3.0), std::runtime_error);
    EXPECT_EQ(map_failure_of([&] { fourier_map m(wide, 3.0, huge, 3.0); }),
              "fourier_map: no FFT-friendly grid size for 6482 points along a");
    EXPECT_NE(map_failure_of([&] { fourier_map m(cell, 3.0, huge, 0.0); }).find("cannot size the grid along a"),
              std::string::npos);
    EXPECT_NE(map_failure_of([&] { fourier_map m(cell, -3.0, huge, 2.0); }).find("cannot size the grid"),
              std::string::npos);
    EXPECT_EQ(map_failure_of([&] { map.add_atom({std::nan(""), 0, 0}, 1.0, 20, 6); }),
              "atom position out of range in fourier_map");
    EXPECT_EQ(map_failure_of([&] { map.add_atom({0, -1e300, 0}, 1.0, 20, 6); }),
              "atom position out of range in fourier_map");
}

double grid_sum(const fourier_map& m) {
    double s = 0;
    for (float v : m.real_part()) s += v;
    return s;
}

TEST(fourier_map, occupancy_symmetry_copies_and_reuse) {
    const unit_cell p1(1, 22, 20, 24, 90, 90, 90);
    const unit_cell p212121(19, 22, 20, 24, 90, 90, 90);
    const fractional x = {0.11, 0.23, 0.87};

    fourier_map zero(p1, 3.0, huge, 2.5);
    zero.add_atom(x, 0.0, 20, 6);
    zero.add_atom(x, 0.0000099, 20, 6);
    EXPECT_EQ(grid_sum(zero), 0.0);
    zero.add_atom(x, 0.00001, 20, 6);
    EXPECT_GT(grid_sum(zero), 0.0);

    fourier_map one(p1, 3.0, huge, 2.5), half(p1, 3.0, huge, 2.5), four(p212121, 3.0, huge, 2.5);
    one.add_atom(x, 1.0, 20, 6);
    half.add_atom(x, 0.5, 20, 6);
    four.add_atom(x, 1.0, 20, 6);
    EXPECT_NEAR(grid_sum(half), 0.5 * grid_sum(one), 1e-5 * grid_sum(one));
    EXPECT_NEAR(grid_sum(four), 4.0 * grid_sum(one), 1e-5 * grid_sum(four));
    // The integral of the painted density is nearly the 6 electrons of carbon
    // (the 1/200 cut-off drops a little over one per cent).
    EXPECT_NEAR(grid_sum(one) * one.scale(), 6.0, 0.12);

    // Adding to a transformed map starts a new, empty map.
    fourier_map reused(p1, 3.0, huge, 2.5);
    reused.add_atom({0.7, 0.1, 0.4}, 1.0, 30, 8);
    reused.transform();
    EXPECT_TRUE(reused.transformed());
    reused.add_atom(x, 1.0, 20, 6);
    EXPECT_FALSE(reused.transformed());
    EXPECT_EQ(reused.real_part(), one.real_part());
    for (float v : reused.imag_part()) ASSERT_EQ(v, 0.0f);
}

TEST(fourier_map, elements_beyond_the_table_and_without_scattering) {
    const unit_cell cell(1, 20, 20, 20, 90, 90, 90);
    const fractional x = {0.4, 0.4, 0.4};
    fourier_map cf(cell, 3.0, huge, 2.5);
    cf.add_atom(x, 1.0, 20, 98);
    for (int element : {99, 105, 112, 30000}) {
        fourier_map heavy(cell, 3.0, huge, 2.5);
        heavy.add_atom(x, 1.0, 20, element);
        EXPECT_EQ(heavy.real_part(), cf.real_part()) << element;
    }
    for (int element : {0, -1, -32768}) {
        fourier_map none(cell, 3.0, huge, 2.5);
        none.add_atom(x, 1.0, 20, element);  // must neither hang nor paint
        EXPECT_EQ(grid_sum(none), 0.0) << element;
    }
}

// An atom at the origin of a P1 cell has F(h) = q f(s) exp(-B s^2), real and
// the same for h and -h.
TEST(fourier_map, single_atom_transform_is_its_form_factor) {
    const unit_cell cell(1, 24, 26, 22, 90, 90, 90);
    for (int element : {1, 6, 7, 16, 26, 92}) {
        fourier_map map(cell, 3.0, huge, 2.0);
        map.add_atom({0, 0, 0}, 0.9, 15.0, element);
        map.transform();
        const auto& row = zelt::scattering_table[element];
        double worst = 0;
        for (int h = -12; h <= 12; h += 3)
            for (int k = -13; k <= 13; k += 2)
                for (int l = 0; l <= 11; ++l) {
                    const double d = cell.d_spacing(h, k, l);
                    if (!(d >= 2.0) || std::isinf(d)) continue;
                    const double s2 = 0.25 / (d * d);
                    const double expect = 0.9 * form_factor(row.data(), s2) * std::exp(-15.0 * s2);
                    const std::complex<float> f = map.structure_factor(h, k, l);
                    const std::complex<float> g = map.structure_factor(-h, -k, -l);
                    worst = std::max(worst, std::abs(cd(f) - expect));
                    EXPECT_NEAR(std::abs(cd(f) - cd(g)), 0.0, 1e-4 * (1 + std::abs(expect)));
                }
        // Within three per cent of f(0): the 1/200 cut-off of the blob drops
        // a little of the broad Gaussians, most for the heavy atoms.
        EXPECT_LT(worst, 0.03 * 0.9 * form_factor(row.data(), 0.0)) << "element " << element;
    }
}

// Widths b_i + B + B_add that are zero or negative (B_add is 0 on a fine grid)
// are raised to a floor: the map stays finite and close to the atom's f(s).
TEST(fourier_map, atoms_without_a_finite_gaussian_stay_finite) {
    const unit_cell cell(1, 12, 12, 12, 90, 90, 90);
    for (double b : {0.0, -5.0, -300.0, std::nan("")}) {
        fourier_map map(cell, 8.0, huge, 1.5);
        ASSERT_EQ(map.b_add(), 0.0);
        map.add_atom({0.5, 0.5, 0.5}, 1.0, b, 7);
        for (float v : map.real_part()) ASSERT_TRUE(std::isfinite(v)) << "B=" << b;
        EXPECT_GT(grid_sum(map), 0.0) << "B=" << b;
        map.transform();
        for (int h = 1; h <= 8; ++h) {
            const std::complex<float> f = map.structure_factor(h, 0, 0);
            ASSERT_TRUE(std::isfinite(f.real()) && std::isfinite(f.imag())) << "B=" << b;
        }
        // At low resolution the atom still scatters most of nitrogen's 7
        // electrons (the narrow central peak makes the 1/200 cut-off drop
        // part of the broadest Gaussian).
        EXPECT_NEAR(std::abs(map.structure_factor(1, 0, 0)), 6.0, 1.0) << "B=" << b;
    }
}

// The scattering table against gemmi's copy of the same International
// Tables coefficients, element by element.
TEST(scattering_table, matches_gemmi_for_every_element) {
    const std::string out = zelt_test::run_python(
        "import gemmi\n"
        "for z in range(1, 99):\n"
        "    c = gemmi.Element(z).it92\n"
        "    print(z, *[v for ab in zip(c.a, c.b) for v in ab], c.c)\n");
    std::istringstream in(out);
    int count = 0, z;
    while (in >> z) {
        double v[9];
        for (double& x : v) in >> x;
        // The two copies of the tables differ in one printed digit of
        // terbium's constant (3.58224 here, 3.58324 in gemmi).
        if (z == 65) v[8] -= 0.001;
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(zelt::scattering_table[z][i], v[i], 2e-5 * (1 + std::fabs(v[i])))
                << "element " << z << " value " << i;
        ++count;
    }
    EXPECT_EQ(count, 98);
    const zelt::scattering_row hydrogen = {0.493002, 10.5109, 0.322912, 26.1257, 0.140191,
                                           3.14236,  0.04081, 57.7997,  0.003038};
    EXPECT_EQ(zelt::scattering_table[1], hydrogen);
    for (double x : zelt::scattering_table[0]) EXPECT_EQ(x, 0.0);
    // f(0) is close to the number of electrons of each neutral atom.
    for (int e = 1; e <= 98; ++e) EXPECT_NEAR(zelt::scattering_factor(e, 0.0), e, 0.05 * e + 0.01) << e;
    EXPECT_EQ(zelt::scattering_factor(112, 0.1), zelt::scattering_factor(98, 0.1));
    EXPECT_EQ(zelt::scattering_factor(-4, 0.1), 0.0);
}

// The beta-lactamase model in the P3221 cell of the beta-blip data: the
// map's structure factors to 3 A against a direct sum over every atom and
// every symmetry operator, with gemmi's cell, operators, fractional
// coordinates and form factors.
TEST(fourier_map, protein_structure_factors_match_a_direct_summation) {
    const std::string script =
        "import gemmi\n"
        "mtz = gemmi.read_mtz_file('beta_blip.mtz')\n"
        "c = mtz.cell\n"
        "print('cell', c.a, c.b, c.c, c.alpha, c.beta, c.gamma, mtz.spacegroup.number)\n"
        "for op in mtz.spacegroup.operations():\n"
        "    print('op', *[x / op.DEN for r in op.rot for x in r], *[t / op.DEN for t in op.tran])\n"
        "st = gemmi.read_structure('beta.pdb')\n"
        "els = set()\n"
        "for ch in st[0]:\n"
        "    for res in ch:\n"
        "        for a in res:\n"
        "            f = c.fractionalize(a.pos)\n"
        "            z = a.element.atomic_number\n"
        "            els.add(z)\n"
        "            print('atom', f.x, f.y, f.z, a.occ, a.b_iso, z)\n"
        "for z in sorted(els):\n"
        "    it = gemmi.Element(z).it92\n"
        "    print('el', z, *[v for ab in zip(it.a, it.b) for v in ab], it.c)\n"
        "cols = [mtz.column_with_label(x) for x in 'HKL']\n"
        "for i, (h, k, l) in enumerate(zip(*cols)):\n"
        "    if i % 3 == 0:\n"
        "        print('hkl', int(h), int(k), int(l), c.calculate_d([int(h), int(k), int(l)]))\n";
    std::istringstream in(zelt_test::run_python(script, zelt_test::example("").string()));

    struct op_t { double r[9], t[3]; };
    struct atom_t { fractional x; double q, b; int z; };
    struct refl_t { int h, k, l; double d; };
    std::vector<op_t> ops;
    std::vector<atom_t> atoms;
    std::vector<refl_t> refls;
    double form[120][9] = {};
    double a = 0, b = 0, c = 0, al = 0, be = 0, ga = 0;
    int group = 0;
    std::string tag;
    while (in >> tag) {
        if (tag == "cell") {
            in >> a >> b >> c >> al >> be >> ga >> group;
        } else if (tag == "op") {
            op_t o;
            for (double& v : o.r) in >> v;
            for (double& v : o.t) in >> v;
            ops.push_back(o);
        } else if (tag == "atom") {
            atom_t t;
            in >> t.x[0] >> t.x[1] >> t.x[2] >> t.q >> t.b >> t.z;
            atoms.push_back(t);
        } else if (tag == "el") {
            int z;
            in >> z;
            for (double& v : form[z]) in >> v;
        } else if (tag == "hkl") {
            refl_t r;
            in >> r.h >> r.k >> r.l >> r.d;
            refls.push_back(r);
        }
    }
    ASSERT_EQ(group, 154);
    ASSERT_EQ(ops.size(), 6u);
    ASSERT_EQ(atoms.size(), 2026u);
    ASSERT_GT(refls.size(), 2900u);

    const unit_cell cell(group, a, b, c, al, be, ga);
    fourier_map map(cell, 3.0, huge, 3.0);
    for (const atom_t& t : atoms) map.add_atom(t.x, t.q, t.b, t.z);
    map.transform();

    // Every symmetry copy of every atom, once.
    std::vector<vec3> copies;
    std::vector<const atom_t*> owner;
    for (const atom_t& t : atoms)
        for (const op_t& o : ops) {
            copies.push_back({o.r[0] * t.x[0] + o.r[1] * t.x[1] + o.r[2] * t.x[2] + o.t[0],
                              o.r[3] * t.x[0] + o.r[4] * t.x[1] + o.r[5] * t.x[2] + o.t[1],
                              o.r[6] * t.x[0] + o.r[7] * t.x[1] + o.r[8] * t.x[2] + o.t[2]});
            owner.push_back(&t);
        }

    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, diff2 = 0, norm2 = 0;
    for (const refl_t& r : refls) {
        const double s2 = 0.25 / (r.d * r.d);
        double f[120];
        for (int z = 0; z < 120; ++z) f[z] = form_factor(form[z], s2);
        cd direct = 0;
        for (std::size_t i = 0; i < copies.size(); i += ops.size()) {
            const atom_t& t = *owner[i];
            const double amplitude = t.q * f[t.z] * std::exp(-t.b * s2);
            for (std::size_t j = i; j < i + ops.size(); ++j) {
                const double phase = 2 * pi * (r.h * copies[j][0] + r.k * copies[j][1] + r.l * copies[j][2]);
                direct += std::polar(amplitude, phase);
            }
        }
        const cd mapped = map.structure_factor(r.h, r.k, r.l);
        const double x = std::abs(direct), y = std::abs(mapped);
        sx += x;
        sy += y;
        sxx += x * x;
        syy += y * y;
        sxy += x * y;
        diff2 += std::norm(mapped - direct);
        norm2 += std::norm(direct);
    }
    const double n = static_cast<double>(refls.size());
    const double corr = (sxy - sx * sy / n) / std::sqrt((sxx - sx * sx / n) * (syy - sy * sy / n));
    EXPECT_GE(corr, 0.999);
    EXPECT_NEAR(sy / sx, 1.0, 0.01);                 // absolute scale: V/N and B_add
    EXPECT_LT(std::sqrt(diff2 / norm2), 0.05);       // phases agree as well
    RecordProperty("amplitude_correlation", std::to_string(corr));
    std::printf("amplitude correlation %.6f, scale %.5f, complex rms difference %.5f over %zu reflections\n",
                corr, sy / sx, std::sqrt(diff2 / norm2), refls.size());
}

}  // namespace
