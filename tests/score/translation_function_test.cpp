// The fast translation function against a brute-force evaluation of the same
// target (the structure factors of the whole candidate computed directly at
// each grid translation), its top peak on synthetic data made by direct
// summation over atoms, and on the bundled beta/BLIP data.
#include "score/translation_function.hpp"

#include "common/test_support.hpp"

#include <gtest/gtest.h>
#include <tbb/parallel_for.h>

#include <cmath>
#include <numeric>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "io/coordinates.hpp"
#include "io/reflection_files.hpp"
#include "transform/static_structure.hpp"

namespace {

using namespace zelt;

model random_model(int atoms, double radius, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-radius, radius);
    model m(static_cast<std::size_t>(atoms));
    for (atom& a : m) {
        for (double& v : a.site) v = u(gen);
        a.b = 15.0;
        a.element = static_cast<std::int16_t>(6 + gen() % 3);
    }
    return m;
}

quaternion random_orientation(std::mt19937& gen) {
    std::normal_distribution<double> n(0.0, 1.0);
    return {n(gen), n(gen), n(gen), n(gen)};
}

// A small crystal: every index to d_min in a half of reciprocal space, with
// random amplitudes and weights, and optionally a random fixed structure.
struct crystal {
    std::vector<unit_cell> cells;
    std::vector<int> codes{0};
    transform_store store;
    reflection_set refl;

    crystal(int group, double a, double b, double c, double gamma, double d_min, bool with_static,
            unsigned seed)
        : cells{unit_cell(group, a, b, c, 90.0, 90.0, gamma)} {
        std::mt19937 gen(seed);
        std::uniform_real_distribution<float> fo(1.0f, 100.0f), w(0.5f, 2.0f), st(-40.0f, 40.0f);
        const unit_cell& cell = cells[0];
        const int hm = int(a / d_min) + 1, km = int(b / d_min) + 1, lm = int(c / d_min) + 1;
        for (int h = -hm; h <= hm; ++h)
            for (int k = -km; k <= km; ++k)
                for (int l = 0; l <= lm; ++l) {
                    if (l == 0 && (k < 0 || (k == 0 && h <= 0))) continue;
                    if (cell.d_spacing(h, k, l) < d_min) continue;
                    reflection r;
                    r.set_indices({h, k, l});
                    r.f = fo(gen);
                    r.sigma = w(gen);
                    r.s2 = float(cell.s_squared(h, k, l));
                    if (with_static) {
                        r.static_re = st(gen);
                        r.static_im = st(gen);
                    }
                    refl.push_back(r);
                }
        store.set(0, build_molecular_transform(random_model(14, 5.0, seed + 1), d_min, 2.0, 3.0));
    }
    std::shared_ptr<const scorer_data> data() const {
        return std::make_shared<const scorer_data>(refl, cells, codes, store);
    }
};

// The target's factor of each |Fc|^2: w (Io/<Io> - 1)/<Io> / sum w, with <Io>
// the weighted mean of the reflection's shell (equal-count shells in order of
// resolution, N/200 of them, 1 to 20).
std::vector<double> intensity_factors(const scorer_data& d) {
    const std::size_t n = d.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return d.reflections.s2[a] < d.reflections.s2[b]; });
    const std::size_t shells = std::min<std::size_t>(20, std::max<std::size_t>(1, n / 200));
    const double w_total = std::accumulate(d.weights.begin(), d.weights.end(), 0.0);
    std::vector<double> c(n);
    for (std::size_t sh = 0; sh < shells; ++sh) {
        double ws = 0.0, wi = 0.0;
        for (std::size_t j = n * sh / shells; j < n * (sh + 1) / shells; ++j) {
            ws += d.weights[order[j]];
            wi += d.weights[order[j]] * std::pow(double(d.observed[order[j]]), 2);
        }
        for (std::size_t j = n * sh / shells; j < n * (sh + 1) / shells; ++j) {
            const std::size_t i = order[j];
            c[i] = d.weights[i] * (std::pow(double(d.observed[i]), 2) * ws / wi - 1.0) * ws / wi / w_total;
        }
    }
    return c;
}

