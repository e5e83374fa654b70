// The orientation scan's grid: it covers rotation space within its stated
// radius (checked against random rotations), also after reduction by a point
// group (up to that group's rotations), and it does not scan one orientation
// twice.
#include "search/rotation_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "crystal/unit_cell.hpp"

namespace {

using namespace zelt;

constexpr double degree = 3.141592653589793 / 180.0;

quaternion random_rotation(std::mt19937_64& gen) {
    std::normal_distribution<double> n(0.0, 1.0);
    quaternion q{n(gen), n(gen), n(gen), n(gen)};
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& c : q) c /= norm;
    return q;
}

// Smallest rotation angle from r to any point of the grid, any group image of r.
double distance_to_grid(const mat3& r, const std::vector<mat3>& grid, const std::vector<mat3>& group) {
    double best = 10.0;
    for (const mat3& s : group) {
        const mat3 sr = mul(s, r);
        for (const mat3& g : grid) best = std::min(best, rotation_distance(sr, g));
    }
    return best;
}

std::vector<mat3> matrices(const std::vector<quaternion>& q) {
    std::vector<mat3> out;
    for (const quaternion& x : q) out.push_back(rotation_matrix(x));
    return out;
}

std::vector<mat3> point_group(const unit_cell& cell) {
    std::vector<mat3> out;
    for (const symmetry_operator& op : cell.group().operators) {
        const mat3 r = mul(cell.orthogonalisation, mul(op.rotation(), cell.fractionalisation));
        bool known = false;
        for (const mat3& m : out) known = known || rotation_distance(m, r) < 1e-6;
        if (!known) out.push_back(r);
    }
    return out;
}

TEST(RotationGrid, QuaternionOfAMatrixGivesTheMatrixBack) {
    std::mt19937_64 gen(3);
    for (int i = 0; i < 200; ++i) {
        const mat3 r = rotation_matrix(random_rotation(gen));
        const mat3 back = rotation_matrix(rotation_quaternion(r));
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(back[k], r[k], 1e-12);
    }
}

TEST(RotationGrid, EveryRotationLiesWithinTheCoveringRadius) {
    const double spacing = 20.0 * degree;
    const double covering = rotation_grid_covering(spacing);
    EXPECT_LE(covering, std::sqrt(3.0) / 2.0 * spacing + 1e-12);
    std::mt19937_64 gen(11);
    for (const quaternion& turn : {quaternion{0, 0, 0, 1}, random_rotation(gen)}) {
        const std::vector<quaternion> q = rotation_grid(spacing, turn, {});
        EXPECT_EQ(q.size(), static_cast<std::size_t>(rotation_grid_points(spacing)));
        const std::vector<mat3> grid = matrices(q);
        double worst = 0.0;
        for (int i = 0; i < 3000; ++i)
            worst = std::max(worst, distance_to_grid(rotation_matrix(random_rotation(gen)), grid, {identity3()}));
        EXPECT_LE(worst, covering);
        EXPECT_GT(worst, 0.5 * covering);   // the bound is not loose by far
    }
}

// P3221 (a trigonal cell) and P212121: the reduced grid keeps every
// orientation class within the covering radius, is about the group's order
// smaller than the whole grid, and holds no two points related by the group.
TEST(RotationGrid, ReducedBySymmetryStillCoversAndHoldsNoEquivalentPair) {
    std::mt19937_64 gen(5);
    const double spacing = 15.0 * degree;
    const double covering = rotation_grid_covering(spacing);
    for (const unit_cell& cell : {unit_cell(154, 75.1, 75.1, 133.3, 90, 90, 120), unit_cell(19, 40, 50, 60, 90, 90, 90)}) {
        const std::vector<mat3> group = point_group(cell);
        const std::vector<quaternion> q = rotation_grid(spacing, random_rotation(gen), group);
        const double whole = rotation_grid_points(spacing);
        EXPECT_LT(static_cast<double>(q.size()), 2.2 * whole / static_cast<double>(group.size()));
        EXPECT_GT(static_cast<double>(q.size()), 0.9 * whole / static_cast<double>(group.size()));
        const std::vector<mat3> grid = matrices(q);
        double worst = 0.0;
        for (int i = 0; i < 1500; ++i)
            worst = std::max(worst, distance_to_grid(rotation_matrix(random_rotation(gen)), grid, group));
        EXPECT_LE(worst, covering);
        for (std::size_t i = 0; i < grid.size(); ++i)
            for (std::size_t j = i + 1; j < grid.size(); ++j)
                for (std::size_t s = 1; s < group.size(); ++s)
                    ASSERT_GT(rotation_distance(mul(group[s], grid[i]), grid[j]), 1e-6) << i << " " << j;
    }
}

// A grid that the point group maps onto itself in part (the untuned grid and
// the two-fold axes of P222 along the Cartesian axes): the images are
// dropped, not scanned twice.
TEST(RotationGrid, ExactSymmetryImagesAreScannedOnce) {
    const unit_cell cell(16, 40, 50, 60, 90, 90, 90);
    const std::vector<mat3> group = point_group(cell);
    const std::vector<mat3> grid = matrices(rotation_grid(30.0 * degree, {0, 0, 0, 1}, group));
    for (std::size_t i = 0; i < grid.size(); ++i)
        for (std::size_t j = 0; j < grid.size(); ++j)
            for (std::size_t s = 1; s < group.size(); ++s)
                ASSERT_GT(rotation_distance(mul(group[s], grid[i]), grid[j]), 1e-6);
    EXPECT_LE(grid.size(), static_cast<std::size_t>(2.2 * rotation_grid_points(30.0 * degree) / 4));
}

}  // namespace
