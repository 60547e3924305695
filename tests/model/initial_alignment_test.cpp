// tests/model/initial_alignment_test.cpp: the seeded and the random start, and counts rebuilt from sites.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "model/run_state.h"
#include "run_setup.h"
#include "temp_files.h"
#include "util/random.h"

namespace kalvo {
namespace {

using testing::Columns;

// The stream's state after `draws` draws from `seed`.
std::uint32_t StateAfter(std::uint32_t seed, int draws)
{
    RandomStream stream(seed);
    for (int i = 0; i < draws; ++i)
        stream.Next();
    return stream.State();
}

class InitialAlignment : public ::testing::Test {
protected:
    // The start site of sequence s, once the packed start sites are listed.
    void ExpectSite(int s, int pos, bool forward, const std::string& word)
    {
        run.PlaceStartSites();
        ASSERT_EQ(run.m_sites[s].size(), 1u) << "sequence " << s;
        const SiteNode& site = run.m_sites[s][0];
        EXPECT_EQ(site.pos, pos);
        EXPECT_EQ(site.forward, forward);
        EXPECT_EQ(site.word, word);
        EXPECT_EQ(site.seqIndex, s);
        EXPECT_EQ(site.ordinal, 0);
    }

    testing::TempDir dir;
    CMotifSampler run;
};

using SeedMotif = InitialAlignment;
using RandomAlignment = InitialAlignment;
using Recount = InitialAlignment;
using StartSites = InitialAlignment;

TEST_F(SeedMotif, WordPutsSeventeenOnItsLettersAndClearsTheRest)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s\nACGTACGT\n", 4));
    run.m_counts.assign(16, 3);
    run.m_numSites = 9;
    run.SeedMotif("ACGT");
    EXPECT_EQ(run.m_counts, Columns({{17, 0, 0, 0}, {0, 17, 0, 0}, {0, 0, 17, 0}, {0, 0, 0, 17}}));
    EXPECT_EQ(run.m_numSites, 0);
    EXPECT_TRUE(run.m_sites[0].empty());
    run.SeedMotif("acgN");  // lower case and other letters count as A
    EXPECT_EQ(run.m_counts, Columns({{17, 0, 0, 0}, {17, 0, 0, 0}, {17, 0, 0, 0}, {17, 0, 0, 0}}));
    run.SeedMotif("");
    EXPECT_EQ(run.m_counts, std::vector<int>(16, 0));
}

TEST_F(SeedMotif, WordIsCutOrPaddedToTheWidth)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s\nACGTACGT\n", 5));
    run.SeedMotif("TG");
    EXPECT_EQ(run.m_counts, Columns({{0, 0, 0, 17}, {0, 0, 17, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}));
    run.SeedMotif("ACGTACGT");
    EXPECT_EQ(run.m_counts, Columns({{17, 0, 0, 0}, {0, 17, 0, 0}, {0, 0, 17, 0}, {0, 0, 0, 17}, {17, 0, 0, 0}}));
}

TEST_F(RandomAlignment, DrawOfOneHalfPutsTheSiteAtPositionThree)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s0\nAACCGGTTAC\n", 4));
    run.m_bothStrands = false;
    run.m_random.Seed(3782276673u);  // draws 16384 (16384 * 7 / 32768 = 3.5), ...
    run.RandomAlignment();
    ExpectSite(0, 3, true, "CGGT");
    EXPECT_EQ(run.m_random.State(), StateAfter(3782276673u, 1));
    EXPECT_EQ(run.m_counts, std::vector<int>(16, 0));  // counts wait for Recount
    EXPECT_EQ(run.m_numSites, 0);
}

TEST_F(RandomAlignment, StrandDrawOfOneHalfOrMoreMeansTheReverseStrand)
{
    for (auto [seed, pos, forward, word] : {std::tuple{3782276673u, 3, false, "ACCG"},  // 16384, 16422
                                            std::tuple{1132997334u, 5, false, "TAAC"},  // 24944, 16384
                                            std::tuple{2639211222u, 2, true, "CCGG"}}) {  // 12315, 16383
        CMotifSampler fresh;
        ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(fresh, dir, ">s0\nAACCGGTTAC\n", 4));
        fresh.m_random.Seed(seed);
        fresh.RandomAlignment();
        fresh.PlaceStartSites();
        ASSERT_EQ(fresh.m_sites[0].size(), 1u);
        EXPECT_EQ(fresh.m_sites[0][0].pos, pos) << seed;
        EXPECT_EQ(fresh.m_sites[0][0].forward, forward) << seed;
        EXPECT_EQ(fresh.m_sites[0][0].word, word) << seed;
        EXPECT_EQ(fresh.m_random.State(), StateAfter(seed, 2));
    }
}

TEST_F(RandomAlignment, DrawsPositionThenStrandForEachSequenceInOrder)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s0\nAACCGGTTAC\n>s1\nGGGATTTACA\n", 4));
    run.m_random.Seed(31337);  // draws 4068, 8258, 22267, 17283
    run.RandomAlignment();
    ExpectSite(0, 0, true, "AACC");
    ExpectSite(1, 4, false, "TAAA");
    EXPECT_EQ(run.m_random.State(), StateAfter(31337, 4));
}

TEST_F(RandomAlignment, OneStrandDrawsOnlyPositions)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s0\nAACCGGTTAC\n>s1\nGGGATTTACA\n", 4));
    run.m_bothStrands = false;
    run.m_random.Seed(4242);  // draws 13891, 22171
    run.RandomAlignment();
    ExpectSite(0, 2, true, "CCGG");
    ExpectSite(1, 4, true, "TTTA");
    EXPECT_EQ(run.m_random.State(), StateAfter(4242, 2));
}

