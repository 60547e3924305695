// sampler/slot_scores_avx512.cpp: the slot-score loops with AVX-512, eight start positions to a vector.
#include "sampler/slot_score_paths.h"

#ifdef KALVO_AVX2_PATHS
// GCC 12's AVX-512 intrinsics pass a deliberately undefined vector as the
// unused merge operand, which its own optimiser then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <algorithm>
#include <array>

#define KALVO_AVX512 __attribute__((target("avx512f")))

namespace kalvo::slot_paths {
namespace {

// The codes (or flags) of starts p..p + 7, one to a 64-bit lane.
KALVO_AVX512 inline __m512i EightCodes(const std::uint8_t* codes)
{
    return _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(codes)));
}

// The running total of scores already stored, added group by group (eight
// slots) in slot order. The additions must wait on each other, so they are
// made a group at a time between the multiplications of the next starts,
// where they run alongside them instead of after them.
struct RunningChain {
    const double* scores = nullptr;
    double* totals = nullptr;
    std::size_t nextGroup = 0;
    std::size_t endGroup = 0;
    double total = 0.0;

    void AddGroup()
    {
        if (nextGroup < endGroup)
            total = AddGroupToTotal(scores, nextGroup++, total, totals);
    }
    void AddAll()
    {
        while (nextGroup < endGroup)
            total = AddGroupToTotal(scores, nextGroup++, total, totals);
    }
};

// The motif products of starts i..i + 8·kBlocks − 1, eight to a vector, on both
// strands; a group of the chain, if any, is added after each column.
template <std::size_t kBlocks, bool kReverse>
KALVO_AVX512 inline __attribute__((always_inline)) void Products512(const SlotModel& model,
                                                                     const SlotStretch& stretch, std::size_t i,
                                                                     __m512d* f, __m512d* r,
                                                                     RunningChain* chain = nullptr)
{
    const auto width = static_cast<std::size_t>(model.width);
    const std::uint8_t* reverseEnd = stretch.reverseCodes + width - 1;  // motif column c of start p reads p − c
    for (std::size_t j = 0; j < model.numFree; ++j) {
        const auto column = static_cast<std::size_t>(model.freeColumns[j]);
        // Only lanes 0..3 are ever looked up.
        const __m512d table = _mm512_castpd256_pd512(_mm256_loadu_pd(model.columnProbs + column * 4));
        const std::uint8_t* forward = stretch.codes + i + column;
        const std::uint8_t* reverse = reverseEnd + i - column;
        for (std::size_t block = 0; block < kBlocks; ++block) {
            const __m512d forwardFactor = _mm512_permutexvar_pd(EightCodes(forward + 8 * block), table);
            // The product starts at 1, and 1·x is x: the first factor needs no multiplication.
            f[block] = j == 0 ? forwardFactor : _mm512_mul_pd(f[block], forwardFactor);
            if constexpr (kReverse) {
                const __m512d reverseFactor = _mm512_permutexvar_pd(EightCodes(reverse + 8 * block), table);
                r[block] = j == 0 ? reverseFactor : _mm512_mul_pd(r[block], reverseFactor);
            }
        }
        if (chain)
            chain->AddGroup();
    }
    if (model.numFree == 0) {
        for (std::size_t block = 0; block < kBlocks; ++block) {
            f[block] = _mm512_set1_pd(1.0);
            r[block] = _mm512_set1_pd(1.0);
        }
    }
    for (std::size_t g = 0; g < model.numGroups; ++g) {
        const GroupNode& group = model.groups[g];
        const __m512d low = _mm512_loadu_pd(group.probs.data());
        const __m512d high = _mm512_loadu_pd(group.probs.data() + 8);
        const auto a = static_cast<std::size_t>(group.positions[0]);
        const auto b = static_cast<std::size_t>(group.positions[1]);
        for (std::size_t block = 0; block < kBlocks; ++block) {
            const std::size_t p = i + 8 * block;
            // Cell 4a + b of the sixteen, a from the group's first column.
            const __m512i forwardKey = _mm512_or_si512(_mm512_slli_epi64(EightCodes(stretch.codes + p + a), 2),
                                                       EightCodes(stretch.codes + p + b));
            f[block] = _mm512_mul_pd(f[block], _mm512_permutex2var_pd(low, forwardKey, high));
            if constexpr (kReverse) {
                const __m512i reverseKey = _mm512_or_si512(_mm512_slli_epi64(EightCodes(reverseEnd + p - a), 2),
                                                           EightCodes(reverseEnd + p - b));
                r[block] = _mm512_mul_pd(r[block], _mm512_permutex2var_pd(low, reverseKey, high));
            }
        }
        if (chain)
            chain->AddGroup();
    }
}

