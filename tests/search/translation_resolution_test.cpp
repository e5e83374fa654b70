// The automatic resolution of the fft translation search: the expected
// signal against a hand computation, and the rule's choice for accurate and
// inaccurate models.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "search/translation_resolution.hpp"

namespace zelt {
namespace {

reflection at_resolution(double d) {
    reflection r;
    r.s2 = static_cast<float>(1.0 / (4.0 * d * d));
    return r;
}

// Reflections spread evenly in reciprocal volume, as in a real data set:
// n of them between d = 100 and 3 A.
reflection_set even_sphere(int n) {
    reflection_set set;
    const double s_max = 1.0 / 3.0;
    for (int i = 1; i <= n; ++i) set.push_back(at_resolution(1.0 / (s_max * std::cbrt(i / double(n)))));
    return set;
}

TEST(TranslationResolution, ExpectedSignalOfOneShell) {
    // 400 reflections at 4 A: S = f exp(-(4 pi^2 / 3) e^2 / d^2) sqrt(N).
    reflection_set set(400, at_resolution(4.0));
    set.push_back(at_resolution(3.0));  // beyond the limit
    std::size_t n = 0;
    EXPECT_NEAR(expected_signal(set, 4.0, 0.5, {}, n), 0.5 * 20.0, 1e-9);
    EXPECT_EQ(n, 400u);
    const double d2 = std::exp(-4.0 * std::numbers::pi * std::numbers::pi / 3.0 * 1.2 * 1.2 / 16.0);
    EXPECT_NEAR(expected_signal(set, 4.0, 0.5, {1.2, 1}, n), 0.5 * d2 * 20.0, 1e-6);
    // Three members, each the true structure factor times D plus errors of
    // variance 1 - D^2 of its own: their average's squared correlation with
    // the truth is 3 D^2 / (1 + 2 D^2).
    EXPECT_NEAR(expected_signal(set, 4.0, 0.5, {1.2, 3}, n), 0.5 * 3 * d2 / (1 + 2 * d2) * 20.0, 1e-6);
}

TEST(TranslationResolution, ErrorsMoveTheChoiceToCoarserLimits) {
    const reflection_set set = even_sphere(20000);
    // An accurate model that never reaches the goal is searched to the
    // data's limit, where its signal is largest; the same model with 1.5 A
    // errors where its signal peaks, near 4.5 A for reflections evenly spread
    // in reciprocal space.
    const resolution_choice accurate = choose_translation_resolution(set, 3.0, 0.1, {});
    EXPECT_DOUBLE_EQ(accurate.d_min, 3.0);
    const resolution_choice poor = choose_translation_resolution(set, 3.0, 0.1, {1.5, 1});
    EXPECT_DOUBLE_EQ(poor.accuracy.error, 1.5);
    for (double d = 6.0; d >= 3.0; d -= 0.5) {
        std::size_t n = 0;
        EXPECT_LE(expected_signal(set, d, 0.1, {1.5, 1}, n), poor.signal) << d;
    }
    EXPECT_GE(poor.d_min, 4.0);
    EXPECT_LE(poor.d_min, 5.0);
    // Averaging three such members brings back part of the finer terms.
    EXPECT_LT(choose_translation_resolution(set, 3.0, 0.1, {1.5, 3}).d_min, poor.d_min);
    // A model that reaches the goal takes the coarsest limit that does.
    const resolution_choice strong = choose_translation_resolution(set, 3.0, 0.9, {});
    EXPECT_DOUBLE_EQ(strong.d_min, 6.0);
    EXPECT_GE(strong.signal, auto_resolution_signal_goal);
}

}  // namespace
}  // namespace zelt
