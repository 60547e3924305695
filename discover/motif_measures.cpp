// discover/motif_measures.cpp: separation and site-call thresholds of a motif on a discovery's sets.
#include "discover/motif_measures.h"

#include <algorithm>
#include <cmath>
#include <limits>

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
    // Windows far below the threshold never decide it; keeping only those above
    // `floor` bounds the memory.
    std::vector<double> forward;
    std::vector<double> reverse;
    auto windows = [&](const std::vector<std::uint8_t>& codes, long long& counted, std::vector<double>& kept) {
        scanner.ScoreSequence(codes, sets.bothStrands, forward, reverse);
        counted += static_cast<long long>(forward.size());
        for (std::size_t p = 0; p < forward.size(); ++p) {
            const double score = reverse.empty() ? forward[p] : std::max(forward[p], reverse[p]);
            if (score >= floor)
                kept.push_back(score);
        }
    };
    long long targetWindows = 0;
    long long controlWindows = 0;
    std::vector<double> targetScores;
    std::vector<double> controlScores;
    for (int i : targets)
        windows(sets.targetCodes[static_cast<std::size_t>(i)], targetWindows, targetScores);
    for (const auto& codes : sets.controlCodes)
        windows(codes, controlWindows, controlScores);
    const SiteCut cut = SiteThreshold(std::move(targetScores), targetWindows, std::move(controlScores),
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
