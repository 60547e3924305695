// tests/discover/discovery_files_test.cpp: the files of a hand-made discovery read back as their users would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "discover/discovery_files.h"
#include "discover/discovery_names.h"
#include "discover/fisher.h"
#include "hand_made_motif.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

RestartRecord Restart(int index, std::uint32_t seed, int motifRank)
{
    const std::string name = "runs/r1-w7-" + std::to_string(index);
    return {1, 7, index, name + ".params", name + ".txt", seed, -120.5, 9, "TGTGACA", -3.25, motifRank};
}

DiscoveredMotif Motif(int rank, const std::string& consensus, double log10E,
                      const std::vector<std::array<int, 4>>& counts)
{
    DiscoveredMotif motif = testing::HandMadeMotif(rank, consensus, log10E, counts);
    motif.model.bgFreq = {0.6, 0.4, 0.4, 0.6};
    motif.source = Restart(2, 77, rank);
    return motif;
}

// Two motifs, the first with a correlated pair and sites on a chr-named target, both strands.
Discovery SmallDiscovery()
{
    Discovery discovery;
    discovery.settings.inputPath = "peaks.fa";
    discovery.settings.widths = {7};
    discovery.settings.programVersion = "9.8.7";
    discovery.settings.seed = 5;
    discovery.targetNames = {"chr1:100-140", "seqB some text"};
    discovery.targetLengths = {40, 30};
    discovery.sampledTargets = discovery.trainingTargets = discovery.testTargets = discovery.controls = 2;
    discovery.controlResidues = 70;
    discovery.controlSource = "shuffled targets (dinucleotides kept)";
    discovery.motifsTested = 16;
    discovery.nextBestLog10EValue = 0.5;

    DiscoveredMotif first = Motif(1, "TGTGACA", -14.5,
                                  {{0, 0, 0, 3}, {0, 0, 3, 0}, {0, 0, 0, 3}, {0, 0, 2, 1}, {3, 0, 0, 0}, {0, 3, 0, 0},
                                   {2, 0, 0, 1}});
    GroupNode pair;
    pair.size = 2;
    pair.positions = {3, 6};
    pair.counts.assign(16, 0);
    pair.counts[2 * 4 + 0] = 2;  // GA
    pair.counts[3 * 4 + 3] = 1;  // TT
    pair.logBF = 2.75;
    first.model.groups = {pair};
    first.sites = {{0, 5, 12, true, 8.0, "TGTGACA", "AACGT", "GGCATTAGCC"},
                   {0, 20, 27, false, 4.0, "TGTTACT", "CCGTAAGTCA", "ACGTTGGCAT"},
                   {1, 3, 10, true, 6.0, "TGTGACA", "CCA", "TTGACCGATT"}};
    DiscoveredMotif second = Motif(2, "CCGGAA", -3.0, std::vector<std::array<int, 4>>(6, {1, 1, 1, 1}));
    second.foundBy = 2;
    second.sites = {{1, 0, 6, true, 5.0, "CCGGAA", "", "TTGCATGACC"}};
    discovery.motifs = {first, second};
    discovery.restarts = {Restart(1, 76, 0), Restart(2, 77, 1), Restart(3, 78, 1)};
    return discovery;
}

TEST(SummaryJson, ParsesWithTheRankedMotifsTheirPairsAndEveryRestart)
{
    const json doc = json::parse(DiscoverySummaryJson(SmallDiscovery()));
    EXPECT_EQ(doc["schema"], 4);
    EXPECT_EQ(doc["version"], "9.8.7");
    EXPECT_EQ(doc["command"], "kalvo discover peaks.fa --widths 7 --motifs 3 --restarts 8 --iterations 500 "
                              "--evalue 0.05 --seed 5");
    EXPECT_TRUE(doc["parameters"]["control"].is_null());
    EXPECT_EQ(doc["targets"], 2);
    EXPECT_EQ(doc["next_best_evalue"], "3.2e+00");
    ASSERT_EQ(doc["motifs"].size(), 2u);
    const json& first = doc["motifs"][0];
    EXPECT_EQ(first["rank"], 1);
    EXPECT_EQ(first["id"], "1-TGTGACA");
    EXPECT_EQ(first["name"], "peaks.rank1");
    EXPECT_EQ(first["evalue"], "3.2e-15");
    EXPECT_EQ(first["log10_evalue"], -14.5);
    EXPECT_EQ(first["sites"], 3);
    EXPECT_EQ(first["matrix_sites"], 3);
    EXPECT_EQ(first["matrix"][3], json::parse("[0, 0, 0.6666666666666666, 0.3333333333333333]"));
    EXPECT_EQ(first["counts"][6], json::parse("[2, 0, 0, 1]"));
    EXPECT_EQ(first["pairs"], json::parse(R"([{"columns": [4, 7], "log_bf": 2.75, "counts": {"GA": 2, "TT": 1}}])"));
    EXPECT_EQ(first["source"]["seed"], 77);
    EXPECT_EQ(first["logo"], "logo-1.svg");
    EXPECT_EQ(doc["motifs"][1]["found_by"], 2);
    ASSERT_EQ(doc["restarts"].size(), 3u);
    EXPECT_TRUE(doc["restarts"][0]["motif"].is_null());
    EXPECT_EQ(doc["restarts"][2]["motif"], 1);
    EXPECT_EQ(doc["restarts"][2]["repeat"], "kalvo run runs/r1-w7-3.params --seed 78");
    EXPECT_EQ(doc["restarts_run_from"], "the output folder");
    // The whole header of a sequence with a site, once, where it says more than the name the tables give it.
    EXPECT_EQ(doc["headers"], json::parse(R"([{"index": 1, "name": "seqB", "header": "seqB some text"}])"));
}

