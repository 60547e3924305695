// tests/model/sequence_input_test.cpp: FASTA reading, the storage it sets up, the prior-odds draw and refused files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_state.h"
#include "temp_files.h"
#include "util/random.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using Texts = std::vector<std::string>;

class SequenceInput : public ::testing::Test {
protected:
    // Reads the text into the run as its sequence file "seqs.fa"; nothing when the run accepts it.
    Outcome Read(std::string_view fasta, int width = 1) { return ReadInto(run, fasta, width); }
    Outcome ReadInto(CMotifSampler& target, std::string_view fasta, int width)
    {
        target.m_inputPath = dir.Write("seqs.fa", fasta);
        target.m_width = width;
        return target.ReadSequences();
    }
    void ExpectRead(const Texts& names, const Texts& sequences, long long totalLength)
    {
        EXPECT_EQ(run.m_numSeqs, static_cast<int>(names.size()));
        Texts readNames;
        Texts readSequences;
        for (std::size_t s = 0; s < run.m_seqs.size(); ++s) {
            readNames.emplace_back(run.m_seqs.Header(s));
            readSequences.emplace_back(run.m_seqs[s]);
        }
        EXPECT_EQ(readNames, names);
        EXPECT_EQ(readSequences, sequences);
        EXPECT_EQ(run.m_totalLength, totalLength);
    }

    testing::TempDir dir;
    CMotifSampler run;
};

TEST_F(SequenceInput, HeadersNameTheLinesThatFollowThem)
{
    ASSERT_FALSE(Read(">s1 first  \nACGT\nTT\n>s2\nGGA\n"));
    ExpectRead({">s1 first  ", ">s2"}, {"ACGTTT", "GGA"}, 9);
}

TEST_F(SequenceInput, LineWithAnAngleBracketAnywhereIsAHeader)
{
    ASSERT_FALSE(Read(">a\nAAAA\nACGT>x\nCCCC\n"));
    ExpectRead({">a", "ACGT>x"}, {"AAAA", "CCCC"}, 8);
}

TEST_F(SequenceInput, LowerCaseIsRaisedAndOtherCharactersStay)
{
    ASSERT_FALSE(Read(">s\nacgtN\nac gt\na-1*\n"));
    ExpectRead({">s"}, {"ACGTNAC GTA-1*"}, 14);
}

TEST_F(SequenceInput, HeadersInARowAndEmptyLinesGiveEmptySequences)
{
    ASSERT_FALSE(Read(">a\n>b\nACGT\n\n>c\n\n"));
    ExpectRead({">a", ">b", ">c"}, {"", "ACGT", ""}, 4);
}

TEST_F(SequenceInput, LinesBeforeTheFirstHeaderAreIgnoredAndNotCounted)
{
    ASSERT_FALSE(Read("GGGG\ncc\n>s\nACGT\n"));
    ExpectRead({">s"}, {"ACGT"}, 4);
}

TEST_F(SequenceInput, CrLfAndAFinalCrEndLinesButOtherCrsStay)
{
    ASSERT_FALSE(Read(">s1 a\r\nACGT\r\nTT\r\n>s2\rx\r\nAC\rGT\r"));
    ExpectRead({">s1 a", ">s2\rx"}, {"ACGTTT", "AC\rGT"}, 11);
}

TEST_F(SequenceInput, SetsUpEmptyStorageForTheRun)
{
    ASSERT_FALSE(Read(">a\nACGTAC\n>b\nAC\n", 3));
    EXPECT_EQ(run.m_counts, std::vector<int>(12, 0));
    EXPECT_EQ(run.m_motifProb.size(), 12u);
    ASSERT_EQ(run.m_sites.size(), 2u);
    ASSERT_EQ(run.m_bestSites.size(), 2u);
    EXPECT_TRUE(run.m_sites[0].empty() && run.m_sites[1].empty());
    EXPECT_TRUE(run.m_bestSites[0].empty() && run.m_bestSites[1].empty());
    EXPECT_TRUE(run.m_groups.empty());
    EXPECT_TRUE(run.m_bestGroups.empty());
    EXPECT_EQ(run.m_numPairs, 0);
}

TEST_F(SequenceInput, UnsetPriorOddsAreDrawnFromTheRunsStream)
{
    run.m_priorOdds = -5.0;
    run.m_random.Seed(1);  // first draw 41
    ASSERT_FALSE(Read(">s\nACGT\n"));
    EXPECT_EQ(run.m_priorOdds, 200.0 + 1800.0 * 41.0 / 32768.0);
    EXPECT_EQ(run.m_samplingPriorOdds, run.m_priorOdds);
    RandomStream oneDraw(1);
    oneDraw.Next();
    EXPECT_EQ(run.m_random.State(), oneDraw.State());

    CMotifSampler top;
    top.m_priorOdds = -5.0;
    top.m_random.Seed(4028364353u);  // first draw 32767
    ASSERT_FALSE(ReadInto(top, ">s\nACGT\n", 1));
    EXPECT_EQ(top.m_priorOdds, 200.0 + 1800.0 * 32767.0 / 32768.0);
}

TEST_F(SequenceInput, SetPriorOddsStayAndTakeNoDraw)
{
    run.m_priorOdds = 0.0;
    run.m_random.Seed(1);
    ASSERT_FALSE(Read(">s\nACGT\n"));
    EXPECT_EQ(run.m_priorOdds, 0.0);
    EXPECT_EQ(run.m_samplingPriorOdds, 0.0);
    EXPECT_EQ(run.m_random.State(), 1u);
}

TEST_F(SequenceInput, PriorOddsAreDrawnAfterEveryParameterFileAlsoWithOneSitePerSequence)
{
    const std::string fasta = dir.Write("seqs.fa", ">s\nACGTACGT\n");
    ASSERT_FALSE(run.LoadParameters(dir.Write("run.par", "-i\n" + fasta + "\n-w\n4\n-e\n")));
    run.m_random.Seed(1);
    ASSERT_FALSE(run.ReadSequences());
    EXPECT_EQ(run.m_priorOdds, 200.0 + 1800.0 * 41.0 / 32768.0);
    EXPECT_EQ(run.m_samplingPriorOdds, run.m_priorOdds);
}

TEST_F(SequenceInput, RefusesAMissingFileOrAFolderAndNamesIt)
{
    run.m_inputPath = dir.File("absent.fa");
    Outcome refusal = run.ReadSequences();
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr("absent.fa"));

    std::filesystem::create_directory(dir.path() / "inputs.fa");
    run.m_inputPath = dir.File("inputs.fa");
    refusal = run.ReadSequences();
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr("inputs.fa"));
}

TEST_F(SequenceInput, RefusesAFileWithoutAHeaderAndNamesIt)
{
    for (const char* fasta : {"ACGTACGT\nACGT\n", "", "\n\n"}) {
        CMotifSampler fresh;
        const Outcome refusal = ReadInto(fresh, fasta, 4);
        ASSERT_TRUE(refusal) << fasta;
        EXPECT_THAT(refusal->message, HasSubstr("seqs.fa"));
    }
}

TEST_F(SequenceInput, RefusesWhenNoSequenceIsAsLongAsTheWidth)
{
    run.m_bothStrands = false;
    const Outcome refusal = Read(">a\nACG\n>b\nAC\n", 4);
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr("seqs.fa"));

    CMotifSampler headersOnly, exact;
    EXPECT_TRUE(ReadInto(headersOnly, ">a\n>b\n", 1));
    EXPECT_FALSE(ReadInto(exact, ">a\nACG\n>b\nAC\n", 3));
}

}  // namespace
}  // namespace kalvo
