// app/batch_plan.h: what a batch command will run, worked out from its files before any run starts.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/refusal.h"
#include "report/formats.h"

namespace kalvo {

enum class BatchCommand {
    SingleRun,       // one run of a parameter file
    RepeatedRun,     // as many runs of a parameter file as its "-N" line says
    MultipleInputs,  // every parameter file of a list file, each as often as its "-N" line says
};

// Runs of one batch draw distinct random streams: RunSeed(base, k), k counted
// over the whole batch from 0, so run 0 uses the base itself.

// The base seed when none is given: the current time in whole seconds.
std::uint32_t ClockSeed();

// The repeat count of a parameter file's lines: the value after the last "-N"
// line (read like atoi; 0 when "-N" is the last line), or `count` when there is none.
// The value line is never taken for a key, so "-N" "-N" "4" reads 0.
int ScanRunCount(const std::vector<std::string>& lines, int count);

// One step of a planned batch, in batch order: `runs` runs of one parameter
// file one after another, or a file that could not be read at this point.
struct PlannedStep {
    std::string parameterFile;        // with parameterText: the name that stands for it (read once, as planned)
    std::int64_t firstRun = 0;        // k of its first run over the batch
    int runs = 0;
    std::optional<Refusal> refusal;   // set: reported here instead of any run
    std::optional<std::string> parameterText;  // set: read instead of the file (`kalvo find`)
};

// Files each run writes next to its report file, in these formats.
struct ExtraOutputs {
    std::vector<ExportFormat> formats;  // empty: the report block only
    ExportOptions options;              // each run's number over the batch replaces options.runNumber
};

// Where a run writes a format: the report file's name with its extension
// replaced by the format's suffix (out.txt: out.meme, out.logo.svg), and
// ".runN" before it when runNumber N is above 0. Never the report file itself.
std::string ExtraOutputPath(const std::string& outputPath, ExportFormat format, std::int64_t runNumber);

// What a batch will do, worked out before any run starts. Runs are kept per
// step rather than one by one: a list of files may stand for billions of runs.
struct BatchPlan {
    std::uint32_t baseSeed = 0;
    std::vector<PlannedStep> steps;
    std::int64_t totalRuns = 0;
    bool needsRunCount = false;  // nothing to run: the user is asked for a number of runs
    ExtraOutputs extraOutputs;   // written after each run's report, numbered when totalRuns > 1
    // Files the batch reads besides each run's own inputs (the list file, the
    // listed parameter files and their sequence and background files), each
    // with the words that name it in a message. No run writes any of them.
    std::vector<std::pair<std::string, std::string>> inputs;
};

// One run of a batch, with everything needed to repeat it alone.
struct PlannedRun {
    std::string parameterFile;
    std::uint32_t seed = 0;
    std::int64_t index = 0;  // k, from 0
    std::int64_t total = 0;  // runs in the batch
};

// The k-th run of the batch's steps.
PlannedRun RunOfStep(const BatchPlan& plan, const PlannedStep& step, int i);

// Plans for the three commands. Unreadable files, and "-N" counts above
// kMostRuns, become refusals in the plan, before any run starts.
BatchPlan PlanSingleRun(const std::string& parameterFile, std::uint32_t baseSeed);
BatchPlan PlanRepeatedRun(const std::string& parameterFile, std::uint32_t baseSeed);
BatchPlan PlanMultipleInputs(const std::string& listFile, std::uint32_t baseSeed);
BatchPlan PlanBatch(BatchCommand command, const std::string& file, std::uint32_t baseSeed);
// Runs of parameters held as text, named `name` in messages, as often as their "-N" line says (1 without).
BatchPlan PlanParameterText(const std::string& name, const std::string& text, std::uint32_t baseSeed);

// A path as the batch's messages give it: between single quotes.
std::string QuotedPath(const std::string& path);

}  // namespace kalvo
