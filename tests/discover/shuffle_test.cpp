// tests/discover/shuffle_test.cpp: shuffled controls keep every dinucleotide count and both ends,
// are drawn uniformly, and repeat exactly from their seed.
#include <gtest/gtest.h>

#include <random>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "discover/shuffle.h"

namespace kalvo {
namespace {

std::map<std::string, int> Dinucleotides(const std::string& sequence)
{
    std::map<std::string, int> counts;
    for (std::size_t i = 0; i + 1 < sequence.size(); ++i)
        ++counts[sequence.substr(i, 2)];
    return counts;
}

std::string RandomSequence(ShuffleRandom& random, std::size_t length, const std::string& alphabet)
{
    std::string sequence(length, ' ');
    for (char& c : sequence)
        c = alphabet[random.Below(alphabet.size())];
    return sequence;
}

void ExpectSameDinucleotidesAndEnds(const std::string& original, const std::string& shuffled)
{
    ASSERT_EQ(shuffled.size(), original.size());
    if (original.empty())
        return;
    EXPECT_EQ(shuffled.front(), original.front());
    EXPECT_EQ(shuffled.back(), original.back());
    EXPECT_EQ(Dinucleotides(shuffled), Dinucleotides(original)) << original << " -> " << shuffled;
}

TEST(ShuffleRandom, DrawsMatchAnIndependentXoshiroWithSplitMixSeeding)
{
    ShuffleRandom zero(0), answer(42);
    for (std::uint64_t expected : {0x99EC5F36CB75F2B4ull, 0xBF6E1F784956452Aull, 0x1A5F849D4933E6E0ull})
        EXPECT_EQ(zero.Next(), expected);
    for (std::uint64_t expected : {0x15780B2E0C2EC716ull, 0x6104D9866D113A7Eull, 0xAE17533239E499A1ull})
        EXPECT_EQ(answer.Next(), expected);
}

TEST(ShuffleRandom, BelowStaysInRangeAndHitsEveryValueAboutEvenly)
{
    ShuffleRandom random(7);
    EXPECT_EQ(random.Below(0), 0u);
    EXPECT_EQ(random.Below(1), 0u);
    std::array<int, 6> counts{};
    for (int i = 0; i < 60000; ++i)
        ++counts[random.Below(6)];
    for (int count : counts)
        EXPECT_NEAR(count, 10000, 500);
    const std::uint64_t huge = (1ull << 63) + 12345;
    for (int i = 0; i < 100; ++i)
        EXPECT_LT(random.Below(huge), huge);
}

TEST(DinucleotideShuffle, KeepsEveryDinucleotideCountAndBothEndsOnRandomInputs)
{
    ShuffleRandom inputs(1), random(2);
    const std::vector<std::string> alphabets = {"ACGT", "AC", "A", "ACGTN", "acgtACGTNnRY", std::string("\0\xff\x01", 3)};
    for (const std::string& alphabet : alphabets)
        for (std::size_t length : {3u, 4u, 5u, 7u, 10u, 31u, 100u, 1000u}) {
            for (int trial = 0; trial < 5; ++trial) {
                const std::string sequence = RandomSequence(inputs, length, alphabet);
                ExpectSameDinucleotidesAndEnds(sequence, ShuffleDinucleotides(sequence, random));
            }
        }
}

TEST(DinucleotideShuffle, KeepsGapsOfNAndRareExitsIntact)
{
    ShuffleRandom random(3);
    const std::string gapped = "ACGTTGCA" + std::string(5000, 'N') + "GATTACA" + std::string(300, 'N') + "CCGGA";
    for (int i = 0; i < 20; ++i) {
        const std::string shuffled = ShuffleDinucleotides(gapped, random);
        ExpectSameDinucleotidesAndEnds(gapped, shuffled);
        // Two N runs in the input: the shuffle has at most two, and 5,298 NN pairs among them.
        EXPECT_NE(shuffled.find(std::string(2650, 'N')), std::string::npos);
    }
    // The walk can leave the repeat only by its one exit to the last letter.
    std::string alternating;
    for (int i = 0; i < 5000; ++i)
        alternating += "AB";
    alternating += "C";
    ExpectSameDinucleotidesAndEnds(alternating, ShuffleDinucleotides(alternating, random));
}

TEST(DinucleotideShuffle, ShortAndSingleLetterSequencesComeBackUnchanged)
{
    ShuffleRandom random(4);
    for (const std::string sequence : {"", "A", "AC", "NN", "AAAAAAAA", "ACA"})
        EXPECT_EQ(ShuffleDinucleotides(sequence, random), sequence);
}

TEST(DinucleotideShuffle, SameSeedRepeatsAndOtherSeedsDiffer)
{
    ShuffleRandom inputs(5);
    const std::string sequence = RandomSequence(inputs, 200, "ACGT");
    ShuffleRandom first(11), again(11), other(12);
    const std::string shuffled = ShuffleDinucleotides(sequence, first);
    EXPECT_EQ(ShuffleDinucleotides(sequence, again), shuffled);
    EXPECT_NE(ShuffleDinucleotides(sequence, other), shuffled);
}

TEST(DinucleotideShuffle, MovesMostPositionsOfARandomSequence)
{
    ShuffleRandom inputs(6), random(7);
    const std::string sequence = RandomSequence(inputs, 200, "ACGT");
    int unchanged = 0;
    for (int i = 0; i < 50; ++i) {
        const std::string shuffled = ShuffleDinucleotides(sequence, random);
        unchanged += shuffled == sequence;
        int same = 0;
        for (std::size_t k = 0; k < sequence.size(); ++k)
            same += shuffled[k] == sequence[k];
        EXPECT_LT(same, 120);  // about a quarter agree by chance
    }
    EXPECT_EQ(unchanged, 0);
}

TEST(DinucleotideShuffle, DrawsEverySequenceWithTheSameDinucleotidesAboutEqually)
{
    const std::string sequence = "AACAGCAGGCA";
    std::string letters = sequence;
    std::sort(letters.begin(), letters.end());
    std::map<std::string, int> draws;
    do {
        if (letters.front() == sequence.front() && letters.back() == sequence.back() &&
            Dinucleotides(letters) == Dinucleotides(sequence))
            draws[letters] = 0;
    } while (std::next_permutation(letters.begin(), letters.end()));
    ASSERT_GT(draws.size(), 10u);

    ShuffleRandom random(8);
    const int perSequence = 400;
    const int total = perSequence * static_cast<int>(draws.size());
    for (int i = 0; i < total; ++i) {
        const auto found = draws.find(ShuffleDinucleotides(sequence, random));
        ASSERT_NE(found, draws.end());
        ++found->second;
    }
    for (const auto& [shuffled, count] : draws)
        EXPECT_NEAR(count, perSequence, 5 * 20) << shuffled;  // 5 standard deviations
}

TEST(ShuffledControls, ListsCopiesCopyMajorAndRepeatsFromTheSeed)
{
    const std::vector<std::string> sequences = {"ACGTTGCAAGT", "GGGATTTACCA", "NN", "TTAGGCATCGA"};
    const std::vector<std::string> controls = ShuffledControls(sequences, 3, 99);
    ASSERT_EQ(controls.size(), 12u);
    ShuffleRandom random(99);
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < sequences.size(); ++i) {
            const std::string& control = controls[c * sequences.size() + i];
            ExpectSameDinucleotidesAndEnds(sequences[i], control);
            EXPECT_EQ(control, ShuffleDinucleotides(sequences[i], random));
        }
    EXPECT_EQ(ShuffledControls(sequences, 3, 99), controls);
    EXPECT_NE(ShuffledControls(sequences, 3, 100), controls);
    EXPECT_TRUE(ShuffledControls(sequences, 0, 99).empty());
    EXPECT_TRUE(ShuffledControls(sequences, -2, 99).empty());
}

TEST(ShuffleInWindows, KeepsEachWindowsDinucleotidesSoAnIslandStaysPut)
{
    // 600 AT-only residues, a 300-residue GC-only island, 600 AT-only: 1,500 residues in ten windows of 150.
    std::mt19937 draw(3);
    std::string sequence;
    for (int i = 0; i < 1500; ++i)
        sequence += (i >= 600 && i < 900) ? "GC"[draw() % 2] : "AT"[draw() % 2];
    ShuffleRandom random(5);
    const std::string shuffled = ShuffleInWindows(sequence, random);
    ASSERT_EQ(shuffled.size(), sequence.size());
    EXPECT_NE(shuffled, sequence);
    for (std::size_t start = 0; start < sequence.size(); start += kShuffleWindow)
        ExpectSameDinucleotidesAndEnds(sequence.substr(start, kShuffleWindow), shuffled.substr(start, kShuffleWindow));
    ExpectSameDinucleotidesAndEnds(sequence, shuffled);
    EXPECT_EQ(shuffled.find_first_of("GC"), 600u);
    EXPECT_EQ(shuffled.find_last_of("GC"), 899u);

    // A sequence shorter than two windows is shuffled whole, as before windows.
    const std::string shortOne = sequence.substr(500, 2 * kShuffleWindow - 1);
    ShuffleRandom a(9);
    ShuffleRandom b(9);
    EXPECT_EQ(ShuffleInWindows(shortOne, a), ShuffleAroundRunsOfN(shortOne, b));
}

}  // namespace
}  // namespace kalvo
