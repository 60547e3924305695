// tests/report/run_summary_test.cpp: the summary of a run tells the same story as its report block.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "model/run_state.h"
#include "report/run_summary.h"
#include "temp_files.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;

TEST(RunSummary, AgreesWithTheReportBlockItFollows)
{
    testing::TempDir dir;
    fs::copy_file("golden/crp1/crp0.fa", dir.path() / "crp0.fa");
    const std::string params = dir.Write("p.txt", "-i\n" + dir.File("crp0.fa") + "\n-o\n" + dir.File("out.txt") +
                                                      "\n-w\n16\n-n\n60\n-s\n0.5\n-c\n2\n-m\n2\n");
    CMotifSampler run;
    ASSERT_FALSE(run.LoadParameters(params));
    ASSERT_FALSE(run.Run(1000));
    const RunSummary summary = SummarizeRun(run);

    // Read the consensus column, the site lines and the prior back from the block.
    std::string consensus;
    int siteLines = 0;
    std::string prior;
    bool inSites = false;
    for (const std::string& line : SplitLines(testing::ReadBytes(dir.File("out.txt")))) {
        if (inSites && !line.empty())
            ++siteLines;
        if (line == "Putative sites:")
            inSites = true;
        if (line.rfind("Estimated Prior: ", 0) == 0)
            prior = line.substr(17);
        const auto lastTab = line.rfind('\t');
        if (!inSites && lastTab != std::string::npos && line.size() == lastTab + 2 && line[0] != '\t')
            consensus += line.back();
    }
    EXPECT_EQ(summary.consensus, consensus);
    EXPECT_EQ(static_cast<int>(summary.sites.size()), siteLines);
    EXPECT_EQ(summary.seed, 1000u);
    EXPECT_DOUBLE_EQ(summary.pseudocount, 0.5);
    std::ostringstream printedPrior;
    printedPrior.setf(std::ios::fixed);
    printedPrior.precision(6);
    printedPrior << summary.estimatedPrior;
    EXPECT_EQ(printedPrior.str(), prior);
    EXPECT_EQ(summary.width, static_cast<int>(summary.probs.size()));
}

TEST(RunSummary, RefersToTheRunsHeadersWhichOutliveTheRun)
{
    testing::TempDir dir;
    const std::string longHeader = ">" + std::string(100000, 'h');
    const std::string fasta = dir.Write("in.fa", ">first\nACGTACGTTGACAAAA\n" + longHeader + "\nTTTTGACATTTT\n>third\nGG\n");
    const std::string params = dir.Write("p.txt", "-i\n" + fasta + "\n-o\n" + dir.File("out.txt") + "\n-w\n4\n-n\n20\n");
    RunSummary summary;
    {
        CMotifSampler run;
        ASSERT_FALSE(run.LoadParameters(params));
        ASSERT_FALSE(run.Run(7));
        summary = SummarizeRun(run);
        ASSERT_EQ(summary.seqNames.size(), 3u);
        // The same bytes, not a copy of them: a summary must not double a run's headers.
        for (std::size_t s = 0; s < 3; ++s)
            EXPECT_EQ(summary.seqNames[s].data(), run.m_seqs.Header(s).data()) << s;
    }
    EXPECT_EQ(summary.seqNames[0], ">first");
    EXPECT_EQ(summary.seqNames[1], longHeader);
    EXPECT_EQ(summary.seqNames[2], ">third");
    EXPECT_EQ(summary.seqLengths, (std::vector<long long>{16, 12, 2}));
}

TEST(RunSummary, ConsensusTiesGoToTheEarlierLetterAndEmptyColumnsReadA)
{
    EXPECT_EQ(ConsensusLetter({0.25, 0.25, 0.25, 0.25}), 'A');
    EXPECT_EQ(ConsensusLetter({0.1, 0.4, 0.4, 0.1}), 'C');
    EXPECT_EQ(ConsensusLetter({0.0, 0.0, 0.0, 0.0}), 'A');
    EXPECT_EQ(ConsensusLetter({0.0, 0.0, 0.0, 1.0}), 'T');
}

}  // namespace
}  // namespace kalvo
