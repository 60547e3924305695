// discover/discover_progress.h: how far a discovery has come, as the front ends' progress displays see it.
#pragma once
#include <functional>

namespace kalvo {

// How far a discovery has come, for a progress display.
struct DiscoverProgress {
    int round = 1;                 // 1 for the first motif
    int rounds = 1;                // at most this many: one per motif asked for
    int restartsDone = 0;          // of this round
    int restartsInRound = 0;
    long long iterationsDone = 0;  // of this round's restarts, finished or running
    long long iterationsInRound = 0;
};
// Called from the restarts' threads, one call at a time; returning false cancels the discovery.
using DiscoverProgressCallback = std::function<bool(const DiscoverProgress&)>;

}  // namespace kalvo
