// model/run_progress.h: how far a run has come, and the pacer that lets its long steps report it and be abandoned.
#pragma once
#include <chrono>
#include <climits>
#include <functional>

namespace kalvo {

struct RunProgress {
    int iteration = 0;   // iterations done
    int iterations = 0;  // iterations of the run
    // Share of the iteration under way already done: an estimate in [0, 1) that
    // only grows within an iteration; 0 in the call between two iterations.
    double withinIteration = 0.0;
};
// Called before the first iteration, after each one and, while an iteration
// runs long, about ten times a second with the same iteration count. Returning
// false abandons the run, which then appends nothing.
using ProgressCallback = std::function<bool(const RunProgress&)>;

// Calls a run's progress callback from inside its long steps, so a single
// iteration of any size can be followed and abandoned. The steps count their
// work; the clock is read only every kWorkPerLook units, so a unit costs an
// addition and a comparison. Without a callback it never calls and never abandons.
class ProgressPacer {
public:
    // About one scored start position each; a costlier unit (a site scored
    // again) still keeps the looks well under a millisecond apart.
    static constexpr long long kWorkPerLook = 4096;
    static constexpr std::chrono::milliseconds kDefaultInterval{100};

    // From now on the run calls `callback` (none when empty) for a run of `iterations`.
    void Attach(const ProgressCallback& callback, int iterations);
    // The run has ended: no more calls; the interval stays as set.
    void Detach();
    // Least time between two calls within an iteration; tests set 0 to call at every look.
    void SetInterval(std::chrono::milliseconds interval) { m_interval = interval; }

    // Calls the callback at once with `done` iterations; `workOfNext` estimates
    // the next iteration's work. False when the run is abandoned.
    bool BetweenIterations(int done, long long workOfNext);
    // After `work` units of a step; false once the run is abandoned, and from then on.
    bool KeepGoing(long long work)
    {
        m_work += work;
        return m_work < m_nextLook || Look();
    }
    bool Abandoned() const { return m_abandoned; }

private:
    bool Look();

    const ProgressCallback* m_callback = nullptr;
    std::chrono::milliseconds m_interval = kDefaultInterval;
    RunProgress m_progress;
    long long m_work = 0;                // units since the iteration began
    long long m_workOfIteration = 1;     // estimate of them all
    long long m_nextLook = LLONG_MAX;    // never while no callback is attached
    std::chrono::steady_clock::time_point m_lastCall;
    bool m_abandoned = false;
};

}  // namespace kalvo
