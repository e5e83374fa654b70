// The one-pass weighted correlation against the textbook two-pass formula.
#include "score/pearson.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using zelt::pearson;

struct two_pass {
    double w = 0, mx = 0, my = 0, sxx = 0, syy = 0, sxy = 0, r = 0;
};

// Weighted means first, then weighted sums of squared deviations.
two_pass textbook(const std::vector<float>& x, const std::vector<float>& y, const std::vector<float>& w) {
    two_pass t;
    for (std::size_t i = 0; i < x.size(); ++i) {
        t.w += w[i];
        t.mx += double(w[i]) * x[i];
        t.my += double(w[i]) * y[i];
    }
    t.mx /= t.w;
    t.my /= t.w;
    for (std::size_t i = 0; i < x.size(); ++i) {
        t.sxx += w[i] * (x[i] - t.mx) * (x[i] - t.mx);
        t.syy += w[i] * (y[i] - t.my) * (y[i] - t.my);
        t.sxy += w[i] * (x[i] - t.mx) * (y[i] - t.my);
    }
    t.r = t.sxy / std::sqrt(t.sxx * t.syy);
    return t;
}

TEST(Pearson, MatchesTwoPassWeightedFormulaOnRandomData) {
    std::mt19937 gen(42);
    for (int n : {2, 3, 10, 1000, 20000}) {
        for (bool weighted : {false, true}) {
            std::uniform_real_distribution<float> fo(10.0f, 2000.0f), noise(-300.0f, 300.0f), wd(0.001f, 5.0f);
            std::vector<float> x(n), y(n), w(n);
            for (int i = 0; i < n; ++i) {
                x[i] = fo(gen);
                y[i] = 0.3f * x[i] + noise(gen);
                w[i] = weighted ? wd(gen) : 1.0f;
            }
            pearson<float, double> p;
            for (int i = 0; i < n; ++i) p.add(x[i], y[i], w[i]);
            const two_pass t = textbook(x, y, w);
            EXPECT_NEAR(p.result(), t.r, 1e-10) << n << " " << weighted;
            EXPECT_NEAR(p.weight_sum(), t.w, 1e-9 * t.w);
            EXPECT_NEAR(p.mean_x(), t.mx, 1e-9 * std::fabs(t.mx));
            EXPECT_NEAR(p.mean_y(), t.my, 1e-9 * std::fabs(t.my));
            EXPECT_NEAR(p.sxx(), t.sxx, 1e-9 * t.sxx);
            EXPECT_NEAR(p.syy(), t.syy, 1e-9 * t.syy);
            EXPECT_NEAR(p.sxy(), t.sxy, 1e-9 * std::fabs(t.sxy) + 1e-9);
        }
    }
}

TEST(Pearson, ExactLinearRelations) {
    struct row {
        float slope, offset, expected;
    };
    for (const row r : {row{2.5f, 3.0f, 1.0f}, row{1.0f, 0.0f, 1.0f}, row{-0.5f, 1000.0f, -1.0f}, row{-4.0f, 0.0f, -1.0f}}) {
        pearson<float, double> p;
        for (int i = 0; i < 500; ++i) {
            const float x = 1.0f + 0.5f * float(i % 97) + 0.25f * float(i % 13);
            p.add(x, r.slope * x + r.offset, 1.0f + float(i % 3));
        }
        EXPECT_NEAR(p.result(), r.expected, 1e-12) << r.slope;
    }
}

TEST(Pearson, NoSpreadScoresZero) {
    pearson<float, double> empty;
    EXPECT_EQ(empty.result(), 0.0);
    pearson<float, double> one;
    one.add(3.0f, 4.0f, 1.0f);
    EXPECT_EQ(one.result(), 0.0);
    pearson<float, double> flat;
    for (int i = 0; i < 10; ++i) flat.add(float(i), 0.0f, 1.0f);
    EXPECT_EQ(flat.result(), 0.0);
    EXPECT_FALSE(std::isnan(flat.result()));
}

}  // namespace
