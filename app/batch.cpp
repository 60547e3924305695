// app/batch.cpp: running a planned batch, one run object at a time or several at once, reports in batch order.
#include "app/batch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fstream>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <utility>

#include "util/append_file.h"
#include "util/file_identity.h"

namespace kalvo {
namespace {

// The number a run's format files carry: none when the batch has one run.
std::int64_t ExtraRunNumber(const BatchPlan& plan, const PlannedRun& run)
{
    return plan.totalRuns > 1 ? run.index + 1 : 0;
}

// What one run produced, before anything of it reaches a file or the user.
struct RunResult {
    Outcome outcome;
    bool abandoned = false;
    std::string outputPath;
    std::string block;  // the report block, appended when the run's turn comes
    std::vector<std::string> warnings;
    std::optional<RunSummary> summary;
    std::vector<std::pair<ExportFormat, std::string>> extras;  // composed files, written after the block
};

// Why a loaded run must not start because of what it would write: a format
// file that would land on a file the run or its batch reads, or beside a pipe
// or device, or a report appended to a file of the batch. Nothing when it may.
Outcome CheckRunOutputs(const CMotifSampler& sampler, const BatchPlan& plan, std::int64_t runNumber)
{
    const std::string refusedFile = "parameter file " + QuotedPath(sampler.m_parameterPath) + ": ";
    std::vector<std::pair<std::string, std::string>> inputs = plan.inputs;
    inputs.emplace_back(sampler.m_inputPath, "the sequence file \"-i\" " + QuotedPath(sampler.m_inputPath));
    if (sampler.m_backgroundPath != kNoBackgroundFile)
        inputs.emplace_back(sampler.m_backgroundPath, "the background file \"-b\" " + QuotedPath(sampler.m_backgroundPath));
    inputs.emplace_back(sampler.m_parameterPath, "the parameter file itself");
    for (const auto& [input, named] : plan.inputs) {
        if (SameFile(sampler.m_outputPath, input))
            return Refusal{refusedFile + "the output file \"-o\" " + QuotedPath(sampler.m_outputPath) + " is " + named +
                           "; the report would be appended to an input"};
    }
    const ExtraOutputs& extras = plan.extraOutputs;
    if (extras.formats.empty())
        return std::nullopt;
    if (const auto kind = SpecialFileKind(CreationTarget(sampler.m_outputPath)))
        return Refusal{refusedFile + "the output file \"-o\" " + QuotedPath(sampler.m_outputPath) + " is " + *kind +
                       ", and no " + std::string(ExportFormatName(extras.formats.front())) +
                       " file is written beside it; give \"-o\" a file in a folder, or leave out the formats"};
    inputs.emplace_back(sampler.m_outputPath, "the output file \"-o\" " + QuotedPath(sampler.m_outputPath));
    for (ExportFormat format : extras.formats) {
        const std::string path = ExtraOutputPath(sampler.m_outputPath, format, runNumber);
        for (const auto& [input, named] : inputs) {
            if (SameFile(path, input))
                return Refusal{refusedFile + "the " + std::string(ExportFormatName(format)) + " file " + QuotedPath(path) +
                               " is " + named + "; the run would overwrite it, so it was not run"};
        }
    }
    return std::nullopt;
}

// One run up to its composed report: construct, load, check what it would
// write, sample, compose, destroy. Anything thrown out of the run (the core
// only throws when memory runs out) becomes a refusal, so the batch goes on
// with its next run.
RunResult ComputeRun(const PlannedRun& run, const std::optional<std::string>& parameterText,
                     const ProgressCallback& progress, bool wantSummary, const BatchPlan& plan)
{
    const ExtraOutputs& extras = plan.extraOutputs;
    RunResult result;
    try {
        CMotifSampler sampler;
        // Whatever happens to the run, what it read loosely is still told.
        struct KeepWarnings {
            CMotifSampler& sampler;
            std::vector<std::string>& into;
            ~KeepWarnings() { into = std::move(sampler.m_warnings); }
        } keep{sampler, result.warnings};
        result.outcome = parameterText ? sampler.LoadParametersText(*parameterText, run.parameterFile)
                                       : sampler.LoadParameters(run.parameterFile);
        if (!result.outcome)
            result.outcome = CheckRunOutputs(sampler, plan, ExtraRunNumber(plan, run));
        if (!result.outcome)
            result.outcome = sampler.Sample(run.seed, progress);
        if (!result.outcome) {
            sampler.InstallBestState();
            result.block = sampler.ComposeReport();
            result.outputPath = sampler.m_outputPath;
            if (wantSummary || !extras.formats.empty()) {
                RunSummary summary = SummarizeRun(sampler);
                // Motifs are named by their run's number over the batch, so that the files of one batch merge.
                ExportOptions options = extras.options;
                options.runNumber = run.index + 1;
                // Composed here, on the worker; only the writing waits for the run's turn.
                for (ExportFormat format : extras.formats)
                    result.extras.emplace_back(format, ComposeExport(format, summary, options));
                if (wantSummary)
                    result.summary = std::move(summary);
            }
        }
    } catch (const std::bad_alloc&) {
        result.outcome = Refusal{"parameter file " + QuotedPath(run.parameterFile) + ": the run needs more memory than is available"};
    } catch (const std::exception& e) {
        result.outcome = Refusal{"parameter file " + QuotedPath(run.parameterFile) + ": the run failed: " + e.what()};
    }
    return result;
}

// One entry of a batch in order: a run, or a file refused while planning.
struct BatchItem {
    const PlannedStep* step = nullptr;
    int run = 0;
};

// Walks a plan's entries in batch order without listing them all first: a
// step may stand for a million runs, and a list of steps for many more.
class ItemCursor {
public:
    explicit ItemCursor(const BatchPlan& plan) : m_plan(plan) {}
    std::optional<BatchItem> Next()
    {
        while (m_step < m_plan.steps.size()) {
            const PlannedStep& step = m_plan.steps[m_step];
            if (step.refusal || m_run >= step.runs) {
                const bool refusedStep = step.refusal && m_run == 0;
                ++m_step;
                m_run = 0;
                if (refusedStep)
                    return BatchItem{&step, 0};
                continue;
            }
            return BatchItem{&step, m_run++};
        }
        return std::nullopt;
    }

private:
    const BatchPlan& m_plan;
    std::size_t m_step = 0;
    int m_run = 0;
};

// Runs the entries of a plan, several at a time, and hands their results to
// the front end strictly in batch order: the files receive the same bytes in
// the same order as from one run after another, and so does the user.
class BatchExecutor {
public:
    BatchExecutor(const BatchPlan& plan, const BatchFrontEnd& frontEnd, int jobs)
        : m_plan(plan), m_frontEnd(frontEnd), m_jobs(std::max(1, jobs)), m_cursor(plan)
    {
    }

