// Searches on the real beta-lactamase/BLIP data, through the zelt binary,
// judged against the published placement in reference_solution.pdb (chain
// A: beta-lactamase, chain B: BLIP) by an independent check written with
// gemmi (tests/app/scripts/placement_check.py).
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/test_support.hpp"

using namespace zelt_test;

namespace {

struct placement {
    std::string model;   // chain of the placed file matched to the reference chain
    double within2 = 0;  // fraction of C-alpha atoms within 2 A of the reference
    double rmsd = 0;     // C-alpha RMSD in A
};

struct check_result {
    int status = -1;
    std::string err;
    std::map<char, placement> chains;  // by reference chain
};

// Where the models of a written coordinate file sit relative to the
// reference, up to crystal symmetry, lattice translations and origin choice.
check_result check_placement(const std::filesystem::path& placed, const std::string& chains,
                             const std::filesystem::path& reference = example("reference_solution.pdb")) {
    const auto script = source_dir() / "tests" / "app" / "scripts" / "placement_check.py";
    run_result r = run_command(shell_quote(python()) + " " + shell_quote(script.string()) + " " +
                               shell_quote(placed.string()) + " " + shell_quote(reference.string()) + " " +
                               chains);
    check_result c;
    c.status = r.status;
    c.err = r.err;
    std::regex re(R"(chain (\S) model (\S+) within2 ([0-9.]+) rmsd ([0-9.]+) origin .*\n)");
    for (std::sregex_iterator it(r.out.begin(), r.out.end(), re), end; it != end; ++it)
        c.chains[(*it)[1].str()[0]] = {(*it)[2], std::stod((*it)[3]), std::stod((*it)[4])};
    return c;
}

std::string cryst1() {
    std::istringstream in(read_file(example("reference_solution.pdb")));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("CRYST1", 0) == 0) return line + "\n";
    return "";
}

struct step_solution {
    int attempt = 0;
    double cc = 0;
    int clashes = 0;
};

// The solution lines of each model step ("Model m, Attempt a" headers).
std::map<int, std::vector<step_solution>> solutions_by_model(const std::string& out) {
    std::map<int, std::vector<step_solution>> steps;
    const std::regex header(R"(Model (\d+), Attempt \d+)");
    const std::regex solution(R"(Solution +(\d+)  (-?[0-9.]+) -?[0-9.]+ +(-?\d+) .*)");
    int model = 0;
    std::istringstream in(out);
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_match(line, m, header)) model = std::stoi(m[1]);
        else if (std::regex_match(line, m, solution))
            steps[model].push_back({std::stoi(m[1]), std::stod(m[2]), std::stoi(m[3])});
    }
    return steps;
}

int best_attempt(const std::vector<step_solution>& lines) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (lines[i].cc > lines[best].cc) best = i;
    return lines[best].attempt;
}

std::string without_elapsed_time(const std::string& out) {
    return std::regex_replace(out, std::regex("Total elapsed time: [^\n]*\n"), "");
}

// Seed and search settings with which the assembly search finds
// beta-lactamase: the fft translation search with its defaults, whose
// orientation scan finds it in every attempt on the example (the
// six-dimensional search finds it in only about a third of its attempts).
// Two attempts per step: the best and one other to compare with it.
const std::string assembly_settings = "-e 11 -n 2 -P optimizer.translation=fft";

const std::string real_mtz = shell_quote(example("beta_blip.mtz").string());

}  // namespace

