// sampler/slot_scores.cpp: which path scores the slots, and the parts every path shares.
#include "sampler/slot_scores.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "sampler/slot_score_paths.h"

namespace kalvo {

using namespace slot_paths;

std::size_t SlotScratchSize(std::size_t maxCount, int width)
{
    return 2 * (maxCount + static_cast<std::size_t>(width > 0 ? width : 1));
}

void ScoreSlotRatios(const SlotModel& model, const SlotStretch& stretch, double* scores, double* totals,
                     double* runningTotal, std::uint64_t* scratch, VectorPath path)
{
#ifdef KALVO_AVX2_PATHS
    if (path == VectorPath::Avx512 && PairsOnly(model)) {
        RatiosAvx512(model, stretch, scores, totals, runningTotal);
        return;
    }
    if (path == VectorPath::Avx2 && PairsOnly(model)) {
        RatiosAvx2(model, stretch, scores, totals, runningTotal, scratch);
        return;
    }
#endif
    (void)path;
    (void)scratch;
    if (runningTotal)
        ScorePortable<Output::RunningTotals>(model, stretch, 0.0, scores, totals, runningTotal);
    else
        ScorePortable<Output::Ratios>(model, stretch, 0.0, scores, nullptr, nullptr);
}

void ScoreSlotProducts(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* products,
                       double* thresholds, std::uint64_t* scratch, VectorPath path)
{
#ifdef KALVO_AVX2_PATHS
    if (path == VectorPath::Avx512 && PairsOnly(model)) {
        ProductsAvx512(model, stretch, oddsBelow, products, thresholds);
        return;
    }
    if (path == VectorPath::Avx2 && PairsOnly(model)) {
        ProductsAvx2(model, stretch, oddsBelow, products, thresholds, scratch);
        return;
    }
#endif
    (void)path;
    (void)scratch;
    ScorePortable<Output::Products>(model, stretch, oddsBelow, products, thresholds, nullptr);
}

float ApproximateBackground(double background, int scaleExponent)
{
    const auto approx = static_cast<float>(std::ldexp(background, scaleExponent));
    if (approx >= std::numeric_limits<float>::min() && approx <= std::numeric_limits<float>::max())
        return approx;
    return std::numeric_limits<float>::quiet_NaN();
}

double OddsBelow(double odds, int scaleExponent)
{
    // Both bounds keep odds·2^−exponent a normal number, so the scaling is exact.
    if (odds >= kOddsLowest && odds <= kOddsHighest && std::abs(scaleExponent) <= kScaleExponentLimit)
        return std::ldexp(odds * kMargin, -scaleExponent);
    return std::numeric_limits<double>::quiet_NaN();
}

std::size_t SettleSlots(const double* products, const double* thresholds, std::size_t n, RandomStream& random,
                        double& openDraw, VectorPath path)
{
    Settled settled;
#ifdef KALVO_AVX2_PATHS
    if (path == VectorPath::Avx512)
        settled = FirstUnsettledAvx512(products, thresholds, random.State(), n);
    else if (path == VectorPath::Avx2)
        settled = FirstUnsettledAvx2(products, thresholds, random.State(), n);
    else
#endif
        settled = FirstUnsettledPortable(products, thresholds, random.State(), n);
    (void)path;
    random.ResumeAt(settled.state);
    if (settled.count < n)
        openDraw = RandomStream::DrawOf(settled.state) / 32768.0;
    return settled.count;
}

}  // namespace kalvo
