// PDB coordinate reader and model sources.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "common/test_support.hpp"
#include "io/coordinates.hpp"
#include "common/errors.hpp"

using namespace zelt;

using zelt_test::failure;

namespace {

const std::string full_line =
    "ATOM      1  N   ASP A   1      11.104   6.134  -6.504  0.50 27.42           N  ";

model read_text(const std::string& text) {
    std::istringstream in(text);
    return read_atoms(in);
}

// Redirects std::cin to a text while alive.
class cin_from {
public:
    explicit cin_from(const std::string& text) : in_(text), old_(std::cin.rdbuf(in_.rdbuf())) {}
    ~cin_from() { std::cin.rdbuf(old_); }

private:
    std::istringstream in_;
    std::streambuf* old_;
};

}  // namespace

TEST(ReadAtoms, ColumnsAndLineLengths) {
    ASSERT_EQ(full_line.size(), 80u);
    struct row {
        std::size_t length;
        double z, occupancy, b;
    };
    const row table[] = {
        {80, -6.504, 0.50, 27.42}, {66, -6.504, 0.50, 27.42}, {65, -6.504, 0.50, 27.4},
        {64, -6.504, 0.50, 0.0},   {60, -6.504, 0.50, 0.0},   {59, -6.504, 0.5, 0.0},
        {58, -6.504, 1.0, 0.0},    {54, -6.504, 1.0, 0.0},    {53, -6.50, 1.0, 0.0},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.length);
        const std::string line = full_line.substr(0, r.length);
        const model m = read_text(line + "\n");
        ASSERT_EQ(m.size(), 1u);
        EXPECT_DOUBLE_EQ(m[0].site[0], 11.104);
        EXPECT_DOUBLE_EQ(m[0].site[1], 6.134);
        EXPECT_DOUBLE_EQ(m[0].site[2], r.z);
        EXPECT_DOUBLE_EQ(m[0].occupancy, r.occupancy);
        EXPECT_DOUBLE_EQ(m[0].b, r.b);
        EXPECT_EQ(m[0].line, line);
        EXPECT_EQ(m[0].element, 7);
    }
    EXPECT_TRUE(read_text(full_line.substr(0, 52) + "\n").empty());
}

TEST(ReadAtoms, WhichLinesAreAtoms) {
    const std::string het = "HETATM" + full_line.substr(6, 11) + "HOH" + full_line.substr(20);
    const std::string text = "HEADER    TEST\n"
                             "ATOM1234  N   ASP A   1      11.104   6.134  -6.504  1.00 27.42           N  \n"
                             "ATOM 1234 N   ASP A   1      11.104   6.134  -6.504  1.00 27.42           N  \n"
                             "atom      1  N   ASP A   1      11.104   6.134  -6.504  1.00 27.42           N  \n" +
                             full_line + "\r\n" + "TER\nEND\n" + het + "\nMODEL 2\n" + full_line;
    const model m = read_text(text);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].line, full_line);   // no carriage return kept
    EXPECT_EQ(m[1].line, het);         // after END, still read
    EXPECT_EQ(m[2].line, full_line);   // last line without line break
    EXPECT_TRUE(read_text("").empty());
    EXPECT_TRUE(read_text("REMARK only\n").empty());
}

TEST(ReadAtoms, NumberFieldFailures) {
    struct row {
        std::string line;
        bool range;
        const char* message;
    };
    std::string blank_occupancy = full_line;
    blank_occupancy.replace(54, 6, "      ");
    std::string bad_x = full_line;
    bad_x.replace(30, 8, "  x1.104");
    std::string huge_y = full_line;
    huge_y.replace(38, 8, "  1e999 ");
    std::string bad_b = full_line;
    bad_b.replace(60, 6, " ab.cd");
    const row table[] = {
        {blank_occupancy, false, "invalid stod argument in standard input, line 2"},
        {bad_x, false, "invalid stod argument in standard input, line 2"},
        {huge_y, true, "stod argument out of range in standard input, line 2"},
        {bad_b, false, "invalid stod argument in standard input, line 2"},
        {blank_occupancy.substr(0, 58), false, ""},   // occupancy not reached: fine
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.line);
        auto call = [&] { read_text(full_line + "\n" + r.line + "\n"); };
        if (std::string(r.message).empty()) {
            EXPECT_NO_THROW(call());
        } else if (r.range) {
            EXPECT_EQ(failure<std::out_of_range>(call), r.message);
        } else {
            EXPECT_EQ(failure<std::invalid_argument>(call), r.message);
        }
    }
}

