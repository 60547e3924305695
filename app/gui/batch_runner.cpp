// app/gui/batch_runner.cpp: the worker thread of a batch and the hand-over of its events.
#include "app/gui/batch_runner.h"

#include <exception>
#include <memory>
#include <system_error>
#include <utility>

#include <QMetaObject>

namespace kalvo {

std::atomic<bool> BatchRunner::s_busy{false};

BatchRunner::BatchRunner(BatchEvents events, QObject* parent) : QObject(parent), m_events(std::move(events)) {}

BatchRunner::~BatchRunner()
{
    if (m_thread.joinable()) {
        m_cancel = true;
        Join();
    }
}

void BatchRunner::Join()
{
    if (!m_thread.joinable())
        return;
    m_thread.join();
    s_busy = false;
}

void BatchRunner::Post(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

bool BatchRunner::Start(BatchCommand command, const std::string& file, std::uint32_t baseSeed, int jobs)
{
    bool idle = false;
    if (!s_busy.compare_exchange_strong(idle, true))
        return false;
    m_cancel = false;
    {
        std::lock_guard lock(m_progressMutex);
        m_progressPosted = false;
        m_latest.clear();
    }
    auto work = [this, command, file, baseSeed, jobs] {
        BatchResult result;
        try {
            const BatchPlan plan = PlanBatch(command, file, baseSeed);
            {
                std::lock_guard lock(m_orderMutex);
                m_refusedStepFiles.clear();
                m_nextRefusedStep = 0;
                m_openRun.reset();
                m_lastRun.reset();
                for (const PlannedStep& step : plan.steps) {
                    if (step.refusal)
                        m_refusedStepFiles.push_back(step.parameterFile);
                }
            }
            // A lone run gains nothing from the parallel executor, which
            // announces each run only once it is computed.
            result = ExecuteBatch(plan, WorkerFrontEnd(), plan.totalRuns > 1 ? jobs : 1);
        } catch (const std::exception& e) {
            // Planning reads whole files; a failure there must not take the window down.
            result.cancelled = true;
            Post([this, file, message = std::string("the batch stopped: ") + e.what()] {
                if (m_events.refused)
                    m_events.refused(std::nullopt, file, message);
            });
        }
        Post([this, result] {
            Join();
            if (m_events.finished)
                m_events.finished(result);
        });
    };
    try {
        m_thread = std::thread(std::move(work));
    } catch (const std::system_error&) {
        s_busy = false;  // no thread to be had: nothing started
        return false;
    }
    return true;
}

BatchFrontEnd BatchRunner::WorkerFrontEnd()
{
    // Every callback may run on any worker thread: each only copies its
    // arguments and queues them, or touches state under a lock.
    BatchFrontEnd frontEnd;
    frontEnd.message = [this](std::string_view text) {
        Post([this, text = std::string(text)] {
            if (m_events.message)
                m_events.message(text);
        });
    };
    frontEnd.runStarting = [this](const PlannedRun& run) { RunStarting(run); };
    frontEnd.runFinished = [this](const PlannedRun& run, const RunSummary& summary) { RunFinished(run, summary); };
    frontEnd.refused = [this](const Refusal& refusal) { Refused(refusal); };
    frontEnd.warned = [this](const std::string& warning) {
        Post([this, warning] {
            if (m_events.warned)
                m_events.warned(warning);
        });
    };
    frontEnd.progress = [this](const PlannedRun& run, const RunProgress& progress) {
        return Progressed(run, progress);
    };
    return frontEnd;
}

// Runs are announced, finished and refused in batch order. A refusal
// belongs to the run announced last while that run has no outcome yet;
// otherwise it is the next file of the plan that could not be read.
void BatchRunner::RunStarting(const PlannedRun& run)
{
    {
        std::lock_guard lock(m_orderMutex);
        m_openRun = run;
        m_lastRun = run;
    }
    Post([this, run] {
        if (m_events.runStarting)
            m_events.runStarting(run);
    });
}

void BatchRunner::RunFinished(const PlannedRun& run, const RunSummary& summary)
{
    {
        std::lock_guard lock(m_orderMutex);
        m_openRun.reset();
    }
    auto shared = std::make_shared<const RunSummary>(summary);
    Post([this, run, shared] {
        if (m_events.runFinished)
            m_events.runFinished(run, *shared);
    });
}

void BatchRunner::Refused(const Refusal& refusal)
{
    std::optional<PlannedRun> run;
    std::string file;
    {
        std::lock_guard lock(m_orderMutex);
        if (m_openRun) {
            run = std::exchange(m_openRun, std::nullopt);
            file = run->parameterFile;
        } else if (m_nextRefusedStep < m_refusedStepFiles.size()) {
            file = m_refusedStepFiles[m_nextRefusedStep++];
        } else if (m_lastRun) {
            file = m_lastRun->parameterFile;  // about a finished run, such as a file written after it
        }
    }
    Post([this, run, file, message = refusal.message] {
        if (m_events.refused)
            m_events.refused(run, file, message);
    });
}

bool BatchRunner::Progressed(const PlannedRun& run, const RunProgress& progress)
{
    bool post = false;
    {
        std::lock_guard lock(m_progressMutex);
        m_latest[run.index] = {run, progress};
        post = !std::exchange(m_progressPosted, true);
    }
    if (post)
        Post([this] { DeliverProgress(); });
    return !m_cancel.load();
}

void BatchRunner::DeliverProgress()
{
    std::map<std::int64_t, std::pair<PlannedRun, RunProgress>> latest;
    {
        std::lock_guard lock(m_progressMutex);
        latest.swap(m_latest);
        m_progressPosted = false;
    }
    if (m_events.progress) {
        for (const auto& [index, report] : latest)
            m_events.progress(report.first, report.second);
    }
}

}  // namespace kalvo
