// app/batch.cpp: planning and running the batch commands, one run object at a time.
#include "app/batch.h"

#include <chrono>
#include <exception>
#include <new>
#include <utility>

#include "util/number_text.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

// Spreads the seeds of neighbouring runs over the whole 32-bit range.
constexpr std::uint32_t kSeedStep = 2654435761u;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

PlannedStep RefusedStep(const std::string& file, std::string message)
{
    PlannedStep step;
    step.parameterFile = file;
    step.refusal = Refusal{std::move(message)};
    return step;
}

Refusal CannotOpen(const char* what, const std::string& path)
{
    return Refusal{std::string("cannot open ") + what + " " + Quoted(path) + ": " + DescribeOpenFailure(path)};
}

void AddRuns(BatchPlan& plan, const std::string& parameterFile, int runs)
{
    PlannedStep step;
    step.parameterFile = parameterFile;
    step.firstRun = plan.totalRuns;
    step.runs = runs;
    plan.totalRuns += runs;
    plan.steps.push_back(std::move(step));
}

}  // namespace

std::uint32_t RunSeed(std::uint32_t base, std::int64_t k)
{
    // Unsigned arithmetic wraps, which is exactly the reduction mod 2^32.
    return base + static_cast<std::uint32_t>(k) * kSeedStep;
}

std::uint32_t ClockSeed()
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(seconds.count());
}

int ScanRunCount(const std::vector<std::string>& lines, int count)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "-N")
            continue;
        count = i + 1 < lines.size() ? ParseLeadingInt(lines[i + 1]) : 0;
        ++i;  // the value line is consumed, never read as a key
    }
    return count;
}

PlannedRun RunOfStep(const BatchPlan& plan, const PlannedStep& step, int i)
{
    PlannedRun run;
    run.parameterFile = step.parameterFile;
    run.index = step.firstRun + i;
    run.seed = RunSeed(plan.baseSeed, run.index);
    run.total = plan.totalRuns;
    return run;
}

BatchPlan PlanSingleRun(const std::string& parameterFile, std::uint32_t baseSeed)
{
    BatchPlan plan;
    plan.baseSeed = baseSeed;
    // The run itself reads the file and refuses it when it cannot.
    AddRuns(plan, parameterFile, 1);
    return plan;
}

BatchPlan PlanRepeatedRun(const std::string& parameterFile, std::uint32_t baseSeed)
{
    BatchPlan plan;
    plan.baseSeed = baseSeed;
    const auto text = ReadWholeFile(parameterFile);
    if (!text) {
        // Say what is wrong with the file rather than asking for a count it may well hold.
        plan.steps.push_back(RefusedStep(parameterFile, CannotOpen("parameter file", parameterFile).message));
        return plan;
    }
    const int count = ScanRunCount(SplitLines(*text), -1);
    if (count < 1) {
        plan.needsRunCount = true;
        return plan;
    }
    AddRuns(plan, parameterFile, count);
    return plan;
}

BatchPlan PlanMultipleInputs(const std::string& listFile, std::uint32_t baseSeed)
{
    BatchPlan plan;
    plan.baseSeed = baseSeed;
    const auto text = ReadWholeFile(listFile);
    if (!text) {
        plan.steps.push_back(RefusedStep(listFile, CannotOpen("list file", listFile).message));
        return plan;
    }
    const std::vector<std::string> lines = SplitLines(*text);
    const int listed = lines.empty() ? 0 : ParseLeadingInt(lines[0]);
    if (listed < 1) {
        plan.needsRunCount = true;
        return plan;
    }
    const std::size_t present = lines.size() - 1;
    for (std::size_t i = 1; i <= static_cast<std::size_t>(listed); ++i) {
        if (i > present) {
            // The missing lines would be empty paths, none of them readable:
            // one message covers them all, however large the count.
            plan.steps.push_back(RefusedStep(
                "", "list file " + Quoted(listFile) + " names " + std::to_string(listed) +
                        " parameter files on its first line but lists only " + std::to_string(present) +
                        "; the missing ones are skipped"));
            break;
        }
        const std::string& path = lines[i];
        if (path.empty()) {
            plan.steps.push_back(RefusedStep(
                path, "list file " + Quoted(listFile) + ", line " + std::to_string(i + 1) +
                          ": empty line where a parameter file should be named"));
            continue;
        }
        const auto parameters = ReadWholeFile(path);
        if (!parameters) {
            plan.steps.push_back(RefusedStep(path, CannotOpen("parameter file", path).message));
            continue;
        }
        const int count = ScanRunCount(SplitLines(*parameters), 1);
        if (count >= 1)
            AddRuns(plan, path, count);
    }
    return plan;
}

