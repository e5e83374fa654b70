// The run's random generator against the standard Mersenne Twister values
// and an independent re-implementation of the polar method.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "search/random.hpp"

namespace {

using zelt::random_source;
constexpr double two_to_64 = 18446744073709551616.0;

TEST(RandomSource, FirstUniformIsFirstEngineOutputOver2To64) {
    // Default seed of the 64-bit Mersenne Twister: first output 14514284786278117030.
    random_source r(5489u);
    EXPECT_EQ(r.uniform(), 14514284786278117030.0 / two_to_64);
}

TEST(RandomSource, TenThousandthOutputMatchesStandardValue) {
    // The C++ standard fixes the 10000th output of a default mt19937_64.
    random_source r(5489u);
    double u = 0.0;
    for (int i = 0; i < 10000; ++i) u = r.uniform();
    EXPECT_EQ(u, 9981545732273789042.0 / two_to_64);
}

TEST(RandomSource, UnitMappingStaysBelowOne) {
    EXPECT_EQ(random_source::to_unit(0), 0.0);
    EXPECT_LT(random_source::to_unit(std::numeric_limits<std::uint64_t>::max()), 1.0);
    EXPECT_LT(random_source::to_unit(std::numeric_limits<std::uint64_t>::max() - 1000), 1.0);
    EXPECT_EQ(random_source::to_unit(std::uint64_t{1} << 63), 0.5);
}

TEST(RandomSource, UniformRangeAndIntegers) {
    random_source r(7);
    for (int i = 0; i < 1000; ++i) {
        const double u = r.uniform(-2.0, 3.0);
        EXPECT_GE(u, -2.0);
        EXPECT_LT(u, 3.0);
    }
    std::vector<int> counts(4, 0);
    for (int i = 0; i < 4000; ++i) {
        const int k = r.random_integer(3, 4);
        ASSERT_GE(k, 3);
        ASSERT_LE(k, 6);
        ++counts[k - 3];
    }
    for (int c : counts) EXPECT_NEAR(c, 1000, 150);
    // Integer = base + floor(count * U) for the same draw.
    random_source a(99), b(99);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(a.random_integer(-5, 7), -5 + static_cast<int>(7 * b.uniform()));
}

// Polar method written out here: draws in pairs, keeps the second value.
TEST(RandomSource, NormalFollowsPolarMethodWithKeptValue) {
    random_source r(12345);
    std::mt19937_64 e(12345);
    auto u = [&] { return static_cast<double>(e()) / two_to_64; };
    for (int pair = 0; pair < 200; ++pair) {
        double v1, v2, s;
        do {
            v1 = 2 * u() - 1;
            v2 = 2 * u() - 1;
            s = v1 * v1 + v2 * v2;
        } while (s >= 1 || s == 0);
        const double f = std::sqrt(-2 * std::log(s) / s);
        ASSERT_DOUBLE_EQ(r.normal(), f * v1);
        ASSERT_DOUBLE_EQ(r.normal(), f * v2);
    }
    // The kept value is returned without drawing: both streams stay in step.
    EXPECT_EQ(r.uniform(), u());
}

TEST(RandomSource, NormalMomentsAreStandard) {
    random_source r(2024);
    const int n = 40000;
    double sum = 0, sum2 = 0;
    for (int i = 0; i < n; ++i) {
        const double x = r.normal();
        sum += x;
        sum2 += x * x;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.03);
    EXPECT_NEAR(sum2 / n, 1.0, 0.03);
}

TEST(RandomSource, RotationUsesThreeDeviatesInOrder) {
    random_source r(31);
    std::mt19937_64 e(31);
    auto u = [&] { return static_cast<double>(e()) / two_to_64; };
    const double pi = 3.141592653589793;
    for (int i = 0; i < 20; ++i) {
        const double u1 = u(), u2 = u(), u3 = u();
        const zelt::quaternion q = r.random_rotation();
        EXPECT_DOUBLE_EQ(q[0], std::sqrt(1 - u1) * std::sin(2 * pi * u2));
        EXPECT_DOUBLE_EQ(q[1], std::sqrt(1 - u1) * std::cos(2 * pi * u2));
        EXPECT_DOUBLE_EQ(q[2], std::sqrt(u1) * std::sin(2 * pi * u3));
        EXPECT_DOUBLE_EQ(q[3], std::sqrt(u1) * std::cos(2 * pi * u3));
    }
}

TEST(RandomSource, RotationsAreUnitAndUniform) {
    // For rotations uniform over SO(3) every squared quaternion component
    // averages 1/4, and the rotation angle has mean pi/2 + 2/pi.
    random_source r(5);
    const int n = 40000;
    double sq[4] = {0, 0, 0, 0}, angle = 0;
    for (int i = 0; i < n; ++i) {
        const zelt::quaternion q = r.random_rotation();
        EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-12);
        for (int k = 0; k < 4; ++k) sq[k] += q[k] * q[k];
        angle += 2 * std::acos(std::min(1.0, std::fabs(q[3])));
    }
    for (double s : sq) EXPECT_NEAR(s / n, 0.25, 0.01);
    EXPECT_NEAR(angle / n, 3.141592653589793 / 2 + 2 / 3.141592653589793, 0.02);
}

}  // namespace
