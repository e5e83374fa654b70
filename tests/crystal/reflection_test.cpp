// Resolution cut and the intensity-to-amplitude conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "crystal/reflection.hpp"

namespace {

using zelt::reflection;
using zelt::unit_cell;

TEST(Reflections, ResolutionLimitsAreStrict) {
    // Powers of two make d exact: d(1,0,0) = 4, d(0,0,1) = 16.
    const unit_cell cell(1, 4, 8, 16, 90, 90, 90);
    ASSERT_EQ(cell.d_spacing(1, 0, 0), 4.0);
    ASSERT_EQ(cell.d_spacing(0, 0, 1), 16.0);
    EXPECT_FALSE(zelt::in_resolution_range(cell, 16, 4, 1, 0, 0));   // exactly at high
    EXPECT_FALSE(zelt::in_resolution_range(cell, 16, 4, 0, 0, 1));   // exactly at low
    EXPECT_TRUE(zelt::in_resolution_range(cell, 16, 4, 0, 1, 0));    // d = 8
    EXPECT_TRUE(zelt::in_resolution_range(cell, 16, 3.999999, 1, 0, 0));
    EXPECT_TRUE(zelt::in_resolution_range(cell, 16.000001, 4, 0, 0, 1));
    EXPECT_FALSE(zelt::in_resolution_range(cell, 16, 4, 0, 0, 0));   // d = +inf
    EXPECT_FALSE(zelt::in_resolution_range(cell, std::numeric_limits<double>::infinity(), 4, 0, 0, 0));
    EXPECT_FALSE(zelt::in_resolution_range(cell, 16, 4, 2, 0, 0));   // d = 2
    EXPECT_TRUE(zelt::in_resolution_range(cell, 16, 4, 0, -1, 1));   // d = 16/sqrt(5)
    EXPECT_FALSE(zelt::in_resolution_range(cell, 16, 4, -1, 1, 1));  // d = 16/sqrt(21)
}

TEST(Reflections, DefaultLimitsOnTheExampleCell) {
    const unit_cell cell(154, 74.5, 74.5, 103.2, 90, 90, 120);
    const double low = 80.0, high = 3.0;
    int kept = 0, total = 0;
    for (int h = -30; h <= 30; h += 3)
        for (int l = 0; l <= 40; l += 7) {
            ++total;
            const double d = cell.d_spacing(h, 0, l);
            EXPECT_EQ(zelt::in_resolution_range(cell, low, high, h, 0, l),
                      d > high && d < low);
            kept += d > high && d < low;
        }
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, total);
    // A limit placed exactly on a reflection drops it; a hair below keeps it.
    const double d = cell.d_spacing(5, -2, 17);
    EXPECT_FALSE(zelt::in_resolution_range(cell, low, d, 5, -2, 17));
    EXPECT_TRUE(zelt::in_resolution_range(cell, low, std::nextafter(d, 0.0), 5, -2, 17));
    EXPECT_FALSE(zelt::in_resolution_range(cell, d, high, 5, -2, 17));
    EXPECT_TRUE(zelt::in_resolution_range(cell, std::nextafter(d, 100.0), high, 5, -2, 17));
}

TEST(Reflections, NoReflectionPassesInACellThatCannotClose) {
    const unit_cell bad(1, 50, 60, 70, 150, 150, 150);
    for (int h = -3; h <= 3; ++h)
        for (int l = -3; l <= 3; ++l)
            EXPECT_FALSE(zelt::in_resolution_range(bad, 1000, 0.1, h, 1, l));
}

TEST(Reflections, IntensitiesToAmplitudes) {
    struct row {
        float i, sigma;
        double f, sigma_f;
    };
    // Expected values worked separately from F = sqrt((I + sqrt(I^2 + 2 s^2)) / 2)
    // and sigma_F = 1 / sqrt(2 (3 F^2 - I) / s^2 + 1 / F^2).
    const row rows[] = {
        {100, 0, 10.0, 0.0},
        {0, 1, 0.5 * std::sqrt(std::sqrt(8.0)), 0.4204482076268573},
        {100, 10, 10.024845369970071, 0.49753078873992174},
        {-4, 2, 0.6704399621018856, 0.4518010018049224},
        {1e6, 50, 1000.000000625, 0.024999999968750002},
        {0, 0, 0.0, 0.0},      // no uncertainty in, none out
        {-9, 0, 0.0, 0.0},
    };
    zelt::reflection_set set;
    for (const row& r : rows) set.push_back(reflection{1, 2, 3, r.i, r.sigma, 0.5f, -0.5f, 0.25f});
    zelt::intensities_to_amplitudes(set);
    for (std::size_t n = 0; n < set.size(); ++n) {
        SCOPED_TRACE("I = " + std::to_string(rows[n].i) + ", sigma = " + std::to_string(rows[n].sigma));
        EXPECT_NEAR(set[n].f, rows[n].f, 2e-6 * std::max(1.0, rows[n].f));
        EXPECT_NEAR(set[n].sigma, rows[n].sigma_f, 2e-6);
        EXPECT_FALSE(std::isnan(set[n].sigma));
        // Indices and the other slots are untouched.
        EXPECT_EQ(set[n].h, 1);
        EXPECT_EQ(set[n].l, 3);
        EXPECT_EQ(set[n].static_re, 0.5f);
        EXPECT_EQ(set[n].s2, 0.25f);
    }
    // Small positive F for a negative intensity with an uncertainty.
    EXPECT_GT(set[3].f, 0.0f);
    EXPECT_LT(set[3].f, 2.0f);
}

}  // namespace
