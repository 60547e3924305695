// tests/sampler/motif_estimate_test.cpp: motif and group probabilities from counts, and the score of a word.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sampler/run_setup.h"

namespace kalvo {
namespace {

using testing::LoadedRun;
using testing::SetColumnCounts;

GroupNode PairGroup(int first, int second)
{
    GroupNode group;
    group.size = 2;
    group.positions = {first, second};
    group.counts.assign(16, 0);
    return group;
}

TEST(MotifEstimate, WordScoreIsMotifOverBackgroundProbability)
{
    LoadedRun loaded(">s\nACGTACGT\n", "-w\n2\n");
    CMotifSampler& run = loaded.run;
    run.m_motifProb = {0.7, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.7};
    EXPECT_NEAR(run.ScoreWord("AT"), 7.84, 1e-12);
    EXPECT_NEAR(run.ScoreWord("TA"), 0.16, 1e-12);
    // A letter other than A, C, G, T is scored as A, in the motif and the background alike.
    EXPECT_DOUBLE_EQ(run.ScoreWord("RT"), run.ScoreWord("AT"));

    // The background enters as first-letter frequency times the transitions.
    run.m_bgFreq = {0.4, 0.1, 0.1, 0.4};
    run.m_bgTrans.fill(0.25);
    run.m_bgTrans[0 * 4 + 3] = 0.5;  // T after A
    EXPECT_NEAR(run.ScoreWord("AT"), 0.49 / (0.4 * 0.5), 1e-12);
}

TEST(MotifEstimate, PseudocountsAreAddedToEveryLetterAndTheirTotalToTheSites)
{
    LoadedRun loaded(">s\nACGTACGT\n", "-w\n2\n-s\n0.5\n");
    CMotifSampler& run = loaded.run;
    ASSERT_DOUBLE_EQ(run.m_pseudoTotal, 2.0);
    SetColumnCounts(run, 0, {3, 1, 0, 0});
    SetColumnCounts(run, 1, {0, 0, 5, 0});  // S is read from column 0 only

    EXPECT_EQ(run.EstimateModel(true), 4);
    const std::vector<double> expected = {3.5 / 6, 1.5 / 6, 0.5 / 6, 0.5 / 6, 0.5 / 6, 0.5 / 6, 5.5 / 6, 0.5 / 6};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ(run.m_motifProb[i], expected[i]) << "cell " << i;

    EXPECT_EQ(run.EstimateModel(false), 4);
    EXPECT_DOUBLE_EQ(run.m_motifProb[0], 0.75);
    EXPECT_DOUBLE_EQ(run.m_motifProb[1], 0.25);
    EXPECT_DOUBLE_EQ(run.m_motifProb[6], 1.25);
}

TEST(MotifEstimate, GroupGetsItsProbabilitiesAtTheFirstEstimate)
{
    LoadedRun loaded(">s\nACGTACGT\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    SetColumnCounts(run, 0, {3, 1, 0, 0});
    GroupNode group = PairGroup(0, 2);
    group.counts[2] = 3;   // AG
    group.counts[13] = 1;  // TC
    run.m_groups.push_back(group);
    ASSERT_TRUE(run.m_groups[0].probs.empty());

    run.EstimateModel(true);
    const std::vector<double>& probs = run.m_groups[0].probs;
    ASSERT_EQ(probs.size(), 16u);
    // A quarter of the A pseudocount per cell, over S + the total pseudocount.
    EXPECT_DOUBLE_EQ(probs[2], 3.25 / 8);
    EXPECT_DOUBLE_EQ(probs[13], 1.25 / 8);
    EXPECT_DOUBLE_EQ(probs[0], 0.25 / 8);
    double sum = 0.0;
    for (double p : probs)
        sum += p;
    EXPECT_NEAR(sum, 1.0, 1e-12);

    run.EstimateModel(false);
    EXPECT_DOUBLE_EQ(run.m_groups[0].probs[2], 0.75);
    EXPECT_DOUBLE_EQ(run.m_groups[0].probs[0], 0.0);
}

TEST(MotifEstimate, GroupedColumnsScoreThroughTheGroupOnly)
{
    LoadedRun loaded(">s\nACGTACGT\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    // Column values that would change the score if a grouped column slipped into the product.
    run.m_motifProb = {0.5, 0.5, 0.5, 0.5, 0.1, 0.6, 0.2, 0.1, 0.5, 0.5, 0.5, 0.5};
    GroupNode group = PairGroup(2, 0);
    group.probs.assign(16, 0.01);
    group.probs[2 * 4 + 0] = 0.3;  // column 2 reads G, column 0 reads A
    run.m_groups.push_back(group);
    const double background = 0.25 * 0.25 * 0.25;
    EXPECT_NEAR(run.ScoreWord("ACG"), 0.3 * 0.6 / background, 1e-12);
}

TEST(MotifEstimate, ColumnInTwoGroupsEntersThroughBoth)
{
    LoadedRun loaded(">s\nACGTACGT\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    run.m_motifProb.assign(12, 0.5);
    GroupNode first = PairGroup(0, 1);
    first.probs.assign(16, 0.01);
    first.probs[0 * 4 + 1] = 0.2;  // AC
    GroupNode second = PairGroup(1, 2);
    second.probs.assign(16, 0.01);
    second.probs[1 * 4 + 2] = 0.4;  // CG
    run.m_groups = {first, second};
    const double background = 0.25 * 0.25 * 0.25;
    EXPECT_NEAR(run.ScoreWord("ACG"), 0.2 * 0.4 / background, 1e-12);
}

}  // namespace
}  // namespace kalvo
