// tests/discover/motif_scan_test.cpp: words scored as the run's model scores them, site calls at a threshold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

#include "discover/motif_scan.h"

namespace kalvo {
namespace {

// A model of `sites` identical words over a uniform background, pseudocount 1.
MotifModel ModelOf(const std::string& word, int sites)
{
    MotifModel model;
    model.width = static_cast<int>(word.size());
    model.numSites = sites;
    for (char letter : word) {
        std::array<int, 4> column{};
        column[static_cast<std::size_t>(std::string("ACGT").find(letter))] = sites;
        model.counts.push_back(column);
    }
    model.bgFreq.fill(0.25);
    model.bgTrans.fill(0.25);
    return model;
}

double Score(const MotifScanner& scanner, const std::string& word)
{
    const auto codes = EncodeSequence(word);
    return scanner.ScoreCodes(codes.data());
}

TEST(MotifScan, WordScoreIsTheLogRatioWithPseudocountsOverTheBackground)
{
    const MotifScanner scanner(ModelOf("AC", 6));
    // (6 + 1) / (6 + 4) per matching column, 1 / 10 otherwise, over 0.25 per letter.
    EXPECT_NEAR(Score(scanner, "AC"), 2 * std::log(0.7 / 0.25), 1e-12);
    EXPECT_NEAR(Score(scanner, "AG"), std::log(0.7 / 0.25) + std::log(0.1 / 0.25), 1e-12);
    EXPECT_EQ(Score(scanner, "AN"), kNoScore);
}

TEST(MotifScan, CorrelatedPairScoresWordsThatAMatrixCannotTellApart)
{
    // Columns 0 and 1 each half A, half T; together only AT and TA occur.
    MotifModel model;
    model.width = 2;
    model.numSites = 8;
    model.counts = {{4, 0, 0, 4}, {4, 0, 0, 4}};
    model.bgFreq.fill(0.25);
    model.bgTrans.fill(0.25);
    const MotifScanner matrixOnly(model);
    EXPECT_DOUBLE_EQ(Score(matrixOnly, "AT"), Score(matrixOnly, "AA"));

    GroupNode pair;
    pair.size = 2;
    pair.positions = {0, 1};
    pair.counts.assign(16, 0);
    pair.counts[0 * 4 + 3] = 4;  // AT
    pair.counts[3 * 4 + 0] = 4;  // TA
    model.groups.push_back(pair);
    const MotifScanner withPair(model);
    EXPECT_GT(Score(withPair, "AT"), Score(withPair, "AA") + 2.0);
    EXPECT_DOUBLE_EQ(Score(withPair, "AT"), Score(withPair, "TA"));
}

TEST(MotifScan, ReverseStrandScoresAreIndexedByLeftmostPosition)
{
    const MotifScanner scanner(ModelOf("AACG", 10));
    // CGTT at 3 is the reverse complement of AACG.
    const auto codes = EncodeSequence("GGGCGTTGG");
    StretchScores scores;
    ASSERT_TRUE(scores.Score(scanner, codes, true, 0));
    ASSERT_EQ(scores.Size(), 6u);
    const double reverse = scores.Reverse(3);
    EXPECT_DOUBLE_EQ(reverse, Score(scanner, "AACG"));
    EXPECT_DOUBLE_EQ(scanner.BestScore(codes, true), reverse);
    EXPECT_LT(scanner.BestScore(codes, false), reverse);
    EXPECT_FALSE(scores.Score(scanner, codes, true, 6));  // no window starts past the last one

    const auto hits = CallHits(scanner, codes, true, {reverse, reverse});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].start, 3);
    EXPECT_FALSE(hits[0].forward);
}

TEST(MotifScan, CallsAreAtOrAboveTheThresholdAndNeverOverlap)
{
    const MotifScanner scanner(ModelOf("AAAA", 10));
    // A run of eight A: five windows score the top; only two fit side by side.
    const auto codes = EncodeSequence("CAAAAAAAACGAAAAC");
    const double top = Score(scanner, "AAAA");
    const auto hits = CallHits(scanner, codes, false, {top, top});
    ASSERT_EQ(hits.size(), 2u + 1u);
    EXPECT_EQ(hits[0].start, 1);  // the leftmost of equal scores comes first
    EXPECT_EQ(hits[1].start, 5);
    EXPECT_EQ(hits[2].start, 11);
    for (const ScanHit& hit : hits)
        EXPECT_GE(hit.score, top);
    EXPECT_TRUE(CallHits(scanner, codes, false, {std::nextafter(top, 100.0), top}).empty());
}

