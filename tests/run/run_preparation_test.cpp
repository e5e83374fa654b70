#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "settings/parameters.hpp"
#include "run/run_preparation.hpp"
#include "common/test_support.hpp"

namespace {

using zelt::parameter_store;

parameter_store overrides_of(const std::vector<std::pair<std::string, std::string>>& kv) {
    parameter_store o;
    for (const auto& [k, v] : kv) o.set(k, v);
    return o;
}

std::string ex(const std::string& name) { return zelt_test::example(name).string(); }

// The MTZ example with one search model, through the preparation only.
parameter_store example_overrides(std::vector<std::pair<std::string, std::string>> extra = {}) {
    std::vector<std::pair<std::string, std::string>> kv = {
        {"cell.source", ex("beta_blip.mtz")}, {"data.source", ex("beta_blip.mtz")},
        {"model.source", ex("beta.pdb")}, {"random.seed", "123"}};
    kv.insert(kv.end(), extra.begin(), extra.end());
    return overrides_of(kv);
}

TEST(Preparation, ReportsOfTheExampleRun) {
    std::ostringstream out;
    const zelt::run_state s = zelt::prepare_run(example_overrides(), out);
    const std::string mtz = ex("beta_blip.mtz");
    EXPECT_EQ(out.str(),
              "ZELT Version 16.07.1, Jul 16 2016\n"
              "The latest version of this program is always available from https://github.com/zelt-mr/zelt.\n"
              "\n"
              "Reading unit cell and space group information from " + mtz + "\n"
              "a=75.11 b=75.11 c=133.31 alpha=90 beta=90 gamma=120, space group 154 (P 32 2 1) \n"
              "\n"
              "Reading reflections from " + mtz + "\n"
              "Used MTZ data column 'Fobs'\n"
              "8830 reflections in resolution range\n"
              "\n"
              "Loading search model from " + ex("beta.pdb") + "\n"
              "Model 1: 2026 atoms\n"
              "\n"
              "Optimizing: orientation position\n"
              "Resolution range: 80.0 - 3.0 Angstroms\n"
              "Copies of molecule to find: 1\n"
              "Number of attempts (per copy): 20\n"
              "Number of generations: 50\n"
              "Population size: 300\n"
              "Random number seed: 123\n"
              "Prefix for output coordinate file name: zelt\n"
              "\n"
              "The following information will be reported for each solution:\n"
              "  CC          linear correlation coefficient between Fo and Fc\n"
              "  R           crystallographic R-factor\n"
              "  d<          number of close Calpha-Calpha packing interactions (<3.4Ang)\n"
              "  al, be, ga  rotation (Eulerian angles, CCP4 convention)\n"
              "  x, y, z     translation (fractional, for origin-centered search model)\n"
              "  mod         search model ID\n"
              "  sg          space group number\n"
              "\n");
    EXPECT_EQ(s.seed, 123u);
    EXPECT_EQ(s.cells.size(), 1u);
    EXPECT_EQ(s.codes, std::vector<int>{0});
    EXPECT_TRUE(s.report_inputs);
    EXPECT_TRUE(s.report_steps);
    EXPECT_TRUE(s.static_list.empty());
    EXPECT_EQ(s.base_static_count, 0u);
    EXPECT_EQ(s.params.text("output.reassign-chain-ids"), "false");  // derived
}

// (sin theta / lambda)^2 from the reciprocal metric, computed here from the
// cell constants by the textbook formula for 1/d^2.
double brute_s2(double a, double b, double c, double al, double be, double ga, double h, double k, double l) {
    const double ca = std::cos(al), cb = std::cos(be), cg = std::cos(ga);
    const double sa = std::sin(al), sb = std::sin(be), sg = std::sin(ga);
    const double v2 = 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg;
    const double inv_d2 = (h * h * sa * sa / (a * a) + k * k * sb * sb / (b * b) + l * l * sg * sg / (c * c) +
                           2 * k * l * (cb * cg - ca) / (b * c) + 2 * l * h * (cg * ca - cb) / (c * a) +
                           2 * h * k * (ca * cb - cg) / (a * b)) / v2;
    return inv_d2 / 4;
}

TEST(Preparation, ReflectionsCountWeightAndSSquaredAgainstOracles) {
    std::ostringstream out;
    const zelt::run_state s = zelt::prepare_run(example_overrides({{"report.header", "false"}}), out);
    const std::string script =
        "import gemmi, math\n"
        "m = gemmi.read_mtz_file('" + ex("beta_blip.mtz") + "')\n"
        "cols = [list(m.column_with_label(x)) for x in ('H','K','L','Fobs','Sigma')]\n"
        "n = 0; sf = 0.0; sw = 0.0\n"
        "for h, k, l, f, s in zip(*cols):\n"
        "    d = m.cell.calculate_d([int(h), int(k), int(l)])\n"
        "    if 3 < d < 80 and not math.isnan(f):\n"
        "        n += 1; sf += f; sw += 1.0 / (s * s)\n"
        "print(n, repr(sf), repr(sw))\n";
    std::istringstream oracle(zelt_test::run_python(script));
    std::size_t n = 0;
    double sum_f = 0, sum_w = 0;
    oracle >> n >> sum_f >> sum_w;
    ASSERT_EQ(s.reflections.size(), n);
    ASSERT_EQ(n, 8830u);

    const double a = 75.11, c = 133.31, rad = M_PI / 180;
    double got_f = 0;
    for (const zelt::reflection& r : s.reflections) {
        got_f += r.f;
        EXPECT_EQ(r.sigma, 1.0f);  // no sigma weighting by default
        const double want = brute_s2(a, a, c, 90 * rad, 90 * rad, 120 * rad, r.h, r.k, r.l);
        ASSERT_NEAR(r.s2, want, 2e-7 * want) << r.h << " " << r.k << " " << r.l;
        const double d = 0.5 / std::sqrt(r.s2);
        ASSERT_TRUE(d > 2.9999 && d < 80.0001);
    }
    EXPECT_NEAR(got_f, sum_f, 1e-6 * sum_f);

    // With sigma weighting every reflection of the example has a positive
    // sigma, so all stay and the weights sum like the oracle's.
    std::ostringstream out2;
    const zelt::run_state w =
        zelt::prepare_run(example_overrides({{"target.sigma-weighting", "true"}, {"report.header", "false"}}), out2);
    ASSERT_EQ(w.reflections.size(), n);
    double got_w = 0;
    for (const zelt::reflection& r : w.reflections) got_w += r.sigma;
    EXPECT_NEAR(got_w, sum_w, 1e-5 * sum_w);
    EXPECT_NE(out2.str().find("8830 reflections in resolution range\n"
                              "0 reflections without a positive sigma left out of the sigma-weighted target\n\n"),
              std::string::npos);
}

TEST(Preparation, ModelsAreCentredAndTheStaticStructureIsFractional) {
    std::ostringstream out;
    const zelt::run_state s = zelt::prepare_run(
        example_overrides({{"structure.source", ex("blip.pdb")}, {"assembly", "true"},
                           {"optimize.assembly", "true"}, {"report.header", "false"}}),
        out);
    // Oracle: the mean atom positions as gemmi reads the files.
    const std::string script =
        "import gemmi\n"
        "for f in ('beta.pdb', 'blip.pdb'):\n"
        "    st = gemmi.read_structure('" + zelt_test::example("").string() + "' + f)\n"
        "    at = [a for m in st for ch in m for r in ch for a in r]\n"
        "    n = len(at)\n"
        "    print(n, repr(sum(a.pos.x for a in at) / n), repr(sum(a.pos.y for a in at) / n),"
        " repr(sum(a.pos.z for a in at) / n))\n";
    std::istringstream oracle(zelt_test::run_python(script));
    std::size_t n_beta = 0, n_blip = 0;
    double beta[3], blip[3];
    oracle >> n_beta >> beta[0] >> beta[1] >> beta[2] >> n_blip >> blip[0] >> blip[1] >> blip[2];

    ASSERT_EQ(s.models.size(), 1u);
    ASSERT_EQ(s.models[0].size(), n_beta);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(s.model_centres[0][i], beta[i], 1e-9);
    double mean[3] = {0, 0, 0};
    for (const zelt::atom& a : s.models[0])
        for (int i = 0; i < 3; ++i) mean[i] += a.site[i];
    for (double m : mean) EXPECT_NEAR(m / static_cast<double>(n_beta), 0.0, 1e-9);

    ASSERT_EQ(s.static_list.size(), 1u);
    EXPECT_EQ(s.base_static_count, 1u);
    ASSERT_EQ(s.static_list[0].size(), n_blip);
    ASSERT_EQ(s.static_centres.size(), 1u);
    // Fractional coordinates of the hexagonal cell, converted back by hand.
    const double a = 75.11, c = 133.31;
    const zelt::fractional fc = s.static_centres[0];
    const double x = a * fc[0] - 0.5 * a * fc[1], y = a * std::sqrt(3.0) / 2 * fc[1], z = c * fc[2];
    EXPECT_NEAR(x, blip[0], 1e-6);
    EXPECT_NEAR(y, blip[1], 1e-6);
    EXPECT_NEAR(z, blip[2], 1e-6);
    // One model only: the simultaneous assembly search is switched off.
    EXPECT_EQ(s.params.text("optimize.assembly"), "false");
    EXPECT_NE(out.str().find("Loading static structure from " + ex("blip.pdb") +
                             "\n1 coordinate file(s) loaded.\n\n"),
              std::string::npos);
    EXPECT_NE(out.str().find("The set of search models will be treated as an assembly.\n"), std::string::npos);
}

TEST(Preparation, ModelListAndSystemSeed) {
    zelt_test::temp_dir t;
    zelt_test::write_file(t / "models.txt", ex("beta.pdb") + "\n\n  " + ex("blip.pdb") + "\n");
    std::ostringstream out;
    std::string list_source = "@";
    list_source += (t / "models.txt").string();
    const zelt::run_state s = zelt::prepare_run(
        example_overrides({{"model.source", list_source}, {"random.seed", "0"},
                           {"pointgroupsearch", "true"}}),
        out);
    ASSERT_EQ(s.models.size(), 2u);
    EXPECT_EQ(s.model_centres.size(), 2u);
    EXPECT_NE(out.str().find("Loading search models listed in " + (t / "models.txt").string() +
                             "\nModel 1: 2026 atoms\nModel 2: 1235 atoms\n\n"),
              std::string::npos);
    // The system seed is written back and shown.
    EXPECT_EQ(s.params.text("random.seed"), std::to_string(s.seed));
    EXPECT_NE(out.str().find("Random number seed: " + std::to_string(s.seed) + "\n"), std::string::npos);
    // P3221 has P321 and P3121 as relatives: three cells, the given one first.
    ASSERT_EQ(s.cells.size(), 3u);
    EXPECT_EQ(s.cells[0].group().number, 154);
    EXPECT_EQ(s.codes, (std::vector<int>{0, 0, 0}));
    EXPECT_NE(out.str().find(", space group 150 (P 3 2 1) \n"), std::string::npos);
}

TEST(Preparation, QuietRunPrintsNothing) {
    std::ostringstream out;
    zelt::prepare_run(example_overrides({{"report.header", "false"}, {"report.inputs", "false"},
                                         {"report.steps", "false"}, {"report.options", "false"},
                                         {"report.solution", "false"}}),
                      out);
    EXPECT_EQ(out.str(), "");
}

TEST(Weights, SigmaWeightingDropsUnusableSigmas) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    zelt::reflection_set r(6);
    const float sigmas[6] = {2.0f, 0.0f, nan, 1e-30f, -0.5f, 0.25f};
    for (int i = 0; i < 6; ++i) {
        r[i].h = i;
        r[i].sigma = sigmas[i];
    }
    zelt::reflection_set unweighted = r;
    EXPECT_EQ(zelt::set_weights(unweighted, false), 0u);
    ASSERT_EQ(unweighted.size(), 6u);
    for (const auto& x : unweighted) EXPECT_EQ(x.sigma, 1.0f);

