// discover/motif_scan.cpp: log-likelihood tables of a run's motif and the scans over sequences.
#include "discover/motif_scan.h"

#include <algorithm>
#include <cmath>

namespace kalvo {

MotifModel ModelOfRun(const CMotifSampler& run)
{
    MotifModel model;
    model.width = run.m_width;
    model.numSites = run.m_numSites;
    model.counts.resize(static_cast<std::size_t>(run.m_width));
    for (std::size_t c = 0; c < model.counts.size(); ++c)
        for (std::size_t b = 0; b < 4; ++b)
            model.counts[c][b] = run.m_counts[c * 4 + b];
    model.groups = run.m_groups;
    model.bgFreq = run.m_bgFreq;
    model.bgTrans = run.m_bgTrans;
    model.pseudocount = run.m_givenPseudocount > 0.0 ? run.m_givenPseudocount : 1.0;
    return model;
}

MotifModel TrimModel(const MotifModel& model, int left, int right)
{
    MotifModel trimmed = model;
    const int width = model.width - left - right;
    trimmed.width = width;
    trimmed.counts.assign(model.counts.begin() + left, model.counts.begin() + left + width);
    trimmed.groups.clear();
    for (const GroupNode& group : model.groups) {
        const bool inside = std::all_of(group.positions.begin(), group.positions.end(),
                                        [&](int column) { return column >= left && column < left + width; });
        if (!inside)
            continue;
        GroupNode kept = group;
        for (int& column : kept.positions)
            column -= left;
        trimmed.groups.push_back(std::move(kept));
    }
    return trimmed;
}

MotifModel RefitModel(const MotifModel& model, const std::vector<std::string>& words)
{
    MotifModel refit = model;
    refit.numSites = static_cast<int>(words.size());
    for (auto& column : refit.counts)
        column.fill(0);
    for (GroupNode& group : refit.groups)
        std::fill(group.counts.begin(), group.counts.end(), 0);
    for (const std::string& word : words) {
        const auto codes = EncodeSequence(word);
        for (std::size_t c = 0; c < codes.size() && c < refit.counts.size(); ++c)
            if (codes[c] < 4)
                ++refit.counts[c][codes[c]];
        for (GroupNode& group : refit.groups) {
            std::size_t key = 0;
            for (int column : group.positions)
                key = key * 4 + (codes[static_cast<std::size_t>(column)] & 3u);
            if (key < group.counts.size())
                ++group.counts[key];
        }
    }
    return refit;
}

std::vector<std::uint8_t> EncodeSequence(std::string_view sequence)
{
    std::vector<std::uint8_t> codes(sequence.size());
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        switch (sequence[i]) {
        case 'A': case 'a': codes[i] = 0; break;
        case 'C': case 'c': codes[i] = 1; break;
        case 'G': case 'g': codes[i] = 2; break;
        case 'T': case 't': codes[i] = 3; break;
        default: codes[i] = 4; break;
        }
    }
    return codes;
}

MotifScanner::MotifScanner(const MotifModel& model) : m_width(model.width)
{
    const double pseudoTotal = 4.0 * model.pseudocount;
    const double denominator = model.numSites + pseudoTotal;
    std::vector<char> grouped(static_cast<std::size_t>(m_width), 0);
    for (const GroupNode& group : model.groups) {
        GroupTable table;
        table.columns = group.positions;
        const std::size_t cells = std::size_t{1} << (2 * group.positions.size());
        // Each cell gets the pseudocount total spread evenly, as the sampler's own estimate does for pairs.
        const double cellPseudo = pseudoTotal / static_cast<double>(cells);
        table.cellLog.resize(cells);
        for (std::size_t e = 0; e < cells; ++e) {
            const double count = e < group.counts.size() ? group.counts[e] : 0;
            table.cellLog[e] = std::log((count + cellPseudo) / denominator);
        }
        for (int column : group.positions)
            grouped[static_cast<std::size_t>(column)] = 1;
        m_groups.push_back(std::move(table));
    }
    m_columnLog.assign(static_cast<std::size_t>(m_width) * 4, 0.0);
    for (std::size_t c = 0; c < static_cast<std::size_t>(m_width); ++c) {
        if (grouped[c])
            continue;
        for (std::size_t b = 0; b < 4; ++b)
            m_columnLog[c * 4 + b] = std::log((model.counts[c][b] + model.pseudocount) / denominator);
    }
    // A background probability of 0 would make every word holding it score +inf;
    // such letters never occur in the sequences the background was counted from,
    // so a tiny floor only matters for controls from elsewhere.
    constexpr double kFloor = 1e-300;
    for (std::size_t b = 0; b < 4; ++b)
        m_bgFirstLog[b] = std::log(std::max(model.bgFreq[b], kFloor));
    for (std::size_t i = 0; i < 16; ++i)
        m_bgTransLog[i] = std::log(std::max(model.bgTrans[i], kFloor));
}

