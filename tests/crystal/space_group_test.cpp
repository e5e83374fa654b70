// Space-group records checked against gemmi's tables (operators, centring,
// crystal system, point group) and against brute-force origin-shift searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/test_support.hpp"
#include "crystal/space_group.hpp"

namespace {

using zelt::space_group;
using zelt::space_group_by_number;

// An operator as 9 rotation integers and 3 translations in twelfths (0..11).
using int_op = std::array<int, 12>;

struct oracle_group {
    std::string hm;
    std::string point_group;
    std::string crystal_system;
    char centring = 'P';
    int primitive = 0;
    std::vector<int_op> ops;  // all of them, centring included
};

// gemmi's record of the setting with CCP4 number n: the standard one.
const std::map<int, oracle_group>& oracle() {
    static const std::map<int, oracle_group> groups = [] {
        const std::string out = zelt_test::run_python(R"(
import gemmi
table = {s.ccp4: s for s in gemmi.spacegroup_table()}
for n in range(1, 231):
    sg = table[n]
    ops = sg.operations()
    words = [str(n), sg.xhm().replace(' ', '_'), sg.point_group_hm(), sg.crystal_system_str(),
             sg.centring_type(), str(len(ops.sym_ops)), str(len(list(ops)))]
    for op in ops:
        words += [str(r // 24) for row in op.rot for r in row]
        for t in op.tran:
            assert t % 2 == 0
            words.append(str((t // 2) % 12))
    print(' '.join(words))
)");
        std::map<int, oracle_group> g;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream w(line);
            int n = 0, count = 0;
            oracle_group o;
            w >> n >> o.hm >> o.point_group >> o.crystal_system >> o.centring >> o.primitive >> count;
            o.ops.resize(static_cast<std::size_t>(count));
            for (auto& op : o.ops)
                for (int& x : op) w >> x;
            g[n] = o;
        }
        if (g.size() != 230) throw std::runtime_error("gemmi oracle incomplete");
        return g;
    }();
    return groups;
}

int_op to_int(const zelt::symmetry_operator& op) {
    int_op r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) r[3 * i + j] = static_cast<int>(std::lround(op.rot(i, j)));
        r[9 + i] = static_cast<int>(std::lround(op.trans(i) * 12.0));
    }
    return r;
}

// Translation of x -> R(x + t) + tr - t in twelfths, mod 12: the operator
// seen from an origin moved by t (t in twelfths).
int_op shifted(const int_op& op, const std::array<int, 3>& t) {
    int_op r = op;
    for (int i = 0; i < 3; ++i) {
        int v = op[9 + i] - t[i];
        for (int j = 0; j < 3; ++j) v += op[3 * i + j] * t[j];
        r[9 + i] = ((v % 12) + 12) % 12;
    }
    return r;
}

TEST(SpaceGroupTable, OperatorSetsCountsAndLatticeAgreeWithGemmiForAll230) {
    for (int n = 1; n <= 230; ++n) {
        SCOPED_TRACE("space group " + std::to_string(n));
        const space_group& g = space_group_by_number(n);
        const oracle_group& o = oracle().at(n);
        EXPECT_EQ(g.number, n);
        EXPECT_EQ(g.primitive_count, o.primitive);
        EXPECT_EQ(g.operators.size(), o.ops.size());
        EXPECT_EQ(g.lattice(), o.centring);
        EXPECT_EQ(g.crystal_system, o.crystal_system);

        std::set<int_op> ours;
        for (const auto& op : g.operators) {
            // Integer rotations, translations on the twelfths grid in [0, 1), row 4 = 0 0 0 1.
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) EXPECT_EQ(op.rot(i, j), std::round(op.rot(i, j)));
                EXPECT_GE(op.trans(i), 0.0);
                EXPECT_LT(op.trans(i), 1.0);
                EXPECT_NEAR(op.trans(i) * 12.0, std::round(op.trans(i) * 12.0), 1e-12);
            }
            EXPECT_EQ(op.m[12], 0.0);
            EXPECT_EQ(op.m[13], 0.0);
            EXPECT_EQ(op.m[14], 0.0);
            EXPECT_EQ(op.m[15], 1.0);
            ours.insert(to_int(op));
        }
        EXPECT_EQ(ours.size(), g.operators.size()) << "repeated operator";
        const std::set<int_op> theirs(o.ops.begin(), o.ops.end());
        EXPECT_EQ(ours, theirs);
    }
}

TEST(SpaceGroupTable, IdentityFirstAndCentredBlocksRepeatThePrimitiveOnes) {
    const std::map<char, std::vector<std::array<int, 3>>> centring = {
        {'P', {{0, 0, 0}}},
        {'A', {{0, 0, 0}, {0, 6, 6}}},
        {'C', {{0, 0, 0}, {6, 6, 0}}},
        {'I', {{0, 0, 0}, {6, 6, 6}}},
        {'F', {{0, 0, 0}, {0, 6, 6}, {6, 0, 6}, {6, 6, 0}}},
        {'R', {{0, 0, 0}, {8, 4, 4}, {4, 8, 8}}},
    };
    const int_op identity = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (int n = 1; n <= 230; ++n) {
        SCOPED_TRACE("space group " + std::to_string(n));
        const space_group& g = space_group_by_number(n);
        ASSERT_FALSE(g.operators.empty());
        EXPECT_EQ(to_int(g.operators.front()), identity);
        const auto& vectors = centring.at(g.lattice());
        const std::size_t p = static_cast<std::size_t>(g.primitive_count);
        ASSERT_EQ(g.operators.size(), p * vectors.size());
        for (std::size_t block = 1; block < vectors.size(); ++block)
            for (std::size_t i = 0; i < p; ++i) {
                int_op expect = to_int(g.operators[i]);
                for (int k = 0; k < 3; ++k) expect[9 + k] = (expect[9 + k] + vectors[block][k]) % 12;
                EXPECT_EQ(to_int(g.operators[block * p + i]), expect);
            }
    }
}

// Point-group symbol and crystal system per number, with P.
struct point_group_row {
    const char* symbol;
    const char* system;
    std::vector<std::pair<int, int>> ranges;
    int primitive;
};

const std::vector<point_group_row>& point_group_rows() {
    static const std::vector<point_group_row> rows = {
        {"1", "triclinic", {{1, 1}}, 1},          {"1bar", "triclinic", {{2, 2}}, 2},
        {"2", "monoclinic", {{3, 5}}, 2},         {"m", "monoclinic", {{6, 9}}, 2},
        {"2/m", "monoclinic", {{10, 15}}, 4},     {"222", "orthorhombic", {{16, 24}}, 4},
        {"mm2", "orthorhombic", {{25, 46}}, 4},   {"mmm", "orthorhombic", {{47, 74}}, 8},
        {"4", "tetragonal", {{75, 80}}, 4},       {"4bar", "tetragonal", {{81, 82}}, 4},
        {"4/m", "tetragonal", {{83, 88}}, 8},     {"422", "tetragonal", {{89, 98}}, 8},
        {"4mm", "tetragonal", {{99, 110}}, 8},    {"4bar2m", "tetragonal", {{111, 114}, {121, 122}}, 8},
        {"4barm2", "tetragonal", {{115, 120}}, 8}, {"4/mmm", "tetragonal", {{123, 142}}, 16},
        {"3", "trigonal", {{143, 146}}, 3},       {"3bar", "trigonal", {{147, 148}}, 6},
        {"312", "trigonal", {{149, 149}, {151, 151}, {153, 153}}, 6},
        {"321", "trigonal", {{150, 150}, {152, 152}, {154, 154}}, 6},
        {"32", "trigonal", {{155, 155}}, 6},      {"3m1", "trigonal", {{156, 156}, {158, 158}}, 6},
        {"31m", "trigonal", {{157, 157}, {159, 159}}, 6}, {"3m", "trigonal", {{160, 161}}, 6},
        {"3bar1m", "trigonal", {{162, 163}}, 12}, {"3barm1", "trigonal", {{164, 165}}, 12},
        {"3barm", "trigonal", {{166, 167}}, 12},  {"6", "hexagonal", {{168, 173}}, 6},
        {"6bar", "hexagonal", {{174, 174}}, 6},   {"6/m", "hexagonal", {{175, 176}}, 12},
        {"622", "hexagonal", {{177, 182}}, 12},   {"6mm", "hexagonal", {{183, 186}}, 12},
        {"6barm2", "hexagonal", {{187, 188}}, 12}, {"6bar2m", "hexagonal", {{189, 190}}, 12},
        {"6/mmm", "hexagonal", {{191, 194}}, 24}, {"23", "cubic", {{195, 199}}, 12},
        {"m3bar", "cubic", {{200, 206}}, 24},     {"432", "cubic", {{207, 214}}, 24},
        {"4bar3m", "cubic", {{215, 220}}, 24},    {"m3barm", "cubic", {{221, 230}}, 48},
    };
    return rows;
}

// "4bar2m" -> the characters of "-42m" without the 1s, sorted, as gemmi's
// symbol gives them (gemmi does not tell 312 from 321 or -42m from -4m2).
std::string coarse(const std::string& symbol) {
    std::string s;
    for (std::size_t i = 0; i < symbol.size(); ++i) {
        if (symbol.compare(i, 3, "bar") == 0) {
            s.push_back('-');  // the bar's digit is already in; order is dropped below
            i += 2;
        } else {
            s.push_back(symbol[i]);
        }
    }
    if (s.size() > 2) s.erase(std::remove(s.begin(), s.end(), '1'), s.end());
    std::sort(s.begin(), s.end());
    return s;
}

bool has_rotation(const space_group& g, const std::array<int, 9>& r) {
    for (const auto& op : g.operators) {
        const int_op i = to_int(op);
        if (std::equal(r.begin(), r.end(), i.begin())) return true;
    }
    return false;
}

TEST(SpaceGroupTable, PointGroupSymbolsMatchTheTableGemmiAndTheOperators) {
    int covered = 0;
    for (const auto& row : point_group_rows())
        for (auto [lo, hi] : row.ranges)
            for (int n = lo; n <= hi; ++n, ++covered) {
                SCOPED_TRACE("space group " + std::to_string(n));
                const space_group& g = space_group_by_number(n);
                EXPECT_EQ(g.point_group, row.symbol);
                EXPECT_EQ(g.crystal_system, row.system);
                EXPECT_EQ(g.primitive_count, row.primitive);
                EXPECT_EQ(coarse(g.point_group), coarse(oracle().at(n).point_group));
            }
    EXPECT_EQ(covered, 230);

    // The symbols that gemmi does not separate are told apart by what lies
    // along a: a two-fold axis (x-y,-y,-z / x,-y,-z) or a mirror normal to it.
    const std::array<int, 9> two_a_hex = {1, -1, 0, 0, -1, 0, 0, 0, -1};
    const std::array<int, 9> m_a_hex = {-1, 1, 0, 0, 1, 0, 0, 0, 1};
    const std::array<int, 9> two_a = {1, 0, 0, 0, -1, 0, 0, 0, -1};
    const std::array<int, 9> m_a = {-1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int n = 111; n <= 122; ++n) {
        const space_group& g = space_group_by_number(n);
        const bool two = g.point_group == "4bar2m";
        EXPECT_EQ(has_rotation(g, two_a), two) << n;
        EXPECT_EQ(has_rotation(g, m_a), !two) << n;
    }
    const std::map<std::string, std::pair<bool, bool>> along_a = {
        {"312", {false, false}},  {"321", {true, false}},   {"32", {true, false}},
        {"3m1", {false, true}},   {"31m", {false, false}},  {"3m", {false, true}},
        {"3bar1m", {false, false}}, {"3barm1", {true, true}}, {"3barm", {true, true}},
        {"6barm2", {false, true}}, {"6bar2m", {true, false}},
    };
    for (int n = 149; n <= 190; ++n) {
        const space_group& g = space_group_by_number(n);
        auto it = along_a.find(g.point_group);
        if (it == along_a.end()) continue;
        EXPECT_EQ(has_rotation(g, two_a_hex), it->second.first) << n;
        EXPECT_EQ(has_rotation(g, m_a_hex), it->second.second) << n;
    }
}

// The origin may move by t exactly when every operator seen from the new
// origin is again an operator of the group. Searched here on the grid of
// twelfths (finer than any shift of the table) with gemmi's operators.
TEST(SpaceGroupTable, OriginShiftsAreTheTranslationsThatKeepTheOperatorSet) {
    for (int n = 1; n <= 230; ++n) {
        SCOPED_TRACE("space group " + std::to_string(n));
        const space_group& g = space_group_by_number(n);
        const oracle_group& o = oracle().at(n);
        const std::set<int_op> ops(o.ops.begin(), o.ops.end());

        // A polar axis: no rotation moves that axis.
        std::array<bool, 3> free{true, true, true};
        for (const auto& op : o.ops)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i)
                    if (op[3 * i + j] != (i == j ? 1 : 0)) free[j] = false;
        // The table flags only polar axes; it leaves x of Pm, Pc, Cm, Cc and z
        // of P42nm and I4mm unflagged.
        const bool fewer_free = (n >= 6 && n <= 9) || n == 102 || n == 107;
        for (int i = 0; i < 3; ++i) {
            if (g.free_axes[i]) {
                EXPECT_TRUE(free[i]) << "axis " << i;
            }
        }
        if (!fewer_free) {
            EXPECT_EQ(g.free_axes, free);
        }

        // Lattice translations (integer plus centring), in twelfths.
        std::vector<std::array<int, 3>> lattice;
        for (const auto& op : o.ops)
            if (std::equal(op.begin(), op.begin() + 9, std::array<int, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}.begin()))
                lattice.push_back({op[9], op[10], op[11]});
        // Class of a shift modulo the lattice, free components dropped.
        auto cls = [&](std::array<int, 3> t) {
            std::array<int, 3> best{99, 99, 99};
            for (const auto& c : lattice) {
                std::array<int, 3> v{};
                for (int i = 0; i < 3; ++i) v[i] = g.free_axes[i] ? 0 : (t[i] + c[i]) % 12;
                best = std::min(best, v);
            }
            return best;
        };

