// tests/app/batch_commands_test.cpp: which runs each batch command makes, and what it tells the user.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/batch.h"
#include "batch_inputs.h"

namespace kalvo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kFinished(kFinishedMessage);
const std::string kRunCount(kRunCountMessage);

TEST(RunCountScan, LastCountWinsAndValueLineIsNeverAKey)
{
    EXPECT_EQ(ScanRunCount({"-w", "6"}, -1), -1);
    EXPECT_EQ(ScanRunCount({"-N", "3"}, -1), 3);
    EXPECT_EQ(ScanRunCount({"-N", "3", "-w", "6", "-N", "5"}, -1), 5);
    EXPECT_EQ(ScanRunCount({"-N", "3", "-N"}, -1), 0);          // "-N" as the last line reads an empty count
    EXPECT_EQ(ScanRunCount({"-N", "-N", "4"}, 1), 0);           // the second "-N" is the first one's value
    EXPECT_EQ(ScanRunCount({"-N", "  +7 runs"}, 1), 7);         // read like atoi
    EXPECT_EQ(ScanRunCount({"-N", "many"}, 1), 0);
    EXPECT_EQ(ScanRunCount({"-N ", "3", "-n", "3"}, 1), 1);     // keys are compared whole and case-sensitively
}

TEST(SingleRun, AppendsOneReportAndSaysFinished)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    FakeFrontEnd ui{in.Params("a.params", out, "-N\n3\n")};  // "-N" means nothing to a single run
    const BatchResult result = ui.Run(BatchCommand::SingleRun);
    EXPECT_THAT(ui.events, ElementsAre("run 1/1 a.params", kFinished));
    EXPECT_EQ(CountReports(ReadBytes(out)), 1);
    EXPECT_EQ(result.runsDone, 1);
    EXPECT_EQ(result.runsRefused, 0);
}

TEST(SingleRun, CancelledDialogEndsSilently)
{
    FakeFrontEnd ui;
    const BatchResult result = ui.Run(BatchCommand::SingleRun);
    EXPECT_TRUE(ui.events.empty());
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.runsDone, 0);
}

TEST(SingleRun, RefusalIsReportedOutputKeptAndBatchStillFinishes)
{
    TinyInputs in;
    const std::string earlier = "earlier results\r\n";
    const std::string out = in.dir().Write("out.txt", earlier);
    FakeFrontEnd ui{in.Params("a.params", out, "-w\n0\n")};
    const BatchResult result = ui.Run(BatchCommand::SingleRun);
    EXPECT_THAT(ui.events, ElementsAre("run 1/1 a.params", "refused", kFinished));
    EXPECT_THAT(ui.refusals.at(0), HasSubstr("a.params"));
    EXPECT_EQ(ReadBytes(out), earlier);
    EXPECT_EQ(result.runsRefused, 1);
    EXPECT_EQ(result.runsDone, 0);
}

TEST(SingleRun, AbandonedRunStopsBatchWithoutWriting)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    FakeFrontEnd ui{in.Params("a.params", out)};
    ui.abandonAtFirstProgress = true;
    const BatchResult result = ui.Run(BatchCommand::SingleRun);
    EXPECT_THAT(ui.events, ElementsAre("run 1/1 a.params"));  // no refusal, no "Finished!"
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(RepeatedRun, RunsAsOftenAsTheLastCountSaysIntoOneFile)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    FakeFrontEnd three{in.Params("three.params", out, "-N\n3\n")};
    EXPECT_EQ(three.Run(BatchCommand::RepeatedRun).runsDone, 3);
    EXPECT_THAT(three.events,
                ElementsAre("run 1/3 three.params", "run 2/3 three.params", "run 3/3 three.params", kFinished));
    EXPECT_EQ(CountReports(ReadBytes(out)), 3);

    const std::string out5 = in.dir().File("out5.txt");
    FakeFrontEnd five{in.Params("five.params", out5, "-N\n3\n-c\n1\n-N\n5\n")};
    EXPECT_EQ(five.Run(BatchCommand::RepeatedRun).runsDone, 5);
    EXPECT_EQ(CountReports(ReadBytes(out5)), 5);
}

