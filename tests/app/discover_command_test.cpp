// tests/app/discover_command_test.cpp: `kalvo discover` as a user runs it, and its restarts repeated with `kalvo run`.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>

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

// What a shell command printed or stored by kalvo gave: its exit status and everything it wrote.
struct ShellResult {
    int status = -1;
    std::string output;
};

// Runs `command` with sh in `folder`, as a user pastes it there, with the
// program under test on the PATH as `kalvo`.
ShellResult InShell(const std::string& command, const fs::path& folder)
{
    auto quoted = [](const std::string& text) {
        std::string out = "'";
        for (char c : text)
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    };
    const std::string line = "cd " + quoted(folder.string()) + " && PATH=" +
                             quoted(fs::path(KALVO_PROGRAM).parent_path().string()) + ":\"$PATH\" sh -c " +
                             quoted(command) + " 2>&1";
    ShellResult result;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The line after "Repeat a restart" in the summary a discovery prints: the command, without its indent.
std::string PrintedRepeat(const std::string& out)
{
    const auto at = out.find("Repeat a restart");
    const auto start = out.find("\n  ", at);
    if (at == std::string::npos || start == std::string::npos)
        return std::string();
    return out.substr(start + 3, out.find('\n', start + 3) - start - 3);
}

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

TEST(DiscoverCommand, AWidthGivenTwiceIsSearchedOnceAndEveryListedRestartRepeatsInAShell)
{
    // Restarts of a width given twice would share their files: the later
    // reports would replace the earlier ones, and summary.json's seeds would repeat nothing.
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::vector<std::vector<std::string>> spellings = {{"--widths", "10,12,10"},
                                                             {"-w", "12", "-w", "10", "--widths", "12"}};
    for (const std::vector<std::string>& widths : spellings) {
        SCOPED_TRACE(widths.front());
        const fs::path out = dir.path() / ("found" + std::to_string(widths.size()));
        std::vector<std::string> args = {"discover", fasta, "--restarts", "2", "-n", "50", "--motifs", "1",
                                         "-o", out.string(), "-j", "2"};
        args.insert(args.end(), widths.begin(), widths.end());
        const Invocation discover = Kalvo(args);
        ASSERT_EQ(discover.status, 0) << discover.err;
        const int repeated = widths.size() == 2 ? 10 : 12;
        EXPECT_THAT(discover.err, HasSubstr("kalvo: warning: width " + std::to_string(repeated) +
                                            " is given more than once; it is searched once\n"));
        const auto summary = nlohmann::json::parse(ReadBytes((out / "summary.json").string()));
        EXPECT_EQ(summary["parameters"]["widths"],
                  nlohmann::json(widths.size() == 2 ? std::vector<int>{10, 12} : std::vector<int>{12, 10}));
        EXPECT_THAT(summary["command"].get<std::string>(), HasSubstr(widths.size() == 2 ? " --widths 10,12 " : " --widths 12,10 "));
        ASSERT_EQ(summary["restarts"].size(), 4u);
        std::set<std::string> reports;
        for (const auto& restart : summary["restarts"]) {
            const std::string report = (out / restart["report_file"].get<std::string>()).string();
            reports.insert(report);
            const std::string block = ReadBytes(report);
            EXPECT_EQ(CountReports(block), 1) << report;
            const ShellResult run = InShell(restart["repeat"].get<std::string>(), out);
            EXPECT_EQ(run.status, 0) << run.output;
            EXPECT_EQ(ReadBytes(report), block + block) << restart["repeat"];
        }
        EXPECT_EQ(reports.size(), 4u);
    }
}

TEST(DiscoverCommand, PrintedAndStoredCommandsRunInAShellWhenNamesStartWithADash)
{
    const TempDir dir;
    const std::string sequences = MakeSet(45, 120, true, 5).fasta;
    dir.Write("-planted.fa", sequences);
    dir.Write("-control.fa", MakeSet(45, 120, false, 6).fasta);
    const WorkingDirectory inDir(dir.path());
    // A sequence file after `--`, a control and a folder given as option values.
    const Invocation discover = Kalvo({"discover", "-w", "10", "--restarts", "2", "-n", "50", "--motifs", "1",
                                       "--control", "-control.fa", "-o", "-found", "-q", "--", "-planted.fa"});
    ASSERT_EQ(discover.status, 0) << discover.err;

    // The printed command repeats its restart where the discovery was run.
    const std::string printed = PrintedRepeat(discover.out);
    ASSERT_THAT(printed, ::testing::StartsWith("cd ./-found && kalvo run ")) << discover.out;
    const auto summary = nlohmann::json::parse(ReadBytes("-found/summary.json"));
    std::string report;
    for (const auto& restart : summary["restarts"])
        if ("cd ./-found && " + restart["repeat"].get<std::string>() == printed)
            report = "-found/" + restart["report_file"].get<std::string>();
    ASSERT_FALSE(report.empty()) << printed;
    const std::string block = ReadBytes(report);
    const ShellResult run = InShell(printed, dir.path());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadBytes(report), block + block);

    // summary.json's command repeats the whole discovery (into another folder here).
    const ShellResult again = InShell(summary["command"].get<std::string>() + " -o again -q", dir.path());
    EXPECT_EQ(again.status, 0) << summary["command"] << again.output;
    EXPECT_EQ(ReadBytes("again/sites.tsv"), ReadBytes("-found/sites.tsv"));

    // Standard input saved in a folder whose name starts with a dash: the command reads the copy.
    const Invocation piped = KalvoWithInput({"discover", "-", "-w", "10", "--restarts", "2", "-n", "50", "--motifs", "1",
                                             "-o", "-piped", "-q"}, sequences);
    ASSERT_EQ(piped.status, 0) << piped.err;
    const std::string command = nlohmann::json::parse(ReadBytes("-piped/summary.json"))["command"];
    const ShellResult copy = InShell(command + " -o again-piped -q", dir.path());
    EXPECT_EQ(copy.status, 0) << command << copy.output;
    EXPECT_EQ(ReadBytes("again-piped/sites.tsv"), ReadBytes("-piped/sites.tsv"));
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
