// The zelt binary as a user meets it: standard output, standard error and
// exit status for usage, version and every kind of failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.hpp"

namespace {

using zelt_test::run_zelt;
using zelt_test::shell_quote;

std::string q(const std::string& s) { return shell_quote(s); }
std::string ex(const std::string& name) { return q(zelt_test::example(name).string()); }
std::string mtz() { return ex("beta_blip.mtz"); }

const std::string usage_text =
    "Usage: zelt [options] sca-file pdb-file\n"
    "       zelt [options] sca-file @model-list-file\n"
    "       zelt [options] mtz-file pdb-file\n"
    "       zelt [options] mtz-file @model-list-file\n"
    "       zelt [options] cell-file pdb-file reflection-file\n"
    "       zelt [options] cell-file @model-list-file reflection-file\n"
    "Options:\n"
    "   -a               treat models as an assembly, search with each sequentially\n"
    "   -A               treat models as an assembly, search with all simultaneously\n"
    "   -c               search sequentially over all related space groups\n"
    "   -C               search all related space groups simultaneously\n"
    "   -e number        seed for random number generator, 0=system-supplied (0)\n"
    "   -g number        number of generations (50)\n"
    "   -h number        high resolution limit (3.0)\n"
    "   -l number        low resolution limit (80.0)\n"
    "   -m number        number of copies of model to find sequentially (1)\n"
    "   -M number        number of copies of model to find simultaneously (1)\n"
    "   -n number        number of search attempts (20)\n"
    "   -o filename      prefix for output coordinate files (zelt)\n"
    "   -p number        population size (300)\n"
    "   -R               rotation search only\n"
    "   -s filename      file containing static structure\n"
    "   -S               use all search models in competition with each other\n"
    "   -T               translation search only\n"
    "   -v number        verbosity: 0=none, 1=normal, 2=high (1)\n"
    "   -V               print version information and exit\n"
    "   -w number        write solution coordinates: 0=none, 1=best, 2=all (all)\n"
    "   -Z label         MTZ data column (structure factors or intensities)\n";

const std::string banner_text =
    "ZELT Version 16.07.1, Jul 16 2016\n"
    "The latest version of this program is always available from https://github.com/zelt-mr/zelt.\n"
    "\n";

TEST(Binary, UsageText) {
    for (const std::string args : {"", "-R", "-g 5 -n 2", "a b c d", "-- ", "-v0 a b c d"}) {
        SCOPED_TRACE(args);
        const auto r = run_zelt(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage_text);
    }
}

TEST(Binary, VersionBanner) {
    for (const std::string args : {"-V", "-V -x -g bad", "-RV", "/V", "-n 3 -V a b c d e"}) {
        SCOPED_TRACE(args);
        const auto r = run_zelt(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, banner_text);
        EXPECT_EQ(r.err, "");
    }
}

// Arguments, then the text after the program's name on standard error.
struct failure_case {
    std::string args;
    std::string message;
};

void expect_failures(const std::vector<failure_case>& cases, const std::string& cwd = "") {
    const std::string program = zelt_test::zelt_binary();
    for (const failure_case& c : cases) {
        SCOPED_TRACE(c.args);
        const auto r = run_zelt(c.args, cwd);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, program + c.message + "\nExiting...\n");
    }
}

