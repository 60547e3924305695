// tests/report/report_writer_test.cpp: the report block of the best state, byte for byte, appended whole.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "model/run_state.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::ReadBytes;
using testing::TempDir;

SiteNode Site(int seqIndex, const std::string& word, bool forward, int pos, double motifLogLik)
{
    SiteNode site;
    site.seqIndex = seqIndex;
    site.ordinal = 1;
    site.word = word;
    site.forward = forward;
    site.pos = pos;
    site.motifLogLik = motifLogLik;
    return site;
}

// Sequences, width and an empty current state, as the run leaves them.
void SetInput(CMotifSampler& run, std::vector<std::string> names, std::vector<std::string> texts, int width)
{
    run.m_inputPath = "/data/in.fa";
    run.m_width = width;
    run.m_seqs.Clear();
    for (std::size_t s = 0; s < names.size(); ++s) {
        run.m_seqs.AddSequence(names[s]);
        run.m_seqs.AppendResidues(texts[s]);
    }
    run.m_numSeqs = static_cast<int>(run.m_seqs.size());
    run.m_totalLength = static_cast<long long>(run.m_seqs.TotalResidues());
    run.m_counts.assign(static_cast<std::size_t>(width) * 4, 0);
    run.m_motifProb.assign(static_cast<std::size_t>(width) * 4, 0.0);
    run.m_sites.assign(run.m_seqs.size(), SiteList());
    run.m_bestSites.assign(run.m_seqs.size(), SiteList());
}

// W = 7: three best sites (one reverse) over four sequences, and the pair of
// columns 7 and 3 whose letters go together (GG once, CC twice). The current
// state and the pseudocounts hold values the report must not use.
void SetBestState(CMotifSampler& run)
{
    SetInput(run, {">alpha", ">beta gene", ">gamma", ">delta"},
             {"ACGTACGTAA", "TTACCTACCA", "CGGTTGGTA", "CCCCCCCC"}, 7);
    run.m_bestSites[0] = {Site(0, "ACGTACG", true, 0, 1.25)};
    run.m_bestSites[1] = {Site(1, "ACCTACC", true, 2, 0.5)};
    run.m_bestSites[2] = {Site(2, "ACCAACC", false, 1, -0.75)};
    GroupNode pair;
    pair.size = 2;
    pair.positions = {6, 2};
    pair.counts.assign(16, 0);
    pair.counts[1 * 4 + 1] = 2;
    pair.counts[2 * 4 + 2] = 1;
    pair.logBF = 99.0;  // stale: the report computes it again
    run.m_bestGroups = {pair};
    run.m_sites[3] = {Site(3, "CCCCCCC", true, 0, 3.0)};
    run.m_pseudo.fill(1.0);
    run.m_pseudoTotal = 4.0;
    run.m_bestLogLik = -123.456;
}

const std::string kBestStateReport =
    "\r\n\r\n*************\r\n/data/in.fa\r\n"
    "# of Input Sequence: 4\r\n\r\n"
    "\r\r\n# of total sequences hits the motif: 3\r\n"
    "# of total putative sites: 3\r\n"
    "\tA\tC\tG\tT\tCon\r\n"
    "1\t1.00\t0.00\t0.00\t0.00\tA\r\n"
    "2\t0.00\t1.00\t0.00\t0.00\tC\r\n"
    "3\t0.00\t0.67\t0.33\t0.00\tC\r\n"
    "4\t0.33\t0.00\t0.00\t0.67\tT\r\n"
    "5\t1.00\t0.00\t0.00\t0.00\tA\r\n"
    "6\t0.00\t1.00\t0.00\t0.00\tC\r\n"
    "7\t0.00\t0.67\t0.33\t0.00\tC\r\n"
    "\r\nCorrelated positions:\r\n"
    "7,3,logBF=0.693147\r\n"
    "CC\t2\t0.666667\r\n"
    "GG\t1\t0.333333\r\n"
    "\r\nJoint Loglikelihood: -123.456000\r\n"
    "Estimated Prior: 5.750000\r\n\r\n"
    "Putative sites:\r\n"
    ">alpha\tseg1\tf\t0\tACGTACG\t1.250000\t\r\n"
    ">beta gene\tseg1\tf\t2\tACCTACC\t0.500000\t\r\n"
    ">gamma\tseg1\tr\t1\tACCAACC\t-0.750000\t\r\n";