// The oracle itself: a copy of the reference moved by a symmetry operator of
// P3221, a lattice translation and the permitted origin shift (0,0,1/2) is
// recognised; a shift that is no origin choice of the group, or the search
// model as read, is not; unusable input stops it with status 2.
TEST(RealData, PlacementCheckSeesThroughSymmetryAndOrigin) {
    temp_dir dir;
    // Symmetry operator (-x, -x+y, -z+2/3) of P 32 2 1, then +a-c, then an
    // origin shift, applied in fractional coordinates by gemmi.
    const std::string move = R"(
import gemmi, sys
st = gemmi.read_structure(sys.argv[1])
st[0].remove_chain('B')
for name, shift in (('moved.pdb', (1.0, 0.0, -0.5)), ('wrong.pdb', (1.5, 0.0, -1.0))):
    s = st.clone()
    for res in s[0]['A']:
        for atom in res:
            f = s.cell.fractionalize(atom.pos)
            g = gemmi.Fractional(-f.x + shift[0], -f.x + f.y + shift[1], -f.z + 2/3 + shift[2])
            atom.pos = s.cell.orthogonalize(g)
    s.write_pdb(name)
)";
    write_file(dir / "move.py", move);
    run_result moved = run_command(shell_quote(python()) + " move.py " +
                                       shell_quote(example("reference_solution.pdb").string()),
                                   dir.path().string());
    ASSERT_EQ(moved.status, 0) << moved.err;

    check_result good = check_placement(dir / "moved.pdb", "A");
    ASSERT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.chains['A'].model, "A");
    EXPECT_DOUBLE_EQ(good.chains['A'].within2, 1.0);
    EXPECT_LT(good.chains['A'].rmsd, 0.01);

    // (1/2, 0, 0) is not an origin shift of P3221.
    check_result wrong = check_placement(dir / "wrong.pdb", "A");
    ASSERT_EQ(wrong.status, 0) << wrong.err;
    EXPECT_LT(wrong.chains['A'].within2, 0.05);
    EXPECT_GT(wrong.chains['A'].rmsd, 10.0);

    // The search model as read is not placed; its atoms carry no chain.
    write_file(dir / "beta_as_read.pdb", cryst1() + read_file(example("beta.pdb")));
    check_result unplaced = check_placement(dir / "beta_as_read.pdb", "A");
    ASSERT_EQ(unplaced.status, 0) << unplaced.err;
    EXPECT_EQ(unplaced.chains['A'].model, "-");
    EXPECT_LT(unplaced.chains['A'].within2, 0.05);

    const struct {
        std::string chains, file_text, message;
    } failures[] = {
        {"B", cryst1() + reference_atoms('A'), "no placed model matches reference chain B"},
        {"C", cryst1() + reference_atoms('A'), "no chain C in the reference"},
        {"A", reference_atoms('A'), "the placed file is not in space group P 32 2 1"},
    };
    for (const auto& f : failures) {
        write_file(dir / "case.pdb", f.file_text);
        check_result c = check_placement(dir / "case.pdb", f.chains);
        EXPECT_EQ(c.status, 2) << f.message;
        EXPECT_EQ(c.err, "placement_check: " + f.message + "\n");
    }
}

