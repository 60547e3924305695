// tests/model/masking_test.cpp: which start positions the low-complexity mask excludes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_state.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using Mask = std::vector<std::uint8_t>;

class LowComplexityMask : public ::testing::Test {
protected:
    // Reads the sequences of a run whose parameter file gives "-k" and builds the mask;
    // a threshold above 0 replaces the one "-k" sets.
    std::vector<Mask> Build(std::string_view fasta, double threshold = 0.0)
    {
        CMotifSampler run;
        const std::string fastaPath = dir.Write("seqs.fa", fasta);
        EXPECT_FALSE(run.LoadParameters(dir.Write("run.par", "-i\n" + fastaPath + "\n-w\n1\n-k\n")));
        EXPECT_FALSE(run.ReadSequences());
        if (threshold > 0.0)
            run.m_maskThreshold = threshold;
        run.BuildMask();
        EXPECT_EQ(run.m_mask.size(), run.m_seqs.TotalResidues());
        std::vector<Mask> masks;
        for (std::size_t s = 0; s < run.m_seqs.size(); ++s) {
            const auto start = run.m_mask.begin() + static_cast<std::ptrdiff_t>(run.m_seqs.Start(s));
            masks.emplace_back(start, start + static_cast<std::ptrdiff_t>(run.m_seqs.Length(s)));
        }
        return masks;
    }
    // Whether a sequence of one 12-letter window is masked at its start.
    bool Masked(std::string_view window, double threshold = 0.0)
    {
        const auto mask = Build(">w\n" + std::string(window) + "\n", threshold);
        Mask onlyFirst(12, 0);
        onlyFirst[0] = 1;
        EXPECT_TRUE(mask.size() == 1 && (mask[0] == onlyFirst || mask[0] == Mask(12, 0))) << window;
        return !mask.empty() && !mask[0].empty() && mask[0][0] != 0;
    }

    testing::TempDir dir;
};

TEST_F(LowComplexityMask, TwoBasesMakingElevenOrTwelveOfTwelveAreMasked)
{
    for (const char* window : {"AAAAAATTTTTT", "AAAAAATTTTTC", "atatatatatat", "CGCGCGCGCGCG", "GGGGGGGGGGGG",
                               "CCCCCCCCCCCA", "ATATATATATAN"})
        EXPECT_TRUE(Masked(window)) << window;
}

TEST_F(LowComplexityMask, TenOfTwelveAreNotMaskedAndOtherLettersCountInTheLength)
{
    for (const char* window : {"AAAAATTTTTCG", "ACGTACGTACGT", "AAAAAAAAAANN", "ATATATATATXX"})
        EXPECT_FALSE(Masked(window)) << window;
}

TEST_F(LowComplexityMask, ShareMustBeStrictlyAboveTheThreshold)
{
    EXPECT_FALSE(Masked("AAAAATTTTTCG", 10.0 / 12.0));
    EXPECT_TRUE(Masked("AAAAATTTTTCG", 0.8));
    EXPECT_TRUE(Masked("AAAAAAAAAANN", 0.8));
}

TEST_F(LowComplexityMask, EveryStartIsJudgedByItsOwnWindowAndStartsWithoutOneAreFree)
{
    const auto mask = Build(">a\nGCGTAAAAAAAAAAAAAAC\n>b\nCGTAAAAAAAAAAAAAAA\n>c\nAAAAAAAAAAA\n>d\n");
    ASSERT_EQ(mask.size(), 4u);
    EXPECT_EQ(mask[0], (Mask{0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(mask[1], (Mask{0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(mask[2], Mask(11, 0));
    EXPECT_EQ(mask[3], Mask{});
}

}  // namespace
}  // namespace kalvo
