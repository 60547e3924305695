// tests/app/enrich_command_test.cpp: `kalvo enrich` run in-process: its folder, its refusals, its jobs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli_invocation.h"
#include "word_motifs.h"
#include "discover/enrich_files.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::JasparOf;
using testing::Kalvo;
using testing::ReadBytes;
using testing::TempDir;

const std::vector<std::pair<std::string, std::string>> kKnown = {
    {"MA0001.1", "TGACGTCA"}, {"MA0002.1", "CACGTGAC"}, {"MA0003.1", "GGGGCGGGGC"},
    {"MA0004.1", "TTATCAGT"}, {"MA0005.1", "CCATATATGG"}, {"MA0006.1", "GATAAGGA"}};

// 80 random sequences of 120 bp; with a word, every second one holds it.
std::string Fasta(unsigned seed, const std::string& word = "")
{
    std::mt19937 random(seed);
    std::string text;
    for (int i = 0; i < 80; ++i) {
        std::string sequence;
        for (int k = 0; k < 120; ++k)
            sequence += "ACGT"[random() % 4];
        if (!word.empty() && i % 2 == 0)
            sequence.replace(50, word.size(), word);
        text += ">s" + std::to_string(i) + "\n" + sequence + "\n";
    }
    return text;
}

// What a folder holds, name by name.
std::vector<std::pair<std::string, std::string>> Contents(const std::string& folder)
{
    std::vector<std::pair<std::string, std::string>> contents;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        contents.emplace_back(entry.path().filename().string(), ReadBytes(entry.path().string()));
    std::sort(contents.begin(), contents.end());
    return contents;
}

// Nothing of the refused run is left: no folder, nothing hidden beside it.
void ExpectNothingWritten(const TempDir& dir, const std::vector<std::string>& inputs)
{
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(std::find(inputs.begin(), inputs.end(), name), inputs.end()) << name << " was written";
    }
}

TEST(EnrichCommand, RanksThePlantedMotifFirstInEveryFileOfItsFolder)
{
    TempDir dir;
    const std::string fasta = dir.Write("peaks.fa", Fasta(1, "GATAAGGA"));
    const std::string db = dir.Write("known.jaspar", JasparOf(kKnown));
    const std::string folder = dir.File(DefaultEnrichOutputDir(fasta));
    EXPECT_EQ(folder, dir.File("peaks.enrich"));
    const auto run = Kalvo({"enrich", fasta, "--db", db, "-q", "-o", folder});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string table = ReadBytes(folder + "/enrich.tsv");
    EXPECT_THAT(table, StartsWith("rank\tid\tname\tfamily\tclass\ttargets_with_site\ttarget_share\t"
                                  "controls_with_site\tcontrol_share\tlog_odds_threshold\tp\tE\tq\n1\tMA0006.1\t"));
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 7) << "a header and every motif tested";
    EXPECT_THAT(ReadBytes(folder + "/summary.json"), HasSubstr("\"program\": \"kalvo enrich\""));
    const std::string page = ReadBytes(folder + "/index.html");
    EXPECT_THAT(page, HasSubstr("https://jaspar.elixir.no/matrix/MA0006.1/"));
    EXPECT_THAT(page, HasSubstr("<svg"));
    EXPECT_THAT(run.out, HasSubstr("   1  MA0006.1"));
    EXPECT_THAT(run.out, HasSubstr(folder));
}

TEST(EnrichCommand, WritesTheSameFilesForOneJobAndForTwo)
{
    TempDir dir;
    const std::string fasta = dir.Write("peaks.fa", Fasta(2, "CACGTGAC"));
    const std::string db = dir.Write("known.jaspar", JasparOf(kKnown));
    ASSERT_EQ(Kalvo({"enrich", fasta, "--db", db, "-q", "-j", "1", "-o", dir.File("one")}).status, 0);
    ASSERT_EQ(Kalvo({"enrich", fasta, "--db", db, "-q", "-j", "2", "-o", dir.File("two")}).status, 0);
    EXPECT_EQ(Contents(dir.File("one")), Contents(dir.File("two")));
}

TEST(EnrichCommand, CutsTheRowsByTopAndByQValue)
{
    TempDir dir;
    const std::string fasta = dir.Write("peaks.fa", Fasta(3, "TGACGTCA"));
    const std::string db = dir.Write("known.jaspar", JasparOf(kKnown));
    ASSERT_EQ(Kalvo({"enrich", fasta, "--db", db, "-q", "--top", "2", "-o", dir.File("top")}).status, 0);
    const std::string top = ReadBytes(dir.File("top") + "/enrich.tsv");
    EXPECT_EQ(std::count(top.begin(), top.end(), '\n'), 3);
    ASSERT_EQ(Kalvo({"enrich", fasta, "--db", db, "-q", "--qvalue", "0.01", "-o", dir.File("q")}).status, 0);
    const std::string q = ReadBytes(dir.File("q") + "/enrich.tsv");
    EXPECT_EQ(std::count(q.begin(), q.end(), '\n'), 2) << q;
}

TEST(EnrichCommand, RefusesAnEmptyControlAndWritesNothing)
{
    TempDir dir;
    const std::string fasta = dir.Write("peaks.fa", Fasta(4));
    const std::string control = dir.Write("empty.fa", "");
    const std::string db = dir.Write("known.jaspar", JasparOf(kKnown));
    const auto run = Kalvo({"enrich", fasta, "--control", control, "--db", db, "-q"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("empty.fa"));
    ExpectNothingWritten(dir, {"peaks.fa", "empty.fa", "known.jaspar"});
}

TEST(EnrichCommand, RefusesADatabaseWithoutAMotifAndWritesNothing)
{
    TempDir dir;
    const std::string fasta = dir.Write("peaks.fa", Fasta(5));
    const std::string db = dir.Write("none.meme", "MEME version 4\n\nALPHABET= ACGT\n");
    const auto run = Kalvo({"enrich", fasta, "--db", db, "-q"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("none.meme"));
    ExpectNothingWritten(dir, {"peaks.fa", "none.meme"});
}

TEST(EnrichCommand, RefusesMotifsWiderThanEverySequenceAndWritesNothing)
{
    TempDir dir;
    const std::string fasta = dir.Write("short.fa", ">a\nACGTAC\n>b\nTTGA\n");
    const std::string db = dir.Write("known.jaspar", JasparOf(kKnown));
    const auto run = Kalvo({"enrich", fasta, "--db", db, "-q"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("wider than every sequence"));
    ExpectNothingWritten(dir, {"short.fa", "known.jaspar"});
}

TEST(EnrichCommand, BadOptionValuesAreUsageErrors)
{
    TempDir dir;
    const std::string fasta = dir.Write("peaks.fa", Fasta(6));
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"enrich", fasta, "--pvalue", "0"}, {"enrich", fasta, "--pvalue", "1"},
          {"enrich", fasta, "--qvalue", "2"}, {"enrich", fasta, "--top", "0"}, {"enrich"},
          {"enrich", fasta, "--widths", "8"}}) {
        const auto run = Kalvo(words);
        EXPECT_EQ(run.status, 2) << words.back();
        EXPECT_THAT(run.err, HasSubstr("usage: kalvo enrich FASTA"));
    }
    ExpectNothingWritten(dir, {"peaks.fa"});
    const auto help = Kalvo({"enrich", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("--pvalue P"));
}

}  // namespace
}  // namespace kalvo
