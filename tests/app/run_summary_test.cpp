// The end of a run through the binary: the distinct placements and the
// verdict, the run record against its schema and the solution lines, and the
// map coefficients against gemmi's own structure factors of the written
// coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/test_support.hpp"

using namespace zelt_test;

namespace {

const std::string summary_mtz = shell_quote(example("beta_blip.mtz").string());

struct summary_line {
    int attempt = 0;
    double cc = 0, r = 0;
    int clashes = 0;
    double numbers[6] = {};   // Euler angles, translation
};

std::vector<summary_line> summary_lines(const std::string& out) {
    std::vector<summary_line> lines;
    const std::regex re(R"(Solution +(\d+)  (-?[0-9.]+) (-?[0-9.]+) +(-?\d+)  +(\S+) +(\S+) +(\S+) +(\S+) +(\S+) +(\S+) .*)");
    std::istringstream in(out);
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_match(line, m, re)) {
            summary_line s{std::stoi(m[1]), std::stod(m[2]), std::stod(m[3]), std::stoi(m[4]), {}};
            for (int i = 0; i < 6; ++i) s.numbers[i] = std::stod(m[5 + i]);
            lines.push_back(s);
        }
    return lines;
}

// The verdict line: the line that starts with one of the three words.
std::string verdict_line(const std::string& out) {
    std::istringstream in(out);
    std::string found;
    for (std::string line; std::getline(in, line);)
        for (const char* word : {"solved: ", "probably solved: ", "not clear: "})
            if (line.rfind(word, 0) == 0) found = line;
    return found;
}

run_result validate(const std::filesystem::path& json) {
    const auto script = source_dir() / "tests" / "app" / "scripts" / "validate_json.py";
    const auto schema = source_dir() / "schema" / "run-record.schema.json";
    return run_command(shell_quote(python()) + " " + shell_quote(script.string()) + " " +
                       shell_quote(schema.string()) + " " + shell_quote(json.string()));
}

// Every solution line appears in the record with the same numbers.
void expect_record_holds(const nlohmann::json& record, const std::vector<summary_line>& lines) {
    ASSERT_EQ(record["copy_steps"].size(), 1u);
    const auto& attempts = record["copy_steps"][0]["attempts"];
    ASSERT_EQ(attempts.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& a = attempts[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(a["attempt"].get<int>(), lines[i].attempt);
        EXPECT_NEAR(a["cc"].get<double>(), lines[i].cc, 0.00051);
        EXPECT_NEAR(a["r"].get<double>(), lines[i].r, 0.00051);
        EXPECT_EQ(a["clashes"].get<int>(), lines[i].clashes);
        const auto& p = a["placements"][0];
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(p["euler"][k].get<double>(), lines[i].numbers[k], 0.051);
            EXPECT_NEAR(p["translation"][k].get<double>(), lines[i].numbers[3 + k], 0.00051);
        }
    }
}

