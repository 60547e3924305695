// tests/app/find_command_test.cpp: `kalvo find` runs as the parameter file its options stand for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "batch_inputs.h"
#include "cli_invocation.h"

namespace kalvo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string LastLine(const std::string& text)
{
    const std::string trimmed = text.substr(0, text.size() - 1);
    return trimmed.substr(trimmed.rfind('\n') + 1);
}

TEST(FindCommand, EveryFlagAppendsWhatItsParameterFileAppends)
{
    const TinyInputs in;
    const std::string fasta = in.dir().File("seqs.fa");
    const std::string bg = in.dir().Write("bg.txt", "0.3\t0.2\t0.2\t0.3\t\n0.25\t0.25\t0.25\t0.25\t\n0.25\t0.25\t0.25\t"
                                                    "0.25\t\n0.25\t0.25\t0.25\t0.25\t\n0.25\t0.25\t0.25\t0.25\t\n");
    const std::string viaFind = in.dir().File("find.txt");
    const std::string written = in.dir().File("written.params");
    const Invocation find = Kalvo({"find", fasta, "--width", "6", "--iterations", "12", "--pseudocount", "0.5",
                                   "--correlation", "3", "--moves", "2", "--one-site", "--given-strand", "--seed-word",
                                   "TGTGAC", "--mask", "--background", bg, "--output=" + viaFind, "--repeats", "2",
                                   "--write-params", written, "--seed", "21"});
    EXPECT_EQ(find.status, 0) << find.err;
    EXPECT_EQ(ReadBytes(written), "-i\n" + fasta + "\n-o\n" + viaFind + "\n-b\n" + bg +
                                      "\n-w\n6\n-n\n12\n-m\n2\n-c\n3\n-e\n-r\n0\n-s\n0.5\n-A\nTGTGAC\n-k\n-N\n2\n");
    // Runs are announced under the written file, so each can be repeated from it.
    EXPECT_THAT(find.err, HasSubstr("run 2 of 2: parameter file '" + written + "', seed " +
                                    std::to_string(RunSeed(21, 1)) + "\n"));

    const std::string viaFile = in.dir().File("file.txt");
    const std::string byHand = in.dir().Write(
        "hand.params", "-N\n2\n-k\n-A\nTGTGAC\n-s\n0.5\n-r\n0\n-e\n-c\n3\n-m\n2\n-n\n12\n-w\n6\n-b\n" + bg + "\n-o\n" +
                           viaFile + "\n-i\n" + fasta + "\n");
    EXPECT_EQ(Kalvo({"repeat", byHand, "--seed", "21"}).status, 0);
    const std::string reports = ReadBytes(viaFind);
    EXPECT_EQ(CountReports(reports), 2);
    EXPECT_EQ(reports, ReadBytes(viaFile));
    EXPECT_EQ(Kalvo({"repeat", written, "--seed", "21"}).status, 0);
    EXPECT_EQ(ReadBytes(viaFind), reports + reports);

    // Without flags the defaults are a parameter file's.
    const std::string bare = in.dir().File("bare.txt");
    const std::string minimal = in.dir().File("minimal.txt");
    EXPECT_EQ(Kalvo({"find", fasta, "--width", "6", "--iterations", "8", "--output", bare, "--seed", "4"}).err,
              "kalvo: run 1 of 1: find '" + fasta + "', seed 4\n");
    EXPECT_EQ(Kalvo({"run", in.dir().Write("m.params", "-i\n" + fasta + "\n-o\n" + minimal + "\n-w\n6\n-n\n8\n"),
                     "--seed", "4"}).status, 0);
    EXPECT_EQ(CountReports(ReadBytes(bare)), 1);
    EXPECT_EQ(ReadBytes(bare), ReadBytes(minimal));
}