    BatchResult Execute()
    {
        if (m_plan.needsRunCount) {
            m_result.askedForRunCount = true;
            Tell(kRunCountMessage);
            return m_result;
        }
        if (m_jobs == 1) {
            // One at a time, on the calling thread.
            while (auto item = m_cursor.Next()) {
                Started(*item);
                if (!Commit(*item, Compute(*item)))
                    return m_result;
            }
        } else if (!ExecuteInParallel()) {
            return m_result;
        }
        Tell(kFinishedMessage);
        return m_result;
    }

private:
    struct Slot {
        BatchItem item;
        std::optional<RunResult> result;
    };

    bool ExecuteInParallel()
    {
        std::vector<std::thread> workers;
        for (int j = 0; j < m_jobs; ++j)
            workers.emplace_back([this] { Work(); });
        bool completed = true;
        for (std::int64_t index = 0;; ++index) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] {
                return (index < static_cast<std::int64_t>(m_slots.size()) + m_firstSlot &&
                        m_slots[static_cast<std::size_t>(index - m_firstSlot)].result) ||
                       (m_exhausted && index >= static_cast<std::int64_t>(m_slots.size()) + m_firstSlot);
            });
            if (index >= static_cast<std::int64_t>(m_slots.size()) + m_firstSlot)
                break;
            Slot slot = std::move(m_slots.front());
            m_slots.pop_front();
            ++m_firstSlot;
            lock.unlock();
            m_changed.notify_all();
            // Announced when its turn comes, so the user reads what a
            // one-at-a-time batch would have said, in the same order.
            Started(slot.item);
            if (!Commit(slot.item, std::move(*slot.result))) {
                completed = false;
                break;
            }
        }
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& worker : workers)
            worker.join();
        return completed;
    }

    void Work()
    {
        for (;;) {
            BatchItem item;
            std::int64_t index = 0;
            {
                std::unique_lock lock(m_mutex);
                // Stay a few runs ahead of the reports already appended, no more.
                m_changed.wait(lock, [&] {
                    return m_stop || m_exhausted || static_cast<std::int64_t>(m_slots.size()) < 2 * m_jobs;
                });
                if (m_stop || m_exhausted)
                    return;
                auto next = m_cursor.Next();
                if (!next) {
                    m_exhausted = true;
                    lock.unlock();
                    m_changed.notify_all();
                    return;
                }
                item = *next;
                index = m_firstSlot + static_cast<std::int64_t>(m_slots.size());
                m_slots.push_back(Slot{item, std::nullopt});
            }
            RunResult result = Compute(item);
            {
                std::lock_guard lock(m_mutex);
                m_slots[static_cast<std::size_t>(index - m_firstSlot)].result = std::move(result);
            }
            m_changed.notify_all();
        }
    }

    void Started(const BatchItem& item)
    {
        if (item.step->refusal || !m_frontEnd.runStarting)
            return;
        std::lock_guard lock(m_callbackMutex);
        m_frontEnd.runStarting(RunOfStep(m_plan, *item.step, item.run));
    }

    RunResult Compute(const BatchItem& item)
    {
        if (item.step->refusal) {
            RunResult refused;
            refused.outcome = item.step->refusal;
            return refused;
        }
        const PlannedRun run = RunOfStep(m_plan, *item.step, item.run);
        bool abandoned = false;
        ProgressCallback progress = [&](const RunProgress& p) {
            if (m_abandoning.load())
                abandoned = true;
            else if (m_frontEnd.progress) {
                std::lock_guard lock(m_callbackMutex);
                abandoned = !m_frontEnd.progress(run, p);
            }
            if (abandoned)
                m_abandoning = true;
            return !abandoned;
        };
        RunResult result = ComputeRun(run, item.step->parameterText, progress,
                                      static_cast<bool>(m_frontEnd.runFinished), m_plan);
        result.abandoned = abandoned;
        return result;
    }

    // Appends a finished run's report and tells the front end; false ends the batch.
    bool Commit(const BatchItem& item, RunResult result)
    {
        if (result.abandoned) {
            m_result.cancelled = true;
            return false;
        }
        if (!result.outcome)
            result.outcome = CMotifSampler::AppendReport(result.outputPath, result.block);
        std::lock_guard lock(m_callbackMutex);
        // Runs of one file read it alike: each warning is told once per batch.
        for (const std::string& warning : result.warnings)
            if (m_warningsTold.insert(warning).second && m_frontEnd.warned)
                m_frontEnd.warned(warning);
        if (result.outcome) {
            ++m_result.runsRefused;
            if (m_frontEnd.refused)
                m_frontEnd.refused(*result.outcome);
            return true;
        }
        ++m_result.runsDone;
        const PlannedRun run = RunOfStep(m_plan, *item.step, item.run);
        const std::vector<Refusal> unwritten = WriteExtras(run, result);
        if (m_frontEnd.runFinished && result.summary)
            m_frontEnd.runFinished(run, *result.summary);
        for (const Refusal& refusal : unwritten) {
            ++m_result.runsRefused;
            if (m_frontEnd.refused)
                m_frontEnd.refused(refusal);
        }
        return true;
    }

    // Writes the run's extra files after its report block; one refusal per file that cannot be written.
    std::vector<Refusal> WriteExtras(const PlannedRun& run, const RunResult& result) const
    {
        std::vector<Refusal> unwritten;
        const std::int64_t runNumber = ExtraRunNumber(m_plan, run);
        for (const auto& [format, text] : result.extras) {
            const std::string path = ExtraOutputPath(result.outputPath, format, runNumber);
            if (auto problem = ReplaceWhole(path, text))
                unwritten.push_back(Refusal{"cannot write the " + std::string(ExportFormatName(format)) + " file " +
                                            QuotedPath(path) + ": " + *problem + " (the report was appended to " +
                                            QuotedPath(result.outputPath) + ")"});
        }
        return unwritten;
    }

    void Tell(std::string_view text)
    {
        std::lock_guard lock(m_callbackMutex);
        if (m_frontEnd.message)
            m_frontEnd.message(text);
    }

    const BatchPlan& m_plan;
    const BatchFrontEnd& m_frontEnd;
    const int m_jobs;
    BatchResult m_result;
    ItemCursor m_cursor;
    std::atomic<bool> m_abandoning{false};
    std::mutex m_callbackMutex;  // the front end is never called from two threads at once
    std::mutex m_mutex;          // guards the cursor and the slots
    std::condition_variable m_changed;
    std::deque<Slot> m_slots;    // claimed entries not yet committed, in batch order
    std::set<std::string> m_warningsTold;
    std::int64_t m_firstSlot = 0;
    bool m_exhausted = false;
    bool m_stop = false;
};

}  // namespace

int DefaultJobs()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

BatchResult ExecuteBatch(const BatchPlan& plan, const BatchFrontEnd& frontEnd, int jobs)
{
    return BatchExecutor(plan, frontEnd, jobs).Execute();
}

BatchResult RunBatchCommand(BatchCommand command, const BatchFrontEnd& frontEnd, const BatchOptions& options)
{
    const std::optional<std::string> file = frontEnd.chooseFile ? frontEnd.chooseFile(command) : std::nullopt;
    if (!file) {
        BatchResult result;
        result.cancelled = true;
        return result;
    }
    const std::uint32_t base = options.seed ? *options.seed : (options.clock ? options.clock() : ClockSeed());
    BatchPlan plan = PlanBatch(command, *file, base);
    plan.extraOutputs = options.extraOutputs;
    return ExecuteBatch(plan, frontEnd, options.jobs);
}

}  // namespace kalvo
