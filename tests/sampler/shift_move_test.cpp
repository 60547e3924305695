// tests/sampler/shift_move_test.cpp: the whole alignment sliding by one column, and when it may not.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "sampler/run_setup.h"

namespace kalvo {
namespace {

using testing::LoadedRun;
using testing::SeedWithFirstDraw;
using testing::StateAfter;

GroupNode Pair(int first, int second, double logBF)
{
    GroupNode group;
    group.size = 2;
    group.positions = {first, second};
    group.counts.assign(16, 0);
    group.counts[3] = 2;
    group.logBF = logBF;
    return group;
}

TEST(ShiftMove, ColumnScoreAddsTruncatedPseudocountsAndSumsLogRatios)
{
    LoadedRun loaded(">s\nACGTACGT\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    std::array<int, 4> counts = {3, 1, 0, 0};
    // (4, 2, 1, 1): 2^4 · 1^2 · 0.5 · 0.5 = 4.
    EXPECT_NEAR(std::exp(run.ColumnScore(counts)), 4.0, 1e-12);
    EXPECT_EQ(counts, (std::array<int, 4>{4, 2, 1, 1}));

    // 0.95 + 0.1 truncates to 1; 0.85 + 0.1 truncates to 0.
    run.m_pseudo.fill(0.95);
    counts = {3, 1, 0, 0};
    run.ColumnScore(counts);
    EXPECT_EQ(counts, (std::array<int, 4>{4, 2, 1, 1}));
    run.m_pseudo.fill(0.85);
    counts = {3, 1, 0, 0};
    // (3, 1): (0.75 / 0.25)^3 · 1 = 27; absent letters add nothing.
    EXPECT_NEAR(std::exp(run.ColumnScore(counts)), 27.0, 1e-9);
    EXPECT_EQ(counts, (std::array<int, 4>{3, 1, 0, 0}));
}

TEST(ShiftMove, ColumnScoreOfThousandsOfSitesStaysFinite)
{
    LoadedRun loaded(">s\nACGTACGT\n", "-w\n3\n");
    std::array<int, 4> counts = {5000, 0, 0, 0};
    const double score = loaded.run.ColumnScore(counts);
    ASSERT_TRUE(std::isfinite(score));
    const double expected = 5001 * std::log((5001 / 5004.0) / 0.25) + 3 * std::log((1 / 5004.0) / 0.25);
    EXPECT_NEAR(score, expected, 1e-6);
}

TEST(ShiftMove, BlockedInBothDirectionsDoesNothingAndDrawsNothing)
{
    LoadedRun loaded(">a\nACGTACGT\n>b\nTTGACCAG\n>c\nACG\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    // Forward at 0 blocks the left shift and reverse at 0 the right one; a
    // site filling its whole sequence blocks both, on either strand.
    const std::vector<std::vector<int>> slotsOfSequences = {{0, 1, -1}, {-1, -1, 0}, {6, -1, 1}};
    for (const std::vector<int>& slots : slotsOfSequences) {
        for (int s = 0; s < 3; ++s) {
            run.RemoveSites(s);
            if (slots[static_cast<std::size_t>(s)] >= 0)
                run.AddSite(s, slots[static_cast<std::size_t>(s)], 1);
        }
        const std::vector<int> counts = run.m_counts;
        run.m_random.Seed(21);
        run.ShiftMove();
        EXPECT_EQ(run.m_random.State(), 21u);
        EXPECT_EQ(run.m_counts, counts);
        for (int s = 0; s < 3; ++s) {
            for (const SiteNode& site : run.m_sites[static_cast<std::size_t>(s)])
                EXPECT_EQ(2 * site.pos + (site.forward ? 0 : 1), slots[static_cast<std::size_t>(s)]);
        }
    }
}

TEST(ShiftMove, ForwardSiteAtStartForcesARightShiftWithoutADirectionDraw)
{
    // Leaving column 0 and entering column 3 both read A: equal scores, so the
    // shift is applied after its one acceptance draw.
    LoadedRun loaded(">s\nACGACGT\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    run.AddSite(0, 0, 1);
    run.m_random.Seed(8);
    run.ShiftMove();
    EXPECT_EQ(run.m_random.State(), StateAfter(8, 1));
    EXPECT_EQ(run.m_sites[0][0].pos, 1);
    EXPECT_EQ(run.m_sites[0][0].word, "CGA");
}

TEST(ShiftMove, UnblockedMoveDrawsItsDirectionFirst)
{
    // Every column reads A, so either shift is applied after its acceptance draw.
    LoadedRun loaded(">s\nAAAAAAA\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    const std::uint32_t left = SeedWithFirstDraw([](int r) { return r == 16383; });
    const std::uint32_t right = SeedWithFirstDraw([](int r) { return r == 16384; });

    run.AddSite(0, 4, 1);
    run.m_random.Seed(left);
    run.ShiftMove();
    EXPECT_EQ(run.m_sites[0][0].pos, 1);
    EXPECT_EQ(run.m_random.State(), StateAfter(left, 2));

    run.RemoveSites(0);
    run.AddSite(0, 4, 1);
    run.m_random.Seed(right);
    run.ShiftMove();
    EXPECT_EQ(run.m_sites[0][0].pos, 3);
}

// W = 8: a forward site at 5 of the first sequence and a reverse site at 6 of
// the second, under a background that tells words apart.
struct EightWideAlignment {
    EightWideAlignment() : loaded(">a\nACGTTGCAAGCTTACG\n>b\nTTGACCAGTCAGGTAC\n", "-w\n8\n")
    {
        CMotifSampler& run = loaded.run;
        run.m_bgFreq = {0.1, 0.2, 0.3, 0.4};
        for (std::size_t i = 0; i < 16; ++i)
            run.m_bgTrans[i] = 0.1 * static_cast<double>(i % 4 + 1);
        run.AddSite(0, 10, 1);
        run.AddSite(1, 13, 1);
    }
    LoadedRun loaded;
};

TEST(ShiftMove, RightShiftDropsGroupsUsingColumnZeroAndRenumbersTheRest)
{
    EightWideAlignment alignment;
    CMotifSampler& run = alignment.loaded.run;
    run.m_groups = {Pair(0, 4, 0.5), Pair(3, 7, 2.5)};
    run.m_numPairs = 2;
    const double oldBackground = run.m_sites[0][0].bgProb;

    run.ApplyShift(ShiftDirection::Right);
    EXPECT_EQ(run.m_sites[0][0].pos, 6);
    EXPECT_EQ(run.m_sites[0][0].word, "CAAGCTTA");
    EXPECT_TRUE(run.m_sites[0][0].forward);
    EXPECT_EQ(run.m_sites[1][0].pos, 5);
    EXPECT_EQ(run.m_sites[1][0].word, "CCTGACTG");
    EXPECT_FALSE(run.m_sites[1][0].forward);
    EXPECT_EQ(run.m_numSites, 2);
    EXPECT_EQ(run.m_counts, testing::CountsOfSites(run));
    // The joint log-likelihood that follows must score the new words' background.
    EXPECT_DOUBLE_EQ(run.m_sites[0][0].bgProb, run.BackgroundProbability("CAAGCTTA"));
    EXPECT_NE(run.m_sites[0][0].bgProb, oldBackground);
    EXPECT_DOUBLE_EQ(run.m_sites[1][0].bgProb, run.BackgroundProbability("CCTGACTG"));

    ASSERT_EQ(run.m_groups.size(), 1u);
    EXPECT_EQ(run.m_numPairs, 1);
    EXPECT_EQ(run.m_groups[0].positions, (std::vector<int>{2, 6}));
    EXPECT_EQ(run.m_groups[0].counts[3], 2);
    EXPECT_EQ(run.m_groups[0].logBF, 2.5);
}

TEST(ShiftMove, LeftShiftDropsGroupsUsingTheLastColumnAndRenumbersTheRest)
{
    EightWideAlignment alignment;
    CMotifSampler& run = alignment.loaded.run;
    run.m_groups = {Pair(7, 2, 0.5), Pair(0, 5, 2.5)};
    run.m_numPairs = 2;

    run.ApplyShift(ShiftDirection::Left);
    EXPECT_EQ(run.m_sites[0][0].pos, 4);
    EXPECT_EQ(run.m_sites[0][0].word, "TGCAAGCT");
    EXPECT_EQ(run.m_sites[1][0].pos, 7);
    EXPECT_EQ(run.m_sites[1][0].word, "TACCTGAC");
    EXPECT_DOUBLE_EQ(run.m_sites[1][0].bgProb, run.BackgroundProbability("TACCTGAC"));
    EXPECT_EQ(run.m_counts, testing::CountsOfSites(run));

    ASSERT_EQ(run.m_groups.size(), 1u);
    EXPECT_EQ(run.m_numPairs, 1);
    EXPECT_EQ(run.m_groups[0].positions, (std::vector<int>{1, 6}));
}

}  // namespace
}  // namespace kalvo
