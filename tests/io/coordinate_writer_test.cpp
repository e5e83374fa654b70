// The PDB writer: exact records, chain letters, file handling, and a read-back
// of the written file by gemmi.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.hpp"
#include "crystal/unit_cell.hpp"
#include "io/atomic_file.hpp"
#include "model/atom.hpp"
#include "io/coordinate_writer.hpp"
#include "common/errors.hpp"

namespace {

using zelt::placed_atom;
using zelt::placed_model;
using zelt::placed_model_list;
using zelt::unit_cell;

// Full records as a PDB file has them, 80 columns.
const std::string n_line =
    "ATOM      1  N   MET B   1      11.104   6.134  -6.504  1.00 27.42           N  ";
const std::string ca_line =
    "ATOM      2  CA  MET B   1      11.639   6.071  -5.147  0.50 26.81           C  ";
const std::string water_line =
    "HETATM  999  O   HOH W 201A     -1.000   2.000   3.000  1.00 40.00           O  ";

placed_atom make_atom(const std::string& line, double u, double v, double w) {
    placed_atom a;
    a.line = line;
    a.site = {u, v, w};
    return a;
}

unit_cell orthorhombic() { return unit_cell(19, 50.123, 60, 70, 90, 90, 90); }
unit_cell trigonal() { return unit_cell(154, 75.11, 75.11, 133.31, 90, 90, 120); }

std::string write(const placed_model_list& lists, const unit_cell& cell, double score, double r,
                  int clashes, bool reassign) {
    std::ostringstream out;
    zelt::write_coordinates(out, lists, cell, score, r, clashes, reassign);
    return out.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

const std::string end_line = "END" + std::string(51, ' ');

TEST(CoordinateWriter, OrthorhombicFileIsExact) {
    ASSERT_EQ(n_line.size(), 80u);
    const placed_model_list lists = {{make_atom(n_line, 0.1, 0.2, 0.3), make_atom(ca_line, -0.4, 1.25, 0.5)}};
    const std::string expected =
        "TITLE     ZELT Score: 0.457 Rfactor: 0.512 Packing clashes: 3     \n"
        "CRYST1   50.123   60.000   70.000  90.00  90.00  90.00 P 21 21 21    4\n"
        "ATOM      1  N   MET A   1       5.012  12.000  21.000  1.00 27.42           N  \n"
        "ATOM      2  CA  MET A   1     -20.049  75.000  35.000  0.50 26.81           C  \n"
        "TER       3      MET A   1" + std::string(54, ' ') + "\n" + end_line + "\n";
    EXPECT_EQ(write(lists, orthorhombic(), 0.4567, 0.5123, 3, true), expected);
}

TEST(CoordinateWriter, TrigonalCellLineAndSwitchedOffClashCount) {
    const placed_model_list lists = {{make_atom(ca_line, 0.5, 0.25, 0.3)}};
    const std::vector<std::string> lines = lines_of(write(lists, trigonal(), -0.012, 0.6, -1, true));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "TITLE     ZELT Score: -0.012 Rfactor: 0.600 Packing clashes: -1     ");
    EXPECT_EQ(lines[1], "CRYST1   75.110   75.110  133.310  90.00  90.00 120.00 P 32 2 1      6");
    // x = a u + b cos(gamma) v, y = b sin(gamma) v, z = c w.
    EXPECT_EQ(lines[2],
              "ATOM      2  CA  MET A   1      28.166  16.262  39.993  0.50 26.81           C  ");
    EXPECT_EQ(lines[4], end_line);
}

TEST(CoordinateWriter, ShortAndLongRecordTails) {
    const std::string cut54 = ca_line.substr(0, 54);
    const std::string cut53 = ca_line.substr(0, 53);
    const std::string cut60 = ca_line.substr(0, 60);
    const std::string extra = ca_line + "  trailing text";
    const placed_model_list lists = {{make_atom(cut54, 0, 0, 0), make_atom(cut53, 0, 0, 0),
                               make_atom(cut60, 0, 0, 0), make_atom(extra, 0, 0, 0)}};
    const std::vector<std::string> lines = lines_of(write(lists, orthorhombic(), 0, 0, 0, false));
    ASSERT_EQ(lines.size(), 8u);
    const std::string head = "ATOM      2  CA  MET B   1       0.000   0.000   0.000";
    EXPECT_EQ(lines[2], head + std::string(26, ' '));
    EXPECT_EQ(lines[2].size(), 80u);
    EXPECT_EQ(lines[3], head + std::string(26, ' '));
    EXPECT_EQ(lines[4], head + "  0.50");
    EXPECT_EQ(lines[5], head + ca_line.substr(54) + "  trailing text");
}

TEST(CoordinateWriter, ChainLettersFollowTheListsAndWrapAfterZ) {
    placed_model_list lists;
    for (int k = 0; k < 27; ++k)
        lists.push_back({make_atom(water_line, -1 / 50.123, 2 / 60.0, 3 / 70.0)});
    const std::vector<std::string> lines = lines_of(write(lists, orthorhombic(), 0, 0, 0, true));
    ASSERT_EQ(lines.size(), 30u);
    std::string chains;
    for (int k = 0; k < 27; ++k) chains += lines[2 + k].at(21);
    EXPECT_EQ(chains, "ABCDEFGHIJKLMNOPQRSTUVWXYZA");
    // Everything but the chain and the coordinates is the record as read.
    EXPECT_EQ(lines[3].substr(0, 21), water_line.substr(0, 21));
    EXPECT_EQ(lines[3].substr(22, 8), " 201A   ");
    EXPECT_EQ(lines[3].substr(54), water_line.substr(54));
    // Without reassignment every list keeps the chain of its records.
    const std::vector<std::string> kept = lines_of(write(lists, orthorhombic(), 0, 0, 0, false));
    for (int k = 0; k < 27; ++k) EXPECT_EQ(kept[2 + k], water_line);
}

TEST(CoordinateWriter, EmptyNameWritesToStandardOutput) {
    const placed_model_list lists = {{make_atom(n_line, 0.1, 0.2, 0.3)}};
    std::ostringstream captured;
    std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
    zelt::write_coordinates(lists, orthorhombic(), 0.5, 0.25, 0, "", true);
    std::cout.rdbuf(old);
    EXPECT_EQ(captured.str(), write(lists, orthorhombic(), 0.5, 0.25, 0, true));
}

TEST(CoordinateWriter, NamedFileReplacesAnOldOneAndLeavesNothingElse) {
    zelt_test::temp_dir dir;
    const std::string name = (dir / "zelt.1.pdb").string();
    zelt_test::write_file(name, std::string(100000, 'x'));
    const placed_model_list lists = {{make_atom(n_line, 0.1, 0.2, 0.3)}};
    zelt::write_coordinates(lists, orthorhombic(), 0.5, 0.25, 7, name, true);
    EXPECT_EQ(zelt_test::read_file(name), write(lists, orthorhombic(), 0.5, 0.25, 7, true));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(CoordinateWriter, UnwritableFileIsAnIoErrorAndLeavesNoPartialFile) {
    zelt_test::temp_dir dir;
    const placed_model_list lists = {{make_atom(n_line, 0.1, 0.2, 0.3)}};
    std::filesystem::create_directory(dir / "taken");
    const std::vector<std::string> names = {
        (dir / "missing" / "zelt.1.pdb").string(),  // folder does not exist
        (dir / "taken").string(),                   // a folder, not a file
    };
    for (const std::string& name : names) {
        try {
            zelt::write_coordinates(lists, orthorhombic(), 0.5, 0.25, 0, name, true);
            ADD_FAILURE() << "no failure for " << name;
        } catch (const zelt::io_error& e) {
            EXPECT_EQ(std::string(e.what()), "unable to write the file " + name);
        }
    }
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], "taken");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "taken"));
}

