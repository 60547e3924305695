// sampler/site_step.cpp: the Gibbs-type update of one sequence's sites, and the model estimate it uses.
#include <algorithm>
#include <string>
#include <type_traits>

#include "model/run_state.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

// The word index of the word's letters at a group's columns, first column most significant.
std::size_t GroupKey(const GroupNode& group, std::string_view word)
{
    std::size_t key = 0;
    for (int column : group.positions)
        key = key * 4 + static_cast<std::size_t>(BaseCode(word[static_cast<std::size_t>(column)]));
    return key;
}

std::size_t CellCount(int size) { return static_cast<std::size_t>(1) << (2 * size); }

}  // namespace

void CMotifSampler::PrepareScoringTables()
{
    const auto width = static_cast<std::size_t>(m_width);
    const std::size_t total = m_seqs.TotalResidues();
    m_codes.assign(total, 0);
    m_reverseCodes.assign(total, 0);
    m_slotBlocked.assign(total, 0);
    m_bgForward.assign(total, 0.0);
    m_bgReverse.assign(total, 0.0);

    std::size_t longest = 0;
    for (std::size_t s = 0; s < m_seqs.size(); ++s) {
        const std::string_view sequence = m_seqs[s];
        const std::size_t offset = m_seqs.Start(s);
        longest = std::max(longest, sequence.size());
        for (std::size_t j = 0; j < sequence.size(); ++j) {
            m_codes[offset + j] = static_cast<std::uint8_t>(BaseCode(sequence[j]));
            m_reverseCodes[offset + j] = static_cast<std::uint8_t>(BaseCode(ComplementLetter(sequence[j])));
        }
        if (sequence.size() < width)
            continue;
        const std::size_t starts = sequence.size() - width + 1;
        std::size_t lettersN = static_cast<std::size_t>(std::count(sequence.begin(), sequence.begin() + static_cast<long>(width) - 1, 'N'));
        for (std::size_t i = 0; i < starts; ++i) {
            lettersN += sequence[i + width - 1] == 'N' ? 1 : 0;
            const bool masked = m_maskLowComplexity && !m_mask.empty() && m_mask[offset + i] != 0;
            m_slotBlocked[offset + i] = (lettersN > 0 || masked) ? 1 : 0;
            lettersN -= sequence[i] == 'N' ? 1 : 0;
            // The same products, in the same order, as the background of a site's word.
            const std::uint8_t* forward = &m_codes[offset + i];
            double pForward = m_bgFreq[forward[0]];
            for (std::size_t k = 0; k + 1 < width; ++k)
                pForward *= m_bgTrans[forward[k] * 4u + forward[k + 1]];
            m_bgForward[offset + i] = pForward;
            const std::uint8_t* reverse = &m_reverseCodes[offset + i + width - 1];
            double pReverse = m_bgFreq[reverse[0]];
            for (std::size_t k = 0; k + 1 < width; ++k)
                pReverse *= m_bgTrans[*(reverse - k) * 4u + *(reverse - k - 1)];
            m_bgReverse[offset + i] = pReverse;
        }
    }
    m_slotScore.assign(2 * std::min<std::size_t>(longest, kScoreChunk), 0.0);
    m_freeColumns.reserve(width);
}

void CMotifSampler::PlanColumns()
{
    // The model is fixed for a whole sampling step: note once which columns
    // score on their own, in the order the score multiplies them.
    ColumnOccupancy(m_occupied, nullptr);
    m_freeColumns.clear();
    for (int column = 0; column < m_width; ++column) {
        if (m_occupied[static_cast<std::size_t>(column)] == 0)
            m_freeColumns.push_back(column);
    }
}

