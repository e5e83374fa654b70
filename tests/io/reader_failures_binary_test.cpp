// Reader failures as the zelt binary reports them: kind prefix, message, status 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_support.hpp"

TEST(ReaderFailures, ReportedByTheBinary) {
    zelt_test::temp_dir dir;
    const std::string mtz = zelt_test::example("beta_blip.mtz").string();
    const std::string pdb = zelt_test::example("beta.pdb").string();
    const std::string real = zelt_test::read_file(mtz);
    zelt_test::write_file(dir / "bad.sca", "1\n2\n 73.58 38.73 23.19 90 90 90 p212121\n       2   3   400.0    20.0\n");
    zelt_test::write_file(dir / "cut.mtz", real.substr(0, real.size() / 2));
    std::string no_h = real;
    no_h.replace(no_h.find("COLUMN H "), 9, "COLUMN X ");
    zelt_test::write_file(dir / "noh.mtz", no_h);
    zelt_test::write_file(dir / "self.lst", "@self.lst\n");
    zelt_test::write_file(dir / "bad.pdb", "ATOM      1  N   ASP A   1      11.104   6.134  -6.504        27.42\n");

    struct row {
        std::string args;
        std::string message;   // after "zelt: "
    };
    const row table[] = {
        {"bad.sca " + pdb, "Error parsing numeric value from input: invalid stof argument in bad.sca, line 4"},
        {"cut.mtz " + pdb, "An I/O error has occurred: the MTZ file cut.mtz is truncated or corrupted: "
                           "its header position (word 44171) lies outside the file"},
        {"noh.mtz " + pdb, "Error: Miller index column 'H' not found in MTZ file"},
        {zelt_test::shell_quote(mtz) + " @self.lst",
         "Error: the model list file self.lst names itself, directly or through other list files"},
        {zelt_test::shell_quote(mtz) + " bad.pdb",
         "Error parsing numeric value from input: invalid stod argument in bad.pdb, line 1"},
        {zelt_test::shell_quote(mtz) + " absent.pdb", "An I/O error has occurred: unable to open the file absent.pdb"},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.args);
        const auto result = zelt_test::run_zelt(r.args, dir.path().string());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, zelt_test::zelt_binary() + ": " + r.message + "\nExiting...\n");
    }
}

namespace {

struct failure_row {
    std::string args;
    std::string message;  // after "zelt: "
};

void expect_failures(const std::vector<failure_row>& rows, const zelt_test::temp_dir& dir,
                     const std::string& environment = "") {
    for (const auto& r : rows) {
        SCOPED_TRACE(r.args);
        const auto result = zelt_test::run_command(
            environment + " " + zelt_test::shell_quote(zelt_test::zelt_binary()) + " " + r.args, dir.path().string());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, zelt_test::zelt_binary() + ": " + r.message + "\nExiting...\n");
    }
}

// The environment that makes every read of the file NAME after the first
// `after` ones fail with EIO (tests/shim/read_failure_shim.cpp).
std::string failing_reads(const std::string& name, int after) {
    return "ZELT_FAIL_READ=" + name + " ZELT_FAIL_READ_AFTER=" + std::to_string(after) +
           " ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" +
           zelt_test::shell_quote(ZELT_READ_FAILURE_SHIM);
}

}  // namespace

