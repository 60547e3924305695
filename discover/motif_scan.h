// discover/motif_scan.h: a run's motif as a scanner: how well every word of a sequence fits it.
// A word is scored as the run's own model scores it: the columns outside every
// correlated group each with their shares, each group with its joint cell,
// over the run's background (first-order Markov). Pseudocounts keep unseen
// letters finite. Scores are natural logs of the likelihood ratio.
#pragma once
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_state.h"

namespace kalvo {

// What a motif is estimated from: counts of its sites, its correlated groups, the background.
struct MotifModel {
    int width = 0;
    int numSites = 0;
    std::vector<std::array<int, 4>> counts;  // per column, A, C, G, T
    std::vector<GroupNode> groups;           // columns and joint counts; probs and logBF as reported
    std::array<double, 4> bgFreq{};
    std::array<double, 16> bgTrans{};        // P(b | a) at 4a + b
    double pseudocount = 1.0;                // per letter
};

// The motif of a run whose best state has been installed (no pseudocounts in its counts).
MotifModel ModelOfRun(const CMotifSampler& run);

// The model restricted to columns [left, width - right): groups with a column cut off are dropped.
MotifModel TrimModel(const MotifModel& model, int left, int right);

// The model re-estimated from the words of its sites (motif orientation):
// column counts, group joint counts and the number of sites; the rest is kept.
MotifModel RefitModel(const MotifModel& model, const std::vector<std::string>& words);

// Letter codes of a sequence: A 0, C 1, G 2, T 3, anything else 4 (no word holding it is scored).
std::vector<std::uint8_t> EncodeSequence(std::string_view sequence);

inline constexpr double kNoScore = -std::numeric_limits<double>::infinity();

// A model turned into tables of logarithms, for scanning many sequences.
class MotifScanner {
public:
    explicit MotifScanner(const MotifModel& model);
    int Width() const { return m_width; }
    // Score of the word starting at codes[0] (width letters), or kNoScore when it holds a code 4.
    double ScoreCodes(const std::uint8_t* codes) const;
    // Best score of a sequence over both strands (or the given one); kNoScore when no word can be scored.
    // Scored a stretch at a time (StretchScores), so a long sequence takes no buffer of its length.
    double BestScore(const std::vector<std::uint8_t>& codes, bool bothStrands) const;

private:
    int m_width = 0;
    std::vector<double> m_columnLog;   // 4 per column; 0 for columns inside a group
    struct GroupTable {
        std::vector<int> columns;
        std::vector<double> cellLog;   // 4^size cells by word index
    };
    std::vector<GroupTable> m_groups;
    std::array<double, 4> m_bgFirstLog{};
    std::array<double, 16> m_bgTransLog{};
};

// Start positions a scan scores at a time: scans of long sequences hold buffers of a stretch, never of the sequence.
inline constexpr long long kScanStretch = 1 << 14;

// The window scores of a sequence, a stretch of start positions at a time: each start
// on the given strand (forward) and the reverse complement of the same window (reverse),
// both indexed by leftmost position. The buffers take the size of the first stretch
// and are reused, so a scan allocates nothing per window or per stretch.
class StretchScores {
public:
    // Scores the windows starting at first, first + 1, ..., at most kScanStretch of them;
    // false when no window starts at first.
    bool Score(const MotifScanner& scanner, const std::vector<std::uint8_t>& codes, bool bothStrands,
               long long first);
    std::size_t Size() const { return m_forward.size(); }
    // Window i of the stretch (start first + i) on the given strand, and its reverse
    // complement (only when both strands are scored).
    double Forward(std::size_t i) const { return m_forward[i]; }
    double Reverse(std::size_t i) const { return m_reverse[i]; }

private:
    std::vector<double> m_forward;
    std::vector<double> m_reverse;
    std::vector<std::uint8_t> m_complement;  // the reverse complement of the stretch's residues
};

// A site found by scanning: leftmost position on the given strand, strand, score.
struct ScanHit {
    long long start = 0;
    bool forward = true;
    double score = 0.0;
};

// Score thresholds of site calls: a sequence's best window is a site from
// `first` on; its other windows, once it has a site, from `more` on.
struct CallThresholds {
    double first = 0.0;
    double more = 0.0;
};

// Sites of a sequence on the searched strands, none overlapping another: the
// best window first, then the best of what is left, each at its threshold.
// Returned by position. Scanned a stretch at a time: besides the sites, it holds
// only windows at or above the thresholds that overlap one another in a row.
std::vector<ScanHit> CallHits(const MotifScanner& scanner, const std::vector<std::uint8_t>& codes, bool bothStrands,
                              const CallThresholds& thresholds);

}  // namespace kalvo
