// tests/sampler/long_sequence_test.cpp: a sequence longer than one scored stretch samples as if scored whole.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sampler/run_setup.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

using testing::LoadedRun;
using testing::SetColumnCounts;

// 2.5 stretches of random bases with a few N, so stretch edges fall inside
// the sequence and next to blocked slots.
std::string LongFasta()
{
    std::mt19937 bases(7);
    std::string sequence(static_cast<std::size_t>(CMotifSampler::kScoreChunk * 5 / 2), 'A');
    for (char& letter : sequence)
        letter = "ACGT"[bases() % 4];
    for (std::size_t at : {100u, 16390u, 30000u})
        sequence[at] = 'N';
    return ">long\n" + sequence + "\n";
}

// A motif that prefers TGACA, so scores vary over many orders of magnitude.
void SetPreferences(CMotifSampler& run)
{
    SetColumnCounts(run, 0, {1, 1, 1, 9});
    SetColumnCounts(run, 1, {1, 1, 9, 1});
    SetColumnCounts(run, 2, {9, 1, 1, 1});
    SetColumnCounts(run, 3, {1, 9, 1, 1});
    SetColumnCounts(run, 4, {9, 1, 1, 1});
}

// The slot scores of sequence 0 one word at a time, the plainest way.
std::vector<double> ScoresWordByWord(const CMotifSampler& run)
{
    const std::string sequence(run.m_seqs[0]);
    std::vector<double> scores;
    for (std::size_t i = 0; i + static_cast<std::size_t>(run.m_width) <= sequence.size(); ++i) {
        const std::string word = sequence.substr(i, static_cast<std::size_t>(run.m_width));
        const bool blocked = word.find('N') != std::string::npos;
        scores.push_back(blocked ? 0.0 : run.ScoreWord(word));
        scores.push_back(blocked ? 0.0 : run.ScoreWord(ReverseComplement(word)));
    }
    return scores;
}

std::vector<int> SiteSlots(const CMotifSampler& run)
{
    std::vector<int> slots;
    for (const SiteNode& site : run.m_sites[0])
        slots.push_back(2 * site.pos + (site.forward ? 0 : 1));
    return slots;
}

TEST(LongSequence, ManySiteDrawsMatchScoringTheWholeSequenceAtOnce)
{
    LoadedRun sampled(LongFasta(), "-w\n5\n");
    LoadedRun reference(LongFasta(), "-w\n5\n");
    for (CMotifSampler* run : {&sampled.run, &reference.run}) {
        SetPreferences(*run);
        run->m_samplingPriorOdds = 200.0;
        run->m_random.Seed(99);
    }
    sampled.run.SampleSequence(0);

    reference.run.RemoveSites(0);
    const std::vector<double> scores = ScoresWordByWord(reference.run);
    std::vector<int> expected;
    for (std::size_t k = 0; k < scores.size(); ++k) {
        const double u = reference.run.m_random.Uniform();
        const double q = scores[k] / 200.0;
        if (u < q / (q + 1)) {
            expected.push_back(static_cast<int>(k));
            k += 2 * 5;
        }
    }
    ASSERT_GT(expected.size(), 20u);
    EXPECT_EQ(SiteSlots(sampled.run), expected);
    EXPECT_EQ(sampled.run.m_random.State(), reference.run.m_random.State());
}

TEST(LongSequence, OneSiteDrawMatchesTheWholeSequencesRunningTotal)
{
    for (std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(seed);
        LoadedRun sampled(LongFasta(), "-w\n5\n-e\n");
        LoadedRun reference(LongFasta(), "-w\n5\n-e\n");
        for (CMotifSampler* run : {&sampled.run, &reference.run}) {
            SetPreferences(*run);
            run->m_random.Seed(seed);
        }
        sampled.run.SampleSequence(0);

        reference.run.RemoveSites(0);
        const std::vector<double> scores = ScoresWordByWord(reference.run);
        double total = 0.0;
        for (double score : scores)
            total += score;
        const double u = reference.run.m_random.Uniform();
        double cumulative = 0.0;
        int expected = -1;
        for (std::size_t k = 0; k < scores.size() && expected < 0; ++k) {
            cumulative += scores[k];
            if (u < cumulative / total)
                expected = static_cast<int>(k);
        }
        EXPECT_EQ(SiteSlots(sampled.run), std::vector<int>{expected});
    }
}

}  // namespace
}  // namespace kalvo
