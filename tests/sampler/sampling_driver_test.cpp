// tests/sampler/sampling_driver_test.cpp: whole runs: burn-in, best state, seeded counts, refusals and cancelling.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sampler/run_setup.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::NumberOfSites;
using testing::RandomFasta;
using testing::ReadBytes;
using testing::RunFiles;

const std::string kSmallInput = RandomFasta(6, 30, 99);

struct Snapshot {
    bool hasBest;
    double bestLogLik;
    int bestSites;
};

// Runs to the end, noting the best state after every iteration.
std::vector<Snapshot> RunAndWatchBest(const RunFiles& files, std::uint32_t seed)
{
    CMotifSampler run;
    std::vector<Snapshot> seen;
    if (auto refusal = run.LoadParameters(files.params))
        ADD_FAILURE() << refusal->message;
    const auto refusal = run.Run(seed, [&](const RunProgress& progress) {
        if (progress.iteration == 0)
            return true;  // before the first iteration
        int bestSites = 0;
        for (const SiteList& sites : run.m_bestSites)
            bestSites += static_cast<int>(sites.size());
        seen.push_back({run.m_hasBest, run.m_bestLogLik, bestSites});
        return true;
    });
    EXPECT_FALSE(refusal) << refusal->message;
    return seen;
}

TEST(SamplingDriver, HundredIterationsSaveNothingBeforeIterationTwentySix)
{
    RunFiles files(kSmallInput, "-w\n5\n-n\n100\n");
    const std::vector<Snapshot> seen = RunAndWatchBest(files, 12);
    ASSERT_EQ(seen.size(), 100u);
    for (std::size_t t = 0; t <= 25; ++t) {
        EXPECT_FALSE(seen[t].hasBest) << "iteration " << t;
        EXPECT_EQ(seen[t].bestLogLik, -2000.0) << "iteration " << t;
        EXPECT_EQ(seen[t].bestSites, 0) << "iteration " << t;
    }
    EXPECT_TRUE(seen[26].hasBest);
    for (std::size_t t = 27; t < seen.size(); ++t)
        EXPECT_GE(seen[t].bestLogLik, seen[t - 1].bestLogLik) << "iteration " << t;
}

TEST(SamplingDriver, ThreeIterationsSaveFromIterationOne)
{
    RunFiles files(kSmallInput, "-w\n5\n-n\n3\n-c\n1\n");
    const std::vector<Snapshot> seen = RunAndWatchBest(files, 12);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FALSE(seen[0].hasBest);
    EXPECT_TRUE(seen[1].hasBest);
}

TEST(SamplingDriver, FirstStateAfterBurnInIsKeptHoweverLowItScores)
{
    // 200 random sequences score far below −2000.
    RunFiles files(RandomFasta(200, 400, 7), "-w\n8\n-n\n3\n-c\n1\n");
    const std::vector<Snapshot> seen = RunAndWatchBest(files, 1);
    ASSERT_EQ(seen.size(), 3u);
    ASSERT_TRUE(seen[1].hasBest);
    EXPECT_LT(seen[1].bestLogLik, -2000.0);
    EXPECT_GT(seen[1].bestSites, 0);
    const std::string report = ReadBytes(files.output);
    EXPECT_THAT(report, Not(HasSubstr("Joint Loglikelihood: -2000.000000")));
    EXPECT_THAT(report, Not(HasSubstr("# of total putative sites: 0\r\n")));
}

TEST(SamplingDriver, RunWithoutAScoredStateReportsNoSitesAtMinusTwoThousand)
{
    // No iteration at all, and iterations whose only scoring would follow pair moves, of which there are none.
    for (const char* options : {"-w\n5\n-n\n0\n", "-w\n5\n-n\n8\n-c\n2\n-m\n0\n"}) {
        RunFiles files(kSmallInput, options);
        CMotifSampler run;
        ASSERT_FALSE(run.LoadParameters(files.params));
        ASSERT_FALSE(run.Run(3));
        const std::string report = ReadBytes(files.output);
        EXPECT_THAT(report, HasSubstr("# of Input Sequence: 6\r\n"));
        EXPECT_THAT(report, HasSubstr("# of total putative sites: 0\r\n"));
        EXPECT_THAT(report, HasSubstr("\r\nJoint Loglikelihood: -2000.000000\r\n"));
        EXPECT_THAT(report, ::testing::EndsWith("\r\nPutative sites:\r\n"));
        EXPECT_THAT(report, Not(HasSubstr("nan")));
    }
}

