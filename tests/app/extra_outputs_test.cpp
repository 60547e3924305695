// tests/app/extra_outputs_test.cpp: --formats files beside the report: names, content, order, failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "batch_inputs.h"
#include "cli_invocation.h"
#include "util/text_lines.h"

namespace kalvo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Every file of the folder but the inputs, by name.
std::map<std::string, std::string> Outputs(const TempDir& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().extension() != ".fa" && entry.path().extension() != ".params" && entry.is_regular_file())
            files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    return files;
}

std::size_t SiteLines(const std::string& report)
{
    const std::string sites = report.substr(report.rfind("Putative sites:\r\n") + 17);
    return static_cast<std::size_t>(std::count(sites.begin(), sites.end(), '\n'));
}

TEST(ExtraOutputPath, TakesTheReportNameAndNumbersRunsOfLargerBatches)
{
    EXPECT_EQ(ExtraOutputPath("/d/out.txt", ExportFormat::Svg, 0), "/d/out.logo.svg");
    EXPECT_EQ(ExtraOutputPath("/d/out.txt", ExportFormat::Bed, 12), "/d/out.run12.bed");
    EXPECT_EQ(ExtraOutputPath("/d.v1/out", ExportFormat::Json, 0), "/d.v1/out.json");
    EXPECT_EQ(ExtraOutputPath("out.meme", ExportFormat::Meme, 0), "out.meme.meme");  // never the report itself
}

TEST(ExtraOutputs, EachFormatLandsBesideTheReportAndDescribesItsBlock)
{
    const TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const Invocation k =
        Kalvo({"run", in.Params("a.params", out), "--seed", "3", "--formats", "svg,meme,jaspar,transfac,bed,json"});
    EXPECT_EQ(k.status, 0) << k.err;
    const auto files = Outputs(in.dir());
    std::string names;
    for (const auto& [name, bytes] : files)
        names += name + " ";
    EXPECT_EQ(names, "out.bed out.jaspar out.json out.logo.svg out.meme out.transfac out.txt ");
    const std::size_t sites = SiteLines(files.at("out.txt"));
    ASSERT_GT(sites, 0u);
    EXPECT_EQ(SplitLines(files.at("out.bed")).size(), sites);
    EXPECT_THAT(files.at("out.meme"), HasSubstr("nsites= " + std::to_string(sites) + "\n"));
    EXPECT_THAT(files.at("out.json"), HasSubstr("\"numSites\": " + std::to_string(sites) + ",\n"));
    EXPECT_THAT(files.at("out.json"), HasSubstr("\"version\": \"1."));
    EXPECT_THAT(files.at("out.logo.svg"), HasSubstr("<svg"));
}

TEST(ExtraOutputs, SeveralRunsGetNumberedFilesAndJobsTwoWritesTheSameBytes)
{
    const TinyInputs in;
    auto find = [&](const std::string& jobs) {
        const Invocation k = Kalvo({"find", in.dir().File("seqs.fa"), "--width", "6", "--iterations", "10", "--output",
                                    in.dir().File("out.txt"), "--repeats", "3", "--seed", "8", "--jobs", jobs,
                                    "--formats", "meme,jaspar,transfac,bed,json,svg", "--logo-reverse"});
        EXPECT_EQ(k.status, 0) << k.err;
        auto files = Outputs(in.dir());
        for (const auto& [name, bytes] : files)
            fs::remove(in.dir().File(name));
        return files;
    };
    const auto one = find("1");
    EXPECT_EQ(one.size(), 1u + 3u * 6u);
    EXPECT_EQ(CountReports(one.at("out.txt")), 3);
    for (int run = 1; run <= 3; ++run) {
        const std::string number = std::to_string(run);
        EXPECT_THAT(one.at("out.run" + number + ".json"),
                    HasSubstr("\"seed\": " + std::to_string(RunSeed(8, run - 1)) + ",\n"));
        // Each run's motif is named by its number over the batch, so merged files keep them apart.
        EXPECT_THAT(one.at("out.run" + number + ".meme"), HasSubstr("\nMOTIF run" + number + "-"));
        EXPECT_THAT(one.at("out.run" + number + ".meme"), HasSubstr(" seqs.run" + number + "\n"));
    }
    EXPECT_EQ(find("2"), one);
}

TEST(ExtraOutputs, AFileThatCannotBeWrittenIsRefusedAndTheReportStays)
{
    const TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    fs::create_directory(in.dir().File("out.meme"));
    const std::string list = in.dir().Write("runs.list", "1\n" + in.Params("a.params", out) + "\n");
    const Invocation k = Kalvo({"batch", list, "--seed", "5", "--formats", "meme,bed"});
    EXPECT_EQ(k.status, 1);
    EXPECT_EQ(k.out, "Finished!\n");
    EXPECT_THAT(k.err, HasSubstr("\nkalvo: cannot write the meme file '" + in.dir().File("out.meme") + "'"));
    EXPECT_EQ(CountReports(ReadBytes(out)), 1);
    EXPECT_EQ(SplitLines(ReadBytes(in.dir().File("out.bed"))).size(), SiteLines(ReadBytes(out)));
    EXPECT_EQ(Outputs(in.dir()).size(), 3u);  // the list, the report and the BED file: nothing temporary
}

}  // namespace
}  // namespace kalvo::testing
