// tests/catalogue/bad_inputs_test.cpp: a catalogue of bad inputs to the `kalvo` program and its batches.
// Each gets the right exit status and at most one message that names the file or key, and every
// file is byte for byte as it was unless a run succeeded, which then appends exactly its blocks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "gzip_text.h"
#include "temp_files.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadBytes;
using testing::TempDir;

constexpr std::string_view kEarlier = "earlier results\r\n";
constexpr std::string_view kFasta =
    ">s1\nACGTTGTGACATTAGCCAGTAGC\n>s2\nGGCATTTGTGACAGCATCGATTA\n"
    ">s3\nTTAGCATCGGATGTGACACCGTA\n>s4\nCATGTGACAAGGTCCATGACTAG\n";
const std::string kRow = "0.25\t0.25\t0.25\t0.25\t\n";
const std::string kTenMegabytes(10u << 20, 'C');

// Every byte value, twice, and no '>': binary junk that is not a FASTA file.
std::string BinaryBytes()
{
    std::string bytes;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b) {
            if (b != '>')
                bytes += static_cast<char>(b);
        }
    }
    return bytes;
}

// A scratch folder with good inputs and an output file that already holds results.
class Scene {
public:
    Scene()
    {
        fasta = dir.Write("seqs.fa", kFasta);
        background = dir.Write("bg.txt", kRow + kRow + kRow + kRow + kRow);
        out = dir.Write("out.txt", kEarlier);
    }
    // A parameter file of the good inputs; later keys in `extra` override earlier ones.
    std::string Params(const std::string& extra = "", const std::string& name = "run.params") const
    {
        return dir.Write(name, "-i\n" + fasta + "\n-o\n" + out + "\n-w\n6\n-n\n8\n-s\n1\n" + extra);
    }
    std::string File(const std::string& name) const { return dir.File(name); }
    std::string Write(const std::string& name, std::string_view bytes) const { return dir.Write(name, bytes); }

    TempDir dir;
    std::string fasta;
    std::string background;
    std::string out;
};

// What a case expects.
struct Outcome {
    std::vector<std::string> args;  // after the program name; "--seed 1 --quiet" follows them
    int status = 1;
    std::string message;            // a part of the one message; empty: no message at all
    int blocks = 0;                 // report blocks the case appends to out.txt
    std::string warning{};          // a part of the one warning; empty: no warning at all
};

struct BadInput {
    const char* name;
    std::function<Outcome(Scene&)> setup;
};

std::string Params(Scene& s, const std::string& extra) { return s.Params(extra); }