void CMotifSampler::ScoreSlots(int s, long long firstPosition, long long positions)
{
    const auto index = static_cast<std::size_t>(s);
    const std::size_t offset = m_seqs.Start(index) + static_cast<std::size_t>(firstPosition);
    const auto width = static_cast<std::size_t>(m_width);
    const auto count = static_cast<std::size_t>(positions);
    const double* prob = m_motifProb.data();
    const std::uint8_t* codes = &m_codes[offset];
    const std::uint8_t* reverseCodes = &m_reverseCodes[offset];
    double* score = m_slotScore.data();

    const double* bgForward = &m_bgForward[offset];
    const double* bgReverse = &m_bgReverse[offset];
    const std::uint8_t* blocked = &m_slotBlocked[offset];
    const int* freeColumns = m_freeColumns.data();
    const std::size_t numFree = m_freeColumns.size();
    const bool bothStrands = m_bothStrands;

    // The cell of a group for the word at position i, forward or reverse.
    auto forwardKey = [&](const GroupNode& group, std::size_t i) {
        std::size_t key = 0;
        for (int column : group.positions)
            key = key * 4 + codes[i + static_cast<std::size_t>(column)];
        return key;
    };
    // Motif column j of the reverse word is the complement of letter W − 1 − j.
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

    // Four start positions at a time: each slot's product is still taken in
    // the order of a single word's score (free columns, then group cells), but
    // eight independent products no longer wait on each other's multiplications.
    // The reverse products are only taken when the other strand is searched.
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
            for (const GroupNode& group : m_groups) {
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
            for (const GroupNode& group : m_groups) {
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

void CMotifSampler::SampleSequence(int s)
{
    RemoveSites(s);
    const auto index = static_cast<std::size_t>(s);
    const long long starts = static_cast<long long>(m_seqs.Length(index)) - m_width + 1;
    long long slots = starts > 0 ? 2 * starts : 0;
    PlanColumns();

    // Slots are scored a stretch at a time, so a very long sequence needs no
    // score buffer of its own length; a stretch is scored again only when a
    // later pass comes back to it.
    long long chunkFirst = 0;
    long long chunkCount = 0;
    auto scoreOf = [&](long long k) {
        const long long position = k / 2;
        if (position < chunkFirst || position >= chunkFirst + chunkCount) {
            chunkFirst = position;
            chunkCount = std::min<long long>(kScoreChunk, starts - position);
            ScoreSlots(s, chunkFirst, chunkCount);
            if (!m_pacer.KeepGoing(chunkCount))
                slots = 0;  // the run is abandoned: every pass ends at this slot
        }
        return m_slotScore[static_cast<std::size_t>(k - 2 * chunkFirst)];
    };

    if (m_oneSitePerSeq) {
        // A slot is chosen with its share of the running total of scores.
        double total = 0.0;
        for (long long k = 0; k < slots; ++k)
            total += scoreOf(k);
        // One draw, even when nothing can be chosen, so the stream keeps its order.
        const double u = m_random.Uniform();
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
        const double u = m_random.Uniform();
        const double q = scoreOf(k) / m_samplingPriorOdds;
        // q/(q + 1) never exceeds q, so a draw at or above q is a rejection
        // without the second division; every decision stays the same.
        if (u >= q)
            continue;
        if (u < q / (q + 1)) {
            AddSite(s, static_cast<int>(k), ++ordinal);
            // The next slot examined starts past this site: sites never overlap.
            k += 2LL * m_width;
        }
    }
}

void CMotifSampler::RemoveSites(int s)
{
    const auto width = static_cast<std::size_t>(m_width);
    auto uncount = [&](const SiteNode& site) {
        --m_numSites;
        for (std::size_t j = 0; j < width; ++j) {
            if (IsBase(site.word[j]))
                --m_counts[j * 4 + static_cast<std::size_t>(BaseCode(site.word[j]))];
        }
        for (GroupNode& group : m_groups)
            --group.counts[GroupKey(group, site.word)];
    };
    const auto index = static_cast<std::size_t>(s);
    if (!m_startSlots.empty() && m_startSlots[index] >= 0) {
        uncount(StartSite(s));
        m_startSlots[index] = -1;
        if (--m_startSitesLeft == 0)
            std::vector<long long>().swap(m_startSlots);
    }
    for (const SiteNode& site : m_sites[index])
        uncount(site);
    ClearSites(s);
    EstimateModel(true);
}

void CMotifSampler::ClearSites(int s) { m_sites[static_cast<std::size_t>(s)].clear(); }

int CMotifSampler::EstimateModel(bool withPseudo)
{
    const int sites = m_width > 0 ? m_counts[0] + m_counts[1] + m_counts[2] + m_counts[3] : 0;
    const std::size_t cells = m_counts.size();
    if (withPseudo) {
        for (std::size_t i = 0; i < cells; ++i)
            m_motifProb[i] = (m_counts[i] + m_pseudo[i % 4]) / (sites + m_pseudoTotal);
    } else {
        for (std::size_t i = 0; i < cells; ++i)
            m_motifProb[i] = m_counts[i] / static_cast<double>(sites);
    }
    for (GroupNode& group : m_groups) {
        const std::size_t groupCells = CellCount(group.size);
        group.probs.resize(groupCells);
        for (std::size_t e = 0; e < groupCells; ++e) {
            group.probs[e] = withPseudo ? (group.counts[e] + 0.25 * m_pseudo[0]) / (sites + m_pseudoTotal)
                                        : group.counts[e] / static_cast<double>(sites);
        }
    }
    return sites;
}

void CMotifSampler::ColumnOccupancy(std::vector<char>& occupied, const GroupNode* except) const
{
    occupied.assign(static_cast<std::size_t>(m_width), 0);
    for (const GroupNode& group : m_groups) {
        if (&group == except)
            continue;
        for (int column : group.positions)
            occupied[static_cast<std::size_t>(column)] = 1;
    }
}

double CMotifSampler::BackgroundProbability(std::string_view word) const
{
    double probability = m_bgFreq[static_cast<std::size_t>(BaseCode(word[0]))];
    for (std::size_t i = 0; i + 1 < word.size(); ++i)
        probability *= m_bgTrans[static_cast<std::size_t>(BaseCode(word[i]) * 4 + BaseCode(word[i + 1]))];
    return probability;
}

double CMotifSampler::ScoreWord(std::string_view word) const
{
    double motif = 1.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(m_width); ++i) {
        // A column inside a group enters through the group's joint cell instead.
        bool grouped = false;
        for (const GroupNode& group : m_groups) {
            for (int column : group.positions)
                grouped = grouped || static_cast<std::size_t>(column) == i;
        }
        if (!grouped)
            motif *= m_motifProb[i * 4 + static_cast<std::size_t>(BaseCode(word[i]))];
    }
    for (const GroupNode& group : m_groups)
        motif *= group.probs[GroupKey(group, word)];
    return motif / BackgroundProbability(word);
}

void CMotifSampler::AddSite(int s, int slot, int ordinal)
{
    const auto index = static_cast<std::size_t>(s);
    SiteNode site;
    site.seqIndex = s;
    site.ordinal = ordinal;
    site.pos = slot / 2;
    site.word = m_seqs[index].substr(static_cast<std::size_t>(site.pos), static_cast<std::size_t>(m_width));
    site.forward = slot % 2 == 0;
    if (!site.forward)
        site.word = ReverseComplement(site.word);
    site.bgProb = BackgroundProbability(site.word);
    ++m_numSites;
    const auto width = static_cast<std::size_t>(m_width);
    for (std::size_t j = 0; j < width; ++j) {
        if (IsBase(site.word[j]))
            ++m_counts[j * 4 + static_cast<std::size_t>(BaseCode(site.word[j]))];
    }
    for (GroupNode& group : m_groups)
        ++group.counts[GroupKey(group, site.word)];
    m_sites[index].push_back(std::move(site));
}

}  // namespace kalvo
