// Complete searches through the zelt binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "common/test_support.hpp"

using namespace zelt_test;

namespace {

std::string script(const std::string& name) {
    return shell_quote((source_dir() / "tests" / "app" / "scripts" / name).string());
}

// The C-alpha RMSD between a written model and the true placement, up to the
// symmetry and origin choices of the space group, computed by gemmi.
double placement_rmsd(const std::filesystem::path& placed, const std::filesystem::path& truth) {
    run_result r = run_command(shell_quote(python()) + " " + script("compare_placement.py") + " " +
                               shell_quote(placed.string()) + " " + shell_quote(truth.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    return std::stod(r.out);
}

struct solution_line {
    int attempt = 0;
    double cc = 0, r = 0;
    int clashes = 0;
    int space_group = 0;
};

std::vector<solution_line> solution_lines(const std::string& out) {
    std::vector<solution_line> lines;
    std::regex re(R"(Solution +(\d+)  (-?[0-9.]+) (-?[0-9.]+) +(-?\d+) .* (\d+)\n)");
    for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it) {
        solution_line s;
        s.attempt = std::stoi((*it)[1]);
        s.cc = std::stod((*it)[2]);
        s.r = std::stod((*it)[3]);
        s.clashes = std::stoi((*it)[4]);
        s.space_group = std::stoi((*it)[5]);
        lines.push_back(s);
    }
    return lines;
}

}  // namespace

// Amplitudes calculated by gemmi from beta-lactamase placed at a known
// orientation and position in P212121; the search, started from the centred
// model, must find that placement (up to the symmetry of the crystal).
TEST(Search, FindsTheKnownPlacementOfSyntheticData) {
    temp_dir dir;
    run_result data = run_command(shell_quote(python()) + " " + script("synthetic_data.py") + " " +
                                  shell_quote(example("beta.pdb").string()) + " syn.mtz truth.pdb 4.5",
                                  dir.path().string());
    ASSERT_EQ(data.status, 0) << data.err;

    run_result run = run_zelt("-e 5 -n 2 -g 30 -p 200 -h 4.5 -l 30 syn.mtz " +
                                  shell_quote(example("beta.pdb").string()),
                              dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto lines = solution_lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    int best = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].attempt, static_cast<int>(i) + 1);
        EXPECT_EQ(lines[i].space_group, 19);
        if (lines[i].cc > lines[best].cc) best = static_cast<int>(i);
    }
    std::cout << "best CC " << lines[best].cc << ", R " << lines[best].r << "\n";
    EXPECT_GT(lines[best].cc, 0.95);
    EXPECT_LT(lines[best].r, 0.15);
    EXPECT_EQ(lines[best].clashes, 0);

    EXPECT_NE(run.out.find("Writing coordinates to zelt.1.pdb\n\n"), std::string::npos);
    EXPECT_NE(run.out.find("Writing coordinates to zelt.2.pdb\n\n"), std::string::npos);
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\nTotal elapsed time: [0-9.e+-]+ sec\n$")));

    const auto placed = dir / ("zelt." + std::to_string(best + 1) + ".pdb");
    const double rmsd = placement_rmsd(placed, dir / "truth.pdb");
    std::cout << "C-alpha RMSD to the true placement: " << rmsd << " A\n";
    EXPECT_LT(rmsd, 0.5);
}

