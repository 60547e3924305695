// discover/known/enrichment.cpp: thresholds from the exact score distributions, the scan of both
// sets for every motif spread over threads, and the Fisher test with E and q over the database.
#include "discover/known/enrichment.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "discover/fisher.h"
#include "discover/known/motif_comparison.h"
#include "discover/motif_scan.h"

namespace kalvo {
namespace {

std::size_t Longest(const ScanSequences& sequences)
{
    std::size_t longest = 0;
    for (const auto& sequence : sequences.codes)
        longest = std::max(longest, sequence.size());
    return longest;
}

// The threshold and counts of one motif.
MotifEnrichment CountMotif(const KnownMotif& motif, int index, const ScanSequences& targets,
                           const ScanSequences& controls, const EnrichSettings& settings, std::size_t longest)
{
    MotifEnrichment row;
    row.motif = index;
    row.fits = motif.Width() > 0 && static_cast<std::size_t>(motif.Width()) <= longest;
    const ScoreDistribution distribution(motif, settings.background);
    row.bestScore = distribution.BestScore();
    row.threshold = distribution.Threshold(settings.sitePValue);
    if (!row.CanHaveSite())
        return row;
    const BlockedMotif forward = MakeBlockedMotif(MakeGridMotif(motif, settings.background));
    const BlockedMotif reverse = MakeBlockedMotif(MakeReverseGridMotif(motif, settings.background));
    row.targetsWithSite = SequencesWithSite(forward, reverse, row.threshold, targets);
    row.controlsWithSite = SequencesWithSite(forward, reverse, row.threshold, controls);
    return row;
}

// p, E and q of every row, then the rows best first.
void TestRows(EnrichmentResult& result, const std::vector<KnownMotif>& motifs)
{
    const double log10Tests = std::log10(static_cast<double>(std::max<std::size_t>(motifs.size(), 1)));
    std::vector<double> pValues;
    for (MotifEnrichment& row : result.rows) {
        row.log10P = Log10FisherEnrichment(row.targetsWithSite, result.targets, row.controlsWithSite, result.controls);
        row.log10E = row.log10P + log10Tests;
        pValues.push_back(std::pow(10.0, row.log10P));
    }
    const std::vector<double> q = QValues(pValues);
    for (std::size_t k = 0; k < result.rows.size(); ++k)
        result.rows[k].q = q[k];
    std::sort(result.rows.begin(), result.rows.end(), [&motifs](const MotifEnrichment& a, const MotifEnrichment& b) {
        if (a.log10P != b.log10P)
            return a.log10P < b.log10P;
        const std::string& idA = motifs[static_cast<std::size_t>(a.motif)].id;
        const std::string& idB = motifs[static_cast<std::size_t>(b.motif)].id;
        return idA != idB ? idA < idB : a.motif < b.motif;
    });
}

}  // namespace

ScanSequences PrepareScan(const std::vector<std::string>& sequences)
{
    ScanSequences scan;
    scan.codes.reserve(sequences.size());
    scan.blocks.resize(sequences.size());
    for (std::size_t k = 0; k < sequences.size(); ++k) {
        scan.codes.push_back(EncodeSequence(sequences[k]));
        BlockIndexes(scan.codes.back(), scan.blocks[k]);
    }
    return scan;
}

int SequencesWithSite(const BlockedMotif& forward, const BlockedMotif& reverse, int threshold,
                      const ScanSequences& sequences)
{
    int count = 0;
    for (std::size_t k = 0; k < sequences.codes.size(); ++k) {
        const auto& codes = sequences.codes[k];
        count += HoldsSite(forward, reverse, threshold, codes.data(), sequences.blocks[k].data(), codes.size()) ? 1 : 0;
    }
    return count;
}

EnrichmentResult EnrichMotifs(const std::vector<KnownMotif>& motifs, const ScanSequences& targets,
                              const ScanSequences& controls, const EnrichSettings& settings,
                              const EnrichProgress& progress)
{
    EnrichmentResult result;
    result.targets = targets.Count();
    result.controls = controls.Count();
    result.rows.resize(motifs.size());
    const std::size_t longest = std::max(Longest(targets), Longest(controls));
    // Each thread takes the next motif; every row lands at its motif's index, so the order of
    // the work never shows in the result.
    std::atomic<std::size_t> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
    auto work = [&](bool reporting) {
        for (std::size_t k = next++; k < motifs.size() && !stop.load(); k = next++) {
            result.rows[k] = CountMotif(motifs[k], static_cast<int>(k), targets, controls, settings, longest);
            const int finished = ++done;
            if (reporting && progress && !progress(finished, static_cast<int>(motifs.size())))
                stop.store(true);
        }
    };
    std::vector<std::thread> helpers;
    const int threads = std::clamp(settings.jobs, 1, static_cast<int>(std::max<std::size_t>(motifs.size(), 1)));
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work, false);
    work(true);
    for (std::thread& helper : helpers)
        helper.join();
    if (progress && !stop.load())
        progress(static_cast<int>(motifs.size()), static_cast<int>(motifs.size()));
    for (const MotifEnrichment& row : result.rows) {
        result.tooWide += row.fits ? 0 : 1;
        result.tooWeak += row.fits && row.threshold > row.bestScore ? 1 : 0;
    }
    TestRows(result, motifs);
    return result;
}

}  // namespace kalvo
