// app/cli/progress_line.h: the one self-overwriting progress line `kalvo` draws on a terminal.
#pragma once
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

namespace kalvo {

// A line on stderr redrawn in place while work goes on, wiped before any other text is written.
// Disabled (not a terminal, or --quiet), it draws nothing.
class ProgressLine {
public:
    // What a line shows at the precision it shows it: redrawing the same step only floods the terminal.
    using Step = std::pair<std::int64_t, std::int64_t>;

    ProgressLine(std::ostream& err, bool enabled) : m_err(err), m_enabled(enabled) {}

    bool Enabled() const { return m_enabled; }
    // The line shows another step than `step`, or nothing.
    bool StepMoved(const Step& step) const { return step != m_step; }
    // At least `interval` passed since the line was last drawn (or it never was).
    bool IntervalPassed(std::chrono::milliseconds interval) const;
    // Draws `text` over the line, padded with spaces to wipe what a longer text left.
    void Draw(const std::string& text, const Step& step = kNoStep);
    // Wipes the line and returns the cursor to its start, so other text begins on a clean line.
    void Clear();

private:
    static constexpr Step kNoStep{-1, -1};
    std::ostream& m_err;
    bool m_enabled;
    std::size_t m_width = 0;  // of the longest text drawn since the line was last wiped
    Step m_step = kNoStep;
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_drawn = false;
};

// "1:05" or "1:02:03": a duration for a progress line, to the second.
std::string Clock(double seconds);

}  // namespace kalvo
