// tests/app/discover_known_section_test.cpp: a discovery's section of the known motifs enriched in its
// sequences: shown in the terminal, summary.json and the page, off with --no-known without changing
// anything else, counted as `kalvo enrich` counts, and never a reason for a discovery to fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "cli_invocation.h"
#include "discover/planted_set.h"
#include "word_motifs.h"
#include "temp_files.h"

namespace kalvo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// "MA9999.1" is the planted word's core; the others are unrelated to it.
const std::vector<std::pair<std::string, std::string>> kKnown = {
    {"MA9999.1", "TGACGTCA"}, {"K2", "CACGTGAC"}, {"K3", "GGGGCGGGGC"}, {"K4", "TTATCAGT"},
    {"K5", "CCATATATGG"}, {"K6", "AAACCACAGC"}, {"K7", "GATAAG"}, {"K8", "TCTAGAAGTT"}};

std::vector<std::string> Discover(const std::string& fasta, const std::string& out, std::vector<std::string> more)
{
    std::vector<std::string> args = {"discover", fasta, "-w", "10", "--restarts", "2", "-n", "100", "--motifs", "1",
                                     "-o", out, "-q", "-j", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

nlohmann::json Summary(const std::string& folder)
{
    return nlohmann::json::parse(ReadBytes(folder + "/summary.json"));
}

// The enrich row of a known motif, by id; null when enrich did not list it.
nlohmann::json RowOf(const nlohmann::json& rows, const std::string& id)
{
    for (const auto& row : rows)
        if (row["id"] == id)
            return row;
    return nullptr;
}

class KnownSection : public ::testing::Test {
protected:
    const TempDir dir;
    const std::string fasta = dir.Write("planted.fa", MakeSet(45, 120, true, 5).fasta);
    const std::string known = dir.Write("known.jaspar", JasparOf(kKnown));
};

TEST_F(KnownSection, APlantedKnownMotifIsListedAndTheMotifNamedAfterItIsMarkedEnriched)
{
    const std::string out = (dir.path() / "found").string();
    const Invocation discover = Kalvo(Discover(fasta, out, {"--db", known}));
    ASSERT_EQ(discover.status, 0) << discover.err;
    EXPECT_THAT(discover.out, HasSubstr("Known motifs in these sequences (8 known motifs tested on all 45 targets"));
    EXPECT_THAT(discover.out, HasSubstr("\n  MA9999.1   MA9999.1_factor"));
    EXPECT_THAT(discover.out, HasSubstr("MA9999.1_factor MA9999.1 q "));
    EXPECT_THAT(discover.out, HasSubstr(" *\n"));
    EXPECT_THAT(discover.out, HasSubstr("*: that known motif is itself enriched in these sequences"));

    const auto summary = Summary(out);
    EXPECT_EQ(summary["schema"], 4);
    const auto& section = summary["known_enrichment"];
    ASSERT_TRUE(section.is_object());
    EXPECT_EQ(section["settings"]["site_p_value"], 1e-4);
    EXPECT_EQ(section["motifs_tested"], 8);
    EXPECT_EQ(section["targets"], 45);
    EXPECT_EQ(section["controls"], summary["controls"]);
    EXPECT_TRUE(section["note"].is_null());
    ASSERT_FALSE(section["rows"].empty());
    const auto& best = section["rows"][0];
    EXPECT_EQ(best["id"], "MA9999.1");
    EXPECT_EQ(best["rank"], 1);
    EXPECT_LE(best["q"].get<double>(), 0.05);
    EXPECT_GT(best["target_share"].get<double>(), 0.5);
    EXPECT_LT(best["control_share"].get<double>(), 0.1);
    for (const auto& row : section["rows"])
        EXPECT_LE(row["q"].get<double>(), 0.05) << row["id"];
    EXPECT_EQ(summary["motifs"][0]["known_matches"][0]["id"], "MA9999.1");
    EXPECT_EQ(summary["motifs"][0]["known_match_enriched"], true);

    const std::string page = ReadBytes(out + "/index.html");
    EXPECT_THAT(page, HasSubstr("<h2>Known motifs in these sequences</h2>"));
    EXPECT_THAT(page, HasSubstr("<a class=\"enriched\" href=\"#known-enriched\""));
    const std::string section_html = page.substr(page.find("<section id=\"known-enriched\">"));
    EXPECT_THAT(section_html, HasSubstr("<a href=\"https://jaspar.elixir.no/matrix/MA9999.1/\">MA9999.1</a>"));
    EXPECT_THAT(section_html, HasSubstr("<div class=\"bar\">"));
    EXPECT_THAT(section_html, HasSubstr("Logo of MA9999.1"));
}

TEST_F(KnownSection, NoKnownLeavesTheSectionOutAndChangesNothingElse)
{
    const std::string with = (dir.path() / "with").string();
    const std::string without = (dir.path() / "without").string();
    const Invocation on = Kalvo(Discover(fasta, with, {"--db", known}));
    const Invocation off = Kalvo(Discover(fasta, without, {"--db", known, "--no-known"}));
    ASSERT_EQ(on.status, 0) << on.err;
    ASSERT_EQ(off.status, 0) << off.err;
    EXPECT_THAT(off.out, Not(HasSubstr("Known motifs in these sequences")));
    EXPECT_THAT(off.out, Not(HasSubstr(" *\n")));
    EXPECT_THAT(ReadBytes(without + "/index.html"), Not(HasSubstr("Known motifs in these sequences")));
    const auto onSummary = Summary(with);
    const auto offSummary = Summary(without);
    EXPECT_TRUE(offSummary["known_enrichment"].is_null());
    EXPECT_EQ(offSummary["motifs"][0]["known_match_enriched"], false);
    EXPECT_THAT(offSummary["command"].get<std::string>(), HasSubstr("--no-known"));
    // The motifs, their E-values, sites and restarts are the same with the section or without.
    EXPECT_EQ(ReadBytes(without + "/sites.tsv"), ReadBytes(with + "/sites.tsv"));
    EXPECT_EQ(ReadBytes(without + "/motifs.meme"), ReadBytes(with + "/motifs.meme"));
    EXPECT_EQ(offSummary["restarts"], onSummary["restarts"]);
    ASSERT_EQ(offSummary["motifs"].size(), onSummary["motifs"].size());
    for (std::size_t m = 0; m < onSummary["motifs"].size(); ++m) {
        EXPECT_EQ(offSummary["motifs"][m]["log10_evalue"], onSummary["motifs"][m]["log10_evalue"]);
        EXPECT_EQ(offSummary["motifs"][m]["known_matches"], onSummary["motifs"][m]["known_matches"]);
    }
    // Without names there is nothing to test either.
    const std::string unnamed = (dir.path() / "unnamed").string();
    ASSERT_EQ(Kalvo(Discover(fasta, unnamed, {"--no-match"})).status, 0);
    EXPECT_TRUE(Summary(unnamed)["known_enrichment"].is_null());
}

// Discover's shuffled controls are enrich's (same seed, same copies), and a control file is read
// alike; on every target, the counts must then be enrich's own, row for row.
TEST_F(KnownSection, CountsAreThoseOfEnrichOnTheSameSetsAndSeed)
{
    const std::string controlFasta = dir.Write("control.fa", MakeSet(60, 120, false, 9).fasta);
    const std::vector<std::vector<std::string>> controlChoices = {{}, {"--control", controlFasta}};
    for (const std::vector<std::string>& control : controlChoices) {
        const std::string out = (dir.path() / ("d" + std::to_string(control.size()))).string();
        const std::string enrichOut = (dir.path() / ("e" + std::to_string(control.size()))).string();
        std::vector<std::string> discoverMore = {"--db", known, "--seed", "7"};
        discoverMore.insert(discoverMore.end(), control.begin(), control.end());
        ASSERT_EQ(Kalvo(Discover(fasta, out, discoverMore)).status, 0);
        std::vector<std::string> enrichArgs = {"enrich", fasta, "--db", known, "--seed", "7", "-o", enrichOut, "-q"};
        enrichArgs.insert(enrichArgs.end(), control.begin(), control.end());
        const Invocation enrich = Kalvo(enrichArgs);
        ASSERT_EQ(enrich.status, 0) << enrich.err;

        const auto section = Summary(out)["known_enrichment"];
        const auto enriched = Summary(enrichOut);
        EXPECT_EQ(section["controls"], enriched["counts"]["controls"]);
        EXPECT_EQ(section["targets"], enriched["counts"]["targets"]);
        EXPECT_EQ(section["motifs_tested"], enriched["counts"]["motifs_tested"]);
        ASSERT_FALSE(section["rows"].empty());
        for (const auto& row : section["rows"]) {
            const auto same = RowOf(enriched["rows"], row["id"]);
            ASSERT_FALSE(same.is_null()) << row["id"];
            for (const char* member : {"targets_with_site", "controls_with_site", "log_odds_threshold", "q", "rank"})
                EXPECT_EQ(row[member], same[member]) << row["id"] << " " << member;
        }
    }
}

TEST_F(KnownSection, WhenNoKnownMotifIsEnrichedOrNoneCanBeCountedTheDiscoveryStillSucceedsAndSaysSo)
{
    const std::vector<std::pair<std::string, std::string>> unrelated(kKnown.begin() + 1, kKnown.end());
    const std::string none = (dir.path() / "none").string();
    const Invocation quiet = Kalvo(Discover(fasta, none, {"--db", dir.Write("unrelated.jaspar", JasparOf(unrelated))}));
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_THAT(quiet.out, HasSubstr("  none is enriched at q <= 0.05\n"));
    EXPECT_TRUE(Summary(none)["known_enrichment"]["rows"].empty());
    EXPECT_THAT(ReadBytes(none + "/index.html"), HasSubstr("No known motif is enriched in these sequences."));

    // A known motif wider than every sequence (120 residues) can have no site anywhere.
    const std::string wide = (dir.path() / "wide").string();
    const std::string wideDb = dir.Write("wide.jaspar", JasparOf({{"W1", std::string(130, 'G')}}));
    const Invocation tooWide = Kalvo(Discover(fasta, wide, {"--db", wideDb}));
    ASSERT_EQ(tooWide.status, 0) << tooWide.err;
    EXPECT_THAT(tooWide.out, HasSubstr("every known motif is wider than every sequence"));
    const auto section = Summary(wide)["known_enrichment"];
    EXPECT_THAT(section["note"].get<std::string>(), HasSubstr("wider than every sequence"));
    EXPECT_TRUE(section["rows"].empty());
    EXPECT_THAT(ReadBytes(wide + "/index.html"), HasSubstr("every known motif is wider than every sequence"));
}

}  // namespace
}  // namespace kalvo::testing