std::map<std::string, std::string> check_files(const std::filesystem::path& pdb, const std::filesystem::path& m) {
    const auto script = source_dir() / "tests" / "app" / "scripts" / "check_run_files.py";
    run_result r = run_command(shell_quote(python()) + " " + shell_quote(script.string()) + " " +
                               shell_quote(pdb.string()) + " " + shell_quote(m.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> values;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        values[line.substr(0, space)] = line.substr(space + 1);
    }
    return values;
}

TEST(RunSummary, ReferencePlacementMapCoefficientsAndRecord) {
    temp_dir dir;
    write_file(dir / "beta_ref.pdb", reference_atoms('A'));
    const run_result run = run_zelt("-e 3 -g 0 -w 1 -o ref " + summary_mtz + " beta_ref.pdb", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = summary_lines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    EXPECT_NE(run.out.find("Writing coordinates to ref.best.pdb\n\n\nDistinct placements (1 attempt;"),
              std::string::npos);
    EXPECT_NE(run.out.find("Best solution: attempt 1, coordinates in ref.best.pdb\n"), std::string::npos);
    EXPECT_EQ(verdict_line(run.out).rfind("not clear: best placement (CC ", 0), 0u) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\nWriting map coefficients to ref.best.mtz\n"
                                                      "Writing run record to ref.json\n"
                                                      "Total elapsed time: [0-9.e+-]+ sec\n$")));

    // The MTZ, read back by gemmi, against the run and gemmi's own structure factors.
    auto v = check_files(dir / "ref.best.pdb", dir / "ref.best.mtz");
    const nlohmann::json record = nlohmann::json::parse(read_file(dir / "ref.json"));
    // FC is scaled in resolution shells, which moves its correlation with FP
    // a little away from the one of the search.
    EXPECT_NEAR(std::stod(v["cc"]), record["best"]["cc"].get<double>(), 0.02);
    EXPECT_EQ(v["columns"], "H:H K:H L:H FP:F SIGFP:Q FC:F PHIC:P FWT:F PHWT:P DELFWT:F PHDELWT:P FOM:W");
    EXPECT_EQ(v["cell"], v["pdbcell"]);
    EXPECT_EQ(v["sg"], "P 32 2 1 P 32 2 1");
    std::istringstream phase(v["phase"]);
    double mean_difference = 0;
    int strong = 0;
    phase >> mean_difference >> strong;
    std::cout << "map coefficients: CC " << v["cc"] << ", mean phase difference " << mean_difference
              << " degrees over " << strong << " strong reflections, amplitude CC " << v["ampcc"] << "\n";
    EXPECT_GT(strong, 1000);
    EXPECT_LT(mean_difference, 15.0);
    EXPECT_GT(std::stod(v["ampcc"]), 0.95);
    EXPECT_LT(std::stod(v["fwt"]), 1e-4);

    // The record: valid, and holding the solution line.
    const run_result valid = validate(dir / "ref.json");
    EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    expect_record_holds(record, lines);
    EXPECT_EQ(record["reflections"]["count"].get<int>(), 8830);
    EXPECT_EQ(record["seed"].get<int>(), 3);
    EXPECT_EQ(record["crystal"]["space_group"]["number"].get<int>(), 154);
    // Parameters as values of their kind; the inputs as the search used them.
    EXPECT_EQ(record["parameters"]["evolution.generations"], 0);
    EXPECT_EQ(record["parameters"]["attempts"], 1);
    EXPECT_EQ(record["parameters"]["random.seed"], 3);
    EXPECT_EQ(record["parameters"]["resolution.high"], 3.0);
    EXPECT_EQ(record["parameters"]["report.header"], true);
    EXPECT_EQ(record["parameters"]["output.prefix"], "ref");
    EXPECT_EQ(record["inputs"]["data_column"], "Fobs");
    EXPECT_EQ(record["inputs"]["model_atoms"][0], 2026);
    EXPECT_EQ(record["reflections"]["resolution_low"], 80.0);
    EXPECT_NEAR(record["reflections"]["data_resolution_low"].get<double>(), 14.94, 0.01);
    EXPECT_NEAR(record["reflections"]["data_resolution_high"].get<double>(), 3.004, 0.001);
    EXPECT_GE(record["threads"].get<int>(), 1);
    EXPECT_EQ(record["best"]["babinet"], record["copy_steps"][0]["attempts"][0]["babinet"]);
    EXPECT_EQ(record["command_line"].back(), "beta_ref.pdb");
    EXPECT_EQ(record["best"]["coordinates"], "ref.best.pdb");
    EXPECT_EQ(record["best"]["map_coefficients"], "ref.best.mtz");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}

