// The zelt binary as a user meets it: standard output, standard error and
// exit status for usage, version and every kind of failure.
#include <gtest/gtest.h>
#include <unistd.h>

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
        // A key unknown to the defaults stops the run before anything is
        // read; the nearest known key is suggested when one is near.
        {"-P Attempts=3 " + mtz() + " " + ex("beta.pdb"),
         ": Error: unknown run parameter 'Attempts' (did you mean 'attempts'?)"},
        {"-P output.jsn=false absent.mtz", ": Error: unknown run parameter 'output.jsn' (did you mean 'output.json'?)"},
        {"-F " + q((t / "good.cfg").string()) + " -P no.such.key=1 " + mtz(),
         ": Error: unknown run parameter 'no.such.key'"},
        // A number must be the whole value, of the key's kind.
        {"-P attempts=2junk absent.mtz", ": Error parsing numeric value from input: invalid stoi argument: attempts=2junk"},
        {"-P evolution.generations=2.9 absent.mtz",
         ": Error parsing numeric value from input: invalid stoi argument: evolution.generations=2.9"},
        {"-P attempts=1e99 absent.mtz", ": Error parsing numeric value from input: invalid stoi argument: attempts=1e99"},
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
    const std::string no_records = ": it holds no atom records (ATOM or HETATM lines, or _atom_site rows)";
    const auto box_refusal = [](const std::string& scale) {
        return " (atom extents times transform.scale=" + scale + "), is too large for the resolution limit of 3 A: "
               "at most 4194304 cells of the limit's cube (check transform.scale and the atom coordinates)";
    };
    expect_failures({
        {quiet + "-h 79 -l 80 " + mtz() + " " + beta, ": Error: no input reflections in the resolution range"},
        {quiet + "-h 3 -l 2 " + mtz() + " " + beta, ": Error: no input reflections in the resolution range"},
        {quiet + mtz() + " " + q("@" + (t / "empty.list").string()), ": Error: no search model provided."},
        {quiet + mtz() + " " + q((t / "noatoms.pdb").string()),
         ": Error: no atoms in search model " + (t / "noatoms.pdb").string() + no_records},
        {quiet + mtz(), ": Error: no atoms in search model standard input" + no_records},
        {quiet + "-s " + q((t / "noatoms.pdb").string()) + " " + mtz() + " " + beta,
         ": Error: no atoms in static-structure model " + (t / "noatoms.pdb").string() + no_records},
        {quiet + "-P 'structure.source= ' " + mtz() + " " + beta, ": Error: unable to load static structure."},
        {quiet + "-s " + q((t / "nofile.pdb").string()) + " " + mtz() + " " + beta,
         ": An I/O error has occurred: unable to open the file " + (t / "nofile.pdb").string()},
        {quiet + "-P resolution.low=abc " + mtz() + " " + beta,
         ": Error parsing numeric value from input: invalid stod argument: resolution.low=abc"},
        {quiet + "-h 1e999 " + mtz() + " " + beta, ": Error: stod argument out of range: resolution.high=1e999"},
        {quiet + "-e 4294967296 " + mtz() + " " + beta, ": Error: stoul argument out of range: random.seed=4294967296"},
        {quiet + "-P random.seed=x " + mtz() + " " + beta,
         ": Error parsing numeric value from input: invalid stoul argument: random.seed=x"},
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
         ": Error parsing numeric value from input: invalid stoi argument: evolution.generations=ten"},
        {quiet + "-P copies=3000000000 " + mtz() + " " + beta, ": Error: stoi argument out of range: copies=3000000000"},
        {quiet + mtz() + " " + q((t / "nan.pdb").string()),
         ": Error: non-finite coordinate, occupancy or B-factor in " + (t / "nan.pdb").string() + ", line 2"},
        {quiet + mtz() + " " + q((t / "infb.pdb").string()),
         ": Error: non-finite coordinate, occupancy or B-factor in " + (t / "infb.pdb").string() + ", line 1"},
        {quiet + fast + mtz() + " " + q((t / "far.pdb").string()),
         ": Value out of range: the transform box of the model " + (t / "far.pdb").string() +
             ", 2e+30 x 20 x 20 A" + box_refusal("2")},
        {quiet + fast + "-P transform.scale=1e30 " + mtz() + " " + beta,
         ": Value out of range: the transform box of the model " + zelt_test::example("beta.pdb").string() +
             ", 4.1077e+31 x 5.674e+31 x 4.3612e+31 A" + box_refusal("1e+30")},
        {quiet + fast + "-P transform.scale=1e-30 " + mtz() + " " + beta,
         ": Value out of range: atom position out of range in fourier_map"},
        {quiet + "-P evolution.selection.rate.starting=1.5 " + mtz() + " " + beta,
         ": Value out of range: selection rate evolution.selection.rate.starting must lie between 0 and 1 (is 1.5)."},
    });
}