BatchPlan PlanBatch(BatchCommand command, const std::string& file, std::uint32_t baseSeed)
{
    switch (command) {
    case BatchCommand::SingleRun:
        return PlanSingleRun(file, baseSeed);
    case BatchCommand::RepeatedRun:
        return PlanRepeatedRun(file, baseSeed);
    case BatchCommand::MultipleInputs:
        return PlanMultipleInputs(file, baseSeed);
    }
    return {};
}

namespace {

enum class RunEnd { Done, Refused, Abandoned };

// One run: construct, load, run, destroy. Anything thrown out of the run (the
// core only throws when memory runs out) is reported like a refusal, so the
// batch goes on with its next run.
RunEnd ExecuteRun(const PlannedRun& run, const BatchFrontEnd& frontEnd)
{
    bool abandoned = false;
    ProgressCallback progress;
    if (frontEnd.progress) {
        progress = [&](const RunProgress& p) {
            if (!frontEnd.progress(run, p))
                abandoned = true;
            return !abandoned;
        };
    }
    Outcome outcome;
    try {
        CMotifSampler sampler;
        outcome = sampler.LoadParameters(run.parameterFile);
        if (!outcome)
            outcome = sampler.Run(run.seed, progress);
        if (!outcome && frontEnd.runFinished)
            frontEnd.runFinished(run, SummarizeRun(sampler));
    } catch (const std::bad_alloc&) {
        outcome = Refusal{"parameter file " + Quoted(run.parameterFile) + ": the run needs more memory than is available"};
    } catch (const std::exception& e) {
        outcome = Refusal{"parameter file " + Quoted(run.parameterFile) + ": the run failed: " + e.what()};
    }
    if (abandoned)
        return RunEnd::Abandoned;
    if (outcome) {
        if (frontEnd.refused)
            frontEnd.refused(*outcome);
        return RunEnd::Refused;
    }
    return RunEnd::Done;
}

}  // namespace

BatchResult ExecuteBatch(const BatchPlan& plan, const BatchFrontEnd& frontEnd)
{
    BatchResult result;
    auto tell = [&](std::string_view text) {
        if (frontEnd.message)
            frontEnd.message(text);
    };
    if (plan.needsRunCount) {
        result.askedForRunCount = true;
        tell(kRunCountMessage);
        return result;
    }
    for (const PlannedStep& step : plan.steps) {
        if (step.refusal) {
            ++result.runsRefused;
            if (frontEnd.refused)
                frontEnd.refused(*step.refusal);
            continue;
        }
        for (int i = 0; i < step.runs; ++i) {
            const PlannedRun run = RunOfStep(plan, step, i);
            if (frontEnd.runStarting)
                frontEnd.runStarting(run);
            switch (ExecuteRun(run, frontEnd)) {
            case RunEnd::Done:
                ++result.runsDone;
                break;
            case RunEnd::Refused:
                ++result.runsRefused;
                break;
            case RunEnd::Abandoned:
                result.cancelled = true;
                return result;
            }
        }
    }
    tell(kFinishedMessage);
    return result;
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
    return ExecuteBatch(PlanBatch(command, *file, base), frontEnd);
}

}  // namespace kalvo
