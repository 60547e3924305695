// app/gui/discovery_runner.h: runs one discovery on a worker thread and hands its progress and outcome to the window's thread.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <QObject>

#include "discover/discover.h"

namespace kalvo {

// What a discovery tells the window, always delivered on the runner's own thread.
struct DiscoveryEvents {
    // The latest progress; updates that arrive faster than the window takes them are merged.
    std::function<void(const DiscoverProgress&)> progress;
    // The worker has ended: nothing when the discovery wrote its folder, else why not.
    std::function<void(const Outcome&, const Discovery&)> finished;
};

class DiscoveryRunner : public QObject {
public:
    explicit DiscoveryRunner(DiscoveryEvents events, QObject* parent = nullptr);
    // Cancels a running discovery and waits for its worker.
    ~DiscoveryRunner() override;
    DiscoveryRunner(const DiscoveryRunner&) = delete;
    DiscoveryRunner& operator=(const DiscoveryRunner&) = delete;

    // Starts RunDiscovery on a worker thread, in `folder`, which the worker
    // alone uses until the discovery has ended. False when a discovery of any
    // runner is still going or no thread can be started.
    bool Start(const DiscoverSettings& settings, bool force, OutputFolder& folder);
    // The discovery stops at its next progress call, within a fraction of a second. Safe from any thread.
    void Cancel() { m_cancel = true; }
    // Cancels, waits for the worker and returns how the discovery ended (its
    // finished event is then never delivered). Nothing when none was running.
    std::optional<Outcome> CancelAndWait();
    bool IsRunning() const { return m_thread.joinable(); }
    static bool AnyRunning() { return s_busy; }

private:
    void Join();

    DiscoveryEvents m_events;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};

    std::mutex m_progressMutex;
    bool m_progressPosted = false;
    DiscoverProgress m_latest;
    Outcome m_outcome;  // written by the worker just before it ends

    static std::atomic<bool> s_busy;
};

}  // namespace kalvo
