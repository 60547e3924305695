// tests/discover/threshold_scores_test.cpp: a site threshold chosen from window scores kept within a bound
// is the one chosen from them all.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "discover/significance.h"
#include "discover/threshold_scores.h"

namespace kalvo {
namespace {

struct Windows {
    std::vector<double> targets;
    std::vector<double> controls;
};

// Background windows in both sets and, in the targets, `sites` windows from a motif's higher
// scores; rounded to `step` so that many scores are equal (0 keeps them as drawn).
Windows Draw(int targets, int controls, int sites, double step, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::normal_distribution<double> background(-4.0, 3.0);
    std::normal_distribution<double> motif(8.0, 2.0);
    auto rounded = [step](double x) { return step > 0.0 ? std::round(x / step) * step : x; };
    Windows windows;
    for (int i = 0; i < targets; ++i)
        windows.targets.push_back(rounded(i < sites ? motif(random) : background(random)));
    for (int i = 0; i < controls; ++i)
        windows.controls.push_back(rounded(background(random)));
    windows.controls.push_back(-0.0);  // equal to +0.0, and counted with it
    windows.targets.push_back(0.0);
    return windows;
}

// The threshold as chosen from every score from `floor` on, and as chosen within a limit of `kept` scores.
void ExpectSameThreshold(const Windows& windows, double floor, std::size_t kept, double cost)
{
    std::vector<double> targets;
    std::vector<double> controls;
    for (double score : windows.targets)
        if (score >= floor)
            targets.push_back(score);
    for (double score : windows.controls)
        if (score >= floor)
            controls.push_back(score);
    const auto targetWindows = static_cast<long long>(windows.targets.size());
    const auto controlWindows = static_cast<long long>(windows.controls.size());
    const SiteCut all = SiteThreshold(targets, targetWindows, controls, controlWindows, cost);

    ThresholdScores scores(floor, kept);
    auto addAll = [&](ThresholdScores& into) {
        for (double score : windows.targets)
            into.Add(score, true);
        for (double score : windows.controls)
            into.Add(score, false);
    };
    addAll(scores);
    ASSERT_FALSE(scores.Complete());
    scores = scores.Narrowed(cost);
    addAll(scores);
    EXPECT_EQ(scores.TargetWindows(), targetWindows);
    EXPECT_EQ(scores.ControlWindows(), controlWindows);
    const std::vector<double> keptTargets = scores.TakeTargetScores();
    const std::vector<double> keptControls = scores.TakeControlScores();
    EXPECT_LT(keptTargets.size() + keptControls.size(), (targets.size() + controls.size()) / 2);
    const SiteCut bounded = SiteThreshold(keptTargets, targetWindows, keptControls, controlWindows, cost);
    EXPECT_EQ(bounded.threshold, all.threshold);
    EXPECT_EQ(bounded.expectedFalse, all.expectedFalse);
}

TEST(ThresholdScores, KeepsEveryScoreUpToTheLimitAndCountsEveryWindow)
{
    ThresholdScores scores(0.0, 4);
    for (double score : {-1.0, 2.0, 3.0, -0.0})
        scores.Add(score, true);
    scores.Add(5.0, false);
    EXPECT_TRUE(scores.Complete());
    EXPECT_EQ(scores.TargetWindows(), 4);
    EXPECT_EQ(scores.ControlWindows(), 1);
    EXPECT_EQ(scores.TakeTargetScores(), (std::vector<double>{2.0, 3.0, -0.0}));
    EXPECT_EQ(scores.TakeControlScores(), (std::vector<double>{5.0}));
}

TEST(ThresholdScores, PastTheLimitTheThresholdIsTheOneChosenFromEveryScore)
{
    // A motif's sites among many windows, with scores as drawn and with many equal ones.
    for (const double step : {0.0, 0.5}) {
        const Windows windows = Draw(20000, 60000, 600, step, 5);
        for (const double cost : {1.5, 2.0}) {
            ExpectSameThreshold(windows, 0.0, 1000, cost);
            ExpectSameThreshold(windows, -6.0, 500, cost);
        }
    }
    // Few sites, a threshold far out in the tail.
    ExpectSameThreshold(Draw(30000, 30000, 12, 0.0, 9), -10.0, 100, 2.0);
}

TEST(ThresholdScores, WhenTargetsAreNoBetterThanControlsTheSecondPassKeepsOnlyTheTopScores)
{
    // Targets no better than the controls: no threshold gains a call.
    const Windows windows = Draw(5000, 50000, 0, 0.0, 11);
    ExpectSameThreshold(windows, 0.0, 100, 2.0);
    ThresholdScores scores(0.0, 100);
    for (double score : windows.targets)
        scores.Add(score, true);
    for (double score : windows.controls)
        scores.Add(score, false);
    ThresholdScores narrowed = scores.Narrowed(2.0);
    for (double score : windows.targets)
        narrowed.Add(score, true);
    EXPECT_LT(narrowed.TakeTargetScores().size(), 10u);
}

}  // namespace
}  // namespace kalvo
