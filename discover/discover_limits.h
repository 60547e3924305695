// discover/discover_limits.h: the values a discovery's options may take, one set for every front end.
#pragma once
#include <cmath>

namespace kalvo {

// A whole-number option's range, both ends allowed.
struct WholeRange {
    int least = 0;
    int most = 0;
    constexpr bool Holds(long long value) const { return value >= least && value <= most; }
};

// A motif needs at least two columns; the upper ends keep a mistyped value
// from starting a discovery that would run for days or exhaust the memory.
inline constexpr WholeRange kDiscoverWidths{2, 1000};
inline constexpr WholeRange kDiscoverMotifs{1, 100};
inline constexpr WholeRange kDiscoverRestarts{1, 10000};        // per width and motif
inline constexpr WholeRange kDiscoverIterations{1, 1000000};    // of every restart

// An E-value threshold is a finite number above 0: at 0 no motif could be reported.
inline bool IsEValueThreshold(double value) { return value > 0.0 && std::isfinite(value); }

}  // namespace kalvo
