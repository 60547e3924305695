// app/gui/discovery_runner.cpp: the worker thread of a discovery and the hand-over of its events.
#include "app/gui/discovery_runner.h"

#include <exception>
#include <system_error>
#include <utility>

#include <QMetaObject>

namespace kalvo {

std::atomic<bool> DiscoveryRunner::s_busy{false};

DiscoveryRunner::DiscoveryRunner(DiscoveryEvents events, QObject* parent) : QObject(parent), m_events(std::move(events))
{
}

DiscoveryRunner::~DiscoveryRunner()
{
    if (m_thread.joinable()) {
        m_cancel = true;
        Join();
    }
}

std::optional<Outcome> DiscoveryRunner::CancelAndWait()
{
    if (!m_thread.joinable())
        return std::nullopt;
    m_cancel = true;
    m_thread.join();
    s_busy = false;
    m_events = {};  // the finished event may be queued already: it must find nothing to call
    return m_outcome;
}

void DiscoveryRunner::Join()
{
    if (!m_thread.joinable())
        return;
    m_thread.join();
    s_busy = false;
}

bool DiscoveryRunner::Start(const DiscoverSettings& settings, bool force, OutputFolder& folder)
{
    bool idle = false;
    if (!s_busy.compare_exchange_strong(idle, true))
        return false;
    m_cancel = false;
    m_progressPosted = false;
    auto work = [this, settings, force, &folder] {
        // Queued calls to this object are dropped if it goes first, so none outlives it.
        const auto post = [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        };
        const DiscoverProgressCallback progress = [this, post](const DiscoverProgress& state) {
            bool first = false;
            {
                std::lock_guard lock(m_progressMutex);
                m_latest = state;
                first = !std::exchange(m_progressPosted, true);
            }
            if (first) {
                post([this] {
                    DiscoverProgress latest;
                    {
                        std::lock_guard lock(m_progressMutex);
                        latest = m_latest;
                        m_progressPosted = false;
                    }
                    if (m_events.progress)
                        m_events.progress(latest);
                });
            }
            return !m_cancel.load();
        };
        auto discovery = std::make_shared<Discovery>();
        Outcome outcome;
        try {
            outcome = RunDiscovery(settings, force, folder, *discovery, progress);
        } catch (const std::exception& e) {
            // Reading and writing whole files may fail beyond a refusal; the window must stay up.
            outcome = Refusal{std::string("the analysis stopped: ") + e.what()};
        }
        m_outcome = outcome;  // read only after the thread is joined
        post([this, outcome, discovery] {
            Join();
            if (m_events.finished)
                m_events.finished(outcome, *discovery);
        });
    };
    try {
        m_thread = std::thread(std::move(work));
    } catch (const std::system_error&) {
        s_busy = false;
        return false;
    }
    return true;
}

}  // namespace kalvo
