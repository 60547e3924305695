// model/run_progress.cpp: pacing of the progress calls made from inside a run's steps.
#include "model/run_progress.h"

#include <algorithm>

namespace kalvo {

void ProgressPacer::Attach(const ProgressCallback& callback, int iterations)
{
    m_callback = callback ? &callback : nullptr;
    m_progress = RunProgress{0, iterations, 0.0};
    m_work = 0;
    m_workOfIteration = 1;
    m_nextLook = m_callback ? kWorkPerLook : LLONG_MAX;
    m_abandoned = false;
}

void ProgressPacer::Detach()
{
    m_callback = nullptr;
    m_work = 0;
    m_nextLook = LLONG_MAX;
    m_abandoned = false;
}

bool ProgressPacer::BetweenIterations(int done, long long workOfNext)
{
    if (m_abandoned)
        return false;
    m_progress.iteration = done;
    m_progress.withinIteration = 0.0;
    m_work = 0;
    m_workOfIteration = std::max(1LL, workOfNext);
    if (!m_callback)
        return true;
    m_nextLook = kWorkPerLook;
    m_lastCall = std::chrono::steady_clock::now();
    if (!(*m_callback)(m_progress)) {
        m_abandoned = true;
        m_nextLook = LLONG_MIN;
    }
    return !m_abandoned;
}

bool ProgressPacer::Look()
{
    if (m_abandoned || !m_callback)
        return !m_abandoned;
    m_nextLook = m_work + kWorkPerLook;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastCall < m_interval)
        return true;
    m_lastCall = now;
    // Never a whole iteration: that is told by the call between iterations.
    const double share = static_cast<double>(m_work) / static_cast<double>(m_workOfIteration);
    m_progress.withinIteration = std::max(m_progress.withinIteration, std::min(share, 0.999));
    if (!(*m_callback)(m_progress)) {
        m_abandoned = true;
        m_nextLook = LLONG_MIN;  // every later look answers at once
    }
    return !m_abandoned;
}

}  // namespace kalvo
