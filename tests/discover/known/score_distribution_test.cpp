// tests/discover/known/score_distribution_test.cpp: exact score p-values against every word enumerated,
// thresholds, the scan's agreement with them, and the background file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "discover/known/score_distribution.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;

// A motif of random columns, some sharp and some flat, drawn from a fixed seed.
KnownMotif RandomMotif(int width, unsigned seed)
{
    std::mt19937 random(seed);
    std::gamma_distribution<double> draw(0.4, 1.0);
    KnownMotif motif;
    motif.id = "R" + std::to_string(seed);
    for (int j = 0; j < width; ++j) {
        std::array<double, 4> column{};
        double total = 0.0;
        for (double& share : column)
            total += share = draw(random) + 1e-9;
        for (double& share : column)
            share /= total;
        motif.shares.push_back(column);
    }
    return motif;
}

KnownPair RandomPair(int first, int second, unsigned seed)
{
    std::mt19937 random(seed);
    std::gamma_distribution<double> draw(0.3, 1.0);
    KnownPair pair;
    pair.first = first;
    pair.second = second;
    double total = 0.0;
    for (double& share : pair.shares)
        total += share = draw(random);
    for (double& share : pair.shares)
        share /= total;
    return pair;
}

// P(grid score >= s) for every grid score, by enumerating all 4^width words.
std::map<int, double> EnumeratedTail(const KnownMotif& motif, const BaseShares& background)
{
    const GridMotif grid = MakeGridMotif(motif, background);
    const int width = motif.Width();
    std::vector<std::uint8_t> word(static_cast<std::size_t>(width), 0);
    std::map<int, double> mass;
    for (long long index = 0; index < (1LL << (2 * width)); ++index) {
        double probability = 1.0;
        for (int j = 0; j < width; ++j) {
            word[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>((index >> (2 * j)) & 3);
            probability *= background[word[static_cast<std::size_t>(j)]];
        }
        mass[GridScore(grid, word.data())] += probability;
    }
    std::map<int, double> tail;
    double sum = 0.0;
    for (auto it = mass.rbegin(); it != mass.rend(); ++it)
        tail[it->first] = sum += it->second;
    return tail;
}

void ExpectMatchesEnumeration(const KnownMotif& motif, const BaseShares& background)
{
    const ScoreDistribution distribution(motif, background);
    const std::map<int, double> tail = EnumeratedTail(motif, background);
    EXPECT_EQ(distribution.BestScore(), tail.rbegin()->first);
    EXPECT_EQ(distribution.LeastScore(), tail.begin()->first);
    for (const auto& [score, p] : tail)
        ASSERT_NEAR(distribution.PValue(score), p, 1e-12 + 1e-9 * p) << motif.id << " at grid score " << score;
    EXPECT_EQ(distribution.PValue(distribution.BestScore() + 1), 0.0);
    EXPECT_EQ(distribution.PValue(distribution.LeastScore() - 5), 1.0);
}

TEST(ScorePValues, PlainMotifsAgreeWithEveryWordEnumeratedUpToWidthEight)
{
    const BaseShares uniform{0.25, 0.25, 0.25, 0.25};
    const BaseShares gcRich{0.2, 0.3, 0.3, 0.2};
    for (int width = 1; width <= 8; ++width) {
        ExpectMatchesEnumeration(RandomMotif(width, 10u + static_cast<unsigned>(width)), uniform);
        ExpectMatchesEnumeration(RandomMotif(width, 20u + static_cast<unsigned>(width)), gcRich);
    }
}

TEST(ScorePValues, MotifsWithPairsAgreeWithEveryWordEnumerated)
{
    const BaseShares background{0.3, 0.2, 0.2, 0.3};
    KnownMotif one = RandomMotif(6, 31);
    one.pairs = {RandomPair(1, 4, 32)};
    ExpectMatchesEnumeration(one, background);
    KnownMotif two = RandomMotif(8, 33);
    two.pairs = {RandomPair(0, 7, 34), RandomPair(2, 3, 35)};
    ExpectMatchesEnumeration(two, background);
}

TEST(ScorePValues, GridScoresStayWithinHalfAStepPerColumnOfTheExactLogOdds)
{
    const BaseShares background{0.25, 0.25, 0.25, 0.25};
    const KnownMotif motif = RandomMotif(8, 41);
    const GridMotif grid = MakeGridMotif(motif, background);
    std::mt19937 random(42);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<std::uint8_t> word(8);
        double exact = 0.0;
        for (int j = 0; j < 8; ++j) {
            word[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(random() % 4);
            const double share = (motif.shares[static_cast<std::size_t>(j)][word[static_cast<std::size_t>(j)]] +
                                  kMotifShareFloor) / (1.0 + 4.0 * kMotifShareFloor);
            exact += std::log(share / 0.25);
        }
        EXPECT_LE(std::abs(GridScore(grid, word.data()) * kScoreGridStep - exact), 8 * kScoreGridStep / 2 + 1e-12);
    }
}

TEST(ScorePValues, FallAsTheScoreRisesAndThresholdsRoundTrip)
{
    const KnownMotif motif = RandomMotif(12, 51);
    const ScoreDistribution distribution(motif, BaseShares{0.25, 0.25, 0.25, 0.25});
    for (int s = distribution.LeastScore(); s < distribution.BestScore(); ++s)
        ASSERT_GE(distribution.PValue(s), distribution.PValue(s + 1));
    for (double p : {0.5, 1e-2, 1e-4, 1e-6}) {
        const int threshold = distribution.Threshold(p);
        EXPECT_LE(distribution.PValue(threshold), p);
        EXPECT_GT(distribution.PValue(threshold - 1), p) << "the threshold is the least score at p";
    }
}

TEST(ScorePValues, AMotifWhoseBestWordIsTooCommonHasNoThreshold)
{
    // Three columns: the best word alone has probability 1/64 > 1e-4.
    const KnownMotif motif = RandomMotif(3, 61);
    const ScoreDistribution distribution(motif, BaseShares{0.25, 0.25, 0.25, 0.25});
    EXPECT_EQ(distribution.Threshold(1e-4), distribution.BestScore() + 1);
}

// Whether a sequence holds a site, as the scan asks it: through the blocked motifs of both strands.
bool Holds(const KnownMotif& motif, const BaseShares& background, int threshold, const std::vector<std::uint8_t>& codes,
           std::size_t length)
{
    std::vector<std::uint16_t> blocks;
    BlockIndexes(codes, blocks);
    return HoldsSite(MakeBlockedMotif(MakeGridMotif(motif, background)),
                     MakeBlockedMotif(MakeReverseGridMotif(motif, background)), threshold, codes.data(), blocks.data(),
                     length);
}

TEST(ScoreScan, FindsAWordOnEitherStrandExactlyAtTheThreshold)
{
    const BaseShares background{0.25, 0.25, 0.25, 0.25};
    KnownMotif motif;
    motif.id = "M";
    for (char letter : std::string("TGACGCA")) {
        std::array<double, 4> column{0.02, 0.02, 0.02, 0.02};
        column[std::string("ACGT").find(letter)] = 0.94;
        motif.shares.push_back(column);
    }
    const GridMotif forward = MakeGridMotif(motif, background);
    const GridMotif reverse = MakeReverseGridMotif(motif, background);
    const std::vector<std::uint8_t> site = {3, 2, 0, 1, 2, 1, 0};      // TGACGCA
    const std::vector<std::uint8_t> reversed = {3, 2, 1, 2, 3, 1, 0};  // TGCGTCA, its reverse complement
    const int best = GridScore(forward, site.data());
    EXPECT_EQ(best, forward.bestTotal);
    EXPECT_EQ(GridScore(reverse, reversed.data()), best) << "the other strand scores the same word the same";
    std::vector<std::uint8_t> sequence = {0, 0, 4, 0, 3, 2, 1, 2, 3, 1, 0, 0};  // AANA, the reversed site, A
    EXPECT_TRUE(Holds(motif, background, best, sequence, sequence.size()));
    EXPECT_FALSE(Holds(motif, background, best + 1, sequence, sequence.size()));
    sequence[6] = 4;  // an N inside the only site
    EXPECT_FALSE(Holds(motif, background, forward.worstTotal, sequence, sequence.size()));
    EXPECT_FALSE(Holds(motif, background, forward.worstTotal, site, 6)) << "shorter than the motif";
}

TEST(ScoreScan, EveryWayOfScoringAgreesWithTheFullScoreForEveryWord)
{
    const BaseShares background{0.3, 0.2, 0.2, 0.3};
    KnownMotif small = RandomMotif(6, 71);
    small.pairs = {RandomPair(2, 5, 72)};
    const GridMotif grid = MakeGridMotif(small, background);
    const BlockedMotif blocked = MakeBlockedMotif(grid);
    const int threshold = ScoreDistribution(small, background).Threshold(0.01);
    std::vector<std::uint8_t> word(6);
    std::vector<std::uint16_t> blocks;
    for (int index = 0; index < 4096; ++index) {
        for (int j = 0; j < 6; ++j)
            word[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>((index >> (2 * j)) & 3);
        BlockIndexes(word, blocks);
        const bool reaches = GridScore(grid, word.data()) >= threshold;
        ASSERT_EQ(ReachesThreshold(grid, word.data(), threshold), reaches);
        ASSERT_EQ(BlockedReaches(blocked, word.data(), blocks.data(), threshold), reaches);
    }
}

TEST(ScoreScan, TwoBlocksTheColumnsAfterThemAndPairsAddUpToTheFullScore)
{
    const BaseShares background{0.2, 0.3, 0.3, 0.2};
    KnownMotif motif = RandomMotif(13, 73);
    motif.pairs = {RandomPair(3, 11, 74), RandomPair(6, 7, 75)};
    const GridMotif grid = MakeGridMotif(motif, background);
    const BlockedMotif blocked = MakeBlockedMotif(grid);
    ASSERT_EQ(blocked.blocks, 2);
    std::mt19937 random(76);
    std::vector<std::uint8_t> word(13);
    std::vector<std::uint16_t> blocks;
    for (int trial = 0; trial < 20000; ++trial) {
        for (std::uint8_t& code : word)
            code = static_cast<std::uint8_t>(random() % 4);
        if (trial % 50 == 0)
            word[random() % 13] = 4;
        BlockIndexes(word, blocks);
        const int score = GridScore(grid, word.data());
        const int near = score == kNoGridScore ? grid.worstTotal : score;
        for (int threshold : {near, near + 1, grid.bestTotal - 200})
            ASSERT_EQ(BlockedReaches(blocked, word.data(), blocks.data(), threshold),
                      score != kNoGridScore && score >= threshold)
                << "trial " << trial << ", threshold " << threshold;
    }
}

TEST(ScoreScan, TheOtherStrandScoresTheReverseComplementAgainstAnUnevenBackground)
{
    const BaseShares background{0.35, 0.1, 0.2, 0.35};
    KnownMotif motif = RandomMotif(9, 77);
    motif.pairs = {RandomPair(0, 4, 78)};
    const GridMotif forward = MakeGridMotif(motif, background);
    const GridMotif reverse = MakeReverseGridMotif(motif, background);
    std::mt19937 random(79);
    std::vector<std::uint8_t> word(9);
    std::vector<std::uint8_t> complement(9);
    for (int trial = 0; trial < 2000; ++trial) {
        for (std::size_t j = 0; j < 9; ++j)
            word[j] = static_cast<std::uint8_t>(random() % 4);
        for (std::size_t j = 0; j < 9; ++j)
            complement[j] = static_cast<std::uint8_t>(3 - word[8 - j]);
        ASSERT_EQ(GridScore(reverse, word.data()), GridScore(forward, complement.data()));
    }
}

TEST(ScoreMotifs, ReverseComplementTwiceIsTheMotifAndOverlappingPairsAreRefused)
{
    KnownMotif motif = RandomMotif(7, 81);
    motif.pairs = {RandomPair(1, 5, 82)};
    const KnownMotif twice = ReverseComplement(ReverseComplement(motif));
    EXPECT_EQ(twice.shares, motif.shares);
    EXPECT_EQ(twice.pairs[0].shares, motif.pairs[0].shares);
    EXPECT_FALSE(CheckPairs(motif));
    motif.pairs.push_back(RandomPair(5, 6, 83));
    ASSERT_TRUE(CheckPairs(motif));
    EXPECT_THAT(CheckPairs(motif)->message, HasSubstr("two pairs"));
    motif.pairs = {RandomPair(3, 9, 84)};
    EXPECT_TRUE(CheckPairs(motif));
}

TEST(BackgroundShares, ReadsFourNumbersScaledToOneAndRefusesTooFewNamingTheFile)
{
    testing::TempDir dir;
    BaseShares shares{};
    EXPECT_FALSE(ReadBaseShares(dir.Write("bg.txt", "# A C G T\n3\t2 2\n3\n"), shares));
    EXPECT_DOUBLE_EQ(shares[0], 0.3);
    EXPECT_DOUBLE_EQ(shares[1], 0.2);
    const std::string few = dir.Write("few.txt", "0.3 0.2 0.5\n");
    ASSERT_TRUE(ReadBaseShares(few, shares));
    EXPECT_THAT(ReadBaseShares(few, shares)->message, HasSubstr(few));
    EXPECT_TRUE(ReadBaseShares(dir.Write("zero.txt", "0.5 0 0.25 0.25\n"), shares));
    const BaseShares counted = StrandBaseShares({"AAAC"});
    EXPECT_DOUBLE_EQ(counted[0], counted[3]);
    EXPECT_DOUBLE_EQ(counted[0], 4.0 / 12.0);
}

}  // namespace
}  // namespace kalvo
