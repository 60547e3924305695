// app/gui/batch_runner.h: runs one batch on a worker thread and hands its events to the window's thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <QObject>

#include "app/batch.h"

namespace kalvo {

// What a batch tells the window, always delivered on the runner's own thread.
struct BatchEvents {
    std::function<void(const PlannedRun&)> runStarting;
    std::function<void(const PlannedRun&, const RunSummary&)> runFinished;
    // `run` is the refused run; nothing for a file that could not be read before any run, named by `file`.
    std::function<void(const std::optional<PlannedRun>& run, const std::string& file, const std::string& message)> refused;
    // The latest progress of each run that reported since the last call, in
    // batch order; updates that arrive faster than the window takes them are merged.
    std::function<void(const PlannedRun&, const RunProgress&)> progress;
    std::function<void(std::string_view)> message;  // kFinishedMessage or kRunCountMessage
    std::function<void(const std::string&)> warned; // input a run read loosely, each told once per batch
    std::function<void(const BatchResult&)> finished;  // the worker has ended
};

class BatchRunner : public QObject {
public:
    explicit BatchRunner(BatchEvents events, QObject* parent = nullptr);
    // Abandons a running batch and waits for its worker: nothing is appended for the abandoned run.
    ~BatchRunner() override;
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;

    // Plans and executes the batch on a worker thread, computing up to `jobs`
    // runs at a time. False when a batch of any runner is still going (one
    // batch at a time in the whole program) or no thread can be started.
    bool Start(BatchCommand command, const std::string& file, std::uint32_t baseSeed, int jobs = 1);
    // Abandons the current run at its next progress call, within a fraction of a second
    // even inside a long iteration, and skips the rest. Safe from any thread.
    void Cancel() { m_cancel = true; }
    bool IsRunning() const { return m_thread.joinable(); }
    static bool AnyRunning() { return s_busy; }

private:
    // Queues `call` to this object's thread; callable from any thread.
    void Post(std::function<void()> call);
    BatchFrontEnd WorkerFrontEnd();
    // The worker's events, called on a worker thread; each queues its event to this object's thread.
    void RunStarting(const PlannedRun& run);
    void RunFinished(const PlannedRun& run, const RunSummary& summary);
    // Tells the refusal with the run or the unreadable file it belongs to.
    void Refused(const Refusal& refusal);
    // Keeps the run's latest progress and queues one delivery for all that arrive meanwhile;
    // false once the batch is cancelled.
    bool Progressed(const PlannedRun& run, const RunProgress& progress);
    // On this object's thread: hands the waiting progress to the window, in batch order.
    void DeliverProgress();
    void Join();

    BatchEvents m_events;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};

    // Progress waiting to be shown, shared between workers and the window's thread.
    std::mutex m_progressMutex;
    bool m_progressPosted = false;
    // Runs computed side by side each keep their latest report.
    std::map<std::int64_t, std::pair<PlannedRun, RunProgress>> m_latest;

    // What tells a run's refusal from an unreadable file of the plan.
    std::mutex m_orderMutex;
    std::vector<std::string> m_refusedStepFiles;  // in plan order
    std::size_t m_nextRefusedStep = 0;
    std::optional<PlannedRun> m_openRun;  // announced, no outcome yet
    std::optional<PlannedRun> m_lastRun;

    static std::atomic<bool> s_busy;
};

}  // namespace kalvo
