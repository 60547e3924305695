// sampler/slot_score_paths.h: the portable slot-score loops, and the vector paths' entry points, for slot_scores*.cpp.
//
// Every path takes each product and quotient of a slot with the same IEEE
// operations in the same order; the vector paths only compute several start
// positions at once. Nothing here allocates.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "sampler/slot_model.h"
#include "util/random.h"

namespace kalvo::slot_paths {

// Far enough inside the double range that no figure of the shortcut can be subnormal or overflow.
constexpr double kOddsLowest = 0x1p-300;
constexpr double kOddsHighest = 0x1p300;
constexpr double kThresholdLowest = 0x1p-585;
constexpr double kThresholdHighest = 0x1p600;
constexpr double kMargin = 1.0 - 0x1p-20;
constexpr int kScaleExponentLimit = 400;

enum class Output { Ratios, RunningTotals, Products };

// background·oddsBelow, or NaN (which settles nothing) outside the range where
// u·threshold, for any draw u > 0, is a normal number.
inline double Threshold(double background, double oddsBelow)
{
    const double threshold = background * oddsBelow;
    return threshold >= kThresholdLowest && threshold <= kThresholdHighest ? threshold
                                                                          : std::numeric_limits<double>::quiet_NaN();
}

// The motif products of start i on both strands, in the order of ScoreWord.
template <bool kReverse>
inline void PositionProducts(const SlotModel& model, const SlotStretch& stretch, std::size_t i, double& forward,
                             double& reverse)
{
    const auto width = static_cast<std::size_t>(model.width);
    const std::uint8_t* codes = stretch.codes + i;
    const std::uint8_t* reverseEnd = stretch.reverseCodes + i + width - 1;  // motif column c reads reverseEnd[−c]
    double f = 1.0;
    double r = 1.0;
    for (std::size_t j = 0; j < model.numFree; ++j) {
        const auto column = static_cast<std::size_t>(model.freeColumns[j]);
        const double* table = model.columnProbs + column * 4;
        f *= table[codes[column]];
        if constexpr (kReverse)
            r *= table[*(reverseEnd - column)];
    }
    for (std::size_t g = 0; g < model.numGroups; ++g) {
        const GroupNode& group = model.groups[g];
        std::size_t forwardKey = 0;
        std::size_t reverseKey = 0;
        for (int column : group.positions) {
            forwardKey = forwardKey * 4 + codes[column];
            if constexpr (kReverse)
                reverseKey = reverseKey * 4 + *(reverseEnd - column);
        }
        f *= group.probs[forwardKey];
        if constexpr (kReverse)
            r *= group.probs[reverseKey];
    }
    forward = f;
    reverse = r;
}

// Adds scores[from..to) to the running total one at a time, in slot order,
// and notes in totals[m] the total after slot 8m + 7 and after the last of all `slots`.
inline double AddToTotal(const double* scores, std::size_t from, std::size_t to, std::size_t slots, double total,
                         double* totals)
{
    for (std::size_t k = from; k < to; ++k) {
        total += scores[k];
        if (k % 8 == 7 || k + 1 == slots)
            totals[k / 8] = total;
    }
    return total;
}

// The same for the eight slots of group m, all of them present.
inline double AddGroupToTotal(const double* scores, std::size_t m, double total, double* totals)
{
    const double* group = scores + 8 * m;
    for (std::size_t k = 0; k < 8; ++k)
        total += group[k];
    totals[m] = total;
    return total;
}

// Writes slots 2i and 2i + 1 from the products of start i: with running
// totals, the scores and, in `thresholds`, the total after every eighth slot.
template <Output kOutput>
inline void FinishPosition(const SlotModel& model, const SlotStretch& stretch, std::size_t i, double forward,
                           double reverse, double oddsBelow, double* out, double* thresholds, double* runningTotal)
{
    const bool blocked = stretch.blocked[i] != 0;
    if constexpr (kOutput == Output::Products) {
        out[2 * i] = blocked ? 0.0 : forward;
        out[2 * i + 1] = blocked || !model.bothStrands ? 0.0 : reverse;
        thresholds[2 * i] = Threshold(static_cast<double>(stretch.approxBgForward[i]), oddsBelow);
        thresholds[2 * i + 1] = Threshold(static_cast<double>(stretch.approxBgReverse[i]), oddsBelow);
    } else {
        const double forwardScore = blocked ? 0.0 : forward / stretch.bgForward[i];
        const double reverseScore = blocked || !model.bothStrands ? 0.0 : reverse / stretch.bgReverse[i];
        out[2 * i] = forwardScore;
        out[2 * i + 1] = reverseScore;
        if constexpr (kOutput == Output::RunningTotals)
            *runningTotal = AddToTotal(out, 2 * i, 2 * i + 2, 2 * stretch.count, *runningTotal, thresholds);
    }
}

template <Output kOutput, bool kReverse>
inline void ScorePortable(const SlotModel& model, const SlotStretch& stretch, std::size_t first, double oddsBelow,
                   double* out, double* thresholds, double* runningTotal)
{
    // Four start positions at a time: eight products that do not wait on each
    // other's multiplications, each still taken in the order of a single word.
    constexpr std::size_t kBlock = 4;
    std::size_t i = first;
    for (; i + kBlock <= stretch.count; i += kBlock) {
        double f[kBlock];
        double r[kBlock];
        const auto width = static_cast<std::size_t>(model.width);
        for (std::size_t lane = 0; lane < kBlock; ++lane) {
            f[lane] = 1.0;
            r[lane] = 1.0;
        }
        for (std::size_t j = 0; j < model.numFree; ++j) {
            const auto column = static_cast<std::size_t>(model.freeColumns[j]);
            const double* table = model.columnProbs + column * 4;
            const std::uint8_t* forward = stretch.codes + i + column;
            const std::uint8_t* reverse = stretch.reverseCodes + (i + width - 1 - column);
            for (std::size_t lane = 0; lane < kBlock; ++lane) {
                f[lane] *= table[forward[lane]];
                if constexpr (kReverse)
                    r[lane] *= table[reverse[lane]];
            }
        }
        for (std::size_t g = 0; g < model.numGroups; ++g) {
            const GroupNode& group = model.groups[g];
            for (std::size_t lane = 0; lane < kBlock; ++lane) {
                std::size_t forwardKey = 0;
                std::size_t reverseKey = 0;
                for (int column : group.positions) {
                    const auto c = static_cast<std::size_t>(column);
                    forwardKey = forwardKey * 4 + stretch.codes[i + lane + c];
                    if constexpr (kReverse)
                        reverseKey = reverseKey * 4 + stretch.reverseCodes[i + lane + width - 1 - c];
                }
                f[lane] *= group.probs[forwardKey];
                if constexpr (kReverse)
                    r[lane] *= group.probs[reverseKey];
            }
        }
        for (std::size_t lane = 0; lane < kBlock; ++lane)
            FinishPosition<kOutput>(model, stretch, i + lane, f[lane], r[lane], oddsBelow, out, thresholds,
                                    runningTotal);
    }
    for (; i < stretch.count; ++i) {
        double f = 1.0;
        double r = 1.0;
        PositionProducts<kReverse>(model, stretch, i, f, r);
        FinishPosition<kOutput>(model, stretch, i, f, r, oddsBelow, out, thresholds, runningTotal);
    }
}

template <Output kOutput>
inline void ScorePortable(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* out,
                   double* thresholds, double* runningTotal)
{
    // The reverse products are only taken when the other strand is searched.
    if (model.bothStrands)
        ScorePortable<kOutput, true>(model, stretch, 0, oddsBelow, out, thresholds, runningTotal);
    else
        ScorePortable<kOutput, false>(model, stretch, 0, oddsBelow, out, thresholds, runningTotal);
}

// How many slots in a row u·threshold ≥ product settles, and the stream's
// state after their draws and the draw of the open slot, if there is one.
struct Settled {
    std::size_t count = 0;
    std::uint32_t state = 0;
};

// The first slot left open, the draws taken from a stream at `state`.
inline Settled FirstUnsettledPortable(const double* products, const double* thresholds, std::uint32_t state,
                                     std::size_t n)
{
    RandomStream random(state);
    for (std::size_t j = 0; j < n; ++j) {
        if (!(random.Uniform() * thresholds[j] >= products[j]))
            return {j, random.State()};
    }
    return {n, random.State()};
}

// The vector lookups of a group take two columns and sixteen cells.
inline bool PairsOnly(const SlotModel& model)
{
    for (std::size_t g = 0; g < model.numGroups; ++g) {
        if (model.groups[g].positions.size() != 2 || model.groups[g].probs.size() != 16)
            return false;
    }
    return true;
}

// The multipliers and increments of the jumps of 1..kLanes steps: a vector of
// the stream's next kLanes states from one state.
template <std::size_t kLanes>
constexpr std::array<std::uint32_t, kLanes> LaneMultipliers()
{
    std::array<std::uint32_t, kLanes> values{};
    for (std::size_t lane = 0; lane < kLanes; ++lane)
        values[lane] = RandomStream::JumpOf(lane + 1).multiplier;
    return values;
}

template <std::size_t kLanes>
constexpr std::array<std::uint32_t, kLanes> LaneIncrements()
{
    std::array<std::uint32_t, kLanes> values{};
    for (std::size_t lane = 0; lane < kLanes; ++lane)
        values[lane] = RandomStream::JumpOf(lane + 1).increment;
    return values;
}

#ifdef KALVO_AVX2_PATHS
// Four start positions to a vector; they need the scratch of SlotScratchSize.
void RatiosAvx2(const SlotModel& model, const SlotStretch& stretch, double* scores, double* totals,
                double* runningTotal, std::uint64_t* scratch);
void ProductsAvx2(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* products,
                  double* thresholds, std::uint64_t* scratch);
Settled FirstUnsettledAvx2(const double* products, const double* thresholds, std::uint32_t state, std::size_t n);
// Eight start positions to a vector; they read up to kSlotTablePadding entries past a stretch's tables.
void RatiosAvx512(const SlotModel& model, const SlotStretch& stretch, double* scores, double* totals,
                  double* runningTotal);
void ProductsAvx512(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* products,
                    double* thresholds);
Settled FirstUnsettledAvx512(const double* products, const double* thresholds, std::uint32_t state,
                             std::size_t n);
#endif

}  // namespace kalvo::slot_paths
