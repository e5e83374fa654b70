// Scalepack and plain-text cell and reflection files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <type_traits>

#include "common/test_support.hpp"
#include "crystal/unit_cell.hpp"
#include "common/errors.hpp"
#include "io/reflection_files.hpp"

using namespace zelt;

using zelt_test::failure;

namespace {

const std::string sca_header =
    "    1\n -987\n   73.580   38.730   23.190   90.000   90.000   90.000 p212121\n";

// P212121 73.58 38.73 23.19: every index used below lies well inside 80-3 A
// except (40,0,0) (d = 1.84 A) and (0,0,0).
const unit_cell& sca_cell() {
    static const unit_cell cell(19, 73.58, 38.73, 23.19, 90, 90, 90);
    return cell;
}

reflection_set read_text(const zelt_test::temp_dir& dir, const std::string& name,
                         const std::string& content, std::string label = "") {
    zelt_test::write_file(dir / name, content);
    std::string used = "stale";
    auto set = read_reflections(sca_cell(), 80, 3, (dir / name).string(), label, used);
    EXPECT_EQ(used, "");
    return set;
}

}  // namespace

TEST(FileKind, DecidedByTheWholeEnding) {
    const std::pair<const char*, reflection_file_kind> table[] = {
        {"x.mtz", reflection_file_kind::mtz},       {".mtz", reflection_file_kind::mtz},
        {"data.MTZ", reflection_file_kind::plain_text}, {"x.sca", reflection_file_kind::scalepack},
        {"x.SCA", reflection_file_kind::plain_text}, {"abc", reflection_file_kind::plain_text},
        {"mtz", reflection_file_kind::plain_text},  {"x.mtz.txt", reflection_file_kind::plain_text},
        {"dir.sca/f.hkl", reflection_file_kind::plain_text}, {"", reflection_file_kind::plain_text},
    };
    for (const auto& [name, kind] : table) EXPECT_EQ(file_kind_of(name), kind) << name;
}

TEST(ReadCell, TextCellFilesAndTheirFailures) {
    zelt_test::temp_dir dir;
    struct row {
        const char* name;
        std::string content;
        int group;            // 0: expect failure
        const char* message;
    };
    const row table[] = {
        {"c.sca", sca_header + "   1   2   3  100.0   10.0\n", 19, ""},
        {"c.sca", "a\nb\n 50 60 70 90 90 90 c2221\n", 20, ""},
        {"c.sca", "a\r\nb\r\n 50 60 70 90 90 90 c2221\r\n", 20, ""},
        {"c.sca", "a\nb\n 50 60 70\n 90 90 90\n p1\n", 1, ""},
        {"c.sca", "a\nb\n 50 60 70 90 95 90 p21/c\n", 0, "bad or missing space group information in input file"},
        {"c.sca", "a\nb\n 50 60 70 90 90 90\n", 0, "bad or missing space group information in input file"},
        {"c.sca", "a\nb\n 50 60 70 90 90 90 P999\n", 0, "bad or missing space group information in input file"},
        {"c.sca", "a\nb\n 50 x 70 90 90 90 p1\n", 0, "bad cell definition in input file"},
        {"c.sca", "a\nb\n", 0, "bad cell definition in input file"},
        {"c.txt", "50 60 70 90 90 90 4", 4, ""},
        {"c.txt", "50\n60\n70\n90 100 90\n4 and more text", 4, ""},
        {"c.txt", "50 60 0 90 90 90 4", 0, "bad cell definition in input file"},
        {"c.txt", "50 60 0 90 90 90 999", 0, "bad cell definition in input file"},
        {"c.txt", "50 60 -70 90 90 90 4", 0, "bad cell definition in input file"},
        {"c.txt", "50 60 70 90 90 90", 0, "bad or missing space group information in input file"},
        {"c.txt", "50 60 70 90 90 90 P21", 0, "bad or missing space group information in input file"},
        {"c.txt", "50 60 70 90 90 90 0", 0, "bad or missing space group information in input file"},
        {"c.txt", "50 60 70 90 90 90 231", 0, "bad or missing space group information in input file"},
        {"c.txt", "", 0, "bad cell definition in input file"},
        {"c.txt", "50 60 70 10 10 100 1", 0, "bad cell definition in input file"},   // no volume
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.content);
        zelt_test::write_file(dir / r.name, r.content);
        const std::string file = (dir / r.name).string();
        if (r.group == 0) {
            // The message names the file, and for a cell the reason after it.
            EXPECT_EQ(failure<std::runtime_error>([&] { read_cell(file); }).rfind(r.message + std::string(" ") + file, 0),
                      0u);
            continue;
        }
        const auto cells = read_cell(file);
        ASSERT_EQ(cells.size(), 1u);
        EXPECT_EQ(cells[0].group().number, r.group);
    }
    // Values of the cell itself, angles converted to radians.
    zelt_test::write_file(dir / "c.txt", "50.5 60 70 90 100.5 90 4\n");
    const auto cells = read_cell((dir / "c.txt").string());
    EXPECT_DOUBLE_EQ(cells[0].a, 50.5);
    EXPECT_DOUBLE_EQ(cells[0].c, 70);
    EXPECT_NEAR(cells[0].beta, 100.5 * std::acos(-1.0) / 180, 1e-12);

    for (const char* name : {"absent.sca", "absent.txt"}) {
        const std::string file = (dir / name).string();
        EXPECT_EQ(failure<io_error>([&] { read_cell(file); }), "unable to open the file " + file);
    }
}

