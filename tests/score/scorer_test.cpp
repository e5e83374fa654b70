// Scores of candidates: correlation and R-factor of observed amplitudes
// against calculated ones that the test knows exactly (identity placement of
// a hand-made transform in its own box reads the table entries).
#include "score/scorer.hpp"

#include "common/test_support.hpp"

#include <gtest/gtest.h>
#include <tbb/parallel_for.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <random>
#include <stdexcept>
#include <string>

namespace {

using namespace zelt;

struct setup {
    std::vector<unit_cell> cells{unit_cell(1, 31.0, 27.0, 23.0, 90.0, 90.0, 90.0)};
    std::vector<int> codes{0};
    transform_store store;
    reflection_set refl;
    std::vector<double> fc;   // |table entry| of each reflection

    setup() {
        const int n = 6;
        transform_table t(n, n, n);
        std::mt19937 gen(17);
        std::uniform_real_distribution<float> u(-50.0f, 50.0f), fo(0.0f, 100.0f), w(0.1f, 4.0f);
        for (auto& e : t.entries) e = {u(gen), u(gen)};
        // Friedel mates in the planes that a rotated point may read from either side.
        for (int h = -n; h <= n; ++h)
            for (int k = -n; k <= n; ++k) {
                t.at(h, k, -1) = std::conj(t.at(-h, -k, 1));
                if (h < 0 || (h == 0 && k < 0)) t.at(h, k, 0) = std::conj(t.at(-h, -k, 0));
            }
        t.at(0, 0, 0) = 0;
        for (int h = -n; h <= n; ++h)
            for (int k = -n; k <= n; ++k)
                for (int l = 1; l <= n; ++l) {
                    reflection r;
                    r.set_indices({h, k, l});
                    const double a = std::abs(std::complex<double>(t.at(h, k, l)));
                    r.f = float(0.7 * a + fo(gen));   // correlated, with noise
                    r.sigma = w(gen);                 // the scoring weight
                    r.s2 = float(cells[0].s_squared(h, k, l));
                    refl.push_back(r);
                    fc.push_back(a);
                }
        store.set(0, std::make_unique<molecular_transform>(cells[0], std::move(t)));
    }
    std::shared_ptr<const scorer_data> data() const {
        return std::make_shared<const scorer_data>(refl, cells, codes, store);
    }
};

solution one_copy() {
    solution s;
    s.placements.resize(1);
    return s;
}

double textbook_cc(const reflection_set& r, const std::vector<double>& y) {
    double w = 0, mx = 0, my = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        w += r[i].sigma;
        mx += r[i].sigma * double(r[i].f);
        my += r[i].sigma * y[i];
    }
    mx /= w;
    my /= w;
    double sxx = 0, syy = 0, sxy = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        sxx += r[i].sigma * (r[i].f - mx) * (r[i].f - mx);
        syy += r[i].sigma * (y[i] - my) * (y[i] - my);
        sxy += r[i].sigma * (r[i].f - mx) * (y[i] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

double textbook_r(const reflection_set& r, const std::vector<double>& y, bool weighted_scale) {
    double so = 0, sc = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const double w = weighted_scale ? r[i].sigma : 1.0;
        so += w * r[i].f;
        sc += w * y[i];
    }
    const double k = so / sc;
    double num = 0, den = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        num += r[i].sigma * std::fabs(r[i].f - k * y[i]);
        den += r[i].sigma * r[i].f;
    }
    return num / den;
}

TEST(Scorer, CorrelationMatchesTextbookWeightedPearson) {
    const setup s;
    const auto data = s.data();
    ASSERT_EQ(data->size(), s.refl.size());
    const double want = textbook_cc(s.refl, s.fc);
    std::cout << "weighted CC " << want << " over " << s.refl.size() << " reflections\n";
    ASSERT_GT(want, 0.3);
    ASSERT_LT(want, 0.95);
    const solution c = one_copy();
    EXPECT_NEAR((scorer<pearson<float, double>, 1, 0>(data)(c)), want, 1e-6);
    EXPECT_NEAR((scorer<pearson<float, double>, 0, 0>(data)(c)), want, 1e-6);
    EXPECT_NEAR(data->correlation(c), want, 1e-6);
    // Serial and parallel routines agree to the last bit.
    EXPECT_EQ((scorer<pearson<float, double>, 1, 0>(data)(c)), data->correlation(c));
}

