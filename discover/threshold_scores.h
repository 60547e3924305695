// discover/threshold_scores.h: the window scores a site threshold is chosen from, kept within a bound.
// A site threshold is chosen among the scores of every target and control window
// above a floor, and there can be as many as the input has residues. Up to a limit
// they are all kept. Past it only a count per narrow range of scores (a bin) is
// kept, and a second pass keeps the scores of the ranges where the best threshold
// can lie, and all above them: SiteThreshold then gives what it gives on them all.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kalvo {

// Scores kept before only their counts per bin are: 64 MB of them. Enough for the
// windows of a hundred thousand typical peaks to be chosen from in one pass.
inline constexpr std::size_t kKeptThresholdScores = std::size_t{1} << 23;

class ThresholdScores {
public:
    // Keeps the scores from `floor` on, up to `keptLimit` of them. Room for them is
    // reserved at once, so they are never copied as they grow (the system gives
    // memory to the pages that are written, not to the room).
    ThresholdScores(double floor, std::size_t keptLimit);

    // One window's score, of a target or a control; every window counts, whatever its score.
    void Add(double score, bool target);
    // Windows whose scores are known to be kept by none: counted only.
    void CountWindows(long long windows, bool target) { (target ? m_targetWindows : m_controlWindows) += windows; }
    // Whether Add keeps this score; a lower score is never kept when this one is not.
    bool Keeps(double score) const;
    // True while every score from the floor on is kept.
    bool Complete() const { return m_bins.empty(); }
    // For a second pass over the same windows when the limit was passed: keeps,
    // without a limit, only the scores from the lowest bin on where a threshold can
    // do as well as the best one can be shown to (with this cost of a false call).
    ThresholdScores Narrowed(double falseCallCost) const;

    long long TargetWindows() const { return m_targetWindows; }
    long long ControlWindows() const { return m_controlWindows; }
    std::vector<double> TakeTargetScores() { return std::move(m_targetScores); }
    std::vector<double> TakeControlScores() { return std::move(m_controlScores); }

private:
    void CountInBins();

    double m_floor = 0.0;
    std::uint64_t m_lowestKey = 0;  // with the floor: the scores kept start at this key (see the .cpp)
    bool m_keepsNone = false;
    std::size_t m_keptLimit = 0;
    long long m_targetWindows = 0;
    long long m_controlWindows = 0;
    std::vector<double> m_targetScores;
    std::vector<double> m_controlScores;
    std::vector<std::array<long long, 2>> m_bins;  // targets and controls per bin, once the limit was passed
};

}  // namespace kalvo
