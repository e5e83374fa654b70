// Reader failures as the zelt binary reports them: kind prefix, message, status 1.
#include <gtest/gtest.h>

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
        {"bad.sca " + pdb, "Error parsing numeric value from input: invalid stof argument"},
        {"cut.mtz " + pdb, "An I/O error has occurred: the MTZ file cut.mtz is truncated or corrupted: "
                           "its header position (word 44171) lies outside the file"},
        {"noh.mtz " + pdb, "Error: Miller index column 'H' not found in MTZ file"},
        {zelt_test::shell_quote(mtz) + " @self.lst",
         "Error: the model list file self.lst names itself, directly or through other list files"},
        {zelt_test::shell_quote(mtz) + " bad.pdb", "Error parsing numeric value from input: invalid stod argument"},
        {zelt_test::shell_quote(mtz) + " absent.pdb", "An I/O error has occurred: unable to open the file absent.pdb"},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.args);
        const auto result = zelt_test::run_zelt(r.args, dir.path().string());
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, zelt_test::zelt_binary() + ": " + r.message + "\nExiting...\n");
    }
}
