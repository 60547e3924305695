// tests/app/find_command_test.cpp: `kalvo find` runs as the parameter file its options stand for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "batch_inputs.h"
#include "cli_invocation.h"

namespace kalvo::testing {
namespace {

namespace fs = std::filesystem;
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

// The sequences of TinyInputs, as `gzip` writes them.
constexpr char kGzipSequences[] =
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x35\x8c\xb9\x0d\xc0\x40\x0c\xc3\x7a\x6d\x93\xa7\x0e\x20\xa8"
    "\xd0\x02\xda\xe4\xf6\x07\x62\xe5\xa9\x6c\x93\x84\xaf\xb5\x81\x72\xe2\x98\x62\x42\x4b\x74\x07\xae\xb5"
    "\xc3\x2e\xfc\x6c\x77\xb9\xd1\xb8\x03\x4f\x5c\x32\xe8\x0d\x34\x9f\xea\x4e\xe8\x47\xb4\xa3\x5e\xd4\xe4"
    "\xb8\x01\xfd\xe3\xa0\x52\x70\x00\x00\x00";

TEST(StandardInputAsFasta, FindSavesItBesideTheReportAndItsRunsRepeatFromTheCopy)
{
    const TinyInputs in;
    const std::string sequences = ReadBytes(in.dir().File("seqs.fa"));
    const std::string report = in.dir().File("out.txt");
    const std::string written = in.dir().File("w.params");
    const Invocation find = KalvoWithInput({"find", "-", "-w", "6", "-n", "8", "-o", report, "--repeats", "2",
                                            "--write-params", written, "--seed", "7", "-j", "2"}, sequences);
    ASSERT_EQ(find.status, 0) << find.err;
    const std::string copy = in.dir().File("out.input.fa");
    EXPECT_EQ(ReadBytes(copy), sequences);
    EXPECT_THAT(find.err, StartsWith("kalvo: standard input saved as '" + copy + "'\n"));
    EXPECT_THAT(ReadBytes(written), StartsWith("-i\n" + copy + "\n-o\n" + report + "\n"));
    const std::string reports = ReadBytes(report);
    ASSERT_EQ(CountReports(reports), 2);
    EXPECT_THAT(reports, HasSubstr(copy));
    // Both runs, repeated from the written parameter file, append the same bytes again.
    EXPECT_EQ(Kalvo({"repeat", written, "--seed", "7"}).status, 0);
    EXPECT_EQ(ReadBytes(report), reports + reports);

    // The same input again reuses the copy; other input never replaces it, and gzip data is saved as it came.
    EXPECT_THAT(KalvoWithInput({"find", "-", "-w6", "-n8", "-o", report}, sequences).err,
                StartsWith("kalvo: standard input is the same as '" + copy + "'\n"));
    const std::string other = ">x\nACGTACGTACGTAC\n";
    EXPECT_EQ(KalvoWithInput({"find", "-", "-w6", "-n8", "-o", report}, other).status, 0);
    EXPECT_EQ(ReadBytes(in.dir().File("out.input-2.fa")), other);
    const std::string gzip(kGzipSequences, sizeof kGzipSequences - 1);
    EXPECT_EQ(KalvoWithInput({"find", "-", "-w6", "-n8", "-o", report}, gzip).status, 0);
    EXPECT_EQ(ReadBytes(in.dir().File("out.input.fa.gz")), gzip);
    EXPECT_EQ(ReadBytes(copy), sequences);
    EXPECT_EQ(CountReports(ReadBytes(report)), 7);
}

TEST(StandardInputAsFasta, RefusalsReadNoTerminalAndLeaveNoFileBehind)
{
    const TinyInputs in;
    const std::string sequences = ReadBytes(in.dir().File("seqs.fa"));
    const std::string report = in.dir().File("out.txt");
    const std::string copy = in.dir().File("out.input.fa");
    const std::string folder = in.dir().File("found");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"find", "-", "-w", "6", "-o", report}, {"discover", "-", "-w", "6", "-o", folder}}) {
        SCOPED_TRACE(args.front());
        const Invocation terminal = KalvoWithInput(args, sequences, true);
        EXPECT_EQ(terminal.status, 2);
        EXPECT_THAT(terminal.err, StartsWith("kalvo: " + args.front() +
                                             " - reads the FASTA file from standard input, which is a terminal"));
        const Invocation empty = KalvoWithInput(args, "");
        EXPECT_EQ(empty.status, 1);
        EXPECT_EQ(empty.err, "kalvo: standard input is empty: pipe a FASTA file into kalvo, or name the file\n");
        // Input the run refuses: the copy nobody names is removed again.
        const Invocation refused = KalvoWithInput(args, "not a FASTA file\n");
        EXPECT_EQ(refused.status, 1);
        EXPECT_THAT(refused.err, HasSubstr("input.fa"));
        EXPECT_FALSE(fs::exists(copy));
        EXPECT_FALSE(fs::exists(report));
        EXPECT_FALSE(fs::exists(folder));
    }
    // The saved settings may not be the copy itself.
    const Invocation overwrite =
        KalvoWithInput({"find", "-", "-w", "6", "-o", report, "--write-params", copy}, sequences);
    EXPECT_EQ(overwrite.status, 2);
    EXPECT_THAT(overwrite.err, StartsWith("kalvo: --write-params '" + copy + "' is the FASTA file"));
    EXPECT_FALSE(fs::exists(copy));
    // A folder's saved input of other data is never replaced, not even with --force.
    fs::create_directory(folder);
    const std::string earlier = in.dir().Write("found/input.fa", ">e\nACGTACGTACGT\n");
    const Invocation other = KalvoWithInput({"discover", "-", "-o", folder, "--force"}, sequences);
    EXPECT_EQ(other.status, 1);
    EXPECT_THAT(other.err, HasSubstr("already holds 'input.fa', the saved input of another discovery"));
    EXPECT_EQ(ReadBytes(earlier), ">e\nACGTACGTACGT\n");
}

TEST(StandardInputAsFasta, AReportThatIsNoFileStopsFindBeforeAnythingIsReadOrWritten)
{
    // The copy of standard input and the format files go beside the report,
    // named after it: a folder (or a device) has no such place.
    const TinyInputs in;
    const std::string sequences = ReadBytes(in.dir().File("seqs.fa"));
    const std::string folder = in.dir().File("reports");
    fs::create_directory(folder);
    const Invocation copy = KalvoWithInput({"find", "-", "-w", "6", "-o", folder}, sequences);
    EXPECT_EQ(copy.status, 2);
    EXPECT_THAT(copy.err, StartsWith("kalvo: standard input is saved beside the report, and the report '" + folder +
                                     "' is a folder; give -o a regular file"));
    const Invocation formats = KalvoWithInput({"find", "-", "-w", "6", "-o", folder, "--formats", "json"}, sequences);
    EXPECT_EQ(formats.status, 2);
    EXPECT_THAT(formats.err, StartsWith("kalvo: --formats writes its files beside the report"));
    EXPECT_EQ(copy.out + formats.out, "");
    EXPECT_FALSE(fs::exists(in.dir().File("reports.input.fa")));
    EXPECT_TRUE(fs::is_empty(folder));
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
