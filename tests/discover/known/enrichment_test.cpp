// tests/discover/known/enrichment_test.cpp: known motifs counted in targets and controls, tested and ranked.
#include <gtest/gtest.h>

#include <cmath>

#include "discover/fisher.h"
#include "discover/known/enrichment.h"
#include "discover/shuffle.h"

namespace kalvo {
namespace {

// A sharp motif of a word: 94% its letter in every column.
KnownMotif WordMotif(const std::string& id, const std::string& word)
{
    KnownMotif motif;
    motif.id = id;
    motif.name = id;
    for (char letter : word) {
        std::array<double, 4> column{0.02, 0.02, 0.02, 0.02};
        column[std::string("ACGT").find(letter)] = 0.94;
        motif.shares.push_back(column);
    }
    return motif;
}

std::string RandomSequence(ShuffleRandom& random, int length)
{
    std::string sequence;
    for (int i = 0; i < length; ++i)
        sequence += "ACGT"[random.Below(4)];
    return sequence;
}

// 120 random targets of 150 bp, each second one with `word` planted (on the reverse strand in every
// fourth); 240 random controls.
struct PlantedSets {
    ScanSequences targets;
    ScanSequences controls;
};

PlantedSets Planted(const std::string& word, const std::string& reverseWord)
{
    ShuffleRandom random(7);
    std::vector<std::string> targets;
    std::vector<std::string> controls;
    for (int i = 0; i < 120; ++i) {
        std::string sequence = RandomSequence(random, 150);
        if (i % 2 == 0)
            sequence.replace(60, word.size(), i % 4 == 0 ? reverseWord : word);
        targets.push_back(sequence);
    }
    for (int i = 0; i < 240; ++i)
        controls.push_back(RandomSequence(random, 150));
    return {PrepareScan(targets), PrepareScan(controls)};
}

const std::vector<KnownMotif> kDatabase = {WordMotif("A1", "CACGTGAC"), WordMotif("B2", "TTGCCAAGGA"),
                                           WordMotif("C3", "GATAAGGC"), WordMotif("K4", "CCGGAAGTG"),
                                           WordMotif("E5", "TGACTCAT"), WordMotif("F6", "AATTTGCATA")};

TEST(KnownEnrichment, APlantedMotifComesFirstWithTheCountsOfItsSites)
{
    const PlantedSets sets = Planted("TTGCCAAGGA", "TCCTTGGCAA");
    EnrichSettings settings;
    const EnrichmentResult result = EnrichMotifs(kDatabase, sets.targets, sets.controls, settings, nullptr);
    ASSERT_EQ(result.rows.size(), kDatabase.size());
    const MotifEnrichment& first = result.rows.front();
    EXPECT_EQ(kDatabase[static_cast<std::size_t>(first.motif)].id, "B2");
    EXPECT_GE(first.targetsWithSite, 60) << "every planted site, on either strand, is found";
    EXPECT_LE(first.controlsWithSite, 5);
    EXPECT_LT(first.log10E, -10.0);
    EXPECT_LT(first.q, 1e-10);
    for (std::size_t k = 1; k < result.rows.size(); ++k) {
        EXPECT_LE(result.rows[k - 1].log10P, result.rows[k].log10P) << "best first";
        EXPECT_GT(result.rows[k].q, 0.01) << "nothing else is enriched";
    }
}

TEST(KnownEnrichment, PEAndQFollowFromTheCountsOverTheMotifsTested)
{
    const PlantedSets sets = Planted("GATAAGGC", "GCCTTATC");
    const EnrichmentResult result = EnrichMotifs(kDatabase, sets.targets, sets.controls, EnrichSettings{}, nullptr);
    std::vector<double> p;
    for (const MotifEnrichment& row : result.rows) {
        EXPECT_DOUBLE_EQ(row.log10P, Log10FisherEnrichment(row.targetsWithSite, 120, row.controlsWithSite, 240));
        EXPECT_NEAR(row.log10E, row.log10P + std::log10(6.0), 1e-12);
        p.push_back(std::pow(10.0, row.log10P));
    }
    // Rows are ranked by p, so the Benjamini-Hochberg q of rank r is min over r' >= r of p·n/r'.
    for (std::size_t r = 0; r < p.size(); ++r) {
        double q = 1.0;
        for (std::size_t later = r; later < p.size(); ++later)
            q = std::min(q, p[later] * 6.0 / static_cast<double>(later + 1));
        EXPECT_NEAR(result.rows[r].q, q, 1e-12 * std::max(q, 1e-300));
    }
}

TEST(KnownEnrichment, TheSameResultForAnyNumberOfJobs)
{
    const PlantedSets sets = Planted("CACGTGAC", "GTCACGTG");
    EnrichSettings one;
    EnrichSettings three;
    three.jobs = 3;
    const EnrichmentResult a = EnrichMotifs(kDatabase, sets.targets, sets.controls, one, nullptr);
    const EnrichmentResult b = EnrichMotifs(kDatabase, sets.targets, sets.controls, three, nullptr);
    ASSERT_EQ(a.rows.size(), b.rows.size());
    for (std::size_t k = 0; k < a.rows.size(); ++k) {
        EXPECT_EQ(a.rows[k].motif, b.rows[k].motif);
        EXPECT_EQ(a.rows[k].targetsWithSite, b.rows[k].targetsWithSite);
        EXPECT_EQ(a.rows[k].controlsWithSite, b.rows[k].controlsWithSite);
    }
}

TEST(KnownEnrichment, MotifsWiderThanEverySequenceOrTooShortForThePValueAreNeverCounted)
{
    const PlantedSets sets = Planted("CACGTGAC", "GTCACGTG");
    std::vector<KnownMotif> motifs = kDatabase;
    motifs.push_back(WordMotif("LONG", std::string(160, 'A')));
    motifs.push_back(WordMotif("SHORT", "CA"));
    const EnrichmentResult result = EnrichMotifs(motifs, sets.targets, sets.controls, EnrichSettings{}, nullptr);
    EXPECT_EQ(result.tooWide, 1);
    EXPECT_EQ(result.tooWeak, 1);
    for (const MotifEnrichment& row : result.rows) {
        if (row.motif >= 6) {
            EXPECT_FALSE(row.CanHaveSite());
            EXPECT_EQ(row.targetsWithSite + row.controlsWithSite, 0);
        }
    }
}

}  // namespace
}  // namespace kalvo
