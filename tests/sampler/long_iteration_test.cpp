// tests/sampler/long_iteration_test.cpp: one long iteration reports its progress and can be abandoned part way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "model/parameter_limits.h"
#include "sampler/run_setup.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using testing::RandomFasta;
using testing::ReadBytes;
using testing::RunFiles;

// A run of the given files whose callback notes every call and goes on for
// `goOnCalls` calls; the pacer calls at every look when `everyLook`.
struct WatchedRun {
    WatchedRun(const RunFiles& files, int goOnCalls, bool everyLook)
    {
        if (auto refusal = run.LoadParameters(files.params))
            ADD_FAILURE() << refusal->message;
        if (everyLook)
            run.m_pacer.SetInterval(std::chrono::milliseconds(0));
        outcome = run.Run(5, [this, goOnCalls](const RunProgress& progress) {
            calls.push_back(progress);
            return static_cast<int>(calls.size()) < goOnCalls;
        });
    }
    CMotifSampler run;
    std::vector<RunProgress> calls;
    Outcome outcome;
};

// The calls of one abandoned run of one iteration: the first before it, the rest within it.
void ExpectCallsWithinTheOnlyIteration(const std::vector<RunProgress>& calls, std::size_t expected)
{
    ASSERT_EQ(calls.size(), expected);
    EXPECT_EQ(calls[0].iteration, 0);
    EXPECT_EQ(calls[0].withinIteration, 0.0);
    for (std::size_t i = 1; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].iteration, 0);
        EXPECT_EQ(calls[i].iterations, 1);
        EXPECT_GT(calls[i].withinIteration, 0.0);
        EXPECT_LT(calls[i].withinIteration, 1.0);
        EXPECT_GE(calls[i].withinIteration, calls[i - 1].withinIteration);
    }
}

void ExpectCancelledWithNothingWritten(const WatchedRun& watched, const RunFiles& files)
{
    ASSERT_TRUE(watched.outcome);
    EXPECT_EQ(watched.outcome->message, "run of '" + files.params + "' cancelled; nothing was written");
    EXPECT_FALSE(fs::exists(files.output));
}

TEST(LongIteration, HugeCorrelatedMoveCountReportsAndIsAbandonedWithinItsOnlyIteration)
{
    // The most moves a parameter file may give, each followed by a score of
    // the whole state: seconds of one iteration, so only a call from within returns early.
    RunFiles files(RandomFasta(200, 200, 3), "-w\n6\n-n\n1\n-m\n" + std::to_string(kMostMoves) + "\n");
    const WatchedRun watched(files, 3, false);
    ExpectCancelledWithNothingWritten(watched, files);
    ExpectCallsWithinTheOnlyIteration(watched.calls, 3);
}

TEST(LongIteration, SweepOverManySequencesIsAbandonedPartWay)
{
    RunFiles files(RandomFasta(3000, 40, 4), "-w\n8\n-n\n1\n-m\n1\n");
    const WatchedRun watched(files, 2, true);
    ExpectCancelledWithNothingWritten(watched, files);
    ExpectCallsWithinTheOnlyIteration(watched.calls, 2);
    // The sweep is most of the iteration's work, and it was stopped early in it.
    EXPECT_LT(watched.calls[1].withinIteration, 0.5);
}

TEST(LongIteration, OneLongSequenceIsAbandonedWhileItIsScored)
{
    const int length = 300000;
    for (const char* mode : {"", "-e\n"}) {
        SCOPED_TRACE(*mode ? "one site per sequence" : "any number of sites");
        RunFiles files(RandomFasta(1, length, 6), std::string("-w\n8\n-n\n1\n") + mode);
        const WatchedRun watched(files, 2, true);
        ExpectCancelledWithNothingWritten(watched, files);
        ExpectCallsWithinTheOnlyIteration(watched.calls, 2);
        // Abandoned in the first stretch of the sequence: sites only from its start,
        // and none at all when one site is drawn from the running total of them all.
        if (*mode) {
            EXPECT_TRUE(watched.run.m_sites[0].empty());
        } else {
            for (const SiteNode& site : watched.run.m_sites[0])
                EXPECT_LT(site.pos, length / 2);
        }
    }
}

TEST(LongIteration, ProgressWithinIterationsLeavesTheReportByteIdentical)
{
    // Short and long sequences (the long one is scored in several stretches,
    // twice over with one site per sequence), with shifts, pair moves and Beta draws.
    const std::string fasta = RandomFasta(60, 300, 7) + RandomFasta(1, 40000, 8);
    for (const char* mode : {"", "-e\n"}) {
        SCOPED_TRACE(*mode ? "one site per sequence" : "any number of sites");
        RunFiles files(fasta, std::string("-w\n10\n-n\n40\n-m\n3\n") + mode);
        CMotifSampler quiet;
        ASSERT_FALSE(quiet.LoadParameters(files.params));
        ASSERT_FALSE(quiet.Run(5));  // the seed of every WatchedRun
        const std::string unwatched = ReadBytes(files.output);
        fs::remove(files.output);

        const WatchedRun watched(files, 1 << 30, true);
        ASSERT_FALSE(watched.outcome) << watched.outcome->message;
        EXPECT_EQ(ReadBytes(files.output), unwatched);

        // Every iteration is reported from within, and the calls never go back.
        int withinCalls = 0;
        for (std::size_t i = 1; i < watched.calls.size(); ++i) {
            const RunProgress& before = watched.calls[i - 1];
            const RunProgress& now = watched.calls[i];
            if (now.iteration == before.iteration) {
                ++withinCalls;
                EXPECT_GE(now.withinIteration, before.withinIteration);
            } else {
                EXPECT_EQ(now.iteration, before.iteration + 1);
                EXPECT_EQ(now.withinIteration, 0.0);
            }
            EXPECT_LT(now.withinIteration, 1.0);
        }
        EXPECT_EQ(watched.calls.back().iteration, 40);
        EXPECT_GE(withinCalls, 40);
    }
}

}  // namespace
}  // namespace kalvo