TEST(Scalepack, ColumnsFriedelMatesAndConversion) {
    zelt_test::temp_dir dir;
    // 28, 43 and 44 characters; a negative intensity; a duplicate; one cut by resolution.
    const std::string l28 = "   1   2   3   400.0    20.0";
    const std::string l43 = l28 + "   900.0     30";
    const std::string l44 = "   2   0   1   400.0    20.0   900.0    30.0";
    const std::string neg = "  -1   1   1    -5.0     2.0";
    const std::string far = "  40   0   0   100.0     1.0";
    ASSERT_EQ(l28.size(), 28u);
    ASSERT_EQ(l43.size(), 43u);
    ASSERT_EQ(l44.size(), 44u);
    const std::string body = l28 + "\n" + l43 + "\n" + l44 + "\n" + neg + "\n" + far + "\n" + l28 + "\n";
    const auto set = read_text(dir, "r.sca", sca_header + body, "FP");   // label ignored
    ASSERT_EQ(set.size(), 5u);

    auto amplitude = [](double I, double s) {
        const double f = std::sqrt((I + std::sqrt(I * I + 2 * s * s)) / 2);
        const double sf = 1 / std::sqrt(2 * (3 * f * f - I) / (s * s) + 1 / (f * f));
        return std::pair{f, sf};
    };
    // Friedel pair averaged with weights 1/sigma^2; sigma = sqrt(s+^2 + s-^2)/2.
    const double wp = 1 / 400.0, wm = 1 / 900.0;
    const double i_mean = (400 * wp + 900 * wm) / (wp + wm), s_mean = 0.5 * std::sqrt(400.0 + 900.0);
    const std::pair<double, double> expected_is[] = {{400, 20}, {400, 20}, {i_mean, s_mean}, {-5, 2}, {400, 20}};
    const int hkl[][3] = {{1, 2, 3}, {1, 2, 3}, {2, 0, 1}, {-1, 1, 1}, {1, 2, 3}};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const auto [f, sf] = amplitude(expected_is[i].first, expected_is[i].second);
        EXPECT_EQ(set[i].h, hkl[i][0]);
        EXPECT_EQ(set[i].k, hkl[i][1]);
        EXPECT_EQ(set[i].l, hkl[i][2]);
        EXPECT_NEAR(set[i].f, f, 2e-6 * f);
        EXPECT_NEAR(set[i].sigma, sf, 2e-6 * sf);
    }
    EXPECT_GT(set[3].f, 0.0f);   // a negative intensity stays, as a small amplitude
    EXPECT_LT(set[3].f, 1.5f);

    // CRLF line ends read the same.
    std::string crlf;
    for (char c : sca_header + body) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const auto twin = read_text(dir, "crlf.sca", crlf);
    ASSERT_EQ(twin.size(), set.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
        EXPECT_EQ(twin[i].f, set[i].f);
        EXPECT_EQ(twin[i].sigma, set[i].sigma);
    }
}

TEST(Scalepack, AbsentFriedelMateIsNotAveragedIn) {
    zelt_test::temp_dir dir;
    // Sigma -1 marks a measurement that is absent: the other half alone is used.
    const auto set = read_text(dir, "m.sca", sca_header +
                                                 "   1   2   3   400.0    20.0     0.0    -1.0\n"
                                                 "   1   2   3     0.0    -1.0   900.0    30.0\n");
    ASSERT_EQ(set.size(), 2u);
    EXPECT_NEAR(set[0].f, 20.0, 0.02);
    EXPECT_NEAR(set[1].f, 30.0, 0.02);
}

