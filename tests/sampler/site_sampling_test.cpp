// tests/sampler/site_sampling_test.cpp: one sequence's sites drawn anew, in the many-site and the one-site mode.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "sampler/run_setup.h"

namespace kalvo {
namespace {

using testing::ClearPseudocounts;
using testing::LoadedRun;
using testing::SeedWithFirstDraw;
using testing::SetColumnCounts;
using testing::StateAfter;

// The sites of sequence s as "f0 AA #1": strand, position, word, ordinal.
std::string SitesOf(const CMotifSampler& run, int s)
{
    std::string text;
    for (const SiteNode& site : run.m_sites[static_cast<std::size_t>(s)]) {
        text += (text.empty() ? "" : ", ") + std::string(site.forward ? "f" : "r") + std::to_string(site.pos) + " " +
                site.word + " #" + std::to_string(site.ordinal);
    }
    return text;
}

// W = 2; column 0 allows only A and T (half each), column 1 any letter. Any
// site is accepted: the prior odds against a site are almost nil.
void AcceptEveryAllowedWord(CMotifSampler& run)
{
    ClearPseudocounts(run);
    SetColumnCounts(run, 0, {2, 0, 0, 2});
    SetColumnCounts(run, 1, {1, 1, 1, 1});
    run.m_samplingPriorOdds = 1e-12;
}

TEST(SiteSampling, SlotIsAcceptedWithItsPosteriorProbability)
{
    // Only the forward slot of AT scores: 0.7 · 0.7 / 0.25² = 7.84.
    LoadedRun loaded(">s\nAT\n", "-w\n2\n-r\n0\n");
    CMotifSampler& run = loaded.run;
    ClearPseudocounts(run);
    SetColumnCounts(run, 0, {7, 1, 1, 1});
    SetColumnCounts(run, 1, {1, 1, 1, 7});
    run.m_samplingPriorOdds = 999.0;
    // q / (q + 1) with q = 7.84 / 999 is 0.0077867: r = 255 falls below it, r = 256 above.
    const std::uint32_t below = SeedWithFirstDraw([](int r) { return r == 255; });
    const std::uint32_t above = SeedWithFirstDraw([](int r) { return r == 256; });

    run.m_random.Seed(below);
    run.SampleSequence(0);
    EXPECT_EQ(SitesOf(run, 0), "f0 AT #1");
    EXPECT_EQ(run.m_random.State(), StateAfter(below, 1));

    run.m_random.Seed(above);
    run.SampleSequence(0);
    EXPECT_EQ(SitesOf(run, 0), "");
    // The reverse slot scores 0 and is still examined with a draw of its own.
    EXPECT_EQ(run.m_random.State(), StateAfter(above, 2));
}

TEST(SiteSampling, SiteAtSlotZeroMakesSlotTwoWPlusOneTheNextExamined)
{
    LoadedRun loaded(">s\nAAAAAAA\n", "-w\n2\n");
    CMotifSampler& run = loaded.run;
    AcceptEveryAllowedWord(run);
    run.m_random.Seed(7);
    run.SampleSequence(0);
    // Slot 0, then slot 5 (reverse at 2), then slot 10 (forward at 5): one draw each.
    EXPECT_EQ(SitesOf(run, 0), "f0 AA #1, r2 TT #2, f5 AA #3");
    EXPECT_EQ(run.m_random.State(), StateAfter(7, 3));
    EXPECT_EQ(run.m_numSites, 3);
}

TEST(SiteSampling, SiteAtSlotOneMakesSlotTwoWPlusTwoTheNextExamined)
{
    // Forward CT scores 0 (no C in column 0); its reverse AG is accepted.
    LoadedRun loaded(">s\nCTAAAA\n", "-w\n2\n");
    CMotifSampler& run = loaded.run;
    AcceptEveryAllowedWord(run);
    run.m_random.Seed(7);
    run.SampleSequence(0);
    EXPECT_EQ(SitesOf(run, 0), "r0 AG #1, f3 AA #2");
    EXPECT_EQ(run.m_random.State(), StateAfter(7, 3));
}

TEST(SiteSampling, EveryExaminedSlotDrawsOnceEvenWhenItScoresZero)
{
    LoadedRun loaded(">a\nACGTNACGTA\n>b\nAC\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    run.m_samplingPriorOdds = std::numeric_limits<double>::infinity();
    run.m_random.Seed(11);
    run.SampleSequence(0);
    // 8 starts, 2 slots each; the three windows holding N score 0 and still draw.
    EXPECT_EQ(run.m_random.State(), StateAfter(11, 16));
    EXPECT_TRUE(run.m_sites[0].empty());

    // A sequence shorter than the motif has no slot and draws nothing.
    run.SampleSequence(1);
    EXPECT_EQ(run.m_random.State(), StateAfter(11, 16));
    EXPECT_TRUE(run.m_sites[1].empty());
}

TEST(SiteSampling, WindowsWithNAndMaskedStartsAreNeverAccepted)
{
    LoadedRun loaded(">s\nAAANAAAAA\n", "-w\n2\n");
    CMotifSampler& run = loaded.run;
    run.m_maskLowComplexity = true;
    run.m_mask = {1, 0, 0, 0, 0, 0, 0, 0, 0};
    run.PrepareScoringTables();
    AcceptEveryAllowedWord(run);
    run.m_random.Seed(3);
    run.SampleSequence(0);
    // Start 0 is masked, starts 2 and 3 hold the N. Examined: slots 0 and 1
    // (masked), 2 (site), 7 (N), 8 (site), 13 (site): six draws.
    EXPECT_EQ(SitesOf(run, 0), "f1 AA #1, f4 AA #2, r6 TT #3");
    EXPECT_EQ(run.m_random.State(), StateAfter(3, 6));
}

TEST(SiteSampling, OneStrandSearchNeverAddsAReverseSite)
{
    LoadedRun loaded(">s\nAAAAAAAA\n", "-w\n2\n-r\n0\n");
    CMotifSampler& run = loaded.run;
    AcceptEveryAllowedWord(run);
    run.m_random.Seed(5);
    run.SampleSequence(0);
    // After a forward site the next slot examined is a reverse one, which scores 0.
    EXPECT_EQ(SitesOf(run, 0), "f0 AA #1, f3 AA #2, f6 AA #3");
}

TEST(SiteSampling, OldSitesLeaveCountsGroupsAndModelBeforeScoring)
{
    LoadedRun loaded(">a\nACGTACGT\n>b\nGGGGCCCC\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    GroupNode group;
    group.size = 2;
    group.positions = {0, 2};
    group.counts.assign(16, 0);
    run.m_groups.push_back(group);
    run.m_numPairs = 1;
    run.AddSite(0, 0, 1);  // ACG
    run.AddSite(0, 11, 2);  // reverse at 5: CGT read as ACG
    run.AddSite(1, 0, 1);  // GGG
    ASSERT_EQ(run.m_numSites, 3);
    ASSERT_EQ(run.m_groups[0].counts[0 * 4 + 2], 2);

    run.m_samplingPriorOdds = std::numeric_limits<double>::infinity();
    run.SampleSequence(0);
    EXPECT_TRUE(run.m_sites[0].empty());
    EXPECT_EQ(run.m_numSites, 1);
    EXPECT_EQ(run.m_counts, testing::CountsOfSites(run));
    EXPECT_EQ(run.m_groups[0].counts[0 * 4 + 2], 0);
    EXPECT_EQ(run.m_groups[0].counts[2 * 4 + 2], 1);
    // The model that scored sequence 0 holds only the site of sequence 1: (1 + 1) / (1 + 4).
    EXPECT_DOUBLE_EQ(run.m_motifProb[0 * 4 + 2], 0.4);
    EXPECT_DOUBLE_EQ(run.m_motifProb[0 * 4 + 0], 0.2);
}

// W = 2, one site per sequence; column 0 is T three times out of four, A once.
// In TCT only forward TC (score 3) and reverse AG (score 1) can be chosen:
// the cumulative shares are 0.75, 0.75, 0.75, 1.
void ScoreThreeToOne(CMotifSampler& run)
{
    ClearPseudocounts(run);
    SetColumnCounts(run, 0, {1, 0, 0, 3});
    SetColumnCounts(run, 1, {1, 1, 1, 1});
}

TEST(SiteSampling, OneSiteModePicksTheFirstSlotWhoseCumulativeShareExceedsTheDraw)
{
    LoadedRun loaded(">s\nTCT\n", "-w\n2\n-e\n");
    CMotifSampler& run = loaded.run;
    ScoreThreeToOne(run);
    const std::uint32_t justBelow = SeedWithFirstDraw([](int r) { return r == 24575; });
    const std::uint32_t atShare = SeedWithFirstDraw([](int r) { return r == 24576; });
    const std::uint32_t low = SeedWithFirstDraw([](int r) { return r == 0; });

    run.m_random.Seed(justBelow);
    run.SampleSequence(0);
    EXPECT_EQ(SitesOf(run, 0), "f0 TC #1");
    EXPECT_EQ(run.m_random.State(), StateAfter(justBelow, 1));

    run.m_random.Seed(low);
    run.SampleSequence(0);
    EXPECT_EQ(SitesOf(run, 0), "f0 TC #1");

    // u = 0.75 is not below the share of slots 0 to 2; zero-score slots are skipped.
    run.m_random.Seed(atShare);
    run.SampleSequence(0);
    EXPECT_EQ(SitesOf(run, 0), "r1 AG #1");
    EXPECT_EQ(run.m_random.State(), StateAfter(atShare, 1));
}

TEST(SiteSampling, OneSiteModeGivesNoSiteWhenNothingScoresButStillDraws)
{
    LoadedRun loaded(">n\nNNNNNN\n>short\nA\n", "-w\n2\n-e\n");
    CMotifSampler& run = loaded.run;
    ScoreThreeToOne(run);
    run.m_random.Seed(9);
    run.SampleSequence(0);
    EXPECT_TRUE(run.m_sites[0].empty());
    EXPECT_EQ(run.m_random.State(), StateAfter(9, 1));
    run.SampleSequence(1);
    EXPECT_TRUE(run.m_sites[1].empty());
    EXPECT_EQ(run.m_random.State(), StateAfter(9, 2));
    EXPECT_EQ(run.m_numSites, 0);
}

}  // namespace
}  // namespace kalvo
