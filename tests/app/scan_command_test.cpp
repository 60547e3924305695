// tests/app/scan_command_test.cpp: `kalvo scan` as a user runs it: motif sources, outputs, refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "cli_invocation.h"
#include "word_motifs.h"
#include "discover/planted_set.h"
#include "temp_files.h"

namespace kalvo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::size_t Rows(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(ScanCommand, ListsTheSitesOfEachMotifTheSameWhateverTheJobsInTheFormatAsked)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string motifs = dir.Write("known.jaspar", JasparOf({{"K1", "TGACGTCA"}, {"K2", "GGGGCGGGGC"}}));
    const Invocation one = Kalvo({"scan", motifs, fasta, "-j", "1"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_THAT(one.out, StartsWith("motif_id\tmotif_name\tsequence\tstart\tend\tstrand\tscore\tp_value\tmatched_word\n"));
    // Two of every three sequences hold TTGACGTCAG, whose core is K1's word on both strands.
    EXPECT_GE(Rows(one.out), 30u);
    EXPECT_THAT(one.out, HasSubstr("K1\tK1_factor\ts0\t"));
    EXPECT_THAT(one.err, HasSubstr("kalvo: scan "));
    EXPECT_EQ(Kalvo({"scan", motifs, fasta, "-j", "3", "-q"}).out, one.out);

    // --motif keeps one; BED counts from 0; -o writes the file whole and prints nothing.
    const std::string bed = (dir.path() / "sites.bed").string();
    const Invocation toFile = Kalvo({"scan", motifs, fasta, "--motif", "k1_FACTOR", "--format", "bed", "-o", bed, "-q"});
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    const std::string written = ReadBytes(bed);
    EXPECT_THAT(written, StartsWith("s0\t"));
    EXPECT_THAT(written, Not(HasSubstr("K2")));
    EXPECT_EQ(Rows(written), Rows(Kalvo({"scan", motifs, fasta, "--motif", "K1", "-q"}).out) - 1);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".kalvo-"))) << "a temporary file was left";
}

TEST(ScanCommand, TheBundledCollectionAndADiscoveryFolderAreMotifSourcesToo)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const Invocation ctcf = Kalvo({"scan", "jaspar", fasta, "--motif", "ctcf", "--pvalue", "0.01", "-q"});
    ASSERT_EQ(ctcf.status, 0) << ctcf.err;
    for (const char* id : {"MA0139.2", "MA1929.2", "MA1930.2"})
        EXPECT_THAT(ctcf.out, HasSubstr(std::string(id) + "\tCTCF\t")) << id;

    const std::string found = (dir.path() / "found").string();
    ASSERT_EQ(Kalvo({"discover", fasta, "-w", "10", "--restarts", "2", "-n", "100", "--motifs", "1", "-o", found, "-q",
                     "--no-match"})
                  .status,
              0);
    const Invocation own = Kalvo({"scan", found, fasta, "-q"});
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_THAT(own.out, HasSubstr("\n1-"));  // the discovery's own motif id
    EXPECT_GE(Rows(own.out), 20u);
}

TEST(ScanCommand, RefusalsSayWhyAndLeaveTheOutputAsItWas)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string motifs = dir.Write("known.jaspar", JasparOf({{"K1", "TGACGTCA"}}));
    const std::string out = dir.Write("sites.tsv", "earlier sites\n");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"scan", motifs, fasta, "--motif", "K9"}, "no motif of '" + motifs + "' has the id or name 'K9'"},
        {{"scan", dir.Write("empty.jaspar", ""), fasta}, "empty.jaspar"},
        {{"scan", (dir.path() / "none.meme").string(), fasta}, "none.meme"},
        {{"scan", motifs, dir.Write("binary.fa", std::string(">s\nAC\0GT\n", 9))}, "NUL byte"},
        {{"scan", motifs, dir.Write("text.fa", "ACGT\n")}, "does not start with a '>' header line"},
        {{"scan", motifs, (dir.path() / "missing.fa").string()}, "missing.fa"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", out});
        const Invocation refused = Kalvo(args);
        EXPECT_EQ(refused.status, 1) << c.message;
        EXPECT_THAT(refused.err, HasSubstr(c.message));
        EXPECT_EQ(ReadBytes(out), "earlier sites\n") << c.message;
    }
    // A motif wider than every sequence is a note, not a failure.
    const Invocation wide = Kalvo({"scan", motifs, dir.Write("short.fa", ">s\nACGT\n"), "-q"});
    EXPECT_EQ(wide.status, 0);
    EXPECT_THAT(wide.err, HasSubstr("motif 'K1' (width 8) is wider than every sequence"));
    // Usage errors.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"scan", motifs}, {"scan", motifs, fasta, "--format", "xml"}, {"scan", motifs, fasta, "--pvalue", "0"},
             {"scan", motifs, fasta, "--qvalue", "2"}}) {
        EXPECT_EQ(Kalvo(args).status, 2) << args.back();
    }
}

TEST(ScanCommand, StandardInputIsScannedAsItComes)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string motifs = dir.Write("known.jaspar", JasparOf({{"K1", "TGACGTCA"}}));
    const std::string command = "'" + std::string(KALVO_PROGRAM) + "' scan '" + motifs + "' - -q < '" + fasta + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(out, Kalvo({"scan", motifs, fasta, "-q"}).out);
}

}  // namespace
}  // namespace kalvo::testing
