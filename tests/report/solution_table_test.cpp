// The solution table and the statistics table, compared character by
// character with lines written out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "crystal/unit_cell.hpp"
#include "report/solution_table.hpp"
#include "model/solution.hpp"

namespace {

using zelt::copy_placement;
using zelt::quaternion;
using zelt::solution;

const std::string header =
    "\n          #    CC    R    d<     al     be     ga     x      y      z   mod sg\n";

// Hamilton product p*q of (x, y, z, w) quaternions.
quaternion product(const quaternion& p, const quaternion& q) {
    return {p[3] * q[0] + p[0] * q[3] + p[1] * q[2] - p[2] * q[1],
            p[3] * q[1] - p[0] * q[2] + p[1] * q[3] + p[2] * q[0],
            p[3] * q[2] + p[0] * q[1] - p[1] * q[0] + p[2] * q[3],
            p[3] * q[3] - p[0] * q[0] - p[1] * q[1] - p[2] * q[2]};
}

// Orientation Rz(alpha) Ry(beta) Rz(gamma), angles in degrees.
quaternion from_euler(double alpha, double beta, double gamma) {
    const double rad = 3.141592653589793 / 360.0;  // half angle in radians
    const quaternion za{0, 0, std::sin(alpha * rad), std::cos(alpha * rad)};
    const quaternion yb{0, std::sin(beta * rad), 0, std::cos(beta * rad)};
    const quaternion zg{0, 0, std::sin(gamma * rad), std::cos(gamma * rad)};
    return product(product(za, yb), zg);
}

copy_placement place(double alpha, double beta, double gamma, double x, double y, double z,
                     int reported_model) {
    copy_placement p;
    p.orientation = from_euler(alpha, beta, gamma);
    p.translation = {x, y, z};
    p.model = 0;
    p.reported_model = reported_model;
    return p;
}

std::vector<zelt::unit_cell> cells() {
    return {zelt::unit_cell(154, 75.11, 75.11, 133.31, 90, 90, 120),
            zelt::unit_cell(19, 50, 60, 70, 90, 90, 90)};
}

std::string table(const solution& s, double cc, double r, int attempt, int clashes) {
    std::ostringstream out;
    zelt::print_solution_table(out, s, cc, r, attempt, cells(), clashes);
    return out.str();
}

TEST(SolutionTable, OneCopyHasNoLetter) {
    solution s;
    s.placements = {place(30, 40, 250, 0.1, 0.25, 0.9, 0)};
    EXPECT_EQ(table(s, 0.512, 0.487, 0, 3),
              header +
                  "Solution  1  0.512 0.487   3    30.0   40.0  250.0  0.100  0.250  0.900  1 154\n"
                  "\n");
}

TEST(SolutionTable, ThreeCopiesAreLetteredAndOnlyTheFirstCarriesScores) {
    solution s;
    s.cell = 1;
    s.placements = {place(200.9, 41.3, 183.9, 0.504, 0.842, 0.719, 0),
                    place(43.84, 80.94, 117.28, 0.877, 0.294, 0.908, 1),
                    place(10, 170, 355, 0, 0.5, 0.0625, 2)};
    EXPECT_EQ(table(s, 0.4567, 0.5123, 11, 0),
              header +
                  "Solution 12a 0.457 0.512   0   200.9   41.3  183.9  0.504  0.842  0.719  1  19\n"
                  "Solution 12b                    43.8   80.9  117.3  0.877  0.294  0.908  2  19\n"
                  "Solution 12c                    10.0  170.0  355.0  0.000  0.500  0.062  3  19\n"
                  "\n");
}

TEST(SolutionTable, NegativeScoreAndSwitchedOffClashCountShiftTheLine) {
    solution s;
    s.placements = {place(30, 40, 250, 0.1, 0.25, 0.9, 4)};
    EXPECT_EQ(table(s, -0.012, 0.6, 99, -1),
              header +
                  "Solution 100  -0.012 0.600  -1    30.0   40.0  250.0  0.100  0.250  0.900  5 154\n"
                  "\n");
}

TEST(SolutionTable, IdentityOrientationPrintsZeroAngles) {
    solution s;
    s.placements = {copy_placement{}};
    EXPECT_EQ(table(s, 1.0, 0.0, 1, 1234),
              header +
                  "Solution  2  1.000 0.000 1234     0.0    0.0    0.0  0.000  0.000  0.000  1 154\n"
                  "\n");
}

TEST(SolutionTable, TwentySevenCopiesWrapTheLetters) {
    solution s;
    for (int i = 0; i < 27; ++i) s.placements.push_back(place(30, 40, 250, 0.1, 0.25, 0.9, 0));
    std::istringstream lines(table(s, 0.5, 0.5, 0, 0));
    std::string line;
    std::vector<char> letters;
    while (std::getline(lines, line))
        if (line.rfind("Solution", 0) == 0) letters.push_back(line.at(11));
    ASSERT_EQ(letters.size(), 27u);
    EXPECT_EQ(letters[0], 'a');
    EXPECT_EQ(letters[25], 'z');
    EXPECT_EQ(letters[26], 'a');
}

const std::string titles = "SpcGrp\tModel\tCopy\tAttempt\tScore\tMin\tMean\tMax\tNH-Mean\tRate\n";

struct statistics_case {
    const char* name;
    int cell, model, copy;
    std::vector<double> scores;
    const char* line;
};

TEST(Statistics, LinesMatchHandComputedSummaries) {
    const std::vector<statistics_case> cases = {
        {"one attempt", 0, 0, 0, {0.5}, "0\t0\t0\t1\t0.500\t0.500\t0.500\t0.500\t0.000\t1.000\n"},
        // 0.4995 is within 0.002 of the best, 0.300 is not: h = 2 of 3.
        {"near-best pair", 1, 2, 3, {0.5, 0.4995, 0.3},
         "1\t2\t3\t3\t0.300\t0.300\t0.433\t0.500\t0.300\t0.667\n"},
        {"latest is not the best", 0, 1, 0, {0.2, 0.6, 0.1, 0.4},
         "0\t1\t0\t4\t0.400\t0.100\t0.325\t0.600\t0.233\t0.250\n"},
        {"all near-best", 0, 0, 1, {0.7001, 0.7, 0.6995},
         "0\t0\t1\t3\t0.700\t0.700\t0.700\t0.700\t0.000\t1.000\n"},
        {"margin edge", 0, 0, 0, {0.5, 0.4981, 0.4979},
         "0\t0\t0\t3\t0.498\t0.498\t0.499\t0.500\t0.498\t0.667\n"},
        // Near-best counts from the largest score even for negative scores.
        {"negative scores", 2, 0, 0, {-0.3, -0.1, -0.2},
         "2\t0\t0\t3\t-0.200\t-0.300\t-0.200\t-0.100\t-0.250\t0.333\n"},
        {"no attempt yet", 0, 0, 0, {}, "0\t0\t0\t0\t0.000\t0.000\t0.000\t0.000\t0.000\t0.000\n"},
    };
    for (const statistics_case& c : cases) {
        zelt::reset_statistics_header();
        std::ostringstream out;
        zelt::print_statistics(out, c.cell, c.model, c.copy, c.scores);
        EXPECT_EQ(out.str(), titles + c.line) << c.name;
    }
}

TEST(Statistics, RFactorCountsNearBestFromTheLowestScore) {
    // R-factors: 0.3015 lies within 0.002 of the best (lowest) 0.300, 0.500
    // does not; counted from the largest score instead, h would be 1.
    zelt::reset_statistics_header();
    std::ostringstream out;
    zelt::print_statistics(out, 0, 0, 0, {0.3, 0.3015, 0.5}, true);
    EXPECT_EQ(out.str(), titles + "0\t0\t0\t3\t0.500\t0.300\t0.367\t0.500\t0.500\t0.667\n");
}

TEST(Statistics, TitlesArePrintedOncePerProcess) {
    zelt::reset_statistics_header();
    std::ostringstream first, second;
    zelt::print_statistics(first, 0, 0, 0, {0.25});
    zelt::print_statistics(first, 0, 0, 0, {0.25, 0.75});
    zelt::print_statistics(second, 1, 0, 0, {0.5});  // another stream, same process
    EXPECT_EQ(first.str(), titles + "0\t0\t0\t1\t0.250\t0.250\t0.250\t0.250\t0.000\t1.000\n" +
                               "0\t0\t0\t2\t0.750\t0.250\t0.500\t0.750\t0.250\t0.500\n");
    EXPECT_EQ(second.str(), "1\t0\t0\t1\t0.500\t0.500\t0.500\t0.500\t0.000\t1.000\n");
    zelt::reset_statistics_header();
    std::ostringstream third;
    zelt::print_statistics(third, 0, 0, 0, {0.25});
    EXPECT_EQ(third.str().rfind(titles, 0), 0u);
}

}  // namespace