TEST(RunSummary, SwitchesStandardOutputAndUnwritableFiles) {
    temp_dir dir;
    write_file(dir / "beta_ref.pdb", reference_atoms('A'));
    const std::string fast = "-e 3 -g 0 -P optimizer.local=none " + summary_mtz + " beta_ref.pdb";
    auto exists = [&](const std::string& name) { return std::filesystem::exists(dir / name); };

    run_result r = run_zelt("-v 0 -w 1 -o quiet " + fast, dir.path().string());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists("quiet.json") && exists("quiet.best.mtz"));

    r = run_zelt("-w 1 -o off -P output.json=false -P output.map-coefficients=false -P report.summary=false " + fast,
                 dir.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists("off.best.pdb"));
    EXPECT_FALSE(exists("off.json") || exists("off.best.mtz"));
    EXPECT_EQ(r.out.find("Distinct placements"), std::string::npos);
    EXPECT_EQ(verdict_line(r.out), "");

    r = run_zelt("-w 0 -o none " + fast, dir.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(exists("none.json") || exists("none.best.mtz"));
    EXPECT_NE(r.out.find("Distinct placements (1 attempt;"), std::string::npos);

    // Coordinates on standard output: the summary follows them, no files.
    const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    r = run_zelt("-o - " + fast, dir.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LT(r.out.find("\nEND "), r.out.find("Distinct placements"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);

    // A file that cannot be written: the I/O message, status 1, nothing partial.
    for (const std::string name : {"bad.best.mtz", "bad.json"}) {
        SCOPED_TRACE(name);
        std::filesystem::remove_all(dir / name);
        std::filesystem::create_directory(dir / name);
        write_file(dir / name / "keep", "x");
        r = run_zelt("-w 1 -o bad " + fast, dir.path().string());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, zelt_binary() + ": An I/O error has occurred: unable to write the file " + name +
                             "\nExiting...\n");
        EXPECT_TRUE(std::filesystem::is_directory(dir / name));
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
        std::filesystem::remove_all(dir / name);
    }
}

// beta.pdb with its x, y and z coordinates shuffled independently among the
// atoms: the same size and composition, no structure.
std::string scrambled_beta() {
    std::vector<std::string> lines;
    std::istringstream in(read_file(example("beta.pdb")));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("ATOM  ", 0) == 0) lines.push_back(line);
    std::mt19937 gen(11);
    for (int axis = 0; axis < 3; ++axis) {
        std::vector<std::string> column;
        for (const auto& l : lines) column.push_back(l.substr(30 + 8 * axis, 8));
        std::shuffle(column.begin(), column.end(), gen);
        for (std::size_t i = 0; i < lines.size(); ++i) lines[i].replace(30 + 8 * axis, 8, column[i]);
    }
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

TEST(RunSummary, NotClearForATooShortRunAndForAScrambledModel) {
    temp_dir dir;
    write_file(dir / "scrambled.pdb", scrambled_beta());
    const run_result shortrun = run_zelt("-e 2016 -n 2 -g 4 -p 60 -w 0 " + summary_mtz + " " +
                                         shell_quote(example("beta.pdb").string()), dir.path().string());
    ASSERT_EQ(shortrun.status, 0) << shortrun.err;
    std::cout << verdict_line(shortrun.out) << "\n";
    EXPECT_EQ(verdict_line(shortrun.out).rfind("not clear: ", 0), 0u) << shortrun.out;

    const run_result scrambled = run_zelt("-e 7 -n 4 -g 8 -p 100 -w 0 " + summary_mtz + " scrambled.pdb", dir.path().string());
    ASSERT_EQ(scrambled.status, 0) << scrambled.err;
    std::cout << verdict_line(scrambled.out) << "\n";
    EXPECT_EQ(verdict_line(scrambled.out).rfind("not clear: ", 0), 0u) << scrambled.out;
}

// The example search in the translation-function mode, whose orientation
// scan finds beta-lactamase in all four attempts.
TEST(RunSummary, SolvedOnTheExampleBetaSearch) {
    temp_dir dir;
    const run_result run = run_zelt("-e 11 -n 4 -P optimizer.translation=fft -o beta " + summary_mtz + " " +
                                        shell_quote(example("beta.pdb").string()),
                                    dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = summary_lines(run.out);
    ASSERT_EQ(lines.size(), 4u);
    const std::string verdict = verdict_line(run.out);
    std::cout << verdict << "\n";
    EXPECT_EQ(verdict.rfind("solved: best placement (CC 0.54", 0), 0u) << run.out;
    EXPECT_NE(verdict.find("found by 4 of 4 attempts"), std::string::npos);

    const nlohmann::json record = nlohmann::json::parse(read_file(dir / "beta.json"));
    const run_result valid = validate(dir / "beta.json");
    EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
    expect_record_holds(record, lines);
    const auto& attempts = record["copy_steps"][0]["placements"][0]["attempts"];
    ASSERT_EQ(attempts.size(), 4u);
    const int best = record["best"]["attempt"].get<int>();
    EXPECT_NE(std::find(attempts.begin(), attempts.end(), best), attempts.end()) << attempts << " " << best;
    const std::string pdb = "beta." + std::to_string(best) + ".pdb";
    EXPECT_NE(run.out.find("Best solution: attempt " + std::to_string(best) + ", coordinates in " + pdb + "\n"),
              std::string::npos);
    EXPECT_EQ(record["verdict"]["status"], "solved");
    EXPECT_EQ(record["best"]["map_coefficients"], "beta.best.mtz");
    auto v = check_files(dir / pdb, dir / "beta.best.mtz");
    // FC scaled in resolution shells follows a fall-off that the bounded
    // solvent term of the search does not: 0.589 against the search's 0.548.
    EXPECT_NEAR(std::stod(v["cc"]), record["best"]["cc"].get<double>(), 0.05);
}

}  // namespace
