// tests/discover/masked_input_test.cpp: runs of N (masked repeats, gaps) cost a discovery nothing:
// they are never sampled, shuffled or counted, and sites keep the coordinates of the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "discover/discover.h"
#include "discover/planted_set.h"
#include "discover/scoring_sets.h"
#include "discover/shuffle.h"
#include "discover/usable_stretches.h"
#include "temp_files.h"

namespace kalvo {
namespace {

using testing::MakeSet;
using testing::TempDir;
using testing::TestSet;

constexpr int kPad = 1000;

// The set with every sequence padded with kPad N on each side, or with kPad random letters.
std::string Padded(const std::string& fasta, bool withN, unsigned seed)
{
    std::mt19937 random(seed);
    auto padding = [&] {
        std::string pad(kPad, 'N');
        if (!withN)
            for (char& c : pad)
                c = "ACGT"[random() % 4];
        return pad;
    };
    std::string out;
    std::size_t at = 0;
    while (at < fasta.size()) {
        const std::size_t end = fasta.find('\n', at);
        const std::string line = fasta.substr(at, end - at);
        out += line.starts_with(">") ? line + "\n" : padding() + line + padding() + "\n";
        at = end + 1;
    }
    return out;
}

std::map<char, int> LetterCounts(std::string_view text)
{
    std::map<char, int> counts;
    for (char c : text)
        ++counts[c];
    return counts;
}

TEST(UsableStretches, AreTheStretchesBetweenRunsOfN)
{
    EXPECT_EQ(UsableStretches("ACGT").size(), 1u);
    EXPECT_EQ(UsableStretches("NNNN").size(), 0u);
    const std::vector<Stretch> stretches = UsableStretches("NNACGNNNTTNA");
    ASSERT_EQ(stretches.size(), 3u);
    EXPECT_EQ(stretches[0].start, 2);
    EXPECT_EQ(stretches[0].end, 5);
    EXPECT_EQ(stretches[1].start, 8);
    EXPECT_EQ(stretches[2].Length(), 1);
    EXPECT_EQ(UsableLength("NNACGNNNTTNA"), 6);
    EXPECT_EQ(LongestUsableStretch("NNACGNNNTTNA"), 3);
}

TEST(ShuffleAroundRunsOfN, KeepsTheRunsInPlaceAndShufflesEachStretchAlone)
{
    const std::string plain = "ACGTTGCAAGCTTACGGATC";
    ShuffleRandom a(5), b(5);
    // A sequence without N is shuffled as before, draw for draw.
    EXPECT_EQ(ShuffleAroundRunsOfN(plain, a), ShuffleDinucleotides(plain, b));

    const std::string masked = std::string(30, 'N') + plain + std::string(7, 'N') + plain + "NN";
    ShuffleRandom random(9);
    const std::string shuffled = ShuffleAroundRunsOfN(masked, random);
    ASSERT_EQ(shuffled.size(), masked.size());
    for (std::size_t i = 0; i < masked.size(); ++i)
        EXPECT_EQ(shuffled[i] == 'N', masked[i] == 'N') << i;
    for (const Stretch& stretch : UsableStretches(masked)) {
        const auto start = static_cast<std::size_t>(stretch.start);
        const auto length = static_cast<std::size_t>(stretch.Length());
        EXPECT_EQ(LetterCounts(shuffled.substr(start, length)), LetterCounts(masked.substr(start, length)));
    }
}

TEST(SampledPieces, NeverHoldAnN)
{
    SequenceTexts targets;
    for (int i = 0; i < 50; ++i) {
        targets.names.push_back("s" + std::to_string(i));
        // Long enough between them to be sampled in windows, which must skip the runs of N.
        targets.sequences.push_back(std::string(kPad, 'N') + std::string(10000, "ACGT"[i % 4]) + "NN" +
                                    std::string(40, 'C') + std::string(kPad, 'N'));
    }
    const ScoringSets sets = MakeScoringSets(std::move(targets), {}, false, true, 7);
    long long residues = 0;
    for (const SampledPiece& piece : SampledPieces(sets)) {
        const std::string& sequence = sets.targets.sequences[static_cast<std::size_t>(piece.seqIndex)];
        const std::string text = sequence.substr(static_cast<std::size_t>(piece.start),
                                                 static_cast<std::size_t>(piece.length));
        EXPECT_EQ(text.find('N'), std::string::npos) << piece.seqIndex << ":" << piece.start;
        EXPECT_FALSE(piece.whole);
        EXPECT_LE(piece.length, kSampledWindow);
        residues += piece.length;
    }
    // The budget counts usable residues: about kSampledResidues, however much N there is.
    EXPECT_GT(residues, kSampledResidues * 9 / 10);
    EXPECT_LT(residues, kSampledResidues * 11 / 10);
}

// A planted set padded with long runs of N finds its motif as the same set padded with random
// letters does, and its sites are where they are in the padded sequences.
TEST(MaskedDiscovery, RunsOfNCostNothingAndSitesKeepTheirPlaces)
{
    const TempDir dir;
    int foundWithN = 0;
    int foundWithRandom = 0;
    for (unsigned seed : {3u, 4u}) {
        const TestSet set = MakeSet(60, 150, true, seed);
        for (const bool withN : {true, false}) {
            DiscoverSettings settings;
            settings.inputPath = dir.Write("in" + std::to_string(seed) + std::to_string(withN) + ".fa",
                                           Padded(set.fasta, withN, seed));
            settings.outputDir = (dir.path() / ("out" + std::to_string(seed) + std::to_string(withN))).string();
            settings.widths = {10};
            settings.restarts = 3;
            settings.iterations = 120;
            settings.motifs = 1;
            settings.jobs = 2;
            settings.seed = seed;
            Discovery discovery;
            const auto refusal = RunDiscovery(settings, false, discovery);
            ASSERT_FALSE(refusal) << refusal->message;
            const bool found = !discovery.motifs.empty() &&
                               discovery.motifs[0].consensus.find("GACGTC") != std::string::npos;
            (withN ? foundWithN : foundWithRandom) += found ? 1 : 0;
            if (!withN || !found)
                continue;
            const std::vector<CalledSite>& sites = discovery.motifs[0].sites;
            int placed = 0;
            for (const auto& [s, at] : set.sites)
                placed += std::any_of(sites.begin(), sites.end(), [&, s = s, at = at](const CalledSite& site) {
                    return site.seqIndex == s && site.start == at + kPad;
                });
            EXPECT_GE(placed, static_cast<int>(set.sites.size()) * 9 / 10);
            for (const CalledSite& site : sites)
                EXPECT_EQ(site.word.find('N'), std::string::npos);
            const std::string sampled = testing::ReadBytes(settings.outputDir + "/runs/round1.fa");
            EXPECT_NE(sampled.find(":1000-1150\n"), std::string::npos);
            EXPECT_EQ(sampled.find("NNN"), std::string::npos);
        }
    }
    EXPECT_EQ(foundWithN, 2);
    EXPECT_GE(foundWithN, foundWithRandom);
}

}  // namespace
}  // namespace kalvo
