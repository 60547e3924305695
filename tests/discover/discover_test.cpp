// tests/discover/discover_test.cpp: whole discoveries on small sets with and without a planted motif.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "discover/discover.h"
#include "discover/planted_set.h"
#include "temp_files.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::MakeSet;
using testing::TempDir;
using testing::TestSet;

DiscoverSettings QuickSettings(const std::string& input, const std::string& outputDir)
{
    DiscoverSettings settings;
    settings.inputPath = input;
    settings.outputDir = outputDir;
    settings.widths = {10};
    settings.restarts = 3;
    settings.iterations = 120;
    settings.motifs = 2;
    settings.jobs = 2;
    return settings;
}

std::map<std::string, std::string> FolderBytes(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = testing::ReadBytes(entry.path().string());
    return files;
}

TEST(Discover, FindsThePlantedMotifCallsItsSitesAndStops)
{
    const TempDir dir;
    const TestSet set = MakeSet(60, 150, true, 7);
    Discovery discovery;
    const auto refusal = RunDiscovery(QuickSettings(dir.Write("in.fa", set.fasta), (dir.path() / "out").string()),
                                      false, discovery);
    ASSERT_FALSE(refusal) << refusal->message;
    ASSERT_EQ(discovery.motifs.size(), 1u);  // the second round finds nothing more
    const DiscoveredMotif& motif = discovery.motifs[0];
    EXPECT_LE(motif.log10EValue, -5.0);
    EXPECT_GE(motif.foundBy, 2);
    EXPECT_EQ(motif.restartsTried, 3);
    EXPECT_TRUE(motif.consensus.find("GACGTC") != std::string::npos) << motif.consensus;
    int hit = 0;
    for (const auto& [s, at] : set.sites) {
        hit += std::any_of(motif.sites.begin(), motif.sites.end(), [&](const CalledSite& site) {
            return site.seqIndex == s && site.start < at + 10 && at < site.end;
        });
    }
    EXPECT_GE(hit, static_cast<int>(set.sites.size()) * 9 / 10);
    EXPECT_LE(motif.sites.size(), set.sites.size() + 4);
    for (const CalledSite& site : motif.sites)
        EXPECT_GE(site.score, motif.threshold);
    EXPECT_TRUE(discovery.nextBestLog10EValue.has_value());
    EXPECT_EQ(discovery.restarts.size(), 6u);
    EXPECT_GT(discovery.testTargets, 0);
    EXPECT_EQ(discovery.trainingTargets + discovery.testTargets, 60);
    EXPECT_TRUE(discovery.nullRestarts.empty());  // held-out targets need no null restarts
}

TEST(Discover, TrimmingKeepsThePlantedWordWhole)
{
    // A 10-letter word planted whole, searched at width 16: whatever flank columns
    // the reported motif loses, it keeps all of the word, with held-out targets (60) and without (30).
    const std::string word = testing::kPlanted;
    for (const int sequences : {60, 30}) {
        const TempDir dir;
        DiscoverSettings settings =
            QuickSettings(dir.Write("in.fa", MakeSet(sequences, 150, true, 11).fasta), (dir.path() / "out").string());
        settings.widths = {16};
        settings.motifs = 1;
        Discovery discovery;
        const auto refusal = RunDiscovery(settings, false, discovery);
        ASSERT_FALSE(refusal) << refusal->message;
        ASSERT_EQ(discovery.motifs.size(), 1u) << sequences;
        const DiscoveredMotif& motif = discovery.motifs[0];
        EXPECT_GE(motif.width, static_cast<int>(word.size())) << motif.consensus;
        EXPECT_EQ(motif.trimmedLeft + motif.trimmedRight, 16 - motif.width);
        const bool whole = motif.consensus.find(word) != std::string::npos ||
                           motif.consensus.find(ReverseComplement(word)) != std::string::npos;
        EXPECT_TRUE(whole) << sequences << ": " << motif.consensus;
    }
}

TEST(Discover, AGcRichIslandWithoutAMotifGivesNoMotif)
{
    // Long AT-rich sequences, each with a GC-rich island in the middle and no
    // motif: controls shuffled whole spread the island's words over the sequence,
    // and its GC-rich words looked like a motif at E = 1e-17; shuffled in windows they do not.
    std::mt19937 draw(5);
    auto stretch = [&](int length, double gc) {
        std::string letters;
        for (int i = 0; i < length; ++i)
            letters += (draw() % 1000 < gc * 1000) ? "GC"[draw() % 2] : "AT"[draw() % 2];
        return letters;
    };
    std::string fasta;
    for (int s = 0; s < 60; ++s)
        fasta += ">s" + std::to_string(s) + "\n" + stretch(800, 0.35) + stretch(300, 0.72) + stretch(800, 0.35) + "\n";
    const TempDir dir;
    DiscoverSettings settings = QuickSettings(dir.Write("in.fa", fasta), (dir.path() / "out").string());
    settings.widths = {12};
    settings.motifs = 1;
    Discovery discovery;
    const auto refusal = RunDiscovery(settings, false, discovery);
    ASSERT_FALSE(refusal) << refusal->message;
    EXPECT_TRUE(discovery.motifs.empty()) << discovery.motifs.front().consensus;
    EXPECT_TRUE(discovery.lowComplexity.empty()) << discovery.lowComplexity.front().consensus;
}

