// discover/usable_stretches.h: the stretches of a sequence outside its runs of N (masked repeats,
// gaps), which are all a discovery samples, shuffles and counts.
#pragma once
#include <string_view>
#include <vector>

namespace kalvo {

// Residues [start, end) of a sequence, none of them N.
struct Stretch {
    long long start = 0;
    long long end = 0;
    long long Length() const { return end - start; }
};

// The longest stretches without N, in order; the whole sequence when it holds no N.
std::vector<Stretch> UsableStretches(std::string_view sequence);

// Residues outside the runs of N.
long long UsableLength(std::string_view sequence);

// Length of the longest stretch without N.
long long LongestUsableStretch(std::string_view sequence);

}  // namespace kalvo
