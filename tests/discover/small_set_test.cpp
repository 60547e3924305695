// tests/discover/small_set_test.cpp: E-values of sets too small to hold some sequences out: chance
// stays above the threshold, a planted motif does not, and the null restarts are exact runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "discover/discover.h"
#include "discover/discovery_files.h"
#include "discover/planted_set.h"
#include "model/run_state.h"
#include "temp_files.h"
#include "util/random.h"

namespace kalvo {
namespace {

namespace fs = std::filesystem;
using testing::MakeSet;
using testing::ReadBytes;
using testing::TempDir;
using testing::TestSet;

// Two widths, three restarts each, short runs: small and fast.
DiscoverSettings SmallSetSettings(const std::string& input, const std::string& outputDir, std::uint32_t seed)
{
    DiscoverSettings settings;
    settings.inputPath = input;
    settings.outputDir = outputDir;
    settings.widths = {8, 12};
    settings.restarts = 3;
    settings.iterations = 150;
    settings.motifs = 1;
    settings.seed = seed;
    settings.jobs = 2;
    return settings;
}

// The sequences of a FASTA file the discovery wrote, in order.
std::vector<std::string> SequencesOf(const std::string& path)
{
    std::vector<std::string> sequences;
    std::istringstream in(ReadBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '>')
            sequences.emplace_back();
        else if (!sequences.empty())
            sequences.back() += line;
    }
    return sequences;
}

std::map<std::string, int> Dinucleotides(const std::string& sequence)
{
    std::map<std::string, int> counts;
    for (std::size_t i = 0; i + 1 < sequence.size(); ++i)
        ++counts[sequence.substr(i, 2)];
    return counts;
}

// The report block that `kalvo run PARAMS --seed S` appends when run in `folder`; "" when the run is refused.
std::string RepeatedBlock(const fs::path& folder, const std::string& parameterFile, std::uint32_t seed)
{
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    CMotifSampler run;
    std::string block;
    if (!run.LoadParameters(parameterFile) && !run.Sample(seed)) {
        run.InstallBestState();
        block = run.ComposeReport();
    }
    fs::current_path(previous);
    return block;
}

TEST(SmallSets, RandomSequencesGiveNoMotifAtTheDefaultThreshold)
{
    // Random sets of 25 and 30 sequences on which motifs measured on the very
    // sequences they were fitted to reached E = 3.5e-8 to 5.5e-5.
    struct RandomSet {
        int sequences;
        unsigned setSeed;
        std::uint32_t seed;
    };
    for (const RandomSet& set : {RandomSet{25, 104, 4}, RandomSet{25, 107, 7}, RandomSet{30, 108, 8},
                                 RandomSet{30, 117, 17}}) {
        const TempDir dir;
        const DiscoverSettings settings = SmallSetSettings(
            dir.Write("in.fa", MakeSet(set.sequences, 200, false, set.setSeed).fasta), dir.File("out"), set.seed);
        Discovery discovery;
        const auto refusal = RunDiscovery(settings, false, discovery);
        ASSERT_FALSE(refusal) << refusal->message;
        EXPECT_EQ(discovery.testTargets, set.sequences);
        EXPECT_TRUE(discovery.motifs.empty())
            << "set " << set.setSeed << ": " << discovery.motifs.front().consensus << " at log10 E "
            << discovery.motifs.front().log10EValue;
        if (discovery.nextBestLog10EValue) {
            EXPECT_GT(*discovery.nextBestLog10EValue, std::log10(0.05));
        }
    }
}

TEST(SmallSets, APlantedMotifIsStillReportedWithItsSites)
{
    const TempDir dir;
    const TestSet set = MakeSet(24, 150, true, 21);
    Discovery discovery;
    const auto refusal = RunDiscovery(SmallSetSettings(dir.Write("in.fa", set.fasta), dir.File("out"), 1), false,
                                      discovery);
    ASSERT_FALSE(refusal) << refusal->message;
    ASSERT_EQ(discovery.motifs.size(), 1u);
    const DiscoveredMotif& motif = discovery.motifs[0];
    EXPECT_LE(motif.log10EValue, -4.0);
    EXPECT_NE(motif.consensus.find("GACGTC"), std::string::npos) << motif.consensus;
    int hit = 0;
    for (const auto& [s, at] : set.sites) {
        hit += std::any_of(motif.sites.begin(), motif.sites.end(), [&](const CalledSite& site) {
            return site.seqIndex == s && site.start < at + 10 && at < site.end;
        });
    }
    EXPECT_GE(hit, static_cast<int>(set.sites.size()) * 9 / 10);
}

TEST(SmallSets, AMotifOneRestartFoundAloneIsSetAsideNotReported)
{
    // A random set on which one restart's chance motif, measured on the very
    // sequences it was fitted to, reaches E = 0.02; no other restart finds it.
    {
        const TempDir dir;
        DiscoverSettings settings =
            SmallSetSettings(dir.Write("in.fa", MakeSet(20, 200, false, 306).fasta), dir.File("out"), 306);
        Discovery discovery;
        const auto refusal = RunDiscovery(settings, false, discovery);
        ASSERT_FALSE(refusal) << refusal->message;
        EXPECT_TRUE(discovery.motifs.empty()) << discovery.motifs.front().consensus;
        ASSERT_EQ(discovery.setAside.size(), 1u);
        const SetAsideMotif& lone = discovery.setAside[0];
        EXPECT_LE(lone.log10EValue, std::log10(0.05));
        EXPECT_EQ(lone.foundBy, 1);
        EXPECT_EQ(lone.restarts, 6);
        const std::string text = DiscoveryTextSummary(discovery, "out");
        EXPECT_NE(text.find("Set aside: " + lone.consensus), std::string::npos) << text;
        EXPECT_NE(text.find("found by 1 of 6 restarts only"), std::string::npos) << text;
    }
    // At a loose threshold a motif two restarts agree on is reported, the lone ones beside it are not.
    {
        const TempDir dir;
        DiscoverSettings settings =
            SmallSetSettings(dir.Write("in.fa", MakeSet(20, 200, false, 302).fasta), dir.File("out"), 302);
        settings.evalueThreshold = 10.0;
        settings.motifs = 2;
        Discovery discovery;
        const auto refusal = RunDiscovery(settings, false, discovery);
        ASSERT_FALSE(refusal) << refusal->message;
        ASSERT_FALSE(discovery.motifs.empty());
        ASSERT_FALSE(discovery.setAside.empty());
        for (const DiscoveredMotif& motif : discovery.motifs)
            EXPECT_GE(motif.foundBy, 2) << motif.consensus;
    }
}

TEST(SmallSets, NullRestartsAreExactRunsOnShuffledCopiesOfTheTargets)
{
    const TempDir dir;
    const std::string input = dir.Write("in.fa", MakeSet(15, 100, false, 5).fasta);
    DiscoverSettings settings = SmallSetSettings(input, dir.File("out"), 9);
    settings.widths = {8};
    settings.restarts = 2;
    settings.iterations = 60;
    Discovery discovery;
    const auto refusal = RunDiscovery(settings, false, discovery);
    ASSERT_FALSE(refusal) << refusal->message;
    ASSERT_GE(discovery.nullRestarts.size(), 4u);  // at least two null rounds of two restarts
    EXPECT_EQ(discovery.nullRestarts.size() % 2, 0u);

    // The restarts of the rounds keep the seeds they have without null rounds; the null restarts' seeds are others.
    std::set<std::uint32_t> seeds;
    for (std::size_t k = 0; k < discovery.restarts.size(); ++k) {
        EXPECT_EQ(discovery.restarts[k].seed, RunSeed(9, static_cast<std::int64_t>(k)));
        seeds.insert(discovery.restarts[k].seed);
    }
    for (const NullRestart& restart : discovery.nullRestarts)
        EXPECT_TRUE(seeds.insert(restart.record.seed).second) << restart.record.parameterFile;

    // Each null round samples shuffles of the targets that keep every dinucleotide count.
    const std::vector<std::string> targets = SequencesOf(input);
    const int rounds = discovery.nullRestarts.back().record.round;
    for (int round = 1; round <= rounds; ++round) {
        const std::vector<std::string> shuffled =
            SequencesOf(dir.File("out/runs/null" + std::to_string(round) + ".fa"));
        ASSERT_EQ(shuffled.size(), targets.size());
        for (std::size_t i = 0; i < targets.size(); ++i)
            EXPECT_EQ(Dinucleotides(shuffled[i]), Dinucleotides(targets[i])) << round << " " << i;
        EXPECT_NE(shuffled, targets);
    }

    // summary.json lists them as null restarts, and each repeats from its own files in the output folder.
    const auto summary = nlohmann::json::parse(ReadBytes(dir.File("out/summary.json")));
    ASSERT_EQ(summary["null_restarts"].size(), discovery.nullRestarts.size());
    for (const auto& listed : {summary["null_restarts"].front(), summary["null_restarts"].back()}) {
        const std::string reportFile = listed["report_file"].get<std::string>();
        EXPECT_EQ(reportFile.rfind("runs/n", 0), 0u) << reportFile;
        const std::string block = ReadBytes(dir.File("out/" + reportFile));
        ASSERT_FALSE(block.empty());
        EXPECT_EQ(RepeatedBlock(dir.path() / "out", listed["parameter_file"].get<std::string>(),
                                listed["seed"].get<std::uint32_t>()),
                  block);
        EXPECT_LE(listed["log10_pvalue"].get<double>(), 0.0);
    }
}

}  // namespace
}  // namespace kalvo
