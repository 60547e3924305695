// sampler/slot_scores_avx2.cpp: the slot-score loops with AVX2, four start positions to a vector.
#include "sampler/slot_score_paths.h"

#ifdef KALVO_AVX2_PATHS
#include <immintrin.h>

#include <array>
#include <cstring>

#define KALVO_AVX2 __attribute__((target("avx2")))

namespace kalvo::slot_paths {
namespace {

// Each letter code c as the 64-bit lane (2c + 1, 2c): the two 32-bit halves
// of double number c of a four-double table, for a lookup by vpermd.
KALVO_AVX2 void SpreadCodes(const std::uint8_t* codes, std::size_t n, std::uint64_t* spread)
{
    const __m256i highOne = _mm256_set1_epi64x(1LL << 32);
    std::size_t p = 0;
    for (; p + 4 <= n; p += 4) {
        std::int32_t four;
        std::memcpy(&four, codes + p, sizeof four);
        const __m256i twice = _mm256_slli_epi64(_mm256_cvtepu8_epi64(_mm_cvtsi32_si128(four)), 1);
        const __m256i lanes = _mm256_add_epi64(_mm256_or_si256(twice, _mm256_slli_epi64(twice, 32)), highOne);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(spread + p), lanes);
    }
    for (; p < n; ++p) {
        const std::uint64_t twice = 2u * static_cast<std::uint64_t>(codes[p]);
        spread[p] = twice | ((twice + 1) << 32);
    }
}

// table[c] for the four codes spread in `codes`.
KALVO_AVX2 inline __m256d Lookup(__m256d table, __m256i codes)
{
    return _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(table), codes));
}

// The spread codes of starts p..p + 3.
KALVO_AVX2 inline __m256i CodesAt(const std::uint64_t* spread, std::size_t p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(spread + p));
}

// cells[4a + b] of a pair's sixteen cells: b picks within each row, a picks the row.
KALVO_AVX2 inline __m256d PairLookup(const double* cells, __m256i first, __m256i second)
{
    const __m256d row0 = Lookup(_mm256_loadu_pd(cells), second);
    const __m256d row1 = Lookup(_mm256_loadu_pd(cells + 4), second);
    const __m256d row2 = Lookup(_mm256_loadu_pd(cells + 8), second);
    const __m256d row3 = Lookup(_mm256_loadu_pd(cells + 12), second);
    // The low half of a spread lane is 2a: bit 1 is a's low bit, bit 2 its high bit, moved to the sign.
    const __m256d lowBit = _mm256_castsi256_pd(_mm256_slli_epi64(first, 62));
    const __m256d highBit = _mm256_castsi256_pd(_mm256_slli_epi64(first, 61));
    const __m256d low = _mm256_blendv_pd(row0, row1, lowBit);
    const __m256d high = _mm256_blendv_pd(row2, row3, lowBit);
    return _mm256_blendv_pd(low, high, highBit);
}

// Threshold() of four backgrounds.
KALVO_AVX2 inline __m256d ThresholdAvx2(__m256d background, __m256d oddsBelow)
{
    const __m256d threshold = _mm256_mul_pd(background, oddsBelow);
    const __m256d inRange = _mm256_and_pd(_mm256_cmp_pd(threshold, _mm256_set1_pd(kThresholdLowest), _CMP_GE_OQ),
                                          _mm256_cmp_pd(threshold, _mm256_set1_pd(kThresholdHighest), _CMP_LE_OQ));
    return _mm256_blendv_pd(_mm256_set1_pd(std::numeric_limits<double>::quiet_NaN()), threshold, inRange);
}

// Stores (a0, b0, a1, b1) and (a2, b2, a3, b3): four starts' forward and reverse values in slot order.
KALVO_AVX2 inline void StoreSlots(double* out, __m256d forward, __m256d reverse)
{
    const __m256d low = _mm256_unpacklo_pd(forward, reverse);
    const __m256d high = _mm256_unpackhi_pd(forward, reverse);
    _mm256_storeu_pd(out, _mm256_permute2f128_pd(low, high, 0x20));
    _mm256_storeu_pd(out + 4, _mm256_permute2f128_pd(low, high, 0x31));
}