const BadInput kCatalogue[] = {
    // The good inputs themselves: the control case.
    {"GoodInputsAppendOneBlock", [](Scene& s) { return Outcome{{"run", s.Params()}, 0, "", 1}; }},

    // Command-line usage: exit 2, before anything is read.
    {"NoFileGiven", [](Scene&) { return Outcome{{"run"}, 2, "run needs a parameter file"}; }},
    {"TwoFilesGiven", [](Scene& s) { return Outcome{{"run", s.Params(), s.Params()}, 2, "run takes one file, not 2"}; }},
    {"NegativeSeed", [](Scene& s) { return Outcome{{"run", s.Params(), "--seed", "-1"}, 2, "--seed takes a whole number"}; }},
    {"ZeroJobs", [](Scene& s) { return Outcome{{"repeat", s.Params(), "--jobs", "0"}, 2, "--jobs takes a whole number"}; }},
    {"FindWithoutWidth", [](Scene& s) { return Outcome{{"find", s.fasta}, 2, "find needs --width W"}; }},
    {"FindWidthZero", [](Scene& s) { return Outcome{{"find", s.fasta, "--width", "0"}, 2, "--width takes a whole number of at least 1"}; }},
    // Counts that would keep the runs going for months, and format files beside a device, stop find before it reads anything.
    {"FindMovesAbsurd", [](Scene& s) {
         return Outcome{{"find", s.fasta, "--width", "6", "--output", s.out, "--moves", "2147483647"}, 2,
                        "--moves takes a whole number from 0 to 1000000, not '2147483647'"};
     }},
    {"FindIterationsAbsurd", [](Scene& s) {
         return Outcome{{"find", s.fasta, "--width", "6", "--output", s.out, "-n", "1000001"}, 2,
                        "-n takes a whole number from 0 to 1000000, not '1000001'"};
     }},
    {"FindRepeatsAbsurd", [](Scene& s) {
         return Outcome{{"find", s.fasta, "--width", "6", "--output", s.out, "--repeats", "2000000000"}, 2,
                        "--repeats takes a whole number from 1 to 1000000, not '2000000000'"};
     }},
    {"FindFormatsBesideADevice", [](Scene& s) {
         return Outcome{{"find", s.fasta, "--width", "6", "--output", "/dev/null", "--formats", "json"}, 2,
                        "--formats writes its files beside the report, and the report '/dev/null' is a character device"};
     }},

    // The parameter file.
    {"ParameterFileMissing", [](Scene& s) {
         const std::string p = s.File("absent.params");
         return Outcome{{"run", p}, 1, "cannot open parameter file '" + p + "': No such file or directory"};
     }},
    {"ParameterFileIsAFolder", [](Scene& s) {
         fs::create_directory(s.File("params.d"));
         return Outcome{{"run", s.File("params.d")}, 1, "parameter file '" + s.File("params.d") + "': it is a directory"};
     }},
    {"ParameterFileBelowARegularFile", [](Scene& s) {
         const std::string p = s.out + "/run.params";
         return Outcome{{"run", p}, 1, "cannot open parameter file '" + p + "': Not a directory"};
     }},
    {"ParameterFileInASymlinkLoop", [](Scene& s) {
         fs::create_symlink(s.File("loop.b"), s.File("loop.a"));
         fs::create_symlink(s.File("loop.a"), s.File("loop.b"));
         return Outcome{{"run", s.File("loop.a")}, 1, "'" + s.File("loop.a") + "': Too many levels of symbolic links"};
     }},
    {"ParameterFileEmpty", [](Scene& s) {
         const std::string p = s.Write("empty.params", "");
         return Outcome{{"run", p}, 1, "parameter file '" + p + "': motif width must be at least 1 (\"-w\" gives 0)"};
     }},
    {"ParameterFileBinary", [](Scene& s) {
         const std::string p = s.Write("binary.params", BinaryBytes());
         return Outcome{{"run", p}, 1, "parameter file '" + p + "': motif width must be at least 1"};
     }},
    {"ParameterFileWithALineOf10MB", [](Scene& s) {
         return Outcome{{"run", s.Params("# " + kTenMegabytes + "\n")}, 0, "", 1};
     }},
    {"WidthZero", [](Scene& s) { return Outcome{{"run", Params(s, "-w\n0\n")}, 1, "motif width must be at least 1 (\"-w\" gives 0)"}; }},
    {"WidthNegative", [](Scene& s) { return Outcome{{"run", Params(s, "-w\n-3\n")}, 1, "(\"-w\" gives -3)"}; }},
    {"WidthKeyWithoutValue", [](Scene& s) {
         return Outcome{{"run", Params(s, "-w")}, 1, "(\"-w\" gives 0)", 0, "\"-w\" value \"\" is not a whole number; it is read as 0"};
     }},
    {"WidthBeyondEverySequence", [](Scene& s) {
         return Outcome{{"run", Params(s, "-w\n99999999999\n")}, 1,
                        "sequence file '" + s.fasta + "': no sequence is as long as the motif width 2147483647", 0,
                        "line 12: \"-w\" value \"99999999999\" is not a whole number; it is read as 2147483647"};
     }},
    {"PseudocountZero", [](Scene& s) { return Outcome{{"run", Params(s, "-s\n0\n")}, 1, "pseudocount \"-s\" must be above 0 and at most 1000 (the value line is \"0\")"}; }},
    {"PseudocountNegative", [](Scene& s) { return Outcome{{"run", Params(s, "-s\n-0.5\n")}, 1, "(the value line is \"-0.5\")"}; }},
    {"PseudocountAbsurd", [](Scene& s) { return Outcome{{"run", Params(s, "-s\n1e300\n")}, 1, "(the value line is \"1e300\")"}; }},
    {"PseudocountNotANumber", [](Scene& s) {
         return Outcome{{"run", Params(s, "-s\nnan\n")}, 1, "(the value line is \"nan\")", 0,
                        "\"-s\" value \"nan\" is not a number; it is read as 0"};
     }},
    {"PseudocountLineOf10MBIsShownCutShort", [](Scene& s) {
         return Outcome{{"run", Params(s, "-s\n" + kTenMegabytes + "\n")}, 1,
                        "(the value line is \"" + kTenMegabytes.substr(0, 60) + "...\")", 0,
                        "\"-s\" value \"" + kTenMegabytes.substr(0, 60) + "...\" is not a number; it is read as 0"};
     }},
    // A negative count runs no iteration: nothing is scored, and the report says so.
    {"IterationsNegativeRunNone", [](Scene& s) { return Outcome{{"run", Params(s, "-n\n-5\n")}, 0, "", 1}; }},
    {"MovesNegativeAreAccepted", [](Scene& s) { return Outcome{{"run", Params(s, "-m\n-7\n")}, 0, "", 1}; }},
    {"MovesAbsurdWithoutCorrelationAreAccepted", [](Scene& s) {
         return Outcome{{"run", Params(s, "-c\n1\n-m\n99999999999\n")}, 0, "", 1,
                        "\"-m\" value \"99999999999\" is not a whole number; it is read as 2147483647"};
     }},
    // Counts that would keep one run going for days or months are refused before it starts.
    {"MovesAbsurdAreRefused", [](Scene& s) {
         return Outcome{{"run", Params(s, "-m\n2147483647\n")}, 1,
                        "correlated moves per iteration \"-m\" must be at most 1000000 (\"-m\" gives 2147483647)"};
     }},
    {"IterationsAbsurdAreRefused", [](Scene& s) {
         return Outcome{{"run", Params(s, "-n\n99999999999\n")}, 1,
                        "iterations \"-n\" must be at most 1000000 (\"-n\" gives 2147483647)", 0,
                        "\"-n\" value \"99999999999\" is not a whole number; it is read as 2147483647"};
     }},
    {"CorrelationNegativeIsAccepted", [](Scene& s) { return Outcome{{"run", Params(s, "-c\n-4\n")}, 0, "", 1}; }},
    {"OutputIsTheSequenceFile", [](Scene& s) {
         return Outcome{{"run", Params(s, "-o\n" + s.fasta + "\n")}, 1, "the output file \"-o\" '" + s.fasta + "' is the sequence file \"-i\""};
     }},
    {"OutputIsTheBackgroundFile", [](Scene& s) {
         return Outcome{{"run", Params(s, "-b\n" + s.background + "\n-o\n" + s.background + "\n")}, 1, "is the background file \"-b\""};
     }},
    {"OutputIsTheParameterFileItself", [](Scene& s) {
         return Outcome{{"run", Params(s, "-o\n" + s.File("run.params") + "\n")}, 1, "is the parameter file itself"};
     }},

    // A format file, the saved settings or a report that would land on a file the run or its batch reads.
    {"FormatFileIsTheSequenceFile", [](Scene& s) {
         const std::string fa = s.Write("out.bed", kFasta);
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n"), "--formats", "bed"}, 1,
                        "the bed file '" + fa + "' is the sequence file \"-i\" '" + fa + "'; the run would overwrite it"};
     }},
    {"FormatFileIsTheParameterFileItself", [](Scene& s) {
         const std::string p = s.Params("", "out.meme");
         return Outcome{{"run", p, "--formats", "json,meme"}, 1, "the meme file '" + p + "' is the parameter file itself"};
     }},
    {"FormatFileIsTheBackgroundFileThroughALink", [](Scene& s) {
         fs::create_symlink(s.background, s.File("out.jaspar"));
         return Outcome{{"run", Params(s, "-b\n" + s.File("out.jaspar") + "\n"), "--formats", "jaspar"}, 1,
                        "the jaspar file '" + s.File("out.jaspar") + "' is the background file \"-b\""};
     }},
    {"ListedReportIsTheListFile", [](Scene& s) {
         const std::string list = s.File("runs.list");
         s.Write("runs.list", "1\n" + Params(s, "-o\n" + list + "\n") + "\n");
         return Outcome{{"batch", list}, 1, "the output file \"-o\" '" + list + "' is the list file '" + list + "'"};
     }},
    {"ListedReportIsAnotherRunsSequenceFile", [](Scene& s) {
         const std::string first = s.Params("", "first.params");
         const std::string second = s.Params("-o\n" + s.fasta + "\n-i\n" + s.fasta + ".other\n", "second.params");
         s.Write("seqs.fa.other", kFasta);
         const std::string list = s.Write("runs.list", "2\n" + second + "\n" + first + "\n");
         return Outcome{{"batch", list}, 1,
                        "the output file \"-o\" '" + s.fasta + "' is the sequence file \"-i\" '" + s.fasta +
                            "' of parameter file '" + first + "'", 1};
     }},
    {"FormatsBesideADevice", [](Scene& s) {
         return Outcome{{"run", Params(s, "-o\n/dev/null\n"), "--formats", "json"}, 1,
                        "the output file \"-o\" '/dev/null' is a character device, and no json file is written beside it"};
     }},
    {"SavedSettingsWouldBeReplacedByAFormatFile", [](Scene& s) {
         return Outcome{{"find", s.fasta, "--width", "6", "--output", s.out, "--formats", "json", "--write-params",
                         s.File("out.json")}, 2,
                        "--write-params '" + s.File("out.json") + "' is the json file of the run ('" + s.File("out.json") +
                            "'); one would overwrite the other"};
     }},

    // Values read loosely: read as always, and told once.
    {"WidthWithAFraction", [](Scene& s) {
         return Outcome{{"run", Params(s, "-w\n6.5\n")}, 0, "", 1, "\"-w\" value \"6.5\" is not a whole number; it is read as 6"};
     }},
    {"IterationsInAnotherNotation", [](Scene& s) {
         return Outcome{{"run", Params(s, "-n\n1e3\n")}, 0, "", 1, "\"-n\" value \"1e3\" is not a whole number; it is read as 1"};
     }},
    {"SeedWordInLowerCase", [](Scene& s) {
         return Outcome{{"run", Params(s, "-A\ntgtgac\n")}, 0, "", 1,
                        "\"-A\" seed word \"tgtgac\" holds letters other than A, C, G and T"};
     }},
    {"StrandValueThatIsAKey", [](Scene& s) {
         return Outcome{{"run", Params(s, "-r\n-w\n6\n")}, 0, "", 1,
                        "line 12: \"-r\" takes this line as its value, so \"-w\" here is not read as a key"};
     }},
    {"StrandValueZeroWithABlank", [](Scene& s) {
         return Outcome{{"run", Params(s, "-r\n0 \n")}, 0, "", 1, "\"-r\" value \"0 \" is not exactly 0 or 1; both strands are searched"};
     }},

    // The sequence file.
    {"SequenceFileMissing", [](Scene& s) {
         return Outcome{{"run", Params(s, "-i\n" + s.File("absent.fa") + "\n")}, 1,
                        "cannot open sequence file '" + s.File("absent.fa") + "': No such file or directory"};
     }},
    {"SequenceFileIsAFolder", [](Scene& s) {
         fs::create_directory(s.File("fa.d"));
         return Outcome{{"run", Params(s, "-i\n" + s.File("fa.d") + "\n")}, 1, "sequence file '" + s.File("fa.d") + "': it is a directory"};
     }},
    {"SequenceFileNameWithANul", [](Scene& s) {
         // Cut at the NUL, the name would read the good FASTA file.
         return Outcome{{"run", Params(s, "-i\n" + s.fasta + std::string(1, '\0') + ".old\n")}, 1, "the file name holds a NUL byte"};
     }},
    {"SequenceFileEmpty", [](Scene& s) {
         const std::string fa = s.Write("empty.fa", "");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1, "sequence file '" + fa + "' holds no sequence"};
     }},
    {"SequenceFileBinary", [](Scene& s) {
         const std::string fa = s.Write("binary.fa", BinaryBytes());
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1,
                        "sequence file '" + fa + "' holds a NUL byte (at byte 1): it looks like a binary file, not FASTA text"};
     }},
    {"SequenceFileIsADeviceOfNulBytes", [](Scene& s) {
         // Never a line end: refused at its first block, not read until memory runs out.
         return Outcome{{"run", Params(s, "-i\n/dev/zero\n")}, 1,
                        "sequence file '/dev/zero' holds a NUL byte (at byte 1): it looks like a binary file, not FASTA text"};
     }},
    {"SequenceLinesWithoutAHeader", [](Scene& s) {
         const std::string fa = s.Write("noheader.fa", "ACGTACGTACGT\nACGTACGT\n");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1, "holds no sequence: no line holds a '>' header"};
     }},
    {"HeaderWithoutSequence", [](Scene& s) {
         const std::string fa = s.Write("header.fa", ">lonely\n");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1, "sequence file '" + fa + "': no sequence is as long as the motif width 6"};
     }},
    {"SequencesShorterThanTheWidth", [](Scene& s) {
         const std::string fa = s.Write("short.fa", ">a\nACGTA\n>b\nAC\n");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1, "no sequence is as long as the motif width 6"};
     }},
    {"OldMacLineEndsMakeOneHeaderLine", [](Scene& s) {
         const std::string fa = s.Write("mac.fa", ">a\rACGTACGTACGT\r>b\rACGTACGTAC\r");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1, "no sequence is as long as the motif width 6"};
     }},
    {"SequencesOfOnlyNRunAndFindNoSite", [](Scene& s) {
         const std::string fa = s.Write("n.fa", ">a\nNNNNNNNNNNNNNNNN\n>b\nnnnnnnnnnnnn\n");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 0, "", 1};
     }},
    {"NulBytesInsideSequencesRefuseTheRun", [](Scene& s) {
         const std::string fa = s.Write("nul.fa", std::string(">a\nACGT\0\0ACGTTGCA\n>b\nTT\0GCAACGTAC\n", 33));
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1, "sequence file '" + fa + "' holds a NUL byte (at byte 8)"};
     }},
    {"SequenceFileInUtf16", [](Scene& s) {
         std::string wide = "\xff\xfe";
         for (char c : kFasta)
             wide += std::string{c, '\0'};
         const std::string fa = s.Write("wide.fa", wide);
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 1,
                        "sequence file '" + fa + "' looks like UTF-16 text (it starts with a byte order mark)"};
     }},
    {"SequenceFileGzipRunsAsItsText", [](Scene& s) {
         const std::string gz = s.Write("seqs.fa.gz", testing::GzipMember(kFasta));
         return Outcome{{"run", Params(s, "-i\n" + gz + "\n")}, 0, "", 1};
     }},
    {"SequenceFileGzipCutShort", [](Scene& s) {
         const std::string whole = testing::GzipMember(kFasta);
         const std::string gz = s.Write("seqs.fa.gz", whole.substr(0, whole.size() - 5));
         return Outcome{{"run", Params(s, "-i\n" + gz + "\n")}, 1,
                        "cannot read sequence file '" + gz + "': the gzip data is cut short"};
     }},
    {"BlanksAndTabsInSequenceLinesAreKeptAndToldOnce", [](Scene& s) {
         const std::string fa = s.Write("blanks.fa", ">a\nACGT ACGTTGCA\n>b\nTT\tGCAACGTAC\n>c\nGCAAC GTAC\n");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n")}, 0, "", 1,
                        "sequence file '" + fa + "': 3 sequence lines hold blanks or tabs (the first is line 2)"};
     }},
    {"SequenceLineOf10MB", [](Scene& s) {
         const std::string fa = s.Write("long.fa", ">long\n" + kTenMegabytes + "GTGACA\n>short\nACGTTGTGACATTAGC\n");
         return Outcome{{"run", Params(s, "-i\n" + fa + "\n-n\n1\n")}, 0, "", 1};
     }},

    // The background file.
    {"BackgroundFileMissing", [](Scene& s) {
         return Outcome{{"run", Params(s, "-b\n" + s.File("absent.bg") + "\n")}, 1,
                        "cannot open background file '" + s.File("absent.bg") + "': No such file or directory"};
     }},
    {"BackgroundFileIsAFolder", [](Scene& s) {
         fs::create_directory(s.File("bg.d"));
         return Outcome{{"run", Params(s, "-b\n" + s.File("bg.d") + "\n")}, 1, "background file '" + s.File("bg.d") + "': it is a directory"};
     }},
    {"BackgroundOfZeros", [](Scene& s) {
         const std::string bg = s.Write("zero.bg", "0\t0\t0\t0\t\n0\t0\t0\t0\t\n0\t0\t0\t0\t\n0\t0\t0\t0\t\n0\t0\t0\t0\t\n");
         return Outcome{{"run", Params(s, "-b\n" + bg + "\n")}, 1, "background file '" + bg + "', line 1: value 1 reads as 0"};
     }},
    {"BackgroundOfText", [](Scene& s) {
         const std::string bg = s.Write("text.bg", "A C G T\nthese are not numbers\n1\n2\n3\n");
         return Outcome{{"run", Params(s, "-b\n" + bg + "\n")}, 1, "background file '" + bg + "', line 1: value 1 reads as 0"};
     }},
    {"BackgroundWithAMissingFinalTab", [](Scene& s) {
         const std::string bg = s.Write("tab.bg", kRow + kRow + "0.25\t0.25\t0.25\t0.25\n" + kRow + kRow);
         return Outcome{{"run", Params(s, "-b\n" + bg + "\n")}, 1, "line 3: value 4 reads as 0"};
     }},
    {"BackgroundTooShort", [](Scene& s) {
         const std::string bg = s.Write("short.bg", kRow + kRow);
         return Outcome{{"run", Params(s, "-b\n" + bg + "\n")}, 1, "background file '" + bg + "', line 3 is missing"};
     }},

    // The output file.
    {"OutputIsAFolder", [](Scene& s) {
         fs::create_directory(s.File("out.d"));
         return Outcome{{"run", Params(s, "-o\n" + s.File("out.d") + "\n")}, 1, "cannot write output file '" + s.File("out.d") + "': it is a directory"};
     }},
    {"OutputInAMissingFolder", [](Scene& s) {
         return Outcome{{"run", Params(s, "-o\n" + s.File("nowhere/out.txt") + "\n")}, 1, "folder '" + s.File("nowhere") + "' does not exist"};
     }},
    {"OutputBelowARegularFile", [](Scene& s) {
         return Outcome{{"run", Params(s, "-o\n" + s.out + "/out.txt\n")}, 1, "'" + s.out + "' is not a folder"};
     }},
    {"OutputOnAFullDevice", [](Scene& s) {
         // Every write to /dev/full fails as on a full disk.
         return Outcome{{"run", Params(s, "-o\n/dev/full\n")}, 1, "cannot append the report to '/dev/full': No space left on device"};
     }},
    {"OutputNameMissing", [](Scene& s) { return Outcome{{"run", Params(s, "-o")}, 1, "cannot write output file '': no output file name given"}; }},
    {"OutputNameWithANul", [](Scene& s) {
         // Cut at the NUL, the name would append to the good output file.
         return Outcome{{"run", Params(s, "-o\n" + s.out + std::string(1, '\0') + "x\n")}, 1, "the file name holds a NUL byte"};
     }},

    // The list file of a batch, and the repeat count.
    {"ListFileMissing", [](Scene& s) {
         return Outcome{{"batch", s.File("absent.list")}, 1, "cannot open list file '" + s.File("absent.list") + "': No such file or directory"};
     }},
    {"ListFileIsAFolder", [](Scene& s) {
         fs::create_directory(s.File("list.d"));
         return Outcome{{"batch", s.File("list.d")}, 1, "list file '" + s.File("list.d") + "': it is a directory"};
     }},
    {"ListFileEmpty", [](Scene& s) { return Outcome{{"batch", s.Write("empty.list", "")}, 2, "please input number of runs!"}; }},
    {"ListFileBinary", [](Scene& s) { return Outcome{{"batch", s.Write("binary.list", BinaryBytes())}, 2, "please input number of runs!"}; }},
    {"ListFileThatNamesItself", [](Scene& s) {
         const std::string list = s.File("self.list");
         s.Write("self.list", "1\n" + list + "\n");
         return Outcome{{"batch", list}, 1, "parameter file '" + list + "': motif width must be at least 1"};
     }},
    {"ListNamingAMissingParameterFile", [](Scene& s) {
         return Outcome{{"batch", s.Write("a.list", "2\n" + s.File("absent.params") + "\n" + s.Params() + "\n")}, 1,
                        "cannot open parameter file '" + s.File("absent.params") + "'", 1};
     }},
    {"ListWithAnEmptyLine", [](Scene& s) {
         const std::string list = s.Write("gap.list", "2\n\n" + s.Params() + "\n");
         return Outcome{{"batch", list, "--jobs", "2"}, 1, "list file '" + list + "', line 2: empty line where a parameter file should be named", 1};
     }},
    {"ListCountAbsurd", [](Scene& s) {
         const std::string list = s.Write("huge.list", "2000000000\n" + s.Params() + "\n");
         return Outcome{{"batch", list}, 1, "names 2000000000 parameter files on its first line but lists only 1", 1};
     }},
    {"RepeatWithoutACount", [](Scene& s) { return Outcome{{"repeat", s.Params()}, 2, "please input number of runs!"}; }},
    {"RepeatCountAbsurd", [](Scene& s) {
         const std::string params = Params(s, "-N\n2000000000\n");
         return Outcome{{"repeat", params}, 1,
                        "parameter file '" + params + "': runs \"-N\" must be at most 1000000 (\"-N\" gives 2000000000)"};
     }},
    {"ListedRepeatCountAbsurdTheOthersRun", [](Scene& s) {
         const std::string huge = s.Params("-N\n1000001\n", "huge.params");
         const std::string list = s.Write("runs.list", "2\n" + huge + "\n" + s.Params() + "\n");
         return Outcome{{"batch", list}, 1, "parameter file '" + huge + "': runs \"-N\" must be at most 1000000", 1};
     }},
    {"RepeatCountNegative", [](Scene& s) { return Outcome{{"repeat", Params(s, "-N\n-2\n")}, 2, "please input number of runs!"}; }},
};

