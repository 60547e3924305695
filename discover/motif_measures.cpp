// discover/motif_measures.cpp: separation and site-call thresholds of a motif on a discovery's sets.
#include "discover/motif_measures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "discover/threshold_scores.h"

namespace kalvo {
namespace {

// Scores of the best word of every listed sequence.
std::vector<double> BestScores(const MotifScanner& scanner, const std::vector<std::vector<std::uint8_t>>& codes,
                               const std::vector<int>& which, bool bothStrands)
{
    std::vector<double> best;
    best.reserve(which.size());
    for (int i : which)
        best.push_back(scanner.BestScore(codes[static_cast<std::size_t>(i)], bothStrands));
    return best;
}

// The windows of the listed targets and of every control, a stretch at a time. The
// first pass notes each stretch's best score, so that a second scores only the
// stretches that hold a score it keeps (the others' windows are counted all the same).
class ScoredWindows {
public:
    ScoredWindows(const ScoringSets& sets, const MotifScanner& scanner, const std::vector<int>& targets)
        : m_sets(sets), m_scanner(scanner), m_targets(targets)
    {
    }

    void AddTo(ThresholdScores& scores)
    {
        m_stretchIndex = 0;
        for (int i : m_targets)
            AddSequence(m_sets.targetCodes[static_cast<std::size_t>(i)], true, scores);
        for (const auto& codes : m_sets.controlCodes)
            AddSequence(codes, false, scores);
        m_noted = true;
    }

private:
    void AddSequence(const std::vector<std::uint8_t>& codes, bool target, ThresholdScores& scores)
    {
        const bool both = m_sets.bothStrands;
        const long long starts = std::max(0LL, static_cast<long long>(codes.size()) - m_scanner.Width() + 1);
        for (long long first = 0; first < starts; first += kScanStretch) {
            const std::size_t stretch = m_stretchIndex++;
            if (m_noted && !scores.Keeps(m_best[stretch])) {
                scores.CountWindows(std::min(kScanStretch, starts - first), target);
                continue;
            }
            m_scores.Score(m_scanner, codes, both, first);
            double best = kNoScore;
            for (std::size_t p = 0; p < m_scores.Size(); ++p) {
                const double score = both ? std::max(m_scores.Forward(p), m_scores.Reverse(p)) : m_scores.Forward(p);
                scores.Add(score, target);
                best = std::max(best, score);
            }
            if (!m_noted)
                m_best.push_back(best);
        }
    }

    const ScoringSets& m_sets;
    const MotifScanner& m_scanner;
    const std::vector<int>& m_targets;
    StretchScores m_scores;
    std::vector<double> m_best;  // of each stretch, in scan order
    std::size_t m_stretchIndex = 0;
    bool m_noted = false;
};

}  // namespace

Separation Separate(const ScoringSets& sets, const MotifScanner& scanner)
{
    const bool both = sets.bothStrands;
    if (!HoldsOut(sets)) {
        return BestSeparation(BestScores(scanner, sets.targetCodes, sets.test, both),
                              BestScores(scanner, sets.controlCodes, sets.allControls, both));
    }
    // The threshold is chosen on the training targets and one half of the
    // controls, and tested on sequences that played no part in choosing it:
    // the test targets and the other half. A threshold picked among many on the
    // same data it is tested on would make chance look significant.
    const Separation chosen = BestSeparation(BestScores(scanner, sets.targetCodes, sets.training, both),
                                             BestScores(scanner, sets.controlCodes, sets.choosingControls, both));
    return SeparationAt(chosen.threshold, BestScores(scanner, sets.targetCodes, sets.test, both),
                        BestScores(scanner, sets.controlCodes, sets.testingControls, both));
}

CallThresholds CallThreshold(const ScoringSets& sets, const MotifScanner& scanner, double floor,
                             const std::vector<int>& targets, double falseCallCost)
{
    // Windows far below the threshold never decide it, so only those from `floor`
    // on are kept; past a limit, only those where the threshold can lie (a second pass).
    ScoredWindows windows(sets, scanner, targets);
    ThresholdScores scores(floor, kKeptThresholdScores);
    windows.AddTo(scores);
    if (!scores.Complete()) {
        scores = scores.Narrowed(falseCallCost);
        windows.AddTo(scores);
    }
    const long long targetWindows = scores.TargetWindows();
    const long long controlWindows = scores.ControlWindows();
    const SiteCut cut = SiteThreshold(scores.TakeTargetScores(), targetWindows, scores.TakeControlScores(),
                                      controlWindows, falseCallCost);
    CallThresholds thresholds{cut.threshold, cut.threshold};
    if (!std::isfinite(cut.threshold))
        return thresholds;
    // Most sets hold one site per sequence or none. Further sites in a sequence
    // are called only when there are clearly more of them than the calls expected
    // by chance at all; otherwise nearly every one of them would be one of those.
    long long extra = 0;
    for (int i : targets) {
        const auto hits = CallHits(scanner, sets.targetCodes[static_cast<std::size_t>(i)], sets.bothStrands,
                                   thresholds);
        extra += hits.empty() ? 0 : static_cast<long long>(hits.size()) - 1;
    }
    if (static_cast<double>(extra) <= 2.0 * cut.expectedFalse)
        thresholds.more = std::numeric_limits<double>::infinity();
    return thresholds;
}

}  // namespace kalvo
