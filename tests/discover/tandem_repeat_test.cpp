// tests/discover/tandem_repeat_test.cpp: short tandem repeats and weak low-complexity motifs are told
// from sites, kept out of the ranked motifs by default, and ranked with --keep-low-complexity.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "discover/discover.h"
#include "discover/discovery_files.h"
#include "discover/tandem_repeats.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// Shares of an AT-rich motif: each column puts 0.55 on its letter of `word`, 0.35 on the other of A and T.
MotifShares AtRichShares(const std::string& word)
{
    MotifShares shares;
    for (char letter : word)
        shares.push_back(letter == 'A' ? std::array<double, 4>{0.55, 0.05, 0.05, 0.35}
                                       : std::array<double, 4>{0.35, 0.05, 0.05, 0.55});
    return shares;
}

// Shares of a motif whose every column puts `top` on the letter of `word`, the rest evenly.
MotifShares SharesOf(const std::string& word, double top)
{
    MotifShares shares;
    for (char letter : word) {
        std::array<double, 4> column{};
        column.fill((1.0 - top) / 3.0);
        column[std::string("ACGT").find(letter)] = top;
        shares.push_back(column);
    }
    return shares;
}

TEST(TandemRepeats, ShortPeriodsWithFewBreaksAreRepeats)
{
    for (const char* word : {"ACACACAC", "ACACACAG", "TATATATATATCTATA", "AAAAAAAA", "CAGCAGCAGCAG"})
        EXPECT_TRUE(IsTandemRepeat(word)) << word;
    for (const char* word : {"AGTGTGACCTCGTTCACATTAA", "AACTATGCGACC", "CCACACCC", "TTGACGTCAG", "GGGGCGGGGC"})
        EXPECT_FALSE(IsTandemRepeat(word)) << word;
    const TandemPeriod period = BestTandemPeriod("CACACACAC");
    EXPECT_EQ(period.period, 2);
    EXPECT_EQ(period.unit, "AC");
    EXPECT_EQ(BestTandemPeriod("TTTTTT").unit, "T");
}

TEST(TandemRepeats, MotifsAreJudgedByConsensusSitesAndStrength)
{
    // A clean repeat by its consensus; a motif whose sites lie in repeats by its sites.
    EXPECT_TRUE(JudgeRepeat("ACACACAG", SharesOf("ACACACAG", 0.9), {}).repeat);
    const std::vector<std::string> inRepeats(6, "TATATATATATATATATATA");
    const RepeatVerdict bySites = JudgeRepeat("AATATCTATACATAG", SharesOf("AATATCTATACATAG", 0.9), inRepeats);
    EXPECT_TRUE(bySites.repeat);
    EXPECT_EQ(bySites.unit, "AT");
    EXPECT_DOUBLE_EQ(bySites.siteShare, 1.0);
    EXPECT_THAT(bySites.reason, HasSubstr("tandem repeats of AT"));
    // Weak and AT-rich, or weak and repetitive: composition, not a site.
    EXPECT_TRUE(JudgeRepeat("ATATATATTTAAATTA", AtRichShares("ATATATATTTAAATTA"), {}).repeat);
    EXPECT_TRUE(JudgeRepeat("GCACACAG", SharesOf("GCACACAG", 0.5), {}).repeat);
    // The same words strongly held are sites (the CACCC box, AT-rich homeobox sites), and so is CRP's.
    EXPECT_FALSE(JudgeRepeat("CCACACCC", SharesOf("CCACACCC", 0.9), {}).repeat);
    EXPECT_FALSE(JudgeRepeat("TAATTA", SharesOf("TAATTA", 0.9), {}).repeat);
    const std::vector<std::string> plainSites(6, "GGATCAGTGTGACCTCGTTCACATTAAGCT");
    EXPECT_FALSE(JudgeRepeat("AGTGTGACCTCGTTCACATTAA", SharesOf("AGTGTGACCTCGTTCACATTAA", 0.6), plainSites).repeat);
}

// Random sequences, two of every three holding a stretch of (AC)n, 24 to 34 residues: a dinucleotide shuffle
// breaks the stretches up, so against it they are a strong motif.
std::string RepeatRichSet(int n, int length, unsigned seed)
{
    std::mt19937 random(seed);
    std::string fasta;
    for (int s = 0; s < n; ++s) {
        std::string sequence;
        for (int i = 0; i < length; ++i)
            sequence += "ACGT"[random() % 4];
        if (s % 3 != 2) {
            // Broken now and then, as old repeats are: a clean one is masked by the restarts anyway.
            const int copies = 12 + static_cast<int>(random() % 6);
            std::string repeat;
            for (int k = 0; k < copies; ++k)
                repeat += "AC";
            for (char& letter : repeat)
                if (random() % 8 == 0)
                    letter = "ACGT"[random() % 4];
            sequence.replace(random() % static_cast<unsigned>(length - 40), repeat.size(), repeat);
        }
        fasta += ">r" + std::to_string(s) + "\n" + sequence + "\n";
    }
    return fasta;
}

TEST(LowComplexityDiscovery, RepeatsAreListedApartAndKeptRankedOnRequest)
{
    const TempDir dir;
    DiscoverSettings settings;
    settings.inputPath = dir.Write("repeats.fa", RepeatRichSet(60, 150, 21));
    settings.widths = {8};
    settings.restarts = 3;
    settings.iterations = 100;
    settings.motifs = 2;
    settings.jobs = 2;
    // The restarts' own low-complexity mask would hide some of the stretches; the judgement comes after it.
    settings.mask = false;

    settings.outputDir = (dir.path() / "out").string();
    Discovery discovery;
    auto refusal = RunDiscovery(settings, false, discovery);
    ASSERT_FALSE(refusal) << refusal->message;
    EXPECT_TRUE(discovery.motifs.empty());
    ASSERT_FALSE(discovery.lowComplexity.empty());
    const LowComplexityMotif& repeat = discovery.lowComplexity.front();
    EXPECT_TRUE(repeat.unit == "AC" || repeat.unit == "GT") << repeat.unit;
    EXPECT_EQ(repeat.round, 1);
    EXPECT_GT(repeat.sites, 0);
    EXPECT_LE(repeat.log10EValue, std::log10(settings.evalueThreshold));
    EXPECT_LE(static_cast<int>(discovery.restarts.size()), settings.motifs * settings.restarts);
    EXPECT_THAT(DiscoverySummaryJson(discovery), HasSubstr("\"low_complexity\": ["));
    EXPECT_THAT(DiscoverySummaryJson(discovery), HasSubstr("\"reason\": \""));
    EXPECT_THAT(DiscoveryTextSummary(discovery, "out"), HasSubstr("Low complexity, not ranked"));
    EXPECT_THAT(testing::ReadBytes(settings.outputDir + "/index.html"), HasSubstr("id=\"low-complexity\""));

    settings.keepLowComplexity = true;
    settings.outputDir = (dir.path() / "kept").string();
    Discovery kept;
    refusal = RunDiscovery(settings, false, kept);
    ASSERT_FALSE(refusal) << refusal->message;
    EXPECT_TRUE(kept.lowComplexity.empty());
    ASSERT_FALSE(kept.motifs.empty());
    EXPECT_TRUE(IsTandemRepeat(kept.motifs.front().consensus)) << kept.motifs.front().consensus;
    EXPECT_THAT(DiscoverySummaryJson(kept), HasSubstr("--keep-low-complexity"));
    EXPECT_THAT(DiscoverySummaryJson(kept), HasSubstr("\"low_complexity\": []"));
}

}  // namespace
}  // namespace kalvo
