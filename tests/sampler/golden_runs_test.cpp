// tests/sampler/golden_runs_test.cpp: whole seeded runs against their expected reports, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "model/run_state.h"
#include "temp_files.h"
#include "util/number_text.h"
#include "util/text_lines.h"
#include "util/vector_paths.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

// Runs one example folder in a scratch copy (its parameter file names its
// files relative to the folder) and returns what the run appended.
std::string RunExample(const std::string& name)
{
    const fs::path source = fs::path("golden") / name;
    TempDir scratch;
    fs::copy(source, scratch.path(), fs::copy_options::recursive);
    fs::remove(scratch.path() / "expected.txt");
    const auto seedText = ReadWholeFile((source / "seed.txt").string());
    const auto seed = static_cast<std::uint32_t>(std::stoul(seedText.value_or("0")));

    const fs::path home = fs::current_path();
    fs::current_path(scratch.path());
    std::string appended;
    {
        CMotifSampler run;
        auto refusal = run.LoadParameters("params.txt");
        if (!refusal)
            refusal = run.Run(seed);
        if (refusal)
            appended = "refused: " + refusal->message;
        else
            appended = ReadBytes("out.txt");
    }
    fs::current_path(home);
    return appended;
}

class GoldenRun : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenRun, AppendsExactlyTheExpectedReport)
{
    const std::string expected = ReadBytes((fs::path("golden") / GetParam() / "expected.txt").string());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(RunExample(GetParam()), expected);
}

const std::string kExamples[] = {"case01", "case02", "case03", "case04", "case05", "case06",
                                  "case07", "case08", "crp1",   "crp2",   "crp3",   "crp4"};

INSTANTIATE_TEST_SUITE_P(Examples, GoldenRun, ::testing::ValuesIn(kExamples));

// The examples again on the narrower paths this processor has (the cases
// above ran on the widest): vectors change how many slots are scored at once,
// never a bit of the report.
TEST(GoldenRuns, NarrowerVectorPathsAppendTheSameReports)
{
    struct RestoreWidestPath {
        ~RestoreWidestPath() { LimitVectorPaths(VectorPath::Avx512); }
    } restore;
    for (VectorPath path : {VectorPath::Portable, VectorPath::Avx2}) {
        if (!VectorPathAvailable(path) || path == BestVectorPath())
            continue;
        LimitVectorPaths(path);
        for (const std::string& example : kExamples) {
            const std::string expected = ReadBytes((fs::path("golden") / example / "expected.txt").string());
            EXPECT_EQ(RunExample(example), expected) << example << " on the " << VectorPathName(path) << " path";
        }
        LimitVectorPaths(VectorPath::Avx512);
    }
}

}  // namespace
}  // namespace kalvo