TEST(MotifScan, OtherWindowsAreSitesOnlyInASequenceWhoseBestWindowIsOne)
{
    const MotifScanner scanner(ModelOf("AAAA", 10));
    const double top = Score(scanner, "AAAA");
    const double weak = Score(scanner, "AAAC");
    const auto both = EncodeSequence("GAAAAGGAAACG");
    const auto weakOnly = EncodeSequence("GGGAAACGGGG");
    // The weaker window passes `more` but not `first`: it counts only beside a best site.
    const CallThresholds thresholds{top, weak};
    EXPECT_EQ(CallHits(scanner, both, false, thresholds).size(), 2u);
    EXPECT_TRUE(CallHits(scanner, weakOnly, false, thresholds).empty());
    EXPECT_EQ(CallHits(scanner, both, false, {weak, top}).size(), 1u);
}

// The score of every window of a sequence, read straight from the whole sequence: the
// given strand, and the reverse complement of the same window.
struct WholeScores {
    std::vector<double> forward;
    std::vector<double> reverse;
};

WholeScores ScoreWhole(const MotifScanner& scanner, const std::string& sequence)
{
    std::string complement(sequence.rbegin(), sequence.rend());
    for (char& c : complement)
        c = c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : c == 'T' ? 'A' : c;
    const auto codes = EncodeSequence(sequence);
    const auto reverseCodes = EncodeSequence(complement);
    const std::size_t width = static_cast<std::size_t>(scanner.Width());
    WholeScores whole;
    for (std::size_t p = 0; p + width <= sequence.size(); ++p) {
        whole.forward.push_back(scanner.ScoreCodes(codes.data() + p));
        whole.reverse.push_back(scanner.ScoreCodes(reverseCodes.data() + (sequence.size() - width - p)));
    }
    return whole;
}

// Calls made over the whole sequence at once: every window's better strand, best first
// (of equal scores the leftmost), each kept when it overlaps nothing kept before and
// passes its threshold (`first` for the first one kept, `more` after).
std::vector<ScanHit> WholeSequenceCalls(const WholeScores& whole, int width, bool bothStrands,
                                        const CallThresholds& thresholds)
{
    std::vector<ScanHit> windows;
    for (std::size_t p = 0; p < whole.forward.size(); ++p) {
        const bool reverseBetter = bothStrands && whole.reverse[p] > whole.forward[p];
        const double score = reverseBetter ? whole.reverse[p] : whole.forward[p];
        windows.push_back({static_cast<long long>(p), !reverseBetter, score});
    }
    std::sort(windows.begin(), windows.end(), [](const ScanHit& a, const ScanHit& b) {
        return a.score != b.score ? a.score > b.score : a.start < b.start;
    });
    std::vector<ScanHit> hits;
    for (const ScanHit& window : windows) {
        if (!(window.score >= (hits.empty() ? thresholds.first : thresholds.more))) {
            if (hits.empty())
                break;
            continue;
        }
        const bool overlaps = std::any_of(hits.begin(), hits.end(), [&](const ScanHit& hit) {
            return std::abs(hit.start - window.start) < width;
        });
        if (!overlaps)
            hits.push_back(window);
    }
    std::sort(hits.begin(), hits.end(), [](const ScanHit& a, const ScanHit& b) { return a.start < b.start; });
    return hits;
}