// The target at one translation of placement `which`, from the candidate's
// structure factors as the scorer computes them.
double brute_force(const scorer_data& d, solution s, int which, const fractional& t) {
    s.placements[static_cast<std::size_t>(which)].translation = t;
    std::vector<complex_f> fc;
    calculate_fc(d.reflections, d.model(), s, lookup_mode::trilinear, fc);
    const std::vector<double> c = intensity_factors(d);
    double sum = 0.0;
    for (std::size_t i = 0; i < d.size(); ++i) sum += c[i] * std::norm(std::complex<double>(fc[i]));
    return sum;
}

fractional grid_translation(const translation_map& m, std::size_t idx) {
    const int i = int(idx % m.size[0]), j = int(idx / m.size[0] % m.size[1]),
              k = int(idx / m.size[0] / m.size[1]);
    fractional t{double(i) / m.size[0], double(j) / m.size[1], double(k) / m.size[2]};
    for (int a = 0; a < 3; ++a)
        if (m.size[a] == 1) t[a] = m.fixed[a];
    return t;
}

// Map values at a sample of grid points (the maximum among them) agree with
// brute force, to single-precision accuracy relative to the map's range (or,
// for a map that is flat, as in P1 with nothing fixed, relative to its level).
void expect_map_matches(const scorer_data& d, const translation_function& tf, const solution& s,
                        int which, std::array<bool, 3> fixed, const std::string& what) {
    translation_map m;
    tf.map(s, which, fixed, m);
    ASSERT_EQ(m.values.size(), std::size_t(m.size[0]) * m.size[1] * m.size[2]) << what;
    const auto [lo, hi] = std::minmax_element(m.values.begin(), m.values.end());
    const double range = std::max(double(*hi) - *lo, 1e-2 * std::abs(*hi));
    if (m.values.size() > 1) {
        ASSERT_GT(double(*hi) - *lo, 0.0) << what;
    }
    std::vector<std::size_t> points{std::size_t(hi - m.values.begin()), 0, m.values.size() - 1};
    std::mt19937 gen(5);
    for (int i = 0; i < 60; ++i) points.push_back(gen() % m.values.size());
    for (std::size_t p : points) {
        const double expected = brute_force(d, s, which, grid_translation(m, p));
        EXPECT_NEAR(m.values[p], expected, 2e-4 * range) << what << " at " << p;
    }
}

solution one_copy(std::mt19937& gen, float k = 0.0f, float b = 0.0f) {
    solution s;
    s.placements.resize(1);
    s.placements[0].orientation = random_orientation(gen);
    s.placements[0].translation = {0.37, 0.81, 0.13};
    s.k = k;
    s.b = b;
    return s;
}

struct group_case {
    int number;
    double a, b, c, gamma;
};

TEST(TranslationFunction, MapEqualsBruteForceInEveryGroupWithAndWithoutFixedStructure) {
    const group_case cases[] = {{1, 17.0, 19.0, 21.0, 90.0},  {4, 18.0, 16.0, 20.0, 90.0},
                                {19, 18.0, 20.0, 22.0, 90.0}, {154, 19.0, 19.0, 24.0, 120.0},
                                {5, 24.0, 18.0, 16.0, 90.0},  {23, 20.0, 22.0, 24.0, 90.0}};
    for (const group_case& g : cases)
        for (bool with_static : {false, true}) {
            const crystal x(g.number, g.a, g.b, g.c, g.gamma, 4.0, with_static, 11u + g.number);
            const auto data = x.data();
            const translation_function tf(data, 0.0);
            std::mt19937 gen(g.number);
            const std::string what = "group " + std::to_string(g.number) +
                                     (with_static ? " with" : " without") + " fixed structure";
            expect_map_matches(*data, tf, one_copy(gen, 0.6f, 40.0f), 0, {false, false, false}, what);
        }
}

