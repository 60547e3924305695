// discover/known/enrichment.h: which known motifs have sites in more target sequences than control
// sequences: sequences with a site at a per-strand p-value, a one-sided Fisher test, E and q.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "discover/known/known_motif.h"
#include "discover/known/score_distribution.h"

namespace kalvo {

// How sites are called for the counts.
struct EnrichSettings {
    double sitePValue = 1e-4;  // a word is a site when its score's p-value on its strand is at most this
    BaseShares background{0.25, 0.25, 0.25, 0.25};
    int jobs = 1;              // motifs scanned at the same time; the result is the same for any number
};

// One known motif's counts and test.
struct MotifEnrichment {
    int motif = 0;              // index in the database
    int threshold = 0;          // the least grid score of a site; above bestScore when none can be one
    int bestScore = 0;          // the best grid score a word reaches
    bool fits = false;          // no wider than the longest sequence of both sets
    int targetsWithSite = 0;
    int controlsWithSite = 0;
    double log10P = 0.0;        // one-sided Fisher test: targets hold at least this share of the hits
    double log10E = 0.0;        // log10 of p x motifs tested
    double q = 1.0;             // Benjamini-Hochberg over every motif tested

    bool CanHaveSite() const { return fits && threshold <= bestScore; }
    double ThresholdNats() const { return threshold * kScoreGridStep; }
};

// Every motif's result, best first: by p, then by id.
struct EnrichmentResult {
    std::vector<MotifEnrichment> rows;
    int targets = 0;
    int controls = 0;
    int tooWide = 0;      // motifs wider than every sequence: never counted
    int tooWeak = 0;      // motifs whose best word is not rare enough for the p-value: never counted
};

// Sequences ready for every motif's scan: letter codes (A 0, C 1, G 2, T 3, else 4) and block indexes.
struct ScanSequences {
    std::vector<std::vector<std::uint8_t>> codes;
    std::vector<std::vector<std::uint16_t>> blocks;

    int Count() const { return static_cast<int>(codes.size()); }
};

ScanSequences PrepareScan(const std::vector<std::string>& sequences);

// Called from the calling thread with the motifs done so far and the total; false stops the scan
// (the result is then incomplete and must be dropped).
using EnrichProgress = std::function<bool(int done, int total)>;

// Counts and tests every motif (pairs checked with CheckPairs beforehand); the motifs are spread
// over settings.jobs threads, each scanning all sequences of one motif at a time.
EnrichmentResult EnrichMotifs(const std::vector<KnownMotif>& motifs, const ScanSequences& targets,
                              const ScanSequences& controls, const EnrichSettings& settings,
                              const EnrichProgress& progress);

// The number of sequences holding a site of the motif at `threshold` on either strand.
int SequencesWithSite(const BlockedMotif& forward, const BlockedMotif& reverse, int threshold,
                      const ScanSequences& sequences);

}  // namespace kalvo
