// tests/discover/motif_similarity_test.cpp: restarts that found the same motif are recognised as one.
#include <gtest/gtest.h>

#include "discover/motif_similarity.h"

namespace kalvo {
namespace {

// Shares of a sharp motif: 0.85 for the consensus letter, N a uniform column.
MotifShares Sharp(const std::string& consensus)
{
    MotifShares shares;
    for (char letter : consensus) {
        if (letter == 'N') {
            shares.push_back({0.25, 0.25, 0.25, 0.25});
            continue;
        }
        std::array<double, 4> column{0.05, 0.05, 0.05, 0.05};
        column[static_cast<std::size_t>(std::string("ACGT").find(letter))] = 0.85;
        shares.push_back(column);
    }
    return shares;
}

TEST(MotifSimilarity, AMotifIsItsOwnReverseComplementAndShiftedCopies)
{
    const MotifShares motif = Sharp("TGTGACGCTCAC");
    EXPECT_NEAR(MotifSimilarity(motif, motif), 1.0, 1e-12);
    EXPECT_NEAR(MotifSimilarity(motif, ReverseComplementShares(motif)), 1.0, 1e-12);
    // Found two columns later, with uninformative columns around it, at another width.
    EXPECT_GE(MotifSimilarity(motif, Sharp("NNTGTGACGCTCACNN")), kSameMotifSimilarity);
    EXPECT_GE(MotifSimilarity(motif, ReverseComplementShares(Sharp("GTGACGCTCACNN"))), kSameMotifSimilarity);
}

TEST(MotifSimilarity, DifferentMotifsAndUniformColumnsAreNotTheSame)
{
    EXPECT_LT(MotifSimilarity(Sharp("AACTATGCGACC"), Sharp("GCCACACCCACG")), kSameMotifSimilarity);
    EXPECT_LT(MotifSimilarity(Sharp("AAAAAAAAAA"), Sharp("CACGTGCACG")), kSameMotifSimilarity);
    EXPECT_EQ(MotifSimilarity(Sharp("NNNN"), Sharp("NNNN")), 0.0);
    // Half a motif matches only half of it.
    EXPECT_LT(MotifSimilarity(Sharp("TGTGACGCTCAC"), Sharp("TGTGACNNNNNN")), kSameMotifSimilarity + 0.15);
}

TEST(MotifSimilarity, ColumnBitsRangeFromZeroToTwo)
{
    EXPECT_NEAR(ColumnBits({0.25, 0.25, 0.25, 0.25}), 0.0, 1e-12);
    EXPECT_NEAR(ColumnBits({1, 0, 0, 0}), 2.0, 1e-12);
    EXPECT_NEAR(ColumnBits({0.5, 0, 0, 0.5}), 1.0, 1e-12);
}

}  // namespace
}  // namespace kalvo
