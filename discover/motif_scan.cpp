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

namespace {

// Scores of the windows starting at first .. first + count - 1 into forward and, for both
// strands, reverse; complement is a buffer for the stretch's residues.
void ScoreStarts(const MotifScanner& scanner, const std::vector<std::uint8_t>& codes, long long first,
                 long long count, double* forward, double* reverse, std::vector<std::uint8_t>& complement)
{
    for (long long k = 0; k < count; ++k)
        forward[k] = scanner.ScoreCodes(codes.data() + first + k);
    if (reverse == nullptr || count == 0)
        return;
    // The reverse strand is scored as the reverse complement of the stretch read forwards:
    // the window at first + k is read back from the stretch's end, so it starts at count - 1 - k.
    const long long span = count + scanner.Width() - 1;
    complement.resize(static_cast<std::size_t>(span));
    const std::uint8_t* last = codes.data() + first + span - 1;
    for (long long i = 0; i < span; ++i) {
        const std::uint8_t code = *(last - i);
        complement[static_cast<std::size_t>(i)] = code > 3 ? code : static_cast<std::uint8_t>(3 - code);
    }
    for (long long k = 0; k < count; ++k)
        reverse[k] = scanner.ScoreCodes(complement.data() + (count - 1 - k));
}

// Calls of one run of candidate windows that overlap one after another, so that no
// window outside it can overlap one inside: best first (of equal scores the leftmost),
// each kept when it overlaps no window kept before; appended to hits by position.
void CallRun(std::vector<ScanHit>& run, long long width, std::vector<char>& taken, std::vector<ScanHit>& hits)
{
    if (run.empty())
        return;
    const long long origin = run.front().start;
    taken.assign(static_cast<std::size_t>(run.back().start - origin + width), 0);
    std::sort(run.begin(), run.end(), [](const ScanHit& a, const ScanHit& b) {
        return a.score != b.score ? a.score > b.score : a.start < b.start;
    });
    const std::size_t before = hits.size();
    for (const ScanHit& hit : run) {
        const auto at = static_cast<std::size_t>(hit.start - origin);
        const auto end = at + static_cast<std::size_t>(width);
        if (taken[at] || taken[end - 1])
            continue;
        std::fill(taken.begin() + static_cast<std::ptrdiff_t>(at), taken.begin() + static_cast<std::ptrdiff_t>(end), 1);
        hits.push_back(hit);
    }
    std::sort(hits.begin() + static_cast<std::ptrdiff_t>(before), hits.end(),
              [](const ScanHit& a, const ScanHit& b) { return a.start < b.start; });
    run.clear();
}

}  // namespace

double MotifScanner::BestScore(const std::vector<std::uint8_t>& codes, bool bothStrands) const
{
    thread_local StretchScores scores;
    double best = kNoScore;
    for (long long first = 0; scores.Score(*this, codes, bothStrands, first); first += kScanStretch) {
        for (std::size_t i = 0; i < scores.Size(); ++i)
            best = std::max(best, scores.Forward(i));
        for (std::size_t i = 0; bothStrands && i < scores.Size(); ++i)
            best = std::max(best, scores.Reverse(i));
    }
    return best;
}

bool StretchScores::Score(const MotifScanner& scanner, const std::vector<std::uint8_t>& codes, bool bothStrands,
                          long long first)
{
    const long long starts = std::max(0LL, static_cast<long long>(codes.size()) - scanner.Width() + 1);
    const long long count = std::min(kScanStretch, starts - first);
    if (count <= 0)
        return false;
    m_forward.resize(static_cast<std::size_t>(count));
    m_reverse.resize(bothStrands ? static_cast<std::size_t>(count) : 0);
    ScoreStarts(scanner, codes, first, count, m_forward.data(), bothStrands ? m_reverse.data() : nullptr,
                m_complement);
    return true;
}

std::vector<ScanHit> CallHits(const MotifScanner& scanner, const std::vector<std::uint8_t>& codes, bool bothStrands,
                              const CallThresholds& thresholds)
{
    thread_local StretchScores scores;
    thread_local std::vector<ScanHit> run;
    thread_local std::vector<char> taken;
    run.clear();
    const long long width = scanner.Width();
    std::vector<ScanHit> hits;
    ScanHit best{0, true, kNoScore};
    bool scored = false;
    // The best window is a site from `first` on, and then every window from `more` on
    // that overlaps no better one. Windows from `more` on are called run by run as the
    // scan passes them; the best window is known only at the end.
    for (long long first = 0; scores.Score(scanner, codes, bothStrands, first); first += kScanStretch) {
        for (std::size_t i = 0; i < scores.Size(); ++i) {
            // A window scored on both strands is one candidate: its better strand.
            const bool reverseBetter = bothStrands && scores.Reverse(i) > scores.Forward(i);
            const ScanHit hit{first + static_cast<long long>(i), !reverseBetter,
                              reverseBetter ? scores.Reverse(i) : scores.Forward(i)};
            if (!scored || hit.score > best.score)
                best = hit;
            scored = true;
            if (!(hit.score >= thresholds.more))
                continue;
            if (!run.empty() && hit.start - run.back().start >= width)
                CallRun(run, width, taken, hits);
            run.push_back(hit);
        }
    }
    CallRun(run, width, taken, hits);
    if (!scored || !(best.score >= thresholds.first))
        return {};
    // Below `more` the best window is the only site: no other window can reach `more`.
    if (!(best.score >= thresholds.more))
        return {best};
    return hits;
}

}  // namespace kalvo
