// sampler/site_step.cpp: the Gibbs-type update of one sequence's sites, and the model estimate it uses.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/run_state.h"
#include "sampler/slot_scores.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

// Per byte: its letter code when it is A, C, G or T, and -1 for any other
// character, which counts in no column (BaseCode and IsBase in one look-up).
constexpr std::array<std::int8_t, 256> kCountedCode = [] {
    std::array<std::int8_t, 256> codes{};
    codes.fill(-1);
    codes['A'] = 0;
    codes['C'] = 1;
    codes['G'] = 2;
    codes['T'] = 3;
    return codes;
}();

int CountedCode(char letter) { return kCountedCode[static_cast<unsigned char>(letter)]; }

// The word index of the word's letters at a group's columns, first column most
// significant; other letters count as A, as BaseCode has it.
std::size_t GroupKey(const GroupNode& group, std::string_view word)
{
    std::size_t key = 0;
    for (int column : group.positions)
        key = key * 4 + static_cast<std::size_t>(std::max(CountedCode(word[static_cast<std::size_t>(column)]), 0));
    return key;
}

// Adds `change` to the count of each A, C, G and T of the word in its column.
void CountWord(std::vector<int>& counts, std::string_view word, int change)
{
    for (std::size_t j = 0; j < word.size(); ++j) {
        const int code = CountedCode(word[j]);
        counts[j * 4 + static_cast<std::size_t>(code & 3)] += code >= 0 ? change : 0;
    }
}

std::size_t CellCount(int size) { return static_cast<std::size_t>(1) << (2 * size); }

// probabilities[i] = (counts[i] + pseudo[i % 4]) / denominator: the model
// estimate of every sampling step, a division per cell, so vectorised.
inline __attribute__((always_inline)) void DivideCountsBody(const int* counts, const double* pseudo, double denominator,
                                                            double* probabilities, std::size_t cells)
{
    std::size_t i = 0;
    for (; i + 4 <= cells; i += 4) {
        for (std::size_t b = 0; b < 4; ++b)
            probabilities[i + b] = (counts[i + b] + pseudo[b]) / denominator;
    }
    for (; i < cells; ++i)
        probabilities[i] = (counts[i] + pseudo[i % 4]) / denominator;
}

void DivideCountsPortable(const int* counts, const double* pseudo, double denominator, double* probabilities,
                          std::size_t cells)
{
    DivideCountsBody(counts, pseudo, denominator, probabilities, cells);
}

#ifdef KALVO_AVX2_PATHS
__attribute__((target("avx2"))) void DivideCountsAvx2(const int* counts, const double* pseudo, double denominator,
                                                      double* probabilities, std::size_t cells)
{
    DivideCountsBody(counts, pseudo, denominator, probabilities, cells);
}

__attribute__((target("avx512f"))) void DivideCountsAvx512(const int* counts, const double* pseudo,
                                                           double denominator, double* probabilities,
                                                           std::size_t cells)
{
    DivideCountsBody(counts, pseudo, denominator, probabilities, cells);
}
#endif

void DivideCounts(const int* counts, const double* pseudo, double denominator, double* probabilities,
                  std::size_t cells, VectorPath path)
{
#ifdef KALVO_AVX2_PATHS
    if (path == VectorPath::Avx512) {
        DivideCountsAvx512(counts, pseudo, denominator, probabilities, cells);
        return;
    }
    if (path == VectorPath::Avx2) {
        DivideCountsAvx2(counts, pseudo, denominator, probabilities, cells);
        return;
    }
#endif
    (void)path;
    DivideCountsPortable(counts, pseudo, denominator, probabilities, cells);
}

}  // namespace

