// discover/motif_similarity.h: whether two restarts found the same motif.
// The same motif may come back shifted by a few columns, on the other strand,
// or at another width; what stays is the pattern of its informative columns.
#pragma once
#include <array>
#include <vector>

namespace kalvo {

using MotifShares = std::vector<std::array<double, 4>>;  // per column, A, C, G, T, summing to 1

// The best agreement of two motifs over every offset of one against the other
// and both orientations: the dot product of their columns' departures from
// uniform (share − 0.25) over the overlap, divided by the norms of the whole
// motifs. 1 for a motif and itself or its reverse complement; near 0 for
// unrelated motifs; columns outside the overlap count against it.
double MotifSimilarity(const MotifShares& a, const MotifShares& b);

// Similarity at or above which two motifs are one.
inline constexpr double kSameMotifSimilarity = 0.6;

// The reverse complement of a motif: columns reversed, A↔T and C↔G.
MotifShares ReverseComplementShares(const MotifShares& shares);

// Information content of a column in bits (2 minus the entropy).
double ColumnBits(const std::array<double, 4>& shares);

}  // namespace kalvo
