// discover/motif_similarity.cpp: column-departure similarity of two motifs over offsets and strands.
#include "discover/motif_similarity.h"

#include <algorithm>
#include <cmath>

namespace kalvo {
namespace {

double NormSquared(const MotifShares& shares)
{
    double sum = 0.0;
    for (const auto& column : shares)
        for (double share : column)
            sum += (share - 0.25) * (share - 0.25);
    return sum;
}

// Best overlap dot product of b placed at every offset against a.
double BestDot(const MotifShares& a, const MotifShares& b)
{
    const int wa = static_cast<int>(a.size());
    const int wb = static_cast<int>(b.size());
    double best = 0.0;
    for (int offset = -(wb - 1); offset < wa; ++offset) {
        double dot = 0.0;
        for (int j = std::max(0, -offset); j < wb && j + offset < wa; ++j) {
            const auto& x = a[static_cast<std::size_t>(j + offset)];
            const auto& y = b[static_cast<std::size_t>(j)];
            for (std::size_t letter = 0; letter < 4; ++letter)
                dot += (x[letter] - 0.25) * (y[letter] - 0.25);
        }
        best = std::max(best, dot);
    }
    return best;
}

}  // namespace

MotifShares ReverseComplementShares(const MotifShares& shares)
{
    MotifShares reversed(shares.rbegin(), shares.rend());
    for (auto& column : reversed)
        column = {column[3], column[2], column[1], column[0]};
    return reversed;
}

double MotifSimilarity(const MotifShares& a, const MotifShares& b)
{
    const double norms = std::sqrt(NormSquared(a) * NormSquared(b));
    if (norms <= 0.0)
        return 0.0;
    const double dot = std::max(BestDot(a, b), BestDot(a, ReverseComplementShares(b)));
    return dot / norms;
}

double ColumnBits(const std::array<double, 4>& shares)
{
    double entropy = 0.0;
    for (double share : shares)
        if (share > 0.0)
            entropy -= share * std::log2(share);
    return 2.0 - entropy;
}

}  // namespace kalvo