// A read that fails part-way through a file is an error naming the file,
// never a shorter file: the model, the reflections (text, scalepack, MTZ,
// gzip) and a configuration file.
TEST(ReaderFailures, FailingReadsEndTheRun) {
    zelt_test::temp_dir dir;
    const std::string mtz = zelt_test::example("beta_blip.mtz").string();
    const std::string pdb = zelt_test::read_file(zelt_test::example("beta.pdb"));
    zelt_test::write_file(dir / "model.pdb", pdb);
    zelt_test::write_file(dir / "data.mtz", zelt_test::read_file(mtz));
    std::string rows;
    for (int h = 0; h < 40; ++h)
        for (int k = 0; k < 40; ++k)
            for (int l = 0; l < 40; ++l) rows += std::to_string(h) + " " + std::to_string(k) + " " + std::to_string(l) + " 100.0 1.0\n";
    zelt_test::write_file(dir / "cell.txt", "75.11 75.11 133.31 90 90 120 154\n");
    zelt_test::write_file(dir / "refl.txt", rows);
    zelt_test::write_file(dir / "run.cfg", std::string(200000, ' ') + "attempts=1\n");
    zelt_test::run_command("gzip -k model.pdb", dir.path().string());
    const std::string quiet = "-v0 -g0 -n1 -w0 -P optimizer.local=none ";
    const std::string m = zelt_test::shell_quote(mtz);
    expect_failures({{quiet + m + " model.pdb", "An I/O error has occurred: error reading the file model.pdb"}},
                    dir, failing_reads("model.pdb", 1));
    expect_failures({{quiet + m + " model.pdb.gz", "An I/O error has occurred: error reading the file model.pdb.gz"}},
                    dir, failing_reads("model.pdb.gz", 0));
    expect_failures({{quiet + "cell.txt model.pdb refl.txt",
                      "An I/O error has occurred: error reading the file refl.txt"}},
                    dir, failing_reads("refl.txt", 2));
    expect_failures({{quiet + "data.mtz model.pdb", "An I/O error has occurred: error reading the file data.mtz"}},
                    dir, failing_reads("data.mtz", 2));
    expect_failures({{"-F run.cfg " + quiet + m + " model.pdb",
                      "An I/O error has occurred: error reading the file run.cfg"}},
                    dir, failing_reads("run.cfg", 1));
    // /dev/zero never ends a word: refused at once rather than read into memory.
    expect_failures({{"-F /dev/zero " + m + " model.pdb",
                      "Error: the configuration file /dev/zero holds a word longer than 65536 characters"}},
                    dir);
}

