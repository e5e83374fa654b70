// The fft translation search's placement: the candidate goes to the peak that
// the objective scores best, judged here by scoring every peak directly; and
// the low-resolution reflection subset against d-spacings from the cell.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "score/pearson.hpp"
#include "score/scorer.hpp"
#include "search/translation_placement.hpp"
#include "transform/structure_factors.hpp"

namespace {

using namespace zelt;

// P212121 crystal with random amplitudes to 4 A and a random 14-atom model.
struct small_crystal {
    std::vector<unit_cell> cells{unit_cell(19, 18.0, 20.0, 22.0, 90.0, 90.0, 90.0)};
    std::vector<int> codes{0};
    transform_store store;
    reflection_set refl;

    small_crystal() {
        std::mt19937 gen(5);
        std::uniform_real_distribution<float> fo(1.0f, 100.0f);
        for (int h = 0; h <= 5; ++h)
            for (int k = 0; k <= 5; ++k)
                for (int l = 0; l <= 6; ++l) {
                    if (h + k + l == 0 || cells[0].d_spacing(h, k, l) < 4.0) continue;
                    reflection r;
                    r.set_indices({h, k, l});
                    r.f = fo(gen);
                    r.sigma = 1.0f;
                    r.s2 = float(cells[0].s_squared(h, k, l));
                    refl.push_back(r);
                }
        std::uniform_real_distribution<double> u(-5.0, 5.0);
        model m(14);
        for (atom& a : m) {
            for (double& v : a.site) v = u(gen);
            a.b = 15.0;
            a.element = 6;
        }
        store.set(0, build_molecular_transform(m, 4.0, 2.0, 3.0));
    }
};

TEST(TranslationPlacement, TakesThePeakTheObjectiveScoresBest) {
    const small_crystal x;
    const auto data = std::make_shared<const scorer_data>(x.refl, x.cells, x.codes, x.store);
    const auto tf = std::make_shared<const translation_function>(data, 0.0);
    const scorer<pearson<float, double>, 1, 0> cc(data);
    const scorer<pearson<float, double>, 1, 1> r(data);
    std::mt19937 gen(3);
    std::normal_distribution<double> n;
    for (int trial = 0; trial < 6; ++trial) {
        solution s;
        s.placements.resize(1);
        s.placements[0].orientation = {n(gen), n(gen), n(gen), n(gen)};
        s.k = 0.8f;
        s.b = 200.0f;
        const auto peaks = tf->peaks(s, 0, 5, {false, false, false});
        ASSERT_FALSE(peaks.empty());
        for (const bool maximum : {true, false}) {
            // Every peak scored directly; the best by the goal wins.
            std::size_t best = 0;
            double best_score = 0.0;
            for (std::size_t i = 0; i < peaks.size(); ++i) {
                solution t = s;
                t.placements[0].translation = peaks[i].translation;
                const double v = maximum ? cc(t) : r(t);
                if (i == 0 || (maximum ? v > best_score : v < best_score)) best = i, best_score = v;
            }
            solution placed = s;
            objective_function objective = maximum ? objective_function(cc) : objective_function(r);
            make_translation_placement(tf, objective, 5, {false, false, false}, maximum)(placed);
            EXPECT_EQ(placed.placements[0].translation, peaks[best].translation) << trial;
            EXPECT_EQ(placed.placements[0].orientation, s.placements[0].orientation);
        }
        // One peak: the top peak, without scoring.
        solution top = s;
        make_translation_placement(tf, cc, 1, {false, false, false}, true)(top);
        EXPECT_EQ(top.placements[0].translation, tf->peaks(s, 0, 1, {false, false, false})[0].translation);
    }
}

TEST(TranslationPlacement, ReflectionsToALimitKeepThoseOfLargerSpacing) {
    const small_crystal x;
    const reflection_set low = reflections_to(x.refl, 6.0);
    std::size_t expected = 0;
    for (const reflection& r : x.refl)
        if (x.cells[0].d_spacing(r.h, r.k, r.l) >= 6.0 * (1 + 1e-6)) ++expected;
    EXPECT_EQ(low.size(), expected);
    for (const reflection& r : low) EXPECT_GE(x.cells[0].d_spacing(r.h, r.k, r.l), 6.0 * (1 - 1e-6));
    EXPECT_EQ(reflections_to(x.refl, 1.0).size(), x.refl.size());
}

}  // namespace