// Threshold() of eight backgrounds.
KALVO_AVX512 inline __m512d Threshold512(__m512d background, __m512d oddsBelow)
{
    const __m512d threshold = _mm512_mul_pd(background, oddsBelow);
    const __mmask8 inRange = _mm512_cmp_pd_mask(threshold, _mm512_set1_pd(kThresholdLowest), _CMP_GE_OQ) &
                             _mm512_cmp_pd_mask(threshold, _mm512_set1_pd(kThresholdHighest), _CMP_LE_OQ);
    return _mm512_mask_mov_pd(_mm512_set1_pd(std::numeric_limits<double>::quiet_NaN()), inRange, threshold);
}

// Stores the first 2·positions of (f0, r0, f1, r1, ..., f7, r7): eight starts' slots in slot order.
KALVO_AVX512 inline void StoreSlots512(double* out, __m512d forward, __m512d reverse, std::size_t positions)
{
    const __m512i firstFour = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
    const __m512i lastFour = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
    const unsigned slots = positions >= 8 ? 0xFFFFu : (1u << (2 * positions)) - 1u;
    _mm512_mask_storeu_pd(out, static_cast<__mmask8>(slots & 0xFFu),
                          _mm512_permutex2var_pd(forward, firstFour, reverse));
    _mm512_mask_storeu_pd(out + 8, static_cast<__mmask8>(slots >> 8),
                          _mm512_permutex2var_pd(forward, lastFour, reverse));
}

// Writes the slots of starts i..i + positions − 1 (at most eight) from their products.
template <Output kOutput, bool kReverse>
KALVO_AVX512 inline __attribute__((always_inline)) void Finish512(const SlotStretch& stretch, std::size_t i,
                                                                    std::size_t positions, __m512d f, __m512d r,
                                                                    __m512d odds, double* out, double* thresholds,
                                                                    double* runningTotal)
{
    const __m512d zero = _mm512_setzero_pd();
    const __mmask8 open = _mm512_cmpeq_epi64_mask(EightCodes(stretch.blocked + i), _mm512_setzero_si512());
    if constexpr (kOutput == Output::Products) {
        const __m512d bgForward = _mm512_cvtps_pd(_mm256_loadu_ps(stretch.approxBgForward + i));
        const __m512d bgReverse = _mm512_cvtps_pd(_mm256_loadu_ps(stretch.approxBgReverse + i));
        StoreSlots512(out + 2 * i, _mm512_maskz_mov_pd(open, f), kReverse ? _mm512_maskz_mov_pd(open, r) : zero,
                      positions);
        StoreSlots512(thresholds + 2 * i, Threshold512(bgForward, odds), Threshold512(bgReverse, odds), positions);
    } else {
        const __m512d bgForward = _mm512_loadu_pd(stretch.bgForward + i);
        const __m512d bgReverse = _mm512_loadu_pd(stretch.bgReverse + i);
        const __m512d forwardScore = _mm512_maskz_div_pd(open, f, bgForward);
        const __m512d reverseScore = kReverse ? _mm512_maskz_div_pd(open, r, bgReverse) : zero;
        StoreSlots512(out + 2 * i, forwardScore, reverseScore, positions);
        if constexpr (kOutput == Output::RunningTotals) {
            // One addition after the other: the order that fixes the total's bits.
            *runningTotal = AddToTotal(out, 2 * i, 2 * (i + positions), 2 * stretch.count, *runningTotal, thresholds);
        }
    }
}

