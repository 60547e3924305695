// discover/discovery.h: what a discovery is asked to do and what it found, as plain data.
// A discovery is a set of ordinary seeded runs (restarts) plus what is computed
// from their best states: significance against a control set, merged motifs,
// site calls. Every restart can be repeated alone with `kalvo run PARAMS --seed S`.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "discover/known/enrichment.h"
#include "discover/known/motif_comparison.h"
#include "discover/known/motif_database.h"
#include "model/run_state.h"
#include "report/run_summary.h"

namespace kalvo {

// Widths tried when the user names none: the usual span of transcription-factor sites.
inline const std::vector<int> kDefaultDiscoverWidths = {8, 12, 16};

struct DiscoverSettings {
    std::string inputPath;                    // target FASTA
    std::optional<std::string> controlPath;   // user's control FASTA; shuffled targets when not given
    std::vector<int> widths = kDefaultDiscoverWidths;
    int restarts = 8;                         // restarts per width and round
    int iterations = 500;
    bool mask = true;                         // low-complexity masking of the restarts
    bool bothStrands = true;
    bool oneSite = false;
    int motifs = 3;                           // at most this many motifs, best first
    double evalueThreshold = 0.05;            // a motif above it is never reported as significant
    std::uint32_t seed = 1;
    int jobs = 1;                             // restarts computed at the same time
    std::string outputDir;                    // every file of the discovery goes here
    std::string programVersion;
    // The known motifs the reported ones are named after; the bundled collection
    // unless files are given. Naming annotates the motifs, never ranks them.
    bool nameMotifs = true;
    MotifDatabaseChoice knownMotifs;
    // Short tandem repeats stay in the ranked list instead of the low-complexity one.
    bool keepLowComplexity = false;
    // Which of those known motifs have sites in more targets than controls (off with --no-known).
    bool knownSection = true;
};

// One restart: an exact run, with the parameter file and seed that repeat it.
struct RestartRecord {
    int round = 1;                  // 1 for the first motif, 2 after its sites were masked, ...
    int width = 0;
    int index = 0;                  // 1..restarts within its round and width
    std::string parameterFile;      // relative to the output folder, e.g. "runs/r1-w12-3.params"
    std::string reportFile;         // relative to the output folder, e.g. "runs/r1-w12-3.txt"
    std::uint32_t seed = 0;
    double logLik = 0.0;            // the run's joint log-likelihood of its best state
    int sites = 0;                  // sites of its best state
    std::string consensus;
    double log10EValue = 0.0;       // of its motif against the control set (after trimming)
    int motifRank = 0;              // rank of the reported motif it was merged into; 0 for none
};

// A restart on shuffled copies of the targets, run only to see what chance
// reaches on a set too small to hold some out: an exact run like the others,
// in null rounds of its own ("runs/n1-w12-3.params" samples "runs/null1.fa").
struct NullRestart {
    RestartRecord record;       // round: its null round; no E-value, no motif
    double log10PValue = 0.0;   // of its motif in its best form; 0 when it ended without a site
};

// Residues of context kept on each side of a called site.
inline constexpr int kSiteFlank = 10;

// One site call of a reported motif: a position whose word scores at or above the motif's threshold.
struct CalledSite {
    int seqIndex = 0;               // 0-based, input order
    long long start = 0;            // 0-based leftmost position on the given strand
    long long end = 0;              // exclusive
    bool forward = true;            // '+' when on the given strand
    double score = 0.0;             // log-likelihood ratio, motif (with its pairs) over background, natural log
    std::string word;               // in motif orientation
    // Up to kSiteFlank residues on each side of the site, in motif orientation
    // (shorter at a sequence's end): the site's context for the web page.
    std::string leftFlank;
    std::string rightFlank;
};

// A motif as discovery reports it.
struct DiscoveredMotif {
    int rank = 0;                   // 1 = lowest E-value
    std::string id;                 // unique within the discovery, e.g. "1-TGTGACA"
    std::string consensus;
    int width = 0;
    // E = p-value times the number of motifs tested; on a set too small to hold
    // some out, the restarts run so far times the share of null restarts that reach the p-value.
    double log10EValue = 0.0;
    double log10PValue = 0.0;
    bool significant = false;       // E-value at or below the settings' threshold
    double threshold = 0.0;         // a sequence's best window is a site from this score on
    double moreThreshold = 0.0;     // its other windows, once it has a site, from this score on
    int targetHits = 0;             // test targets with a site at the threshold
    int targets = 0;                // test targets scored
    int controlHits = 0;
    int controls = 0;
    int foundBy = 0;                // restarts merged into this motif
    int restartsTried = 0;          // restarts of its round
    int trimmedLeft = 0;            // uninformative columns cut from the restart's motif
    int trimmedRight = 0;
    // The motif as a run summary: counts and shares of the sites it was
    // estimated from, consensus, correlated pairs (columns of the trimmed motif),
    // background. Logos and matrix formats are drawn from it.
    RunSummary model;
    RestartRecord source;           // the restart whose best state gave the motif
    std::vector<CalledSite> sites;  // by sequence, then by position
    std::vector<KnownMatch> knownMatches;  // best first; empty when nothing known resembles it
    bool knownMatchEnriched = false;       // its best known match is itself enriched in the targets
};

// A known motif enriched in the discovery's targets, with its counts and test.
struct EnrichedKnownMotif {
    KnownMotif motif;
    MotifEnrichment test;  // test.motif: its place among the known motifs loaded
};

// The known motifs the discovery names its motifs after, tested as `kalvo enrich` tests them with
// its default settings: every target against every control, sites at a per-strand p-value.
struct KnownEnrichment {
    double sitePValue = 1e-4;
    BaseShares background{};                // the targets' own base shares, both strands counted
    int motifsTested = 0;
    int targets = 0;
    int controls = 0;
    int cannotHoldSite = 0;                 // wider than every sequence, or no word rare enough
    int notScored = 0;                      // correlated pairs that cannot be scored exactly
    std::vector<EnrichedKnownMotif> rows;   // q at most kKnownEnrichedQValue, best first
    std::string note;                       // why no known motif could be counted; empty when some could
};

// A significant motif kept out of the ranked list because it is a short tandem
// repeat (ACACAC, TATATA, AAAAAA): genomes are full of them and shuffled controls are not.
struct LowComplexityMotif {
    std::string consensus;
    int width = 0;
    double log10EValue = 0.0;
    int sites = 0;                  // sites called, and masked before the next round
    int round = 0;                  // the round that found it
    std::string unit;               // the repeated unit, e.g. "AC"
    double siteShare = 0.0;         // of its sites, those lying in a tandem repeat
    std::string reason;             // one line: why it is taken for a repeat
};

// A significant motif of a set too small to hold some out that too few of its
// round's restarts found: measured on the sequences it was fitted to, one
// sampler's chance motif can look significant there. Never reported.
struct SetAsideMotif {
    std::string consensus;
    int width = 0;
    double log10EValue = 0.0;
    int foundBy = 0;                // restarts merged into it
    int restarts = 0;               // restarts of its round
    int round = 0;
};

struct Discovery {
    DiscoverSettings settings;
    std::vector<std::string> targetNames;     // header lines without '>'
    std::vector<long long> targetLengths;
    int sampledTargets = 0;                   // targets the restarts sampled
    int trainingTargets = 0;                  // targets thresholds were chosen and motifs refitted on
    int testTargets = 0;                      // targets the significance was measured on
    int controls = 0;                         // control sequences
    long long controlResidues = 0;
    std::string controlSource;                // "shuffled targets (dinucleotides kept)" or the control file
    std::vector<DiscoveredMotif> motifs;      // significant ones, best first; may be empty
    std::vector<RestartRecord> restarts;      // every restart of every round, in run order
    // Sets too small to hold some out: restarts on shuffled copies of the
    // targets, against which the E-values are calibrated; in run order.
    std::vector<NullRestart> nullRestarts;
    int motifsTested = 0;                     // candidates scored against the control, all rounds
    // E-value of the best candidate that was not significant (the reason the
    // discovery stopped), when there was one.
    std::optional<double> nextBestLog10EValue;
    // What the motifs were named against ("the bundled JASPAR 2024 CORE
    // collection" or the files given) and how many profiles; empty when they were not named.
    std::string knownSource;
    int knownMotifs = 0;
    // Input read loosely (blanks or tabs inside sequence lines), one line each.
    std::vector<std::string> warnings;
    // Significant short tandem repeats, in the order found; never ranked, never counted as motifs.
    std::vector<LowComplexityMotif> lowComplexity;
    // None with --no-known, or when the motifs are not named after known ones.
    std::optional<KnownEnrichment> knownEnrichment;
    // Significant motifs of a small set found by one restart alone, in the order found.
    std::vector<SetAsideMotif> setAside;
};

}  // namespace kalvo
