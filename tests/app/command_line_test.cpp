// tests/app/command_line_test.cpp: the `kalvo` program run in-process: streams, messages, exit status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <sstream>

#include "app/cli/command_line.h"
#include "batch_inputs.h"

namespace kalvo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct Invocation {
    int status = -1;
    std::string out;
    std::string err;
};

Invocation Kalvo(const std::vector<std::string>& args, bool errIsTerminal = false)
{
    std::ostringstream out;
    std::ostringstream err;
    Invocation result;
    result.status = RunCommandLine(args, out, err, errIsTerminal);
    result.out = out.str();
    result.err = err.str();
    return result;
}

TEST(CommandLineHelp, EachParameterCommandListsOptionsAndKeysOnStdout)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"run", "--help"}, {"repeat", "--help"}, {"batch", "p", "--help"}}) {
        SCOPED_TRACE(args.front());
        const Invocation k = Kalvo(args);
        EXPECT_EQ(k.status, 0);
        EXPECT_EQ(k.err, "");
        for (const char* item : {"--seed", "--quiet", "default", "-i PATH", "-o PATH", "-b PATH", "-w W", "-n N",
                                 "-m M", "-c C", "-e ", "-r 0", "-s X", "-A WORD", "-k ", "-N COUNT"})
            EXPECT_THAT(k.out, HasSubstr(item));
    }
    EXPECT_THAT(Kalvo({"batch", "--help"}).out, HasSubstr("kalvo batch LIST"));
    EXPECT_THAT(Kalvo({"batch", "--help"}).out, HasSubstr("List file:"));
    EXPECT_THAT(Kalvo({"--version"}).out, StartsWith("kalvo 1."));
}

TEST(CommandLineHelp, EveryCommandHelpShowsTheVersionAndEveryShortFormWithinEightyColumns)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"find", "--help"}, {"discover", "--help"}, {"run", "--help"}, {"repeat", "--help"},
             {"batch", "--help"}}) {
        SCOPED_TRACE(args.front());
        const std::string help = Kalvo(args).out;
        std::istringstream lines(help);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 80u) << line;
        // The usage lines name every option the command takes.
        const auto usageAt = help.find("usage:");
        const std::string usage = help.substr(usageAt, help.find("\n\n", usageAt) - usageAt);
        for (const char* item : {"--version", "--help", "[--seed S]", "[-j N]", "[-q]"})
            EXPECT_THAT(usage, HasSubstr(item));
        EXPECT_THAT(help, HasSubstr("-j, --jobs N"));
        EXPECT_THAT(help, HasSubstr("-q, --quiet"));
    }
    const std::string find = Kalvo({"find", "--help"}).out;
    for (const char* item : {"-w W [-n N]", "[-o PATH]", "[--logo-reverse]", "-w, --width W", "-n, --iterations N",
                             "-o, --output PATH", "out.input.fa"})
        EXPECT_THAT(find, HasSubstr(item));
    const std::string discover = Kalvo({"discover", "--help"}).out;
    for (const char* item : {"[-o DIR]", "[--force]", "-o, --output-dir DIR", "stdin.kalvo", "DIR/input.fa"})
        EXPECT_THAT(discover, HasSubstr(item));
    for (const char* command : {"find", "discover", "run"})
        EXPECT_EQ(Kalvo({command, "--version"}).out, Kalvo({"--version"}).out);
}