TEST(Scalepack, PairWithNeitherHalfMeasuredIsDroppedAndCounted) {
    zelt_test::temp_dir dir;
    zelt_test::write_file(dir / "u.sca", sca_header +
                                             "   1   2   3   400.0    -1.0   900.0    -1.0\n"
                                             "   1   2   4   400.0     0.0   900.0     0.0\n"
                                             "   1   2   5   400.0    20.0\n");
    std::string used;
    zelt::reflection_reading reading;
    const auto set = read_reflections(sca_cell(), 80, 3, (dir / "u.sca").string(), "", used, &reading);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].l, 5.0f);
    EXPECT_EQ(reading.dropped, 2u);
}

TEST(ObservationRule, NonFiniteValuesAreDroppedAndCountedByEveryTextReader) {
    zelt_test::temp_dir dir;
    struct row {
        std::string name, content;
        std::size_t kept, dropped;
    };
    const row rows[] = {
        {"a.sca", sca_header + "   1   2   3     nan    20.0\n   1   2   4     inf     1.0\n"
                               "   1   2   5   400.0     inf\n   1   2   6   400.0    20.0\n"
                               "   1   2   7   400.0    20.0    -inf    30.0\n", 1, 4},
        {"b.txt", "1 2 3 nan 1\n1 2 4 inf\n1 2 5 5 -inf\n1 2 6 1e39 1\n1 2 7 5 1\n40 0 0 nan 1\n", 1, 4},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        zelt_test::write_file(dir / r.name, r.content);
        std::string used;
        zelt::reflection_reading reading;
        const auto set = read_reflections(sca_cell(), 80, 3, (dir / r.name).string(), "", used, &reading);
        EXPECT_EQ(set.size(), r.kept);
        EXPECT_EQ(reading.dropped, r.dropped);   // reflections outside the resolution range are not counted
        for (const auto& refl : set) EXPECT_TRUE(std::isfinite(refl.f) && std::isfinite(refl.sigma));
    }
}

TEST(Scalepack, Failures) {
    zelt_test::temp_dir dir;
    struct row {
        std::string line;
        const char* kind;   // "runtime", "invalid", "range"
        std::string message;
    };
    const row table[] = {
        {"   1   2   3   400.0    20.", "runtime", "invalid reflection data on this line:    1   2   3   400.0    20."},
        {"", "runtime", "invalid reflection data on this line: "},
        {"       2   3   400.0    20.0", "invalid", "invalid stof argument"},
        {"   1   2   3     abc    20.0", "invalid", "invalid stod argument"},
        {"   1   2   3   400.0        ", "invalid", "invalid stod argument"},
        {"1e99   2   3   400.0    20.0", "range", "stof argument out of range"},
        {"   1   2   3   400.0    20.0            30.0", "invalid", "invalid stod argument"},
        {"   1   2   3   400.0    20.0   900.0   x30.0", "invalid", "invalid stod argument"},
        {"   1   2   3   400.0    20.0  1e999     30.0", "range", "stod argument out of range"},
    };
    for (const auto& r : table) {
        SCOPED_TRACE(r.line);
        zelt_test::write_file(dir / "f.sca", sca_header + "   1   1   1   100.0     1.0\n" + r.line + "\n");
        const std::string file = (dir / "f.sca").string();
        std::string used;
        auto call = [&] { read_reflections(sca_cell(), 80, 3, file, "", used); };
        if (std::string(r.kind) == "runtime") {
            EXPECT_EQ(failure<std::runtime_error>(call), r.message);
        }
        // A number that cannot be read names the file and line.
        const std::string where = " in " + file + ", line 5";
        if (std::string(r.kind) == "invalid") {
            EXPECT_EQ(failure<std::invalid_argument>(call), r.message + where);
        }
        if (std::string(r.kind) == "range") {
            EXPECT_EQ(failure<std::out_of_range>(call), r.message + where);
        }
    }
    const std::string missing = (dir / "none.sca").string();
    std::string used;
    EXPECT_EQ(failure<io_error>([&] { read_reflections(sca_cell(), 80, 3, missing, "", used); }),
              "unable to open the file " + missing);
}

