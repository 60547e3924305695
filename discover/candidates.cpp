// discover/candidates.cpp: merging restarts that found the same motif, trimming and refitting the candidates.
#include "discover/candidates.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "discover/motif_measures.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

// The restart's run summary with the motif's own counts, shares, consensus and
// groups: what logos and matrices are drawn from once a motif was trimmed or refitted.
RunSummary SummaryOfModel(const RunSummary& summary, const MotifModel& model)
{
    RunSummary motif;
    motif.seed = summary.seed;
    motif.iterations = summary.iterations;
    motif.bothStrands = summary.bothStrands;
    motif.oneSitePerSeq = summary.oneSitePerSeq;
    motif.maskLowComplexity = summary.maskLowComplexity;
    motif.pseudocount = summary.pseudocount;
    motif.bgFreq = summary.bgFreq;
    motif.bestLogLik = summary.bestLogLik;
    motif.estimatedPrior = summary.estimatedPrior;
    motif.width = model.width;
    motif.numSites = model.numSites;
    motif.sequencesHit = summary.sequencesHit;
    motif.counts = model.counts;
    for (const auto& column : model.counts) {
        std::array<double, 4> shares{};
        for (std::size_t b = 0; b < 4; ++b)
            shares[b] = model.numSites > 0 ? column[b] / static_cast<double>(model.numSites) : 0.0;
        motif.probs.push_back(shares);
        motif.consensus += ConsensusLetter(shares);
    }
    motif.groups = model.groups;
    return motif;
}

// Whether a column's letters at the motif's sites are what its background gives
// by chance: a G-test of their counts against the background at the 5% level.
bool FitsBackground(const MotifModel& model, int column)
{
    constexpr double kChiSquare3Df5Percent = 7.815;
    const auto& counts = model.counts[static_cast<std::size_t>(column)];
    const double sites = static_cast<double>(counts[0] + counts[1] + counts[2] + counts[3]);
    double g = 0.0;
    for (std::size_t b = 0; b < 4; ++b)
        if (counts[b] > 0 && model.bgFreq[b] > 0.0)
            g += 2.0 * counts[b] * std::log(counts[b] / (sites * model.bgFreq[b]));
    return g < kChiSquare3Df5Percent;
}

// The restart's motif cut to its core: end columns go, one at a time, while
// the motif separates targets from controls as well as its best form so far.
// Long by design: the two ways of cutting share the form kept so far and its p-value.
Candidate Trimmed(const ScoringSets& sets, const RestartResult& restart)
{
    Candidate best{restart.model, restart.summary, restart.separation, 0, 0};
    // Two forms whose p-values differ by less than this test alike, and the
    // narrower is kept: a motif's flanks should not stay for a chance gain.
    constexpr double kAlikeDecades = 0.3;
    constexpr int kNarrowest = 5;
    const auto& probs = restart.summary.probs;
    const int width = restart.model.width;
    double bestLog10P = restart.separation.log10P;
    // Measured on the sequences it was fitted to, as in a set too small to hold
    // some out, a motif's chance columns fit its own sites and seem to separate:
    // there an end column whose letters the background explains goes too.
    const bool fittedSequencesOnly = !HoldsOut(sets);
    // Only a weak column is cut for testing alike, one under 0.3 bits or one the
    // background explains: a planted word whose orientation the sampler mixed has end
    // columns of about 0.4 bits that test alike when cut, since the test is saturated
    // (every target with a site), yet belong to it.
    constexpr double kUninformativeBits = 0.3;
    auto cut = [&](int left, int right) {
        const int column = left > best.left ? best.left : width - 1 - best.right;
        const bool explained = FitsBackground(restart.model, column);
        const bool chanceColumn = fittedSequencesOnly && explained;
        if (!explained && ColumnBits(probs[static_cast<std::size_t>(column)]) >= kUninformativeBits)
            return false;
        MotifModel model = TrimModel(restart.model, left, right);
        const Separation separation = Separate(sets, MotifScanner(model));
        if (!chanceColumn && separation.log10P > bestLog10P + kAlikeDecades)
            return false;
        bestLog10P = chanceColumn ? separation.log10P : std::min(bestLog10P, separation.log10P);
        best.summary = SummaryOfModel(restart.summary, model);
        best.model = std::move(model);
        best.separation = separation;
        best.left = left;
        best.right = right;
        return true;
    };
    // First the runs of uninformative end columns, cut at once where one column
    // at a time would meet a chance dip: both runs, or either alone, the narrowest
    // form that tests like the best of them.
    int left = 0;
    int right = 0;
    while (width - left - right > kNarrowest && ColumnBits(probs[static_cast<std::size_t>(left)]) < kUninformativeBits)
        ++left;
    while (width - left - right > kNarrowest &&
           ColumnBits(probs[static_cast<std::size_t>(width - 1 - right)]) < kUninformativeBits)
        ++right;
    std::vector<std::pair<int, int>> runs;
    if (left > 0 && right > 0) {
        runs.emplace_back(left, 0);
        runs.emplace_back(0, right);
    }
    if (left > 0 || right > 0)
        runs.emplace_back(left, right);
    std::vector<Separation> runSeparations;
    for (const auto& [cutLeft, cutRight] : runs) {
        runSeparations.push_back(Separate(sets, MotifScanner(TrimModel(restart.model, cutLeft, cutRight))));
        bestLog10P = std::min(bestLog10P, runSeparations.back().log10P);
    }
    for (std::size_t r = runs.size(); r-- > 0;) {  // narrowest first
        if (runSeparations[r].log10P > bestLog10P + kAlikeDecades)
            continue;
        MotifModel model = TrimModel(restart.model, runs[r].first, runs[r].second);
        best.summary = SummaryOfModel(restart.summary, model);
        best.model = std::move(model);
        best.separation = runSeparations[r];
        best.left = runs[r].first;
        best.right = runs[r].second;
        break;
    }
    // Then one column at a time, the end with less information first, until neither end can go.
    while (width - best.left - best.right > kNarrowest) {
        const bool leftFirst = ColumnBits(probs[static_cast<std::size_t>(best.left)]) <=
                               ColumnBits(probs[static_cast<std::size_t>(width - 1 - best.right)]);
        left = best.left;
        right = best.right;
        if (!cut(left + (leftFirst ? 1 : 0), right + (leftFirst ? 0 : 1)) &&
            !cut(left + (leftFirst ? 0 : 1), right + (leftFirst ? 1 : 0)))
            break;
    }
    return best;
}