// Bulk-solvent bounds the searches cannot keep are refused before anything
// is printed or read.
TEST(Binary, BabinetBoundRefusals) {
    zelt_test::temp_dir t;
    const std::string files = " absent.mtz absent.pdb";
    const std::string key = "-P evolution.mutation.babinet.";
    expect_failures(
        {
            {key + "k.min=1.6" + files, ": Value out of range: evolution.mutation.babinet.k.min must not exceed "
                                        "evolution.mutation.babinet.k.max (is 1.6 against 1.5)."},
            {key + "B.max=50" + files, ": Value out of range: evolution.mutation.babinet.B.min must not exceed "
                                       "evolution.mutation.babinet.B.max (is 100.0 against 50)."},
            {key + "k.max=nan" + files, ": Value out of range: evolution.mutation.babinet.k.min must not exceed "
                                        "evolution.mutation.babinet.k.max (is 0.2 against nan)."},
            {key + "B.min=-1" + files,
             ": Value out of range: evolution.mutation.babinet.B.min must not be negative (is -1)."},
            {key + "B.min=x" + files,
             ": Error parsing numeric value from input: invalid stod argument: evolution.mutation.babinet.B.min=x"},
        },
        t.path().string());
    EXPECT_TRUE(std::filesystem::is_empty(t.path()));
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
             ": Error parsing numeric value from input: invalid stod argument: optimizer.translation.resolution=fine"},
            {fft + "-P model.error=-1 " + files,
             ": Value out of range: model.error must be an RMS error of 0 to 10 Angstroms or auto (is -1)."},
            {"-P model.error=inf " + files,
             ": Value out of range: model.error must be an RMS error of 0 to 10 Angstroms or auto (is inf)."},
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

namespace {

const std::string fast_run = "-e 5 -g0 -n1 -P optimizer.local=none ";

// The command line that runs zelt with ARGS, its standard output on a full device.
std::string to_full_device(const std::string& args) {
    std::string line = "(";
    line.append(q(zelt_test::zelt_binary())).append(" ").append(args).append(" >/dev/full)");
    return line;
}

// Output that cannot be written fails the run: standard output on a full
// device (the reports, and coordinates with -o -), and an output folder that
// is missing or read-only, found before any input is read.
TEST(Binary, OutputThatCannotBeWritten) {
    zelt_test::temp_dir t;
    const std::string lost = ": An I/O error has occurred: unable to write to standard output";
    for (const std::string& args : std::vector<std::string>{"-V", fast_run + "-w0 " + mtz() + " " + ex("beta.pdb")}) {
        SCOPED_TRACE(args);
        const auto r = zelt_test::run_command(to_full_device(args), t.path().string());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(lost), std::string::npos) << r.err;
    }
    const auto coordinates =
        zelt_test::run_command(to_full_device(fast_run + "-v0 -o - " + mtz() + " " + ex("beta.pdb")), t.path().string());
    EXPECT_EQ(coordinates.err, zelt_test::zelt_binary() +
                                   ": An I/O error has occurred: unable to write the coordinates to standard output\n"
                                   "Exiting...\n");
    std::filesystem::create_directory(t / "locked");
    std::filesystem::permissions(t / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::vector<failure_case> cases = {
        {"-o nowhere/run absent.mtz absent.pdb",
         ": An I/O error has occurred: the output folder nowhere does not exist (output.prefix=nowhere/run)"},
    };
    if (::geteuid() != 0)  // the superuser writes into any folder
        cases.push_back({"-o locked/run absent.mtz absent.pdb",
                         ": An I/O error has occurred: the output folder locked cannot be written (output.prefix=locked/run)"});
    expect_failures(cases, t.path().string());
    EXPECT_TRUE(std::filesystem::is_empty(t / "locked"));
    // Nothing is written with -w0 or to standard output: no folder is needed.
    const auto quiet = run_zelt("-v0 -w0 -o nowhere/run absent.mtz absent.pdb", t.path().string());
    EXPECT_EQ(quiet.err, zelt_test::zelt_binary() + ": An I/O error has occurred: unable to open the file absent.mtz\nExiting...\n");
}

// A boolean given another text than "true" or "false" is read as false, with
// one warning line naming the key and the value.
TEST(Binary, BooleanKeyWithAnotherValueWarns) {
    zelt_test::temp_dir t;
    const auto r = run_zelt("-v0 -P output.json=yes -P report.summary=false absent.mtz absent.pdb", t.path().string());
    EXPECT_EQ(r.err, "Warning: output.json=yes is neither \"true\" nor \"false\"; it is read as false\n" +
                         zelt_test::zelt_binary() +
                         ": An I/O error has occurred: unable to open the file absent.mtz\nExiting...\n");
}

// A prefix holding bytes that are not UTF-8 names its files as given; the
// run record holds the replacement character instead of failing the run.
TEST(Binary, PrefixThatIsNotUtf8) {
    zelt_test::temp_dir t;
    const std::string prefix = "run\xff";
    const auto r = run_zelt(fast_run + "-v0 -w1 -o " + q(prefix) + " " + mtz() + " " + ex("beta.pdb"), t.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(t / (prefix + ".best.pdb")));
    const std::string record = zelt_test::read_file(t / (prefix + ".json"));
    EXPECT_NE(record.find("run\xef\xbf\xbd.best.pdb"), std::string::npos);
}

// Coordinates the PDB columns cannot hold are refused, not written shifted.
TEST(Binary, CoordinatesBeyondThePdbColumns) {
    zelt_test::temp_dir t;
    zelt_test::write_file(t / "far.pdb", "ATOM      1  CA  ALA B   1    -1500.00  13.207  10.000  1.00 20.00\n");
    expect_failures({{fast_run + "-v0 -w1 -s far.pdb " + mtz() + " " + ex("beta.pdb"),
                      ": Error: cannot write the file zelt.best.pdb in the PDB format: the coordinate "
                      "-1500.000000 lies outside -999.999 to 9999.999"}},
                    t.path().string());
}

}  // namespace
