// discover/usable_stretches.cpp: finding the stretches of a sequence between its runs of N.
#include "discover/usable_stretches.h"

#include <algorithm>

namespace kalvo {

std::vector<Stretch> UsableStretches(std::string_view sequence)
{
    std::vector<Stretch> stretches;
    const auto length = static_cast<long long>(sequence.size());
    long long start = 0;
    for (long long i = 0; i <= length; ++i) {
        if (i < length && sequence[static_cast<std::size_t>(i)] != 'N')
            continue;
        if (i > start)
            stretches.push_back(Stretch{start, i});
        start = i + 1;
    }
    return stretches;
}

long long UsableLength(std::string_view sequence)
{
    return static_cast<long long>(sequence.size()) -
           static_cast<long long>(std::count(sequence.begin(), sequence.end(), 'N'));
}

long long LongestUsableStretch(std::string_view sequence)
{
    long long longest = 0;
    for (const Stretch& stretch : UsableStretches(sequence))
        longest = std::max(longest, stretch.Length());
    return longest;
}

}  // namespace kalvo