TEST(Scorer, BabinetFactorScalesEachAmplitude) {
    const setup s;
    const auto data = s.data();
    solution c = one_copy();
    c.k = 0.6f;
    c.b = 150.0f;
    std::vector<double> y = s.fc;
    for (std::size_t i = 0; i < y.size(); ++i) y[i] *= std::fabs(1.0 - 0.6 * std::exp(-150.0 * s.refl[i].s2));
    EXPECT_NEAR(data->correlation(c), textbook_cc(s.refl, y), 1e-6);
    EXPECT_NEAR(data->r_factor(c), textbook_r(s.refl, y, false), 1e-6);
    EXPECT_GT(std::fabs(data->correlation(c) - data->correlation(one_copy())), 1e-4);
}

TEST(Scorer, RFactorScaleUsesUnweightedSums) {
    const setup s;
    const auto data = s.data();
    const solution c = one_copy();
    const double want = textbook_r(s.refl, s.fc, false);
    const double wrong = textbook_r(s.refl, s.fc, true);
    std::cout << "R " << want << " (with a weighted scale it would be " << wrong << ")\n";
    ASSERT_GT(std::fabs(want - wrong), 1e-4);   // the test tells the two apart
    EXPECT_NEAR(data->r_factor(c), want, 1e-6);
    EXPECT_NEAR(data->r_factor_of([&] {
        std::vector<complex_f> fc;
        calculate_fc(data->reflections, data->model(), c, lookup_mode::trilinear, fc);
        return fc;
    }()), want, 1e-6);
    // The per-candidate R-factor objective gives the same number.
    EXPECT_EQ((scorer<pearson<float, double>, 1, 1>(data)(c)), data->r_factor(c));
}

TEST(Scorer, ExactMultiplesAndEmptyCandidates) {
    setup s;
    for (std::size_t i = 0; i < s.refl.size(); ++i) s.refl[i].f = float(3.0 * s.fc[i]);
    const auto data = s.data();
    const solution c = one_copy();
    EXPECT_NEAR(data->correlation(c), 1.0, 1e-6);
    EXPECT_NEAR(data->r_factor(c), 0.0, 1e-6);
    // No copies and no static structure: nothing calculated. CC 0 and R 1
    // rather than undefined values.
    const solution none;
    EXPECT_EQ(data->correlation(none), 0.0);
    EXPECT_EQ(data->r_factor(none), 1.0);
    EXPECT_EQ((scorer<pearson<float, double>, 1, 0>(data)(none)), 0.0);
}

TEST(Scorer, RejectsWeightsThatAreNotFinitePositive) {
    const float bad[] = {0.0f, -1.0f, INFINITY, NAN};
    for (float w : bad) {
        setup s;
        s.refl[1].sigma = w;
        try {
            scorer_data d(s.refl, s.cells, s.codes, s.store);
            ADD_FAILURE() << "accepted weight " << w;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "reflection 2 has a scoring weight that is not a finite positive number");
        }
    }
}

TEST(Scorer, ConcurrentEvaluationGivesTheSerialResult) {
    const setup s;
    const scorer<pearson<float, double>, 1, 0> objective(s.data());
    std::vector<solution> candidates(64, one_copy());
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (auto& c : candidates) {
        c.placements[0].orientation = {u(gen), u(gen), u(gen), u(gen)};
        c.placements[0].translation = {u(gen), u(gen), u(gen)};
    }
    std::vector<double> serial(candidates.size()), parallel(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) serial[i] = objective(candidates[i]);
    tbb::parallel_for(std::size_t(0), candidates.size(), [&](std::size_t i) { parallel[i] = objective(candidates[i]); });
    for (std::size_t i = 0; i < candidates.size(); ++i) EXPECT_EQ(serial[i], parallel[i]) << i;
}

// The published placement of beta-lactamase and BLIP in beta_blip.mtz
// (found here by superposing the search models on reference_solution.pdb
// with numpy) must score far better than random placements.
const char* superpose_script = R"(
import numpy as np, gemmi, sys
d = sys.argv[1] if len(sys.argv) > 1 else '.'
def atoms(path, chain=None):
    xs = {}
    for line in open(path):
        if line.startswith('ATOM') and (chain is None or line[21] == chain):
            xs[(line[17:20], line[22:27], line[12:16])] = [float(line[30:38]), float(line[38:46]), float(line[46:54])]
    return xs
