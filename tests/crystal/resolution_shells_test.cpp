// Equal-count resolution shells, checked against counting by hand.
#include <gtest/gtest.h>

#include <vector>

#include "crystal/resolution_shells.hpp"

namespace {

using zelt::equal_count_shells;

TEST(ResolutionShells, EqualCountsInOrderOfResolutionTiesKept) {
    // 10 reflections, 3 a shell: 3 shells of ranks [0, 3), [3, 6), [6, 10).
    const std::vector<float> s2{0.9f, 0.1f, 0.5f, 0.5f, 0.3f, 0.7f, 0.2f, 0.5f, 0.8f, 0.05f};
    const zelt::resolution_shells shells = equal_count_shells(s2, 3, 20);
    ASSERT_EQ(shells.count(), 3u);
    EXPECT_EQ(shells.start, (std::vector<std::size_t>{0, 3, 6, 10}));
    // The three reflections at s^2 = 0.5 keep their order (2, 3, 7).
    EXPECT_EQ(shells.order, (std::vector<std::size_t>{9, 1, 6, 4, 2, 3, 7, 5, 8, 0}));
    EXPECT_EQ(shells.shell_of_each(), (std::vector<int>{2, 0, 1, 1, 1, 2, 0, 2, 2, 0}));
}

TEST(ResolutionShells, CountsClampedAndNoShellsForNoReflections) {
    const std::vector<double> many(1000, 0.1);
    EXPECT_EQ(equal_count_shells(many, 10, 20).count(), 20u);   // 100 wanted, 20 at most
    EXPECT_EQ(equal_count_shells(many, 5000, 20).count(), 1u);  // none full: one shell
    EXPECT_EQ(equal_count_shells(std::vector<double>{}, 10, 20).count(), 0u);
}

}  // namespace
