// app/batch.h: the three batch commands (one run, repeated runs, a list of parameter files), shared by both front ends.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "model/refusal.h"
#include "model/run_state.h"
#include "report/formats.h"
#include "report/run_summary.h"

namespace kalvo {

enum class BatchCommand {
    SingleRun,       // one run of a parameter file
    RepeatedRun,     // as many runs of a parameter file as its "-N" line says
    MultipleInputs,  // every parameter file of a list file, each as often as its "-N" line says
};

// The two texts a batch shows the user, exactly as shown.
inline constexpr std::string_view kFinishedMessage = "Finished!\n";
inline constexpr std::string_view kRunCountMessage = "please input number of runs!\n";

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
// step rather than one by one, because a count of two billion is legal input.
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

// Plans for the three commands. Unreadable files become refusals in the plan.
BatchPlan PlanSingleRun(const std::string& parameterFile, std::uint32_t baseSeed);
BatchPlan PlanRepeatedRun(const std::string& parameterFile, std::uint32_t baseSeed);
BatchPlan PlanMultipleInputs(const std::string& listFile, std::uint32_t baseSeed);
BatchPlan PlanBatch(BatchCommand command, const std::string& file, std::uint32_t baseSeed);
// Runs of parameters held as text, named `name` in messages, as often as their "-N" line says (1 without).
BatchPlan PlanParameterText(const std::string& name, const std::string& text, std::uint32_t baseSeed);

// How a batch talks to its front end. Only chooseFile is required.
struct BatchFrontEnd {
    // The command's file (a parameter or list file); nothing when the user cancelled.
    std::function<std::optional<std::string>(BatchCommand)> chooseFile;
    // kFinishedMessage or kRunCountMessage.
    std::function<void(std::string_view)> message;
    // A run is about to start.
    std::function<void(const PlannedRun&)> runStarting;
    // One refused run, or one file that could not be read.
    std::function<void(const Refusal&)> refused;
    // Input a run read loosely, one line each, told before the run's result;
    // a warning that an earlier run of the batch gave is not told again.
    std::function<void(const std::string&)> warned;
    // A run appended its report; the summary describes the same best state.
    std::function<void(const PlannedRun&, const RunSummary&)> runFinished;
    // About every tenth of a second while a run works, and between
    // iterations; returning false abandons it and stops the batch.
    std::function<bool(const PlannedRun&, const RunProgress&)> progress;
};

// Independent runs to execute at once by default: one per core.
int DefaultJobs();

struct BatchOptions {
    std::optional<std::uint32_t> seed;          // base seed; the clock when not given
    std::function<std::uint32_t()> clock = ClockSeed;
    int jobs = 1;                               // runs computed at the same time
    ExtraOutputs extraOutputs;                  // files besides the report, for every run
};

struct BatchResult {
    std::int64_t runsDone = 0;
    std::int64_t runsRefused = 0;   // refusal messages given, unreadable files included
    bool askedForRunCount = false;  // "please input number of runs!" was shown
    bool cancelled = false;         // no file chosen, or a run abandoned: no "Finished!"
};

// Runs a plan's steps in order, one run object at a time, and says "Finished!" at the end.
// With jobs above 1, runs are computed on that many threads, while their
// reports are appended, their extra outputs written and the front end told in
// batch order, never from two threads at once: files and messages are those
// of one run after another. An extra output that cannot be written is
// reported like a refused run; the report block already appended stays.
BatchResult ExecuteBatch(const BatchPlan& plan, const BatchFrontEnd& frontEnd, int jobs = 1);

// A whole batch command: asks for the file, plans, executes.
BatchResult RunBatchCommand(BatchCommand command, const BatchFrontEnd& frontEnd, const BatchOptions& options = {});

}  // namespace kalvo