mtz = gemmi.read_mtz_file(d + '/beta_blip.mtz')
c = mtz.cell
print(mtz.spacegroup.number, c.a, c.b, c.c, c.alpha, c.beta, c.gamma)
for model, chain in (('beta.pdb', 'A'), ('blip.pdb', 'B')):
    m, ref = atoms(d + '/' + model), atoms(d + '/reference_solution.pdb', chain)
    keys = [k for k in m if k in ref]
    a = np.array([m[k] for k in keys]); b = np.array([ref[k] for k in keys])
    ca, cb = a.mean(axis=0), b.mean(axis=0)
    u, s, vt = np.linalg.svd((a - ca).T @ (b - cb))
    r = vt.T @ np.diag([1, 1, np.sign(np.linalg.det(vt.T @ u.T))]) @ u.T
    origin = r @ np.array(list(m.values())).mean(axis=0) + cb - r @ ca
    w = np.sqrt(1 + np.trace(r)) / 2
    frac = np.array(c.fractionalize(gemmi.Position(*origin)).tolist())
    print((r[2,1]-r[1,2])/(4*w), (r[0,2]-r[2,0])/(4*w), (r[1,0]-r[0,1])/(4*w), w, *frac)
for h, k, l, f in zip(*(mtz.column_with_label(x) for x in ('H', 'K', 'L', 'Fobs'))):
    print(int(h), int(k), int(l), f)
)";

model centred_model(const std::string& path) {
    std::ifstream in(path);
    model m;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ATOM", 0) != 0) continue;
        atom a;
        a.site = {std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8))};
        a.b = std::stod(line.substr(60, 6));
        const char e = line[12] == ' ' ? line[13] : line[12];
        a.element = e == 'N' ? 7 : e == 'O' ? 8 : e == 'S' ? 16 : 6;
        m.push_back(a);
    }
    position c{0, 0, 0};
    for (const atom& a : m) c = c + a.site;
    for (atom& a : m) a.site = a.site - c / static_cast<double>(m.size());
    return m;
}

TEST(Scorer, ReferenceSolutionOfBetaBlipStandsOut) {
    std::istringstream in(zelt_test::run_python(superpose_script, zelt_test::example("").string()));
    int group;
    double a, b, c, al, be, ga;
    in >> group >> a >> b >> c >> al >> be >> ga;
    const std::vector<unit_cell> cells{unit_cell(group, a, b, c, al, be, ga)};
    const std::vector<int> codes{0};
    solution reference;
    reference.k = 0.8f;
    reference.b = 200.0f;
    for (int i = 0; i < 2; ++i) {
        copy_placement p;
        in >> p.orientation[0] >> p.orientation[1] >> p.orientation[2] >> p.orientation[3] >> p.translation[0] >>
            p.translation[1] >> p.translation[2];
        p.model = p.reported_model = i;
        reference.placements.push_back(p);
    }
    reflection_set refl;
    reflection r;
    int h, k, l;
    while (in >> h >> k >> l >> r.f) {
        r.set_indices({h, k, l});
        r.sigma = 1.0f;
        r.s2 = float(cells[0].s_squared(h, k, l));
        if (cells[0].d_spacing(h, k, l) > 3.0 && cells[0].d_spacing(h, k, l) < 80.0) refl.push_back(r);
    }
    ASSERT_GT(refl.size(), 8000u);
    const model_list models{centred_model(zelt_test::example("beta.pdb").string()),
                            centred_model(zelt_test::example("blip.pdb").string())};
    transform_store store;
    store.prepare_step(models, 0, 2, 3.0, 2.0, 3.0);
    const auto data = std::make_shared<const scorer_data>(refl, cells, codes, store);

    solution beta_only = reference;
    beta_only.placements.resize(1);
    const double cc_both = data->correlation(reference), r_both = data->r_factor(reference);
    const double cc_beta = data->correlation(beta_only);
    const double cc_nearest = scorer<pearson<float, double>, 0, 0>(data)(reference);
    // Random placements of beta alone.
    std::mt19937 gen(99);
    std::normal_distribution<double> n01;
    std::uniform_real_distribution<double> u01;
    double best_random = -1;
    for (int i = 0; i < 40; ++i) {
        solution s = beta_only;
        s.placements[0].orientation = {n01(gen), n01(gen), n01(gen), n01(gen)};
        s.placements[0].translation = {u01(gen), u01(gen), u01(gen)};
        best_random = std::max(best_random, scorer<pearson<float, double>, 1, 0>(data)(s));
    }
    std::cout << "reference: CC " << cc_both << " R " << r_both << " (nearest-point CC " << cc_nearest
              << "); beta alone CC " << cc_beta << "; best of 40 random beta placements CC " << best_random << "\n";
    EXPECT_GT(cc_beta, best_random + 0.1);
    EXPECT_GT(cc_both, cc_beta + 0.05);
    EXPECT_GT(cc_both, 0.5);
    EXPECT_LT(r_both, 0.55);
}

}  // namespace
