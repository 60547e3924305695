// tests/discover/long_inputs_test.cpp: discoveries of a megabyte header and of a long sequence, run as a user
// runs them: what they write stays in proportion to the input, and every restart still repeats with `kalvo run`.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include <nlohmann/json.hpp>

#include "app/cli_invocation.h"
#include "discover/planted_set.h"
#include "temp_files.h"
#include "util/text_lines.h"

namespace kalvo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::EndsWith;
using ::testing::StartsWith;

long long FolderSize(const fs::path& folder)
{
    long long bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            bytes += static_cast<long long>(entry.file_size());
    return bytes;
}

int Occurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// Each restart's parameter file and seed, run in the output folder, append its report block again.
void ExpectEveryRestartRepeats(const std::string& out)
{
    struct Restart {
        std::vector<std::string> args;
        std::string report;
        std::string block;
    };
    std::vector<Restart> restarts;
    const auto summary = nlohmann::json::parse(ReadBytes(out + "/summary.json"));
    for (const auto& restart : summary["restarts"]) {
        const std::string report = restart["report_file"];
        const std::string seed = std::to_string(restart["seed"].get<long long>());
        restarts.push_back({{"run", restart["parameter_file"], "--seed", seed, "--quiet"}, report,
                            ReadBytes(out + "/" + report)});
    }
    ASSERT_FALSE(restarts.empty());
    const fs::path testFolder = fs::current_path();
    fs::current_path(out);
    for (const Restart& restart : restarts) {
        const Invocation run = Kalvo(restart.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_FALSE(restart.block.empty());
        EXPECT_EQ(ReadBytes(restart.report), restart.block + restart.block);
    }
    fs::current_path(testFolder);
}

TEST(LongInputs, AMegabyteHeaderIsWrittenOnceAndEveryTableNamesItsSequenceShortly)
{
    const TempDir dir;
    // The first sequence holds the planted word under a header of one word of a megabyte and a description.
    const std::string word = "peak" + std::string(1 << 20, 'x');
    std::string fasta = MakeSet(45, 120, true, 5).fasta;
    fasta.replace(0, fasta.find('\n'), ">" + word + " from the long test");
    const std::string input = dir.Write("long.fa", fasta);
    const std::string out = (dir.path() / "found").string();
    const Invocation discover = Kalvo({"discover", input, "--width", "10", "--restarts", "3", "--iterations", "100",
                                       "--motifs", "1", "--output-dir", out, "--jobs", "2", "--quiet"});
    ASSERT_EQ(discover.status, 0) << discover.err;

    EXPECT_LT(FolderSize(out), 3 * static_cast<long long>(fasta.size()) + (256 << 10));
    // The whole header, once in the whole folder: in summary.json, with the name the tables give its sequence.
    const std::string summaryText = ReadBytes(out + "/summary.json");
    EXPECT_EQ(Occurrences(summaryText, word), 1);
    const auto summary = nlohmann::json::parse(summaryText);
    ASSERT_EQ(summary["headers"].size(), 1u);  // the other headers are their names
    const auto& first = summary["headers"][0];
    EXPECT_EQ(first["index"], 0);
    EXPECT_EQ(first["header"], word + " from the long test");
    const std::string name = first["name"];
    EXPECT_LE(name.size(), 100u);
    EXPECT_THAT(name, StartsWith("peakxxx"));
    EXPECT_THAT(name, EndsWith("~1"));  // cut, and made unique by the sequence's number

    for (const std::string& line : SplitLines(ReadBytes(out + "/sites.tsv"))) {
        if (line.starts_with("1\t0\t")) {
            EXPECT_THAT(line, StartsWith("1\t0\t" + name + "\t"));
        }
    }
    for (const std::string& line : SplitLines(ReadBytes(out + "/sites.bed")))
        EXPECT_LT(line.size(), 200u);
    for (const std::string& line : SplitLines(ReadBytes(out + "/runs/round1.fa")))
        EXPECT_LE(line.size(), 121u);
    ExpectEveryRestartRepeats(out);
}

TEST(LongInputs, ALongSequenceIsSampledInWindowsAndItsControlsStayInProportion)
{
    const TempDir dir;
    // Two million random residues, the planted word every 20,000.
    std::mt19937 random(3);
    std::string sequence;
    for (int i = 0; i < 2000000; ++i)
        sequence += "ACGT"[random() % 4];
    for (std::size_t at = 5000; at + 20 < sequence.size(); at += 20000)
        sequence.replace(at, 10, kPlanted);
    const std::string input = dir.Write("chromosome.fa", ">chrT a test chromosome\n" + sequence + "\n");
    const std::string out = (dir.path() / "found").string();
    // One sequence cannot make a motif significant (its test counts sequences):
    // a lax threshold lets the discovery run, which is what this test follows.
    const Invocation discover = Kalvo({"discover", input, "--width", "10", "--restarts", "2", "--iterations", "20",
                                       "--motifs", "1", "--evalue", "1000", "--output-dir", out, "--jobs", "2",
                                       "--quiet"});
    ASSERT_EQ(discover.status, 0) << discover.err;

    // The restarts sample windows of the sequence, about as many residues as they would sample of many
    // sequences, each window named by where it lies in the sequence.
    long long sampled = 0;
    int windows = 0;
    for (const std::string& line : SplitLines(ReadBytes(out + "/runs/round1.fa"))) {
        if (line.starts_with(">")) {
            EXPECT_THAT(line, StartsWith(">chrT:"));
            ++windows;
        } else {
            sampled += static_cast<long long>(line.size());
        }
    }
    EXPECT_GT(windows, 10);
    EXPECT_LE(sampled, 110000);
    // The controls hold at least the input's residues, and no more than ten million.
    const auto summary = nlohmann::json::parse(ReadBytes(out + "/summary.json"));
    EXPECT_GE(summary["control_residues"].get<long long>(), 2000000);
    EXPECT_LE(summary["control_residues"].get<long long>(), 10000000);
    ExpectEveryRestartRepeats(out);
}

}  // namespace
}  // namespace kalvo::testing