        std::set<std::array<int, 3>> allowed;
        for (int x = 0; x < 12; ++x)
            for (int y = 0; y < 12; ++y)
                for (int z = 0; z < 12; ++z) {
                    const std::array<int, 3> t{x, y, z};
                    if ((g.free_axes[0] && x) || (g.free_axes[1] && y) || (g.free_axes[2] && z)) continue;
                    bool keeps = true;
                    for (const auto& op : o.ops)
                        if (!ops.count(shifted(op, t))) {
                            keeps = false;
                            break;
                        }
                    if (keeps) allowed.insert(cls(t));
                }

        std::set<std::array<int, 3>> listed;
        for (const auto& s : g.origin_shifts) {
            std::array<int, 3> t{};
            for (int i = 0; i < 3; ++i) {
                EXPECT_GE(s[i], 0.0);
                EXPECT_LT(s[i], 1.0);
                if (g.free_axes[i]) {
                    EXPECT_EQ(s[i], 0.0);
                }
                EXPECT_NEAR(s[i] * 12.0, std::round(s[i] * 12.0), 1e-9);
                t[i] = static_cast<int>(std::lround(s[i] * 12.0)) % 12;
            }
            listed.insert(cls(t));
        }
        // Every listed origin is a genuine one; the list is complete except
        // where the table leaves out quarter shifts of some F and I groups
        // (F222, I-4, I-4m2, I-4c2, F23, F-43m, F-43c) or an axis unflagged.
        for (const auto& t : listed) EXPECT_TRUE(allowed.count(t)) << t[0] << " " << t[1] << " " << t[2];
        const std::set<int> incomplete = {6, 7, 8, 9, 22, 82, 102, 107, 119, 120, 196, 216, 219};
        EXPECT_EQ(listed == allowed, !incomplete.count(n));
    }
}