TEST(SummaryJson, TheCommandQuotesPathsForTheShellAndNamesEverySetting)
{
    DiscoverSettings settings;
    settings.inputPath = "my peaks/it's.fa";
    settings.controlPath = "ctrl.fa";
    settings.widths = {8, 12};
    settings.mask = false;
    settings.oneSite = true;
    settings.bothStrands = false;
    EXPECT_EQ(DiscoverCommand(settings), "kalvo discover 'my peaks/it'\\''s.fa' --widths 8,12 --control ctrl.fa "
                                         "--motifs 3 --restarts 8 --iterations 500 --evalue 0.05 --no-mask "
                                         "--one-site --given-strand --seed 1");
}

TEST(SitesFiles, TableHeaderAndLinesAreExactAndNameEachSequenceByItsFirstWord)
{
    Discovery discovery = SmallDiscovery();
    discovery.targetNames[0] = "chr1:100-140\rwith a carriage return";
    discovery.targetNames[1] = "seqB\twith tab";
    const std::vector<std::string> lines = SplitLines(SitesTable(discovery));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "motif\tseq_index\tsequence\tstart\tend\tstrand\tscore\tword");
    EXPECT_EQ(lines[2], "1\t0\tchr1:100-140 with\t20\t27\t-\t4.000\tTGTTACT");  // no line end inside a row
    EXPECT_EQ(lines[3], "1\t1\tseqB\t3\t10\t+\t6.000\tTGTGACA");
    EXPECT_TRUE(lines[4].starts_with("2\t1\t"));
}

TEST(SitesFiles, NamesAreFirstWordsCutToAHundredBytesAndStayDistinct)
{
    const std::string longWord(300, 'w');
    const std::string accents = std::string(97, 'a') + "\xC3\xA9\xC3\xA9";  // é é: two bytes each, past byte 97
    const std::vector<std::string> names =
        SequenceNames({">chr2:5-9 text", "", "> leading blank", longWord + " text", longWord, accents,
                       std::string(98, 'w') + "~5", "plain\ttab"});
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(names[0], "chr2:5-9");
    EXPECT_EQ(names[1], "seq2");  // no first word: named by its number, as sites.bed names it
    EXPECT_EQ(names[2], "seq3");
    EXPECT_EQ(names[3], std::string(98, 'w') + "~4");
    // The same word cut for the fifth sequence would be the seventh's own name: it is cut once more.
    EXPECT_EQ(names[4], std::string(97, 'w') + "~5");
    EXPECT_EQ(names[5], std::string(97, 'a') + "~6");  // never inside a UTF-8 character
    EXPECT_EQ(names[6], std::string(98, 'w') + "~5");
    EXPECT_EQ(names[7], "plain");
    for (const std::string& name : names)
        EXPECT_LE(name.size(), kSequenceNameBytes);
}

TEST(SitesFiles, BedPlacesSitesOfAChromosomeIntervalOnTheGenome)
{
    const std::vector<std::string> bed = SplitLines(SitesBed(SmallDiscovery()));
    ASSERT_EQ(bed.size(), 4u);
    EXPECT_EQ(bed[0], "chr1\t105\t112\t1-TGTGACA\t1000\t+");
    EXPECT_EQ(bed[1], "chr1\t120\t127\t1-TGTGACA\t500\t-");
    EXPECT_EQ(bed[2], "seqB\t3\t10\t1-TGTGACA\t750\t+");
    EXPECT_EQ(bed[3], "seqB\t0\t6\t2-CCGGAA\t1000\t+");  // scaled to its own motif's best site
}

