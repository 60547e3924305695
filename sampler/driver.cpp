// sampler/driver.cpp: Run, the whole of one sampler run from setup to report.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "model/run_state.h"
#include "sampler/beta_sampler.h"
#include "util/append_file.h"

namespace kalvo {
namespace {

// ln((r + 1)/32768) for every draw r: the Beta draw takes a logarithm per
// candidate position, so it reads them from a table of the same values.
const std::array<double, 32768>& LogUniformTable()
{
    static const std::array<double, 32768> table = [] {
        std::array<double, 32768> values{};
        for (int r = 0; r < 32768; ++r)
            values[static_cast<std::size_t>(r)] = std::log((r + 1) / 32768.0);
        return values;
    }();
    return table;
}

// sum + ln u + ... for the uniforms u of the next `count` draws, added one
// after the other; their states are computed ahead into `states`. Kept out of
// line, so that the sum stays in a register through the additions.
__attribute__((noinline)) double AddLogsOfDraws(double sum, std::size_t count, RandomStream& random,
                                                std::uint32_t* states, const double* logUniform, VectorPath path)
{
    random.PreviewStates(states, count, path);
    for (std::size_t i = 0; i < count; ++i)
        sum += logUniform[static_cast<std::size_t>(RandomStream::DrawOf(states[i]))];
    random.ResumeAt(states[count - 1]);
    return sum;
}

}  // namespace

double CBetaSampler::DrawBetaVariate(long long a, long long b, RandomStream& random, ProgressPacer* pacer) const
{
    const auto& logUniform = LogUniformTable();
    // A sum can take a draw per candidate position of the run, so the pacer
    // hears from it a block at a time. The blocks change neither the draws nor
    // the order of the additions.
    // The states are computed a few dozen ahead (RandomStream::PreviewStates),
    // so only the additions wait on each other, and the next states are
    // computed while the additions of the last ones go on.
    constexpr std::size_t kAhead = 64;
    const VectorPath path = BestVectorPath();
    std::array<std::uint32_t, kAhead> states;
    auto sumOfLogs = [&](long long draws) {
        double sum = 0.0;
        for (long long done = 0; done < draws;) {
            const long long block = std::min(draws - done, kDrawsPerBlock);
            for (long long left = block; left > 0;) {
                const auto count = static_cast<std::size_t>(std::min<long long>(left, kAhead));
                sum = AddLogsOfDraws(sum, count, random, states.data(), logUniform.data(), path);
                left -= static_cast<long long>(count);
            }
            done += block;
            if (pacer && !pacer->KeepGoing(block / kDrawsPerWorkUnit + 1))
                break;
        }
        return sum;
    };
    const double x = sumOfLogs(a);
    const double y = sumOfLogs(b);
    return x / (x + y);
}

Refusal CMotifSampler::Cancelled() const
{
    return Refusal{"run of '" + m_parameterPath + "' cancelled; nothing was written"};
}

Outcome CMotifSampler::Run(std::uint32_t seed, const ProgressCallback& progress)
{
    if (auto refusal = Sample(seed, progress))
        return refusal;
    return WriteReport(m_outputPath);
}

Outcome CMotifSampler::Sample(std::uint32_t seed, const ProgressCallback& progress)
{
    m_seed = seed;
    m_random.Seed(seed);
    if (auto refusal = PrepareSampling())
        return refusal;
    const bool seeded = m_seedMotif != kNoSeedMotif;
    const long long positions = CandidatePositions();
    const int burnIn = m_iterations / 4;

    // The steps count their work as they go (sampler/site_step.cpp and the
    // rest), so one iteration of any size can report and be abandoned. An
    // abandoned step may leave the state half done: the run then ends here
    // with nothing written, and the state is never looked at again.
    m_pacer.Attach(progress, m_iterations);
    struct DetachPacer {
        ProgressPacer& pacer;
        ~DetachPacer() { pacer.Detach(); }
    } detachPacer{m_pacer};
    const long long startsScored = positions / (m_bothStrands ? 2 : 1);
    const long long scoringsPerIteration = m_corrLevel < 2 ? 1 : std::max(m_depMoves, 0);
    // In the units the steps count: scored start positions, sites scored again, blocks of draws.
    auto workOfIteration = [&](int t) {
        const long long sites = m_numSites + 1LL;
        return startsScored + m_numSeqs + (t % 20 == 19 ? sites : 0) + (positions + 2) / kDrawsPerWorkUnit +
               scoringsPerIteration * sites;
    };
    // Report once before the first iteration, so a run can be abandoned even
    // when it has no iterations at all.
    if (!m_pacer.BetweenIterations(0, workOfIteration(0)))
        return Cancelled();

    for (int t = 0; t < m_iterations; ++t) {
        if (!SweepSequences())
            return Cancelled();
        if (t == 10 && seeded)
            Recount();
        if (t % 20 == 19) {
            ShiftMove();
            if (!m_pacer.KeepGoing(1))
                return Cancelled();
        }
        if (!m_oneSitePerSeq && !DrawPriorOdds(positions))
            return Cancelled();
        if (!ScoreIteration(t, burnIn))
            return Cancelled();
        if (!m_pacer.BetweenIterations(t + 1, workOfIteration(t + 1)))
            return Cancelled();
    }
    return std::nullopt;
}

Outcome CMotifSampler::PrepareSampling()
{
    if (auto refusal = ReadSequences())
        return refusal;
    if (m_backgroundPath != kNoBackgroundFile) {
        if (auto refusal = LoadBackground(m_backgroundPath))
            return refusal;
    } else {
        ComputeBackground();
    }
    // Refuse an unwritable output now rather than after the whole run.
    if (auto problem = CheckAppendable(m_outputPath))
        return Refusal{"cannot write output file '" + m_outputPath + "': " + *problem};
    if (m_seedMotif == kNoSeedMotif) {
        RandomAlignment();
        Recount();
    } else {
        SeedMotif(m_seedMotif);
    }
    if (m_maskLowComplexity)
        BuildMask();
    PrepareScoringTables();
    return std::nullopt;
}

bool CMotifSampler::SweepSequences()
{
    const long long start = m_random.Index(m_numSeqs);
    bool modelCurrent = false;  // each sweep starts from a fresh estimate
    for (int i = 0; i < m_numSeqs; ++i) {
        // The sites of the next two sequences, on their way while this one is sampled.
        m_sites[static_cast<std::size_t>((start + i + 2) % m_numSeqs)].PrefetchStorage();
        m_sites[static_cast<std::size_t>((start + i + 1) % m_numSeqs)].PrefetchFirstSite();
        modelCurrent = SampleSequence(static_cast<int>((start + i) % m_numSeqs), modelCurrent);
        if (!m_pacer.KeepGoing(1))
            return false;
    }
    return true;
}

bool CMotifSampler::DrawPriorOdds(long long positions)
{
    const CBetaSampler beta;
    const double p = beta.DrawBetaVariate(m_numSites + 1LL, positions - m_numSites + 1, m_random, &m_pacer);
    if (m_pacer.Abandoned())
        return false;
    m_priorOdds = (1 - p) / p;
    m_samplingPriorOdds = m_priorOdds;
    return true;
}

bool CMotifSampler::ScoreIteration(int t, int burnIn)
{
    if (m_corrLevel < 2) {
        KeepIfBest(t, burnIn);
        return m_pacer.KeepGoing(1);
    }
    for (int move = 0; move < m_depMoves; ++move) {
        CorrelationMove();
        KeepIfBest(t, burnIn);
        if (!m_pacer.KeepGoing(1))
            return false;
    }
    return true;
}

void CMotifSampler::KeepIfBest(int t, int burnIn)
{
    // The site scores only matter in a state that is kept, so only such a state gets them.
    const double logLik = LogLikelihood(false);
    if (m_pacer.Abandoned())
        return;  // abandoned part way: the score covers only some of the sites
    // The first state scored after burn-in is always kept, however low it scores.
    if (t > burnIn && (!m_hasBest || logLik > m_bestLogLik)) {
        m_bestLogLik = logLik;
        m_hasBest = true;
        ScoreSites();
        SaveBest();
    }
}

}  // namespace kalvo
