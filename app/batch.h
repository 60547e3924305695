// app/batch.h: the three batch commands (one run, repeated runs, a list of parameter files), shared by both front ends.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch_plan.h"
#include "model/refusal.h"
#include "model/run_state.h"
#include "report/formats.h"
#include "report/run_summary.h"

namespace kalvo {

// The two texts a batch shows the user, exactly as shown.
inline constexpr std::string_view kFinishedMessage = "Finished!\n";
inline constexpr std::string_view kRunCountMessage = "please input number of runs!\n";

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
