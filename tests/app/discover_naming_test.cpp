// tests/app/discover_naming_test.cpp: `kalvo discover` names its motifs after known ones: in the
// terminal table, summary.json and the page, the same as `kalvo match` on the folder; refusals first.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "cli_invocation.h"
#include "word_motifs.h"
#include "discover/planted_set.h"
#include "temp_files.h"

namespace kalvo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Known motifs of which one, "MA9999.1", is the planted word's core and the others unrelated.
const std::vector<std::pair<std::string, std::string>> kWithPlanted = {
    {"MA9999.1", "TGACGTCA"}, {"K2", "CACGTGAC"}, {"K3", "GGGGCGGGGC"}, {"K4", "TTATCAGT"},
    {"K5", "CCATATATGG"}, {"K6", "AAACCACAGC"}, {"K7", "GATAAG"}, {"K8", "TCTAGAAGTT"}};
const std::vector<std::pair<std::string, std::string>> kWithoutPlanted(kWithPlanted.begin() + 1, kWithPlanted.end());

std::vector<std::string> Discover(const std::string& fasta, const std::string& out, std::vector<std::string> more)
{
    std::vector<std::string> args = {"discover", fasta, "-w", "10", "--restarts", "2", "-n", "100", "--motifs", "1",
                                     "-o", out, "-q", "-j", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(DiscoverNaming, TheMotifIsNamedAfterTheKnownMotifItIsAndMatchOnTheFolderAgrees)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string known = dir.Write("known.jaspar", JasparOf(kWithPlanted));
    const std::string out = (dir.path() / "found").string();
    const Invocation discover = Kalvo(Discover(fasta, out, {"--db", known}));
    ASSERT_EQ(discover.status, 0) << discover.err;
    EXPECT_THAT(discover.out, HasSubstr("known motif"));
    EXPECT_THAT(discover.out, HasSubstr("MA9999.1_factor MA9999.1 q "));
    EXPECT_THAT(discover.out, HasSubstr("Known motif: the best of 8 profiles (" + known + ") at q <= 0.05"));

    const auto summary = nlohmann::json::parse(ReadBytes(out + "/summary.json"));
    EXPECT_EQ(summary["schema"], 4);
    EXPECT_EQ(summary["known_motifs"]["motifs"], 8);
    const auto& motif = summary["motifs"][0];
    ASSERT_FALSE(motif["known_matches"].empty());
    const auto& best = motif["known_matches"][0];
    EXPECT_EQ(best["id"], "MA9999.1");
    EXPECT_LE(best["qvalue"].get<double>(), 0.05);
    EXPECT_EQ(motif["known_match"].get<std::string>().rfind("MA9999.1_factor MA9999.1 q ", 0), 0u);
    // The command it records names the same known motifs.
    EXPECT_THAT(summary["command"].get<std::string>(), HasSubstr("--db " + known));

    // The page aligns the known logo under the motif's, and links a JASPAR id to its page.
    const std::string page = ReadBytes(out + "/index.html");
    EXPECT_THAT(page, HasSubstr("<h3 id=\"known-1\">Known motifs</h3>"));
    EXPECT_THAT(page, HasSubstr("https://jaspar.elixir.no/matrix/MA9999.1/"));

    // `kalvo match` on the folder finds the same best match, at the same offset and strand.
    const Invocation match = Kalvo({"match", out, "--db", known, "--qvalue", "0.05", "--top", "1"});
    ASSERT_EQ(match.status, 0) << match.err;
    EXPECT_THAT(match.out, HasSubstr("\tMA9999.1\tMA9999.1_factor\t\t\t" + std::to_string(best["offset"].get<int>()) +
                                     "\t" + best["strand"].get<std::string>() + "\t"));
}

TEST(DiscoverNaming, AMotifNothingKnownResemblesSaysSoAndNoMatchLeavesTheNamesOut)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string known = dir.Write("known.jaspar", JasparOf(kWithoutPlanted));
    const std::string out = (dir.path() / "found").string();
    const Invocation unnamed = Kalvo(Discover(fasta, out, {"--db", known}));
    ASSERT_EQ(unnamed.status, 0) << unnamed.err;
    EXPECT_THAT(unnamed.out, HasSubstr("no known match"));
    const auto summary = nlohmann::json::parse(ReadBytes(out + "/summary.json"));
    EXPECT_TRUE(summary["motifs"][0]["known_matches"].empty());
    EXPECT_EQ(summary["motifs"][0]["known_match"], "no known match");
    EXPECT_THAT(ReadBytes(out + "/index.html"), HasSubstr("No known motif resembles this one"));

    // --no-match: no column, no section, and the same motifs, sites and E-values.
    const std::string plain = (dir.path() / "plain").string();
    const Invocation off = Kalvo(Discover(fasta, plain, {"--no-match"}));
    ASSERT_EQ(off.status, 0) << off.err;
    EXPECT_THAT(off.out, Not(HasSubstr("known motif")));
    const auto offSummary = nlohmann::json::parse(ReadBytes(plain + "/summary.json"));
    EXPECT_TRUE(offSummary["known_motifs"].is_null());
    EXPECT_TRUE(offSummary["motifs"][0]["known_match"].is_null());
    EXPECT_EQ(offSummary["parameters"]["name_motifs"], false);
    EXPECT_THAT(offSummary["command"].get<std::string>(), HasSubstr("--no-match"));
    EXPECT_EQ(ReadBytes(plain + "/sites.tsv"), ReadBytes(out + "/sites.tsv"));
    EXPECT_EQ(offSummary["motifs"][0]["evalue"], summary["motifs"][0]["evalue"]);
    EXPECT_THAT(ReadBytes(plain + "/index.html"), Not(HasSubstr("Known motifs")));
}

TEST(DiscoverNaming, KnownMotifsThatCannotBeLoadedAreRefusedBeforeAnythingIsWritten)
{
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string empty = dir.Write("empty.meme", "");
    struct Case {
        std::vector<std::string> options;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--db", (dir.path() / "missing.meme").string()}, "missing.meme"},
        {{"--db", empty}, "empty.meme"},
        {{"--taxon", "martians"}, "martians"},
    };
    for (const Case& c : cases) {
        const std::string out = (dir.path() / "never").string();
        const Invocation refused = Kalvo(Discover(fasta, out, c.options));
        EXPECT_EQ(refused.status, 1) << c.message;
        EXPECT_THAT(refused.err, HasSubstr(c.message));
        EXPECT_FALSE(std::filesystem::exists(out)) << c.message;
    }
    const Invocation usage = Kalvo(Discover(fasta, (dir.path() / "never").string(), {"--db", ""}));
    EXPECT_EQ(usage.status, 2);
}

}  // namespace
}  // namespace kalvo::testing
