// tests/discover/significance_test.cpp: the separating threshold and the E-value built on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "discover/fisher.h"
#include "discover/significance.h"

namespace kalvo {
namespace {

TEST(Significance, ThresholdAtTheLowestTargetScoreAboveEveryControl)
{
    const Separation split = BestSeparation({9, 8, 7, 6, 1}, {5, 4, 3, 2, 1, 0});
    EXPECT_EQ(split.threshold, 6);
    EXPECT_EQ(split.targetHits, 4);
    EXPECT_EQ(split.controlHits, 0);
    EXPECT_EQ(split.targets, 5);
    EXPECT_EQ(split.controls, 6);
    EXPECT_DOUBLE_EQ(split.log10P, Log10FisherEnrichment(4, 5, 0, 6));
}

TEST(Significance, EqualScoresAreOneSplitAndControlsAtTheThresholdCount)
{
    const Separation split = BestSeparation({5, 5, 5, 0}, {5, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(split.threshold, 5);
    EXPECT_EQ(split.targetHits, 3);
    EXPECT_EQ(split.controlHits, 1);
}

TEST(Significance, SequencesWithoutAWordNeverHaveASiteAndNoSeparationIsPOne)
{
    const double none = -std::numeric_limits<double>::infinity();
    const Separation split = BestSeparation({none, none}, {1, 2});
    EXPECT_EQ(split.targetHits, 0);
    EXPECT_EQ(split.log10P, 0.0);
    // Targets that score like the controls are not enriched at any threshold.
    const Separation alike = BestSeparation({4, 3, 2, 1}, {4, 4, 3, 3, 2, 2, 1, 1});
    EXPECT_GT(alike.log10P, -0.5);
}

TEST(Significance, AThresholdChosenBeforehandIsOnlyMeasured)
{
    const Separation split = SeparationAt(5.0, {9, 5, 4, 1}, {6, 5, 0, 0, 0, 0});
    EXPECT_EQ(split.targetHits, 2);
    EXPECT_EQ(split.controlHits, 2);
    EXPECT_DOUBLE_EQ(split.log10P, Log10FisherEnrichment(2, 4, 2, 6));
}

TEST(Significance, SiteThresholdWeighsEachExpectedFalseCallAgainstATrueOne)
{
    // Ten target windows and ten control windows of the same number: a call
    // pays off while fewer than half the calls at its score are expected false.
    const SiteCut cut = SiteThreshold({10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, 10, {6.5, 3.5, 2.5, 1.5, 0.5}, 10);
    EXPECT_EQ(cut.threshold, 4);  // 7 calls, 1 expected false
    EXPECT_DOUBLE_EQ(cut.expectedFalse, 1.0);
    // Controls ten times as many windows count a tenth each.
    EXPECT_EQ(SiteThreshold({5, 4, 3}, 10, {4.5, 3.5}, 100).threshold, 3);
    EXPECT_TRUE(std::isinf(SiteThreshold({1, 1}, 2, {2, 2, 2}, 3).threshold));
}

TEST(Significance, EValueGrowsWithTheMotifsTested)
{
    EXPECT_DOUBLE_EQ(Log10EValue(-10.0, 1), -10.0);
    EXPECT_NEAR(Log10EValue(-10.0, 100), -8.0, 1e-12);
    EXPECT_LT(Log10EValue(-12.0, 24), Log10EValue(-11.0, 24));
}

TEST(Significance, CalibratedEValueCountsTheNullRestartsThatReachAPValue)
{
    // 19 null restarts: six separated something, the rest ended without a site.
    std::vector<double> null(19, 0.0);
    const std::vector<double> separating = {-6.0, -4.0, -3.0, -2.0, -1.5, -1.0};
    std::copy(separating.begin(), separating.end(), null.begin());
    // Among the null restarts: the share at least as extreme, one added to both counts, times the restarts.
    EXPECT_NEAR(Log10CalibratedEValue(-1.5, null, 10), std::log10(6.0 / 20.0 * 10.0), 1e-12);
    EXPECT_NEAR(Log10CalibratedEValue(0.0, null, 4), std::log10(4.0), 1e-12);
    EXPECT_NEAR(Log10CalibratedEValue(-2.0, null, 20) - Log10CalibratedEValue(-2.0, null, 2), 1.0, 1e-12);
    // Past the fourth most extreme, the share falls e-fold every so many
    // decades: the mean excess of the three beyond it (7 / 3), pulled towards 0.9
    // as if six more had that: (7 + 6 * 0.9) / 9 decades.
    const double scale = (7.0 + 6.0 * 0.9) / 9.0;
    const double near = Log10CalibratedEValue(-2.5, null, 1);
    EXPECT_NEAR(near, std::log10(4.0 / 20.0) - 0.5 / (scale * std::log(10.0)), 1e-12);
    EXPECT_NEAR(near - Log10CalibratedEValue(-20.0, null, 1), 17.5 / (scale * std::log(10.0)), 1e-9);
    // The most extreme null restart sets no floor: a p-value far beyond it is significant.
    EXPECT_LT(Log10CalibratedEValue(-12.0, null, 24), std::log10(0.05));
    // Nothing reached by chance is no reason to trust a weak p-value: the tail starts at p = 0.1.
    const std::vector<double> nothing(12, 0.0);
    EXPECT_GT(Log10CalibratedEValue(-1.0, nothing, 24), std::log10(0.05));
    EXPECT_NEAR(Log10CalibratedEValue(-3.0, nothing, 1), std::log10(1.0 / 13.0) - 2.0 / (0.9 * std::log(10.0)),
                1e-12);
    // A smaller p-value never has a larger E-value.
    double previous = std::numeric_limits<double>::infinity();
    for (double log10P = 0.0; log10P > -30.0; log10P -= 0.25) {
        const double e = Log10CalibratedEValue(log10P, null, 24);
        EXPECT_LE(e, previous) << log10P;
        previous = e;
    }
}

TEST(Significance, CalibratedEValueFollowsHowFarChanceMotifsGo)
{
    // Null restarts that all separate, far and spread out (as with one site in
    // every sequence), against ones that barely do: the same p-value is much less rare among the first.
    std::vector<double> far;
    std::vector<double> near;
    for (int i = 0; i < 48; ++i) {
        far.push_back(-10.0 - 0.125 * i);
        near.push_back(i < 12 ? -1.0 - 0.01 * i : 0.0);
    }
    EXPECT_GT(Log10CalibratedEValue(-19.0, far, 24), std::log10(0.05));
    EXPECT_LT(Log10CalibratedEValue(-19.0, near, 24), -5.0);
    // A short tail is never drawn shorter than 0.9 decades an e-fold.
    EXPECT_NEAR(Log10CalibratedEValue(-10.0, near, 1) - Log10CalibratedEValue(-20.0, near, 1),
                10.0 / (0.9 * std::log(10.0)), 1e-9);
}

}  // namespace
}  // namespace kalvo
