// app/batch_plan.cpp: planning the batch commands: which parameter files run how often, and what cannot be read.
#include "app/batch_plan.h"

#include <chrono>
#include <filesystem>
#include <new>

#include "model/parameter_limits.h"
#include "model/run_state.h"
#include "util/file_identity.h"
#include "util/number_text.h"
#include "util/random.h"
#include "util/text_lines.h"

namespace kalvo {
namespace fs = std::filesystem;
namespace {

PlannedStep RefusedStep(const std::string& file, std::string message)
{
    PlannedStep step;
    step.parameterFile = file;
    step.refusal = Refusal{std::move(message)};
    return step;
}

Refusal CannotOpen(const char* what, const std::string& path)
{
    return Refusal{std::string("cannot open ") + what + " " + QuotedPath(path) + ": " + DescribeOpenFailure(path)};
}

// A file a plan reads, whole, or the refusal that stands for it. Reading
// happens once: a pipe or a process substitution gives its text only once,
// so every run of the file is handed this same text.
std::optional<std::string> ReadForPlan(BatchPlan& plan, const char* what, const std::string& path)
{
    try {
        if (auto text = ReadWholeFile(path))
            return text;
        plan.steps.push_back(RefusedStep(path, CannotOpen(what, path).message));
    } catch (const std::bad_alloc&) {
        plan.steps.push_back(RefusedStep(path, std::string(what) + " " + QuotedPath(path) +
                                                   " is too large to read into the memory available"));
    }
    return std::nullopt;
}

// Notes a parameter file of the batch and the files it names as inputs of the whole batch.
void NoteParameterInputs(BatchPlan& plan, const std::string& path, const std::string& text)
{
    plan.inputs.emplace_back(path, "the parameter file " + QuotedPath(path));
    CMotifSampler reader;
    reader.LoadParametersText(text, path);
    if (!reader.m_inputPath.empty())
        plan.inputs.emplace_back(reader.m_inputPath, "the sequence file \"-i\" " + QuotedPath(reader.m_inputPath) +
                                                         " of parameter file " + QuotedPath(path));
    if (reader.m_backgroundPath != kNoBackgroundFile && !reader.m_backgroundPath.empty())
        plan.inputs.emplace_back(reader.m_backgroundPath, "the background file \"-b\" " +
                                                              QuotedPath(reader.m_backgroundPath) + " of parameter file " +
                                                              QuotedPath(path));
}

// A repeat count above the bound is refused before any of its runs: two
// billion of them would append reports for months.
bool RefusedRunCount(BatchPlan& plan, const std::string& parameterFile, int count)
{
    if (count <= kMostRuns)
        return false;
    plan.steps.push_back(RefusedStep(parameterFile, "parameter file " + QuotedPath(parameterFile) +
                                                        ": runs \"-N\" must be at most " + std::to_string(kMostRuns) +
                                                        " (\"-N\" gives " + std::to_string(count) + ")"));
    return true;
}

void AddRuns(BatchPlan& plan, const std::string& parameterFile, int runs,
             std::optional<std::string> parameterText = std::nullopt)
{
    PlannedStep step;
    step.parameterFile = parameterFile;
    step.firstRun = plan.totalRuns;
    step.runs = runs;
    step.parameterText = std::move(parameterText);
    plan.totalRuns += runs;
    plan.steps.push_back(std::move(step));
}

}  // namespace

std::string QuotedPath(const std::string& path) { return "'" + path + "'"; }

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
    // Say what is wrong with the file rather than asking for a count it may well hold.
    auto text = ReadForPlan(plan, "parameter file", parameterFile);
    if (!text)
        return plan;
    const int count = ScanRunCount(SplitLines(*text), -1);
    if (count < 1) {
        plan.needsRunCount = true;
        return plan;
    }
    if (!RefusedRunCount(plan, parameterFile, count))
        AddRuns(plan, parameterFile, count, std::move(text));
    return plan;
}

BatchPlan PlanMultipleInputs(const std::string& listFile, std::uint32_t baseSeed)
{
    BatchPlan plan;
    plan.baseSeed = baseSeed;
    const auto text = ReadForPlan(plan, "list file", listFile);
    if (!text)
        return plan;
    plan.inputs.emplace_back(listFile, "the list file " + QuotedPath(listFile));
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
                "", "list file " + QuotedPath(listFile) + " names " + std::to_string(listed) +
                        " parameter files on its first line but lists only " + std::to_string(present) +
                        "; the missing ones are skipped"));
            break;
        }
        const std::string& path = lines[i];
        if (path.empty()) {
            plan.steps.push_back(RefusedStep(
                path, "list file " + QuotedPath(listFile) + ", line " + std::to_string(i + 1) +
                          ": empty line where a parameter file should be named"));
            continue;
        }
        auto parameters = ReadForPlan(plan, "parameter file", path);
        if (!parameters)
            continue;
        NoteParameterInputs(plan, path, *parameters);
        const int count = ScanRunCount(SplitLines(*parameters), 1);
        if (count >= 1 && !RefusedRunCount(plan, path, count))
            AddRuns(plan, path, count, std::move(parameters));
    }
    return plan;
}

BatchPlan PlanParameterText(const std::string& name, const std::string& text, std::uint32_t baseSeed)
{
    BatchPlan plan;
    plan.baseSeed = baseSeed;
    const int count = ScanRunCount(SplitLines(text), 1);
    if (count < 1) {
        plan.needsRunCount = true;
        return plan;
    }
    if (!RefusedRunCount(plan, name, count))
        AddRuns(plan, name, count, text);
    return plan;
}

std::string ExtraOutputPath(const std::string& outputPath, ExportFormat format, std::int64_t runNumber)
{
    fs::path path(outputPath);
    std::string suffix;
    if (runNumber > 0)
        suffix = ".run" + std::to_string(runNumber);
    suffix += ExportFormatSuffix(format);
    path.replace_extension();
    std::string extra = path.string() + suffix;
    // A report file that already ends in the format's suffix keeps it whole.
    if (extra == outputPath)
        extra = outputPath + suffix;
    return extra;
}

BatchPlan PlanBatch(BatchCommand command, const std::string& file, std::uint32_t baseSeed)
{
    try {
        switch (command) {
        case BatchCommand::SingleRun:
            return PlanSingleRun(file, baseSeed);
        case BatchCommand::RepeatedRun:
            return PlanRepeatedRun(file, baseSeed);
        case BatchCommand::MultipleInputs:
            return PlanMultipleInputs(file, baseSeed);
        }
    } catch (const std::bad_alloc&) {
        BatchPlan plan;
        plan.baseSeed = baseSeed;
        plan.steps.push_back(RefusedStep(file, (command == BatchCommand::MultipleInputs ? "list file " : "parameter file ") +
                                                   QuotedPath(file) + ": planning its runs needs more memory than is available"));
        return plan;
    }
    return {};
}

}  // namespace kalvo
