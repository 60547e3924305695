// sampler/slot_scores.h: scores of a stretch of start positions on both strands, the sampling step's hot loop.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sampler/slot_model.h"
#include "util/random.h"
#include "util/vector_paths.h"

namespace kalvo {

// A background probability times 2^scaleExponent as a float, or NaN (which
// settles nothing) where that falls outside the normal floats: its relative
// error is then at most 2^−24, which the thresholds' margin outweighs. The
// run picks the exponent that brings its words' backgrounds near 1.
float ApproximateBackground(double background, int scaleExponent);

// Elements of the scratch the AVX2 path spreads letter codes into, for stretches of up to maxCount starts.
std::size_t SlotScratchSize(std::size_t maxCount, int width);

// Every slot's score in slot order (2i forward, 2i + 1 reverse), exactly as a
// site's word is scored: the motif product over the free columns in order,
// then the groups' cells in list order, over the background. 0 for a blocked
// start, and for every reverse slot when one strand is searched. Given
// `runningTotal`, the scores are also added one at a time onto *runningTotal,
// which ends as the total of the stretch, and totals[m] notes the total after
// slot 8m + 7 and after the last slot ((2·count + 7) / 8 entries).
void ScoreSlotRatios(const SlotModel& model, const SlotStretch& stretch, double* scores, double* totals,
                     double* runningTotal, std::uint64_t* scratch, VectorPath path);

// For the many-site draw, which rejects a slot when its draw u ≥ q = score / odds:
// each slot's motif product (0 where its score is 0) and a threshold, its
// approximate background times `oddsBelow`, for SettleSlots.
void ScoreSlotProducts(const SlotModel& model, const SlotStretch& stretch, double oddsBelow, double* products,
                       double* thresholds, std::uint64_t* scratch, VectorPath path);

// odds·(1 − 2^−20)·2^−scaleExponent where odds is far from overflow and
// underflow; NaN otherwise. With the approximate backgrounds of the same
// exponent it gives thresholds just below background·odds.
double OddsBelow(double odds, int scaleExponent);

// Draws for slots 0..n − 1 in turn, one each, while u·threshold ≥ product
// settles the slot as a rejection, and returns how many were settled. When a
// slot is left open its draw has been made too, and is left in `openDraw`: the
// caller decides that slot exactly. A settled slot is a rejection by the exact
// test as well: the margin of 2^−20 in the threshold outweighs the float
// background's rounding (2^−24) and that of the five operations on both sides
// (u·threshold against two divisions), and
// a threshold outside the range where u·threshold stays a normal number is
// NaN, which settles nothing. Vector paths compute the draws of a whole vector
// of slots at once from the stream's state.
std::size_t SettleSlots(const double* products, const double* thresholds, std::size_t n, RandomStream& random,
                        double& openDraw, VectorPath path);

}  // namespace kalvo
