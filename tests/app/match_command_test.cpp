// tests/app/match_command_test.cpp: `kalvo match` run in-process: its table, thresholds, page and refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_invocation.h"
#include "word_motifs.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::JasparOf;
using testing::Kalvo;
using testing::ReadBytes;
using testing::TempDir;

constexpr const char* kHeader = "query\ttarget_id\ttarget_name\tfamily\tclass\toffset\tstrand\toverlap\tp\tE\tq";

const std::vector<std::pair<std::string, std::string>> kKnown = {
    {"K1", "TGACGTCA"}, {"K2", "CACGTGAC"}, {"K3", "GGGGCGGGGC"}, {"K4", "TTATCAGT"},
    {"K5", "CCATATATGG"}, {"K6", "AAACCACAGC"}, {"K7", "GATAAG"}, {"K8", "TCTAGAAGTT"}};

std::vector<std::vector<std::string>> Rows(const std::string& table)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, '\t'))
            cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

TEST(MatchCommand, ListsTheBestMatchesOfEachMotifUnderAHeaderInFileOrder)
{
    TempDir dir;
    const std::string known = dir.Write("known.jaspar", JasparOf(kKnown));
    // q1 is K6, q2 the reverse complement of K4.
    const std::string queries = dir.Write("queries.jaspar", JasparOf({{"q1", "AAACCACAGC"}, {"q2", "ACTGATAA"}}));
    const auto result = Kalvo({"match", queries, "--db", known, "--top", "2", "-q"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto rows = Rows(result.out);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')), kHeader);
    EXPECT_EQ(rows[1][0], "q1");
    EXPECT_EQ(rows[1][1], "K6");
    EXPECT_EQ(rows[1][2], "K6_factor");
    EXPECT_EQ(rows[1][5], "0");
    EXPECT_EQ(rows[1][6], "+");
    EXPECT_EQ(rows[1][7], "10");
    EXPECT_EQ(rows[2][0], "q1");
    EXPECT_EQ(rows[3][0], "q2");
    EXPECT_EQ(rows[3][1], "K4");
    EXPECT_EQ(rows[3][6], "-");
    EXPECT_LE(std::stod(rows[1][8]), std::stod(rows[2][8]));  // best first
}

TEST(MatchCommand, AQValueThresholdKeepsOnlyConvincingMatches)
{
    TempDir dir;
    const std::string known = dir.Write("known.jaspar", JasparOf(kKnown));
    const std::string queries = dir.Write("q.jaspar", JasparOf({{"q1", "AAACCACAGC"}}));
    const auto loose = Kalvo({"match", queries, "--db", known, "--top", "8", "--evalue", "1e9", "-q"});
    const auto strict = Kalvo({"match", queries, "--db", known, "--top", "8", "--qvalue", "0.01", "-q"});
    ASSERT_EQ(strict.status, 0) << strict.err;
    EXPECT_EQ(Rows(loose.out).size(), 9u);
    const auto rows = Rows(strict.out);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_LT(rows.size(), 9u);
    for (std::size_t k = 1; k < rows.size(); ++k)
        EXPECT_LE(std::stod(rows[k][10]), 0.01);
}

TEST(MatchCommand, WritesTheTableAndAPageOfAlignedLogosToFiles)
{
    TempDir dir;
    const std::string known = dir.Write("known.jaspar", JasparOf(kKnown));
    const std::string queries = dir.Write("q.jaspar", JasparOf({{"q1", "CCACAGC"}, {"none", "NNNNNN"}}));
    const auto result = Kalvo({"match", queries, "--db", known, "-o", dir.File("m.tsv"), "--html",
                               dir.File("m.html"), "--evalue", "0.5", "-q"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(ReadBytes(dir.File("m.tsv")), StartsWith(std::string(kHeader) + "\nq1\tK6\t"));
    const std::string page = ReadBytes(dir.File("m.html"));
    EXPECT_THAT(page, StartsWith("<!DOCTYPE html>"));
    EXPECT_THAT(page, HasSubstr("<svg class=\"logo\""));
    EXPECT_THAT(page, HasSubstr("K6_factor"));
    EXPECT_THAT(page, HasSubstr("No known match within E &le; 0.5."));
    // The target reaches 3 columns left of the query, so the query's logo is shifted right by them.
    EXPECT_THAT(page, HasSubstr("margin-left:58px"));
}

TEST(MatchCommand, TheBundledCollectionNamesACopyOfOneOfItsProfiles)
{
    TempDir dir;
    // MA0139.2 (CTCF), its count rows typed out as a JASPAR matrix.
    const std::string ctcf = dir.Write("ctcf.jaspar", JasparOf({{"ctcf", "TGGCCACCAGGGGGCGC"}}));
    const auto result = Kalvo({"match", ctcf, "--taxon", "vertebrates", "--top", "3", "--qvalue", "0.05"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr("match 1 motif of '" + ctcf + "' against 879 known motifs"));
    EXPECT_THAT(result.out, HasSubstr("\tCTCF\t"));
}

TEST(MatchCommand, RefusesFilesItCannotReadOrWriteNamingThem)
{
    TempDir dir;
    const std::string known = dir.Write("known.jaspar", JasparOf(kKnown));
    const std::string queries = dir.Write("q.jaspar", JasparOf({{"q1", "GATAAG"}}));
    const auto missing = Kalvo({"match", dir.File("absent.meme"), "--db", known});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("absent.meme"));
    const std::string bad = dir.Write("bad.txt", "this is not a motif file\n");
    const auto badDb = Kalvo({"match", queries, "--db", bad});
    EXPECT_EQ(badDb.status, 1);
    EXPECT_THAT(badDb.err, HasSubstr("bad.txt"));
    EXPECT_EQ(badDb.out, "");
    const auto unknownTaxon = Kalvo({"match", queries, "--taxon", "martians", "-q"});
    EXPECT_EQ(unknownTaxon.status, 1);
    EXPECT_THAT(unknownTaxon.err, HasSubstr("martians"));
    // An output whose folder is a file cannot be written; an existing output stays as it was.
    const std::string kept = dir.Write("kept.tsv", "earlier results\n");
    const auto unwritable = Kalvo({"match", queries, "--db", known, "-o", kept + "/m.tsv", "-q"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_THAT(unwritable.err, HasSubstr("kept.tsv"));
    EXPECT_EQ(ReadBytes(kept), "earlier results\n");
}

TEST(MatchCommand, UsageErrorsNameTheOption)
{
    for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"match"}, "kalvo: match needs a motif file"},
             {{"match", "a", "b"}, "kalvo: match takes one motif file, not 2"},
             {{"match", "a", "--top", "0"}, "kalvo: --top takes a whole number from 1 to 100000, not '0'"},
             {{"match", "a", "--qvalue", "2"}, "kalvo: --qvalue takes a number from 0 to 1, not '2'"},
             {{"match", "a", "--evalue", "-1"}, "kalvo: --evalue takes a number above 0, not '-1'"},
             {{"match", "a", "--evalue", "1", "--qvalue", "0.1"}, "kalvo: --evalue and --qvalue cannot be given together"},
             {{"match", "a", "--similarity", "kl"}, "kalvo: --similarity takes pearson-llr, pearson, euclidean"},
             {{"match", "a", "--min-overlap", "0"}, "kalvo: --min-overlap takes a whole number from 1 to 1000"},
             {{"match", "a", "--seed", "3"}, "kalvo: option '--seed' belongs to `kalvo find`, `kalvo discover`, `kalvo enrich` and run, repeat and batch"}}) {
        const auto result = Kalvo(args);
        EXPECT_EQ(result.status, 2) << message;
        EXPECT_THAT(result.err, StartsWith(message));
        EXPECT_THAT(result.err, HasSubstr("usage: kalvo match MOTIFS"));
    }
}

TEST(MatchCommand, HelpListsEveryOptionWithItsDefaultAndEndsWithAnExample)
{
    const auto help = Kalvo({"match", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--db FILE", "--taxon T", "--top N", "(default 5)", "--evalue E", "(default 10)",
                               "--qvalue Q", "--min-overlap K", "--similarity S", "--html FILE", "-o, --output PATH"})
        EXPECT_THAT(help.out, HasSubstr(option));
    EXPECT_THAT(help.out, HasSubstr("Example:\n  kalvo match "));
    EXPECT_THAT(Kalvo({"--help"}).out, HasSubstr("  match    MOTIFS  the known motifs"));
}

}  // namespace
}  // namespace kalvo