void CMotifSampler::PrepareScoringTables()
{
    const auto width = static_cast<std::size_t>(m_width);
    const std::size_t total = m_seqs.TotalResidues();
    m_codes.assign(total + kSlotTablePadding, 0);
    m_reverseCodes.assign(total + kSlotTablePadding, 0);
    m_slotBlocked.assign(total + kSlotTablePadding, 0);
    // The one-site draw divides every slot by its background; the many-site
    // draw needs only an approximation for its thresholds, and takes the
    // exact product again for the few slots it decides exactly.
    const std::size_t exactEntries = m_oneSitePerSeq ? total + kSlotTablePadding : 0;
    const std::size_t approxEntries = m_oneSitePerSeq ? 0 : total + kSlotTablePadding;
    m_bgForward.assign(exactEntries, 0.0);
    m_bgReverse.assign(exactEntries, 0.0);
    m_bgForwardApprox.assign(approxEntries, 0.0f);
    m_bgReverseApprox.assign(approxEntries, 0.0f);
    m_bgScaleExponent = BackgroundScaleExponent();

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
            const double pForward = StartBackground(offset + i, true);
            const double pReverse = StartBackground(offset + i, false);
            if (m_oneSitePerSeq) {
                m_bgForward[offset + i] = pForward;
                m_bgReverse[offset + i] = pReverse;
            } else {
                m_bgForwardApprox[offset + i] = ApproximateBackground(pForward, m_bgScaleExponent);
                m_bgReverseApprox[offset + i] = ApproximateBackground(pReverse, m_bgScaleExponent);
            }
        }
    }
    const std::size_t stretch = std::min<std::size_t>(longest, kScoreChunk);
    m_slotScore.assign(2 * stretch + kSlotOutputPadding, 0.0);
    m_slotThreshold.assign(m_oneSitePerSeq ? 0 : 2 * stretch + kSlotOutputPadding, 0.0);
    m_vectorPath = BestVectorPath();
    m_spreadCodes.assign(m_vectorPath == VectorPath::Avx2 ? SlotScratchSize(stretch, m_width) : 0, 0);
    m_slotTotals.assign(m_oneSitePerSeq ? (2 * stretch + 7) / 8 : 0, 0.0);
    m_stretchTotals.assign((longest + kScoreChunk - 1) / kScoreChunk, 0.0);
    m_freeColumns.reserve(width);
}

double CMotifSampler::StartBackground(std::size_t start, bool forward) const
{
    // The same products, in the same order, as the background of a site's word.
    const auto width = static_cast<std::size_t>(m_width);
    if (forward) {
        const std::uint8_t* codes = &m_codes[start];
        double p = m_bgFreq[codes[0]];
        for (std::size_t k = 0; k + 1 < width; ++k)
            p *= m_bgTrans[codes[k] * 4u + codes[k + 1]];
        return p;
    }
    const std::uint8_t* reverse = &m_reverseCodes[start + width - 1];
    double p = m_bgFreq[reverse[0]];
    for (std::size_t k = 0; k + 1 < width; ++k)
        p *= m_bgTrans[*(reverse - k) * 4u + *(reverse - k - 1)];
    return p;
}

