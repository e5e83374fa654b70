#include <gtest/gtest.h>

#include <array>

#include "crystal/axis_permutation.hpp"
#include "crystal/unit_cell.hpp"

using namespace zelt;

// A reflection keeps its spacing when both the cell's axes and its indices
// are permuted by the same code.
TEST(AxisPermutation, IndicesFollowTheCellAxes) {
    const std::array<double, 3> edges{41.0, 76.0, 80.0};
    const unit_cell crystal(19, edges[0], edges[1], edges[2], 90.0, 90.0, 90.0);
    const std::array<int, 3> hkl{3, -5, 7};
    for (int code = 0; code < 3; ++code) {
        const std::array<double, 3> axes = permuted_indices<double>(edges, code);
        const unit_cell permuted(19, axes[0], axes[1], axes[2], 90.0, 90.0, 90.0);
        const std::array<int, 3> p = permuted_indices<int>(hkl, code);
        EXPECT_NEAR(permuted.d_spacing(p[0], p[1], p[2]), crystal.d_spacing(hkl[0], hkl[1], hkl[2]), 1e-12)
            << "code " << code;
    }
    EXPECT_EQ((permuted_indices<int>(hkl, 0)), (std::array<int, 3>{3, -5, 7}));
    EXPECT_EQ((permuted_indices<int>(hkl, 1)), (std::array<int, 3>{-5, 7, 3}));
    EXPECT_EQ((permuted_indices<int>(hkl, 2)), (std::array<int, 3>{7, 3, -5}));
}
