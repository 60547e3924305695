// discover/restarts.h: a round's restarts: ordinary seeded runs computed on several threads,
// each leaving its parameter file and report in the output folder, with the progress they report.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "discover/discover_progress.h"
#include "discover/discovery.h"
#include "discover/motif_scan.h"
#include "discover/output_folder.h"
#include "discover/scoring_sets.h"
#include "discover/significance.h"
#include "report/run_summary.h"

namespace kalvo {

// A restart to run: its record so far (round, width, index, files, seed) and
// the parameter text its parameter file holds.
struct RestartPlan {
    RestartRecord record;
    std::string parameterText;
};

// What one restart leaves: its record, its motif and how well it separates.
struct RestartResult {
    RestartRecord record;
    std::optional<Refusal> refusal;
    MotifModel model;
    RunSummary summary;  // counts, shares, consensus and groups of its best state
    Separation separation;
};

// The progress of a discovery as its restarts report it, shared by their
// threads, and the cancellation the front end asks for through it.
class ProgressTally {
public:
    explicit ProgressTally(const DiscoverProgressCallback& callback) : m_callback(callback) {}

    // The size of every round, once the discovery's settings are checked.
    void SetRounds(int rounds, int restartsInRound, long long iterationsInRound);
    // A new round starts with nothing done.
    void StartRound(int round);
    // Counts iterations and finished restarts; false once the discovery is cancelled.
    bool Add(long long iterations, int restarts);
    bool Cancelled() const { return m_cancelled; }

private:
    const DiscoverProgressCallback& m_callback;
    std::mutex m_mutex;
    DiscoverProgress m_state;
    std::atomic<bool> m_cancelled{false};
};

// Writes the round's input: what the restarts sample of the sampled targets (SampledPieces),
// under the names the tables give them (SequenceNames; a window adds ":start-end"), with the
// sites of the motifs reported so far as N from the second round on, so that no restart finds them again.
Outcome WriteRoundInput(const ScoringSets& sets, int round, const OutputFolder& folder, const std::string& fasta);

// Runs the planned restarts of a round on `jobs` threads, every one reading
// `fasta`. Results are by plan index, so nothing depends on which thread finished first.
std::vector<RestartResult> RunRestarts(const std::vector<RestartPlan>& plan, int jobs, const std::string& fasta,
                                       const OutputFolder& folder, const ScoringSets& sets, ProgressTally& tally);

}  // namespace kalvo
