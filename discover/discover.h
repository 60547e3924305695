// discover/discover.h: `discover`, motifs of a sequence set from restarts of exact runs.
// Each restart is an ordinary seeded run whose parameter file and report are
// kept in the output folder; significance, merging, trimming, several motifs
// and site calls are all computed from the restarts' best states.
#pragma once
#include <string>

#include "discover/discover_progress.h"
#include "discover/discovery.h"
#include "discover/discovery_names.h"
#include "discover/output_folder.h"
#include "model/refusal.h"

namespace kalvo {

// The folder a discovery of `input` writes to without --output-dir: peaks.fa gives peaks.kalvo.
std::string DefaultDiscoverOutputDir(const std::string& inputPath);

// Reads the inputs, runs every round of restarts and writes the output folder,
// which appears whole at the end. A refusal (unreadable input or control, no
// sequence, a width above every sequence, an output folder that holds other
// files without `force`, a failed write, a cancellation) leaves nothing of it.
Outcome RunDiscovery(const DiscoverSettings& settings, bool force, Discovery& discovery,
                     const DiscoverProgressCallback& progress = {});

// The same in an output folder the front end holds (its path is settings.outputDir),
// one it saved standard input in: committed on success, abandoned otherwise.
Outcome RunDiscovery(const DiscoverSettings& settings, bool force, OutputFolder& folder, Discovery& discovery,
                     const DiscoverProgressCallback& progress = {});

}  // namespace kalvo