TEST(SamplingDriver, SeededCountsAreReplacedAfterIterationTenOnly)
{
    for (int iterations : {10, 12}) {
        RunFiles files(kSmallInput, "-w\n5\n-A\nACGTA\n-c\n1\n-n\n" + std::to_string(iterations) + "\n");
        CMotifSampler run;
        ASSERT_FALSE(run.LoadParameters(files.params));
        std::vector<int> seedShare;  // column-0 count beyond the sites, after each iteration
        ASSERT_FALSE(run.Run(4, [&](const RunProgress& progress) {
            if (progress.iteration == 0)
                return true;
            seedShare.push_back(run.m_counts[0] + run.m_counts[1] + run.m_counts[2] + run.m_counts[3] -
                                NumberOfSites(run));
            return true;
        }));
        ASSERT_EQ(seedShare.size(), static_cast<std::size_t>(iterations));
        for (int t = 0; t < iterations; ++t)
            EXPECT_EQ(seedShare[static_cast<std::size_t>(t)], t < 10 ? 17 : 0) << iterations << " iterations, t = " << t;
    }
}

TEST(SamplingDriver, SameSeedSameBytesAndOtherSeedsDiffer)
{
    RunFiles files(kSmallInput, "-w\n5\n-n\n40\n");
    auto report = [&](std::uint32_t seed) {
        fs::remove(files.output);
        CMotifSampler run;
        EXPECT_FALSE(run.LoadParameters(files.params));
        EXPECT_FALSE(run.Run(seed));
        return ReadBytes(files.output);
    };
    const std::string first = report(2718);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(report(2718), first);
    EXPECT_NE(report(2719), first);
    EXPECT_NE(report(31415), first);
}

TEST(SamplingDriver, CancelledRunWritesNothing)
{
    RunFiles files(kSmallInput, "-w\n5\n-n\n40\n");
    for (bool existing : {false, true}) {
        if (existing)
            files.dir.Write("out.txt", "earlier\r\nblock\r\n");
        CMotifSampler run;
        ASSERT_FALSE(run.LoadParameters(files.params));
        int calls = 0;
        const auto refusal = run.Run(6, [&](const RunProgress& progress) {
            ++calls;
            EXPECT_EQ(progress.iterations, 40);
            return progress.iteration < 5;
        });
        EXPECT_TRUE(refusal);
        EXPECT_EQ(calls, 6);  // before iteration 1, then after iterations 1 to 5
        if (existing)
            EXPECT_EQ(ReadBytes(files.output), "earlier\r\nblock\r\n");
        else
            EXPECT_FALSE(fs::exists(files.output));
    }
}

TEST(SamplingDriver, RunWithoutIterationsCanStillBeCancelled)
{
    RunFiles files(kSmallInput, "-w\n5\n-n\n0\n");
    CMotifSampler run;
    ASSERT_FALSE(run.LoadParameters(files.params));
    EXPECT_TRUE(run.Run(6, [](const RunProgress&) { return false; }));
    EXPECT_FALSE(fs::exists(files.output));
}

TEST(SamplingDriver, OutputPathThatIsAFolderRefusesTheRunAndNamesIt)
{
    RunFiles files(kSmallInput, "-w\n5\n-n\n5\n");
    fs::create_directory(files.output);
    CMotifSampler run;
    ASSERT_FALSE(run.LoadParameters(files.params));
    const auto refusal = run.Run(1);
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr(files.output));
    EXPECT_TRUE(fs::is_directory(files.output));
    EXPECT_TRUE(fs::is_empty(files.output));
}

TEST(SamplingDriver, RefusedRunLeavesAnExistingOutputFileAsItWas)
{
    RunFiles files(kSmallInput, "-w\n5\n-n\n5\n");
    const std::string earlier = "\r\n\r\n*************\r\nolder run\r\n";
    files.dir.Write("out.txt", earlier);
    fs::remove(files.input);
    CMotifSampler run;
    ASSERT_FALSE(run.LoadParameters(files.params));
    const auto refusal = run.Run(1);
    ASSERT_TRUE(refusal);
    EXPECT_THAT(refusal->message, HasSubstr(files.input));
    EXPECT_EQ(ReadBytes(files.output), earlier);
}

}  // namespace
}  // namespace kalvo