TEST(RepeatedRun, AbandonedWithinHugeIterationsStopsEveryParallelRunWithoutWriting)
{
    // One iteration of the most correlated moves allowed each: the runs
    // only end early when the batch is abandoned from within their iterations.
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    FakeFrontEnd ui{in.Params("huge.params", out, "-N\n4\n" + in.SlowRunLines())};
    BatchFrontEnd frontEnd = ui.Get();
    std::vector<RunProgress> seen;
    frontEnd.progress = [&](const PlannedRun&, const RunProgress& progress) {
        seen.push_back(progress);
        return seen.size() < 4;
    };
    BatchOptions options;
    options.seed = 1;
    options.jobs = 2;
    const BatchResult result = RunBatchCommand(BatchCommand::RepeatedRun, frontEnd, options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.runsDone, 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    ASSERT_GE(seen.size(), 4u);  // a second worker may have asked before it heard of the first's answer
    for (const RunProgress& progress : seen)
        EXPECT_EQ(progress.iteration, 0);
}

TEST(RepeatedRun, MissingOrBadCountAsksForOneAndRunsNothing)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    for (const std::string extra : {"", "-N\n0\n", "-N\n4\n-N\n"}) {
        SCOPED_TRACE("extra lines: " + extra);
        FakeFrontEnd ui{in.Params("a.params", out, extra)};
        const BatchResult result = ui.Run(BatchCommand::RepeatedRun);
        EXPECT_THAT(ui.events, ElementsAre(kRunCount));
        EXPECT_TRUE(result.askedForRunCount);
        EXPECT_EQ(result.runsDone, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(RepeatedRun, RefusalsAreReportedOneByOneAndTheBatchGoesOn)
{
    TinyInputs in;
    const std::string out = in.dir().Write("out.txt", "kept");
    FakeFrontEnd ui{in.Params("bad.params", out, "-s\n0\n-N\n2\n")};
    EXPECT_EQ(ui.Run(BatchCommand::RepeatedRun).runsRefused, 2);
    EXPECT_THAT(ui.events, ElementsAre("run 1/2 bad.params", "refused", "run 2/2 bad.params", "refused", kFinished));
    EXPECT_EQ(ReadBytes(out), "kept");

    // A file that cannot be read is named, not taken for one without a count.
    FakeFrontEnd unreadable{in.dir().File("nowhere.params")};
    EXPECT_FALSE(unreadable.Run(BatchCommand::RepeatedRun).askedForRunCount);
    EXPECT_THAT(unreadable.events, ElementsAre("refused", kFinished));
    EXPECT_THAT(unreadable.refusals.at(0), HasSubstr("nowhere.params"));
}

TEST(MultipleInputs, BadFirstLineAsksForNumberOfRuns)
{
    TinyInputs in;
    const std::string params = in.Params("a.params", in.dir().File("out.txt"));
    for (const std::string first : {"0", "", "none", "-1"}) {
        SCOPED_TRACE("first line: " + first);
        FakeFrontEnd ui{in.dir().Write("list.txt", first + "\n" + params + "\n")};
        EXPECT_TRUE(ui.Run(BatchCommand::MultipleInputs).askedForRunCount);
        EXPECT_THAT(ui.events, ElementsAre(kRunCount));
    }
    FakeFrontEnd empty{in.dir().Write("empty.txt", "")};
    EXPECT_TRUE(empty.Run(BatchCommand::MultipleInputs).askedForRunCount);
}

TEST(MultipleInputs, RunsEachFileItsCountTimesInStrictListOrder)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const std::string a = in.Params("a.params", out, "-N\n2\n");
    const std::string none = in.Params("none.params", out, "-N\n0\n");
    const std::string b = in.Params("b.params", out);
    FakeFrontEnd ui{in.dir().Write("list.txt", "4\n" + a + "\n" + none + "\n" + b + "\n" + a + "\n" + b + "\n")};
    const BatchResult result = ui.Run(BatchCommand::MultipleInputs);
    EXPECT_THAT(ui.events, ElementsAre("run 1/5 a.params", "run 2/5 a.params", "run 3/5 b.params",
                                       "run 4/5 a.params", "run 5/5 a.params", kFinished));
    EXPECT_EQ(result.runsDone, 5);
    EXPECT_EQ(CountReports(ReadBytes(out)), 5);
}

TEST(MultipleInputs, FinishesEvenWhenNoListedFileRuns)
{
    TinyInputs in;
    const std::string none = in.Params("none.params", in.dir().File("out.txt"), "-N\n0\n");
    FakeFrontEnd ui{in.dir().Write("list.txt", "1\r\n" + none + "\r\n")};
    const BatchResult result = ui.Run(BatchCommand::MultipleInputs);
    EXPECT_THAT(ui.events, ElementsAre(kFinished));
    EXPECT_EQ(result.runsDone + result.runsRefused, 0);
}

TEST(MultipleInputs, UnreadableEntriesAreRefusedInPlaceAndTheRestRuns)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const std::string a = in.Params("a.params", out);
    const std::string missing = in.dir().File("missing.params");
    // Line 3 is empty, and the count promises two more files than are listed.
    FakeFrontEnd ui{in.dir().Write("list.txt", "5\n" + missing + "\n\n" + a + "\n")};
    const BatchResult result = ui.Run(BatchCommand::MultipleInputs);
    EXPECT_THAT(ui.events, ElementsAre("refused", "refused", "run 1/1 a.params", "refused", kFinished));
    EXPECT_THAT(ui.refusals.at(0), HasSubstr("missing.params"));
    EXPECT_THAT(ui.refusals.at(1), HasSubstr("line 3"));
    EXPECT_THAT(ui.refusals.at(2), HasSubstr("list.txt"));
    EXPECT_EQ(result.runsDone, 1);
    EXPECT_EQ(result.runsRefused, 3);

    FakeFrontEnd folder{in.dir().path().string()};  // a folder cannot be read as a list
    EXPECT_FALSE(folder.Run(BatchCommand::MultipleInputs).askedForRunCount);
    EXPECT_THAT(folder.events, ElementsAre("refused", kFinished));
    EXPECT_THAT(folder.refusals.at(0), HasSubstr(in.dir().path().string()));
}

TEST(MultipleInputs, HugeCountsArePlannedWithoutListingEveryRun)
{
    TinyInputs in;
    const std::string big = in.Params("big.params", in.dir().File("out.txt"), "-N\n" + std::to_string(kMostRuns) + "\n");
    const BatchPlan plan =
        PlanMultipleInputs(in.dir().Write("list.txt", "2147483647\n" + big + "\n" + big + "\n"), 7);
    EXPECT_EQ(plan.totalRuns, 2LL * kMostRuns);
    ASSERT_EQ(plan.steps.size(), 3u);  // two files and one refusal for the missing lines
    EXPECT_EQ(RunOfStep(plan, plan.steps[1], 0).index, kMostRuns);
}

}  // namespace
}  // namespace kalvo::testing
