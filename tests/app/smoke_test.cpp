#include <gtest/gtest.h>

#include "common/test_support.hpp"

TEST(Smoke, BinaryRuns) { EXPECT_EQ(zelt_test::run_zelt("").status, 0); }
