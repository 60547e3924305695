// tests/sampler/move_invariants_test.cpp: what every move keeps true, checked along seeded runs of mixed moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "sampler/run_setup.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

using testing::CountsOfSites;
using testing::LoadedRun;
using testing::NumberOfSites;

// Sixteen sequences of 40 random letters, each holding one copy of a 6-wide
// motif T[AG]CG[TC]A whose columns 1 and 4 go together (A with T, G with C),
// on the given strand in even sequences and the other strand in odd ones.
std::string PlantedFasta(std::uint32_t seed)
{
    RandomStream random(seed);
    std::string fasta;
    for (int s = 0; s < 16; ++s) {
        std::string text;
        for (int i = 0; i < 40; ++i)
            text += "ACGT"[random.Next() % 4];
        const bool first = random.Next() % 2 == 0;
        std::string motif = std::string("T") + (first ? 'A' : 'G') + "CG" + (first ? 'T' : 'C') + "A";
        if (s % 2 == 1)
            motif = ReverseComplement(motif);
        text.replace(static_cast<std::size_t>(random.Index(35)), 6, motif);
        fasta += ">seq" + std::to_string(s) + "\n" + text + "\n";
    }
    return fasta;
}

// With sitesApart, also that the sites of a sequence follow each other without
// overlapping. A shift moves forward and reverse sites in opposite directions
// along the text, so two close sites on opposite strands may overlap until the
// next sweep draws the sequence's sites anew.
::testing::AssertionResult Consistent(const CMotifSampler& run, bool sitesApart = true)
{
    const int width = run.m_width;
    if (run.m_numPairs != static_cast<int>(run.m_groups.size()))
        return ::testing::AssertionFailure() << "m_numPairs " << run.m_numPairs << " but " << run.m_groups.size() << " groups";
    if (run.m_numPairs > width / 2)
        return ::testing::AssertionFailure() << run.m_numPairs << " pairs in a motif of " << width;
    std::set<int> used;
    for (const GroupNode& group : run.m_groups) {
        for (int column : group.positions) {
            if (column < 0 || column >= width || !used.insert(column).second)
                return ::testing::AssertionFailure() << "column " << column << " reused or outside the motif";
        }
        if (group.counts != run.GroupJointCounts(group.positions.data(), group.size))
            return ::testing::AssertionFailure() << "group counts differ from the joint counts of the sites";
    }
    if (run.m_counts != CountsOfSites(run))
        return ::testing::AssertionFailure() << "m_counts differ from a fresh count of the sites";
    if (run.m_numSites != NumberOfSites(run))
        return ::testing::AssertionFailure() << "m_numSites " << run.m_numSites << " but " << NumberOfSites(run) << " sites";
    for (std::size_t s = 0; s < run.m_sites.size(); ++s) {
        const std::string text(run.m_seqs[s]);
        int freeFrom = 0;
        for (const SiteNode& site : run.m_sites[s]) {
            if (site.pos < 0 || site.pos + width > static_cast<int>(text.size()))
                return ::testing::AssertionFailure() << "site at " << site.pos << " leaves sequence " << s;
            if (sitesApart && site.pos < freeFrom)
                return ::testing::AssertionFailure() << "site at " << site.pos << " of sequence " << s << " overlaps the one before";
            freeFrom = site.pos + width;
            std::string window = text.substr(static_cast<std::size_t>(site.pos), static_cast<std::size_t>(width));
            if (!site.forward)
                window = ReverseComplement(window);
            if (site.word != window)
                return ::testing::AssertionFailure() << "word " << site.word << " is not the text at " << site.pos;
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<int> SitePositions(const CMotifSampler& run)
{
    std::vector<int> positions;
    for (const SiteList& sites : run.m_sites) {
        for (const SiteNode& site : sites)
            positions.push_back(site.pos);
    }
    return positions;
}

TEST(MoveInvariants, HoldAfterEverySweepShiftAndPairMove)
{
    int shifts = 0;
    for (std::uint32_t seed : {11u, 12u, 13u}) {
        LoadedRun loaded(PlantedFasta(seed), "-w\n6\n");
        CMotifSampler& run = loaded.run;
        run.ComputeBackground();
        run.PrepareScoringTables();
        run.m_random.Seed(seed);
        run.RandomAlignment();
        run.Recount();
        run.m_samplingPriorOdds = 40.0;
        int mostPairs = 0;
        for (int iteration = 0; iteration < 60; ++iteration) {
            for (int s = 0; s < run.m_numSeqs; ++s)
                run.SampleSequence(s);
            ASSERT_TRUE(Consistent(run)) << "seed " << seed << ", sweep " << iteration;
            if (iteration % 5 == 4) {
                const std::vector<int> before = SitePositions(run);
                run.ShiftMove();
                shifts += before != SitePositions(run) ? 1 : 0;
                ASSERT_TRUE(Consistent(run, false)) << "seed " << seed << ", shift after sweep " << iteration;
            }
            for (int move = 0; move < 3; ++move) {
                run.CorrelationMove();
                ASSERT_TRUE(Consistent(run, false)) << "seed " << seed << ", pair move after sweep " << iteration;
                run.JointLogLikelihood();
                ASSERT_EQ(run.m_numSites, NumberOfSites(run));
                mostPairs = std::max(mostPairs, run.m_numPairs);
            }
        }
        // Otherwise the pair moves were never put to the test.
        EXPECT_GT(mostPairs, 0) << "seed " << seed;
    }
    EXPECT_GT(shifts, 0);
}

TEST(MoveInvariants, ChangeNeverAltersThePairCountNorProposesTheOldPair)
{
    LoadedRun loaded(PlantedFasta(5), "-w\n6\n");
    CMotifSampler& run = loaded.run;
    run.m_random.Seed(5);
    run.RandomAlignment();
    run.Recount();
    run.PlaceStartSites();
    const int firstPair[2] = {1, 4};
    run.m_groups.push_back(CMotifSampler::NewGroup(2, firstPair, run.GroupJointCounts(firstPair, 2), 0.0));
    const int secondPair[2] = {5, 0};
    run.m_groups.push_back(CMotifSampler::NewGroup(2, secondPair, run.GroupJointCounts(secondPair, 2), 0.0));
    run.m_numPairs = 2;

    int changes = 0;
    for (int attempt = 0; attempt < 200; ++attempt) {
        const GroupList before = run.m_groups;
        run.ChangePairMove();
        ASSERT_EQ(run.m_numPairs, 2);
        ASSERT_TRUE(Consistent(run));
        int changed = 0;
        for (std::size_t g = 0; g < 2; ++g) {
            const std::vector<int>& now = run.m_groups[g].positions;
            const std::vector<int>& was = before[g].positions;
            if (now == was)
                continue;
            ++changed;
            // A changed pair may keep one old column but is never the old pair in either order.
            EXPECT_FALSE(CMotifSampler::SameSet(now.data(), was.data(), 2)) << was[0] << "," << was[1];
            EXPECT_DOUBLE_EQ(run.m_groups[g].logBF, run.GroupLogBF(now.data(), 2, run.m_groups[g].counts));
        }
        EXPECT_LE(changed, 1);
        changes += changed;
    }
    EXPECT_GT(changes, 0);
}

}  // namespace
}  // namespace kalvo
