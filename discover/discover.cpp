// discover/discover.cpp: a discovery from its inputs to its files: the checks, the rounds of restarts
// with the motif each reports, and the ranking of the motifs.
#include "discover/discover.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <filesystem>

#include "discover/candidates.h"
#include "discover/discover_limits.h"
#include "discover/discovery_files.h"
#include "discover/restarts.h"
#include "discover/scoring_sets.h"
#include "discover/shuffle.h"
#include "discover/site_calls.h"
#include "model/parameter_text.h"
#include "util/file_stem.h"
#include "util/random.h"

namespace kalvo {
namespace fs = std::filesystem;
namespace {

std::string ParameterText(const DiscoverSettings& settings, const std::string& fasta, const std::string& report,
                          int width)
{
    ParameterFileValues values = CorrelatedRunValues(fasta, report, width, settings.iterations);
    values.oneSite = settings.oneSite;
    values.givenStrand = !settings.bothStrands;
    values.mask = settings.mask;
    return ParameterFileText(values);
}

// One discovery, from the check of its settings to its files.
class DiscoveryRun {
public:
    DiscoveryRun(const DiscoverSettings& settings, OutputFolder& folder, Discovery& discovery,
                 const DiscoverProgressCallback& progress)
        : m_settings(settings), m_folder(folder), m_discovery(discovery), m_tally(progress)
    {
    }

    // Reads and checks the inputs and claims the output folder; a refusal comes before anything is written.
    Outcome Prepare(bool force);
    // One round per motif asked for, until a round finds nothing significant.
    Outcome Rounds();
    void RankByEValue();
    Outcome WriteFiles();

private:
    Outcome CheckCounts() const;
    Outcome CheckWidths(const SequenceTexts& targets) const;
    // The user's control file, or shuffled copies of the targets.
    Outcome ReadControls(const SequenceTexts& targets, SequenceTexts& controls);
    // What the discovery records of its inputs, and the size of its rounds for the progress display.
    void RecordInputs(long long controlResidues);

    // Names, seeds and parameter texts of a round's restarts, in the order their seeds are drawn.
    std::vector<RestartPlan> PlanRound(int round, const std::string& fasta) const;
    // Runs the round's restarts; refused when one was, or when the discovery was cancelled.
    Outcome RunRound(int round, const std::string& fasta, std::vector<RestartResult>& results);
    // Merges the round's restarts, reports its motif when it is significant and
    // records the restarts; false when the round found nothing significant.
    bool ReportRound(std::vector<RestartResult>& results);
    void ReportMotif(const Candidate& chosen, const Cluster& cluster, std::vector<RestartResult>& results,
                     double log10E);