TEST(CoordinateWriter, FileNames) {
    struct name_case {
        std::string prefix;
        int cell, model, copy, attempt;
        bool number_cell, number_model, number_copy;
        std::string expected;
    };
    const std::vector<name_case> cases = {
        {"zelt", 0, 0, 0, 3, false, false, false, "zelt.3.pdb"},
        {"zelt", 0, 0, 0, 20, false, false, false, "zelt.20.pdb"},
        {"out/run", 1, 0, 0, 1, true, false, false, "out/run.2.1.pdb"},
        {"x", 2, 1, 0, 5, true, true, true, "x.3.2.1.5.pdb"},
        {"x", 0, 3, 1, 7, false, true, true, "x.4.2.7.pdb"},
        {"x", 0, 3, 1, 7, false, false, true, "x.2.7.pdb"},
        {"-", 1, 1, 1, 1, true, true, true, ""},
    };
    for (const name_case& c : cases)
        EXPECT_EQ(zelt::attempt_file_name(c.prefix, c.cell, c.model, c.copy, c.attempt,
                                          c.number_cell, c.number_model, c.number_copy),
                  c.expected);
    EXPECT_EQ(zelt::best_file_name("zelt"), "zelt.best.pdb");
    EXPECT_EQ(zelt::best_file_name("-"), "");
}

