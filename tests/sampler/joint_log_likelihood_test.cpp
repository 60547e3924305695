// tests/sampler/joint_log_likelihood_test.cpp: the one number that scores a whole state.
#include <gtest/gtest.h>

#include <cmath>

#include "sampler/run_setup.h"

namespace kalvo {
namespace {

using testing::LoadedRun;

GroupNode ScoredPair(int first, int second, double logBF)
{
    GroupNode group;
    group.size = 2;
    group.positions = {first, second};
    group.counts.assign(16, 0);
    group.logBF = logBF;
    return group;
}

TEST(JointLogLikelihood, BinomialCoefficients)
{
    EXPECT_EQ(CMotifSampler::Binomial(5, 2), 10);
    EXPECT_EQ(CMotifSampler::Binomial(4, 3), 4);
    EXPECT_EQ(CMotifSampler::Binomial(3, 0), 1);
    EXPECT_EQ(CMotifSampler::Binomial(8, 2), 28);
    EXPECT_EQ(CMotifSampler::Binomial(40, 2), 780);
}

TEST(JointLogLikelihood, StateWithoutSitesScoresPseudocountsAndPrior)
{
    // W = 3, both strands: P = 2 · (8 + 6) = 28.
    LoadedRun loaded(">a\nACGTACGTAC\n>b\nACGTACGT\n", "-w\n3\n");
    CMotifSampler& run = loaded.run;
    run.m_priorOdds = 99.0;
    run.m_numSites = 7;  // stale; the call sets it afresh
    // Pseudocount 1: every a_b is 1 and a is 4, so the normaliser is −3 · ln 3!.
    EXPECT_NEAR(run.JointLogLikelihood(), -3 * std::log(6.0) + 28 * std::log(0.99), 1e-9);
    EXPECT_EQ(run.m_numSites, 0);

    run.m_oneSitePerSeq = true;
    EXPECT_NEAR(run.JointLogLikelihood(), -3 * std::log(6.0), 1e-12);
}

TEST(JointLogLikelihood, HalfPseudocountTruncatesToZeroPerLetterAndTwoInTotal)
{
    LoadedRun loaded(">a\nACGTACGTAC\n>b\nACGTACGT\n", "-w\n3\n-s\n0.5\n-e\n");
    // Every LF(0 + 0) and LF(0 + 2) is 0.
    EXPECT_EQ(loaded.run.JointLogLikelihood(), 0.0);
}

TEST(JointLogLikelihood, OneSiteScoresColumnsAgainstItsBackground)
{
    LoadedRun loaded(">s\nACGT\n", "-w\n2\n-e\n");
    CMotifSampler& run = loaded.run;
    run.AddSite(0, 0, 1);  // AC, background 1/16
    // Columns LF(2) = 0, site + ln 16, normaliser − 2 · ln 4!: ln(16 / 576).
    EXPECT_NEAR(run.JointLogLikelihood(), std::log(1.0 / 36), 1e-12);
    EXPECT_EQ(run.m_numSites, 1);
    // Each column gives its letter (1 + 1) / (1 + 4).
    EXPECT_NEAR(run.m_sites[0][0].motifLogLik, std::log(0.4 * 0.4 * 16), 1e-12);

    // The prior: − S ln q + P ln(q / (q + 1)) with P = 2 · 3.
    run.m_oneSitePerSeq = false;
    run.m_priorOdds = 99.0;
    EXPECT_NEAR(run.JointLogLikelihood(), std::log(1.0 / 36) - std::log(99.0) + 6 * std::log(0.99), 1e-9);
}

TEST(JointLogLikelihood, GroupsAddTheirBayesFactorsLessThePlacements)
{
    LoadedRun loaded(">s\nACGTACGTAC\n", "-w\n6\n-e\n");
    CMotifSampler& run = loaded.run;
    run.AddSite(0, 0, 1);
    const double without = run.JointLogLikelihood();

    run.m_groups = {ScoredPair(0, 3, 5.0), ScoredPair(5, 1, 1.0)};
    run.m_numPairs = 2;
    // The joint tables of the groups replace their columns in the site scores,
    // so compare with groups present but not scored.
    run.m_corrLevel = 1;
    const double ignored = run.JointLogLikelihood();
    run.m_corrLevel = 2;
    const double scored = run.JointLogLikelihood();
    EXPECT_NEAR(scored - ignored, 5.0 - std::log(15.0) + 1.0 - std::log(6.0), 1e-9);
    // Site scores enter only motifLogLik, not the sum: ignoring groups is scoring without them.
    EXPECT_DOUBLE_EQ(ignored, without);

    // The product of the binomials is a multinomial: list order does not matter.
    std::swap(run.m_groups[0], run.m_groups[1]);
    EXPECT_NEAR(run.JointLogLikelihood(), scored, 1e-12);
}

TEST(JointLogLikelihood, BothStrandsDoubleTheCandidatePositions)
{
    std::string fasta;
    for (int s = 0; s < 3; ++s)
        fasta += ">s" + std::to_string(s) + "\n" + std::string(50, "ACG"[s]) + "\n";
    LoadedRun oneStrand(fasta, "-w\n10\n-r\n0\n");
    LoadedRun bothStrands(fasta, "-w\n10\n");
    EXPECT_EQ(oneStrand.run.CandidatePositions(), 123);
    EXPECT_EQ(bothStrands.run.CandidatePositions(), 246);

    oneStrand.run.m_priorOdds = 9.0;
    bothStrands.run.m_priorOdds = 9.0;
    const double difference = bothStrands.run.JointLogLikelihood() - oneStrand.run.JointLogLikelihood();
    EXPECT_NEAR(difference, 123 * std::log(0.9), 1e-9);
}

TEST(JointLogLikelihood, LeavesEverySiteWithTheLogOfItsScoreUnderTheRefreshedTables)
{
    LoadedRun loaded(">a\nACGTTGCA\n>b\nTTGACCAG\n>c\nGGATCCAT\n", "-w\n4\n");
    CMotifSampler& run = loaded.run;
    run.m_bgFreq = {0.3, 0.2, 0.2, 0.3};
    run.AddSite(0, 0, 1);
    run.AddSite(1, 3, 1);
    run.AddSite(2, 8, 1);
    const int pair[2] = {3, 0};
    run.m_groups.push_back(CMotifSampler::NewGroup(2, pair, run.GroupJointCounts(pair, 2), 0.7));
    run.m_numPairs = 1;
    // Stale tables: the call must estimate before scoring.
    run.m_motifProb.assign(run.m_motifProb.size(), 0.9);

    run.JointLogLikelihood();
    ASSERT_EQ(run.m_groups[0].probs.size(), 16u);
    for (const SiteList& sites : run.m_sites) {
        for (const SiteNode& site : sites)
            EXPECT_DOUBLE_EQ(site.motifLogLik, std::log(run.ScoreWord(site.word))) << site.word;
    }
    EXPECT_DOUBLE_EQ(run.m_motifProb[0], (run.m_counts[0] + 1.0) / (3 + 4.0));
}

}  // namespace
}  // namespace kalvo