TEST(CommandLineOptions, ShortFormsActAsTheirLongForms)
{
    TinyInputs in;
    const std::string fasta = in.dir().File("seqs.fa");
    // find: the same parameter file and the same report block, whichever forms are used.
    const std::string report = in.dir().File("out.txt");
    const Invocation shortForms = Kalvo({"find", fasta, "-w", "6", "-n8", "-o", report, "-j", "2", "-q",
                                         "--write-params", in.dir().File("short.params"), "--seed", "3"}, true);
    const Invocation longForms = Kalvo({"find", fasta, "--width=6", "--iterations", "8", "--output", report,
                                        "--jobs=2", "--quiet", "--write-params", in.dir().File("long.params"),
                                        "--seed", "3"}, true);
    ASSERT_EQ(shortForms.status, 0) << shortForms.err;
    ASSERT_EQ(longForms.status, 0) << longForms.err;
    EXPECT_THAT(shortForms.err, Not(HasSubstr("iteration")));  // -q silences the progress line
    EXPECT_EQ(ReadBytes(in.dir().File("short.params")), ReadBytes(in.dir().File("long.params")));
    const std::string reports = ReadBytes(report);
    ASSERT_EQ(CountReports(reports), 2);
    EXPECT_EQ(reports.substr(0, reports.size() / 2), reports.substr(reports.size() / 2));

    // discover: the same files.
    const std::string a = in.dir().File("a.kalvo");
    const std::string b = in.dir().File("b.kalvo");
    ASSERT_EQ(Kalvo({"discover", fasta, "-w", "6", "-w7", "-n", "10", "-o", a, "-j", "2", "-q", "--restarts", "1",
                     "--motifs", "1"}).status, 0);
    ASSERT_EQ(Kalvo({"discover", fasta, "--width", "6", "--width=7", "--iterations=10", "--output-dir", b, "--jobs",
                     "2", "--quiet", "--restarts", "1", "--motifs", "1"}).status, 0);
    for (const char* file : {"summary.json", "sites.tsv", "runs/r1-w7-0.params"})
        EXPECT_EQ(ReadBytes(a + "/" + file), ReadBytes(b + "/" + file)) << file;

    // run, repeat and batch take -j and -q too.
    const std::string params = in.Params("p.params", in.dir().File("run.txt"));
    EXPECT_EQ(Kalvo({"run", params, "-j", "1", "-q", "--seed", "2"}, true).err,
              Kalvo({"run", params, "--jobs", "1", "--quiet", "--seed", "2"}, true).err);

    // `-` alone is a file (standard input); after `--` every word is one.
    EXPECT_THAT(Kalvo({"find", "-w", "6", "-o", report, "--", "-n"}).err, HasSubstr("sequence file '-n'"));
    for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"find", fasta, "-w", "6", "-x"}, "kalvo: unknown option '-x'"},
             {{"find", fasta, "-w", "6", "-qx"}, "kalvo: unknown option '-qx'"},
             {{"find", fasta, "-w"}, "kalvo: -w needs a value"},
             {{"find", fasta, "-w0"}, "kalvo: -w takes a whole number of at least 1, not '0'"},
             {{"discover", fasta, "-j", "0"}, "kalvo: -j takes a whole number from 1 to 1024, not '0'"},
             {{"discover", fasta, "--jobs=0"}, "kalvo: --jobs takes a whole number from 1 to 1024, not '0'"},
             {{"run", params, "-o", "x"}, "kalvo: option '-o' belongs to `kalvo find`, `kalvo discover`, `kalvo match`, `kalvo enrich` and `kalvo scan`"},
             {{"run", params, "-w8"}, "kalvo: option '-w' belongs to `kalvo find` and `kalvo discover`"}}) {
        const Invocation k = Kalvo(args);
        EXPECT_EQ(k.status, 2) << message;
        EXPECT_THAT(k.err, StartsWith(message + "\nusage:"));
    }
}

TEST(CommandLineUsage, MistakesExitTwoWithAMessageOnStderrOnly)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"sample", "p"},
             {"run"},
             {"run", "a", "b"},
             {"run", "p", "--fast"},
             {"run", "p", "--seed"},
             {"run", "p", "--seed", "abc"},
             {"run", "p", "--seed", "-1"},
             {"run", "p", "--seed", "4294967296"},
             {"run", "p", "--seed=12x"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Invocation k = Kalvo(args);
        EXPECT_EQ(k.status, 2);
        EXPECT_EQ(k.out, "");
        EXPECT_THAT(k.err, StartsWith("kalvo: "));
        EXPECT_THAT(k.err, HasSubstr("usage:"));
    }
}

TEST(CommandLineRun, SameSeedAppendsTheSameBytesAndNamesTheSeed)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const std::string params = in.Params("a.params", out);
    const Invocation first = Kalvo({"run", params, "--seed", "4294967295"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, "Finished!\n");
    EXPECT_EQ(first.err, "kalvo: run 1 of 1: parameter file '" + params + "', seed 4294967295\n");
    const std::string once = ReadBytes(out);
    EXPECT_EQ(CountReports(once), 1);

    EXPECT_EQ(Kalvo({"--seed=4294967295", "run", params}).status, 2);  // options follow the command
    EXPECT_EQ(Kalvo({"run", "--seed=4294967295", "--quiet", params}).status, 0);
    EXPECT_EQ(ReadBytes(out), once + once);
}

TEST(CommandLineRun, WithoutSeedTheClockSeedIsPrinted)
{
    TinyInputs in;
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    const Invocation k = Kalvo({"run", in.Params("a.params", in.dir().File("out.txt"))});
    const auto at = k.err.rfind("seed ");
    ASSERT_NE(at, std::string::npos);
    const auto seed = static_cast<std::uint32_t>(std::stoul(k.err.substr(at + 5)));
    EXPECT_LE(seed - before, 2u);
}