// Damaged or impossible data, each refused with the file named: fractional
// Miller indices, cells no crystal has, an sf-mmCIF without a cell or with a
// space-group number that is none, unreadable numbers with their line,
// models that leave no atoms, a model far too large to transform.
TEST(ReaderFailures, DamagedDataIsRefusedByName) {
    zelt_test::temp_dir dir;
    const std::string mtz = zelt_test::example("beta_blip.mtz").string();
    const std::string m = zelt_test::shell_quote(mtz);
    const std::string beta = zelt_test::shell_quote(zelt_test::example("beta.pdb").string());
    const auto q = [&](const std::string& name) { return zelt_test::shell_quote((dir / name).string()); };
    zelt_test::run_python("import gemmi, numpy\n"
                          "m = gemmi.read_mtz_file(r'" + mtz + "')\n"
                          "a = numpy.array(m, copy=True)\n"
                          "a[5, 0] += 0.5\n"
                          "a[9, 1] = float('nan')\n"
                          "m.set_data(a)\n"
                          "m.write_to_file(r'" + (dir / "half.mtz").string() + "')\n");
    const std::string cell = "75.11 75.11 133.31 90 90 120 154\n";
    zelt_test::write_file(dir / "cell.txt", cell);
    zelt_test::write_file(dir / "half.txt", "1 2 3 100 1\n1.5 2 3 100 1\n2 2 nan 100 1\n");
    zelt_test::write_file(dir / "big.txt", "1 2 3 100 1\n3e9 2 3 100 1\n");
    zelt_test::write_file(dir / "gamma200.txt", "75.11 75.11 133.31 90 90 200 1\n");
    zelt_test::write_file(dir / "huge.txt", "1e300 75.11 133.31 90 90 120 154\n");
    zelt_test::write_file(dir / "radians.txt", "75.11 75.11 133.31 1.5708 1.5708 2.0944 154\n");
    zelt_test::write_file(dir / "open.txt", "50 50 50 60 60 150 1\n");
    zelt_test::write_file(dir / "square.txt", "75.11 75.11 133.31 90 90 90 154\n");
    zelt_test::write_file(dir / "bad.sca", "1\n2\n 73.58 38.73 23.19 90 90 90 p212121\n   2   3   4    400.0    20.0\n"
                                           "   x   3   5    400.0    20.0\n");
    const std::string sf = "data_r1sf\n_cell.angle_alpha 90\n_cell.angle_beta 90\n_cell.angle_gamma 120\n";
    const std::string loop = "loop_\n_refln.index_h\n_refln.index_k\n_refln.index_l\n_refln.F_meas_au\n1 2 3 100.0\n";
    const std::string lengths = "_cell.length_a 75.11\n_cell.length_b 75.11\n_cell.length_c 133.31\n";
    zelt_test::write_file(dir / "nocell.cif", sf + "_symmetry.space_group_name_H-M 'P 32 2 1'\n" + loop);
    zelt_test::write_file(dir / "sg-huge.cif", sf + lengths + "_symmetry.Int_Tables_number 1e300\n" + loop);
    zelt_test::write_file(dir / "sg-frac.cif", sf + lengths + "_symmetry.Int_Tables_number 154.9\n" + loop);
    const std::string atom = "ATOM      1  CA  ALA A   1      11.104  13.207  10.000  1.00 20.00\n";
    zelt_test::write_file(dir / "stars.pdb", atom + "ATOM      2  CA  ALA A   2    ********  13.207  10.000  1.00 20.00\n");
    zelt_test::write_file(dir / "e400.pdb", atom + "ATOM      2  CA  ALA A   2     1e400    13.207  10.000  1.00 20.00\n");
    zelt_test::write_file(dir / "water.pdb", "HETATM    1  O   HOH A   1      11.104  13.207  10.000  1.00 20.00\n");
    zelt_test::write_file(dir / "low.pdb", "ATOM      1  CA  ALA A   1      11.104  13.207  10.000  1.00 20.00\n");
    zelt_test::write_file(dir / "far.pdb", atom + "ATOM      2  CA  ALA A   2    1000.0001000.0001000.000  1.00 20.00\n");
    const std::string quiet = "-v0 ";
    const std::string bad_cell = "Error: bad cell definition in input file ";
    expect_failures(
        {
            {quiet + q("half.mtz") + " " + beta,
             "Error: " + (dir / "half.mtz").string() +
                 ": 2 reflections with a Miller index that is not a whole number (the first: 1.5 0 -44)"},
            {quiet + "cell.txt " + beta + " half.txt",
             "Error: half.txt: 2 reflections with a Miller index that is not a whole number (the first: 1.5 2 3)"},
            {quiet + "cell.txt " + beta + " big.txt",
             "Error: big.txt: 1 reflection with a Miller index beyond the range of a 32-bit integer (the first: 3e+09 2 3)"},
            {quiet + "gamma200.txt " + beta + " half.txt",
             bad_cell + "gamma200.txt: the angle gamma = 200 does not lie between 0 and 180 degrees"},
            {quiet + "huge.txt " + beta + " half.txt",
             bad_cell + "huge.txt: the edge a = 1e+300 is not a length above 0 and up to 10000 Angstroms"},
            {quiet + "radians.txt " + beta + " half.txt",
             bad_cell + "radians.txt: the angle alpha = 1.5708 is implausible (angles are read in degrees)"},
            {quiet + "open.txt " + beta + " half.txt", bad_cell + "open.txt: the angles 60 60 150 close no cell"},
            {quiet + "square.txt " + beta + " half.txt",
             bad_cell + "square.txt: a trigonal cell needs a = b, alpha = beta = 90 and gamma = 120 (space group P3221)"},
            {quiet + "bad.sca " + beta, "Error parsing numeric value from input: invalid stof argument in bad.sca, line 5"},
            {quiet + "nocell.cif " + beta, "Error: nocell.cif: no data block gives the unit cell (_cell.length_a, _cell.length_b, _cell.length_c)"},
            {quiet + "sg-huge.cif " + beta,
             "Error: sg-huge.cif: the space-group number 1e300 (_symmetry.Int_Tables_number) is not a whole number "
             "from 1 to 230"},
            {quiet + "sg-frac.cif " + beta,
             "Error: sg-frac.cif: the space-group number 154.9 (_symmetry.Int_Tables_number) is not a whole number "
             "from 1 to 230"},
            {quiet + m + " stars.pdb", "Error parsing numeric value from input: invalid stod argument in stars.pdb, line 2"},
            {quiet + m + " e400.pdb", "Error: stod argument out of range in e400.pdb, line 2"},
            {quiet + "-P model.hetero-groups=drop-water " + m + " water.pdb",
             "Error: no atoms in search model water.pdb: all its atoms are waters or hetero groups, dropped as "
             "model.hetero-groups=drop-water asks"},
            {quiet + "-P model.b-factor=plddt " + m + " low.pdb",
             "Error: no atoms in search model low.pdb: every residue has a mean pLDDT below the threshold 70"},
            {quiet + m + " far.pdb",
             "Value out of range: the transform box of the model far.pdb, 1977.79 x 1973.59 x 1980 A (atom extents times "
             "transform.scale=2), is too large for the resolution limit of 3 A: at most 4194304 cells of the "
             "limit's cube (check transform.scale and the atom coordinates)"},
        },
        dir);
}