TEST(Binary, CommandLineFailures) {
    zelt_test::temp_dir t;
    zelt_test::write_file(t / "spaced.cfg", "attempts=2\nattempts = 3\n");
    zelt_test::write_file(t / "good.cfg", "attempts=2 copies=1\n");
    const std::string missing = (t / "missing.cfg").string();
    expect_failures({
        {"-g 5x a", ": Error: command line parameter is not an integer: 5x"},
        {"-g5 -n 2.0 a", ": Error: command line parameter is not an integer: 2.0"},
        {"-e seed a", ": Error: command line parameter is not an integer: seed"},
        {"-p '1 ' a", ": Error: command line parameter is not an integer: 1 "},
        {"-M 2x a", ": Error: command line parameter is not an integer: 2x"},
        {"-m x a", ": Error: command line parameter is not an integer: x"},
        {"-w best a", ": Error: command line parameter is not an integer: best"},
        {"-v high a", ": Error: command line parameter is not an integer: high"},
        {"-h 3A a", ": Error: command line parameter is not a number: 3A"},
        {"-l '80 A' a", ": Error: command line parameter is not a number: 80 A"},
        {"-v3 a", ": Error: Invalid value for option -v"},
        {"/v -1 a", ": Error: Invalid value for option -v"},
        {"-v '' a", ": Error parsing numeric value from input: invalid stoi argument"},
        {"-w 99999999999 a", ": Error: stoi argument out of range"},
        {"-P attempts a", ": Error: incorrect parameter definition on command line: attempts"},
        {"-P attempts= a", ": Error: incorrect parameter definition on command line: attempts="},
        {"-b 2 a", ": Error: option -b is not implemented in this version of the program."},
        {"-t2 a", ": Error: option -t is not implemented in this version of the program."},
        {"-x a", ": Error: Unrecognized option"},
        {"-Rq a", ": Error: Unrecognized option"},
        {"-x -V", ": Error: Unrecognized option"},
        {"-n", ": Error: Unrecognized option"},
        {"-: a", ": Error: Unrecognized option"},
        {"-F " + q(missing), ": An I/O error has occurred: unable to open the file " + missing +
                                 ": iostream stream error"},
        {"-F " + q(t.path().string()), ": An I/O error has occurred: unable to open the file " +
                                           t.path().string() + ": iostream stream error"},
        {"-F " + q((t / "spaced.cfg").string()),
         ": Error: Incorrect parameter definition in configuration file: attempts"},
        // A key unknown to the defaults stops the run before anything is read.
        {"-P Attempts=3 " + mtz() + " " + ex("beta.pdb"), ": Error: invalid unordered_map<K, T> key"},
        {"-F " + q((t / "good.cfg").string()) + " -P no.such.key=1 " + mtz(),
         ": Error: invalid unordered_map<K, T> key"},
        // Counts that leave nothing to search are refused before any input is read.
        {"-n 0 -w 1 absent.mtz absent.pdb",
         ": Value out of range: the number of attempts (-n) must be at least 1 (is 0)."},
        {"-g -1 absent.mtz absent.pdb",
         ": Value out of range: the number of generations (-g) must not be negative (is -1)."},
        {"-p 0 absent.mtz absent.pdb", ": Value out of range: the population size (-p) must be at least 1 (is 0)."},
        // A root-level file that does not exist is not an option cluster.
        {"/zelt-absent.mtz absent.pdb", ": An I/O error has occurred: the file /zelt-absent.mtz does not exist"},
        {"-v0 /e.mtz", ": An I/O error has occurred: the file /e.mtz does not exist"},
    });
}

TEST(Binary, ProgramNameAsTyped) {
    const std::filesystem::path bin = zelt_test::zelt_binary();
    const auto r = zelt_test::run_command("./" + bin.filename().string() + " -x", bin.parent_path().string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "./" + bin.filename().string() + ": Error: Unrecognized option\nExiting...\n");
}