// Every file below the folder, with its bytes ("<folder>" for a folder, "<link>" for a link).
void Snapshot(const fs::path& folder, const std::string& prefix, std::map<std::string, std::string>& files)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = prefix + entry.path().filename().string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            files[name] = "<link>";
        } else if (fs::is_directory(status)) {
            files[name] = "<folder>";
            Snapshot(entry.path(), name + "/", files);
        } else {
            files[name] = ReadBytes(entry.path().string());
        }
    }
}

std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    Snapshot(folder, "", files);
    return files;
}

int CountBlocks(const std::string& bytes)
{
    int blocks = 0;
    for (auto at = bytes.find("\r\n*************\r\n"); at != std::string::npos; at = bytes.find("\r\n*************\r\n", at + 1))
        ++blocks;
    return blocks;
}

constexpr std::string_view kWarning = "kalvo: warning: ";

// The lines of stderr that are warnings.
std::vector<std::string> Warnings(const std::string& err)
{
    std::vector<std::string> warnings;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(kWarning))
            warnings.push_back(line);
    return warnings;
}

// The lines of stderr that are messages, not the line announcing each run nor a warning.
std::vector<std::string> Messages(const std::string& err)
{
    std::vector<std::string> messages;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(kWarning))
            continue;
        const bool announcement = line.rfind("kalvo: run ", 0) == 0 && line.find(" of ") != std::string::npos &&
                                  line.find("', seed ") != std::string::npos;
        // A command's usage: its first line, the indented ones below it, and where to read more.
        const bool usage = line.rfind("usage:", 0) == 0 || line.rfind("       ", 0) == 0 ||
                           line.rfind("Try 'kalvo ", 0) == 0;
        if (announcement || usage)
            continue;
        messages.push_back(line);
    }
    return messages;
}

