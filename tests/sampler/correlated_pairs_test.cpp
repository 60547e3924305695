// tests/sampler/correlated_pairs_test.cpp: Dirichlet marginals, Bayes factors and the moves over pairs of columns.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "sampler/run_setup.h"

namespace kalvo {
namespace {

using testing::LoadedRun;
using testing::SeedWithFirstDraw;

TEST(CorrelatedPairs, DirichletMarginalWithUnitPseudocount)
{
    LoadedRun loaded(">s\nAAC\n>t\nGAA\n", "-w\n2\n");
    CMotifSampler& run = loaded.run;
    const int column[4] = {2, 0, 0, 0};
    EXPECT_NEAR(run.DirichletLogMarginal(column, 4), std::log(0.1), 1e-12);
    int joint[16] = {};
    joint[0] = 2;
    EXPECT_NEAR(run.DirichletLogMarginal(joint, 16), std::log(1.0 / 136), 1e-12);
    // A negative cell adds neither its count nor a pseudocount.
    const int withNegative[5] = {2, 0, -3, 0, 0};
    EXPECT_NEAR(run.DirichletLogMarginal(withNegative, 5), std::log(0.1), 1e-12);

    // Two sites reading A at both columns: ln(1/136) − 2 ln 0.1.
    run.AddSite(0, 0, 1);
    run.AddSite(1, 2, 1);
    const int pair[2] = {0, 1};
    const std::vector<int> counts = run.GroupJointCounts(pair, 2);
    EXPECT_EQ(counts[0], 2);
    EXPECT_NEAR(run.GroupLogBF(pair, 2, counts), std::log(100.0 / 136), 1e-12);
}

TEST(CorrelatedPairs, DirichletPseudocountIsTheTruncatedFirstOne)
{
    LoadedRun loaded(">s\nACGT\n", "-w\n2\n-s\n0.5\n");
    CMotifSampler& run = loaded.run;
    // α = 0: Σ LF(n) − LF(N) = ln 1 + ln 1 − ln 2! for (2, 1, 0, 0).
    const int column[4] = {2, 1, 0, 0};
    EXPECT_NEAR(run.DirichletLogMarginal(column, 4), -std::log(2.0), 1e-12);
    // Short of 1 by less than 0.001 still counts as 1; the other three are never read.
    run.m_pseudo = {0.9995, 7.0, 7.0, 7.0};
    const int twoA[4] = {2, 0, 0, 0};
    EXPECT_NEAR(run.DirichletLogMarginal(twoA, 4), std::log(0.1), 1e-12);
}

TEST(CorrelatedPairs, ProposalFactorsOfAddingAndRemoving)
{
    // W = 2 or 3 (one pair fits): k = 0 is tested before k = H − 1, k = 1 before k = H.
    EXPECT_DOUBLE_EQ(AddPairFactor(0, 1), 3.0);
    EXPECT_DOUBLE_EQ(RemovePairFactor(1, 1), 1.0 / 3);
    // W = 4 or 5.
    EXPECT_DOUBLE_EQ(AddPairFactor(0, 2), 3.0);
    EXPECT_DOUBLE_EQ(AddPairFactor(1, 2), 2.0 / 3);
    EXPECT_DOUBLE_EQ(RemovePairFactor(1, 2), 1.0 / 3);
    EXPECT_DOUBLE_EQ(RemovePairFactor(2, 2), 1.5);
    // W = 8: real divisions, never integer ones.
    EXPECT_DOUBLE_EQ(AddPairFactor(1, 4), 2.0);
    EXPECT_DOUBLE_EQ(AddPairFactor(2, 4), 3.0);
    EXPECT_DOUBLE_EQ(AddPairFactor(3, 4), 4.0 / 3);
    EXPECT_DOUBLE_EQ(RemovePairFactor(2, 4), 0.5);
    EXPECT_DOUBLE_EQ(RemovePairFactor(3, 4), 1.0 / 3);
    EXPECT_DOUBLE_EQ(RemovePairFactor(4, 4), 0.75);
}

TEST(CorrelatedPairs, JointCellsFollowTheDrawOrderAndCountOtherLettersAsA)
{
    LoadedRun loaded(">s\nACGTCA\n>t\nARGTCA\n", "-w\n6\n");
    CMotifSampler& run = loaded.run;
    run.AddSite(0, 0, 1);
    const int fiveTwo[2] = {5, 2};
    const int twoFive[2] = {2, 5};
    EXPECT_EQ(run.GroupJointCounts(fiveTwo, 2)[0 * 4 + 2], 1);  // A at 5, G at 2
    EXPECT_EQ(run.GroupJointCounts(twoFive, 2)[2 * 4 + 0], 1);

    run.AddSite(1, 0, 1);
    const int oneTwo[2] = {1, 2};
    EXPECT_EQ(run.GroupJointCounts(oneTwo, 2)[0 * 4 + 2], 1);  // R counts as A here
    EXPECT_EQ(run.GroupJointCounts(oneTwo, 2)[1 * 4 + 2], 1);
    const auto column = run.ColumnCounts(1);
    EXPECT_EQ(column[0] + column[1] + column[2] + column[3], 1);  // ... and nowhere in the column
}

TEST(CorrelatedPairs, DispatcherBelowWidthTwoDoesNothing)
{
    LoadedRun loaded(">s\nACGT\n", "-w\n1\n");
    CMotifSampler& run = loaded.run;
    run.AddSite(0, 0, 1);
    run.m_random.Seed(17);
    run.CorrelationMove();
    EXPECT_EQ(run.m_random.State(), 17u);
    EXPECT_TRUE(run.m_groups.empty());
    EXPECT_EQ(run.m_numPairs, 0);
}

// Twelve sites of W = 6, half AAAAAA and half CCCCCC: every pair of columns is
// dependent (log Bayes factor about 2.4), so every add is accepted outright.
// The first of the pairs (4, 1), (0, 2), (3, 5) are already in the model.
std::unique_ptr<LoadedRun> CorrelatedAlignment(int pairs)
{
    std::string fasta;
    for (int s = 0; s < 12; ++s)
        fasta += ">s" + std::to_string(s) + "\nGT" + (s % 2 == 0 ? "AAAAAA" : "CCCCCC") + "GT\n";
    auto loaded = std::make_unique<LoadedRun>(fasta, "-w\n6\n");
    CMotifSampler& run = loaded->run;
    for (int s = 0; s < 12; ++s)
        run.AddSite(s, 4, 1);
    const int columns[3][2] = {{4, 1}, {0, 2}, {3, 5}};
    for (int g = 0; g < pairs; ++g)
        run.m_groups.push_back(CMotifSampler::NewGroup(2, columns[g], run.GroupJointCounts(columns[g], 2), 0.0));
    run.m_numPairs = pairs;
    return loaded;
}

TEST(CorrelatedPairs, AddedPairGoesFirstWithItsJointCountsAndBayesFactor)
{
    auto loaded = CorrelatedAlignment(1);
    CMotifSampler& run = loaded->run;
    run.m_random.Seed(5);
    run.AddPairMove();
    ASSERT_EQ(run.m_numPairs, 2);
    ASSERT_EQ(run.m_groups.size(), 2u);
    EXPECT_EQ(run.m_groups[1].positions, (std::vector<int>{4, 1}));
    const GroupNode& added = run.m_groups[0];
    for (int column : added.positions)
        EXPECT_TRUE(column != 4 && column != 1) << column;
    EXPECT_NE(added.positions[0], added.positions[1]);
    EXPECT_EQ(added.counts, run.GroupJointCounts(added.positions.data(), 2));
    EXPECT_DOUBLE_EQ(added.logBF, run.GroupLogBF(added.positions.data(), 2, added.counts));
    EXPECT_TRUE(added.probs.empty());
}

TEST(CorrelatedPairs, DispatcherDrawsOnlyBetweenNoPairAndAFullMotif)
{
    struct Case {
        int pairs;
        int r;  // the first draw of the stream
        void (CMotifSampler::*move)();
        bool dispatchDraw;
    };
    // Between the two ends x = r / 32767 is compared with 1/3 and 2/3.
    const Case cases[] = {{0, 32767, &CMotifSampler::AddPairMove, false},
                          {3, 0, &CMotifSampler::RemovePairMove, false},
                          {1, 10922, &CMotifSampler::AddPairMove, true},
                          {1, 10923, &CMotifSampler::RemovePairMove, true},
                          {1, 21844, &CMotifSampler::RemovePairMove, true},
                          {1, 21845, &CMotifSampler::ChangePairMove, true}};
    for (const Case& c : cases) {
        auto viaDispatcher = CorrelatedAlignment(c.pairs);
        auto direct = CorrelatedAlignment(c.pairs);
        const std::uint32_t seed = SeedWithFirstDraw([&](int r) { return r == c.r; });
        viaDispatcher->run.m_random.Seed(seed);
        direct->run.m_random.Seed(seed);
        viaDispatcher->run.CorrelationMove();
        if (c.dispatchDraw)
            direct->run.m_random.Next();
        (direct->run.*c.move)();
        const CMotifSampler& a = viaDispatcher->run;
        const CMotifSampler& b = direct->run;
        EXPECT_EQ(a.m_random.State(), b.m_random.State()) << c.pairs << " pairs, r = " << c.r;
        ASSERT_EQ(a.m_groups.size(), b.m_groups.size()) << c.pairs << " pairs, r = " << c.r;
        for (std::size_t g = 0; g < a.m_groups.size(); ++g)
            EXPECT_EQ(a.m_groups[g].positions, b.m_groups[g].positions) << c.pairs << " pairs, r = " << c.r;
    }
}

}  // namespace
}  // namespace kalvo