// Origin-shift sets by letter, as the program's table assigns them.
TEST(SpaceGroupTable, OriginShiftListsInTheirWrittenOrder) {
    // Thirds as the table writes them (0.6666666666666667 is not the double nearest 2/3).
    const double h = 0.5, t1 = 0.3333333333333333, t2 = 0.6666666666666667;
    struct row {
        std::vector<std::pair<int, int>> numbers;
        std::vector<zelt::fractional> shifts;
        std::array<bool, 3> free;
    };
    const std::vector<row> rows = {
        {{{1, 1}}, {{0, 0, 0}}, {true, true, true}},
        {{{2, 2}, {10, 24}, {47, 74}},
         {{0, 0, 0}, {0, 0, h}, {0, h, 0}, {0, h, h}, {h, 0, 0}, {h, 0, h}, {h, h, 0}, {h, h, h}},
         {false, false, false}},
        {{{3, 5}}, {{0, 0, 0}, {0, 0, h}, {h, 0, 0}, {h, 0, h}}, {false, true, false}},
        {{{6, 9}}, {{0, 0, 0}, {0, h, 0}}, {false, false, true}},
        {{{25, 46}}, {{0, 0, 0}, {0, h, 0}, {h, 0, 0}, {h, h, 0}}, {false, false, true}},
        {{{75, 80}, {99, 101}, {103, 106}, {108, 110}}, {{0, 0, 0}, {h, h, 0}}, {false, false, true}},
        {{{81, 98}, {111, 142}}, {{0, 0, 0}, {0, 0, h}, {h, h, 0}, {h, h, h}}, {false, false, false}},
        {{{102, 102}, {107, 107}}, {{0, 0, 0}, {h, h, 0}}, {false, false, false}},
        {{{143, 146}, {156, 156}, {158, 158}, {160, 161}}, {{0, 0, 0}, {t1, t2, 0}, {t2, t1, 0}}, {false, false, true}},
        {{{147, 148}, {150, 150}, {152, 152}, {154, 155}, {162, 167}, {175, 182}, {189, 194}},
         {{0, 0, 0}, {0, 0, h}},
         {false, false, false}},
        {{{149, 149}, {151, 151}, {153, 153}, {174, 174}, {187, 188}},
         {{0, 0, 0}, {0, 0, h}, {t1, t2, 0}, {t1, t2, h}, {t2, t1, 0}, {t2, t1, h}},
         {false, false, false}},
        {{{157, 157}, {159, 159}, {168, 173}, {183, 186}}, {{0, 0, 0}}, {false, false, true}},
        {{{195, 230}}, {{0, 0, 0}, {h, h, h}}, {false, false, false}},
    };
    std::set<int> covered;
    for (const auto& r : rows)
        for (auto [lo, hi] : r.numbers)
            for (int n = lo; n <= hi; ++n) {
                EXPECT_TRUE(covered.insert(n).second) << n;
                const space_group& g = space_group_by_number(n);
                EXPECT_EQ(g.origin_shifts, r.shifts) << n;
                EXPECT_EQ(g.free_axes, r.free) << n;
            }
    EXPECT_EQ(covered.size(), 230u);
}

