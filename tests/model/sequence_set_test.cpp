// tests/model/sequence_set_test.cpp: sequences and headers kept once, each seen through its own view.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "model/sequence_set.h"

namespace kalvo {
namespace {

TEST(SequenceSet, EachSequenceSeesItsOwnResiduesAndHeaderWhateverTheLengths)
{
    SequenceSet set;
    set.AddSequence(">first one");
    set.AppendResidues("ACGT");
    set.AppendResidues("TT");  // a second line of the same sequence
    set.AddSequence(">empty");
    set.AddSequence("");
    set.AppendResidues("G");
    set.AddSequence(">last");
    set.AppendResidues("");
    set.AppendResidues("NNAC");

    ASSERT_EQ(set.size(), 4u);
    const std::vector<std::string_view> headers = {">first one", ">empty", "", ">last"};
    const std::vector<std::string_view> residues = {"ACGTTT", "", "G", "NNAC"};
    std::size_t start = 0;
    for (std::size_t s = 0; s < set.size(); ++s) {
        EXPECT_EQ(set.Header(s), headers[s]) << s;
        EXPECT_EQ(set[s], residues[s]) << s;
        EXPECT_EQ(set.Length(s), residues[s].size()) << s;
        // The flat scoring tables rely on sequences lying one after another.
        EXPECT_EQ(set.Start(s), start) << s;
        start += residues[s].size();
    }
    EXPECT_EQ(set.TotalResidues(), start);
    EXPECT_EQ(std::vector<std::string_view>(set.begin(), set.end()), residues);
}

TEST(SequenceSet, EarlySequencesReadTheSameAfterManyMoreAreAdded)
{
    SequenceSet set;
    set.AddSequence(">a");
    set.AppendResidues("ACGT");
    for (int s = 0; s < 5000; ++s) {
        set.AddSequence(">s" + std::to_string(s));
        set.AppendResidues(std::string(static_cast<std::size_t>(s % 7), 'C'));
    }
    EXPECT_EQ(set[0], "ACGT");
    EXPECT_EQ(set.Header(0), ">a");
    EXPECT_EQ(set.Header(5000), ">s4999");
    EXPECT_EQ(set[5000], std::string(4999 % 7, 'C'));
}

TEST(SequenceSet, ClearLeavesNothingAndTheSetCanBeFilledAgain)
{
    SequenceSet set;
    set.AddSequence(">old");
    set.AppendResidues("AAAA");
    set.Clear();
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(set.TotalResidues(), 0u);
    EXPECT_EQ(set.begin(), set.end());
    set.AddSequence(">new");
    set.AppendResidues("CC");
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set.Header(0), ">new");
    EXPECT_EQ(set[0], "CC");
    EXPECT_EQ(set.Start(0), 0u);
}

TEST(SequenceSet, ReservationBeyondAnyMemoryIsOnlyAHint)
{
    SequenceSet set;
    set.ReserveResidues(std::numeric_limits<std::size_t>::max());
    set.AddSequence(">s");
    set.AppendResidues("ACGT");
    EXPECT_EQ(set[0], "ACGT");
}

TEST(HeaderList, CopiesShareTheTextUntilOneIsAddedTo)
{
    HeaderList original;
    original.Add(">a");
    original.Add(">b");
    HeaderList copy = original;
    // Sharing is the point: a summary of a run holds its headers without a second copy.
    EXPECT_EQ(copy[1].data(), original[1].data());

    copy.Add(">c");
    ASSERT_EQ(original.size(), 2u);
    ASSERT_EQ(copy.size(), 3u);
    EXPECT_EQ(copy[0], ">a");
    EXPECT_EQ(copy[2], ">c");
    EXPECT_EQ(original[1], ">b");

    original.clear();
    EXPECT_TRUE(original.empty());
    EXPECT_EQ(copy[1], ">b");
}

}  // namespace
}  // namespace kalvo
