// discover/discover.h: `discover`, motifs of a sequence set from restarts of exact runs.
// Each restart is an ordinary seeded run whose parameter file and report are
// kept in the output folder; significance, merging, trimming, several motifs
// and site calls are all computed from the restarts' best states.
#pragma once
#include <functional>
#include <string>

#include "discover/discovery.h"
#include "model/refusal.h"

namespace kalvo {

// How far a discovery has come, for a progress display.
struct DiscoverProgress {
    int round = 1;                 // 1 for the first motif
    int rounds = 1;                // at most this many: one per motif asked for
    int restartsDone = 0;          // of this round
    int restartsInRound = 0;
    long long iterationsDone = 0;  // of this round's restarts, finished or running
    long long iterationsInRound = 0;
};
// Called from the restarts' threads, one call at a time; returning false cancels the discovery.
using DiscoverProgressCallback = std::function<bool(const DiscoverProgress&)>;

// The name outputs of a sequence file are named after: its FileStem (peaks.fa
// and peaks.fa.gz give "peaks", "-" gives "stdin"), or "sequences" when the path names no file.
std::string SequenceFileStem(const std::string& inputPath);

// The folder a discovery of `input` writes to without --output-dir: peaks.fa gives peaks.kalvo.
std::string DefaultDiscoverOutputDir(const std::string& inputPath);

// The name a front end gives the copy of an input it read from standard input,
// at the top of the output folder, so that the folder keeps what repeats the
// discovery: "input.fa", or "input.fa.gz" for gzip data. The discovery writes
// no file of that name, so the folder may hold it when it is the input.
std::string SavedInputName(bool gzip);

// Targets held out of the restarts, so that their motifs are tested on
// sequences they were not fitted to. Sets smaller than this are used whole for both.
inline constexpr int kMinSequencesForHoldOut = 40;
// The restarts sample at most about this many residues of the training targets:
// enough sites to find a motif, while refitting and testing use many more.
inline constexpr long long kSampledResidues = 100000;

// Reads the inputs, runs every round of restarts and writes the output folder.
// Refusals (unreadable input or control, no sequence, a width above every
// sequence, an output folder that holds other files without `force`) come
// before anything is written.
Outcome RunDiscovery(const DiscoverSettings& settings, bool force, Discovery& discovery,
                     const DiscoverProgressCallback& progress = {});

}  // namespace kalvo
