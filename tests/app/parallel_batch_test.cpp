// tests/app/parallel_batch_test.cpp: runs computed side by side leave the same files and messages as one after another.
#include <gtest/gtest.h>

#include <sstream>

#include "app/cli/command_line.h"
#include "batch_inputs.h"

namespace kalvo::testing {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    std::string shared;
    std::string own;
};

// A list of five files: three append to one shared report, one to its own,
// and one refers to a missing sequence file, so that refusals, shared and
// separate outputs all interleave.
Outcome RunList(const TinyInputs& inputs, int jobs)
{
    // Each call writes its own outputs in the same folder, so the blocks name the same input path.
    const std::string tag = std::to_string(jobs);
    const std::string shared = inputs.dir().File("shared" + tag + ".txt");
    const std::string own = inputs.dir().File("own" + tag + ".txt");
    const std::string a = inputs.Params("a" + tag + ".params", shared, "-N\n3\n");
    const std::string b = inputs.Params("b" + tag + ".params", own, "-e\n-N\n2\n");
    const std::string missing = inputs.dir().Write(
        "m" + tag + ".params", "-i\n" + inputs.dir().File("absent.fa") + "\n-o\n" + shared + "\n-w\n6\n-n\n4\n");
    const std::string c = inputs.Params("c" + tag + ".params", shared, "-c\n1\n-r\n0\n");
    const std::string list = inputs.dir().Write("runs" + tag + ".list", "5\n" + a + "\n" + missing + "\n" + b + "\n" +
                                                                 inputs.dir().File("nowhere.params") + "\n" + c + "\n");
    std::ostringstream out;
    std::ostringstream err;
    Outcome outcome;
    outcome.status = RunCommandLine({"batch", list, "--seed", "77", "--jobs", std::to_string(jobs)}, out, err, false);
    outcome.out = out.str();
    outcome.err = err.str();
    outcome.shared = ReadBytes(shared);
    outcome.own = ReadBytes(own);
    return outcome;
}

TEST(ParallelBatch, SameBytesAndMessagesAsOneRunAfterAnother)
{
    const TinyInputs inputs;
    const Outcome sequential = RunList(inputs, 1);
    EXPECT_EQ(sequential.status, 1);  // two entries are refused
    ASSERT_EQ(CountReports(sequential.shared), 4);
    ASSERT_EQ(CountReports(sequential.own), 2);
    // Messages name each call's own files: compare them with the tag taken out.
    auto untagged = [](std::string text, const std::string& tag) {
        for (const char* stem : {"shared", "own", "runs", "a", "b", "c", "m"}) {
            const std::string from = std::string(stem) + tag + ".";
            for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at))
                text.replace(at, from.size(), std::string(stem) + ".");
        }
        return text;
    };
    for (int jobs : {2, 3, 8}) {
        SCOPED_TRACE(jobs);
        const Outcome parallel = RunList(inputs, jobs);
        EXPECT_EQ(parallel.status, sequential.status);
        EXPECT_EQ(parallel.out, sequential.out);
        EXPECT_EQ(parallel.shared, sequential.shared);
        EXPECT_EQ(parallel.own, sequential.own);
        EXPECT_EQ(untagged(parallel.err, std::to_string(jobs)), untagged(sequential.err, "1"));
    }
}

TEST(ParallelBatch, RepeatedRunsMatchByteForByte)
{
    TinyInputs inputs;
    const std::string one = inputs.dir().File("one.txt");
    const std::string many = inputs.dir().File("many.txt");
    const std::string p1 = inputs.Params("p1.params", one, "-N\n6\n");
    const std::string p2 = inputs.Params("p2.params", many, "-N\n6\n");
    std::ostringstream out;
    std::ostringstream err1;
    std::ostringstream err2;
    EXPECT_EQ(RunCommandLine({"repeat", p1, "--seed", "5", "--jobs", "1"}, out, err1, false), 0);
    EXPECT_EQ(RunCommandLine({"repeat", p2, "--seed", "5", "--jobs", "4"}, out, err2, false), 0);
    EXPECT_EQ(CountReports(ReadBytes(one)), 6);
    EXPECT_EQ(ReadBytes(one), ReadBytes(many));
}

TEST(ParallelBatch, AbandonedRunStopsTheBatchAndAppendsNothingAfterIt)
{
    TinyInputs inputs;
    const std::string output = inputs.dir().File("out.txt");
    const std::string params = inputs.Params("p.params", output, "-N\n8\n");
    FakeFrontEnd frontEnd(params);
    frontEnd.abandonAtFirstProgress = true;
    BatchOptions options;
    options.seed = 3;
    options.jobs = 4;
    const BatchResult result = RunBatchCommand(BatchCommand::RepeatedRun, frontEnd.Get(), options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.runsDone, 0);
    EXPECT_EQ(ReadBytes(output), "");
    EXPECT_EQ(std::count(frontEnd.events.begin(), frontEnd.events.end(), std::string(kFinishedMessage)), 0);
}

TEST(ParallelBatch, HugeRunCountsArePlannedWithoutListingEveryRun)
{
    TinyInputs inputs;
    const std::string params =
        inputs.Params("p.params", inputs.dir().File("out.txt"), "-N\n" + std::to_string(kMostRuns) + "\n");
    const BatchPlan plan = PlanRepeatedRun(params, 1);
    EXPECT_EQ(plan.totalRuns, kMostRuns);
    EXPECT_EQ(plan.steps.size(), 1u);
}

}  // namespace
}  // namespace kalvo::testing
