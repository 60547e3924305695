// tests/util/sequence_text_test.cpp: reverse complements and word indexes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "util/sequence_text.h"

namespace kalvo {
namespace {

TEST(ReverseComplement, SwapsAtCgAndRyAndKeepsEveryOtherCharacter)
{
    EXPECT_EQ(ReverseComplement("GATTACA"), "TGTAATC");
    EXPECT_EQ(ReverseComplement("ARY"), "RYT");
    EXPECT_EQ(ReverseComplement("SW"), "WS");
    EXPECT_EQ(ReverseComplement("AN-K"), "K-NT");
    EXPECT_EQ(ReverseComplement("ac"), "ca");
    EXPECT_EQ(ReverseComplement(""), "");
}

TEST(WordIndex, FirstLetterIsMostSignificantAndOtherLettersCountAsA)
{
    EXPECT_EQ(WordIndex("T"), 3u);
    EXPECT_EQ(WordIndex("CA"), 4u);
    EXPECT_EQ(WordIndex("GATC"), 141u);
    EXPECT_EQ(WordIndex("NC"), 1u);
    EXPECT_EQ(WordIndex("Gc"), 8u);
    EXPECT_EQ(WordIndex(std::string(32, 'T')), ~std::uint64_t{0});
}

TEST(WordFromIndex, InvertsWordIndexKeepingLeadingAs)
{
    EXPECT_EQ(WordFromIndex(1, 3), "AAC");
    EXPECT_EQ(WordFromIndex(0, 0), "");
    for (std::uint64_t index = 0; index < 1024; ++index)
        ASSERT_EQ(WordIndex(WordFromIndex(index, 5)), index);
}

}  // namespace
}  // namespace kalvo