TEST(ReadAtoms, ExampleModelsAgainstGemmi) {
    for (const char* name : {"beta.pdb", "blip.pdb", "reference_solution.pdb"}) {
        SCOPED_TRACE(name);
        const std::string file = zelt_test::example(name).string();
        const std::string oracle = zelt_test::run_python(
            "import gemmi\n"
            "st = gemmi.read_structure(r'" + file + "')\n"
            "for a in st[0].all():\n"
            "    print(a.atom.pos.x, a.atom.pos.y, a.atom.pos.z, a.atom.occ, a.atom.b_iso,\n"
            "          a.atom.element.atomic_number)\n");
        std::istringstream in(oracle);
        const model m = load_model_file(file);
        ASSERT_GT(m.size(), 1000u);
        std::size_t i = 0;
        double x, y, z, occ, b;
        int element;
        while (in >> x >> y >> z >> occ >> b >> element) {
            ASSERT_LT(i, m.size());
            EXPECT_NEAR(m[i].site[0], x, 1e-6);
            EXPECT_NEAR(m[i].site[1], y, 1e-6);
            EXPECT_NEAR(m[i].site[2], z, 1e-6);
            EXPECT_NEAR(m[i].occupancy, occ, 1e-6);
            EXPECT_NEAR(m[i].b, b, 1e-4);
            EXPECT_EQ(m[i].element, element) << m[i].line;
            ++i;
        }
        EXPECT_EQ(i, m.size());
    }
}

TEST(LoadModels, FilesListsAndStandardInput) {
    zelt_test::temp_dir dir;
    const std::string a = (dir / "a.pdb").string(), b = (dir / "b.pdb").string();
    zelt_test::write_file(a, full_line + "\n");
    zelt_test::write_file(b, full_line + "\n" + full_line + "\n");
    zelt_test::write_file(dir / "empty.pdb", "REMARK nothing\n");
    zelt_test::write_file(dir / "one.lst", a + " " + b + "\n");
    zelt_test::write_file(dir / "two.lst", a + "\r\n" + b + "\r\n");
    zelt_test::write_file(dir / "empty.lst", "");
    zelt_test::write_file(dir / "nested.lst", b + "\n@" + (dir / "one.lst").string() + "\n" + a);
    zelt_test::write_file(dir / "diamond.lst", "@" + (dir / "one.lst").string() + " @" + (dir / "one.lst").string());

    struct row {
        std::string source;
        std::vector<std::size_t> sizes;
    };
    const row table[] = {
        {a, {1}},
        {(dir / "empty.pdb").string(), {0}},
        {"@" + (dir / "one.lst").string(), {1, 2}},
        {"@" + (dir / "two.lst").string(), {1, 2}},
        {"@" + (dir / "empty.lst").string(), {}},
        {"@" + (dir / "nested.lst").string(), {2, 1, 2, 1}},
        {"@" + (dir / "diamond.lst").string(), {1, 2, 1, 2}},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.source);
        model_list list(1);   // models are appended after what is there
        load_models(r.source, list);
        ASSERT_EQ(list.size(), r.sizes.size() + 1);
        for (std::size_t i = 0; i < r.sizes.size(); ++i) EXPECT_EQ(list[i + 1].size(), r.sizes[i]);
    }

    for (const std::string source : {"-", ""}) {
        cin_from input(full_line + "\n" + full_line + "\n");
        model_list list;
        load_models(source, list);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].size(), 2u);
    }
    {
        zelt_test::write_file(dir / "stdin.lst", a + " - " + b);
        cin_from input(full_line + "\n");
        model_list list;
        load_models("@" + (dir / "stdin.lst").string(), list);
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list[1].size(), 1u);
        EXPECT_EQ(list[2].size(), 2u);
    }
}

TEST(LoadModels, Failures) {
    zelt_test::temp_dir dir;
    const std::string d = dir.path().string();
    zelt_test::write_file(dir / "a.pdb", full_line + "\n");
    zelt_test::write_file(dir / "self.lst", d + "/a.pdb @" + d + "/./self.lst\n");
    zelt_test::write_file(dir / "x.lst", "@" + d + "/y.lst");
    zelt_test::write_file(dir / "y.lst", d + "/a.pdb\n@" + d + "/z.lst");
    zelt_test::write_file(dir / "z.lst", "@" + d + "/x.lst");
    zelt_test::write_file(dir / "missing.lst", d + "/a.pdb nothere.pdb");
    zelt_test::write_file(dir / "missing2.lst", "@nolist.lst");

    struct row {
        std::string source;
        bool io;
        std::string message;
    };
    const row table[] = {
        {d + "/absent.pdb", true, "unable to open the file " + d + "/absent.pdb"},
        {d, true, "unable to open the file " + d},
        {"@" + d + "/absent.lst", true, "unable to open the file " + d + "/absent.lst"},
        {"@", true, "unable to open the file "},
        {"@" + d + "/missing.lst", true, "unable to open the file nothere.pdb"},
        {"@" + d + "/missing2.lst", true, "unable to open the file nolist.lst"},
        {"@" + d + "/self.lst", false,
         "the model list file " + d + "/./self.lst names itself, directly or through other list files"},
        {"@" + d + "/x.lst", false,
         "the model list file " + d + "/x.lst names itself, directly or through other list files"},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.source);
        model_list list;
        auto call = [&] { load_models(r.source, list); };
        if (r.io) {
            EXPECT_EQ(failure<io_error>(call), r.message);
        } else {
            EXPECT_EQ(failure<std::runtime_error>(call), r.message);
        }
    }
    EXPECT_EQ(failure<io_error>([&] { load_model_file(d + "/absent.pdb"); }),
              "unable to open the file " + d + "/absent.pdb");
}