int CMotifSampler::BackgroundScaleExponent() const
{
    // The middle of the range a word's background can take, from the least
    // and the greatest factor of its product: there the floats of the
    // approximate tables keep 2^126 either way.
    double lowest = 1.0;
    double highest = 0.0;
    for (double p : m_bgTrans) {
        if (p > 0.0) {
            lowest = std::min(lowest, p);
            highest = std::max(highest, p);
        }
    }
    if (!(highest > 0.0))
        return 0;
    const double middle = m_width * (std::log2(lowest) + std::log2(highest)) / 2;
    if (!std::isfinite(middle))
        return 0;
    return static_cast<int>(std::clamp(-std::lround(middle), -300L, 300L));
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

void CMotifSampler::ScoreStretch(int s, long long firstPosition, long long positions, double* runningTotal)
{
    const std::size_t offset = m_seqs.Start(static_cast<std::size_t>(s)) + static_cast<std::size_t>(firstPosition);
    SlotModel model;
    model.columnProbs = m_motifProb.data();
    model.freeColumns = m_freeColumns.data();
    model.numFree = m_freeColumns.size();
    model.groups = m_groups.data();
    model.numGroups = m_groups.size();
    model.width = m_width;
    model.bothStrands = m_bothStrands;
    SlotStretch stretch;
    stretch.codes = &m_codes[offset];
    stretch.reverseCodes = &m_reverseCodes[offset];
    stretch.blocked = &m_slotBlocked[offset];
    if (m_oneSitePerSeq) {
        stretch.bgForward = &m_bgForward[offset];
        stretch.bgReverse = &m_bgReverse[offset];
    } else {
        stretch.approxBgForward = &m_bgForwardApprox[offset];
        stretch.approxBgReverse = &m_bgReverseApprox[offset];
    }
    stretch.count = static_cast<std::size_t>(positions);
    if (m_oneSitePerSeq) {
        ScoreSlotRatios(model, stretch, m_slotScore.data(), m_slotTotals.data(), runningTotal, m_spreadCodes.data(),
                        m_vectorPath);
    } else {
        ScoreSlotProducts(model, stretch, OddsBelow(m_samplingPriorOdds, m_bgScaleExponent), m_slotScore.data(),
                          m_slotThreshold.data(),
                          m_spreadCodes.data(), m_vectorPath);
    }
}

double CMotifSampler::ExactSlotScore(int s, long long firstPosition, long long at) const
{
    const std::size_t offset =
        m_seqs.Start(static_cast<std::size_t>(s)) + static_cast<std::size_t>(firstPosition + at / 2);
    const double product = m_slotScore[static_cast<std::size_t>(at)];
    // As a site's word is scored: the motif product over the background, 0 where no site may start.
    if (m_slotBlocked[offset] != 0)
        return 0.0;
    if (at % 2 == 0)
        return product / StartBackground(offset, true);
    return m_bothStrands ? product / StartBackground(offset, false) : 0.0;
}

void CMotifSampler::SampleSequence(int s) { SampleSequence(s, false); }

bool CMotifSampler::SampleSequence(int s, bool modelCurrent)
{
    // The model changes only with the counts: when this sequence gives back no
    // site and the step before added none, the last estimate is this one, bit
    // for bit, and is not taken again.
    if (TakeOutSites(s) || !modelCurrent)
        EstimateModel(true);
    const int sitesBefore = m_numSites;
    const long long starts = static_cast<long long>(m_seqs.Length(static_cast<std::size_t>(s))) - m_width + 1;
    PlanColumns();
    if (m_oneSitePerSeq)
        DrawOneSite(s, starts);
    else
        DrawManySites(s, starts);
    return m_numSites == sitesBefore;
}

void CMotifSampler::DrawManySites(int s, long long starts)
{
    // Each slot examined takes one draw u and is accepted when u < q/(q + 1),
    // q = score / odds. Slots are scored a stretch at a time, so a very long
    // sequence needs no buffer of its own length. Most slots are settled as
    // rejections without the two divisions of q (SettleSlots); the others are
    // decided exactly, one at a time, each with the draw of its own place.
    const long long slots = starts > 0 ? 2 * starts : 0;
    int ordinal = 0;
    long long k = 0;
    while (k < slots) {
        const long long first = k / 2;
        const long long positions = std::min<long long>(kScoreChunk, starts - first);
        ScoreStretch(s, first, positions, nullptr);
        if (!m_pacer.KeepGoing(positions))
            return;  // the run is abandoned and drops this state
        const long long base = 2 * first;
        const long long end = base + 2 * positions;
        while (k < end) {
            const auto at = static_cast<std::size_t>(k - base);
            double u = 0.0;
            k += static_cast<long long>(SettleSlots(&m_slotScore[at], &m_slotThreshold[at],
                                                    static_cast<std::size_t>(end - k), m_random, u, m_vectorPath));
            if (k >= end)
                break;
            const double q = ExactSlotScore(s, first, k - base) / m_samplingPriorOdds;
            // q/(q + 1) never exceeds q, so a draw at or above q is a rejection
            // without the second division; every decision stays the same.
            if (!(u >= q) && u < q / (q + 1)) {
                AddSite(s, static_cast<int>(k), ++ordinal);
                // The next slot examined starts past this site: sites never overlap.
                k += 2LL * m_width;
            }
            ++k;
        }
    }
}

void CMotifSampler::DrawOneSite(int s, long long starts)
{
    // A slot is chosen with its share of the total of scores: the first slot
    // whose running total c makes u < c/t, t the total. The running totals
    // are kept as they are summed, one addition after the other.
    double total = 0.0;
    long long scoredFirst = -1;
    for (long long first = 0; first < starts; first += kScoreChunk) {
        const long long positions = std::min<long long>(kScoreChunk, starts - first);
        ScoreStretch(s, first, positions, &total);
        if (!m_pacer.KeepGoing(positions))
            return;  // the run is abandoned and drops this state
        m_stretchTotals[static_cast<std::size_t>(first / kScoreChunk)] = total;
        scoredFirst = first;
    }
    // One draw, even when nothing can be chosen, so the stream keeps its order.
    const double u = m_random.Uniform();
    // Only a positive, finite total lets any c/t exceed u (an infinite or NaN
    // score makes every later share NaN or 0). Then every score is finite and
    // not negative, c/t never falls as c grows, and the slot is found by halving.
    if (!(total > 0.0 && total <= std::numeric_limits<double>::max()))
        return;
    std::size_t stretch = 0;
    while (!(u < m_stretchTotals[stretch] / total))
        ++stretch;  // stops at the last stretch at the latest, where c/t = 1
    const long long first = static_cast<long long>(stretch) * kScoreChunk;
    const long long positions = std::min<long long>(kScoreChunk, starts - first);
    if (first != scoredFirst) {
        // The same additions again, from the total before this stretch.
        double running = stretch > 0 ? m_stretchTotals[stretch - 1] : 0.0;
        ScoreStretch(s, first, positions, &running);
        if (!m_pacer.KeepGoing(positions))
            return;
    }
    // First the group of eight slots, by its running total at its end; then the slot, adding again.
    const auto slots = static_cast<std::size_t>(2 * positions);
    std::size_t low = 0;
    std::size_t high = (slots + 7) / 8 - 1;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (u < m_slotTotals[middle] / total)
            high = middle;
        else
            low = middle + 1;
    }
    double running = low > 0 ? m_slotTotals[low - 1] : stretch > 0 ? m_stretchTotals[stretch - 1] : 0.0;
    std::size_t slot = 8 * low;
    for (; slot + 1 < std::min(slots, 8 * low + 8); ++slot) {
        running += m_slotScore[slot];
        if (u < running / total)
            break;
    }
    AddSite(s, static_cast<int>(2 * first + static_cast<long long>(slot)), 1);
}

