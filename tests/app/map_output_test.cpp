// The map-coefficient file through the binary, checked with gemmi: the
// sigmaA-weighted map against the map of the true structure, the scale of FC,
// the asymmetric unit, and the sigmas and free-R flags carried from the data.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "common/test_support.hpp"

using namespace zelt_test;

namespace {

std::map<std::string, std::string> script_values(const std::string& script, const std::string& args) {
    const auto path = source_dir() / "tests" / "app" / "scripts" / script;
    const run_result r = run_command(shell_quote(python()) + " " + shell_quote(path.string()) + " " + args);
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> values;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        values[line.substr(0, space)] = line.substr(space + 1);
    }
    return values;
}

std::vector<double> numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<double> out;
    for (double v; in >> v;) out.push_back(v);
    return out;
}

}  // namespace

// Beta-lactamase placed as in the reference complex is the model; the whole
// complex (beta-lactamase and BLIP) is the true structure.
TEST(MapOutput, WeightedMapIsCloserToTheTrueStructure) {
    temp_dir dir;
    write_file(dir / "beta_ref.pdb", reference_atoms('A'));
    const run_result run = run_zelt("-e 3 -g 0 -w 1 -o ref " + shell_quote(example("beta_blip.mtz").string()) +
                                        " beta_ref.pdb", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    auto v = script_values("map_quality.py", shell_quote((dir / "ref.best.mtz").string()) + " " +
                                                 shell_quote(example("reference_solution.pdb").string()));
    const double weighted = std::stod(v["weighted"]), unweighted = std::stod(v["unweighted"]);
    std::cout << "map correlation with the true structure: 2mFo-DFc " << weighted << ", 2Fo-Fc " << unweighted
              << "; mFo-DFc with (true - model) " << v["difference"] << "; <FP>/<FC> over shells " << v["ratio"]
              << "; mean FOM " << v["fom"] << "\n";
    EXPECT_GT(weighted, unweighted + 0.04);
    EXPECT_GT(std::stod(v["difference"]), 0.1);
    for (double ratio : numbers(v["ratio"])) EXPECT_NEAR(ratio, 1.0, 0.1);
    EXPECT_EQ(v["asu"], "0 1 0");   // none outside, sorted, no index twice
    const double fom = std::stod(v["fom"]);
    EXPECT_GT(fom, 0.2);
    EXPECT_LT(fom, 0.8);
}

TEST(MapOutput, SigmasAndFreeFlagsCarriedFromTheData) {
    temp_dir dir;
    write_file(dir / "beta_ref.pdb", reference_atoms('A'));
    const auto script = source_dir() / "tests" / "app" / "scripts" / "carried_columns.py";
    ASSERT_EQ(run_command(shell_quote(python()) + " " + shell_quote(script.string()) + " add-flags " +
                          shell_quote(example("beta_blip.mtz").string()) + " flagged.mtz",
                          dir.path().string()).status, 0);
    const run_result run = run_zelt("-e 3 -g 0 -w 1 -o fl -P optimizer.local=none flagged.mtz beta_ref.pdb",
                                    dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    auto v = script_values("carried_columns.py", "compare " + shell_quote((dir / "flagged.mtz").string()) +
                                                     " Sigma " + shell_quote((dir / "fl.best.mtz").string()));
    EXPECT_EQ(v["rows"], "8830 matched 8830 sigma 0 flag 0");
    const run_result columns = run_command(shell_quote(python()) + " -c \"import gemmi; print(' '.join(c.label + ':' + "
                                           "c.type for c in gemmi.read_mtz_file('fl.best.mtz').columns))\"",
                                           dir.path().string());
    EXPECT_EQ(columns.out, "H:H K:H L:H FreeR_flag:I FP:F SIGFP:Q FC:F PHIC:P FWT:F PHWT:P DELFWT:F PHDELWT:P FOM:W\n");
}