// The motif products of starts i..i + 4·kBlocks − 1, four to a vector, on both strands.
template <std::size_t kBlocks, bool kReverse>
KALVO_AVX2 inline __attribute__((always_inline)) void ProductsAvx2(const SlotModel& model,
                                                                     const std::uint64_t* forwardCodes,
                                                                     const std::uint64_t* reverseEnd, std::size_t i,
                                                                     __m256d* f, __m256d* r)
{
    for (std::size_t block = 0; block < kBlocks; ++block) {
        f[block] = _mm256_set1_pd(1.0);
        r[block] = _mm256_set1_pd(1.0);
    }
    for (std::size_t j = 0; j < model.numFree; ++j) {
        const auto column = static_cast<std::size_t>(model.freeColumns[j]);
        const __m256d table = _mm256_loadu_pd(model.columnProbs + column * 4);
        const std::uint64_t* forward = forwardCodes + i + column;
        const std::uint64_t* reverse = reverseEnd + i - column;  // motif column c of the reverse word
        for (std::size_t block = 0; block < kBlocks; ++block) {
            f[block] = _mm256_mul_pd(f[block], Lookup(table, CodesAt(forward, 4 * block)));
            if constexpr (kReverse)
                r[block] = _mm256_mul_pd(r[block], Lookup(table, CodesAt(reverse, 4 * block)));
        }
    }
    for (std::size_t g = 0; g < model.numGroups; ++g) {
        const GroupNode& group = model.groups[g];
        const double* cells = group.probs.data();
        const auto a = static_cast<std::size_t>(group.positions[0]);
        const auto b = static_cast<std::size_t>(group.positions[1]);
        for (std::size_t block = 0; block < kBlocks; ++block) {
            const std::size_t p = i + 4 * block;
            f[block] = _mm256_mul_pd(
                f[block], PairLookup(cells, CodesAt(forwardCodes, p + a), CodesAt(forwardCodes, p + b)));
            if constexpr (kReverse)
                r[block] = _mm256_mul_pd(
                    r[block], PairLookup(cells, CodesAt(reverseEnd + p - a, 0), CodesAt(reverseEnd + p - b, 0)));
        }
    }
}

// Writes the eight slots of starts i..i + 3 from their products.
template <Output kOutput, bool kReverse>
KALVO_AVX2 inline __attribute__((always_inline)) void FinishAvx2(const SlotStretch& stretch, std::size_t i, __m256d f,
                                                                   __m256d r, __m256d odds, double* out,
                                                                   double* thresholds, double* runningTotal)
{
    const __m256d zero = _mm256_setzero_pd();
    std::int32_t fourBlocked;
    std::memcpy(&fourBlocked, stretch.blocked + i, sizeof fourBlocked);
    const __m256d open = _mm256_castsi256_pd(
        _mm256_cmpeq_epi64(_mm256_cvtepu8_epi64(_mm_cvtsi32_si128(fourBlocked)), _mm256_setzero_si256()));
    if constexpr (kOutput == Output::Products) {
        const __m256d bgForward = _mm256_cvtps_pd(_mm_loadu_ps(stretch.approxBgForward + i));
        const __m256d bgReverse = _mm256_cvtps_pd(_mm_loadu_ps(stretch.approxBgReverse + i));
        StoreSlots(out + 2 * i, _mm256_and_pd(f, open), kReverse ? _mm256_and_pd(r, open) : zero);
        StoreSlots(thresholds + 2 * i, ThresholdAvx2(bgForward, odds), ThresholdAvx2(bgReverse, odds));
    } else {
        const __m256d bgForward = _mm256_loadu_pd(stretch.bgForward + i);
        const __m256d bgReverse = _mm256_loadu_pd(stretch.bgReverse + i);
        const __m256d forwardScore = _mm256_and_pd(_mm256_div_pd(f, bgForward), open);
        const __m256d reverseScore = kReverse ? _mm256_and_pd(_mm256_div_pd(r, bgReverse), open) : zero;
        StoreSlots(out + 2 * i, forwardScore, reverseScore);
        if constexpr (kOutput == Output::RunningTotals) {
            // One addition after the other: the order that fixes the total's bits.
            *runningTotal = AddGroupToTotal(out, i / 4, *runningTotal, thresholds);
        }
    }
}

