// tests/app/run_seeds_test.cpp: every run of a batch gets its own seed, and any run can be repeated alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>

#include "app/batch.h"
#include "batch_inputs.h"

namespace kalvo::testing {
namespace {

std::vector<std::uint32_t> SeedsOf(const FakeFrontEnd& ui)
{
    std::vector<std::uint32_t> seeds;
    for (const PlannedRun& run : ui.runs)
        seeds.push_back(run.seed);
    return seeds;
}

TEST(RunSeeds, RunKAddsKGoldenStepsModulo2To32)
{
    EXPECT_EQ(RunSeed(12345, 0), 12345u);
    EXPECT_EQ(RunSeed(10, 2), 1013904236u);          // 10 + 5308871522 - 2^32
    EXPECT_EQ(RunSeed(4294967295u, 1), 2654435760u);  // wraps
}

TEST(RunSeeds, CountedOverTheWholeBatchRefusedRunsIncluded)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const std::string a = in.Params("a.params", out, "-N\n2\n");
    const std::string bad = in.Params("bad.params", out, "-w\n0\n");
    FakeFrontEnd ui{in.dir().Write("list.txt", "3\n" + a + "\n" + bad + "\n" + a + "\n")};
    ui.Run(BatchCommand::MultipleInputs, 1000);
    std::vector<std::uint32_t> expected;
    for (int k = 0; k < 5; ++k)
        expected.push_back(RunSeed(1000, k));
    EXPECT_EQ(SeedsOf(ui), expected);
}

TEST(RunSeeds, WithoutExplicitSeedTheClockIsTheBase)
{
    TinyInputs in;
    FakeFrontEnd ui{in.Params("a.params", in.dir().File("out.txt"), "-N\n2\n")};
    BatchOptions options;
    options.clock = [] { return 1700000000u; };
    RunBatchCommand(BatchCommand::RepeatedRun, ui.Get(), options);
    EXPECT_EQ(SeedsOf(ui), (std::vector<std::uint32_t>{1700000000u, RunSeed(1700000000u, 1)}));

    // The real clock: seconds since the epoch, as of now.
    const auto now = static_cast<std::uint32_t>(std::time(nullptr));
    EXPECT_LE(ClockSeed() - now, 2u);
}

TEST(RunSeeds, AnyRunOfABatchRepeatsAloneWithItsSeed)
{
    TinyInputs in;
    const std::string batchOut = in.dir().File("batch.txt");
    FakeFrontEnd batch{in.Params("batch.params", batchOut, "-N\n3\n")};
    batch.Run(BatchCommand::RepeatedRun, 42);

    const std::string aloneOut = in.dir().File("alone.txt");
    FakeFrontEnd alone{in.Params("alone.params", aloneOut)};
    alone.Run(BatchCommand::SingleRun, batch.runs.at(2).seed);

    // Both files name the same input, so the third block and the lone block match byte for byte.
    const std::string batchBytes = ReadBytes(batchOut);
    const std::string aloneBytes = ReadBytes(aloneOut);
    ASSERT_FALSE(aloneBytes.empty());
    EXPECT_EQ(batchBytes.substr(batchBytes.size() - aloneBytes.size()), aloneBytes);

    FakeFrontEnd again{in.Params("again.params", aloneOut)};
    again.Run(BatchCommand::SingleRun, batch.runs.at(2).seed);
    EXPECT_EQ(ReadBytes(aloneOut), aloneBytes + aloneBytes);
}

}  // namespace
}  // namespace kalvo::testing