// Without a global search the simplex starts from the reference placement,
// both chains given as separate models of an assembly, and must stay there.
TEST(RealData, LocalRefinementKeepsTheReferencePlacement) {
    temp_dir dir;
    write_file(dir / "beta_ref.pdb", reference_atoms('A'));
    write_file(dir / "blip_ref.pdb", reference_atoms('B'));
    write_file(dir / "models.txt", "beta_ref.pdb\nblip_ref.pdb\n");

    run_result run = run_zelt("-g 0 -a -w 2 -o ref " + real_mtz + " @models.txt", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto steps = solutions_by_model(run.out);
    ASSERT_EQ(steps.size(), 2u) << run.out;
    ASSERT_EQ(steps.at(1).size(), 1u);
    ASSERT_EQ(steps.at(2).size(), 1u);
    std::cout << "refined reference: beta CC " << steps.at(1)[0].cc << ", beta and BLIP CC "
              << steps.at(2)[0].cc << "\n";
    EXPECT_EQ(steps.at(1)[0].clashes, 0);
    EXPECT_EQ(steps.at(2)[0].clashes, 0);

    check_result beta = check_placement(dir / "ref.1.1.pdb", "A");
    ASSERT_EQ(beta.status, 0) << beta.err;
    EXPECT_EQ(beta.chains['A'].model, "A");
    EXPECT_DOUBLE_EQ(beta.chains['A'].within2, 1.0);
    EXPECT_LT(beta.chains['A'].rmsd, 0.3);

    check_result both = check_placement(dir / "ref.2.1.pdb", "AB");
    ASSERT_EQ(both.status, 0) << both.err;
    for (char chain : {'A', 'B'}) {
        EXPECT_EQ(both.chains[chain].model, std::string(1, chain));
        EXPECT_DOUBLE_EQ(both.chains[chain].within2, 1.0) << chain;
        EXPECT_LT(both.chains[chain].rmsd, 0.3) << chain;
        std::cout << "chain " << chain << " C-alpha RMSD after refinement " << both.chains[chain].rmsd << " A\n";
    }
}

// The same seed and settings give the same report and the same coordinates,
// whether the scoring runs on one processor or on all of them.
TEST(RealData, SameSeedSameResults) {
    temp_dir one, all;
    for (const temp_dir* d : {&one, &all})
        write_file(*d / "models.txt", example("beta.pdb").string() + "\n" + example("blip.pdb").string() + "\n");
    const std::string args = "-e 4711 -a -n 2 -p 24 -g 4 -h 5 " + real_mtz + " @models.txt";
    run_result serial = run_command("taskset -c 0 " + shell_quote(zelt_binary()) + " " + args, one.path().string());
    run_result parallel = run_zelt(args, all.path().string());
    ASSERT_EQ(serial.status, 0) << serial.err;
    ASSERT_EQ(parallel.status, 0) << parallel.err;
    EXPECT_NE(serial.out.find("Total elapsed time: "), std::string::npos);
    EXPECT_EQ(without_elapsed_time(serial.out), without_elapsed_time(parallel.out));

    // Per-attempt files of both model steps: zelt.<model>.<attempt>.pdb.
    for (const std::string name : {"zelt.1.1.pdb", "zelt.1.2.pdb", "zelt.2.1.pdb", "zelt.2.2.pdb"}) {
        ASSERT_TRUE(std::filesystem::exists(one / name)) << name;
        EXPECT_EQ(read_file(one / name), read_file(all / name)) << name;
    }
    // A different seed gives different placements.
    temp_dir other;
    write_file(other / "models.txt", example("beta.pdb").string() + "\n" + example("blip.pdb").string() + "\n");
    run_result reseeded = run_zelt("-e 4712" + args.substr(7), other.path().string());
    ASSERT_EQ(reseeded.status, 0) << reseeded.err;
    EXPECT_NE(read_file(one / "zelt.1.1.pdb"), read_file(other / "zelt.1.1.pdb"));
}

// The assembly search of the example with the fft mode's defaults:
// beta-lactamase first, then BLIP with the best beta-lactamase placement
// fixed, from one random stream.  The best solution of the first model step
// must put beta-lactamase where the reference has it, and that placement must
// stay fixed, as chain A, in every file of the second model step, whose best
// solution puts BLIP (which the six-dimensional search does not find) where
// the reference has it.
TEST(RealData, AssemblySearchFindsBetaAndKeepsItForBlip) {
    temp_dir dir;
    write_file(dir / "models.txt", example("beta.pdb").string() + "\n" + example("blip.pdb").string() + "\n");
    run_result run = run_zelt(assembly_settings + " -a -w 2 -o asm " + real_mtz + " @models.txt", dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto steps = solutions_by_model(run.out);
    ASSERT_EQ(steps.size(), 2u) << run.out;
    ASSERT_EQ(steps.at(1).size(), 2u);
    ASSERT_EQ(steps.at(2).size(), 2u);

    // The first step's best as the run record names it: several attempts at
    // the same placement can print the same CC.
    const nlohmann::json record = nlohmann::json::parse(read_file(dir / "asm.json"));
    const int beta_best = record["copy_steps"][0]["best_attempt"].get<int>();
    EXPECT_EQ(steps.at(1)[beta_best - 1].cc, steps.at(1)[best_attempt(steps.at(1)) - 1].cc);
    check_result beta = check_placement(dir / ("asm.1." + std::to_string(beta_best) + ".pdb"), "A");
    ASSERT_EQ(beta.status, 0) << beta.err;
    std::cout << "beta: best attempt " << beta_best << ", C-alpha within 2 A " << beta.chains['A'].within2
              << ", RMSD " << beta.chains['A'].rmsd << " A\n";
    EXPECT_GT(beta.chains['A'].within2, 0.9);
    EXPECT_LT(beta.chains['A'].rmsd, 0.5);
    EXPECT_EQ(steps.at(1)[beta_best - 1].clashes, 0);

    // Every other attempt of the first step either finds beta-lactamase as
    // well, or ends elsewhere with a lower score than the best.
    for (const auto& s : steps.at(1)) {
        if (s.attempt == beta_best) continue;
        check_result other = check_placement(dir / ("asm.1." + std::to_string(s.attempt) + ".pdb"), "A");
        ASSERT_EQ(other.status, 0) << other.err;
        if (other.chains['A'].within2 > 0.9) continue;
        EXPECT_LT(s.cc, steps.at(1)[beta_best - 1].cc) << s.attempt;
    }

    // Second step: the fixed beta-lactamase is chain A of each file, exactly
    // where the first step's best put it; BLIP follows as chain B.
    const std::string beta_atoms = read_file(dir / ("asm.1." + std::to_string(beta_best) + ".pdb"));
    const auto atom_lines = [](const std::string& text, char chain) {
        std::string lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("ATOM  ", 0) == 0 && line[21] == chain) lines += line + "\n";
        return lines;
    };
    for (const auto& s : steps.at(2)) {
        const auto file = dir / ("asm.2." + std::to_string(s.attempt) + ".pdb");
        EXPECT_EQ(atom_lines(read_file(file), 'A'), atom_lines(beta_atoms, 'A')) << file;
        check_result both = check_placement(file, "AB");
        ASSERT_EQ(both.status, 0) << both.err;
        EXPECT_EQ(both.chains['A'].model, "A");
        EXPECT_EQ(both.chains['B'].model, "B");
        EXPECT_GT(both.chains['A'].within2, 0.9);
        if (s.attempt != record["copy_steps"][1]["best_attempt"].get<int>()) continue;
        std::cout << "BLIP: best attempt " << s.attempt << ", C-alpha within 2 A " << both.chains['B'].within2
                  << ", RMSD " << both.chains['B'].rmsd << " A\n";
        EXPECT_GT(both.chains['B'].within2, 0.9) << run.out;
        EXPECT_LT(both.chains['B'].rmsd, 1.0);
    }
}