template <Output kOutput, bool kReverse>
KALVO_AVX2 void ScoreAvx2(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* out,
                          double* thresholds, double* runningTotal, std::uint64_t* scratch)
{
    const auto width = static_cast<std::size_t>(model.width);
    const std::size_t letters = stretch.count + width - 1;
    std::uint64_t* forwardCodes = scratch;
    std::uint64_t* reverseCodes = scratch + letters;
    SpreadCodes(stretch.codes, letters, forwardCodes);
    if constexpr (kReverse)
        SpreadCodes(stretch.reverseCodes, letters, reverseCodes);
    const std::uint64_t* reverseEnd = reverseCodes + width - 1;
    const __m256d odds = _mm256_set1_pd(oddsBelow);
    // Eight starts at a time, then four, then one by one.
    std::size_t i = 0;
    for (; i + 8 <= stretch.count; i += 8) {
        __m256d f[2];
        __m256d r[2];
        ProductsAvx2<2, kReverse>(model, forwardCodes, reverseEnd, i, f, r);
        FinishAvx2<kOutput, kReverse>(stretch, i, f[0], r[0], odds, out, thresholds, runningTotal);
        FinishAvx2<kOutput, kReverse>(stretch, i + 4, f[1], r[1], odds, out, thresholds, runningTotal);
    }
    if (i + 4 <= stretch.count) {
        __m256d f[1];
        __m256d r[1];
        ProductsAvx2<1, kReverse>(model, forwardCodes, reverseEnd, i, f, r);
        FinishAvx2<kOutput, kReverse>(stretch, i, f[0], r[0], odds, out, thresholds, runningTotal);
        i += 4;
    }
    ScorePortable<kOutput, kReverse>(model, stretch, i, oddsBelow, out, thresholds, runningTotal);
}

template <Output kOutput>
KALVO_AVX2 void ScoreAvx2(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* out,
                          double* thresholds, double* runningTotal, std::uint64_t* scratch)
{
    if (model.bothStrands)
        ScoreAvx2<kOutput, true>(model, stretch, oddsBelow, out, thresholds, runningTotal, scratch);
    else
        ScoreAvx2<kOutput, false>(model, stretch, oddsBelow, out, thresholds, runningTotal, scratch);
}

}  // namespace

void RatiosAvx2(const SlotModel& model, const SlotStretch& stretch, double* scores, double* totals,
                double* runningTotal, std::uint64_t* scratch)
{
    if (runningTotal)
        ScoreAvx2<Output::RunningTotals>(model, stretch, 0.0, scores, totals, runningTotal, scratch);
    else
        ScoreAvx2<Output::Ratios>(model, stretch, 0.0, scores, nullptr, nullptr, scratch);
}

void ProductsAvx2(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* products,
                  double* thresholds, std::uint64_t* scratch)
{
    ScoreAvx2<Output::Products>(model, stretch, oddsBelow, products, thresholds, nullptr, scratch);
}

KALVO_AVX2 Settled FirstUnsettledAvx2(const double* products, const double* thresholds, std::uint32_t state,
                                      std::size_t n)
{
    // Eight lanes of the stream, the states after 1..8 draws, each moved on by eight.
    alignas(32) static constexpr std::array<std::uint32_t, 8> kMultipliers = LaneMultipliers<8>();
    alignas(32) static constexpr std::array<std::uint32_t, 8> kIncrements = LaneIncrements<8>();
    constexpr StreamJump kAhead = RandomStream::JumpOf(8);
    __m256i lanes = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_load_si256(reinterpret_cast<const __m256i*>(kMultipliers.data())),
                           _mm256_set1_epi32(static_cast<int>(state))),
        _mm256_load_si256(reinterpret_cast<const __m256i*>(kIncrements.data())));
    const __m256i aheadMultiplier = _mm256_set1_epi32(static_cast<int>(kAhead.multiplier));
    const __m256i aheadIncrement = _mm256_set1_epi32(static_cast<int>(kAhead.increment));
    const __m256i drawBits = _mm256_set1_epi32(32767);
    const __m256d scale = _mm256_set1_pd(1.0 / 32768.0);
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
        const __m256i draws = _mm256_and_si256(_mm256_srli_epi32(lanes, 16), drawBits);
        const __m256d low = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(draws)), scale);
        const __m256d high = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(draws, 1)), scale);
        const int settled =
            _mm256_movemask_pd(_mm256_cmp_pd(_mm256_mul_pd(low, _mm256_loadu_pd(thresholds + j)),
                                             _mm256_loadu_pd(products + j), _CMP_GE_OQ)) |
            (_mm256_movemask_pd(_mm256_cmp_pd(_mm256_mul_pd(high, _mm256_loadu_pd(thresholds + j + 4)),
                                              _mm256_loadu_pd(products + j + 4), _CMP_GE_OQ))
             << 4);
        if (settled != 0xFF) {
            // The open slot's draw: the stream goes on from its state.
            alignas(32) std::uint32_t states[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(states), lanes);
            const auto lane = static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(~settled)));
            return {j + lane, states[lane]};
        }
        lanes = _mm256_add_epi32(_mm256_mullo_epi32(lanes, aheadMultiplier), aheadIncrement);
    }
    const Settled rest = FirstUnsettledPortable(products + j, thresholds + j, RandomStream::JumpOf(j)(state), n - j);
    return {j + rest.count, rest.state};
}

}  // namespace kalvo::slot_paths

#endif