    EXPECT_EQ(zelt::set_weights(r, true), 3u);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].h, 0.0f);
    EXPECT_FLOAT_EQ(r[0].sigma, 0.25f);
    EXPECT_EQ(r[1].h, 4.0f);
    EXPECT_FLOAT_EQ(r[1].sigma, 4.0f);
    EXPECT_EQ(r[2].h, 5.0f);
    EXPECT_FLOAT_EQ(r[2].sigma, 16.0f);
}

TEST(Weights, SSquaredInATriclinicCell) {
    const double rad = M_PI / 180;
    const zelt::unit_cell cell(1, 31.0, 42.0, 53.0, 71.0, 83.0, 104.0);
    zelt::reflection_set r;
    for (int h = -3; h <= 3; ++h)
        for (int k = -2; k <= 2; ++k)
            for (int l = -4; l <= 4; l += 2) {
                zelt::reflection x;
                x.set_indices({h, k, l});
                r.push_back(x);
            }
    zelt::set_s_squared(r, cell);
    for (const auto& x : r) {
        const double want = brute_s2(31, 42, 53, 71 * rad, 83 * rad, 104 * rad, x.h, x.k, x.l);
        EXPECT_NEAR(x.s2, want, 2e-7 * want + 1e-12) << x.h << " " << x.k << " " << x.l;
    }
}

}  // namespace