// The candidate refitted to the sites it calls in the training targets, when that separates better.
void Refine(const ScoringSets& sets, Candidate& candidate)
{
    // A restart's best state holds the sites one sampler state happened to have;
    // the sites its motif calls in the same training targets are the motif's own.
    // Only training targets are used, so the test set stays unseen.
    constexpr int kPasses = 2;
    constexpr int kFewestSites = 5;
    MotifModel model = candidate.model;
    for (int pass = 0; pass < kPasses; ++pass) {
        const MotifScanner scanner(model);
        // Sites a motif is refitted to should be sure ones: a false one costs two true ones.
        const CallThresholds threshold = CallThreshold(sets, scanner, 0.0, sets.training, 2.0);
        if (!std::isfinite(threshold.first))
            return;
        std::vector<std::string> words;
        for (int i : sets.training) {
            const auto index = static_cast<std::size_t>(i);
            for (const ScanHit& hit : CallHits(scanner, sets.targetCodes[index], sets.bothStrands, threshold)) {
                std::string word = sets.targets.sequences[index].substr(static_cast<std::size_t>(hit.start),
                                                                        static_cast<std::size_t>(model.width));
                words.push_back(hit.forward ? word : ReverseComplement(word));
            }
        }
        if (static_cast<int>(words.size()) < kFewestSites)
            return;
        model = RefitModel(model, words);
    }
    const Separation separation = Separate(sets, MotifScanner(model));
    if (separation.log10P <= candidate.separation.log10P) {
        candidate.summary = SummaryOfModel(candidate.summary, model);
        candidate.model = std::move(model);
        // Without held-out targets, a motif refitted to the words it calls is
        // measured on those very words, which on random sequences alone reaches
        // p-values of 1e-12: it is reported refitted, with the p-value of the
        // form it was refitted from.
        if (HoldsOut(sets))
            candidate.separation = separation;
    }
}

}  // namespace

Candidate BestForm(const ScoringSets& sets, const RestartResult& restart)
{
    Candidate candidate = Trimmed(sets, restart);
    Refine(sets, candidate);
    return candidate;
}

std::vector<Cluster> ClusterRestarts(const std::vector<RestartResult>& results)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < results.size(); ++i)
        if (results[i].record.sites > 0)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return results[a].separation.log10P < results[b].separation.log10P;
    });
    std::vector<Cluster> clusters;
    for (std::size_t i : order) {
        Cluster* home = nullptr;
        for (Cluster& cluster : clusters) {
            if (MotifSimilarity(results[cluster.representative].summary.probs, results[i].summary.probs) >=
                kSameMotifSimilarity) {
                home = &cluster;
                break;
            }
        }
        if (!home) {
            clusters.push_back(Cluster{i, {}});
            home = &clusters.back();
        }
        home->members.push_back(i);
    }
    return clusters;
}

std::size_t SupportNeeded(const ScoringSets& sets, std::size_t restartsInRound)
{
    return !HoldsOut(sets) && restartsInRound > 1 ? 2 : 1;
}

std::vector<ChosenCandidate> RankCandidates(const ScoringSets& sets, const std::vector<RestartResult>& results,
                                            const std::vector<Cluster>& clusters,
                                            const std::vector<MotifShares>& reported, std::size_t support)
{
    constexpr std::size_t kClustersTrimmed = 3;
    std::vector<ChosenCandidate> ranked;
    std::size_t supported = 0;
    for (std::size_t c = 0; c < clusters.size() && supported < kClustersTrimmed; ++c) {
        const RestartResult& restart = results[clusters[c].representative];
        const bool seen = std::any_of(reported.begin(), reported.end(), [&](const MotifShares& shares) {
            return MotifSimilarity(shares, restart.summary.probs) >= kSameMotifSimilarity;
        });
        if (seen)
            continue;
        ranked.push_back(ChosenCandidate{BestForm(sets, restart), c});
        if (clusters[c].members.size() >= support)
            ++supported;
    }
    // Ties keep the clusters' order, as the first best candidate was always the one chosen.
    std::stable_sort(ranked.begin(), ranked.end(), [](const ChosenCandidate& a, const ChosenCandidate& b) {
        return a.candidate.separation.log10P < b.candidate.separation.log10P;
    });
    return ranked;
}

std::optional<ChosenCandidate> ChooseCandidate(const ScoringSets& sets, const std::vector<RestartResult>& results,
                                               const std::vector<Cluster>& clusters,
                                               const std::vector<MotifShares>& reported)
{
    std::vector<ChosenCandidate> ranked = RankCandidates(sets, results, clusters, reported);
    if (ranked.empty())
        return std::nullopt;
    return std::move(ranked.front());
}

}  // namespace kalvo
