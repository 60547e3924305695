// model/parameter_limits.h: the largest counts a parameter file may give, so that no slip starts a run without end.
#pragma once

namespace kalvo {

// Iterations of one run ("-n"). An iteration of a thousand sequences of 200
// bases takes about 2 ms, so a million of them end within the hour; the two
// billion a slip can give would go on for months.
inline constexpr int kMostIterations = 1000000;

// Correlated moves per iteration ("-m"), made only when "-c" is 2 or more.
// Each scores the whole state again, which takes from under a microsecond
// to some tens of them: a million keep an iteration within half a minute,
// where two billion would hold one iteration for hours or days.
inline constexpr int kMostMoves = 1000000;

// Runs of a repeated run ("-N"): each appends its own report block, so a
// million runs already give gigabytes of reports.
inline constexpr int kMostRuns = 1000000;

}  // namespace kalvo