TEST(ResultReport, BestStateIsWrittenByteForByte)
{
    // logBF without pseudocounts: joint −ln 2 less columns −ln 2 each; prior
    // from P = 2 · (4 + 4 + 3 + 2) and S = 3: (1 − 4/27) / (4/27) = 5.75.
    TempDir dir;
    CMotifSampler run;
    SetBestState(run);
    ASSERT_FALSE(run.WriteReport(dir.File("out.txt")));
    EXPECT_EQ(ReadBytes(dir.File("out.txt")), kBestStateReport);

    // The best state is now the current state, counted without pseudocounts.
    EXPECT_EQ(run.m_numSites, 3);
    EXPECT_TRUE(run.m_sites[3].empty());
    EXPECT_EQ(run.m_numPairs, 1);
    EXPECT_EQ(run.m_pseudoTotal, 0.0);
    EXPECT_EQ(run.m_counts[2 * 4 + 1], 2);
}

TEST(ResultReport, AppendingKeepsEveryEarlierByte)
{
    TempDir dir;
    const std::string earlier = "\r\n\r\n*************\r\nolder run\r\nno line end at the end";
    const std::string path = dir.Write("out.txt", earlier);
    CMotifSampler run;
    SetBestState(run);
    ASSERT_FALSE(run.WriteReport(path));
    EXPECT_EQ(ReadBytes(path), earlier + kBestStateReport);
}

TEST(ResultReport, WithoutGroupsTheLogLikelihoodFollowsTheHeadingDirectly)
{
    CMotifSampler run;
    SetBestState(run);
    run.m_bestGroups.clear();
    run.InstallBestState();
    EXPECT_THAT(run.ComposeReport(), HasSubstr("\r\nCorrelated positions:\r\n\r\nJoint Loglikelihood: -123.456000\r\n"));
}

TEST(ResultReport, EstimatedPriorCountsCandidatePositionsOnBothStrands)
{
    // P = 2 · (27 + 22) = 98 and t = 4 / 99.
    CMotifSampler run;
    SetInput(run, {">a", ">b"}, {std::string(30, 'A'), std::string(25, 'C')}, 4);
    run.m_bothStrands = true;
    run.m_bestSites[0] = {Site(0, "AAAA", true, 0, 0.0), Site(0, "TTTT", false, 10, 0.0)};
    run.m_bestSites[1] = {Site(1, "CCCC", true, 3, 0.0)};
    run.InstallBestState();
    EXPECT_THAT(run.ComposeReport(), HasSubstr("\r\nEstimated Prior: 23.750000\r\n"));
}

TEST(ResultReport, StateWithoutSitesPrintsZerosAndNeverNan)
{
    // An empty best state, and one whose only site has no base in column 0 (S = 0).
    for (bool lettersOutsideColumnZero : {false, true}) {
        CMotifSampler run;
        SetInput(run, {">n", ">m"}, {"NACGT", "GGGG"}, 2);
        GroupNode pair;
        pair.size = 2;
        pair.positions = {1, 0};
        pair.counts.assign(16, 0);
        if (lettersOutsideColumnZero) {
            run.m_bestSites[0] = {Site(0, "NA", true, 0, -1.0)};
            pair.counts[0] = 1;  // N counts as A in the pair's cells
        }
        run.m_bestGroups = {pair};
        run.InstallBestState();
        const std::string report = run.ComposeReport();
        EXPECT_THAT(report, HasSubstr("# of total putative sites: 0\r\n"));
        EXPECT_THAT(report, HasSubstr("1\t0.00\t0.00\t0.00\t0.00\tA\r\n2\t0.00\t0.00\t0.00\t0.00\tA\r\n"));
        EXPECT_THAT(report, HasSubstr("\r\nJoint Loglikelihood: -2000.000000\r\n"));
        EXPECT_THAT(report, Not(HasSubstr("nan")));
        EXPECT_THAT(report, Not(HasSubstr("inf")));
        if (lettersOutsideColumnZero) {
            EXPECT_THAT(report, HasSubstr("\r\nAA\t1\t0.000000\r\n"));
            EXPECT_THAT(report, HasSubstr("# of total sequences hits the motif: 1\r\n"));
        } else {
            EXPECT_THAT(report, HasSubstr("# of total sequences hits the motif: 0\r\n"));
            EXPECT_THAT(report, ::testing::EndsWith("Putative sites:\r\n"));
        }
    }
}

}  // namespace
}  // namespace kalvo