TEST(MatrixFiles, MemeHoldsEveryMotifWithItsIdCalledSitesAndEValue)
{
    const Discovery discovery = SmallDiscovery();
    const std::vector<std::string> lines = SplitLines(DiscoveryMeme(discovery));
    EXPECT_EQ(lines.at(0), "MEME version 4");
    EXPECT_THAT(lines, ::testing::Contains("strands: + -"));
    EXPECT_THAT(lines, ::testing::Contains("A 0.300000 C 0.200000 G 0.200000 T 0.300000"));
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with("MOTIF "))
            continue;
        const DiscoveredMotif& motif = discovery.motifs.at(ids.size());
        std::string keyword, id, altName;
        std::istringstream(lines[i]) >> keyword >> id >> altName;
        ids.push_back(id);
        EXPECT_EQ(altName, "peaks.rank" + std::to_string(motif.rank));
        int width = 0, nsites = 0;
        char evalue[32] = {};
        ASSERT_EQ(std::sscanf(lines.at(i + 2).c_str(), "letter-probability matrix: alength= 4 w= %d nsites= %d E= %31s",
                              &width, &nsites, evalue),
                  3);
        EXPECT_EQ(nsites, static_cast<int>(motif.sites.size()));
        EXPECT_EQ(evalue, FormatEValue(motif.log10EValue));
        ASSERT_EQ(width, motif.width);
        for (int r = 0; r < width; ++r) {
            std::istringstream row(lines.at(i + 3 + static_cast<std::size_t>(r)));
            double sum = 0.0;
            for (double share = 0.0; row >> share;)
                sum += share;
            EXPECT_NEAR(sum, 1.0, 1e-6);
        }
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"1-TGTGACA", "2-CCGGAA"}));
}

TEST(MatrixFiles, IdsWithBlanksOrTakenTwiceBecomeDistinctNames)
{
    Discovery discovery = SmallDiscovery();
    discovery.motifs[0].id = "same id";
    discovery.motifs[1].id = "same_id";
    discovery.motifs.push_back(discovery.motifs[1]);
    discovery.motifs.back().id.clear();
    EXPECT_EQ(DiscoveryMotifIds(discovery), (std::vector<std::string>{"same_id", "same_id-2", "motif-3"}));
    EXPECT_THAT(DiscoveryMeme(discovery), HasSubstr("\nMOTIF same_id-2 peaks.rank2\n"));
}

TEST(MatrixFiles, JasparHasAnIdLineAndFourCountRowsPerMotif)
{
    const std::vector<std::string> lines = SplitLines(DiscoveryJaspar(SmallDiscovery()));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], ">1-TGTGACA peaks.rank1");
    EXPECT_EQ(lines[3], "G [ 0 3 0 2 0 0 0 ]");
    EXPECT_EQ(lines[5], ">2-CCGGAA peaks.rank2");
    EXPECT_EQ(lines[9], "T [ 1 1 1 1 1 1 ]");
}

TEST(TextSummary, ListsEachMotifWithTheRestartsThatFoundIt)
{
    const std::string text = DiscoveryTextSummary(SmallDiscovery(), "peaks.kalvo");
    EXPECT_THAT(text, HasSubstr("\nrank  consensus  width  E-value     sites  found by\n"
                                "   1  TGTGACA        7  3.2e-15         3  6 of 8\n"
                                "   2  CCGGAA         6  1.0e-03         1  2 of 8\n"));
    EXPECT_THAT(text, HasSubstr("cd peaks.kalvo && kalvo run runs/r1-w7-2.params --seed 77"));
    EXPECT_THAT(text, HasSubstr("summary.json"));
    // How the E-values were reached: by the count of motifs tested, or, on a set too small to
    // hold some out, by the null restarts.
    EXPECT_THAT(text, HasSubstr("every form\n          of every restart's motif counts in the E-values"));
    Discovery small = SmallDiscovery();
    small.nullRestarts.push_back(NullRestart{});
    EXPECT_THAT(DiscoveryTextSummary(small, "peaks.kalvo"),
                HasSubstr("the restarts run times the share of null restarts that reach the p-value"));
    for (const std::string& line : SplitLines(text)) {
        EXPECT_LE(line.size(), 80u) << line;
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c <= '~'; })) << line;
    }
}

TEST(TextSummary, SaysSoWhenNoMotifIsSignificant)
{
    Discovery discovery = SmallDiscovery();
    discovery.motifs.clear();
    EXPECT_THAT(DiscoveryTextSummary(discovery, "out"),
                HasSubstr("\nno motif with E-value <= 0.05 (best candidate E = 3.2e+00)\n"));
    discovery.nextBestLog10EValue.reset();
    discovery.motifsTested = 0;
    EXPECT_THAT(DiscoveryTextSummary(discovery, "out"), HasSubstr("(no candidate was tested)"));
    EXPECT_EQ(json::parse(DiscoverySummaryJson(discovery))["motifs"], json::array());
}

TEST(DiscoveryFiles, TheFolderHoldsEveryFileAndTheSameDiscoveryGivesTheSameBytes)
{
    const std::vector<DiscoveryFile> files = ComposeDiscoveryFiles(SmallDiscovery());
    std::vector<std::string> names;
    for (const DiscoveryFile& file : files)
        names.push_back(file.name);
    EXPECT_EQ(names, (std::vector<std::string>{"summary.json", "sites.tsv", "sites.bed", "motifs.meme", "motifs.jaspar",
                                               "logo-1.svg", "logo-1-rc.svg", "logo-2.svg", "logo-2-rc.svg",
                                               "index.html"}));
    EXPECT_NE(files[5].bytes, files[6].bytes);
    const std::vector<DiscoveryFile> again = ComposeDiscoveryFiles(SmallDiscovery());
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(files[i].bytes, again[i].bytes) << files[i].name;
}

}  // namespace
}  // namespace kalvo