TEST(TranslationFunction, OtherPlacementsCountAsFixedAndFixedAxesKeepTheCandidatesValue) {
    const crystal x(19, 18.0, 20.0, 22.0, 90.0, 4.0, false, 3);
    const auto data = x.data();
    const translation_function tf(data, 0.0);
    std::mt19937 gen(8);
    solution s = one_copy(gen);
    s.placements.push_back(s.placements[0]);
    s.placements[1].orientation = random_orientation(gen);
    s.placements[1].translation = {0.6, 0.2, 0.45};
    expect_map_matches(*data, tf, s, 1, {false, false, false}, "second copy searched");
    expect_map_matches(*data, tf, s, 0, {false, true, false}, "b fixed");
    expect_map_matches(*data, tf, s, 0, {true, false, true}, "a and c fixed");
    translation_map m;
    tf.map(s, 0, {false, true, false}, m);
    EXPECT_EQ(m.size[1], 1);
    EXPECT_DOUBLE_EQ(m.fixed[1], 0.81);
}

TEST(TranslationFunction, PermutedCellOfAPointGroupSearch) {
    crystal x(16, 18.0, 20.0, 22.0, 90.0, 4.0, true, 31);
    x.cells.emplace_back(17, 20.0, 22.0, 18.0, 90.0, 90.0, 90.0);   // P2221 with c along a
    x.codes.push_back(1);
    const auto data = x.data();
    const translation_function tf(data, 0.0);
    EXPECT_EQ(tf.grid_size(1), (std::array<int, 3>{16, 18, 14}));
    std::mt19937 gen(4);
    solution s = one_copy(gen);
    s.cell = 1;
    expect_map_matches(*data, tf, s, 0, {false, false, false}, "permuted cell");
}

TEST(TranslationFunction, ConcurrentCallsGiveTheSerialPeaks) {
    const crystal x(19, 18.0, 20.0, 22.0, 90.0, 4.0, true, 6);
    const translation_function tf(x.data(), 0.0);
    std::mt19937 gen(12);
    std::vector<solution> candidates;
    for (int i = 0; i < 64; ++i) candidates.push_back(one_copy(gen, 0.5f, 50.0f));
    std::vector<translation_peak> serial, parallel(candidates.size());
    for (const solution& s : candidates) serial.push_back(tf.peaks(s, 0, 1, {}).front());
    tbb::parallel_for(std::size_t(0), candidates.size(),
                      [&](std::size_t i) { parallel[i] = tf.peaks(candidates[i], 0, 1, {}).front(); });
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        EXPECT_EQ(parallel[i].translation, serial[i].translation);
        EXPECT_EQ(parallel[i].value, serial[i].value);
    }
}

TEST(TranslationFunction, PolarAxisIsNotSearchedWhenNothingIsFixed) {
    const crystal alone(4, 18.0, 16.0, 20.0, 90.0, 4.0, false, 21);
    const crystal fixed(4, 18.0, 16.0, 20.0, 90.0, 4.0, true, 21);
    std::mt19937 gen(2);
    const solution s = one_copy(gen);
    translation_map m;
    const auto data = alone.data();
    translation_function(data, 0.0).map(s, 0, {false, false, false}, m);
    EXPECT_EQ(m.size[1], 1);
    // The map is constant along b: brute force at another b agrees.
    solution moved = s;
    moved.placements[0].translation[1] = 0.3;
    expect_map_matches(*data, translation_function(data, 0.0), moved, 0, {false, false, false},
                       "polar axis, b moved");
    translation_function(fixed.data(), 0.0).map(s, 0, {false, false, false}, m);
    EXPECT_GT(m.size[1], 1);
}