    const DiscoverSettings& m_settings;
    OutputFolder& m_folder;
    Discovery& m_discovery;
    ProgressTally m_tally;
    ScoringSets m_sets;
    std::vector<MotifShares> m_reported;  // motifs of the earlier rounds
    int m_tests = 0;
    std::int64_t m_restartsStarted = 0;
};

Outcome DiscoveryRun::Prepare(bool force)
{
    if (auto refusal = CheckCounts())
        return refusal;
    SequenceTexts targets;
    if (auto refusal = ReadSequenceTexts(m_settings.inputPath, targets))
        return refusal;
    m_discovery.warnings = targets.warnings;
    if (auto refusal = CheckWidths(targets))
        return refusal;
    SequenceTexts controls;
    if (auto refusal = ReadControls(targets, controls))
        return refusal;
    if (auto refusal = m_folder.Claim(m_settings.inputPath, m_settings.controlPath, force))
        return refusal;
    m_sets = MakeScoringSets(std::move(targets), controls.sequences, m_settings.controlPath.has_value(),
                             m_settings.bothStrands, static_cast<std::uint64_t>(m_settings.seed) * 2);
    RecordInputs(controls.residues);
    return std::nullopt;
}

Outcome DiscoveryRun::CheckCounts() const
{
    if (m_settings.widths.empty())
        return Refusal{"no motif width to try"};
    if (m_settings.restarts < 1 || m_settings.motifs < 1)
        return Refusal{"a discovery needs at least one restart and one motif"};
    return std::nullopt;
}

Outcome DiscoveryRun::CheckWidths(const SequenceTexts& targets) const
{
    std::size_t longest = 0;
    for (const std::string& sequence : targets.sequences)
        longest = std::max(longest, sequence.size());
    for (int width : m_settings.widths) {
        if (width < kDiscoverWidths.least)
            return Refusal{"motif width " + std::to_string(width) + " is too small: a motif needs at least " +
                           std::to_string(kDiscoverWidths.least) + " columns"};
        if (static_cast<std::size_t>(width) > longest)
            return Refusal{"motif width " + std::to_string(width) + " is above the length of every sequence in '" +
                           m_settings.inputPath + "' (the longest has " + std::to_string(longest) + ")"};
    }
    return std::nullopt;
}

Outcome DiscoveryRun::ReadControls(const SequenceTexts& targets, SequenceTexts& controls)
{
    if (m_settings.controlPath) {
        if (auto refusal = ReadSequenceTexts(*m_settings.controlPath, controls))
            return Refusal{"control set: " + refusal->message};
        m_discovery.warnings.insert(m_discovery.warnings.end(), controls.warnings.begin(), controls.warnings.end());
        m_discovery.controlSource = *m_settings.controlPath;
        return std::nullopt;
    }
    // Seeded apart from the restarts' streams, so the controls never depend on --jobs.
    controls.sequences = ShuffledControls(targets.sequences, ControlCopies(targets.sequences.size(), targets.residues),
                                          static_cast<std::uint64_t>(m_settings.seed) * 2 + 1);
    for (const std::string& sequence : controls.sequences)
        controls.residues += static_cast<long long>(sequence.size());
    m_discovery.controlSource = "shuffled targets, dinucleotides kept";
    return std::nullopt;
}

void DiscoveryRun::RecordInputs(long long controlResidues)
{
    m_discovery.settings = m_settings;
    m_discovery.targetNames = m_sets.targets.names;
    for (const std::string& sequence : m_sets.targets.sequences)
        m_discovery.targetLengths.push_back(static_cast<long long>(sequence.size()));
    m_discovery.sampledTargets = static_cast<int>(m_sets.sampled.size());
    m_discovery.trainingTargets = static_cast<int>(m_sets.training.size());
    m_discovery.testTargets = static_cast<int>(m_sets.test.size());
    m_discovery.controls = static_cast<int>(m_sets.controlCodes.size());
    m_discovery.controlResidues = controlResidues;

    const int restartsInRound = m_settings.restarts * static_cast<int>(m_settings.widths.size());
    m_tally.SetRounds(m_settings.motifs, restartsInRound,
                      static_cast<long long>(restartsInRound) * m_settings.iterations);
}

Outcome DiscoveryRun::Rounds()
{
    for (int round = 1; round <= m_settings.motifs; ++round) {
        m_tally.StartRound(round);
        const std::string fasta = "runs/round" + std::to_string(round) + ".fa";
        if (auto refusal = WriteRoundInput(m_sets, round, m_folder, fasta))
            return refusal;
        std::vector<RestartResult> results;
        if (auto refusal = RunRound(round, fasta, results))
            return refusal;
        if (!ReportRound(results))
            break;
    }
    return std::nullopt;
}

std::vector<RestartPlan> DiscoveryRun::PlanRound(int round, const std::string& fasta) const
{
    std::vector<RestartPlan> plan;
    for (int width : m_settings.widths) {
        for (int index = 1; index <= m_settings.restarts; ++index) {
            RestartPlan restart;
            RestartRecord& record = restart.record;
            record.round = round;
            record.width = width;
            record.index = index;
            const std::string stem = "runs/r" + std::to_string(round) + "-w" + std::to_string(width) + "-" +
                                     std::to_string(index);
            record.parameterFile = stem + ".params";
            record.reportFile = stem + ".txt";
            // Seeds follow the restarts' order over all rounds, whichever thread runs them.
            record.seed = RunSeed(m_settings.seed, m_restartsStarted + static_cast<std::int64_t>(plan.size()));
            restart.parameterText = ParameterText(m_settings, fasta, record.reportFile, width);
            plan.push_back(std::move(restart));
        }
    }
    return plan;
}

Outcome DiscoveryRun::RunRound(int round, const std::string& fasta, std::vector<RestartResult>& results)
{
    const std::vector<RestartPlan> plan = PlanRound(round, fasta);
    results = RunRestarts(plan, m_settings.jobs, fasta, m_folder, m_sets, m_tally);
    m_restartsStarted += static_cast<std::int64_t>(plan.size());
    if (m_tally.Cancelled())
        return Refusal{"discovery cancelled; the output folder holds only the restarts that finished"};
    for (const RestartResult& result : results)
        if (result.refusal)
            return result.refusal;
    m_tests += static_cast<int>(results.size()) * kFormsTested;
    return std::nullopt;
}

bool DiscoveryRun::ReportRound(std::vector<RestartResult>& results)
{
    const std::vector<Cluster> clusters = ClusterRestarts(results);
    const std::optional<ChosenCandidate> chosen = ChooseCandidate(m_sets, results, clusters, m_reported);
    for (RestartResult& result : results)
        result.record.log10EValue = Log10EValue(result.separation.log10P, m_tests);
    const double log10E = chosen ? Log10EValue(chosen->candidate.separation.log10P, m_tests) : 0.0;
    const bool significant = chosen && chosen->candidate.separation.targetHits > 0 &&
                             log10E <= std::log10(m_settings.evalueThreshold);
    if (significant)
        ReportMotif(chosen->candidate, clusters[chosen->cluster], results, log10E);
    else if (chosen)
        m_discovery.nextBestLog10EValue = log10E;
    for (const RestartResult& result : results)
        m_discovery.restarts.push_back(result.record);
    m_discovery.motifsTested = m_tests;
    return significant;
}

void DiscoveryRun::ReportMotif(const Candidate& chosen, const Cluster& cluster, std::vector<RestartResult>& results,
                               double log10E)
{
    DiscoveredMotif motif;
    motif.rank = static_cast<int>(m_discovery.motifs.size()) + 1;
    motif.consensus = chosen.summary.consensus;
    motif.id = std::to_string(motif.rank) + "-" + motif.consensus;
    motif.width = chosen.model.width;
    motif.log10PValue = chosen.separation.log10P;
    motif.log10EValue = log10E;
    motif.significant = true;
    const CallThresholds thresholds = ReportedThresholds(m_sets, chosen);
    motif.threshold = thresholds.first;
    motif.moreThreshold = thresholds.more;
    motif.targetHits = chosen.separation.targetHits;
    motif.targets = chosen.separation.targets;
    motif.controlHits = chosen.separation.controlHits;
    motif.controls = chosen.separation.controls;
    motif.foundBy = static_cast<int>(cluster.members.size());
    motif.restartsTried = static_cast<int>(results.size());
    motif.trimmedLeft = chosen.left;
    motif.trimmedRight = chosen.right;
    motif.model = chosen.summary;
    for (std::size_t member : cluster.members)
        results[member].record.motifRank = motif.rank;
    motif.source = results[cluster.representative].record;
    CallSitesAndMask(m_sets, motif, chosen.model, thresholds);
    m_reported.push_back(chosen.summary.probs);
    m_discovery.motifs.push_back(std::move(motif));
}

void DiscoveryRun::RankByEValue()
{
    // Rounds find motifs in turn, but a later round's motif can be the more
    // significant: the report ranks by E-value, and ids and restarts follow.
    std::vector<DiscoveredMotif>& motifs = m_discovery.motifs;
    std::stable_sort(motifs.begin(), motifs.end(), [](const DiscoveredMotif& a, const DiscoveredMotif& b) {
        return a.log10EValue < b.log10EValue;
    });
    std::vector<int> newRank(motifs.size() + 1, 0);
    for (std::size_t i = 0; i < motifs.size(); ++i) {
        newRank[static_cast<std::size_t>(motifs[i].rank)] = static_cast<int>(i) + 1;
        motifs[i].rank = static_cast<int>(i) + 1;
        motifs[i].id = std::to_string(motifs[i].rank) + "-" + motifs[i].consensus;
        motifs[i].source.motifRank = motifs[i].rank;
    }
    for (RestartRecord& restart : m_discovery.restarts)
        restart.motifRank = newRank[static_cast<std::size_t>(restart.motifRank)];
}

Outcome DiscoveryRun::WriteFiles()
{
    for (const DiscoveryFile& file : ComposeDiscoveryFiles(m_discovery))
        if (auto refusal = m_folder.Write(file.name, file.bytes))
            return refusal;
    return std::nullopt;
}

}  // namespace

std::string SequenceFileStem(const std::string& inputPath)
{
    std::string stem = FileStem(inputPath);
    return stem.empty() ? std::string("sequences") : stem;
}

std::string DefaultDiscoverOutputDir(const std::string& inputPath) { return SequenceFileStem(inputPath) + ".kalvo"; }

std::string SavedInputName(bool gzip) { return gzip ? "input.fa.gz" : "input.fa"; }

Outcome RunDiscovery(const DiscoverSettings& settings, bool force, OutputFolder& folder, Discovery& discovery,
                     const DiscoverProgressCallback& progress)
{
    assert(folder.Path() == settings.outputDir);
    discovery = Discovery{};
    DiscoveryRun run(settings, folder, discovery, progress);
    if (auto refusal = run.Prepare(force))
        return refusal;
    if (auto refusal = run.Rounds())
        return refusal;
    run.RankByEValue();
    return run.WriteFiles();
}

Outcome RunDiscovery(const DiscoverSettings& settings, bool force, Discovery& discovery,
                     const DiscoverProgressCallback& progress)
{
    OutputFolder folder(settings.outputDir);
    return RunDiscovery(settings, force, folder, discovery, progress);
}

}  // namespace kalvo