TEST(CoordinateWriter, GemmiReadsTheFileBack) {
    zelt_test::temp_dir dir;
    const std::string name = (dir / "placed.pdb").string();
    const unit_cell cell = trigonal();
    const placed_model_list lists = {
        {make_atom(n_line, 0.1, 0.2, 0.3), make_atom(ca_line, 0.7, -0.15, 1.2)},
        {make_atom(water_line, 0.33, 0.66, 0.05)}};
    zelt::write_coordinates(lists, cell, 0.5, 0.25, 0, name, true);
    const std::string script =
        "import gemmi\n"
        "st = gemmi.read_structure(" + std::string("'") + name + "')\n"
        "c = st.cell\n"
        "print('%.3f %.3f %.3f %.2f %.2f %.2f' % (c.a, c.b, c.c, c.alpha, c.beta, c.gamma))\n"
        "print(st.spacegroup_hm)\n"
        "for ch in st[0]:\n"
        "    for res in ch:\n"
        "        for at in res:\n"
        "            f = c.fractionalize(at.pos)\n"
        "            print(ch.name, res.name, res.seqid.num, at.name, '%.2f %.2f' % (at.occ, at.b_iso),\n"
        "                  '%.4f %.4f %.4f' % (f.x, f.y, f.z))\n";
    const std::string expected =
        "75.110 75.110 133.310 90.00 90.00 120.00\n"
        "P 32 2 1\n"
        "A MET 1 N 1.00 27.42 0.1000 0.2000 0.3000\n"
        "A MET 1 CA 0.50 26.81 0.7000 -0.1500 1.2000\n"
        "B HOH 201 O 1.00 40.00 0.3300 0.6600 0.0500\n";
    EXPECT_EQ(zelt_test::run_python(script), expected);
}

// A placed three-member ensemble of two chains (records kept as read) next
// to a fixed water: one MODEL per member, each with every member atom once,
// the water in every model, and a TER after each chain of ATOM records.
TEST(CoordinateWriter, EnsembleMembersAsModelsWithTerRecords) {
    zelt_test::temp_dir dir;
    const std::string name = (dir / "ensemble.pdb").string();
    const std::string chain_c = "ATOM      3  CA  GLY C   7      11.639   6.071  -5.147  1.00 26.81           C  ";
    placed_model placed;
    for (std::int16_t member = 0; member < 3; ++member)
        for (const std::string& line : {n_line, ca_line, chain_c}) {
            placed_atom a = make_atom(line, 0.1 * member, 0.2, 0.3);
            a.member = member;
            placed.push_back(a);
        }
    const placed_model_list lists = {{make_atom(water_line, 0.33, 0.66, 0.05)}, placed};
    zelt::write_coordinates(lists, trigonal(), 0.5, 0.25, 0, name, false);
    const std::vector<std::string> lines = lines_of(zelt_test::read_file(name));
    ASSERT_EQ(lines.size(), 2u + 3 * 8 + 1);
    EXPECT_EQ(lines[2], "MODEL        1" + std::string(66, ' '));
    EXPECT_EQ(lines[6], "TER       3      MET B   1" + std::string(54, ' '));
    EXPECT_EQ(lines[8], "TER       4      GLY C   7" + std::string(54, ' '));
    EXPECT_EQ(lines[9], "ENDMDL" + std::string(74, ' '));
    const std::string script =
        "import gemmi\n"
        "st = gemmi.read_structure('" + name + "')\n"
        "st.setup_entities()\n"
        "for m in st:\n"
        "    labels = [(ch.name, r.seqid.num, a.name) for ch in m for r in ch for a in r]\n"
        "    xs = sorted(round(a.pos.x, 3) for ch in m for r in ch for a in r if r.name == 'MET')\n"
        "    print(m.name, len(labels), len(set(labels)), [ch.name for ch in m], xs[0])\n";
    EXPECT_EQ(zelt_test::run_python(script),
              "1 4 4 ['W', 'B', 'C'] -7.511\n"
              "2 4 4 ['W', 'B', 'C'] 0.0\n"
              "3 4 4 ['W', 'B', 'C'] 7.511\n");
}

}  // namespace

// Temporary files are new files with unpredictable names and ordinary
// permissions; a symbolic link planted at the target is replaced, and the
// file it points to is left alone.
TEST(CoordinateWriter, TemporaryFilesAreNewAndLinksAreNotFollowed) {
    zelt_test::temp_dir dir;
    const std::string target = (dir / "x.1.pdb").string();
    const mode_t old_mask = ::umask(022);
    const std::string first = zelt::create_temporary_beside(target);
    const std::string second = zelt::create_temporary_beside(target);
    ::umask(old_mask);
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        EXPECT_EQ(name.rfind(target + ".tmp.", 0), 0u);
        const auto status = std::filesystem::symlink_status(name);
        EXPECT_EQ(status.type(), std::filesystem::file_type::regular);
        EXPECT_EQ(status.permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                      std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    }
    zelt_test::write_file(dir / "victim.txt", "keep me\n");
    std::filesystem::create_symlink(dir / "victim.txt", target);
    zelt::write_file_atomically(target, [](const std::string& temporary) {
        std::ofstream(temporary) << "written\n";
    });
    EXPECT_EQ(zelt_test::read_file(dir / "victim.txt"), "keep me\n");
    EXPECT_EQ(std::filesystem::symlink_status(target).type(), std::filesystem::file_type::regular);
    EXPECT_EQ(zelt_test::read_file(target), "written\n");
}
