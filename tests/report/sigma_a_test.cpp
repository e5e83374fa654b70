// The sigmaA estimate on synthetic data of known model error, and the
// figure-of-merit function against tabulated Bessel-function values.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "report/sigma_a.hpp"

using namespace zelt;

namespace {

// The true sigmaA of the synthetic data at s^2 (a Luzzati-like fall-off).
double true_sigma_a(double s2) { return 0.9 * std::exp(-8.0 * s2); }

// Reflections whose true structure factor F and model Fc share a fraction
// sigmaA of their normalised value: F = sigmaA Fc' + sqrt(1 - sigmaA^2) e,
// with Fc' and e independent normal deviates (complex for acentric, real for
// centric), scaled by sqrt(Sigma_N) and sqrt(Sigma_P) of the shell.
std::vector<sigma_a_reflection> synthetic(std::size_t n, double sigma_n, double sigma_p, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 0.1);
    std::vector<sigma_a_reflection> out;
    for (std::size_t i = 0; i < n; ++i) {
        sigma_a_reflection r;
        r.s2 = uniform(random);
        r.centric = i % 5 == 0;
        r.epsilon = i % 7 == 0 ? 2 : 1;
        const double half = r.centric ? 1.0 : std::sqrt(0.5);
        const std::complex<double> c(half * normal(random), r.centric ? 0.0 : half * normal(random));
        const std::complex<double> e(half * normal(random), r.centric ? 0.0 : half * normal(random));
        const double sa = true_sigma_a(r.s2), eps = std::sqrt(static_cast<double>(r.epsilon));
        r.fc = c * std::sqrt(sigma_p) * eps * std::polar(1.0, 0.7);
        r.fo = std::abs(sa * c + std::sqrt(1.0 - sa * sa) * e) * std::sqrt(sigma_n) * eps;
        out.push_back(r);
    }
    return out;
}

}  // namespace

TEST(SigmaA, RecoversTheModelErrorOfSyntheticData) {
    const double sigma_n = 400.0, sigma_p = 25.0;
    const auto reflections = synthetic(40000, sigma_n, sigma_p, 2016);
    const sigma_a_shells shells = estimate_sigma_a(reflections);
    ASSERT_EQ(shells.sigma_a.size(), 20u);
    // 2000 reflections a shell give each shell's estimate a standard error
    // of about 0.015 (sigmaA near 0.9) to 0.03 (near 0.4), measured over seeds.
    double mean_error = 0.0;
    for (std::size_t k = 0; k < shells.sigma_a.size(); ++k) {
        SCOPED_TRACE(k);
        // The mean of the true value over the shell is close to its value at
        // the mean s^2 over a shell of width 0.005.
        const double expected = true_sigma_a(shells.mean_s2[k]);
        EXPECT_NEAR(shells.raw_sigma_a[k], expected, 0.08);
        EXPECT_NEAR(shells.sigma_a[k], expected, 0.05);
        mean_error += std::fabs(shells.sigma_a[k] - expected) / 20.0;
        EXPECT_NEAR(shells.sigma_n[k] / sigma_n, 1.0, 0.12);
        EXPECT_NEAR(shells.sigma_p[k] / sigma_p, 1.0, 0.12);
    }
    EXPECT_LT(mean_error, 0.025);
    // D puts Fc on the scale of the part of Fo that the model explains.
    const map_weight w = reflection_weight(shells, reflections[1], shells.shell[1]);
    const auto k = static_cast<std::size_t>(shells.shell[1]);
    EXPECT_NEAR(w.d, shells.sigma_a[k] * std::sqrt(sigma_n / sigma_p), 0.12 * w.d);
}

TEST(SigmaA, ModelWithoutErrorAndModelWithoutInformation) {
    auto reflections = synthetic(6000, 100.0, 100.0, 7);
    for (auto& r : reflections) r.fo = std::abs(r.fc);  // a perfect model
    for (double s : estimate_sigma_a(reflections).sigma_a) EXPECT_NEAR(s, 0.98, 1e-6);
    std::mt19937_64 random(11);
    std::shuffle(reflections.begin(), reflections.end(), random);
    std::vector<sigma_a_reflection> unrelated = synthetic(6000, 100.0, 100.0, 8);
    for (std::size_t i = 0; i < unrelated.size(); ++i) unrelated[i].fc = reflections[i].fc;
    // With no information the likelihood is flat near 0 (it grows as
    // sigmaA^2), so 500 reflections a shell leave estimates of about 0.1.
    double mean = 0.0;
    const std::vector<double> none = estimate_sigma_a(unrelated).sigma_a;
    for (double s : none) EXPECT_LT(s, 0.25), mean += s / static_cast<double>(none.size());
    EXPECT_LT(mean, 0.12);
}

TEST(SigmaA, FigureOfMeritFunction) {
    // I1(x)/I0(x) from tables of the modified Bessel functions.
    EXPECT_NEAR(bessel_ratio(0.5), 0.25789 / 1.06348, 2e-4);
    EXPECT_NEAR(bessel_ratio(1.0), 0.5652 / 1.2661, 2e-4);
    EXPECT_NEAR(bessel_ratio(5.0), 24.3356 / 27.2399, 2e-4);
    EXPECT_NEAR(bessel_ratio(1e-10), 5e-11, 1e-15);
    // The large-argument branch joins the direct ratio.
    EXPECT_NEAR(bessel_ratio(49.999), bessel_ratio(50.001), 1e-6);
    EXPECT_LT(bessel_ratio(1e6), 1.0);
    EXPECT_GT(bessel_ratio(1e6), 0.99999);
}

TEST(SigmaA, ShellScaleFlattensTheRatio) {
    std::vector<double> fo, fc, s2;
    for (int i = 0; i < 3000; ++i) {
        const double s = 0.1 * i / 3000.0;
        s2.push_back(s);
        fo.push_back(100.0 * std::exp(-20.0 * s) * (1.0 + 0.3 * std::sin(i)));
        fc.push_back(5.0 * (1.0 + 0.3 * std::cos(i)));
    }
    const std::vector<double> k = shell_scale(fo, fc, s2);
    for (int shell = 0; shell < 10; ++shell) {
        double a = 0, b = 0;
        for (int i = shell * 300; i < (shell + 1) * 300; ++i) a += fo[i], b += k[i] * fc[i];
        EXPECT_NEAR(a / b, 1.0, 0.04) << shell;
    }
}
