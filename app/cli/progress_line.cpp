// app/cli/progress_line.cpp: drawing and wiping the progress line.
#include "app/cli/progress_line.h"

#include <algorithm>

namespace kalvo {

bool ProgressLine::IntervalPassed(std::chrono::milliseconds interval) const
{
    return !m_drawn || std::chrono::steady_clock::now() - m_lastDraw >= interval;
}

void ProgressLine::Draw(const std::string& text, const Step& step)
{
    if (!m_enabled)
        return;
    m_err << '\r' << text;
    if (text.size() < m_width)
        m_err << std::string(m_width - text.size(), ' ');
    m_width = std::max(m_width, text.size());
    m_err.flush();
    m_step = step;
    m_lastDraw = std::chrono::steady_clock::now();
    m_drawn = true;
}

void ProgressLine::Clear()
{
    m_step = kNoStep;
    if (m_width == 0)
        return;
    m_err << '\r' << std::string(m_width, ' ') << '\r';
    m_err.flush();
    m_width = 0;
}

std::string Clock(double seconds)
{
    const long long total = static_cast<long long>(seconds + 0.5);
    const long long h = total / 3600;
    const long long m = total / 60 % 60;
    const long long sec = total % 60;
    auto two = [](long long v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
    return h > 0 ? std::to_string(h) + ":" + two(m) + ":" + two(sec) : std::to_string(m) + ":" + two(sec);
}

}  // namespace kalvo
