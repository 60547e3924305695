// sampler/correlated_pairs.cpp: pairs of dependent motif columns, added, removed and changed by Bayes-factor moves.
#include <cmath>
#include <vector>

#include "model/run_state.h"
#include "util/sequence_text.h"

namespace kalvo {

double AddPairFactor(int k, int half)
{
    if (k == 0)
        return 3.0;
    if (k == half - 1)
        return (k + 1) / 3.0;
    return static_cast<double>(k + 1);
}

double RemovePairFactor(int k, int half)
{
    if (k == 1)
        return 1.0 / 3;
    if (k == half)
        return 3.0 / k;
    return 1.0 / k;
}

double CMotifSampler::DirichletLogMarginal(const int* counts, int numCells)
{
    // One integer pseudocount for every cell, from the A pseudocount.
    const int alpha = static_cast<int>(m_pseudo[0] + 0.001);
    int totalAlpha = 0;
    int totalCount = 0;
    double terms = 0.0;
    for (int c = 0; c < numCells; ++c) {
        if (counts[c] < 0)
            continue;
        totalAlpha += alpha;
        totalCount += counts[c];
        terms += m_logFactorial(counts[c] + alpha) - m_logFactorial(alpha);
    }
    return m_logFactorial(totalAlpha) + terms - m_logFactorial(totalAlpha + totalCount);
}

std::array<int, 4> CMotifSampler::ColumnCounts(int column) const
{
    const auto first = static_cast<std::size_t>(column) * 4;
    return {m_counts[first], m_counts[first + 1], m_counts[first + 2], m_counts[first + 3]};
}

std::vector<int> CMotifSampler::GroupJointCounts(const int* positions, int size) const
{
    std::vector<int> joint(static_cast<std::size_t>(1) << (2 * size), 0);
    for (const SiteList& sites : m_sites) {
        for (const SiteNode& site : sites) {
            std::size_t key = 0;
            for (int j = 0; j < size; ++j)
                key = key * 4 + static_cast<std::size_t>(BaseCode(site.word[static_cast<std::size_t>(positions[j])]));
            ++joint[key];
        }
    }
    return joint;
}

double CMotifSampler::GroupLogBF(const int* positions, int size, const std::vector<int>& joint)
{
    const double together = DirichletLogMarginal(joint.data(), static_cast<int>(joint.size()));
    double apart = 0.0;
    for (int j = 0; j < size; ++j) {
        const auto column = ColumnCounts(positions[j]);
        apart += DirichletLogMarginal(column.data(), 4);
    }
    return together - apart;
}

GroupNode CMotifSampler::NewGroup(int size, const int* positions, const std::vector<int>& joint, double logBF)
{
    GroupNode group;
    group.size = size;
    group.positions.assign(positions, positions + size);
    group.counts = joint;
    group.logBF = logBF;
    return group;
}

bool CMotifSampler::SameSet(const int* a, const int* b, int n)
{
    for (int i = 0; i < n; ++i) {
        bool found = false;
        for (int j = 0; j < n && !found; ++j)
            found = a[i] == b[j];
        if (!found)
            return false;
    }
    return true;
}

void CMotifSampler::CorrelationMove()
{
    // A pair needs two distinct columns.
    if (m_width < 2)
        return;
    const int half = m_width / 2;
    if (m_numPairs == 0) {
        AddPairMove();
    } else if (m_numPairs == half) {
        RemovePairMove();
    } else {
        const double x = m_random.UniformClosed();
        if (x < 1.0 / 3)
            AddPairMove();
        else if (x < 2.0 / 3)
            RemovePairMove();
        else
            ChangePairMove();
    }
}

void CMotifSampler::AddPairMove()
{
    const int k = m_numPairs;
    const int half = m_width / 2;
    std::vector<char> occupied;
    ColumnOccupancy(occupied, nullptr);
    std::vector<int> candidates;
    for (int column = 0; column < m_width; ++column) {
        if (occupied[static_cast<std::size_t>(column)] == 0)
            candidates.push_back(column);
    }
    const auto n = static_cast<long long>(candidates.size());
    int pair[2];
    pair[0] = candidates[static_cast<std::size_t>(m_random.Index(n))];
    do {
        pair[1] = candidates[static_cast<std::size_t>(m_random.Index(n))];
    } while (pair[1] == pair[0]);

    const std::vector<int> joint = GroupJointCounts(pair, 2);
    const double logBF = GroupLogBF(pair, 2, joint);
    const double factor = AddPairFactor(k, half);
    bool accept = logBF > std::log(factor);
    if (!accept)
        accept = m_random.Uniform() < std::exp(logBF) / factor;
    if (!accept)
        return;
    m_numPairs = k + 1;
    m_groups.insert(m_groups.begin(), NewGroup(2, pair, joint, logBF));
}

void CMotifSampler::RemovePairMove()
{
    const int k = m_numPairs;
    const int half = m_width / 2;
    const auto chosen = static_cast<std::size_t>(m_random.Index(k));
    const GroupNode& group = m_groups[chosen];
    const auto first = ColumnCounts(group.positions[0]);
    const auto second = ColumnCounts(group.positions[1]);
    const double logRatio = DirichletLogMarginal(first.data(), 4) + DirichletLogMarginal(second.data(), 4) -
                            DirichletLogMarginal(group.counts.data(), 16);
    const double factor = RemovePairFactor(k, half);
    bool accept = logRatio > std::log(factor);
    if (!accept)
        accept = std::exp(logRatio) / factor > m_random.Uniform();
    if (!accept)
        return;
    m_numPairs = k - 1;
    m_groups.erase(m_groups.begin() + static_cast<long>(chosen));
}

void CMotifSampler::ChangePairMove()
{
    const int k = m_numPairs;
    const auto chosen = static_cast<std::size_t>(m_random.Index(k));
    GroupNode& group = m_groups[chosen];
    const int old[2] = {group.positions[0], group.positions[1]};

    std::vector<char> occupied;
    ColumnOccupancy(occupied, &group);
    std::vector<int> candidates;
    for (int column = 0; column < m_width; ++column) {
        if (occupied[static_cast<std::size_t>(column)] == 0)
            candidates.push_back(column);
    }
    const auto n = static_cast<long long>(candidates.size());
    int pair[2];
    pair[0] = candidates[static_cast<std::size_t>(m_random.Index(n))];
    // Never the old pair again, in either order; the first column is kept.
    do {
        pair[1] = candidates[static_cast<std::size_t>(m_random.Index(n))];
    } while (pair[1] == pair[0] || SameSet(pair, old, 2));

    const std::vector<int> joint = GroupJointCounts(pair, 2);
    const auto oldFirst = ColumnCounts(old[0]);
    const auto oldSecond = ColumnCounts(old[1]);
    const double oldBF = DirichletLogMarginal(group.counts.data(), 16) -
                         (DirichletLogMarginal(oldFirst.data(), 4) + DirichletLogMarginal(oldSecond.data(), 4));
    const double newBF = GroupLogBF(pair, 2, joint);
    const double logRatio = newBF - oldBF;
    bool accept = logRatio > 0;
    if (!accept)
        accept = m_random.Uniform() < std::exp(logRatio);
    if (!accept)
        return;
    group.positions.assign(pair, pair + 2);
    group.counts = joint;
    group.logBF = newBF;
}

}  // namespace kalvo
