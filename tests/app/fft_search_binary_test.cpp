// The fft translation search through the binary: the resolution its global
// search chooses for itself, stated in the settings and the run record, the
// Z-scores of its solutions, and the hint a default-mode run gives when it
// ends without a clear answer.
#include "common/test_support.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>
#include <string>

namespace {

using zelt_test::run_zelt;

std::string example_file(const std::string& name) { return zelt_test::example(name).string(); }

// The resolution in "Translation search: fft to X Angstroms (auto: ...".
double stated_resolution(const std::string& out) {
    std::smatch m;
    if (!std::regex_search(out, m, std::regex("Translation search: fft to ([0-9.]+) Angstroms \\(auto: ")))
        return -1.0;
    return std::stod(m[1]);
}

nlohmann::json record(const std::filesystem::path& p) { return nlohmann::json::parse(zelt_test::read_file(p)); }

// A 50-residue piece of beta-lactamase in a small P21212 cell with data to
// 2 A (the amplitudes do not matter to the choice) against the whole of it in
// the example's large trigonal cell: the small cell has far fewer reflections
// to any limit, so its global search must go to a finer limit.
TEST(FftSearchBinary, AutomaticResolutionFollowsTheReflectionsAvailable) {
    zelt_test::temp_dir t;
    zelt_test::run_python(
        "import gemmi, numpy as np\n"
        "cell = gemmi.UnitCell(35, 36, 61, 90, 90, 90)\n"
        "sg = gemmi.SpaceGroup('P 21 21 2')\n"
        "hkl = gemmi.make_miller_array(cell, sg, 2.0)\n"
        "mtz = gemmi.Mtz(with_base=True)\n"
        "mtz.cell = cell\n"
        "mtz.spacegroup = sg\n"
        "mtz.add_dataset('d')\n"
        "mtz.add_column('F', 'F')\n"
        "mtz.add_column('SIGF', 'Q')\n"
        "f = 100.0 + 10.0 * (np.arange(len(hkl)) % 7)\n"
        "mtz.set_data(np.column_stack([hkl, f, np.ones(len(hkl))]).astype(np.float32))\n"
        "mtz.write_to_file('small.mtz')\n"
        "st = gemmi.read_structure('" + example_file("beta.pdb") + "')\n"
        "for ch in st[0]:\n"
        "    for i in reversed(range(len(ch))):\n"
        "        if not 92 <= ch[i].seqid.num <= 141: del ch[i]\n"
        "st.write_pdb('piece.pdb')\n",
        t.path().string());
    const std::string quick =
        "-e 3 -g0 -n1 -P optimizer.translation=fft -P optimizer.orientation=evolutionary -P optimizer.local=none ";
    const auto small = run_zelt(quick + "-h 2 -m 2 -o small small.mtz piece.pdb", t.path().string());
    const auto large = run_zelt(quick + "-o large " + example_file("beta_blip.mtz") + " " + example_file("beta.pdb"), t.path().string());
    ASSERT_EQ(small.status, 0) << small.err;
    ASSERT_EQ(large.status, 0) << large.err;
    const double d_small = stated_resolution(small.out), d_large = stated_resolution(large.out);
    EXPECT_GT(d_small, 1.9);
    EXPECT_LE(d_small, 3.5);
    EXPECT_GE(d_large, 4.0);
    EXPECT_LE(d_large, 6.0);
    for (const auto& [prefix, d] : {std::pair{"small", d_small}, std::pair{"large", d_large}}) {
        const nlohmann::json j = record(t / (std::string(prefix) + ".json"));
        const nlohmann::json& ts = j.at("translation_search");
        EXPECT_EQ(ts.at("resolution_rule"), "auto");
        EXPECT_NEAR(ts.at("resolution").get<double>(), d, 0.05);
        EXPECT_EQ(j.at("parameters").at("optimizer.translation.resolution"), "auto");
        // Every solution carries its Z-scores.
        for (const auto& step : j.at("copy_steps"))
            for (const auto& a : step.at("attempts")) {
                EXPECT_TRUE(a.contains("tfz"));
                EXPECT_TRUE(a.contains("score_z"));
            }
    }
    // Models searched one after the other (-a) each get their own limit: the
    // 50-residue piece, a smaller share of the scattering, a finer one.
    zelt_test::write_file(t / "pair.txt", example_file("beta.pdb") + "\npiece.pdb\n");
    const auto pair = run_zelt(quick + "-a -o pair " + example_file("beta_blip.mtz") + " @pair.txt", t.path().string());
    ASSERT_EQ(pair.status, 0) << pair.err;
    EXPECT_NE(pair.out.find("Translation search for model 2: fft to "), std::string::npos);
    const nlohmann::json by_model = record(t / "pair.json").at("translation_search").at("by_model");
    ASSERT_EQ(by_model.size(), 2u);
    EXPECT_LT(by_model[1].at("model_fraction").get<double>(), by_model[0].at("model_fraction").get<double>());
    EXPECT_LT(by_model[1].at("resolution").get<double>(), by_model[0].at("resolution").get<double>());
    // A model said to carry 1.5 A errors is searched at a coarser limit in the
    // small cell, where its finer terms would add noise, and the record says so.
    const auto rough =
        run_zelt(quick + "-h 2 -m 2 -P model.error=1.5 -o rough small.mtz piece.pdb", t.path().string());
    ASSERT_EQ(rough.status, 0) << rough.err;
    EXPECT_GT(stated_resolution(rough.out), d_small + 0.4);
    EXPECT_NE(rough.out.find("model error 1.5 A, "), std::string::npos);
    EXPECT_EQ(record(t / "rough.json").at("translation_search").at("model_error").get<double>(), 1.5);
    // The expected-signal figures are the rule's for an accurate model: the
    // fraction times the square root of the reflections to the chosen limit.
    const nlohmann::json ts = record(t / "large.json").at("translation_search");
    EXPECT_NEAR(ts.at("expected_signal").get<double>(),
                ts.at("model_fraction").get<double>() * std::sqrt(ts.at("reflections").get<double>()), 1e-6);
    // The example: 2026 atoms in a cell of 651,000 A^3 with 6 operators.
    EXPECT_NEAR(ts.at("model_fraction").get<double>(), 2026.0 / (651270.0 / 6 / 34.0), 0.01);
    // A number given is used as given.
    const auto given = run_zelt(quick + "-P optimizer.translation.resolution=4.5 -o given " + example_file("beta_blip.mtz") +
                                    " " + example_file("beta.pdb"),
                                t.path().string());
    ASSERT_EQ(given.status, 0) << given.err;
    EXPECT_NE(given.out.find("Translation search: fft to 4.5 Angstroms, 3 peaks rescored"), std::string::npos);
    const nlohmann::json g = record(t / "given.json").at("translation_search");
    EXPECT_EQ(g.at("resolution_rule"), "given");
    EXPECT_EQ(g.at("resolution").get<double>(), 4.5);

    // An ensemble of three members is one molecule: the same fraction and
    // limit as one of its members. Members that differ by random shifts of
    // 0.8 A RMS per atom about the same structure show that error.
    zelt_test::run_python("import gemmi, numpy as np\n"
                          "rng = np.random.default_rng(5)\n"
                          "for name, sigma in (('three.pdb', 0.0), ('spread.pdb', 0.8 / 3 ** 0.5)):\n"
                          "    st = gemmi.read_structure('" + example_file("beta.pdb") + "')\n"
                          "    for k in (2, 3):\n"
                          "        m = gemmi.Model(str(k))\n"
                          "        for ch in st[0]: m.add_chain(ch)\n"
                          "        st.add_model(m)\n"
                          "    for m in st:\n"
                          "        for a in (a for ch in m for r in ch for a in r):\n"
                          "            d = rng.normal(0.0, sigma, 3)\n"
                          "            a.pos = gemmi.Position(a.pos.x + d[0], a.pos.y + d[1], a.pos.z + d[2])\n"
                          "    st.write_pdb(name)\n",
                          t.path().string());
    const auto three = run_zelt(quick + "-o three " + example_file("beta_blip.mtz") + " three.pdb", t.path().string());
    ASSERT_EQ(three.status, 0) << three.err;
    const nlohmann::json e = record(t / "three.json").at("translation_search");
    EXPECT_NEAR(e.at("model_fraction").get<double>(), ts.at("model_fraction").get<double>(), 1e-9);
    EXPECT_EQ(stated_resolution(three.out), d_large);
    EXPECT_EQ(e.at("model_error").get<double>(), 0.0);
    const auto spread = run_zelt(quick + "-o spread " + example_file("beta_blip.mtz") + " spread.pdb", t.path().string());
    ASSERT_EQ(spread.status, 0) << spread.err;
    const nlohmann::json sp = record(t / "spread.json").at("translation_search");
    EXPECT_NEAR(sp.at("model_error").get<double>(), 0.8, 0.08);
    EXPECT_EQ(sp.at("ensemble_members").get<int>(), 3);
    EXPECT_NE(spread.out.find(" in each of 3 members, "), std::string::npos);
}

// A default-mode search too short to find beta-lactamase ends "not clear"
// and points to the fft mode on the line after the verdict; the fft mode's
// own unclear result does not.
TEST(FftSearchBinary, UnclearDefaultRunSuggestsTheFftMode) {
    zelt_test::temp_dir t;
    const std::string hint =
        "The fft translation search may find what this search did not: run again with -P "
        "optimizer.translation=fft\n";
    const auto r = run_zelt("-e 2016 -n 2 -g 4 -p 60 -w 0 " + example_file("beta_blip.mtz") + " " + example_file("beta.pdb"),
                            t.path().string());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::size_t verdict = r.out.find("\nnot clear: ");
    ASSERT_NE(verdict, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.find('\n', verdict + 1) + 1, hint.size()), hint);
    const auto f = run_zelt("-e 2016 -n 2 -g 1 -p 4 -w 0 -P optimizer.translation=fft -P "
                            "optimizer.orientation=evolutionary -P optimizer.translation.candidates=1 " + example_file("beta_blip.mtz") + " " + example_file("beta.pdb"),
                            t.path().string());
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out.find(hint), std::string::npos);
}

}  // namespace