TEST(Binary, PreparationFailures) {
    zelt_test::temp_dir t;
    zelt_test::write_file(t / "empty.list", "\n\n");
    zelt_test::write_file(t / "noatoms.pdb", "REMARK nothing here\nEND\n");
    zelt_test::write_file(t / "models.list", zelt_test::example("beta.pdb").string() + " " +
                                                 zelt_test::example("blip.pdb").string() + "\n");
    const std::string beta = ex("beta.pdb");
    const std::string models = q("@" + (t / "models.list").string());
    const std::string quiet = "-v0 ";
    const std::string atom = "ATOM      1  CA  ALA A   1      11.104  13.207  10.000  1.00 20.00\n";
    zelt_test::write_file(t / "nan.pdb", atom + "ATOM      2  CA  ALA A   2         nan  13.207  10.000  1.00 20.00\n");
    zelt_test::write_file(t / "infb.pdb", "ATOM      1  CA  ALA A   1      11.104  13.207  10.000  1.00   inf\n");
    zelt_test::write_file(t / "far.pdb", atom + "ATOM      2  CA  ALA A   2        1e30  13.207  10.000  1.00 20.00\n");
    const std::string fast = "-g0 -n1 -w0 -P optimizer.local=none ";
    const std::string box_refusal =
        "the transform box of a model is too large for the resolution limit "
        "(check transform.scale and the atom coordinates)";
    expect_failures({
        {quiet + "-h 79 -l 80 " + mtz() + " " + beta, ": Error: no input reflections in the resolution range"},
        {quiet + "-h 3 -l 2 " + mtz() + " " + beta, ": Error: no input reflections in the resolution range"},
        {quiet + mtz() + " " + q("@" + (t / "empty.list").string()), ": Error: no search model provided."},
        {quiet + mtz() + " " + q((t / "noatoms.pdb").string()), ": Error: no atoms in search model"},
        {quiet + mtz(), ": Error: no atoms in search model"},  // empty standard input
        {quiet + "-s " + q((t / "noatoms.pdb").string()) + " " + mtz() + " " + beta,
         ": Error: no atoms in static-structure model"},
        {quiet + "-P 'structure.source= ' " + mtz() + " " + beta, ": Error: unable to load static structure."},
        {quiet + "-s " + q((t / "nofile.pdb").string()) + " " + mtz() + " " + beta,
         ": An I/O error has occurred: unable to open the file " + (t / "nofile.pdb").string()},
        {quiet + "-P resolution.low=abc " + mtz() + " " + beta,
         ": Error parsing numeric value from input: invalid stod argument"},
        {quiet + "-h 1e999 " + mtz() + " " + beta, ": Error: stod argument out of range"},
        {quiet + "-e 4294967296 " + mtz() + " " + beta, ": Error: stoul argument out of range"},
        {quiet + "-P random.seed=x " + mtz() + " " + beta,
         ": Error parsing numeric value from input: invalid stoul argument"},
        {quiet + "-g0 -C " + mtz() + " " + beta,
         ": Error: space group search (-C) and local search (-g0) cannot be combined."},
        {quiet + "-g0 -M 2 " + mtz() + " " + beta,
         ": Error: multi-copy search (-M or -A) is incompatible with local search (-g0)."},
        {quiet + "-g0 -A " + mtz() + " " + models,
         ": Error: multi-copy search (-M or -A) is incompatible with local search (-g0)."},
        {quiet + "-g0 -S " + mtz() + " " + models,
         ": Error: model selection during search (-S) is incompatible with local search (-g0)."},
        {quiet + "-s " + ex("blip.pdb") + " -C " + mtz() + " " + beta,
         ": Error: partial structure (-s) is incompatible with space group search (-C)."},
        {quiet + "-P evolution.generations=ten " + mtz() + " " + beta,
         ": Error parsing numeric value from input: invalid stoi argument"},
        {quiet + "-P copies=3000000000 " + mtz() + " " + beta, ": Error: stoi argument out of range"},
        {quiet + mtz() + " " + q((t / "nan.pdb").string()),
         ": Error: non-finite coordinate, occupancy or B-factor in " + (t / "nan.pdb").string() + ", line 2"},
        {quiet + mtz() + " " + q((t / "infb.pdb").string()),
         ": Error: non-finite coordinate, occupancy or B-factor in " + (t / "infb.pdb").string() + ", line 1"},
        {quiet + fast + mtz() + " " + q((t / "far.pdb").string()), ": Value out of range: " + box_refusal},
        {quiet + fast + "-P transform.scale=1e30 " + mtz() + " " + beta, ": Value out of range: " + box_refusal},
        {quiet + fast + "-P transform.scale=1e-30 " + mtz() + " " + beta,
         ": Value out of range: atom position out of range in fourier_map"},
        {quiet + "-P evolution.selection.rate.starting=1.5 " + mtz() + " " + beta,
         ": Value out of range: selection rate evolution.selection.rate.starting must lie between 0 and 1 (is 1.5)."},
    });
}

// Settings the fft translation search cannot honour are refused before
// anything is printed or read: the input files named here do not exist.
TEST(Binary, TranslationSearchRefusals) {
    zelt_test::temp_dir t;
    const std::string files = "absent.mtz absent.pdb";
    const std::string fft = "-P optimizer.translation=fft ";
    expect_failures(
        {
            {"-P optimizer.translation=FFT " + files,
             ": Error: optimizer.translation must be \"evolutionary\" or \"fft\" (is \"FFT\")."},
            {fft + "-M 2 " + files,
             ": Error: the fft translation search places one copy at a time: it cannot be combined with -M or -A."},
            {fft + "-A " + files,
             ": Error: the fft translation search places one copy at a time: it cannot be combined with -M or -A."},
            {fft + "-P optimizer.translation.resolution=0 " + files,
             ": Value out of range: optimizer.translation.resolution must be a positive resolution in Angstroms or auto (is 0)."},
            {fft + "-P optimizer.translation.resolution=nan " + files,
             ": Value out of range: optimizer.translation.resolution must be a positive resolution in Angstroms or auto (is nan)."},
            {fft + "-P optimizer.translation.peaks=0 " + files,
             ": Value out of range: optimizer.translation.peaks must be at least 1 (is 0)."},
            {fft + "-P optimizer.translation.candidates=0 " + files,
             ": Value out of range: optimizer.translation.candidates must be at least 1 (is 0)."},
            {fft + "-P optimizer.orientation=grid " + files,
             ": Error: optimizer.orientation must be \"evolutionary\" or \"scan\" (is \"grid\")."},
            {fft + "-P optimizer.orientation=scan -P optimizer.orientation.spacing=0 " + files,
             ": Value out of range: optimizer.orientation.spacing must be a positive angle in degrees giving at "
             "most 10000000 orientations, or auto (is 0)."},
            {fft + "-P optimizer.orientation=scan -P optimizer.orientation.spacing=-5 " + files,
             ": Value out of range: optimizer.orientation.spacing must be a positive angle in degrees giving at "
             "most 10000000 orientations, or auto (is -5)."},
            // 0.8 degrees: 4 * 225^3 = 45.6 million grid points.
            {fft + "-P optimizer.orientation.spacing=0.8 " + files,
             ": Value out of range: optimizer.orientation.spacing must be a positive angle in degrees giving at "
             "most 10000000 orientations, or auto (is 0.8)."},
            {fft + "-P optimizer.translation.resolution=fine " + files,
             ": Error parsing numeric value from input: invalid stod argument"},
        },
        t.path().string());
    EXPECT_TRUE(std::filesystem::is_empty(t.path()));
    // In the default mode the same keys are not read.
    const auto r = run_zelt("-v0 -P optimizer.translation.peaks=0 -M 2 " + files, t.path().string());
    EXPECT_EQ(r.err, zelt_test::zelt_binary() + ": An I/O error has occurred: unable to open the file absent.mtz\nExiting...\n");
}