TEST(TranslationFunction, ResolutionLimitLeavesOutReflectionsAndSetsTheGrid) {
    const crystal x(19, 18.0, 20.0, 22.0, 90.0, 3.0, true, 4);
    const auto data = x.data();
    const translation_function all(data, 0.0), low(data, 5.0);
    std::size_t beyond = 0;
    for (const reflection& r : x.refl) beyond += r.s2 > 1.0 / (4.0 * 25.0) * (1 + 1e-6);
    EXPECT_EQ(all.reflection_count(), x.refl.size());
    EXPECT_EQ(low.reflection_count() + beyond, x.refl.size());
    EXPECT_EQ(low.grid_size(0), (std::array<int, 3>{12, 12, 14}));   // 3 * edge / 5, made FFT-friendly
    EXPECT_THROW(translation_function(data, -1.0), std::runtime_error);
    std::mt19937 gen(1);
    EXPECT_THROW(all.peaks(one_copy(gen), 1, 1, {}), std::logic_error);
}

// Observed amplitudes of a structure by direct summation over its atoms
// under every operator (Gaussian atoms), independent of the model transform.
std::vector<std::complex<double>> direct_sum(const unit_cell& cell, const reflection_set& refl,
                                             const placed_model& frac_atoms) {
    std::vector<std::complex<double>> f(refl.size());
    for (std::size_t i = 0; i < refl.size(); ++i) {
        const vec3 h{double(refl[i].h), double(refl[i].k), double(refl[i].l)};
        const double s2 = cell.s_squared(h[0], h[1], h[2]);
        for (const placed_atom& a : frac_atoms)
            for (const symmetry_operator& op : cell.group().operators) {
                const double phi = 2.0 * M_PI * dot(h, op.apply(a.site).xyz);
                f[i] += a.element * std::exp(-(a.b + 10.0) * s2) * std::polar(1.0, phi);
            }
    }
    return f;
}

placed_model placed(const model& m, const quaternion& q, const fractional& t, const unit_cell& cell) {
    placed_model out;
    const mat3 r = rotation_matrix(q);
    for (const atom& a : m) out.push_back(place_atom(a, cell.to_fractional(mul(r, a.site)) + t));
    return out;
}

double torus_distance(const fractional& a, const fractional& b) {
    double worst = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double d = a[i] - b[i] - std::round(a[i] - b[i]);
        worst = std::max(worst, std::abs(d));
    }
    return worst;
}

// Grid points not below any of their 26 neighbours, counted one by one.
std::size_t local_maxima(const translation_function& tf, const solution& s) {
    translation_map m;
    tf.map(s, 0, {}, m);
    const auto [nx, ny, nz] = m.size;
    auto at = [&](int i, int j, int k) {
        return m.values[std::size_t((i + nx) % nx + nx * ((j + ny) % ny + ny * ((k + nz) % nz)))];
    };
    std::size_t count = 0;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                bool top = true;
                for (int n = 0; n < 27; ++n)
                    top = top && at(i + n % 3 - 1, j + n / 3 % 3 - 1, k + n / 9 - 1) <= at(i, j, k);
                count += top;
            }
    return count;
}

