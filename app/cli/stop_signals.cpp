// app/cli/stop_signals.cpp: the signal handler that only notes the signal, installed for a command's run.
#include "app/cli/stop_signals.h"

#include <atomic>

namespace kalvo {
namespace {

// The signal that asked the running command to stop, or 0. Set by the handler, which does nothing else.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch a lock-free flag");

void NoteStopSignal(int signal) { g_stopSignal.store(signal); }

}  // namespace

StopSignals::StopSignals()
{
    g_stopSignal.store(0);
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], nullptr, &m_previous[i]);
        if (m_previous[i].sa_handler != SIG_IGN)
            sigaction(kSignals[i], &action, nullptr);
    }
}

StopSignals::~StopSignals()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &m_previous[i], nullptr);
}

int StopSignals::Received() { return g_stopSignal.load(); }

}  // namespace kalvo
