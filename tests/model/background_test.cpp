// tests/model/background_test.cpp: the background read from a file and computed from both strands of the input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "model/run_state.h"
#include "run_setup.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using Freq = std::array<double, 4>;
using Trans = std::array<double, 16>;

constexpr std::string_view kRows = "0.1\t0.2\t0.3\t0.4\t\n0.5\t0.5\t0\t0\t\n1e-1\t.2\t+0.3\t 0.4\t\n0.25\t0.25\t0.25\t0.25\t\n";
constexpr Trans kRowValues = {0.1, 0.2, 0.3, 0.4, 0.5, 0.5, 0, 0, 0.1, 0.2, 0.3, 0.4, 0.25, 0.25, 0.25, 0.25};

class BackgroundFile : public ::testing::Test {
protected:
    // Loads the text as a background file over junk values. The values are
    // stored as read also when the file is then refused for a value not above 0.
    void Load(const std::string& text)
    {
        run.m_bgFreq.fill(9.0);
        run.m_bgTrans.fill(9.0);
        run.LoadBackground(dir.Write("bg.txt", text));
    }

    testing::TempDir dir;
    CMotifSampler run;
};

TEST_F(BackgroundFile, FiveLinesOfTabTerminatedValuesAreUsedUnchanged)
{
    ASSERT_NO_FATAL_FAILURE(Load("2\t-1\tinf\t 2.5e-1x\t\n" + std::string(kRows) + "7\t7\t7\t7\t\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{2.0, -1.0, 0.0, 0.25}));
    EXPECT_EQ(run.m_bgTrans, kRowValues);
}

TEST_F(BackgroundFile, MissingTabGivesZeroAndRestartsTheSearchAtTheLineStart)
{
    ASSERT_NO_FATAL_FAILURE(Load("0.3\t0.2\t0.2\t0.3\n0.5\n0.1\t0.2\t0.3\n0.1\t0.2\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{0.3, 0.2, 0.2, 0.0}));
    EXPECT_EQ(run.m_bgTrans, (Trans{0, 0, 0, 0, 0.1, 0.2, 0.0, 0.1, 0.1, 0.0, 0.1, 0.0, 0, 0, 0, 0}));
}

TEST_F(BackgroundFile, MissingLinesReadZero)
{
    ASSERT_NO_FATAL_FAILURE(Load("0.3\t0.2\t0.2\t0.3\t\n0.1\t0.2\t0.3\t0.4\t\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{0.3, 0.2, 0.2, 0.3}));
    EXPECT_EQ(run.m_bgTrans, (Trans{0.1, 0.2, 0.3, 0.4}));
    ASSERT_NO_FATAL_FAILURE(Load(""));
    EXPECT_EQ(run.m_bgFreq, Freq{});
    EXPECT_EQ(run.m_bgTrans, Trans{});
}

TEST_F(BackgroundFile, CrLfLineEndsReadLikeLf)
{
    ASSERT_NO_FATAL_FAILURE(Load("0.3\t0.2\t0.2\t0.3\t\r\n0.1\t0.2\t0.3\t0.4\t\r\n0.5\t0.5\t0\t0\t\r"));
    EXPECT_EQ(run.m_bgFreq, (Freq{0.3, 0.2, 0.2, 0.3}));
    EXPECT_EQ(run.m_bgTrans, (Trans{0.1, 0.2, 0.3, 0.4, 0.5, 0.5, 0.0, 0.0}));
}

TEST_F(BackgroundFile, RefusesAMissingFileOrAFolderAndNamesIt)
{
    Outcome refusal = run.LoadBackground(dir.File("absent.bg"));
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr("absent.bg"));
    std::filesystem::create_directory(dir.path() / "bg.d");
    refusal = run.LoadBackground(dir.File("bg.d"));
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr("bg.d"));
}

TEST_F(BackgroundFile, RefusesAValueNotAboveZeroAndNamesTheFileAndLine)
{
    const std::string rows = "0.25\t0.25\t0.25\t0.25\t\n";
    EXPECT_FALSE(run.LoadBackground(dir.Write("good.bg", rows + rows + rows + rows + rows)));
    for (const auto& [text, where] : {std::pair<std::string, std::string>{rows + rows + "0.2\t0\t0.4\t0.4\t\n" + rows + rows, "line 3: value 2 reads as 0"},
                                      {rows + rows + rows + rows + "0.25\t0.25\t0.25\t0.25\n", "line 5: value 4 reads as 0"},
                                      {"-1\t0.2\t0.2\t0.3\t\n" + rows + rows + rows + rows, "line 1: value 1 reads as -1"},
                                      {rows + rows + rows + "1e999\t0.1\t0.1\t0.1\t\n" + rows, "line 4: value 1 reads as inf"},
                                      {rows + rows, "line 3 is missing"},
                                      {"some text\n", "line 1: value 1 reads as 0"}}) {
        const Outcome refusal = run.LoadBackground(dir.Write("bad.bg", text));
        ASSERT_TRUE(refusal) << where;
        EXPECT_THAT(refusal->message, HasSubstr("background file '" + dir.File("bad.bg") + "', " + where));
    }
}

class ComputedBackground : public ::testing::Test {
protected:
    // Reads the FASTA text and computes the background over it, starting from junk values.
    void Compute(std::string_view fasta)
    {
        ASSERT_NO_FATAL_FAILURE(testing::ReadFasta(run, dir, fasta, 1));
        run.m_bgFreq.fill(9.0);
        run.m_bgTrans.fill(9.0);
        run.ComputeBackground();
    }

    testing::TempDir dir;
    CMotifSampler run;
};

TEST_F(ComputedBackground, SequenceAcCountsThePairAndItsReverseComplementOnce)
{
    ASSERT_NO_FATAL_FAILURE(Compute(">s\nAC\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{0.25, 0.25, 0.25, 0.25}));
    EXPECT_EQ(run.m_bgTrans, (Trans{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));
}

TEST_F(ComputedBackground, RowsAreDividedByTheRawStrandCounts)
{
    // Bases A, A, C count A = T = 2 and C = G = 1; pairs AA, TT, AC, GT.
    ASSERT_NO_FATAL_FAILURE(Compute(">s\nAAC\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{2.0 / 6.0, 1.0 / 6.0, 1.0 / 6.0, 2.0 / 6.0}));
    EXPECT_EQ(run.m_bgTrans, (Trans{0.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0.5}));
}

TEST_F(ComputedBackground, PairsAreNotCountedAcrossSequences)
{
    ASSERT_NO_FATAL_FAILURE(Compute(">a\nA\n>b\nC\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{0.25, 0.25, 0.25, 0.25}));
    EXPECT_EQ(run.m_bgTrans, Trans{});
}

TEST_F(ComputedBackground, PairsWithNAreSkippedAndRowsWithoutBasesAreUniform)
{
    // A counts for A and T; rows C and G have no count to divide by.
    ASSERT_NO_FATAL_FAILURE(Compute(">s\nANA\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{0.5, 0.0, 0.0, 0.5}));
    EXPECT_EQ(run.m_bgTrans, (Trans{0, 0, 0, 0, .25, .25, .25, .25, .25, .25, .25, .25, 0, 0, 0, 0}));
}

TEST_F(ComputedBackground, OtherLettersInPairsCountAsA)
{
    // AX counts as AA and its reverse complement XT as AT; X is no base.
    ASSERT_NO_FATAL_FAILURE(Compute(">s\nAX\n"));
    EXPECT_EQ(run.m_bgFreq, (Freq{0.5, 0.0, 0.0, 0.5}));
    EXPECT_EQ(run.m_bgTrans, (Trans{1, 0, 0, 1, .25, .25, .25, .25, .25, .25, .25, .25, 0, 0, 0, 0}));
}

TEST_F(ComputedBackground, InputWithoutBasesGivesUniformValues)
{
    ASSERT_NO_FATAL_FAILURE(Compute(">s\nNNNN\n"));
    Trans uniform;
    uniform.fill(0.25);
    EXPECT_EQ(run.m_bgFreq, (Freq{0.25, 0.25, 0.25, 0.25}));
    EXPECT_EQ(run.m_bgTrans, uniform);
}

}  // namespace
}  // namespace kalvo