double MotifScanner::ScoreCodes(const std::uint8_t* codes) const
{
    const auto width = static_cast<std::size_t>(m_width);
    double score = 0.0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint8_t code = codes[i];
        if (code > 3)
            return kNoScore;
        score += m_columnLog[i * 4 + code];
    }
    for (const GroupTable& group : m_groups) {
        std::size_t key = 0;
        for (int column : group.columns)
            key = key * 4 + codes[column];
        score += group.cellLog[key];
    }
    double background = m_bgFirstLog[codes[0]];
    for (std::size_t i = 0; i + 1 < width; ++i)
        background += m_bgTransLog[codes[i] * 4u + codes[i + 1]];
    return score - background;
}

void MotifScanner::ScoreSequence(const std::vector<std::uint8_t>& codes, bool bothStrands,
                                 std::vector<double>& forward, std::vector<double>& reverse) const
{
    const long long length = static_cast<long long>(codes.size());
    const long long starts = std::max(0LL, length - m_width + 1);
    forward.resize(static_cast<std::size_t>(starts));
    reverse.resize(bothStrands ? static_cast<std::size_t>(starts) : 0);
    for (long long p = 0; p < starts; ++p)
        forward[static_cast<std::size_t>(p)] = ScoreCodes(codes.data() + p);
    if (!bothStrands || starts == 0)
        return;
    // The reverse strand is scored as the reverse complement sequence read forwards:
    // its word at q is the reverse complement of the given strand's window at L - W - q.
    std::vector<std::uint8_t> complement(codes.size());
    for (long long i = 0; i < length; ++i) {
        const std::uint8_t code = codes[static_cast<std::size_t>(length - 1 - i)];
        complement[static_cast<std::size_t>(i)] = code > 3 ? code : static_cast<std::uint8_t>(3 - code);
    }
    for (long long q = 0; q < starts; ++q)
        reverse[static_cast<std::size_t>(length - m_width - q)] = ScoreCodes(complement.data() + q);
}

double MotifScanner::BestScore(const std::vector<std::uint8_t>& codes, bool bothStrands) const
{
    thread_local std::vector<double> forward;
    thread_local std::vector<double> reverse;
    ScoreSequence(codes, bothStrands, forward, reverse);
    double best = kNoScore;
    for (double score : forward)
        best = std::max(best, score);
    for (double score : reverse)
        best = std::max(best, score);
    return best;
}

std::vector<ScanHit> CallHits(const MotifScanner& scanner, const std::vector<std::uint8_t>& codes, bool bothStrands,
                              const CallThresholds& thresholds)
{
    const double threshold = std::min(thresholds.first, thresholds.more);
    std::vector<double> forward;
    std::vector<double> reverse;
    scanner.ScoreSequence(codes, bothStrands, forward, reverse);
    std::vector<ScanHit> candidates;
    for (std::size_t p = 0; p < forward.size(); ++p) {
        // A window scored on both strands is one candidate: its better strand.
        const bool reverseBetter = bothStrands && reverse[p] > forward[p];
        const double score = reverseBetter ? reverse[p] : forward[p];
        if (score >= threshold)
            candidates.push_back(ScanHit{static_cast<long long>(p), !reverseBetter, score});
    }
    // Best first; equal scores by position, so the calls never depend on sort internals.
    std::sort(candidates.begin(), candidates.end(), [](const ScanHit& a, const ScanHit& b) {
        return a.score != b.score ? a.score > b.score : a.start < b.start;
    });
    std::vector<char> taken(codes.size(), 0);
    const auto width = static_cast<std::size_t>(scanner.Width());
    std::vector<ScanHit> hits;
    for (const ScanHit& hit : candidates) {
        if (hit.score < (hits.empty() ? thresholds.first : thresholds.more)) {
            if (hits.empty())
                break;  // no best site, so no other either
            continue;
        }
        const auto start = static_cast<std::size_t>(hit.start);
        if (taken[start] || taken[start + width - 1])
            continue;
        std::fill(taken.begin() + static_cast<std::ptrdiff_t>(start),
                  taken.begin() + static_cast<std::ptrdiff_t>(start + width), 1);
        hits.push_back(hit);
    }
    std::sort(hits.begin(), hits.end(), [](const ScanHit& a, const ScanHit& b) { return a.start < b.start; });
    return hits;
}

}  // namespace kalvo