TEST(MotifScan, ALongSequenceScansInStretchesAsIfScannedWhole)
{
    // Three stretches and a bit: random letters, a stretch of N, and the word planted
    // often, some copies overlapping and some across the ends of stretches.
    std::mt19937 random(17);
    std::string sequence;
    for (long long i = 0; i < 3 * kScanStretch + 37; ++i)
        sequence += "ACGT"[random() % 4];
    sequence.replace(5000, 300, std::string(300, 'N'));
    for (std::size_t at = 40; at + 20 < sequence.size(); at += 97 + random() % 400)
        sequence.replace(at, 6, random() % 2 ? "TTGACG" : "CGTCAA");
    for (long long end = kScanStretch; end < 3 * kScanStretch; end += kScanStretch)
        sequence.replace(static_cast<std::size_t>(end - 3), 9, "TTGACGTCA");
    const MotifScanner scanner(ModelOf("TTGACG", 12));
    const WholeScores whole = ScoreWhole(scanner, sequence);
    const auto codes = EncodeSequence(sequence);

    for (const bool both : {true, false}) {
        double best = kNoScore;
        for (std::size_t p = 0; p < whole.forward.size(); ++p)
            best = std::max({best, whole.forward[p], both ? whole.reverse[p] : kNoScore});
        EXPECT_EQ(scanner.BestScore(codes, both), best);
        StretchScores scores;
        std::vector<double> forward;
        std::vector<double> reverse;
        for (long long first = 0; scores.Score(scanner, codes, both, first); first += kScanStretch) {
            EXPECT_LE(scores.Size(), static_cast<std::size_t>(kScanStretch));
            for (std::size_t i = 0; i < scores.Size(); ++i) {
                forward.push_back(scores.Forward(i));
                if (both)
                    reverse.push_back(scores.Reverse(i));
            }
        }
        EXPECT_EQ(forward, whole.forward);
        EXPECT_EQ(reverse, both ? whole.reverse : std::vector<double>());

        const double top = Score(scanner, "TTGACG");
        const double inf = std::numeric_limits<double>::infinity();
        for (const CallThresholds thresholds : {CallThresholds{top, top}, CallThresholds{top, 2.0},
                                                CallThresholds{2.0, top}, CallThresholds{0.0, 0.0},
                                                CallThresholds{top, inf}, CallThresholds{top + 1.0, 0.0}}) {
            const std::vector<ScanHit> hits = CallHits(scanner, codes, both, thresholds);
            const std::vector<ScanHit> expected = WholeSequenceCalls(whole, 6, both, thresholds);
            ASSERT_EQ(hits.size(), expected.size()) << thresholds.first << " " << thresholds.more;
            for (std::size_t i = 0; i < hits.size(); ++i) {
                EXPECT_EQ(hits[i].start, expected[i].start);
                EXPECT_EQ(hits[i].forward, expected[i].forward);
                EXPECT_EQ(hits[i].score, expected[i].score);
            }
        }
    }
}

TEST(MotifScan, RefittingCountsTheSitesWordsInColumnsAndPairs)
{
    MotifModel model = ModelOf("AAA", 3);
    GroupNode pair;
    pair.size = 2;
    pair.positions = {2, 0};
    pair.counts.assign(16, 7);
    model.groups.push_back(pair);
    const MotifModel refit = RefitModel(model, {"ACG", "ACT", "TCG"});
    EXPECT_EQ(refit.numSites, 3);
    EXPECT_EQ(refit.counts[0], (std::array<int, 4>{2, 0, 0, 1}));
    EXPECT_EQ(refit.counts[1], (std::array<int, 4>{0, 3, 0, 0}));
    EXPECT_EQ(refit.counts[2], (std::array<int, 4>{0, 0, 2, 1}));
    // Pair cells keyed by column 2 then column 0: GA, TA and GT once each, the old counts gone.
    EXPECT_EQ(refit.groups[0].counts[2 * 4 + 0], 1);
    EXPECT_EQ(refit.groups[0].counts[3 * 4 + 0], 1);
    EXPECT_EQ(refit.groups[0].counts[2 * 4 + 3], 1);
    EXPECT_EQ(std::accumulate(refit.groups[0].counts.begin(), refit.groups[0].counts.end(), 0), 3);
    EXPECT_EQ(refit.bgFreq, model.bgFreq);
}

TEST(MotifScan, TrimmingDropsPairsThatLoseAColumnAndShiftsTheRest)
{
    MotifModel model = ModelOf("ACGTAC", 5);
    GroupNode inside;
    inside.size = 2;
    inside.positions = {3, 2};
    inside.counts.assign(16, 0);
    GroupNode cut = inside;
    cut.positions = {0, 4};
    model.groups = {inside, cut};
    const MotifModel trimmed = TrimModel(model, 1, 1);
    EXPECT_EQ(trimmed.width, 4);
    EXPECT_EQ(trimmed.counts.front(), model.counts[1]);
    ASSERT_EQ(trimmed.groups.size(), 1u);
    EXPECT_THAT(trimmed.groups[0].positions, ::testing::ElementsAre(2, 1));
}

}  // namespace
}  // namespace kalvo