TEST(FindCommand, RefusalsAndTheDefaultReportNameAreThoseOfItsParameterFile)
{
    const TinyInputs in;
    const std::string absent = in.dir().File("absent.fa");
    const std::string written = in.dir().File("w.params");
    const Invocation find = Kalvo({"find", absent, "--width", "6", "--write-params", written, "--seed", "1"});
    EXPECT_EQ(find.status, 1);
    EXPECT_EQ(find.out, "Finished!\n");
    EXPECT_EQ(ReadBytes(written), "-i\n" + absent + "\n-o\nabsent.kalvo.txt\n-w\n6\n-n\n500\n-m\n3\n-c\n2\n-s\n1\n-N\n1\n");
    EXPECT_THAT(LastLine(find.err), StartsWith("kalvo: cannot open sequence file '" + absent));
    EXPECT_EQ(LastLine(find.err), LastLine(Kalvo({"run", written, "--seed", "1"}).err));
    EXPECT_FALSE(std::filesystem::exists("absent.kalvo.txt"));
    // A compressed file's report is named after the sequences, not after ".fa".
    Kalvo({"find", absent + ".gz", "--width", "6", "--write-params", written, "--seed", "1"});
    EXPECT_THAT(ReadBytes(written), HasSubstr("\n-o\nabsent.kalvo.txt\n"));
}

TEST(FindCommand, BadValuesAreUsageErrorsThatNameTheFlag)
{
    const TinyInputs in;
    const std::string out = in.dir().File("out.txt");
    const std::vector<std::vector<std::string>> cases = {
        {"--width", "0"},         {"--width", "six"},          {"--width=-3"},
        {"--iterations", "-1"},   {"--iterations", "1e3"},     {"--pseudocount", "0"},
        {"--pseudocount", "1000.5"}, {"--pseudocount", "nan"}, {"--pseudocount", "0.5x"},
        {"--correlation", "two"}, {"--moves", ""},             {"--seed-word", "TGTGAN"},
        {"--seed-word", "tgtgac"}, {"--repeats", "0"},         {"--background", ""},
        {"--output", "a\nb"},     {"--formats", "meme,pdf"},   {"--logo-reverse"},
        {"--one-site=yes"},       {"--moves"},
    };
    for (const auto& extra : cases) {
        std::vector<std::string> args = {"find", in.dir().File("seqs.fa"), "--width", "6", "--output", out};
        args.insert(args.end(), extra.begin(), extra.end());
        SCOPED_TRACE(::testing::PrintToString(args));
        const Invocation k = Kalvo(args);
        EXPECT_EQ(k.status, 2);
        EXPECT_EQ(k.out, "");
        EXPECT_THAT(k.err, StartsWith("kalvo: " + extra[0].substr(0, extra[0].find('='))));
    }
    EXPECT_THAT(Kalvo({"find", in.dir().File("seqs.fa")}).err, StartsWith("kalvo: find needs --width"));
    EXPECT_THAT(Kalvo({"run", "p", "--width", "6"}).err, StartsWith("kalvo: option '--width' belongs to `kalvo find`"));
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(FindCommand, AParameterFileThatCannotBeSavedStopsBeforeAnyRun)
{
    const TinyInputs in;
    const std::string fasta = in.dir().File("seqs.fa");
    const std::string sequences = ReadBytes(fasta);
    const std::string out = in.dir().File("out.txt");
    const Invocation blocked = Kalvo({"find", fasta, "--width", "6", "--output", out, "--write-params", fasta + "/p"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_THAT(blocked.err, HasSubstr("cannot write parameter file '" + fasta + "/p'"));
    const Invocation overwrite = Kalvo({"find", fasta, "--width", "6", "--output", out, "--write-params", fasta});
    EXPECT_EQ(overwrite.status, 2);
    EXPECT_THAT(overwrite.err, StartsWith("kalvo: --write-params"));
    EXPECT_EQ(ReadBytes(fasta), sequences);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(FindCommand, HelpListsEveryFlagWithItsDefault)
{
    const std::string help = Kalvo({"find", "--help"}).out;
    for (const char* item : {"--width W", "(required)", "--iterations N", "(default 500", "--pseudocount X", "--correlation C",
                             "(default 2)", "--moves M", "(default 3)", "--one-site", "--given-strand", "--seed-word",
                             "--mask", "--background PATH", "--output PATH", ".kalvo.txt", "--repeats N",
                             "--write-params FILE", "--formats", "--logo-reverse"})
        EXPECT_THAT(help, HasSubstr(item));
}

}  // namespace
}  // namespace kalvo::testing