// Without a global search every attempt starts from the models as placed in
// their files: the two chains of the known solution of the bundled data,
// refined by simplex, as an assembly.
TEST(Search, LocalOnlyFromTheKnownSolutionOfTheRealData) {
    temp_dir dir;
    std::string beta, blip;
    std::istringstream in(read_file(example("reference_solution.pdb")));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("ATOM  ", 0) != 0 || line.size() < 22) continue;
        (line[21] == 'A' ? beta : blip) += line + "\n";
    }
    write_file(dir / "beta_placed.pdb", beta);
    write_file(dir / "blip_placed.pdb", blip);
    write_file(dir / "models.txt", "beta_placed.pdb\nblip_placed.pdb\n");

    run_result run = run_zelt("-g 0 -a -w 1 -o placed " + shell_quote(example("beta_blip.mtz").string()) +
                                  " @models.txt",
                              dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = solution_lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;  // one attempt per model step
    std::cout << "beta alone: CC " << lines[0].cc << "; beta and BLIP: CC " << lines[1].cc << "\n";
    EXPECT_GT(lines[0].cc, 0.5);
    EXPECT_GT(lines[1].cc, lines[0].cc + 0.05);  // the second model adds to the first
    EXPECT_NE(run.out.find("Model 1, Attempt 1\n"), std::string::npos);
    EXPECT_NE(run.out.find("Model 2, Attempt 1\n"), std::string::npos);
    EXPECT_NE(run.out.find("Calculating static structure contribution\n"), std::string::npos);

    // Writing level "best": one file holding both models of the assembly.
    ASSERT_TRUE(std::filesystem::exists(dir / "placed.best.pdb")) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "placed.1.pdb"));
    const std::string best = read_file(dir / "placed.best.pdb");
    EXPECT_EQ(best.rfind("TITLE     ZELT Score: ", 0), 0u);
    int atoms = 0;
    std::istringstream lines_in(best);
    for (std::string line; std::getline(lines_in, line);) atoms += line.rfind("ATOM  ", 0) == 0;
    EXPECT_EQ(atoms, 2026 + 1235);
}

