// discover/significance.cpp: the best separating threshold of a motif and its E-value.
#include "discover/significance.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "discover/fisher.h"

namespace kalvo {

Separation BestSeparation(std::vector<double> targetBest, std::vector<double> controlBest)
{
    std::sort(targetBest.begin(), targetBest.end(), std::greater<>());
    std::sort(controlBest.begin(), controlBest.end(), std::greater<>());
    Separation best;
    best.targets = static_cast<int>(targetBest.size());
    best.controls = static_cast<int>(controlBest.size());
    best.threshold = targetBest.empty() ? 0.0 : std::numeric_limits<double>::infinity();
    std::size_t controlHits = 0;
    for (std::size_t i = 0; i < targetBest.size(); ++i) {
        const double threshold = targetBest[i];
        if (!std::isfinite(threshold))
            break;
        // Only the last of equal scores is a split: all of them are above the threshold.
        if (i + 1 < targetBest.size() && targetBest[i + 1] == threshold)
            continue;
        while (controlHits < controlBest.size() && controlBest[controlHits] >= threshold)
            ++controlHits;
        const int targetHits = static_cast<int>(i + 1);
        const double log10P = Log10FisherEnrichment(targetHits, best.targets, static_cast<int>(controlHits),
                                                    best.controls);
        if (log10P < best.log10P) {
            best.log10P = log10P;
            best.threshold = threshold;
            best.targetHits = targetHits;
            best.controlHits = static_cast<int>(controlHits);
        }
    }
    return best;
}

Separation SeparationAt(double threshold, const std::vector<double>& targetBest,
                        const std::vector<double>& controlBest)
{
    Separation split;
    split.threshold = threshold;
    split.targets = static_cast<int>(targetBest.size());
    split.controls = static_cast<int>(controlBest.size());
    split.targetHits = static_cast<int>(
        std::count_if(targetBest.begin(), targetBest.end(), [&](double score) { return score >= threshold; }));
    split.controlHits = static_cast<int>(
        std::count_if(controlBest.begin(), controlBest.end(), [&](double score) { return score >= threshold; }));
    split.log10P = Log10FisherEnrichment(split.targetHits, split.targets, split.controlHits, split.controls);
    return split;
}

SiteCut SiteThreshold(std::vector<double> targetScores, long long targetWindows, std::vector<double> controlScores,
                      long long controlWindows, double falseCallCost)
{
    std::sort(targetScores.begin(), targetScores.end(), std::greater<>());
    std::sort(controlScores.begin(), controlScores.end(), std::greater<>());
    const double scale = controlWindows > 0 ? static_cast<double>(targetWindows) / static_cast<double>(controlWindows)
                                            : 0.0;
    SiteCut best{std::numeric_limits<double>::infinity(), 0.0};
    double bestGain = 0.0;
    std::size_t controlHits = 0;
    for (std::size_t i = 0; i < targetScores.size(); ++i) {
        const double threshold = targetScores[i];
        if (i + 1 < targetScores.size() && targetScores[i + 1] == threshold)
            continue;
        while (controlHits < controlScores.size() && controlScores[controlHits] >= threshold)
            ++controlHits;
        const double gain = static_cast<double>(i + 1) - falseCallCost * scale * static_cast<double>(controlHits);
        if (gain > bestGain) {
            bestGain = gain;
            best = SiteCut{threshold, scale * static_cast<double>(controlHits)};
        }
    }
    return best;
}

double Log10EValue(double log10P, int tests) { return log10P + std::log10(std::max(1, tests)); }

namespace {

// Tail of the null restarts' p-values, in decades of p: the p-value it is
// drawn from, how many null restarts lie beyond it, and how many decades
// further the share of them falls e-fold.
struct NullTail {
    double anchor = 0.0;  // log10 p
    double beyond = 0.0;
    double decadesPerEFold = 0.0;
};

// nullLog10P sorted, most extreme first.
NullTail FitNullTail(const std::vector<double>& nullLog10P)
{
    // A little above the scale measured on random sets with the default
    // search: the least a fitted tail may have.
    constexpr double kLeastScale = 0.9;
    constexpr double kPriorWeight = 6.0;  // null restarts' worth of belief in that scale
    constexpr std::size_t kAnchorIndex = 3;
    const auto below = [&](double value) {
        return static_cast<std::size_t>(std::lower_bound(nullLog10P.begin(), nullLog10P.end(), value) -
                                        nullLog10P.begin());
    };
    const auto at = [&](std::size_t index) {
        return index < nullLog10P.size() ? std::min(0.0, nullLog10P[index]) : 0.0;
    };
    const std::size_t separating = below(0.0);

    // The scale is the mean excess of the more extreme half of the null
    // restarts that separated anything over the next one, pulled towards the
    // least scale: sets whose chance motifs go far (one site in every sequence,
    // say) get a longer tail, a few null restarts never a shorter one.
    const double next = at(std::min(std::max<std::size_t>(3, separating / 2), separating));
    const std::size_t over = below(next);
    double excess = 0.0;
    for (std::size_t i = 0; i < over; ++i)
        excess += next - nullLog10P[i];
    NullTail tail;
    tail.decadesPerEFold =
        std::max(kLeastScale, (excess + kPriorWeight * kLeastScale) / (static_cast<double>(over) + kPriorWeight));
    // The anchor: the fourth most extreme null restart, and at least p = 0.1,
    // so that a tail is never drawn from null restarts that separated nothing.
    tail.anchor = std::min(-1.0, at(std::min(kAnchorIndex, separating)));
    tail.beyond = static_cast<double>(below(tail.anchor));
    return tail;
}

}  // namespace

double Log10CalibratedEValue(double log10P, std::vector<double> nullLog10P, std::int64_t restarts)
{
    // The share of null restarts at least as extreme, one added to both counts
    // so that a few null restarts never make a p-value look rarer than they can
    // tell; past the anchor, the share follows the fitted tail.
    std::sort(nullLog10P.begin(), nullLog10P.end());
    const double n = static_cast<double>(nullLog10P.size());
    const NullTail tail = FitNullTail(nullLog10P);
    double log10Share = 0.0;
    if (log10P >= tail.anchor) {
        const auto reached = std::upper_bound(nullLog10P.begin(), nullLog10P.end(), log10P) - nullLog10P.begin();
        log10Share = std::log10((static_cast<double>(reached) + 1.0) / (n + 1.0));
    } else {
        log10Share = std::log10((tail.beyond + 1.0) / (n + 1.0)) -
                     (tail.anchor - log10P) / (tail.decadesPerEFold * std::log(10.0));
    }
    return log10Share + std::log10(static_cast<double>(std::max<std::int64_t>(1, restarts)));
}

}  // namespace kalvo