template <Output kOutput, bool kReverse>
KALVO_AVX512 void Score512(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* out,
                           double* thresholds, double* runningTotal)
{
    const __m512d odds = _mm512_set1_pd(oddsBelow);
    // Sixteen starts at a time, then eight; the last vector may reach past the
    // stretch into the padding of the tables, and only its starts are stored.
    std::size_t i = 0;
    if constexpr (kOutput == Output::RunningTotals) {
        // The scores of 32 starts are stored, and added while the next 32 are multiplied.
        RunningChain chain{out, thresholds, 0, 0, *runningTotal};
        for (; i + 32 <= stretch.count; i += 32) {
            __m512d f[4];
            __m512d r[4];
            Products512<4, kReverse>(model, stretch, i, f, r, &chain);
            chain.AddAll();
            for (std::size_t block = 0; block < 4; ++block)
                Finish512<Output::Ratios, kReverse>(stretch, i + 8 * block, 8, f[block], r[block], odds, out, nullptr,
                                                    nullptr);
            chain.endGroup = (2 * i + 64) / 8;
        }
        chain.AddAll();
        *runningTotal = chain.total;
    }
    for (; i + 32 <= stretch.count; i += 32) {
        __m512d f[4];
        __m512d r[4];
        Products512<4, kReverse>(model, stretch, i, f, r);
        for (std::size_t block = 0; block < 4; ++block)
            Finish512<kOutput, kReverse>(stretch, i + 8 * block, 8, f[block], r[block], odds, out, thresholds,
                                         runningTotal);
    }
    for (; i + 16 <= stretch.count; i += 16) {
        __m512d f[2];
        __m512d r[2];
        Products512<2, kReverse>(model, stretch, i, f, r);
        Finish512<kOutput, kReverse>(stretch, i, 8, f[0], r[0], odds, out, thresholds, runningTotal);
        Finish512<kOutput, kReverse>(stretch, i + 8, 8, f[1], r[1], odds, out, thresholds, runningTotal);
    }
    for (; i < stretch.count; i += 8) {
        __m512d f[1];
        __m512d r[1];
        Products512<1, kReverse>(model, stretch, i, f, r);
        Finish512<kOutput, kReverse>(stretch, i, std::min<std::size_t>(8, stretch.count - i), f[0], r[0], odds, out,
                                     thresholds, runningTotal);
    }
}

template <Output kOutput>
KALVO_AVX512 void Score512(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* out,
                           double* thresholds, double* runningTotal)
{
    if (model.bothStrands)
        Score512<kOutput, true>(model, stretch, oddsBelow, out, thresholds, runningTotal);
    else
        Score512<kOutput, false>(model, stretch, oddsBelow, out, thresholds, runningTotal);
}

}  // namespace

void RatiosAvx512(const SlotModel& model, const SlotStretch& stretch, double* scores, double* totals,
                  double* runningTotal)
{
    if (runningTotal)
        Score512<Output::RunningTotals>(model, stretch, 0.0, scores, totals, runningTotal);
    else
        Score512<Output::Ratios>(model, stretch, 0.0, scores, nullptr, nullptr);
}

void ProductsAvx512(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* products,
                    double* thresholds)
{
    Score512<Output::Products>(model, stretch, oddsBelow, products, thresholds, nullptr);
}