TEST(TranslationFunction, TopPeakLiesAtTheTrueTranslation) {
    // A model of 30 atoms placed twice in P3221: the first copy fixed (its
    // structure factors are the static contribution), the second searched.
    crystal x(154, 34.0, 34.0, 40.0, 120.0, 3.5, false, 9);
    const unit_cell& cell = x.cells[0];
    const model m = random_model(30, 7.0, 77);
    x.store.set(0, build_molecular_transform(m, 3.5, 2.0, 3.0));
    const quaternion q1{0.1, 0.5, -0.3, 0.8}, q2{-0.4, 0.2, 0.6, 0.5};
    const fractional t1{0.12, 0.55, 0.31}, t2{0.63, 0.27, 0.84};
    const auto f1 = direct_sum(cell, x.refl, placed(m, q1, t1, cell));
    const auto f2 = direct_sum(cell, x.refl, placed(m, q2, t2, cell));
    for (std::size_t i = 0; i < x.refl.size(); ++i) {
        x.refl[i].f = float(std::abs(f1[i] + f2[i]));
        x.refl[i].sigma = 1.0f;
    }
    solution s;
    s.placements.resize(1);
    s.placements[0].orientation = q2;
    {
        const translation_function tf(x.data(), 0.0);   // nothing fixed: a symmetric map
        const auto peaks = tf.peaks(s, 0, 3, {});
        ASSERT_EQ(peaks.size(), 3u);
        EXPECT_GE(peaks[0].value, peaks[1].value);
        EXPECT_GE(peaks[1].value, peaks[2].value);
    }
    for (std::size_t i = 0; i < x.refl.size(); ++i) {
        x.refl[i].static_re = float(f1[i].real());
        x.refl[i].static_im = float(f1[i].imag());
    }
    const translation_function tf(x.data(), 0.0);
    const auto peaks = tf.peaks(s, 0, 1000, {});
    EXPECT_EQ(peaks.size(), local_maxima(tf, s));   // every peak of the map, each once
    ASSERT_GE(peaks.size(), 2u);
    EXPECT_LT(torus_distance(peaks[0].translation, t2), 0.01);
    for (std::size_t i = 1; i < peaks.size(); ++i) EXPECT_GE(peaks[i - 1].value, peaks[i].value);
    for (const translation_peak& p : peaks)
        for (double c : p.translation) {
            EXPECT_GE(c, 0.0);
            EXPECT_LT(c, 1.0);
        }
    // The same placement found with c given.
    s.placements[0].translation = {0.0, 0.0, t2[2]};
    const auto sliced = tf.peaks(s, 0, 1, {false, false, true});
    ASSERT_EQ(sliced.size(), 1u);
    EXPECT_LT(torus_distance(sliced[0].translation, t2), 0.01);
}

// The bundled data: beta fixed at its reference placement, BLIP (chain B of
// the reference, so in its correct orientation) searched.
model reference_chain(char chain) {
    std::istringstream text(zelt_test::reference_atoms(chain));
    return read_atoms(text);
}

TEST(TranslationFunction, PlacesBlipAgainstFixedBetaAtFiveAndThreeAngstrom) {
    const std::string mtz = zelt_test::example("beta_blip.mtz").string();
    std::vector<unit_cell> cells = read_cell(mtz);
    std::string label;
    reflection_set refl = read_reflections(cells[0], 80.0, 3.0, mtz, "", label);
    for (reflection& r : refl) {
        r.sigma = 1.0f;
        r.s2 = float(cells[0].s_squared(r.h, r.k, r.l));
    }
    placed_model beta;
    for (const atom& a : reference_chain('A')) beta.push_back(place_atom(a, cells[0].to_fractional(a.site)));
    static_contribution(cells[0], {beta}, 0, refl, 3.0, 3.0);
    model blip = reference_chain('B');
    position centre{0, 0, 0};
    for (const atom& a : blip) centre = centre + a.site / static_cast<double>(blip.size());
    for (atom& a : blip) a.site = a.site - centre;
    const fractional truth = cells[0].to_fractional(centre);
    transform_store store;
    store.set(0, build_molecular_transform(blip, 3.0, 2.0, 3.0));
    const std::vector<int> codes{0};
    const auto data = std::make_shared<const scorer_data>(refl, cells, codes, store);
    solution s;
    s.placements.resize(1);
    for (double d : {5.0, 3.0}) {
        const translation_function tf(data, d);
        const auto peaks = tf.peaks(s, 0, 2, {});
        ASSERT_EQ(peaks.size(), 2u);
        EXPECT_LT(torus_distance(peaks[0].translation, truth), 0.01) << "at " << d << " A";
        std::cout << "BLIP at " << d << " A: top peak " << torus_distance(peaks[0].translation, truth)
                  << " from the reference, value " << peaks[0].value << " (next " << peaks[1].value
                  << ")\n";
    }
}

}  // namespace
