// tests/report/compressed_input_report_test.cpp: a seeded run on a gzip sequence file appends the report of the plain file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gzip_text.h"
#include "model/run_state.h"
#include "temp_files.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using testing::GzipMember;
using testing::GzipMembers;
using testing::ReadBytes;
using testing::TempDir;

// The value line after the parameter file's "-i" line: the sequence file.
std::string SequenceFileOf(const fs::path& params)
{
    const std::vector<std::string> lines = SplitLines(ReadBytes(params.string()));
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == "-i")
            return lines[i + 1];
    return {};
}

struct Appended {
    std::string report;  // or "refused: <message>"
    std::vector<std::string> warnings;
};

// Runs an example folder in a scratch copy whose sequence file is compressed by
// `compress` and saved under `gzipName` (its own name when empty).
template <typename Compress>
Appended RunCompressed(const std::string& example, Compress compress, const std::string& gzipName = "")
{
    const fs::path source = fs::path("golden") / example;
    TempDir scratch;
    fs::copy(source, scratch.path(), fs::copy_options::recursive);
    fs::remove(scratch.path() / "expected.txt");
    const std::string fasta = SequenceFileOf(scratch.path() / "params.txt");
    const std::string gz = compress(ReadBytes((scratch.path() / fasta).string()));
    EXPECT_GT(gz.size(), 20u) << example;
    std::string params = ReadBytes((scratch.path() / "params.txt").string());
    if (!gzipName.empty()) {
        fs::remove(scratch.path() / fasta);
        params.replace(params.find("-i\n" + fasta + "\n"), 4 + fasta.size(), "-i\n" + gzipName + "\n");
    }
    scratch.Write(gzipName.empty() ? fasta : gzipName, gz);
    scratch.Write("params.txt", params);
    const auto seed = static_cast<std::uint32_t>(std::stoul(ReadBytes((source / "seed.txt").string())));

    const fs::path home = fs::current_path();
    fs::current_path(scratch.path());
    Appended appended;
    {
        CMotifSampler run;
        auto refusal = run.LoadParameters("params.txt");
        if (!refusal)
            refusal = run.Run(seed);
        appended.report = refusal ? "refused: " + refusal->message : ReadBytes("out.txt");
        appended.warnings = run.m_warnings;
    }
    fs::current_path(home);
    return appended;
}

std::string Expected(const std::string& example)
{
    return ReadBytes((fs::path("golden") / example / "expected.txt").string());
}

TEST(GzipSequenceFileRun, AppendsTheReportOfThePlainFileByteForByte)
{
    const auto oneMember = [](const std::string& text) { return GzipMember(text); };
    const auto smallMembers = [](const std::string& text) { return GzipMembers(text, 100) + GzipMember(""); };
    for (const char* example : {"case01", "case05", "crp1"}) {
        const std::string expected = Expected(example);
        ASSERT_FALSE(expected.empty()) << example;
        for (const Appended& run : {RunCompressed(example, oneMember), RunCompressed(example, smallMembers)}) {
            EXPECT_EQ(run.report, expected) << example;
            EXPECT_TRUE(run.warnings.empty()) << example;
        }
    }
    // Under a ".gz" name the report names that file and is otherwise the same.
    std::string renamed = Expected("case01");
    renamed.replace(renamed.find("\r\nseqs.fa\r\n"), 11, "\r\nseqs.fa.gz\r\n");
    EXPECT_EQ(RunCompressed("case01", oneMember, "seqs.fa.gz").report, renamed);
}

}  // namespace
}  // namespace kalvo