TEST(SpaceGroupTable, NamedRecords) {
    const space_group& p212121 = space_group_by_number(19);
    EXPECT_EQ(p212121.symbol, "P212121");
    EXPECT_EQ(p212121.names, std::vector<std::string>{"P 21 21 21"});
    EXPECT_EQ(p212121.point_group, "222");
    EXPECT_EQ(p212121.crystal_system, "orthorhombic");

    const std::vector<std::pair<int, std::vector<std::string>>> names = {
        {1, {"P 1"}},
        {4, {"P 1 21 1"}},
        {47, {"P 2/m 2/m 2/m", "P m m m"}},
        {64, {"C 2/m 2/c 21/a", "C m c a"}},
        {123, {"P 4/m 2/m 2/m", "P4/m m m"}},
        {142, {"I 41/a 2/c 2/d", "I41/a c d"}},
        {146, {"R 3"}},
        {162, {"P -3 1 2/m", "P -3 1 m"}},
        {191, {"P 6/m 2/m 2/m", "P 6/m m m"}},
        {222, {"P 4/n -3 2/n", "P n -3 n"}},
        {230, {"I 41/a -3 2/d", "I a -3 d"}},
    };
    for (const auto& [n, expect] : names) EXPECT_EQ(space_group_by_number(n).names, expect) << n;

    // Second names exactly for the centrosymmetric orthorhombic, tetragonal,
    // trigonal, hexagonal and cubic groups with a full symbol.
    for (int n = 1; n <= 230; ++n) {
        const bool two = (n >= 47 && n <= 74) || (n >= 123 && n <= 142) || (n >= 162 && n <= 167) ||
                         (n >= 191 && n <= 194) || (n >= 200 && n <= 206) || n >= 221;
        EXPECT_EQ(space_group_by_number(n).names.size(), two ? 2u : 1u) << n;
        // The short symbol is the short name without blanks (monoclinic full
        // symbols carry the 1s of the other axes).
        if (n < 3 || n > 15) {
            std::string s = space_group_by_number(n).names.back();
            s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
            EXPECT_EQ(s, space_group_by_number(n).symbol) << n;
        }
    }

    const space_group& r3 = space_group_by_number(146);
    ASSERT_EQ(r3.operators.size(), 9u);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(r3.operators[i].translation(), (zelt::fractional{2.0 / 3, 1.0 / 3, 1.0 / 3}));
    for (int i = 6; i < 9; ++i) EXPECT_EQ(r3.operators[i].translation(), (zelt::fractional{1.0 / 3, 2.0 / 3, 2.0 / 3}));

    EXPECT_EQ(&space_group_by_number(19), &space_group_by_number(19));
}