// Coordinates sent to standard output, and a writing level of none.
TEST(Search, OutputDestinations) {
    temp_dir dir;
    const std::string inputs = shell_quote(example("beta_blip.mtz").string()) + " " +
                               shell_quote(example("beta.pdb").string());
    run_result to_stdout = run_zelt("-g 0 -v 0 -o - " + inputs, dir.path().string());
    ASSERT_EQ(to_stdout.status, 0) << to_stdout.err;
    EXPECT_EQ(to_stdout.out.rfind("TITLE     ZELT Score: ", 0), 0u) << to_stdout.out.substr(0, 200);
    EXPECT_NE(to_stdout.out.find("\nCRYST1   75.110   75.110  133.310  90.00  90.00 120.00 P 32 2 1      6\n"),
              std::string::npos);
    EXPECT_EQ(to_stdout.out.find("Writing coordinates"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    run_result none = run_zelt("-g 0 -w 0 " + inputs, dir.path().string());
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A folder that cannot be written to stops the run with an I/O failure.
TEST(Search, UnwritableOutputFails) {
    temp_dir dir;
    run_result run = run_zelt("-g 0 -v 0 -o " + shell_quote((dir / "missing" / "x").string()) + " " +
                                  shell_quote(example("beta_blip.mtz").string()) + " " +
                                  shell_quote(example("beta.pdb").string()),
                              dir.path().string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(": An I/O error has occurred: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nExiting...\n"), std::string::npos);
}

namespace {

std::vector<std::string> pdb_files(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".pdb") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// File names carry the numbers of whatever is searched one step at a time.
TEST(Search, AttemptFileNames) {
    const std::string mtz = shell_quote(example("beta_blip.mtz").string());
    const std::string beta = shell_quote(example("beta.pdb").string());
    struct name_case {
        std::string options;
        std::vector<std::string> files;
    };
    const std::vector<name_case> cases = {
        {"-n 2", {"zelt.1.pdb", "zelt.2.pdb"}},
        {"-m 2", {"zelt.1.1.pdb", "zelt.2.1.pdb"}},
        {"-M 2", {"zelt.1.pdb"}},
        // P3221 has the related groups P321 and P3121.
        {"-c", {"zelt.1.1.pdb", "zelt.2.1.pdb", "zelt.3.1.pdb"}},
        {"-C", {"zelt.1.pdb"}},
        {"-o run -w 1 -m 2", {"run.best.pdb"}},
    };
    for (const name_case& c : cases) {
        temp_dir dir;
        run_result run = run_zelt("-e 3 -g 2 -p 8 -n 1 -v 0 " + c.options + " " + mtz + " " + beta,
                                  dir.path().string());
        ASSERT_EQ(run.status, 0) << c.options << ": " << run.err;
        EXPECT_EQ(pdb_files(dir.path()), c.files) << c.options;
    }
}

// The models that a segment split appends are refined with their copy, but
// never become search models of their own in a later cell step.
// beta-lactamase in two segments: the first 1000 atoms SEGA, the rest SEGB.
void write_segmented_beta(const std::filesystem::path& file) {
    std::string text;
    std::istringstream in(read_file(example("beta.pdb")));
    int n = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("ATOM  ", 0) != 0) continue;
        line.resize(72, ' ');
        line += (n++ < 1000) ? "SEGA" : "SEGB";
        text += line + "\n";
    }
    write_file(file, text);
}

TEST(Search, SegmentModelsAreNotSearchedAgain) {
    temp_dir dir;
    write_segmented_beta(dir / "segmented.pdb");
    run_result run = run_zelt("-e 3 -g 2 -p 8 -n 1 -w 0 -c " + shell_quote(example("beta_blip.mtz").string()) +
                                  " segmented.pdb",
                              dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    // One attempt in each of the three cells, each refined segment by segment.
    EXPECT_EQ(std::regex_search(run.out, std::regex("Solution  1a ")), true) << run.out;
    size_t lettered = 0;
    for (size_t pos = 0; (pos = run.out.find("\nSolution  1", pos)) != std::string::npos; ++pos) ++lettered;
    EXPECT_EQ(lettered, 6u) << run.out;  // two lines (segments a, b) per attempt
    size_t count = 0;
    for (size_t pos = 0; (pos = run.out.find("Local optimization of segments", pos)) != std::string::npos; ++pos)
        ++count;
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(run.out.find("Model 2"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Unit Cell 3 (P3121), Attempt 1\n"), std::string::npos);
}

// With the space group searched and copies found one after the other, the
// second copy is searched in the space group of the first copy's best
// solution, the one that joined the fixed structure.
TEST(Search, LaterCopiesStayInTheSpaceGroupOfTheFixedCopy) {
    temp_dir dir;
    for (const std::string seed : {"3", "4", "5"}) {
        run_result run = run_zelt("-e " + seed + " -g 3 -p 12 -n 2 -w 0 -C -m 2 " +
                                      shell_quote(example("beta_blip.mtz").string()) + " " +
                                      shell_quote(example("beta.pdb").string()),
                                  dir.path().string());
        ASSERT_EQ(run.status, 0) << run.err;
        const auto lines = solution_lines(run.out);
        ASSERT_EQ(lines.size(), 4u) << run.out;
        const solution_line& best_first = lines[0].cc >= lines[1].cc ? lines[0] : lines[1];
        EXPECT_EQ(lines[2].space_group, best_first.space_group) << run.out;
        EXPECT_EQ(lines[3].space_group, best_first.space_group) << run.out;
        EXPECT_NE(run.out.find("Unit cells 1-3, Copy 1, Attempt 1\n"), std::string::npos) << run.out;
        EXPECT_TRUE(std::regex_search(run.out, std::regex("Unit Cell [123] \\(P3[12]?21\\), Copy 2, Attempt 2\n")))
            << run.out;
    }
}

namespace {

struct point {
    double x, y, z;
};

// C-alpha positions of a PDB text, in file order.
std::vector<point> c_alphas(const std::string& text) {
    std::vector<point> r;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("ATOM  ", 0) == 0 && line.size() >= 54 && line.substr(12, 4) == " CA ")
            r.push_back({std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8))});
    return r;
}

}  // namespace

// The simplex started a few degrees and a few tenths of an Angstrom away
// from the known placement of beta-lactamase climbs back to it.
TEST(Search, SimplexClimbsBackToTheKnownPlacement) {
    temp_dir dir;
    std::vector<std::string> lines;
    std::istringstream in(read_file(example("reference_solution.pdb")));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("ATOM  ", 0) == 0 && line.size() > 54 && line[21] == 'A') lines.push_back(line);
    ASSERT_EQ(lines.size(), 2026u);

    // Rotate by 4 degrees about an oblique axis through the centre and shift by 0.4 A.
    double c[3] = {0, 0, 0};
    for (const std::string& l : lines)
        for (int i = 0; i < 3; ++i) c[i] += std::stod(l.substr(30 + 8 * i, 8)) / lines.size();
    const double pi = 3.141592653589793, angle = 4.0 * pi / 180.0;
    const double ax[3] = {1 / std::sqrt(3.0), 1 / std::sqrt(3.0), -1 / std::sqrt(3.0)};
    const double shift[3] = {0.3, -0.2, 0.2};
    std::string moved, reference;
    for (const std::string& l : lines) {
        double p[3];
        for (int i = 0; i < 3; ++i) p[i] = std::stod(l.substr(30 + 8 * i, 8)) - c[i];
        // Rodrigues' rotation formula.
        const double d = ax[0] * p[0] + ax[1] * p[1] + ax[2] * p[2];
        const double cr[3] = {ax[1] * p[2] - ax[2] * p[1], ax[2] * p[0] - ax[0] * p[2], ax[0] * p[1] - ax[1] * p[0]};
        char xyz[32];
        double q[3];
        for (int i = 0; i < 3; ++i)
            q[i] = p[i] * std::cos(angle) + cr[i] * std::sin(angle) + ax[i] * d * (1 - std::cos(angle)) + c[i] + shift[i];
        std::snprintf(xyz, sizeof xyz, "%8.3f%8.3f%8.3f", q[0], q[1], q[2]);
        moved += l.substr(0, 30) + xyz + l.substr(54) + "\n";
        reference += l + "\n";
    }
    write_file(dir / "moved.pdb", moved);

    const auto rmsd = [](const std::vector<point>& a, const std::vector<point>& b) {
        double s = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            s += (a[i].x - b[i].x) * (a[i].x - b[i].x) + (a[i].y - b[i].y) * (a[i].y - b[i].y) +
                 (a[i].z - b[i].z) * (a[i].z - b[i].z);
        return std::sqrt(s / a.size());
    };
    const auto truth = c_alphas(reference);
    const double start = rmsd(c_alphas(moved), truth);

    run_result run = run_zelt("-g 0 -o refined " + shell_quote(example("beta_blip.mtz").string()) + " moved.pdb",
                              dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto found = c_alphas(read_file(dir / "refined.1.pdb"));
    ASSERT_EQ(found.size(), truth.size());
    const double end = rmsd(found, truth);
    const auto scores = solution_lines(run.out);
    ASSERT_EQ(scores.size(), 1u);
    std::cout << "C-alpha RMSD from the known placement: " << start << " A before, " << end
              << " A after refinement; CC " << scores[0].cc << "\n";
    EXPECT_GT(start, 0.8);
    EXPECT_LT(end, 0.5);
    EXPECT_GT(scores[0].cc, 0.59);
}

// A segmented model in every related space group with a restricted search:
// the segment models split off in one cell step keep their start positions
// in the next one (this failed with "model index 3 has no start position").
TEST(Search, SegmentedModelInEveryCellWithARestrictedSearch) {
    temp_dir dir;
    write_segmented_beta(dir / "segmented.pdb");
    const std::string data = shell_quote(example("beta_blip.mtz").string());
    for (const std::string restriction : {"-g 0", "-T -g 1 -p 4 -n 1", "-R -g 1 -p 4 -n 1"}) {
        run_result run = run_zelt("-e 3 -h 6 -w 0 -c " + restriction + " " + data + " segmented.pdb",
                                  dir.path().string());
        ASSERT_EQ(run.status, 0) << restriction << "\n" << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("Unit Cell 3 (P3121), Attempt 1\n"), std::string::npos) << restriction;
        size_t count = 0;
        for (size_t pos = 0; (pos = run.out.find("Local optimization of segments", pos)) != std::string::npos; ++pos)
            ++count;
        EXPECT_EQ(count, 3u) << restriction;
    }
}

// With orientation not searched (-T) the model keeps its input orientation,
// even when every translation axis is fixed too (no notrans rotation then).
TEST(Search, TranslationSearchNeverRotatesTheModel) {
    temp_dir dir;
    run_result run = run_zelt("-e 3 -T -p 10 -g 3 -n 2 -h 6 -w 0 -P evolution.mutation.translation.range.x=0.0 "
                              "-P evolution.mutation.translation.range.y=0.0 "
                              "-P evolution.mutation.translation.range.z=0.0 " +
                                  shell_quote(example("beta_blip.mtz").string()) + " " +
                                  shell_quote(example("beta.pdb").string()),
                              dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::regex angles(R"(Solution +\d+  -?[0-9.]+ -?[0-9.]+ +-?\d+ +(-?[0-9.]+) +(-?[0-9.]+) +(-?[0-9.]+) )");
    int lines = 0;
    for (std::sregex_iterator it(run.out.begin(), run.out.end(), angles), end; it != end; ++it, ++lines)
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(std::fabs(std::stod((*it)[i])), 0.0) << (*it)[0];
    EXPECT_EQ(lines, 2) << run.out;
}