// Test logs name the case rather than dumping its bytes.
void PrintTo(const BadInput& input, std::ostream* os) { *os << input.name; }

class BadInputs : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, OneClearMessageTheRightStatusAndNoFileChangedUnlessARunSucceeded)
{
    Scene scene;
    Outcome expected = GetParam().setup(scene);
    std::vector<std::string> args = expected.args;
    args.insert(args.end(), {"--seed", "1", "--quiet"});
    const auto before = Snapshot(scene.dir.path());

    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCommandLine(args, out, err, false);

    EXPECT_EQ(status, expected.status) << err.str().substr(0, 2000);
    const std::vector<std::string> messages = Messages(err.str());
    if (expected.message.empty()) {
        EXPECT_TRUE(messages.empty()) << err.str().substr(0, 2000);
    } else {
        ASSERT_EQ(messages.size(), 1u) << err.str().substr(0, 2000);
        EXPECT_THAT(messages.front(), HasSubstr(expected.message));
        EXPECT_LT(messages.front().size(), 1000u);
    }
    const std::vector<std::string> warnings = Warnings(err.str());
    if (expected.warning.empty()) {
        EXPECT_TRUE(warnings.empty()) << err.str().substr(0, 2000);
    } else {
        ASSERT_EQ(warnings.size(), 1u) << err.str().substr(0, 2000);
        EXPECT_THAT(warnings.front(), HasSubstr(expected.warning));
        EXPECT_LT(warnings.front().size(), 1000u);
    }
    // "Finished!" ends every batch that got to run, refused runs and all.
    EXPECT_EQ(out.str(), status == 2 ? "" : "Finished!\n");

    auto after = Snapshot(scene.dir.path());
    const std::string report = after["out.txt"];
    EXPECT_TRUE(report.starts_with(kEarlier));
    EXPECT_EQ(CountBlocks(report), expected.blocks);
    EXPECT_EQ(report.find("nan"), std::string::npos);
    if (expected.blocks == 0) {
        EXPECT_EQ(report, kEarlier);
    }
    after["out.txt"] = std::string(kEarlier);
    EXPECT_EQ(before, after) << "a file other than the report changed";
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadInputs, ::testing::ValuesIn(kCatalogue),
                         [](const ::testing::TestParamInfo<BadInput>& input) { return std::string(input.param.name); });

}  // namespace
}  // namespace kalvo