TEST(PlainText, LinesNumbersAndFailures) {
    zelt_test::temp_dir dir;
    std::string long_line = "   3 2 1 44.5 2.5";
    long_line += std::string(150, ' ');
    const std::string content = "1 2 3 10.5\n"          // sigma 1
                                "2 0 1 20 2 99 98\n"    // first five numbers
                                "0 0 0 5 1\n"           // cut
                                "40 0 0 5 1\n"          // cut (1.84 A)
                                "1 2 3 -4 0.5\r\n"      // CRLF, negative amplitude kept
                                + long_line + "\n"      // read whole
                                "1.0e0\t2\t3\t7.25\t0.25";   // no final line break
    const auto set = read_text(dir, "r.hkl", content, "FP");
    struct expected {
        int h, k, l;
        float f, s;
    };
    const expected want[] = {{1, 2, 3, 10.5f, 1}, {2, 0, 1, 20, 2}, {1, 2, 3, -4, 0.5f},
                             {3, 2, 1, 44.5f, 2.5f}, {1, 2, 3, 7.25f, 0.25f}};
    ASSERT_EQ(set.size(), std::size(want));
    for (std::size_t i = 0; i < set.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(set[i].h, want[i].h);
        EXPECT_EQ(set[i].k, want[i].k);
        EXPECT_EQ(set[i].l, want[i].l);
        EXPECT_EQ(set[i].f, want[i].f);
        EXPECT_EQ(set[i].sigma, want[i].s);
    }

    const std::pair<std::string, std::string> failures[] = {
        {"1 2 3 4\n\n1 2 3 4\n", ""},
        {"1 2 3\n", "1 2 3"},
        {"1 2 3 x 5\n", "1 2 3 x 5"},
        {"1 2 3 4\r\nh k l f\r\n", "h k l f"},
        {"1 2 3 4\n" + std::string(200, ' ') + "9\n", std::string(200, ' ') + "9"},
    };
    for (const auto& [text, line] : failures) {
        SCOPED_TRACE(text);
        zelt_test::write_file(dir / "bad.hkl", text);
        const std::string file = (dir / "bad.hkl").string();
        std::string used;
        EXPECT_EQ(failure<std::runtime_error>([&] { read_reflections(sca_cell(), 80, 3, file, "", used); }),
                  "invalid reflection data on this line: " + line);
    }
    EXPECT_TRUE(read_text(dir, "empty.hkl", "").empty());
    const std::string missing = (dir / "none.hkl").string();
    std::string used;
    EXPECT_EQ(failure<io_error>([&] { read_reflections(sca_cell(), 80, 3, missing, "", used); }),
              "unable to open the file " + missing);
}

// Indices are kept as integers: a whole number written as a real is read as
// that integer exactly, up to the largest a single-precision value holds
// exactly (2^24) and beyond; one that an int32 cannot hold refuses the file.
TEST(MillerIndices, ReadAsExactIntegers) {
    static_assert(std::is_same_v<decltype(reflection::h), std::int32_t>);
    zelt_test::temp_dir dir;
    const std::string name = (dir / "big.hkl").string();
    std::string used;
    zelt_test::write_file(name, "-44 +2 1.0e0 10\n16777216 -16777216 1073741824 10\n");
    // No high-resolution limit, so that the large indices are kept.
    const reflection_set set = read_reflections(sca_cell(), 80, 0, name, "", used);
    ASSERT_EQ(set.size(), 2u);
    EXPECT_EQ(set[0].h, -44);
    EXPECT_EQ(set[0].k, 2);
    EXPECT_EQ(set[0].l, 1);
    EXPECT_EQ(set[1].h, 16777216);
    EXPECT_EQ(set[1].k, -16777216);
    EXPECT_EQ(set[1].l, 1073741824);
    // 2147483647 rounds to 2^31 in single precision, one beyond the range.
    zelt_test::write_file(name, "1 2 3 10\n2147483647 0 1 10\n-3e9 0 1 10\n0.5 1e10 1 10\n");
    EXPECT_EQ(failure<std::runtime_error>([&] { read_reflections(sca_cell(), 80, 0, name, "", used); }),
              name + ": 1 reflection with a Miller index that is not a whole number (the first: 0.5 1e+10 1)");
    zelt_test::write_file(name, "1 2 3 10\n2147483647 0 1 10\n-3e9 0 1 10\n");
    EXPECT_EQ(failure<std::runtime_error>([&] { read_reflections(sca_cell(), 80, 0, name, "", used); }),
              name + ": 2 reflections with a Miller index beyond the range of a 32-bit integer (the first: "
                     "2.14748e+09 0 1)");
}
