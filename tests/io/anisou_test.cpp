// ANISOU records: read with their atom, turned with a placed copy, written
// after the atom with its chain; gemmi reads the written tensor back.
#include <gtest/gtest.h>

#include <sstream>

#include "common/test_support.hpp"
#include "model/anisou.hpp"
#include "io/coordinate_writer.hpp"
#include "io/coordinates.hpp"

namespace {

const std::string atom_line = "ATOM      1  N   HIS A  26      22.914  12.462  31.992  1.00 53.67           N  ";
const std::string anisou_line = "ANISOU    1  N   HIS A  26     3000   2000   1000    500   -300    100       N  ";

TEST(Anisou, ReadWithItsAtomAndTurnedByTheRotation) {
    std::istringstream in(atom_line + "\n" + anisou_line + "\n" + "ANISOU stray record\n" +
                          "HETATM    2  O   HOH W   1       1.000   2.000   3.000  1.00 20.00           O  \n");
    const zelt::model m = zelt::read_atoms(in, "test");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].anisou, anisou_line);
    EXPECT_EQ(m[1].anisou, "");

    // A quarter turn about z: x -> y, y -> -x. Then U11' = U22, U22' = U11,
    // U12' = -U12, U13' = -U23, U23' = U13.
    const zelt::mat3 quarter{0, -1, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(zelt::rotated_anisou(anisou_line, quarter),
              "ANISOU    1  N   HIS A  26     2000   3000   1000   -500   -100   -300       N  ");
    // Unreadable values leave the record alone.
    const std::string bad = "ANISOU    1  N   HIS A  26     3000   abcd   1000    500   -300    100";
    EXPECT_EQ(zelt::rotated_anisou(bad, quarter), bad);
}

TEST(Anisou, WrittenAfterItsAtomAndReadByGemmi) {
    zelt_test::temp_dir dir;
    zelt::placed_atom a;
    a.line = atom_line;
    a.anisou = anisou_line;
    a.site = {0.1, 0.2, 0.3};
    const std::string name = (dir / "aniso.pdb").string();
    zelt::write_coordinates({{a}, {a}}, zelt::unit_cell(19, 50, 60, 70, 90, 90, 90), 0.5, 0.4, 0, name, true);
    std::istringstream written(zelt_test::read_file(name));
    std::vector<std::string> lines;
    for (std::string line; std::getline(written, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[3], "ANISOU    1  N   HIS A  26     3000   2000   1000    500   -300    100       N  ");
    EXPECT_EQ(lines[6], "ANISOU    1  N   HIS B  26     3000   2000   1000    500   -300    100       N  ");
    const std::string out = zelt_test::run_python(
        "import gemmi\n"
        "st = gemmi.read_structure('" + name + "')\n"
        "for ch in st[0]:\n"
        "    a = ch[0][0]\n"
        "    print(ch.name, a.aniso.nonzero(), '%.3f %.3f %.3f %.3f %.3f %.3f' % (a.aniso.u11, a.aniso.u22, "
        "a.aniso.u33, a.aniso.u12, a.aniso.u13, a.aniso.u23))\n");
    EXPECT_EQ(out, "A True 0.300 0.200 0.100 0.050 -0.030 0.010\nB True 0.300 0.200 0.100 0.050 -0.030 0.010\n");
}

}  // namespace