void CMotifSampler::RemoveSites(int s)
{
    TakeOutSites(s);
    EstimateModel(true);
}

bool CMotifSampler::TakeOutSites(int s)
{
    const int sitesBefore = m_numSites;
    const auto width = static_cast<std::size_t>(m_width);
    auto uncount = [&](const SiteNode& site) {
        --m_numSites;
        CountWord(m_counts, std::string_view(site.word).substr(0, width), -1);
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
    return m_numSites != sitesBefore;
}

void CMotifSampler::ClearSites(int s) { m_sites[static_cast<std::size_t>(s)].clear(m_spareSites); }

int CMotifSampler::EstimateModel(bool withPseudo)
{
    const int sites = m_width > 0 ? m_counts[0] + m_counts[1] + m_counts[2] + m_counts[3] : 0;
    // Without pseudocounts the numerators gain 0.0, which changes no count.
    const std::array<double, 4> none{};
    const std::array<double, 4>& letterPseudo = withPseudo ? m_pseudo : none;
    const double denominator = withPseudo ? sites + m_pseudoTotal : static_cast<double>(sites);
    DivideCounts(m_counts.data(), letterPseudo.data(), denominator, m_motifProb.data(), m_counts.size(), m_vectorPath);
    const double cellPseudo = withPseudo ? 0.25 * m_pseudo[0] : 0.0;
    const std::array<double, 4> groupPseudo{cellPseudo, cellPseudo, cellPseudo, cellPseudo};
    for (GroupNode& group : m_groups) {
        const std::size_t groupCells = CellCount(group.size);
        group.probs.resize(groupCells);
        DivideCounts(group.counts.data(), groupPseudo.data(), denominator, group.probs.data(), groupCells,
                     m_vectorPath);
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
    const auto width = static_cast<std::size_t>(m_width);
    const std::string_view letters = m_seqs[index].substr(static_cast<std::size_t>(site.pos), width);
    site.forward = slot % 2 == 0;
    if (site.forward) {
        site.word = letters;
    } else {
        // The reverse complement, written in place.
        static const std::array<char, 256> kComplement = [] {
            std::array<char, 256> complement{};
            for (int c = 0; c < 256; ++c)
                complement[static_cast<std::size_t>(c)] = ComplementLetter(static_cast<char>(c));
            return complement;
        }();
        site.word.resize(letters.size());
        for (std::size_t k = 0; k < letters.size(); ++k)
            site.word[letters.size() - 1 - k] = kComplement[static_cast<unsigned char>(letters[k])];
    }
    // The scoring tables hold the same product for every start; without them it is taken here.
    const std::size_t start = m_seqs.Start(index) + static_cast<std::size_t>(site.pos);
    if (start < m_seqs.TotalResidues() && m_codes.size() >= m_seqs.TotalResidues())
        site.bgProb = StartBackground(start, site.forward);
    else
        site.bgProb = BackgroundProbability(site.word);
    site.logBgProb = std::log(site.bgProb);
    ++m_numSites;
    CountWord(m_counts, site.word, 1);
    for (GroupNode& group : m_groups)
        ++group.counts[GroupKey(group, site.word)];
    m_sites[index].push_back(std::move(site), m_spareSites);
}

}  // namespace kalvo
