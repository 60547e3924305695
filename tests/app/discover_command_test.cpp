// tests/app/discover_command_test.cpp: `kalvo discover` as a user runs it, and its restarts repeated with `kalvo run`.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "batch_inputs.h"
#include "cli_invocation.h"
#include "discover/planted_set.h"

namespace kalvo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Runs the rest of a test in another working directory, and comes back.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& path) : m_previous(fs::current_path()) { fs::current_path(path); }
    ~WorkingDirectory() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

TEST(DiscoverCommand, PrintsTheRankedMotifsAndEveryRestartRepeatsWithRun)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string out = (dir.path() / "found").string();
    const Invocation discover = Kalvo({"discover", fasta, "--width", "10", "--restarts", "2", "--iterations", "100",
                                       "--motifs", "1", "--output-dir", out, "--jobs", "2"});
    ASSERT_EQ(discover.status, 0) << discover.err;
    EXPECT_THAT(discover.out, HasSubstr("E-value"));
    EXPECT_THAT(discover.out, HasSubstr("GACGTC"));
    EXPECT_THAT(discover.err, HasSubstr("seed 1"));

    const auto summary = nlohmann::json::parse(ReadBytes(out + "/summary.json"));
    ASSERT_EQ(summary["restarts"].size(), 2u);
    for (const auto& restart : summary["restarts"]) {
        const std::string report = out + "/" + restart["report_file"].get<std::string>();
        const std::string block = ReadBytes(report);
        ASSERT_FALSE(block.empty());
        // The restart's own parameter file and seed, run in the output folder, append the same block again.
        const WorkingDirectory inFolder(out);
        const Invocation run = Kalvo({"run", restart["parameter_file"].get<std::string>(), "--seed",
                                      std::to_string(restart["seed"].get<std::uint32_t>()), "--quiet"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadBytes(report), block + block);
    }

    // The folder now holds files: a second discovery into it is refused, and changes nothing.
    const std::string before = ReadBytes(out + "/summary.json");
    const Invocation again = Kalvo({"discover", fasta, "--output-dir", out, "--quiet"});
    EXPECT_EQ(again.status, 1);
    EXPECT_THAT(again.err, HasSubstr("already holds files"));
    EXPECT_EQ(ReadBytes(out + "/summary.json"), before);
    // What the discovery read loosely is told, also when it is refused.
    const std::string tabbed = dir.Write("tabbed.fa", ">a\nACGT\tACGTACGTAC\n>b\nACGTACGTACGTAC\n");
    const Invocation loose = Kalvo({"discover", tabbed, "--output-dir", out, "--quiet"});
    EXPECT_THAT(loose.err, HasSubstr("kalvo: warning: sequence file '" + tabbed + "': sequence line 2 holds blanks or tabs"));
}

TEST(DiscoverCommand, StandardInputIsKeptInTheFolderThatRepeatsTheDiscovery)
{
    const TempDir dir;
    const std::string sequences = MakeSet(45, 120, true, 5).fasta;
    const WorkingDirectory inDir(dir.path());
    const Invocation discover = KalvoWithInput({"discover", "-", "-w", "10", "--restarts", "2", "-n", "100",
                                                "--motifs", "1", "-j", "2"}, sequences);
    ASSERT_EQ(discover.status, 0) << discover.err;
    EXPECT_THAT(discover.err, HasSubstr("standard input (saved as 'stdin.kalvo/input.fa') into 'stdin.kalvo'"));
    EXPECT_EQ(ReadBytes("stdin.kalvo/input.fa"), sequences);
    const auto summary = nlohmann::json::parse(ReadBytes("stdin.kalvo/summary.json"));
    EXPECT_EQ(summary["parameters"]["input"], "stdin.kalvo/input.fa");

    // The copy repeats the whole discovery, in the same folder too.
    const std::string sites = ReadBytes("stdin.kalvo/sites.tsv");
    ASSERT_FALSE(sites.empty());
    const Invocation again = Kalvo({"discover", "stdin.kalvo/input.fa", "-w", "10", "--restarts", "2", "-n", "100",
                                    "--motifs", "1", "-o", "stdin.kalvo", "--force", "-q"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(ReadBytes("stdin.kalvo/sites.tsv"), sites);
    EXPECT_EQ(ReadBytes("stdin.kalvo/input.fa"), sequences);
}

TEST(DiscoverCommand, BadOptionsAreUsageErrorsThatNameTheOption)
{
    const TinyInputs in;
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
             {"--widths", "8,x"}, {"--width", "1"}, {"--motifs", "0"}, {"--evalue", "-1"},
             {"--restarts", "many"}, {"--formats", "meme"}, {"--mask"}}) {
        std::vector<std::string> args = {"discover", in.dir().File("seqs.fa")};
        args.insert(args.end(), extra.begin(), extra.end());
        const Invocation bad = Kalvo(args);
        EXPECT_EQ(bad.status, 2) << extra[0];
        EXPECT_THAT(bad.err, HasSubstr(extra[0])) << bad.err;
    }
    const std::string help = Kalvo({"discover", "--help"}).out;
    for (const char* item : {"--widths", "(default: 8,12,16)", "--control FASTA", "--motifs K", "(default 3)",
                             "--restarts R", "(default 8)", "(default 500)", "--evalue E", "(default 0.05)",
                             "--no-mask", "--one-site", "--output-dir DIR", "--force", "kalvo run"})
        EXPECT_THAT(help, HasSubstr(item));
}

TEST(FindCommand, ARunThatReportsNoSiteSaysSo)
{
    const TinyInputs in;
    const Invocation find = Kalvo({"find", in.dir().File("seqs.fa"), "--width", "6", "--iterations", "0", "--output",
                                   in.dir().File("out.txt"), "--seed", "3"});
    EXPECT_EQ(find.status, 0);
    EXPECT_THAT(find.err, HasSubstr("run 1 of 1 reported no site (it had no iterations)"));
}

}  // namespace
}  // namespace kalvo::testing
