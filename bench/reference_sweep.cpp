// bench/reference_sweep.cpp: the earlier site step, model estimate, Beta draw and state score, on a run's state.
#include "bench/reference_sweep.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "model/run_state.h"
#include "sampler/beta_sampler.h"
#include "util/append_file.h"
#include "util/sequence_text.h"

namespace kalvo::bench {
namespace {

std::size_t GroupKey(const GroupNode& group, std::string_view word)
{
    std::size_t key = 0;
    for (int column : group.positions)
        key = key * 4 + static_cast<std::size_t>(BaseCode(word[static_cast<std::size_t>(column)]));
    return key;
}

std::size_t CellCount(int size) { return static_cast<std::size_t>(1) << (2 * size); }

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

double DrawBetaVariate(long long a, long long b, RandomStream& random, ProgressPacer* pacer)
{
    const auto& logUniform = LogUniformTable();
    auto sumOfLogs = [&](long long draws) {
        double sum = 0.0;
        for (long long done = 0; done < draws;) {
            const long long block = std::min(draws - done, kDrawsPerBlock);
            for (long long i = 0; i < block; ++i)
                sum += logUniform[static_cast<std::size_t>(random.Next())];
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

// The run's own scoring tables, built as the earlier PrepareScoringTables built them.
class Reference {
public:
    explicit Reference(CMotifSampler& run) : m(run) {}
    Outcome Sample(std::uint32_t seed, const ProgressCallback& progress);

private:
    void PrepareScoringTables();
    void PlanColumns();
    void ScoreSlots(int s, long long firstPosition, long long positions);
    void SampleSequence(int s);
    void RemoveSites(int s);
    int EstimateModel(bool withPseudo);
    double BackgroundProbability(std::string_view word) const;
    double ScoreWord(std::string_view word) const;
    void AddSite(int s, int slot, int ordinal);
    double JointLogLikelihood();

    CMotifSampler& m;
    std::vector<std::uint8_t> m_codes;
    std::vector<std::uint8_t> m_reverseCodes;
    std::vector<std::uint8_t> m_slotBlocked;
    std::vector<double> m_bgForward;
    std::vector<double> m_bgReverse;
    std::vector<double> m_slotScore;
    std::vector<int> m_freeColumns;
    std::vector<char> m_occupied;
};

void Reference::PrepareScoringTables()
{
    const auto width = static_cast<std::size_t>(m.m_width);
    const std::size_t total = m.m_seqs.TotalResidues();
    m_codes.assign(total, 0);
    m_reverseCodes.assign(total, 0);
    m_slotBlocked.assign(total, 0);
    m_bgForward.assign(total, 0.0);
    m_bgReverse.assign(total, 0.0);

    std::size_t longest = 0;
    for (std::size_t s = 0; s < m.m_seqs.size(); ++s) {
        const std::string_view sequence = m.m_seqs[s];
        const std::size_t offset = m.m_seqs.Start(s);
        longest = std::max(longest, sequence.size());
        for (std::size_t j = 0; j < sequence.size(); ++j) {
            m_codes[offset + j] = static_cast<std::uint8_t>(BaseCode(sequence[j]));
            m_reverseCodes[offset + j] = static_cast<std::uint8_t>(BaseCode(ComplementLetter(sequence[j])));
        }
        if (sequence.size() < width)
            continue;
        const std::size_t starts = sequence.size() - width + 1;
        std::size_t lettersN = static_cast<std::size_t>(
            std::count(sequence.begin(), sequence.begin() + static_cast<long>(width) - 1, 'N'));
        for (std::size_t i = 0; i < starts; ++i) {
            lettersN += sequence[i + width - 1] == 'N' ? 1 : 0;
            const bool masked = m.m_maskLowComplexity && !m.m_mask.empty() && m.m_mask[offset + i] != 0;
            m_slotBlocked[offset + i] = (lettersN > 0 || masked) ? 1 : 0;
            lettersN -= sequence[i] == 'N' ? 1 : 0;
            const std::uint8_t* forward = &m_codes[offset + i];
            double pForward = m.m_bgFreq[forward[0]];
            for (std::size_t k = 0; k + 1 < width; ++k)
                pForward *= m.m_bgTrans[forward[k] * 4u + forward[k + 1]];
            m_bgForward[offset + i] = pForward;
            const std::uint8_t* reverse = &m_reverseCodes[offset + i + width - 1];
            double pReverse = m.m_bgFreq[reverse[0]];
            for (std::size_t k = 0; k + 1 < width; ++k)
                pReverse *= m.m_bgTrans[*(reverse - k) * 4u + *(reverse - k - 1)];
            m_bgReverse[offset + i] = pReverse;
        }
    }
    m_slotScore.assign(2 * std::min<std::size_t>(longest, CMotifSampler::kScoreChunk), 0.0);
    m_freeColumns.reserve(width);
}

void Reference::PlanColumns()
{
    m_occupied.assign(static_cast<std::size_t>(m.m_width), 0);
    for (const GroupNode& group : m.m_groups) {
        for (int column : group.positions)
            m_occupied[static_cast<std::size_t>(column)] = 1;
    }
    m_freeColumns.clear();
    for (int column = 0; column < m.m_width; ++column) {
        if (m_occupied[static_cast<std::size_t>(column)] == 0)
            m_freeColumns.push_back(column);
    }
}

void Reference::ScoreSlots(int s, long long firstPosition, long long positions)
{
    const auto index = static_cast<std::size_t>(s);
    const std::size_t offset = m.m_seqs.Start(index) + static_cast<std::size_t>(firstPosition);
    const auto width = static_cast<std::size_t>(m.m_width);
    const auto count = static_cast<std::size_t>(positions);
    const double* prob = m.m_motifProb.data();
    const std::uint8_t* codes = &m_codes[offset];
    const std::uint8_t* reverseCodes = &m_reverseCodes[offset];
    double* score = m_slotScore.data();

    const double* bgForward = &m_bgForward[offset];
    const double* bgReverse = &m_bgReverse[offset];
    const std::uint8_t* blocked = &m_slotBlocked[offset];
    const int* freeColumns = m_freeColumns.data();
    const std::size_t numFree = m_freeColumns.size();
    const bool bothStrands = m.m_bothStrands;

    auto forwardKey = [&](const GroupNode& group, std::size_t i) {
        std::size_t key = 0;
        for (int column : group.positions)
            key = key * 4 + codes[i + static_cast<std::size_t>(column)];
        return key;
    };
    auto reverseKey = [&](const GroupNode& group, std::size_t i) {
        std::size_t key = 0;
        for (int column : group.positions)
            key = key * 4 + reverseCodes[i + width - 1 - static_cast<std::size_t>(column)];
        return key;
    };
    auto store = [&](std::size_t i, double forward, double reverse) {
        if (blocked[i] != 0) {
            score[2 * i] = 0.0;
            score[2 * i + 1] = 0.0;
            return;
        }
        score[2 * i] = forward / bgForward[i];
        score[2 * i + 1] = bothStrands ? reverse / bgReverse[i] : 0.0;
    };

    auto scoreAll = [&](auto searchReverse) {
        constexpr bool kReverse = decltype(searchReverse)::value;
        constexpr std::size_t kBlock = 4;
        std::size_t block = 0;
        for (; block + kBlock <= count; block += kBlock) {
            double f0 = 1.0, f1 = 1.0, f2 = 1.0, f3 = 1.0;
            double r0 = 1.0, r1 = 1.0, r2 = 1.0, r3 = 1.0;
            for (std::size_t j = 0; j < numFree; ++j) {
                const auto column = static_cast<std::size_t>(freeColumns[j]);
                const double* table = prob + column * 4;
                const std::uint8_t* forward = codes + block + column;
                f0 *= table[forward[0]];
                f1 *= table[forward[1]];
                f2 *= table[forward[2]];
                f3 *= table[forward[3]];
                if constexpr (kReverse) {
                    const std::uint8_t* reverse = reverseCodes + (block + width - 1 - column);
                    r0 *= table[reverse[0]];
                    r1 *= table[reverse[1]];
                    r2 *= table[reverse[2]];
                    r3 *= table[reverse[3]];
                }
            }
            for (const GroupNode& group : m.m_groups) {
                const double* cells = group.probs.data();
                f0 *= cells[forwardKey(group, block)];
                f1 *= cells[forwardKey(group, block + 1)];
                f2 *= cells[forwardKey(group, block + 2)];
                f3 *= cells[forwardKey(group, block + 3)];
                if constexpr (kReverse) {
                    r0 *= cells[reverseKey(group, block)];
                    r1 *= cells[reverseKey(group, block + 1)];
                    r2 *= cells[reverseKey(group, block + 2)];
                    r3 *= cells[reverseKey(group, block + 3)];
                }
            }
            store(block, f0, r0);
            store(block + 1, f1, r1);
            store(block + 2, f2, r2);
            store(block + 3, f3, r3);
        }
        for (std::size_t i = block; i < count; ++i) {
            double f = 1.0;
            double r = 1.0;
            for (std::size_t j = 0; j < numFree; ++j) {
                const auto column = static_cast<std::size_t>(freeColumns[j]);
                f *= prob[column * 4 + codes[i + column]];
                if constexpr (kReverse)
                    r *= prob[column * 4 + reverseCodes[i + width - 1 - column]];
            }
            for (const GroupNode& group : m.m_groups) {
                f *= group.probs[forwardKey(group, i)];
                if constexpr (kReverse)
                    r *= group.probs[reverseKey(group, i)];
            }
            store(i, f, r);
        }
    };
    if (bothStrands)
        scoreAll(std::true_type{});
    else
        scoreAll(std::false_type{});
}

void Reference::SampleSequence(int s)
{
    RemoveSites(s);
    const auto index = static_cast<std::size_t>(s);
    const long long starts = static_cast<long long>(m.m_seqs.Length(index)) - m.m_width + 1;
    long long slots = starts > 0 ? 2 * starts : 0;
    PlanColumns();

    long long chunkFirst = 0;
    long long chunkCount = 0;
    auto scoreOf = [&](long long k) {
        const long long position = k / 2;
        if (position < chunkFirst || position >= chunkFirst + chunkCount) {
            chunkFirst = position;
            chunkCount = std::min<long long>(CMotifSampler::kScoreChunk, starts - position);
            ScoreSlots(s, chunkFirst, chunkCount);
            if (!m.m_pacer.KeepGoing(chunkCount))
                slots = 0;
        }
        return m_slotScore[static_cast<std::size_t>(k - 2 * chunkFirst)];
    };

    if (m.m_oneSitePerSeq) {
        double total = 0.0;
        for (long long k = 0; k < slots; ++k)
            total += scoreOf(k);
        const double u = m.m_random.Uniform();
        double cumulative = 0.0;
        for (long long k = 0; k < slots; ++k) {
            cumulative += scoreOf(k);
            if (u < cumulative / total) {
                AddSite(s, static_cast<int>(k), 1);
                break;
            }
        }
        return;
    }

    int ordinal = 0;
    for (long long k = 0; k < slots; ++k) {
        const double u = m.m_random.Uniform();
        const double q = scoreOf(k) / m.m_samplingPriorOdds;
        if (u >= q)
            continue;
        if (u < q / (q + 1)) {
            AddSite(s, static_cast<int>(k), ++ordinal);
            k += 2LL * m.m_width;
        }
    }
}

void Reference::RemoveSites(int s)
{
    const auto width = static_cast<std::size_t>(m.m_width);
    auto uncount = [&](const SiteNode& site) {
        --m.m_numSites;
        for (std::size_t j = 0; j < width; ++j) {
            if (IsBase(site.word[j]))
                --m.m_counts[j * 4 + static_cast<std::size_t>(BaseCode(site.word[j]))];
        }
        for (GroupNode& group : m.m_groups)
            --group.counts[GroupKey(group, site.word)];
    };
    const auto index = static_cast<std::size_t>(s);
    if (!m.m_startSlots.empty() && m.m_startSlots[index] >= 0) {
        uncount(m.StartSite(s));
        m.m_startSlots[index] = -1;
        if (--m.m_startSitesLeft == 0)
            std::vector<long long>().swap(m.m_startSlots);
    }
    for (const SiteNode& site : m.m_sites[index])
        uncount(site);
    m.m_sites[index].clear();
    EstimateModel(true);
}

int Reference::EstimateModel(bool withPseudo)
{
    const int sites = m.m_width > 0 ? m.m_counts[0] + m.m_counts[1] + m.m_counts[2] + m.m_counts[3] : 0;
    const std::size_t cells = m.m_counts.size();
    if (withPseudo) {
        for (std::size_t i = 0; i < cells; ++i)
            m.m_motifProb[i] = (m.m_counts[i] + m.m_pseudo[i % 4]) / (sites + m.m_pseudoTotal);
    } else {
        for (std::size_t i = 0; i < cells; ++i)
            m.m_motifProb[i] = m.m_counts[i] / static_cast<double>(sites);
    }
    for (GroupNode& group : m.m_groups) {
        const std::size_t groupCells = CellCount(group.size);
        group.probs.resize(groupCells);
        for (std::size_t e = 0; e < groupCells; ++e) {
            group.probs[e] = withPseudo ? (group.counts[e] + 0.25 * m.m_pseudo[0]) / (sites + m.m_pseudoTotal)
                                        : group.counts[e] / static_cast<double>(sites);
        }
    }
    return sites;
}

double Reference::BackgroundProbability(std::string_view word) const
{
    double probability = m.m_bgFreq[static_cast<std::size_t>(BaseCode(word[0]))];
    for (std::size_t i = 0; i + 1 < word.size(); ++i)
        probability *= m.m_bgTrans[static_cast<std::size_t>(BaseCode(word[i]) * 4 + BaseCode(word[i + 1]))];
    return probability;
}

double Reference::ScoreWord(std::string_view word) const
{
    double motif = 1.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(m.m_width); ++i) {
        bool grouped = false;
        for (const GroupNode& group : m.m_groups) {
            for (int column : group.positions)
                grouped = grouped || static_cast<std::size_t>(column) == i;
        }
        if (!grouped)
            motif *= m.m_motifProb[i * 4 + static_cast<std::size_t>(BaseCode(word[i]))];
    }
    for (const GroupNode& group : m.m_groups)
        motif *= group.probs[GroupKey(group, word)];
    return motif / BackgroundProbability(word);
}

void Reference::AddSite(int s, int slot, int ordinal)
{
    const auto index = static_cast<std::size_t>(s);
    SiteNode site;
    site.seqIndex = s;
    site.ordinal = ordinal;
    site.pos = slot / 2;
    site.word = m.m_seqs[index].substr(static_cast<std::size_t>(site.pos), static_cast<std::size_t>(m.m_width));
    site.forward = slot % 2 == 0;
    if (!site.forward)
        site.word = ReverseComplement(site.word);
    site.bgProb = BackgroundProbability(site.word);
    ++m.m_numSites;
    const auto width = static_cast<std::size_t>(m.m_width);
    for (std::size_t j = 0; j < width; ++j) {
        if (IsBase(site.word[j]))
            ++m.m_counts[j * 4 + static_cast<std::size_t>(BaseCode(site.word[j]))];
    }
    for (GroupNode& group : m.m_groups)
        ++group.counts[GroupKey(group, site.word)];
    m.m_sites[index].push_back(std::move(site));
}

double Reference::JointLogLikelihood()
{
    m.PlaceStartSites();
    const int sites = EstimateModel(true);
    m.m_numSites = sites;

    double logLik = 0.0;
    int letterPseudo[4];
    for (int b = 0; b < 4; ++b)
        letterPseudo[b] = static_cast<int>(m.m_pseudo[static_cast<std::size_t>(b)] + 0.0001);
    for (int c = 0; c < m.m_width; ++c) {
        for (int b = 0; b < 4; ++b)
            logLik += m.m_logFactorial(m.m_counts[static_cast<std::size_t>(c * 4 + b)] + letterPseudo[b]);
    }
    for (SiteList& siteList : m.m_sites) {
        for (SiteNode& site : siteList) {
            site.motifLogLik = std::log(ScoreWord(site.word));
            logLik -= std::log(site.bgProb);
            if (!m.m_pacer.KeepGoing(1))
                return logLik;
        }
    }
    const int totalPseudo = static_cast<int>(m.m_pseudoTotal + 0.001);
    logLik -= m.m_width * m.m_logFactorial(sites + totalPseudo);

    if (m.m_corrLevel > 1) {
        double groupSum = 0.0;
        int remaining = m.m_width;
        for (const GroupNode& group : m.m_groups) {
            groupSum += group.logBF - std::log(static_cast<double>(CMotifSampler::Binomial(remaining, group.size)));
            remaining -= group.size;
        }
        logLik += groupSum;
    }
    if (m.m_oneSitePerSeq)
        return logLik;

    const auto positions = static_cast<double>(m.CandidatePositions());
    const double q = m.m_priorOdds;
    return logLik - sites * std::log(q) + positions * std::log(q / (q + 1));
}

Outcome Reference::Sample(std::uint32_t seed, const ProgressCallback& progress)
{
    m.m_seed = seed;
    m.m_random.Seed(seed);
    if (auto refusal = m.ReadSequences())
        return refusal;
    if (m.m_backgroundPath != kNoBackgroundFile) {
        if (auto refusal = m.LoadBackground(m.m_backgroundPath))
            return refusal;
    } else {
        m.ComputeBackground();
    }
    if (auto problem = CheckAppendable(m.m_outputPath))
        return Refusal{"cannot write output file '" + m.m_outputPath + "': " + *problem};

    bool seeded = false;
    if (m.m_seedMotif == kNoSeedMotif) {
        m.RandomAlignment();
        m.Recount();
    } else {
        m.SeedMotif(m.m_seedMotif);
        seeded = true;
    }
    if (m.m_maskLowComplexity)
        m.BuildMask();
    PrepareScoringTables();
    const long long positions = m.CandidatePositions();
    const int burnIn = m.m_iterations / 4;
    const Refusal cancelled{"run of '" + m.m_parameterPath + "' cancelled; nothing was written"};

    m.m_pacer.Attach(progress, m.m_iterations);
    struct DetachPacer {
        ProgressPacer& pacer;
        ~DetachPacer() { pacer.Detach(); }
    } detachPacer{m.m_pacer};
    const long long startsScored = positions / (m.m_bothStrands ? 2 : 1);
    const long long scoringsPerIteration = m.m_corrLevel < 2 ? 1 : std::max(m.m_depMoves, 0);
    auto workOfIteration = [&](int t) {
        const long long sites = m.m_numSites + 1LL;
        return startsScored + m.m_numSeqs + (t % 20 == 19 ? sites : 0) + (positions + 2) / kDrawsPerWorkUnit +
               scoringsPerIteration * sites;
    };
    if (!m.m_pacer.BetweenIterations(0, workOfIteration(0)))
        return cancelled;

    for (int t = 0; t < m.m_iterations; ++t) {
        const long long start = m.m_random.Index(m.m_numSeqs);
        for (int i = 0; i < m.m_numSeqs; ++i) {
            SampleSequence(static_cast<int>((start + i) % m.m_numSeqs));
            if (!m.m_pacer.KeepGoing(1))
                return cancelled;
        }
        if (t == 10 && seeded)
            m.Recount();
        if (t % 20 == 19) {
            m.ShiftMove();
            if (!m.m_pacer.KeepGoing(1))
                return cancelled;
        }
        if (!m.m_oneSitePerSeq) {
            const double p = DrawBetaVariate(m.m_numSites + 1LL, positions - m.m_numSites + 1, m.m_random, &m.m_pacer);
            if (m.m_pacer.Abandoned())
                return cancelled;
            m.m_priorOdds = (1 - p) / p;
            m.m_samplingPriorOdds = m.m_priorOdds;
        }
        auto scoreAndKeepBest = [&] {
            const double logLik = JointLogLikelihood();
            if (m.m_pacer.Abandoned())
                return;
            if (t > burnIn && (!m.m_hasBest || logLik > m.m_bestLogLik)) {
                m.m_bestLogLik = logLik;
                m.m_hasBest = true;
                m.SaveBest();
            }
        };
        if (m.m_corrLevel < 2) {
            scoreAndKeepBest();
            if (!m.m_pacer.KeepGoing(1))
                return cancelled;
        } else {
            for (int move = 0; move < m.m_depMoves; ++move) {
                m.CorrelationMove();
                scoreAndKeepBest();
                if (!m.m_pacer.KeepGoing(1))
                    return cancelled;
            }
        }
        if (!m.m_pacer.BetweenIterations(t + 1, workOfIteration(t + 1)))
            return cancelled;
    }
    return std::nullopt;
}

}  // namespace

Outcome ReferenceSample(CMotifSampler& run, std::uint32_t seed, const ProgressCallback& progress)
{
    Reference reference(run);
    return reference.Sample(seed, progress);
}

}  // namespace kalvo::bench