TEST_F(RandomAlignment, ShortSequenceStillDrawsButGetsNoSite)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s0\nAACCGGTTAC\n>s1\nACG\n>s2\nGGGATTTACA\n", 4));
    run.m_random.Seed(2024);  // draws 6648, 4542 | 2449, 13336 | 12337, 29642
    run.RandomAlignment();
    ExpectSite(0, 1, true, "ACCG");
    EXPECT_TRUE(run.m_sites[1].empty());
    ExpectSite(2, 2, false, "AATC");
    EXPECT_EQ(run.m_random.State(), StateAfter(2024, 6));
}

TEST_F(RandomAlignment, SequenceAsLongAsTheWidthStartsAtZero)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s0\nACGT\n", 4));
    run.m_bothStrands = false;
    run.m_random.Seed(4028364353u);  // first draw 32767
    run.RandomAlignment();
    ExpectSite(0, 0, true, "ACGT");
}

TEST_F(Recount, CountsEachSiteWordAsStored)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s0\nAACCGGTTAC\n>s1\nACG\n>s2\nGGGATTTACA\n", 4));
    run.m_random.Seed(2024);  // sites ACCG forward and AATC reverse
    run.RandomAlignment();
    run.Recount();
    EXPECT_EQ(run.m_counts, Columns({{2, 0, 0, 0}, {1, 1, 0, 0}, {0, 1, 0, 1}, {0, 1, 1, 0}}));
    EXPECT_EQ(run.m_numSites, 2);
}

TEST_F(Recount, LettersOtherThanAcgtAddNothingButTheSiteCountsAndSeedCountsGo)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, ">s0\nACGTNNNN\n>s1\nANGTACGT\n", 4));
    run.SeedMotif("TTTT");
    SiteNode site;
    site.word = "NNNN";
    run.m_sites[0].push_back(site);
    site.seqIndex = 1;
    site.word = "ANGT";
    run.m_sites[1].push_back(site);
    site.word = "ACGT";
    run.m_sites[1].push_back(site);
    run.Recount();
    EXPECT_EQ(run.m_counts, Columns({{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 2}}));
    EXPECT_EQ(run.m_numSites, 3);
}

// Seed 2024 on these sequences: start sites ACCG forward at 1 on s0, none on
// the short s1, AATC reverse at 2 on s2.
constexpr std::string_view kThreeSequences = ">s0\nAACCGGTTAC\n>s1\nACG\n>s2\nGGGATTTACA\n";

TEST_F(StartSites, SamplingStepTakesTheStartSiteOutOfTheCountsAndTheLastOneFreesThePack)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, kThreeSequences, 4));
    run.m_random.Seed(2024);
    run.RandomAlignment();
    run.Recount();
    EXPECT_EQ(run.m_startSitesLeft, 2);
    run.RemoveSites(2);
    EXPECT_EQ(run.m_counts, Columns({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}));
    EXPECT_EQ(run.m_numSites, 1);
    run.RemoveSites(1);  // nothing to take out
    EXPECT_EQ(run.m_numSites, 1);
    run.RemoveSites(0);
    EXPECT_EQ(run.m_counts, std::vector<int>(16, 0));
    EXPECT_EQ(run.m_numSites, 0);
    EXPECT_TRUE(run.m_startSlots.empty());
    run.PlaceStartSites();  // none left: no site comes back
    for (const SiteList& sites : run.m_sites)
        EXPECT_TRUE(sites.empty());
}

TEST_F(StartSites, ListedFirstWithTheirCountsUnchangedWhenAStepReadsWholeLists)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, kThreeSequences, 4));
    run.m_random.Seed(2024);
    run.RandomAlignment();
    run.AddSite(0, 2 * 5, 1);  // GTTA forward at 5, added before s0 was ever sampled
    run.Recount();
    const std::vector<int> counts = run.m_counts;
    EXPECT_EQ(run.m_numSites, 3);

    // The best-state snapshot reads every list, so it lists the start sites first.
    run.SaveBest();
    EXPECT_TRUE(run.m_startSlots.empty());
    ASSERT_EQ(run.m_bestSites[0].size(), 2u);
    EXPECT_EQ(run.m_bestSites[0][0].word, "ACCG");
    EXPECT_EQ(run.m_bestSites[0][0].ordinal, 0);
    EXPECT_EQ(run.m_bestSites[0][1].word, "GTTA");
    ASSERT_EQ(run.m_bestSites[2].size(), 1u);
    EXPECT_EQ(run.m_bestSites[2][0].word, "AATC");
    EXPECT_FALSE(run.m_bestSites[2][0].forward);
    run.Recount();
    EXPECT_EQ(run.m_counts, counts);
    EXPECT_EQ(run.m_numSites, 3);
}

TEST_F(StartSites, BelongToNoSavedStateSoAReportWithoutIterationsHasNone)
{
    ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, kThreeSequences, 4));
    run.m_random.Seed(2024);
    run.RandomAlignment();
    run.Recount();
    run.InstallBestState();
    EXPECT_EQ(run.m_numSites, 0);
    EXPECT_TRUE(run.m_startSlots.empty());
    EXPECT_EQ(run.m_counts, std::vector<int>(16, 0));
}

}  // namespace
}  // namespace kalvo
