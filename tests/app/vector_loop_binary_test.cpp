// The choice between the vector and the scalar structure-factor loop through
// the real binary (environment variable ZELT_SIMD): both refine the reference
// placement of beta-lactamase to the same scores and position, and the
// scalar loop's reports do not depend on the number of processors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.hpp"

namespace {

using namespace zelt_test;

// The numbers of the first solution line: number, CC, R, clashes, angles,
// x, y, z, model, space group.
std::vector<double> solution_numbers(const std::string& report) {
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Solution", 0) != 0) continue;
        std::istringstream words(line.substr(8));
        std::vector<double> v;
        double x;
        while (words >> x) v.push_back(x);
        return v;
    }
    return {};
}

std::string before_elapsed_time(const std::string& s) {
    const std::size_t p = s.find("Total elapsed time: ");
    return p == std::string::npos ? s : s.substr(0, p);
}

TEST(VectorLoopBinary, ScalarAndVectorLoopsRefineToTheSamePlacement) {
    temp_dir dir;
    write_file(dir / "beta_ref.pdb", reference_atoms('A'));
    const std::string args = "-e 5 -g 0 -w 2 " + shell_quote(example("beta_blip.mtz").string()) + " beta_ref.pdb";
    const run_result vector = run_zelt("-o v " + args, dir.path().string());
    const run_result scalar = run_command("ZELT_SIMD=0 " + shell_quote(zelt_binary()) + " -o s " + args,
                                          dir.path().string());
    const run_result scalar_one = run_command(
        "ZELT_SIMD=off taskset -c 0 " + shell_quote(zelt_binary()) + " -o s " + args, dir.path().string());
    for (const run_result* r : {&vector, &scalar, &scalar_one}) {
        ASSERT_EQ(r->status, 0) << r->err;
        EXPECT_EQ(r->err, "");
    }
    EXPECT_EQ(before_elapsed_time(scalar.out), before_elapsed_time(scalar_one.out));

    const std::vector<double> v = solution_numbers(vector.out), s = solution_numbers(scalar.out);
    ASSERT_EQ(v.size(), 12u) << vector.out;
    ASSERT_EQ(v.size(), s.size()) << scalar.out;
    EXPECT_NEAR(v[1], s[1], 0.0015);   // CC, printed to 3 decimals
    EXPECT_NEAR(v[2], s[2], 0.0015);   // R
    EXPECT_EQ(v[3], s[3]);             // clashes
    EXPECT_GT(v[1], 0.5);
    // beta is near 0, so only alpha + gamma is defined closely.
    const double turn = std::fmod(std::fabs(v[4] + v[6] - s[4] - s[6]), 360.0);
    EXPECT_LT(std::min(turn, 360.0 - turn), 0.25);
    for (int i = 7; i < 10; ++i) EXPECT_NEAR(v[i], s[i], 0.0025) << "translation " << i - 7;
}

}  // namespace
