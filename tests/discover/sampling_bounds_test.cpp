// tests/discover/sampling_bounds_test.cpp: what the restarts sample and how many shuffled controls a
// discovery makes stay in proportion to a set of many short sequences and to one long one alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discover/scoring_sets.h"

namespace kalvo {
namespace {

ScoringSets SetsOf(const std::vector<long long>& lengths)
{
    SequenceTexts targets;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        targets.names.push_back("s" + std::to_string(i));
        targets.sequences.push_back(std::string(static_cast<std::size_t>(lengths[i]), "ACGT"[i % 4]));
        targets.residues += lengths[i];
    }
    return MakeScoringSets(std::move(targets), {}, false, true, 7);
}

long long Residues(const std::vector<SampledPiece>& pieces)
{
    long long residues = 0;
    for (const SampledPiece& piece : pieces)
        residues += piece.length;
    return residues;
}

TEST(SampledPieces, SetsThatFitAreSampledWholeAsTheyAre)
{
    for (const auto& lengths : {std::vector<long long>(18, 105), std::vector<long long>(60, 150),
                                std::vector<long long>(30, 3000)}) {
        const ScoringSets sets = SetsOf(lengths);
        const std::vector<SampledPiece> pieces = SampledPieces(sets);
        ASSERT_EQ(pieces.size(), sets.sampled.size());
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_EQ(pieces[i].seqIndex, sets.sampled[i]);
            EXPECT_TRUE(pieces[i].whole);
            EXPECT_EQ(pieces[i].start, 0);
            EXPECT_EQ(pieces[i].length, lengths[static_cast<std::size_t>(sets.sampled[i])]);
        }
    }
}

TEST(SampledPieces, ALongSequenceGivesEvenlySpacedWindowsFromEndToEnd)
{
    const long long length = 2000000;
    const std::vector<SampledPiece> pieces = SampledPieces(SetsOf({length}));
    ASSERT_EQ(pieces.size(), 100u);
    EXPECT_EQ(Residues(pieces), kSampledResidues);
    EXPECT_EQ(pieces.front().start, 0);
    EXPECT_EQ(pieces.back().start + pieces.back().length, length);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_FALSE(pieces[i].whole);
        EXPECT_EQ(pieces[i].length, kSampledWindow);
        if (i > 0) {
            const long long gap = pieces[i].start - pieces[i - 1].start;
            EXPECT_GE(gap, kSampledWindow);  // never overlapping
            EXPECT_NEAR(static_cast<double>(gap), (length - kSampledWindow) / 99.0, 1.0);
        }
    }
}

TEST(SampledPieces, ShortSequencesBesideALongOneStayWhole)
{
    const std::vector<SampledPiece> pieces = SampledPieces(SetsOf({500, 400000, 800}));
    ASSERT_EQ(pieces.size(), 2u + 100u);
    EXPECT_TRUE(pieces.front().whole);
    EXPECT_EQ(pieces.front().length, 500);
    EXPECT_TRUE(pieces.back().whole);
    EXPECT_EQ(pieces.back().seqIndex, 2);
    EXPECT_LE(Residues(pieces), kSampledResidues + 2 * kSampledWindow);
}

TEST(ControlCopies, AboutAThousandControlsForFewSequencesWithinTenMillionResidues)
{
    EXPECT_EQ(ControlCopies(18, 1900), 10);          // at most ten copies
    EXPECT_EQ(ControlCopies(400, 200000), 3);        // about a thousand sequences
    EXPECT_EQ(ControlCopies(30, 3000000), 3);        // no more than ten million residues
    EXPECT_EQ(ControlCopies(1, 50000000), 1);        // and always one copy
    EXPECT_EQ(ControlCopies(200000, 20000000), 1);
}

}  // namespace
}  // namespace kalvo
