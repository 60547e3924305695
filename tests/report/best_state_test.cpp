// tests/report/best_state_test.cpp: the best state is a full copy of the current one, replaced whole each time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/run_state.h"

namespace kalvo {
namespace {

SiteNode Site(int seqIndex, int ordinal, const std::string& word, bool forward, int pos, double motifLogLik)
{
    SiteNode site;
    site.seqIndex = seqIndex;
    site.ordinal = ordinal;
    site.word = word;
    site.forward = forward;
    site.pos = pos;
    site.motifLogLik = motifLogLik;
    site.bgProb = 0.001 * (pos + 1);
    return site;
}

GroupNode Group(int first, int second, double logBF)
{
    GroupNode group;
    group.size = 2;
    group.positions = {first, second};
    group.counts.assign(16, 0);
    group.counts[5] = 3;
    group.probs.assign(16, 0.0625);
    group.logBF = logBF;
    return group;
}

void ExpectSameSite(const SiteNode& copy, const SiteNode& site)
{
    EXPECT_EQ(copy.seqIndex, site.seqIndex);
    EXPECT_EQ(copy.ordinal, site.ordinal);
    EXPECT_EQ(copy.word, site.word);
    EXPECT_EQ(copy.forward, site.forward);
    EXPECT_EQ(copy.pos, site.pos);
    EXPECT_EQ(copy.motifLogLik, site.motifLogLik);
    EXPECT_EQ(copy.bgProb, site.bgProb);
}

// Three sequences: two sites in the first, one reverse site in the second, none in the third.
void SetCurrentState(CMotifSampler& run)
{
    run.m_numSeqs = 3;
    run.m_sites = {{Site(0, 1, "ACGT", true, 2, 1.5), Site(0, 2, "TTGA", true, 9, -0.5)},
                   {Site(1, 1, "GGCA", false, 0, 2.25)},
                   {}};
    run.m_bestSites.assign(3, SiteList());
    run.m_groups = {Group(3, 0, 0.75)};
    run.m_numPairs = 1;
}

TEST(BestStateSnapshot, CopiesEverySiteFieldAndGroupWithoutProbabilities)
{
    CMotifSampler run;
    SetCurrentState(run);
    run.SaveBest();
    ASSERT_EQ(run.m_bestSites.size(), 3u);
    for (std::size_t s = 0; s < 3; ++s) {
        ASSERT_EQ(run.m_bestSites[s].size(), run.m_sites[s].size());
        for (std::size_t i = 0; i < run.m_sites[s].size(); ++i)
            ExpectSameSite(run.m_bestSites[s][i], run.m_sites[s][i]);
    }
    ASSERT_EQ(run.m_bestGroups.size(), 1u);
    const GroupNode& copy = run.m_bestGroups[0];
    EXPECT_EQ(copy.size, 2);
    EXPECT_EQ(copy.positions, (std::vector<int>{3, 0}));
    EXPECT_EQ(copy.counts, run.m_groups[0].counts);
    EXPECT_EQ(copy.logBF, 0.75);
    EXPECT_TRUE(copy.probs.empty());

    // Later scoring of the current state leaves the copy as it was.
    run.m_sites[0][0].motifLogLik = 9.0;
    run.m_groups[0].counts[5] = 0;
    EXPECT_EQ(run.m_bestSites[0][0].motifLogLik, 1.5);
    EXPECT_EQ(run.m_bestGroups[0].counts[5], 3);
}

TEST(BestStateSnapshot, SecondSnapshotReplacesTheFirstWhole)
{
    CMotifSampler run;
    SetCurrentState(run);
    run.SaveBest();

    // The first sequence loses its sites, the third gains one, a second pair appears.
    run.m_sites[0].clear();
    run.m_sites[2] = {Site(2, 1, "CATG", true, 4, 0.125)};
    run.m_groups.insert(run.m_groups.begin(), Group(1, 2, -1.0));
    run.m_numPairs = 2;
    run.SaveBest();

    EXPECT_TRUE(run.m_bestSites[0].empty());
    ASSERT_EQ(run.m_bestSites[1].size(), 1u);
    ASSERT_EQ(run.m_bestSites[2].size(), 1u);
    ExpectSameSite(run.m_bestSites[2][0], run.m_sites[2][0]);
    ASSERT_EQ(run.m_bestGroups.size(), 2u);
    EXPECT_EQ(run.m_bestGroups[0].positions, (std::vector<int>{1, 2}));
    EXPECT_EQ(run.m_bestGroups[1].positions, (std::vector<int>{3, 0}));
    for (const GroupNode& copy : run.m_bestGroups)
        EXPECT_TRUE(copy.probs.empty());
}

}  // namespace
}  // namespace kalvo
