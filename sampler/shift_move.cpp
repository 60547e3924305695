// sampler/shift_move.cpp: slides every site by one residue when the entering column beats the leaving one.
#include <cmath>

#include "model/run_state.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

int LetterCount(char letter) { return IsBase(letter) ? 1 : 0; }

}  // namespace

void CMotifSampler::ShiftMove()
{
    PlaceStartSites();
    bool rightBlocked = false;
    bool leftBlocked = false;
    for (std::size_t s = 0; s < m_sites.size() && !(rightBlocked && leftBlocked); ++s) {
        const long long lastStart = static_cast<long long>(m_seqs.Length(s)) - m_width;
        for (const SiteNode& site : m_sites[s]) {
            // A window may never leave its sequence.
            if (site.forward ? site.pos >= lastStart : site.pos <= 0)
                rightBlocked = true;
            if (site.forward ? site.pos <= 0 : site.pos >= lastStart)
                leftBlocked = true;
            if (rightBlocked && leftBlocked)
                break;
        }
    }
    if (rightBlocked && leftBlocked)
        return;
    if (leftBlocked)
        TryShift(ShiftDirection::Right);
    else if (rightBlocked)
        TryShift(ShiftDirection::Left);
    else
        TryShift(m_random.UniformClosed() >= 0.5 ? ShiftDirection::Right : ShiftDirection::Left);
}

void CMotifSampler::TryShift(ShiftDirection direction)
{
    const bool right = direction == ShiftDirection::Right;
    auto leaving = ColumnCounts(right ? 0 : m_width - 1);
    auto entering = EdgeColumnCounts(right ? m_width : -1);
    const double logOld = ColumnScore(leaving);
    const double logNew = ColumnScore(entering);
    if (logNew > logOld || m_random.Uniform() < std::exp(logNew - logOld))
        ApplyShift(direction);
}

double CMotifSampler::ColumnScore(std::array<int, 4>& counts) const
{
    for (std::size_t b = 0; b < 4; ++b)
        counts[b] += static_cast<int>(m_pseudo[b] + 0.1);
    const int total = counts[0] + counts[1] + counts[2] + counts[3];
    // Logarithms, so that columns of thousands of sites neither overflow nor vanish.
    double score = 0.0;
    for (std::size_t b = 0; b < 4; ++b) {
        if (counts[b] > 0)
            score += counts[b] * std::log((counts[b] / static_cast<double>(total)) / m_bgFreq[b]);
    }
    return score;
}

std::array<int, 4> CMotifSampler::EdgeColumnCounts(int offset) const
{
    std::array<int, 4> counts{};
    for (std::size_t s = 0; s < m_sites.size(); ++s) {
        const std::string_view sequence = m_seqs[s];
        for (const SiteNode& site : m_sites[s]) {
            const char letter = site.forward
                                    ? sequence[static_cast<std::size_t>(site.pos + offset)]
                                    : ComplementLetter(sequence[static_cast<std::size_t>(site.pos + m_width - 1 - offset)]);
            if (LetterCount(letter) != 0)
                ++counts[static_cast<std::size_t>(BaseCode(letter))];
        }
    }
    return counts;
}

void CMotifSampler::ApplyShift(ShiftDirection direction)
{
    const bool right = direction == ShiftDirection::Right;
    for (std::size_t s = 0; s < m_sites.size(); ++s) {
        for (SiteNode& site : m_sites[s]) {
            // A reverse site reads its sequence backwards, so it moves the other way.
            site.pos += (right == site.forward) ? 1 : -1;
            site.word = m_seqs[s].substr(static_cast<std::size_t>(site.pos), static_cast<std::size_t>(m_width));
            if (!site.forward)
                site.word = ReverseComplement(site.word);
            site.bgProb = BackgroundProbability(site.word);
            site.logBgProb = std::log(site.bgProb);
            if (!m_pacer.KeepGoing(1))
                return;  // the run is abandoned and drops this half-shifted state
        }
    }
    Recount();
    const int leavingColumn = right ? 0 : m_width - 1;
    for (auto group = m_groups.begin(); group != m_groups.end();) {
        bool leaves = false;
        for (int column : group->positions)
            leaves = leaves || column == leavingColumn;
        if (leaves) {
            group = m_groups.erase(group);
            --m_numPairs;
            continue;
        }
        for (int& column : group->positions)
            column += right ? -1 : 1;
        ++group;
    }
}

}  // namespace kalvo
