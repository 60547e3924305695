// discover/threshold_scores.cpp: window scores kept in full up to a limit, past it counted in bins, and the
// bins a threshold can lie in.
#include "discover/threshold_scores.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <utility>

namespace kalvo {
namespace {

// Bins are the top bits of a score's order key: 64 per power of two, so that the
// scores a second pass keeps are few; 262,144 bins of two counts, 4 MB.
constexpr int kBinBits = 18;
constexpr int kBinShift = 64 - kBinBits;

// A key that orders as the scores do: the bits of a double with the sign flipped
// (a positive score) or all bits flipped (a negative one). -0 counts as +0, so
// that equal scores have equal keys.
std::uint64_t OrderKey(double score)
{
    const auto bits = std::bit_cast<std::uint64_t>(score == 0.0 ? 0.0 : score);
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

}  // namespace

ThresholdScores::ThresholdScores(double floor, std::size_t keptLimit) : m_floor(floor), m_keptLimit(keptLimit)
{
    if (keptLimit < std::numeric_limits<std::size_t>::max()) {
        m_targetScores.reserve(keptLimit);
        m_controlScores.reserve(keptLimit);
    }
}

bool ThresholdScores::Keeps(double score) const
{
    return !m_keepsNone && score >= m_floor && OrderKey(score) >= m_lowestKey;
}

void ThresholdScores::Add(double score, bool target)
{
    ++(target ? m_targetWindows : m_controlWindows);
    if (!Keeps(score))
        return;
    if (m_bins.empty() && m_targetScores.size() + m_controlScores.size() == m_keptLimit)
        CountInBins();
    if (!m_bins.empty()) {
        ++m_bins[static_cast<std::size_t>(OrderKey(score) >> kBinShift)][target ? 0 : 1];
        return;
    }
    (target ? m_targetScores : m_controlScores).push_back(score);
}

void ThresholdScores::CountInBins()
{
    m_bins.assign(std::size_t{1} << kBinBits, {0, 0});
    for (const double score : m_targetScores)
        ++m_bins[static_cast<std::size_t>(OrderKey(score) >> kBinShift)][0];
    for (const double score : m_controlScores)
        ++m_bins[static_cast<std::size_t>(OrderKey(score) >> kBinShift)][1];
    std::vector<double>().swap(m_targetScores);
    std::vector<double>().swap(m_controlScores);
}

ThresholdScores ThresholdScores::Narrowed(double falseCallCost) const
{
    // A threshold t gains calls(t) - cost * scale * false(t), computed as SiteThreshold
    // computes it, and the sums of exact counts round the same way whatever their order.
    const double scale = m_controlWindows > 0
                             ? static_cast<double>(m_targetWindows) / static_cast<double>(m_controlWindows)
                             : 0.0;
    auto gain = [&](long long targets, long long controls) {
        return static_cast<double>(targets) - falseCallCost * scale * static_cast<double>(controls);
    };
    // The lowest target score of a bin gains at least its targets and everything
    // above, less all controls of the bin and above: some threshold gains `reach`.
    double reach = 0.0;
    long long targetsAbove = 0;
    long long controlsAbove = 0;
    for (std::size_t b = m_bins.size(); b-- > 0;) {
        const auto [targets, controls] = m_bins[b];
        if (targets > 0)
            reach = std::max(reach, gain(targetsAbove + targets, controlsAbove + controls));
        targetsAbove += targets;
        controlsAbove += controls;
    }
    // No threshold in a bin gains more than its targets and everything above, less
    // the controls above it; the lowest bin that may still reach `reach` (and gain
    // something) is where the second pass starts keeping scores.
    std::size_t lowest = m_bins.size();
    targetsAbove = 0;
    controlsAbove = 0;
    for (std::size_t b = m_bins.size(); b-- > 0;) {
        const auto [targets, controls] = m_bins[b];
        const double most = gain(targetsAbove + targets, controlsAbove);
        if (targets > 0 && most > 0.0 && most >= reach)
            lowest = b;
        targetsAbove += targets;
        controlsAbove += controls;
    }
    ThresholdScores narrowed(m_floor, std::numeric_limits<std::size_t>::max());
    narrowed.m_keepsNone = lowest == m_bins.size();
    narrowed.m_lowestKey = narrowed.m_keepsNone ? 0 : static_cast<std::uint64_t>(lowest) << kBinShift;
    return narrowed;
}

}  // namespace kalvo