TEST(Binary, FailureAfterTheInputMessages) {
    // The reading messages come first; the failure goes to standard error.
    const auto r = run_zelt("-v1 -h 79 -l 80 " + mtz() + " " + ex("beta.pdb"));
    EXPECT_EQ(r.status, 1);
    const std::string file = zelt_test::example("beta_blip.mtz").string();
    EXPECT_EQ(r.out, banner_text + "Reading unit cell and space group information from " + file +
                         "\na=75.11 b=75.11 c=133.31 alpha=90 beta=90 gamma=120, space group 154 (P 32 2 1) \n\n"
                         "Reading reflections from " + file + "\nUsed MTZ data column 'Fobs'\n"
                         "0 reflections in resolution range\n\n");
    EXPECT_EQ(r.err, zelt_test::zelt_binary() + ": Error: no input reflections in the resolution range\nExiting...\n");

    // The partial structure is read before the derivation refuses it.
    const auto s = run_zelt("-s " + ex("blip.pdb") + " -C " + mtz() + " " + ex("beta.pdb"));
    EXPECT_EQ(s.status, 1);
    EXPECT_NE(s.out.find("Loading static structure from " + zelt_test::example("blip.pdb").string() +
                         "\n1 coordinate file(s) loaded.\n\n"),
              std::string::npos);
    EXPECT_EQ(s.out.find("Optimizing:"), std::string::npos);
}

TEST(Binary, RelativePathsFromTheExampleFolder) {
    // One positional argument: the model comes from standard input.
    const std::string pdb = zelt_test::read_file(zelt_test::example("blip.pdb"));
    const auto r = zelt_test::run_zelt("-v1 -e 5 -g0 -n1 -w0 -P optimizer.local=none -P report.solution=false "
                                       "-P report.time.total=false beta_blip.mtz",
                                       zelt_test::example("").string(), pdb);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find("Optimizing:")),
              banner_text +
                  "Reading unit cell and space group information from beta_blip.mtz\n"
                  "a=75.11 b=75.11 c=133.31 alpha=90 beta=90 gamma=120, space group 154 (P 32 2 1) \n\n"
                  "Reading reflections from beta_blip.mtz\n"
                  "Used MTZ data column 'Fobs'\n"
                  "8830 reflections in resolution range\n\n"
                  "Loading search model from standard input\n"
                  "Model 1: 1235 atoms\n\n");
    EXPECT_NE(r.out.find("Optimizing: orientation position\n"
                         "Resolution range: 80.0 - 3.0 Angstroms\n"
                         "Copies of molecule to find: 1\n"
                         "Number of attempts (per copy): 1\n"
                         "Random number seed: 5\n"
                         "Prefix for output coordinate file name: zelt\n\n"),
              std::string::npos);
}

// The solution lines of a run (the part that holds scores).
std::string solution_lines(const std::string& out) {
    std::string lines;
    for (std::size_t at = out.find("Solution "); at != std::string::npos; at = out.find("Solution ", at + 1))
        lines += out.substr(at, out.find('\n', at) - at) + "\n";
    return lines;
}