TEST(Discover, NothingIsSignificantWithoutAMotif)
{
    const TempDir dir;
    Discovery discovery;
    const auto refusal = RunDiscovery(
        QuickSettings(dir.Write("in.fa", MakeSet(60, 150, false, 11).fasta), (dir.path() / "out").string()), false,
        discovery);
    ASSERT_FALSE(refusal) << refusal->message;
    EXPECT_TRUE(discovery.motifs.empty());
    ASSERT_TRUE(discovery.nextBestLog10EValue.has_value());
    EXPECT_GT(*discovery.nextBestLog10EValue, std::log10(0.05));
}

TEST(Discover, SameSeedGivesTheSameBytesWithOneOrTwoJobs)
{
    const TempDir dir;
    const std::string input = dir.Write("in.fa", MakeSet(45, 120, true, 3).fasta);
    DiscoverSettings settings = QuickSettings(input, (dir.path() / "one").string());
    settings.jobs = 1;
    Discovery first;
    ASSERT_FALSE(RunDiscovery(settings, false, first));
    settings.jobs = 2;
    settings.outputDir = (dir.path() / "two").string();
    Discovery second;
    ASSERT_FALSE(RunDiscovery(settings, false, second));
    const auto one = FolderBytes(dir.path() / "one");
    EXPECT_GT(one.size(), 8u);
    EXPECT_EQ(one, FolderBytes(dir.path() / "two"));
}

TEST(Discover, AControlFileTakesThePlaceOfTheShuffles)
{
    const TempDir dir;
    DiscoverSettings settings = QuickSettings(dir.Write("in.fa", MakeSet(60, 150, true, 7).fasta),
                                              (dir.path() / "out").string());
    settings.controlPath = dir.Write("background.fa", MakeSet(80, 150, false, 8).fasta);
    settings.motifs = 1;
    Discovery discovery;
    const auto refusal = RunDiscovery(settings, false, discovery);
    ASSERT_FALSE(refusal) << refusal->message;
    EXPECT_EQ(discovery.controls, 80);
    EXPECT_EQ(discovery.controlSource, *settings.controlPath);
    ASSERT_EQ(discovery.motifs.size(), 1u);
    EXPECT_EQ(discovery.motifs[0].controls, 40);  // the half of the file the threshold was not chosen on
    EXPECT_TRUE(discovery.motifs[0].consensus.find("GACGTC") != std::string::npos);
}

TEST(Discover, RefusesBadInputsAndWritesNothing)
{
    const TempDir dir;
    const std::string good = dir.Write("in.fa", MakeSet(10, 30, false, 1).fasta);
    const std::string out = (dir.path() / "out").string();
    auto refusalOf = [&](DiscoverSettings settings) {
        Discovery discovery;
        const auto refusal = RunDiscovery(settings, false, discovery);
        EXPECT_FALSE(fs::exists(out));
        return refusal ? refusal->message : std::string("(not refused)");
    };
    EXPECT_THAT(refusalOf(QuickSettings(dir.Write("none.fa", "ACGT\nACGT\n"), out)),
                HasSubstr("none.fa' holds no sequence"));
    DiscoverSettings wide = QuickSettings(good, out);
    wide.widths = {12, 31};
    EXPECT_THAT(refusalOf(wide), HasSubstr("motif width 31 is above the length of every sequence"));
    DiscoverSettings control = QuickSettings(good, out);
    control.controlPath = (dir.path() / "missing.fa").string();
    EXPECT_THAT(refusalOf(control), HasSubstr("missing.fa"));
}

TEST(Discover, DefaultFolderIsNamedAfterTheInput)
{
    EXPECT_EQ(DefaultDiscoverOutputDir("data/peaks.fa"), "peaks.kalvo");
    EXPECT_EQ(DefaultDiscoverOutputDir("peaks.fa.gz"), "peaks.kalvo");
    EXPECT_EQ(DefaultDiscoverOutputDir("reads"), "reads.kalvo");
    EXPECT_EQ(DefaultDiscoverOutputDir("-"), "stdin.kalvo");
    EXPECT_EQ(DefaultDiscoverOutputDir("data/"), "sequences.kalvo");
}

}  // namespace
}  // namespace kalvo
