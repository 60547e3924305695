// app/cli/stop_signals.h: Ctrl-C and SIGTERM turned into a request to stop at the next progress
// call, so that a command can remove what it has half-written before it exits.
#pragma once
#include <array>
#include <csignal>

namespace kalvo {

// While it lives, SIGINT and SIGTERM only note that they came; a second signal of the same kind
// ends the program at once. A signal the program was started to ignore stays ignored.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal received, or 0.
    static int Received();
    // The exit status of a command a signal stopped, as the shell reports a program a signal ended.
    static int ExitStatus() { return 128 + Received(); }

private:
    static constexpr std::array<int, 2> kSignals = {SIGINT, SIGTERM};
    std::array<struct sigaction, 2> m_previous{};
};

}  // namespace kalvo
