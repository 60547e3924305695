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

}  // namespace kalvo
