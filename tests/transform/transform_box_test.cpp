// The P1 box and table limits of a model's transform, against the closed
// form for an orthogonal box: the first index beyond d_min along an edge of
// length a is floor(a / d_min) + 1, and d_t the smallest of a / h_max,
// b / k_max, c / l_max.
#include "transform/molecular_transform.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/errors.hpp"

namespace {

using namespace zelt;

// Two atoms spanning the given extents.
model spanning(double ex, double ey, double ez) {
    model m(2);
    m[1].site = {ex, ey, ez};
    return m;
}

TEST(TransformBox, LimitsFollowTheClosedForm) {
    struct row {
        double ex, ey, ez, d_min, scale;
    };
    const row rows[] = {
        {2.0, 16.0, 31.0, 3.0, 2.0},    // 20 x 32 x 62 A
        {45.3, 51.7, 38.2, 3.0, 2.0},   // a protein-sized box
        {45.3, 51.7, 38.2, 2.1, 1.5},
        {12.0, 12.0, 12.0, 4.0, 2.0},   // 24 / 4 = 6 exactly: the first index below is 7
        {5.0, 60.0, 25.0, 8.0, 3.0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::to_string(r.ex) + " " + std::to_string(r.d_min));
        const model m = spanning(r.ex, r.ey, r.ez);
        const transform_box box = model_transform_box(m, r.d_min, r.scale);
        const double a = std::max(r.ex, 10.0) * r.scale, b = std::max(r.ey, 10.0) * r.scale,
                     c = std::max(r.ez, 10.0) * r.scale;
        EXPECT_NEAR(box.cell.a, a, 1e-9);
        EXPECT_NEAR(box.cell.b, b, 1e-9);
        EXPECT_NEAR(box.cell.c, c, 1e-9);
        EXPECT_EQ(box.cell.group().number, 1);
        const int h = static_cast<int>(std::floor(a / r.d_min)) + 1;
        const int k = static_cast<int>(std::floor(b / r.d_min)) + 1;
        const int l = static_cast<int>(std::floor(c / r.d_min)) + 1;
        EXPECT_EQ(box.h_max, h);
        EXPECT_EQ(box.k_max, k);
        EXPECT_EQ(box.l_max, l);
        EXPECT_NEAR(box.d_t, std::min({a / h, b / k, c / l}), 1e-9);
        EXPECT_LT(box.d_t, r.d_min);

        // The transform is built in exactly this box.
        const auto t = build_molecular_transform(m, r.d_min, r.scale, 3.0);
        EXPECT_EQ(t->box.a, box.cell.a);
        EXPECT_EQ(t->table.n_h, 2 * h + 1);
        EXPECT_EQ(t->table.n_k, 2 * k + 1);
        EXPECT_EQ(t->table.n_l, l + 2);
    }
}

TEST(TransformBox, RefusesLimitsThatAreNotPositiveNumbers) {
    const model m = spanning(20.0, 20.0, 20.0);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct row {
        double d_min, scale;
        const char* message;
    };
    const row rows[] = {
        {0.0, 2.0, "the high resolution limit must be a positive number"},
        {-3.0, 2.0, "the high resolution limit must be a positive number"},
        {nan, 2.0, "the high resolution limit must be a positive number"},
        {inf, 2.0, "the high resolution limit must be a positive number"},
        {3.0, 0.0, "the transform box scale must be a positive number"},
        {3.0, -2.0, "the transform box scale must be a positive number"},
        {3.0, nan, "the transform box scale must be a positive number"},
        {3.0, inf, "the transform box scale must be a positive number"},
    };
    for (const row& r : rows) {
        for (int build = 0; build < 2; ++build) {
            try {
                if (build)
                    build_molecular_transform(m, r.d_min, r.scale, 3.0);
                else
                    model_transform_box(m, r.d_min, r.scale);
                ADD_FAILURE() << "accepted d_min " << r.d_min << ", scale " << r.scale;
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), r.message);
            }
        }
    }
}

TEST(TransformBox, LimitsMatchTheStepwiseSearchForManyBoxes) {
    // The first index whose spacing falls below d_min, found one index at a
    // time as a user of the box would, for edges that are and are not
    // multiples of d_min.
    for (double edge : {10.0, 17.3, 24.0, 36.0, 99.9, 150.0, 333.3}) {
        for (double d_min : {0.7, 1.0, 1.5, 2.0, 3.0, 4.0, 6.0}) {
            const model m = spanning(edge, edge, edge);
            const transform_box box = model_transform_box(m, d_min, 1.0);
            int n = 1;
            while (!(box.cell.d_spacing(n, 0, 0) < d_min)) ++n;
            EXPECT_EQ(box.h_max, n) << edge << " " << d_min;
            EXPECT_EQ(box.l_max, n) << edge << " " << d_min;
        }
    }
}

TEST(TransformBox, RefusesBoxesTooLargeToTabulate) {
    // Edges of 1e31 A (a huge coordinate) or a huge scale: refused at once
    // instead of counting indices for ever.
    const char* message =
        "the transform box of a model is too large for the resolution limit "
        "(check transform.scale and the atom coordinates)";
    for (const auto& [m, scale] : {std::pair{spanning(1e30, 5.0, 5.0), 2.0},
                                   std::pair{spanning(20.0, 20.0, 20.0), 1e30},
                                   std::pair{spanning(20.0, 20.0, 20.0), 1e6}}) {
        try {
            model_transform_box(m, 3.0, scale);
            ADD_FAILURE() << "accepted scale " << scale;
        } catch (const range_refusal& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

}  // namespace
