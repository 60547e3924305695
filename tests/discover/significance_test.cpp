// tests/discover/significance_test.cpp: the separating threshold and the E-value built on it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

}  // namespace
}  // namespace kalvo