// Compressed reflection files named .mtz or .sca are read by their content.
TEST(ReaderFailures, CompressedMtzAndScalepackAreRead) {
    zelt_test::temp_dir dir;
    zelt_test::write_file(dir / "data.mtz", zelt_test::read_file(zelt_test::example("beta_blip.mtz")));
    zelt_test::write_file(dir / "plain.sca", "1\n2\n 75.11 75.11 133.31 90 90 120 p3221\n   1   2   3    400.0    20.0\n"
                                             "   2   2   3    1e39     20.0\n");
    zelt_test::run_command("cp plain.sca packed.sca && gzip data.mtz packed.sca && mv data.mtz.gz data.mtz && "
                           "mv packed.sca.gz packed.sca", dir.path().string());
    const std::string fast = "-g0 -n1 -w0 -P optimizer.local=none -P report.summary=false ";
    const std::string beta = zelt_test::shell_quote(zelt_test::example("beta.pdb").string());
    const auto mtz = zelt_test::run_zelt(fast + "data.mtz " + beta, dir.path().string());
    EXPECT_EQ(mtz.status, 0) << mtz.err;
    EXPECT_NE(mtz.out.find("Used MTZ data column 'Fobs'\n"), std::string::npos);
    for (const char* name : {"plain.sca", "packed.sca"}) {
        const auto r = zelt_test::run_zelt(fast + "-h 10 " + name + " " + beta, dir.path().string());
        EXPECT_EQ(r.status, 0) << r.err;
        // The intensity of 1e39 lies beyond single precision: left out and counted.
        EXPECT_NE(r.out.find("1 reflections without a finite measured value left out\n1 reflections in resolution range\n"),
                  std::string::npos) << r.out;
    }
}

// A megabyte of gzip data that would inflate to a gigabyte is refused.
TEST(ReaderFailures, GzipInflationIsCapped) {
    zelt_test::temp_dir dir;
    // 1025 gzip members of 1 MiB of blanks each, written one after another.
    zelt_test::run_python("import gzip\n"
                          "member = gzip.compress(b' ' * (1 << 20), 9)\n"
                          "open('bomb.pdb.gz', 'wb').write(member * 1025)\n",
                          dir.path().string());
    expect_failures({{"-v0 " + zelt_test::shell_quote(zelt_test::example("beta_blip.mtz").string()) + " bomb.pdb.gz",
                      "An I/O error has occurred: bomb.pdb.gz: the gzip data inflate to more than 102 MiB (the larger "
                      "of 64 MiB and 100 times the compressed size, 1 GiB at most); such a file is refused"}},
                    dir);
}