TEST(CommandLineRun, RefusalIsOneLineOnStderrExitOneAndOutputUntouched)
{
    TinyInputs in;
    const std::string out = in.dir().Write("out.txt", "earlier\r\n");
    const std::string params = in.Params("bad.params", out, "-w\n0\n");
    const Invocation k = Kalvo({"run", params, "--seed", "1"});
    EXPECT_EQ(k.status, 1);
    EXPECT_EQ(k.out, "Finished!\n");
    EXPECT_THAT(k.err, HasSubstr("\nkalvo: parameter file '" + params + "': motif width must be at least 1"));
    EXPECT_EQ(std::count(k.err.begin(), k.err.end(), '\n'), 2);
    EXPECT_EQ(ReadBytes(out), "earlier\r\n");

    // An output path below a regular file can be neither opened nor created.
    const std::string blocked = in.Params("blocked.params", out + "/report.txt");
    const Invocation b = Kalvo({"run", blocked, "--seed", "1"});
    EXPECT_EQ(b.status, 1);
    EXPECT_THAT(b.err, HasSubstr(out + "/report.txt"));
    EXPECT_EQ(ReadBytes(out), "earlier\r\n");

    EXPECT_EQ(Kalvo({"run", in.dir().File("absent.params")}).status, 1);
}

TEST(CommandLineRepeat, NoRunCountExitsTwoWithTheMessageOnStderr)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const Invocation k = Kalvo({"repeat", in.Params("a.params", out), "--seed", "1"});
    EXPECT_EQ(k.status, 2);
    EXPECT_EQ(k.out, "");
    EXPECT_EQ(k.err, "please input number of runs!\n");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(CommandLineBatch, ListWithOneRefusedFileRunsTheRestAndExitsOne)
{
    TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const std::string good = in.Params("good.params", out);
    const std::string list = in.dir().Write("list.txt", "2\n" + in.dir().File("missing.params") + "\n" + good + "\n");
    const Invocation k = Kalvo({"batch", list, "--seed", "9"});
    EXPECT_EQ(k.status, 1);
    EXPECT_EQ(k.out, "Finished!\n");
    EXPECT_THAT(k.err, HasSubstr("kalvo: cannot open parameter file '" + in.dir().File("missing.params")));
    EXPECT_THAT(k.err, HasSubstr("run 1 of 1: parameter file '" + good + "', seed 9"));
    EXPECT_EQ(CountReports(ReadBytes(out)), 1);

    EXPECT_EQ(Kalvo({"batch", in.dir().Write("zero.txt", "0\n")}).err, "please input number of runs!\n");
}

TEST(CommandLineProgress, DrawnOnlyOnATerminalAndNotWhenQuiet)
{
    TinyInputs in;
    const std::string params = in.Params("a.params", in.dir().File("out.txt"));
    const Invocation terminal = Kalvo({"run", params, "--seed", "1"}, true);
    EXPECT_THAT(terminal.err, HasSubstr("\rrun 1 of 1, iteration 8 of 8 (100.0%)"));
    EXPECT_THAT(terminal.err, HasSubstr("\rrun 1 of 1, iteration 4 of 8 (50.0%)"));
    EXPECT_EQ(terminal.out, "Finished!\n");
    EXPECT_THAT(Kalvo({"run", params, "--seed", "1", "--quiet"}, true).err, Not(HasSubstr("iteration")));
    EXPECT_THAT(Kalvo({"run", params, "--seed", "1"}, false).err, Not(HasSubstr("iteration")));

    // discover: the round's last restart always shows, and the line is wiped before the summary.
    const std::vector<std::string> discover = {"discover", in.dir().File("seqs.fa"), "-w", "6", "-n", "10",
                                               "--restarts", "1", "--motifs", "1", "-o", in.dir().File("found")};
    const Invocation shown = Kalvo(discover, true);
    ASSERT_EQ(shown.status, 0) << shown.err;
    // One restart, and in a set this small six more on shuffled copies of it.
    // The elapsed time is left out: a slow build (sanitizers) or a busy machine takes seconds.
    const auto drawn = shown.err.rfind("\rmotif 1 of at most 1: restarts 7 of 7, ");
    ASSERT_NE(drawn, std::string::npos) << shown.err;
    const auto lineEnd = shown.err.find('\r', drawn + 1);
    ASSERT_NE(lineEnd, std::string::npos);
    std::string wipe(lineEnd - drawn + 1, ' ');
    wipe.front() = wipe.back() = '\r';
    EXPECT_EQ(shown.err.substr(lineEnd), wipe);
    std::vector<std::string> quiet = discover;
    quiet.insert(quiet.end(), {"-q", "--force"});
    EXPECT_EQ(Kalvo(quiet, true).err, "");
}

}  // namespace
}  // namespace kalvo::testing