namespace {

TEST(Weights, SigmaWeightingOnAPlainTextReflectionFile) {
    zelt_test::temp_dir t;
    zelt_test::write_file(t / "cell.txt", "50 50 50 90 90 90 1\n");
    zelt_test::write_file(t / "good.hkl", "1 0 0 10 2\n0 1 0 20 0\n0 0 1 30 0.5\n1 1 0 40 0\n");
    zelt_test::write_file(t / "zero.hkl", "1 0 0 10 0\n0 1 0 20 0\n");
    const std::vector<std::pair<std::string, std::string>> common = {
        {"cell.source", (t / "cell.txt").string()}, {"model.source", ex("blip.pdb")},
        {"random.seed", "1"}, {"target.sigma-weighting", "true"}, {"report.header", "false"},
        {"report.inputs", "false"}, {"report.options", "false"}, {"report.solution", "false"}};
    auto with_data = [&](const std::string& file) {
        parameter_store o = overrides_of(common);
        o.set("data.source", (t / file).string());
        return o;
    };
    std::ostringstream out;
    const zelt::run_state s = zelt::prepare_run(with_data("good.hkl"), out);
    ASSERT_EQ(s.reflections.size(), 2u);
    EXPECT_FLOAT_EQ(s.reflections[0].sigma, 0.25f);
    EXPECT_FLOAT_EQ(s.reflections[1].sigma, 4.0f);
    EXPECT_FLOAT_EQ(s.reflections[1].f, 30.0f);
    EXPECT_FLOAT_EQ(s.reflections[1].s2, 1.0f / (4 * 2500));
    EXPECT_EQ(out.str(),
              "a=50 b=50 c=50 alpha=90 beta=90 gamma=90, space group 1 (P 1) \n\n"
              "2 reflections in resolution range\n"
              "2 reflections without a positive sigma left out of the sigma-weighted target\n\n"
              "Model 1: 1235 atoms\n\n");

    std::ostringstream out2;
    try {
        zelt::prepare_run(with_data("zero.hkl"), out2);
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "no reflections with a positive sigma for sigma weighting");
    }
    EXPECT_NE(out2.str().find("0 reflections in resolution range\n2 reflections without"), std::string::npos);
}

}  // namespace
