// discover/known/score_distribution.h: the exact distribution of a known motif's log-odds score over
// random words, on a fine score grid, and a scorer that scores words on that same grid, so that a
// site "at p" means the same thing when thresholds are chosen and when sequences are scanned.
#pragma once
#include <array>
#include <cstdint>
#include <limits>
#include <cstddef>
#include <string>
#include <vector>

#include "discover/known/known_motif.h"
#include "model/refusal.h"

namespace kalvo {

// Nats per grid step. Every cell score is rounded to the grid, so a word's grid score lies within
// width x step / 2 of its exact log-odds score; p-values of grid scores are exact.
inline constexpr double kScoreGridStep = 0.01;
// Added to every motif share before the column is scaled back to sum 1: a letter no site showed
// still scores finitely (ln(0.01 / 1.04 / 0.25) = -3.3 nats against a uniform background).
inline constexpr double kMotifShareFloor = 0.01;
// The grid score of a word holding a letter other than A, C, G, T: below any threshold.
inline constexpr int kNoGridScore = std::numeric_limits<int>::min();

// Shares of A, C, G, T that words are drawn from under the null: each above 0, summing to 1.
using BaseShares = std::array<double, 4>;

// Base shares of sequences with both strands counted (so A = T and C = G), one A/T and one C/G
// pair added so that no share is 0; uniform without a base.
BaseShares StrandBaseShares(const std::vector<std::string>& sequences);

// Reads a background file: its first four numbers are the shares of A, C, G and T (whitespace
// or tabs between them, lines starting with '#' skipped), scaled to sum 1; each must be above 0.
// The first line of a `kalvo find` background file reads the same way.
Outcome ReadBaseShares(const std::string& path, BaseShares& shares);

// Refuses a motif whose correlated pairs overlap, repeat a column or reach past its width: a pair
// is scored as one 16-letter column, which is only exact when no column is in two of them.
Outcome CheckPairs(const KnownMotif& motif);

// The motif read on the other strand: columns reversed, letters complemented, pairs with them.
KnownMotif ReverseComplement(const KnownMotif& motif);

// A motif's grid scores: each independent column and each pair as one scoring unit, the units
// most able to rule a word out first, so a scan can stop at the first that does.
struct GridMotif {
    struct Column {
        int offset = 0;                // column of the word
        std::array<int, 5> score{};    // by letter code; code 4 scores kNoGridScore's stand-in
        int bestAfter = 0;             // the best the units after this one can add
    };
    struct Pair {
        int first = 0;
        int second = 0;
        std::array<int, 25> score{};   // by 5 x first code + second code
        int bestAfter = 0;
    };
    int width = 0;
    std::vector<Column> columns;       // the independent columns, scored first
    std::vector<Pair> pairs;
    int bestTotal = 0;                 // the best score any word reaches
    int worstTotal = 0;                // the worst score a word of A, C, G, T reaches
};

// Grid scores of a motif against a background; the motif's pairs must pass CheckPairs.
GridMotif MakeGridMotif(const KnownMotif& motif, const BaseShares& background);

// The same scores for the other strand: scoring forward codes with it scores the reverse
// complement of the word, against the same background.
GridMotif MakeReverseGridMotif(const KnownMotif& motif, const BaseShares& background);

// The grid score of the word starting at codes[0] (A 0, C 1, G 2, T 3), or kNoGridScore when it
// holds any other code.
int GridScore(const GridMotif& motif, const std::uint8_t* codes);

// Whether the word at codes[0] scores at least `threshold`; stops at the first unit after
// which even the best remaining columns cannot reach it.
inline bool ReachesThreshold(const GridMotif& motif, const std::uint8_t* codes, int threshold)
{
    int score = 0;
    for (const GridMotif::Column& column : motif.columns) {
        score += column.score[codes[column.offset]];
        if (score + column.bestAfter < threshold)
            return false;
    }
    for (const GridMotif::Pair& pair : motif.pairs) {
        score += pair.score[5 * codes[pair.first] + codes[pair.second]];
        if (score + pair.bestAfter < threshold)
            return false;
    }
    return true;
}

// Letters per block of the scan's lookup tables: a block of columns is scored in one look-up.
inline constexpr int kBlockLetters = 6;
// The block index of a word holding a code above 3, or of a position too near the end for a block.
inline constexpr std::uint16_t kNoBlock = 1 << (2 * kBlockLetters);

// The block index of every position of a sequence: its next kBlockLetters letters in base 4, the
// first most significant, or kNoBlock. Computed once per sequence and shared by every motif.
void BlockIndexes(const std::vector<std::uint8_t>& codes, std::vector<std::uint16_t>& blocks);

// A motif's grid scores arranged for scanning: one or two blocks of kBlockLetters adjacent columns,
// those that rule most words out, each looked up in one step (one table entry per block index),
// the other columns and the pairs scored one by one after them. Totals are the GridMotif's own.
struct BlockedMotif {
    int width = 0;
    int blocks = 0;                     // 0 for motifs narrower than a block, else 1 or 2
    std::array<int, 2> start{};         // the first column of each block
    std::vector<int> table;             // blocks x (kNoBlock + 1) partial scores
    std::array<int, 2> bestAfter{};     // the best the units after block b can add
    GridMotif rest;                     // the columns outside the blocks, and the pairs
};

BlockedMotif MakeBlockedMotif(const GridMotif& grid);

// Whether the word at codes[0] (blocks[0] its block index) scores at least `threshold`.
inline bool BlockedReaches(const BlockedMotif& motif, const std::uint8_t* codes, const std::uint16_t* blocks,
                           int threshold)
{
    int score = 0;
    if (motif.blocks > 0) {
        score = motif.table[blocks[motif.start[0]]];
        if (score + motif.bestAfter[0] < threshold)
            return false;
        if (motif.blocks > 1) {
            score += motif.table[kNoBlock + 1 + blocks[motif.start[1]]];
            if (score + motif.bestAfter[1] < threshold)
                return false;
        }
    }
    return ReachesThreshold(motif.rest, codes, threshold - score);
}

// Whether a sequence (letter codes and their block indexes) holds a word at or above `threshold`
// on either strand; allocates nothing and stops at the first such word.
bool HoldsSite(const BlockedMotif& forward, const BlockedMotif& reverse, int threshold, const std::uint8_t* codes,
               const std::uint16_t* blocks, std::size_t length);

// P(grid score >= s) for a word drawn letter by letter from the background: exact over the grid,
// by dynamic programming over the scoring units, each a column or a pair of columns.
class ScoreDistribution {
public:
    ScoreDistribution(const KnownMotif& motif, const BaseShares& background);
    // P(score of a random word on one strand >= score); 1 below the least score, 0 above the best.
    double PValue(int score) const;
    // The least grid score whose p-value is at most `p`; BestScore() + 1 when even the best word's
    // p-value is above `p` (no word can be a site at that p).
    int Threshold(double p) const;
    int BestScore() const { return m_least + static_cast<int>(m_tail.size()) - 1; }
    int LeastScore() const { return m_least; }

private:
    int m_least = 0;
    std::vector<double> m_tail;  // m_tail[k] = P(score >= m_least + k)
};

}  // namespace kalvo
