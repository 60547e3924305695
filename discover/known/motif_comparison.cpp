// discover/known/motif_comparison.cpp: every query against every database motif at every offset on both strands.
#include "discover/known/motif_comparison.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>

namespace kalvo {
namespace {

// A query ready for comparison: its columns, less any uninformative ends.
struct PreparedQuery {
    std::vector<ScoredColumn> columns;
    int firstKept = 0;  // the query column that columns[0] is
};

// The query's columns, its weaker end cut first while that end has less than `endBits` and more
// than `keep` columns remain.
PreparedQuery PrepareQuery(const KnownMotif& query, double endBits, int keep)
{
    PreparedQuery prepared;
    for (const auto& shares : query.shares)
        prepared.columns.push_back(PrepareColumn(shares, query.sites));
    int first = 0;
    int end = static_cast<int>(prepared.columns.size());
    auto bits = [&](int column) { return prepared.columns[static_cast<std::size_t>(column)].bits; };
    while (end - first > keep) {
        const bool cutFirst = bits(first) <= bits(end - 1);
        const int column = cutFirst ? first : end - 1;
        if (bits(column) >= endBits)
            break;
        if (cutFirst)
            ++first;
        else
            --end;
    }
    prepared.firstKept = first;
    prepared.columns = std::vector<ScoredColumn>(prepared.columns.begin() + first, prepared.columns.begin() + end);
    return prepared;
}

int MinimumOverlap(int minOverlap, int queryWidth, int targetWidth)
{
    return std::max(1, std::min({minOverlap, queryWidth, targetWidth}));
}

// The offsets of a target against a query of `width` columns: target column i + offset under
// query column i, at least `overlap` columns shared.
struct OffsetRange {
    int least = 0;
    int most = 0;
};

OffsetRange Offsets(int width, int targetWidth, int overlap) { return {overlap - width, targetWidth - overlap}; }

// The query columns an offset aligns: [first, end).
struct Overlap {
    int first = 0;
    int end = 0;
};

Overlap Aligned(int width, int targetWidth, int offset)
{
    return {std::max(0, -offset), std::min(width, targetWidth - offset)};
}

// Which ranges of query columns some alignment with some target covers.
std::vector<char> WantedRanges(int width, const ComparisonTargets& targets, int minOverlap)
{
    std::vector<char> widthSeen;
    std::vector<char> wanted(static_cast<std::size_t>(width * width), 0);
    for (const int targetWidth : targets.widths) {
        if (targetWidth >= static_cast<int>(widthSeen.size()))
            widthSeen.resize(static_cast<std::size_t>(targetWidth) + 1, 0);
        if (widthSeen[static_cast<std::size_t>(targetWidth)])
            continue;
        widthSeen[static_cast<std::size_t>(targetWidth)] = 1;
        const OffsetRange range = Offsets(width, targetWidth, MinimumOverlap(minOverlap, width, targetWidth));
        for (int offset = range.least; offset <= range.most; ++offset) {
            const Overlap overlap = Aligned(width, targetWidth, offset);
            wanted[static_cast<std::size_t>(overlap.first * width + overlap.end - overlap.first - 1)] = 1;
        }
    }
    return wanted;
}

// One query's column scores against every database column, in steps of its grid, and the null of their sums.
struct QueryScores {
    int width = 0;
    ScoreGrid grid;
    std::vector<float> steps;  // database column × width + query column
    AlignmentNull null;
};

void ScoreQuery(const PreparedQuery& query, const ComparisonTargets& targets, const ComparisonSettings& settings,
                QueryScores& scores)
{
    const int width = static_cast<int>(query.columns.size());
    scores.width = width;
    scores.steps.resize(targets.columns.size() * static_cast<std::size_t>(width));
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    float* out = scores.steps.data();
    for (const ScoredColumn& target : targets.columns) {
        for (const ScoredColumn& column : query.columns) {
            const double score = ColumnScore(settings.similarity, column, target);
            *out++ = static_cast<float>(score);
            low = std::min(low, score);
            high = std::max(high, score);
        }
    }
    scores.grid = GridBetween(low, high, settings.gridBins);
    const auto bins = static_cast<std::size_t>(scores.grid.bins);
    std::vector<std::vector<double>> histograms(static_cast<std::size_t>(width), std::vector<double>(bins + 1, 0.0));
    for (std::size_t cell = 0; cell < scores.steps.size(); ++cell) {
        const double steps = scores.grid.Steps(scores.steps[cell]);
        scores.steps[cell] = static_cast<float>(steps);
        histograms[cell % static_cast<std::size_t>(width)][static_cast<std::size_t>(std::lround(steps))] += 1.0;
    }
    scores.null.Build(histograms, WantedRanges(width, targets, settings.minOverlap));
}

// The best alignment of the query with one target: the least p over its offsets and strands.
MotifMatch BestAlignment(const QueryScores& scores, const ComparisonTargets& targets, int target, int minOverlap)
{
    const int width = scores.width;
    const int targetWidth = targets.widths[static_cast<std::size_t>(target)];
    const OffsetRange range = Offsets(width, targetWidth, MinimumOverlap(minOverlap, width, targetWidth));
    MotifMatch best;
    best.target = target;
    double bestLogP = 1.0;
    for (int strand = 0; strand < 2; ++strand) {
        const int base = targets.first[static_cast<std::size_t>(target)] + strand * targetWidth;
        for (int offset = range.least; offset <= range.most; ++offset) {
            const Overlap overlap = Aligned(width, targetWidth, offset);
            const float* cell =
                scores.steps.data() + static_cast<std::ptrdiff_t>(base + overlap.first + offset) * width + overlap.first;
            double sum = 0.0;
            for (int i = overlap.first; i < overlap.end; ++i, cell += width + 1)
                sum += *cell;
            const double logP = scores.null.LogTail(overlap.first, overlap.end - overlap.first, sum);
            if (logP < bestLogP) {
                bestLogP = logP;
                best.offset = offset;
                best.reverse = strand == 1;
                best.overlap = overlap.end - overlap.first;
            }
        }
    }
    best.p = std::exp(bestLogP);
    return best;
}

// The offsets tried with a target, on both strands.
double OffsetsTried(int width, int targetWidth, int minOverlap)
{
    const OffsetRange range = Offsets(width, targetWidth, MinimumOverlap(minOverlap, width, targetWidth));
    return 2.0 * (range.most - range.least + 1);
}

// The alignment's summed column scores, unrounded.
double AlignmentScore(const PreparedQuery& query, const ComparisonTargets& targets, const MotifMatch& match,
                      const ComparisonSettings& settings)
{
    const int width = static_cast<int>(query.columns.size());
    const int targetWidth = targets.widths[static_cast<std::size_t>(match.target)];
    const int base = targets.first[static_cast<std::size_t>(match.target)] + (match.reverse ? targetWidth : 0);
    const Overlap overlap = Aligned(width, targetWidth, match.offset);
    double score = 0.0;
    for (int i = overlap.first; i < overlap.end; ++i)
        score += ColumnScore(settings.similarity, query.columns[static_cast<std::size_t>(i)],
                           targets.columns[static_cast<std::size_t>(base + i + match.offset)]);
    return score;
}

std::vector<MotifMatch> CompareWith(const KnownMotif& query, const ComparisonTargets& targets,
                                    const ComparisonSettings& settings, QueryScores& scores)
{
    const PreparedQuery prepared = PrepareQuery(query, settings.endBits, std::min(settings.minOverlap, query.Width()));
    std::vector<MotifMatch> matches;
    if (prepared.columns.empty() || targets.Count() == 0)
        return matches;
    ScoreQuery(prepared, targets, settings, scores);
    matches.reserve(static_cast<std::size_t>(targets.Count()));
    for (int target = 0; target < targets.Count(); ++target) {
        MotifMatch match = BestAlignment(scores, targets, target, settings.minOverlap);
        const double offsets = OffsetsTried(scores.width, targets.widths[static_cast<std::size_t>(target)],
                                            settings.minOverlap);
        // 1 − (1 − p)^offsets, without losing the small p to rounding.
        if (match.p > 0.0)
            match.p = match.p >= 1.0 ? 1.0 : -std::expm1(offsets * std::log1p(-match.p));
        match.score = AlignmentScore(prepared, targets, match, settings);
        match.offset -= prepared.firstKept;
        match.e = match.p * targets.Count();
        matches.push_back(match);
    }
    std::vector<double> pValues;
    for (const MotifMatch& match : matches)
        pValues.push_back(match.p);
    const std::vector<double> qValues = QValues(pValues);
    for (std::size_t k = 0; k < matches.size(); ++k)
        matches[k].q = qValues[k];
    std::sort(matches.begin(), matches.end(), [](const MotifMatch& a, const MotifMatch& b) {
        if (a.p != b.p)
            return a.p < b.p;
        if (a.score != b.score)
            return a.score > b.score;
        return a.target < b.target;
    });
    return matches;
}

}  // namespace

ComparisonTargets PrepareTargets(const std::vector<KnownMotif>& database)
{
    ComparisonTargets targets;
    for (const KnownMotif& motif : database) {
        targets.first.push_back(static_cast<int>(targets.columns.size()));
        targets.widths.push_back(motif.Width());
        for (const auto& shares : motif.shares)
            targets.columns.push_back(PrepareColumn(shares, motif.sites));
        const auto forward = targets.columns.end() - motif.Width();
        std::vector<ScoredColumn> reverse;
        for (auto column = targets.columns.end(); column != forward;)
            reverse.push_back(ComplementColumn(*--column));
        targets.columns.insert(targets.columns.end(), reverse.begin(), reverse.end());
    }
    return targets;
}

std::vector<MotifMatch> CompareMotif(const KnownMotif& query, const ComparisonTargets& targets,
                                     const ComparisonSettings& settings)
{
    QueryScores scores;
    return CompareWith(query, targets, settings, scores);
}

std::vector<MotifMatch> KeepMatches(const std::vector<MotifMatch>& matches, const MatchFilter& filter)
{
    std::vector<MotifMatch> kept;
    for (const MotifMatch& match : matches) {
        if (filter.top > 0 && static_cast<int>(kept.size()) >= filter.top)
            break;
        const bool within = filter.maxQValue ? match.q <= *filter.maxQValue : match.e <= filter.maxEValue;
        if (within)
            kept.push_back(match);
    }
    return kept;
}

std::vector<std::vector<MotifMatch>> MatchMotifs(const std::vector<KnownMotif>& queries,
                                                 const ComparisonTargets& targets,
                                                 const ComparisonSettings& settings, const MatchFilter& filter,
                                                 int jobs)
{
    std::vector<std::vector<MotifMatch>> kept(queries.size());
    std::atomic<std::size_t> next{0};
    auto work = [&]() {
        QueryScores scores;  // reused from query to query
        for (std::size_t k = next++; k < queries.size(); k = next++)
            kept[k] = KeepMatches(CompareWith(queries[k], targets, settings, scores), filter);
    };
    const auto threads = static_cast<std::size_t>(std::clamp(jobs, 1, std::max(1, static_cast<int>(queries.size()))));
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    return kept;
}

std::vector<double> QValues(const std::vector<double>& pValues)
{
    const std::size_t count = pValues.size();
    std::vector<std::size_t> order(count);
    for (std::size_t k = 0; k < count; ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return pValues[a] < pValues[b]; });
    std::vector<double> q(count, 1.0);
    double running = 1.0;
    for (std::size_t rank = count; rank-- > 0;) {
        const double value = pValues[order[rank]] * static_cast<double>(count) / static_cast<double>(rank + 1);
        running = std::min(running, value);
        q[order[rank]] = running;
    }
    return q;
}

}  // namespace kalvo