namespace {

// Bit l set when slot l of sixteen is settled by the draw in lane l, or is not
// there at all (lanes beyond `present` load nothing).
KALVO_AVX512 inline unsigned SettledSixteen(__m512i states, const double* products, const double* thresholds,
                                            std::size_t present)
{
    const __m512i draws = _mm512_and_si512(_mm512_srli_epi32(states, 16), _mm512_set1_epi32(32767));
    const __m512d scale = _mm512_set1_pd(1.0 / 32768.0);
    const __m512d low = _mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(draws)), scale);
    const __m512d high = _mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(draws, 1)), scale);
    if (present >= 16) {
        const __mmask8 lowSettled = _mm512_cmp_pd_mask(_mm512_mul_pd(low, _mm512_loadu_pd(thresholds)),
                                                       _mm512_loadu_pd(products), _CMP_GE_OQ);
        const __mmask8 highSettled = _mm512_cmp_pd_mask(_mm512_mul_pd(high, _mm512_loadu_pd(thresholds + 8)),
                                                        _mm512_loadu_pd(products + 8), _CMP_GE_OQ);
        return static_cast<unsigned>(lowSettled) | (static_cast<unsigned>(highSettled) << 8);
    }
    const auto lowLanes = static_cast<__mmask8>(present >= 8 ? 0xFFu : (1u << present) - 1u);
    const auto highLanes = static_cast<__mmask8>(present > 8 ? (1u << (present - 8)) - 1u : 0u);
    const __mmask8 lowSettled =
        _mm512_mask_cmp_pd_mask(lowLanes, _mm512_mul_pd(low, _mm512_maskz_loadu_pd(lowLanes, thresholds)),
                                _mm512_maskz_loadu_pd(lowLanes, products), _CMP_GE_OQ);
    const __mmask8 highSettled =
        _mm512_mask_cmp_pd_mask(highLanes, _mm512_mul_pd(high, _mm512_maskz_loadu_pd(highLanes, thresholds + 8)),
                                _mm512_maskz_loadu_pd(highLanes, products + 8), _CMP_GE_OQ);
    return (static_cast<unsigned>(lowSettled) | (static_cast<unsigned>(highSettled) << 8) |
            ~(static_cast<unsigned>(lowLanes) | (static_cast<unsigned>(highLanes) << 8))) &
           0xFFFFu;
}

// Lane `lane` of sixteen states.
KALVO_AVX512 inline std::uint32_t StateInLane(__m512i states, std::size_t lane)
{
    alignas(64) std::uint32_t values[16];
    _mm512_store_si512(values, states);
    return values[lane];
}

}  // namespace

KALVO_AVX512 Settled FirstUnsettledAvx512(const double* products, const double* thresholds, std::uint32_t state,
                                          std::size_t n)
{
    if (n == 0)
        return {0, state};
    // Two vectors of sixteen lanes, the states after 1..32 draws, each moved on
    // by 32 at a time so that the two multiplications do not wait on each other.
    alignas(64) static constexpr std::array<std::uint32_t, 16> kMultipliers = LaneMultipliers<16>();
    alignas(64) static constexpr std::array<std::uint32_t, 16> kIncrements = LaneIncrements<16>();
    constexpr StreamJump kSixteen = RandomStream::JumpOf(16);
    constexpr StreamJump kAhead = RandomStream::JumpOf(32);
    __m512i first = _mm512_add_epi32(
        _mm512_mullo_epi32(_mm512_load_si512(kMultipliers.data()), _mm512_set1_epi32(static_cast<int>(state))),
        _mm512_load_si512(kIncrements.data()));
    __m512i second =
        _mm512_add_epi32(_mm512_mullo_epi32(first, _mm512_set1_epi32(static_cast<int>(kSixteen.multiplier))),
                         _mm512_set1_epi32(static_cast<int>(kSixteen.increment)));
    const __m512i aheadMultiplier = _mm512_set1_epi32(static_cast<int>(kAhead.multiplier));
    const __m512i aheadIncrement = _mm512_set1_epi32(static_cast<int>(kAhead.increment));
    for (std::size_t j = 0;; j += 32) {
        const std::size_t left = n - j;
        const unsigned settledFirst = SettledSixteen(first, products + j, thresholds + j, left);
        if (settledFirst != 0xFFFFu) {
            const auto lane = static_cast<std::size_t>(__builtin_ctz(~settledFirst));
            return {j + lane, StateInLane(first, lane)};
        }
        if (left <= 16)
            return {n, StateInLane(first, left - 1)};  // the last draw of all
        const unsigned settledSecond = SettledSixteen(second, products + j + 16, thresholds + j + 16, left - 16);
        if (settledSecond != 0xFFFFu) {
            const auto lane = static_cast<std::size_t>(__builtin_ctz(~settledSecond));
            return {j + 16 + lane, StateInLane(second, lane)};
        }
        if (left <= 32)
            return {n, StateInLane(second, left - 17)};
        first = _mm512_add_epi32(_mm512_mullo_epi32(first, aheadMultiplier), aheadIncrement);
        second = _mm512_add_epi32(_mm512_mullo_epi32(second, aheadMultiplier), aheadIncrement);
    }
}

}  // namespace kalvo::slot_paths

#endif