TEST(Binary, NonFiniteObservationsAreDroppedAndCounted) {
    // The reflections of the example MTZ file written by gemmi as a
    // plain-text file and a scalepack file, each with non-finite values
    // added (and, in the scalepack file, a pair with neither half measured).
    zelt_test::temp_dir t;
    zelt_test::run_python(
        "import gemmi, numpy\n"
        "m = gemmi.read_mtz_file(r'" + zelt_test::example("beta_blip.mtz").string() + "')\n"
        "c = m.cell\n"
        "open('cell.txt', 'w').write('%r %r %r %r %r %r 154\\n' % (c.a, c.b, c.c, c.alpha, c.beta, c.gamma))\n"
        "rows = numpy.array(m, copy=False)\n"
        "with open('refl.txt', 'w') as f:\n"
        "    f.write('1 2 3 nan 1\\n1 2 4 inf 2\\n')\n"
        "    for h, k, l, fo, s in rows: f.write('%d %d %d %r %r\\n' % (h, k, l, float(fo), float(s)))\n"
        "    f.write('1 2 5 4 -inf\\n')\n"
        "scale = 99999.0 / float((rows[:, 3] ** 2).max())\n"
        "with open('data.sca', 'w') as f:\n"
        "    f.write('    1\\n -987\\n%10.3f%10.3f%10.3f%10.3f%10.3f%10.3f p3221\\n' % (c.a, c.b, c.c, c.alpha, c.beta, c.gamma))\n"
        "    for h, k, l, fo, s in rows: f.write('%4d%4d%4d%8.1f%8.1f\\n' % (h, k, l, fo * fo * scale, 1.0))\n"
        "    f.write('   1   2   3     nan     1.0\\n   1   2   4   100.0    -1.0   100.0    -1.0\\n')\n",
        t.path().string());
    const std::string run = "-e 5 -g0 -n1 -w0 -P optimizer.local=none ";
    const std::string beta = ex("beta.pdb");
    const auto text = run_zelt(run + "cell.txt " + beta + " refl.txt", t.path().string());
    const auto reference = run_zelt(run + mtz() + " " + beta);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("Reading reflections from refl.txt\n"
                            "3 reflections without a finite measured value left out\n"
                            "8830 reflections in resolution range\n"),
              std::string::npos);
    // The remaining reflections are those of the MTZ file: the same scores.
    ASSERT_FALSE(solution_lines(reference.out).empty());
    EXPECT_EQ(solution_lines(text.out), solution_lines(reference.out));

    const auto sca = run_zelt(run + "data.sca " + beta, t.path().string());
    EXPECT_EQ(sca.status, 0) << sca.err;
    EXPECT_NE(sca.out.find("2 reflections without a finite measured value left out\n"
                           "8830 reflections in resolution range\n"),
              std::string::npos);
    EXPECT_EQ(solution_lines(sca.out).find("nan"), std::string::npos);
    EXPECT_NE(solution_lines(sca.out).find("Solution  1"), std::string::npos);
    // A clean file prints no such line.
    EXPECT_EQ(reference.out.find("without a finite measured value"), std::string::npos);
}

TEST(Binary, SegmentIdentifiersPaddedWithBlanksAreOneSegment) {
    // Half of the atom lines padded to 80 columns with blanks: still one
    // segment, so no segment-wise refinement follows the local optimisation.
    zelt_test::temp_dir t;
    std::istringstream in(zelt_test::read_file(zelt_test::example("beta.pdb")));
    std::string padded;
    int n = 0;
    for (std::string line; std::getline(in, line); ++n)
        padded += (n % 2 == 0 && line.size() < 80 ? line + std::string(80 - line.size(), ' ') : line) + "\n";
    zelt_test::write_file(t / "padded.pdb", padded);
    const auto r = run_zelt("-e 5 -g0 -n1 -w0 -h 8 -P simplex.tolerance=0.01 " + mtz() + " " +
                            q((t / "padded.pdb").string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Local optimization completed\n"), std::string::npos);
    EXPECT_EQ(r.out.find("of segments"), std::string::npos);
}

TEST(Binary, QuietRunsWithAbsolutePaths) {
    // Absolute file names are positional arguments, not slash options; -A
    // with a single model is switched off before the derivation, so it does
    // not clash with -g0; verbosity 0 prints nothing.
    for (const std::string extra : {"", "-A "}) {
        SCOPED_TRACE(extra);
        const auto r = run_zelt("-v0 -e 9 -g0 -n1 -w0 -P optimizer.local=none " + extra + mtz() + " " +
                                ex("beta.pdb"));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 0);
    }
}

}  // namespace