TEST(SpaceGroupTable, LinesAsBuiltIn) {
    EXPECT_STREQ(zelt::space_group_table_line(4),
                 "P21 (P 1 21 1) 2 monoclinic 2 2 1 0 0 0 1 0 0 0 1 0 0 0 -1 0 0 0 1 0 0 0 -1 0 6 0  "
                 "0.0 -999.9 0.0 0.0 -999.9 0.5 0.5 -999.9 0.0 0.5 -999.9 0.5");
    EXPECT_STREQ(zelt::space_group_table_line(1), "P1 (P 1) 1 triclinic 1 1 1 0 0 0 1 0 0 0 1 0 0 0  -999.9 -999.9 -999.9");
    const std::string p3112 = zelt::space_group_table_line(151);
    EXPECT_EQ(p3112.rfind("P3112 (P 31 1 2) 312 trigonal 6 6 1 0 0 0 1 0 0 0 1 0 0 0 ", 0), 0u);
    EXPECT_NE(p3112.find("  0.0 0.0 0.0 0.0 0.0 0.5 0.3333333333333333 0.6666666666666667 0.0 "), std::string::npos);
}

// The table in the source is exactly what the generator makes of syminfo.lib.
TEST(SpaceGroupTable, SourceIsTheGeneratorOutput) {
    zelt_test::temp_dir t;
    const auto out = t / "table.cpp";
    const auto r = zelt_test::run_command(
        zelt_test::shell_quote(zelt_test::python()) + " " +
        zelt_test::shell_quote((zelt_test::source_dir() / "tools" / "gen_space_group_table.py").string()) +
        " /usr/share/ccp4/syminfo.lib " + zelt_test::shell_quote(out.string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(zelt_test::read_file(out),
              zelt_test::read_file(zelt_test::source_dir() / "src" / "crystal" / "space_group_table.cpp"));
}

TEST(SpaceGroupTable, InvalidNumbersFailWithTheirNumber) {
    for (int n : {0, -1, 231, 1000}) {
        try {
            space_group_by_number(n);
            ADD_FAILURE() << "no failure for " << n;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), "invalid space group number: " + std::to_string(n));
        }
    }
    EXPECT_THROW(zelt::space_group_table_line(0), std::invalid_argument);
    EXPECT_THROW(zelt::space_group_table_line(231), std::invalid_argument);
}

TEST(SpaceGroupTable, NameLookup) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"p212121", 19}, {"P21", 4},    {"p1", 1},     {"P2", 3},     {"c2", 5},
        {"C222", 21},    {"C2221", 20}, {"P432", 207}, {"P4322", 95}, {"P3121", 152},
        {"R3", 146},     {"p-1", 2},    {"i41", 80},   {"P21/c", 0},  {"H3", 0},
        {"", 0},         {"P 21 21 21", 0}, {"P2121", 0}, {"P2121210", 0},
    };
    for (const auto& [name, n] : cases) EXPECT_EQ(zelt::space_group_number_from_name(name), n) << name;
    // Every symbol without lower-case letters finds its own number.
    for (int n = 1; n <= 230; ++n) {
        const std::string& s = space_group_by_number(n).symbol;
        if (std::none_of(s.begin(), s.end(), [](char c) { return std::islower(static_cast<unsigned char>(c)); })) {
            EXPECT_EQ(zelt::space_group_number_from_name(s), n) << s;
        }
    }
}

}  // namespace
