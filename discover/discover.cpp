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
#include "discover/input_checks.h"
#include "discover/known_section.h"
#include "discover/motif_measures.h"
#include "discover/motif_naming.h"
#include "discover/discovery_names.h"
#include "discover/motif_scan.h"
#include "discover/restarts.h"
#include "discover/scoring_sets.h"
#include "discover/shuffle.h"
#include "discover/site_calls.h"
#include "discover/tandem_repeats.h"
#include "model/parameter_text.h"
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

// Residues on each side of a site that show whether it lies in a tandem repeat.
constexpr int kRepeatContext = 6;

// Null rounds of a set too small to hold some out: enough for about 48 null
// restarts, at least two rounds and at most six.
int NullRoundCount(int restartsInRound)
{
    constexpr int kNullRestarts = 48;
    return std::clamp((kNullRestarts + restartsInRound - 1) / std::max(1, restartsInRound), 2, 6);
}

// The sets with every target replaced by its shuffle in copy `copy` of `shuffles` (copy-major).
ScoringSets ShuffledTargets(const ScoringSets& sets, const std::vector<std::string>& shuffles, int copy)
{
    ScoringSets shuffled = sets;
    const std::size_t n = sets.targets.sequences.size();
    for (std::size_t i = 0; i < n; ++i) {
        shuffled.targets.sequences[i] = shuffles[static_cast<std::size_t>(copy) * n + i];
        shuffled.targetCodes[i] = EncodeSequence(shuffled.targets.sequences[i]);
    }
    return shuffled;
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
    // Which known motifs are enriched in the targets, before the rounds mask the motifs' sites.
    Outcome EnrichKnownSection();
    // The known motifs each reported motif resembles, when the discovery names them.
    void NameReportedMotifs();
    Outcome WriteFiles();
    // False once the front end has cancelled the discovery, asked once more before the folder is committed.
    bool StillWanted() { return m_tally.Add(0, 0); }

private:
    Outcome CheckCounts() const;
    // The widths against the sequences the restarts sample and the controls,
    // and the sets against the E-value threshold, before anything is written.
    Outcome CheckSets() const;
    // The user's control file, or shuffled copies of the targets.
    Outcome ReadControls(const SequenceTexts& targets, SequenceTexts& controls);
    // What the discovery records of its inputs, and the size of its rounds for the progress display.
    void RecordInputs(long long controlResidues);
    // The known motifs to name the motifs after. Files the user gave must load; the
    // bundled collection, when it cannot be found, leaves the motifs unnamed with a warning.
    Outcome LoadKnownMotifs();

    // Names, seeds and parameter texts of a round's restarts, in the order their
    // seeds are drawn; null rounds draw theirs backwards from the base seed.
    std::vector<RestartPlan> PlanRound(int round, const std::string& fasta, bool null) const;
    // Runs a round's restarts on `sets`; refused when one was, or when the discovery was cancelled.
    Outcome RunRound(int round, const std::string& fasta, const ScoringSets& sets, bool null,
                     std::vector<RestartResult>& results);
    // Before the first round of a set too small to hold some out: rounds of
    // restarts on shuffled copies of the targets, to see what chance reaches.
    Outcome NullRounds();
    // log10 E-value of a p-value that one of the restarts run so far reached.
    double Log10E(double log10P) const;
    // Merges the round's restarts, reports its motif when it is significant, lists
    // the significant tandem repeats ranked above it and records the restarts;
    // false when the round found nothing significant, repeat or not.
    bool ReportRound(std::vector<RestartResult>& results);
    // Whether a candidate is a short tandem repeat, judged by its consensus and its sites in the training targets.
    RepeatVerdict JudgeCandidate(const Candidate& candidate) const;
    // Lists a significant repeat apart from the ranked motifs and masks its sites, so the next round looks past it.
    void ListLowComplexity(const Candidate& repeat, const RepeatVerdict& verdict, double log10E);
    // Records a significant motif that too few restarts found; it is not reported nor masked.
    void SetAside(const Candidate& lone, const Cluster& cluster, std::size_t restarts, double log10E);
    void ReportMotif(const Candidate& chosen, const Cluster& cluster, std::vector<RestartResult>& results,
                     double log10E);

    const DiscoverSettings& m_settings;
    OutputFolder& m_folder;
    Discovery& m_discovery;
    ProgressTally m_tally;
    ScoringSets m_sets;
    std::vector<MotifShares> m_reported;  // motifs of the earlier rounds
    std::vector<MotifShares> m_setAside;  // lone motifs set aside so far
    int m_tests = 0;
    std::int64_t m_restartsStarted = 0;
    int m_nullRounds = 0;
    std::int64_t m_nullStarted = 0;
    std::vector<double> m_nullLog10P;  // of every null restart's motif
    std::vector<KnownMotif> m_known;   // what the motifs are named after; empty when they are not named
    int m_round = 0;
};

Outcome DiscoveryRun::Prepare(bool force)
{
    if (auto refusal = CheckCounts())
        return refusal;
    SequenceTexts targets;
    if (auto refusal = ReadSequenceTexts(m_folder.Readable(m_settings.inputPath), targets))
        return refusal;
    m_discovery.warnings = targets.warnings;
    if (auto refusal = CheckResidues(targets, m_settings.inputPath, m_settings.widths))
        return refusal;
    SequenceTexts controls;
    if (auto refusal = ReadControls(targets, controls))
        return refusal;
    m_sets = MakeScoringSets(std::move(targets), controls.sequences, m_settings.controlPath.has_value(),
                             m_settings.bothStrands, static_cast<std::uint64_t>(m_settings.seed) * 2);
    if (auto refusal = CheckSets())
        return refusal;
    if (auto refusal = LoadKnownMotifs())
        return refusal;
    if (auto refusal = m_folder.Claim(m_settings.inputPath, m_settings.controlPath, force))
        return refusal;
    RecordInputs(controls.residues);
    return std::nullopt;
}

Outcome DiscoveryRun::CheckCounts() const
{
    if (m_settings.widths.empty())
        return Refusal{"no motif width to try"};
    for (int width : m_settings.widths) {
        if (width < kDiscoverWidths.least)
            return Refusal{"motif width " + std::to_string(width) + " is too small: a motif needs at least " +
                           std::to_string(kDiscoverWidths.least) + " columns"};
    }
    if (m_settings.restarts < 1 || m_settings.motifs < 1)
        return Refusal{"a discovery needs at least one restart and one motif"};
    return std::nullopt;
}

Outcome DiscoveryRun::CheckSets() const
{
    if (auto refusal = CheckSampledWidths(m_sets, m_settings.widths, m_settings.inputPath))
        return refusal;
    const int firstRoundTests = m_settings.restarts * static_cast<int>(m_settings.widths.size()) * kFormsTested;
    if (auto refusal = CheckCanBeSignificant(m_sets, firstRoundTests, m_settings.evalueThreshold,
                                             m_settings.controlPath))
        return refusal;
    if (m_settings.controlPath)
        return CheckControlWidths(m_sets, m_settings.widths, *m_settings.controlPath);
    return std::nullopt;
}

Outcome DiscoveryRun::ReadControls(const SequenceTexts& targets, SequenceTexts& controls)
{
    if (m_settings.controlPath) {
        if (auto refusal = ReadSequenceTexts(*m_settings.controlPath, controls))
            return Refusal{"control set: " + refusal->message};
        m_discovery.warnings.insert(m_discovery.warnings.end(), controls.warnings.begin(), controls.warnings.end());
        if (auto refusal = CheckResidues(controls, *m_settings.controlPath, m_settings.widths))
            return Refusal{"control set: " + refusal->message};
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
    m_nullRounds = HoldsOut(m_sets) ? 0 : NullRoundCount(restartsInRound);
    // The first round's progress counts the null rounds too.
    const int firstRound = restartsInRound * (1 + m_nullRounds);
    m_tally.SetRounds(m_settings.motifs, firstRound, static_cast<long long>(firstRound) * m_settings.iterations);
}

Outcome DiscoveryRun::Rounds()
{
    const int restartsInRound = m_settings.restarts * static_cast<int>(m_settings.widths.size());
    // A round that finds only repeats masks them and lets the next round look past them, within the
    // --motifs rounds asked for: a discovery never runs more rounds, nor takes longer, than without repeats.
    for (int round = 1; round <= m_settings.motifs; ++round) {
        m_round = round;
        if (round == 2)
            m_tally.SetRounds(m_settings.motifs, restartsInRound,
                              static_cast<long long>(restartsInRound) * m_settings.iterations);
        m_tally.StartRound(round);
        const std::string fasta = "runs/round" + std::to_string(round) + ".fa";
        if (auto refusal = WriteRoundInput(m_sets, round, m_folder, fasta))
            return refusal;
        if (round == 1) {
            if (auto refusal = NullRounds())
                return refusal;
        }
        std::vector<RestartResult> results;
        if (auto refusal = RunRound(round, fasta, m_sets, false, results))
            return refusal;
        if (!ReportRound(results))
            break;
    }
    return std::nullopt;
}

std::vector<RestartPlan> DiscoveryRun::PlanRound(int round, const std::string& fasta, bool null) const
{
    std::vector<RestartPlan> plan;
    for (int width : m_settings.widths) {
        for (int index = 1; index <= m_settings.restarts; ++index) {
            RestartPlan restart;
            RestartRecord& record = restart.record;
            record.round = round;
            record.width = width;
            record.index = index;
            const std::string stem = std::string(null ? "runs/n" : "runs/r") + std::to_string(round) + "-w" +
                                     std::to_string(width) + "-" + std::to_string(index);
            record.parameterFile = stem + ".params";
            record.reportFile = stem + ".txt";
            // Seeds follow the restarts' order over all rounds, whichever thread runs
            // them; the null restarts' seeds never meet theirs and leave them as they were.
            const auto planned = static_cast<std::int64_t>(plan.size());
            record.seed = null ? RunSeed(m_settings.seed, -1 - m_nullStarted - planned)
                               : RunSeed(m_settings.seed, m_restartsStarted + planned);
            restart.parameterText = ParameterText(m_settings, fasta, record.reportFile, width);
            plan.push_back(std::move(restart));
        }
    }
    return plan;
}

Outcome DiscoveryRun::RunRound(int round, const std::string& fasta, const ScoringSets& sets, bool null,
                               std::vector<RestartResult>& results)
{
    const std::vector<RestartPlan> plan = PlanRound(round, fasta, null);
    results = RunRestarts(plan, m_settings.jobs, fasta, m_folder, sets, m_tally);
    (null ? m_nullStarted : m_restartsStarted) += static_cast<std::int64_t>(plan.size());
    if (m_tally.Cancelled())
        return Refusal{"discovery cancelled"};
    for (const RestartResult& result : results)
        if (result.refusal)
            return result.refusal;
    if (!null)
        m_tests += static_cast<int>(results.size()) * kFormsTested;
    return std::nullopt;
}

Outcome DiscoveryRun::NullRounds()
{
    // Copies of the targets with their dinucleotides kept hold no motif but
    // what chance makes, so a restart's p-value there is one chance reached
    // under the very search that a motif of the targets went through. The
    // shuffles draw from a stream of their own, apart from the split's and the controls'.
    const std::vector<std::string> shuffles = ShuffledControls(
        m_sets.targets.sequences, m_nullRounds, (std::uint64_t{1} << 40) | m_settings.seed);
    for (int round = 1; round <= m_nullRounds; ++round) {
        const ScoringSets nullSets = ShuffledTargets(m_sets, shuffles, round - 1);
        const std::string fasta = "runs/null" + std::to_string(round) + ".fa";
        if (auto refusal = WriteRoundInput(nullSets, 1, m_folder, fasta))
            return refusal;
        std::vector<RestartResult> results;
        if (auto refusal = RunRound(round, fasta, nullSets, true, results))
            return refusal;
        for (const RestartResult& result : results) {
            const double log10P = result.record.sites > 0 ? BestForm(nullSets, result).separation.log10P : 0.0;
            m_nullLog10P.push_back(log10P);
            m_discovery.nullRestarts.push_back(NullRestart{result.record, log10P});
        }
    }
    return std::nullopt;
}

double DiscoveryRun::Log10E(double log10P) const
{
    return HoldsOut(m_sets) ? Log10EValue(log10P, m_tests)
                            : Log10CalibratedEValue(log10P, m_nullLog10P, m_restartsStarted);
}

bool DiscoveryRun::ReportRound(std::vector<RestartResult>& results)
{
    const std::vector<Cluster> clusters = ClusterRestarts(results);
    const std::size_t support = SupportNeeded(m_sets, results.size());
    const std::vector<ChosenCandidate> ranked = RankCandidates(m_sets, results, clusters, m_reported, support);
    for (RestartResult& result : results)
        result.record.log10EValue = Log10E(result.separation.log10P);
    auto significantAt = [this](const Candidate& candidate, double log10E) {
        return candidate.separation.targetHits > 0 && log10E <= std::log10(m_settings.evalueThreshold);
    };
    // The best candidate that is no tandem repeat and that enough restarts found is the
    // round's motif; the repeats ranked above it are listed apart, the lone motifs set aside.
    const ChosenCandidate* chosen = nullptr;
    std::vector<std::pair<const ChosenCandidate*, RepeatVerdict>> repeats;
    bool setAside = false;
    for (const ChosenCandidate& candidate : ranked) {
        RepeatVerdict verdict = m_settings.keepLowComplexity ? RepeatVerdict{} : JudgeCandidate(candidate.candidate);
        if (verdict.repeat) {
            repeats.emplace_back(&candidate, std::move(verdict));
        } else if (clusters[candidate.cluster].members.size() < support) {
            const double loneLog10E = Log10E(candidate.candidate.separation.log10P);
            if (significantAt(candidate.candidate, loneLog10E)) {
                SetAside(candidate.candidate, clusters[candidate.cluster], results.size(), loneLog10E);
                setAside = true;
            }
        } else {
            chosen = &candidate;
            break;
        }
    }
    const double log10E = chosen ? Log10E(chosen->candidate.separation.log10P) : 0.0;
    const bool significant = chosen && significantAt(chosen->candidate, log10E);
    if (significant)
        ReportMotif(chosen->candidate, clusters[chosen->cluster], results, log10E);
    bool repeatsListed = false;
    for (const auto& [repeat, verdict] : repeats) {
        const double repeatLog10E = Log10E(repeat->candidate.separation.log10P);
        if (!significantAt(repeat->candidate, repeatLog10E))
            continue;
        ListLowComplexity(repeat->candidate, verdict, repeatLog10E);
        repeatsListed = true;
    }
    if (!significant && chosen)
        m_discovery.nextBestLog10EValue = log10E;
    else if (!significant && !repeatsListed && !setAside && !ranked.empty())
        m_discovery.nextBestLog10EValue = Log10E(ranked.front().candidate.separation.log10P);
    for (const RestartResult& result : results)
        m_discovery.restarts.push_back(result.record);
    m_discovery.motifsTested = m_tests;
    return significant || repeatsListed;
}

void DiscoveryRun::SetAside(const Candidate& lone, const Cluster& cluster, std::size_t restarts, double log10E)
{
    // A lone motif left unmasked can be found alone again in the next round: it is listed once.
    for (const MotifShares& shares : m_setAside)
        if (MotifSimilarity(shares, lone.summary.probs) >= kSameMotifSimilarity)
            return;
    m_setAside.push_back(lone.summary.probs);
    m_discovery.setAside.push_back(SetAsideMotif{lone.summary.consensus, lone.model.width, log10E,
                                                 static_cast<int>(cluster.members.size()),
                                                 static_cast<int>(restarts), m_round});
}

RepeatVerdict DiscoveryRun::JudgeCandidate(const Candidate& candidate) const
{
    const std::vector<std::string> contexts = SiteContexts(m_sets, candidate.model, candidate.separation.threshold,
                                                           m_sets.training, kRepeatContext);
    return JudgeRepeat(candidate.summary.consensus, candidate.summary.probs, contexts);
}

void DiscoveryRun::ListLowComplexity(const Candidate& repeat, const RepeatVerdict& verdict, double log10E)
{
    DiscoveredMotif sites;
    CallSitesAndMask(m_sets, sites, repeat.model, ReportedThresholds(m_sets, repeat));
    LowComplexityMotif listed;
    listed.consensus = repeat.summary.consensus;
    listed.width = repeat.model.width;
    listed.log10EValue = log10E;
    listed.sites = static_cast<int>(sites.sites.size());
    listed.round = m_round;
    listed.unit = verdict.unit;
    listed.siteShare = verdict.siteShare;
    listed.reason = verdict.reason;
    m_reported.push_back(repeat.summary.probs);
    m_discovery.lowComplexity.push_back(std::move(listed));
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

Outcome DiscoveryRun::LoadKnownMotifs()
{
    if (!m_settings.nameMotifs)
        return std::nullopt;
    const MotifDatabaseChoice& choice = m_settings.knownMotifs;
    MotifDatabase database = LoadMotifDatabase(choice);
    if (database.refusal) {
        if (!choice.files.empty() || !choice.taxa.empty())
            return database.refusal;
        m_discovery.warnings.push_back("the motifs are not named after known ones: " + database.refusal->message);
        return std::nullopt;
    }
    m_known = std::move(database.motifs);
    m_discovery.knownMotifs = static_cast<int>(m_known.size());
    std::string& source = m_discovery.knownSource;
    source = choice.files.empty() ? kBundledMotifsName : "";
    for (const std::string& file : choice.files)
        source += (source.empty() ? "" : ", ") + file;
    return std::nullopt;
}

Outcome DiscoveryRun::EnrichKnownSection()
{
    if (!m_settings.knownSection || m_known.empty())
        return std::nullopt;
    return EnrichKnownMotifs(m_known, m_sets, m_settings.jobs, [this] { return StillWanted(); },
                             m_discovery.knownEnrichment.emplace());
}

void DiscoveryRun::NameReportedMotifs()
{
    if (!m_known.empty())
        NameMotifs(m_discovery.motifs, DiscoveryMotifIds(m_discovery), m_known, m_settings.jobs);
    MarkEnrichedMatches(m_discovery);
}

Outcome DiscoveryRun::WriteFiles()
{
    for (const DiscoveryFile& file : ComposeDiscoveryFiles(m_discovery))
        if (auto refusal = m_folder.Write(file.name, file.bytes))
            return refusal;
    return std::nullopt;
}

}  // namespace

std::string DefaultDiscoverOutputDir(const std::string& inputPath) { return SequenceFileStem(inputPath) + ".kalvo"; }

Outcome RunDiscovery(const DiscoverSettings& settings, bool force, OutputFolder& folder, Discovery& discovery,
                     const DiscoverProgressCallback& progress)
{
    assert(folder.Path() == settings.outputDir);
    discovery = Discovery{};
    // However the discovery ends short of the commit, refused or thrown out of, nothing of it stays.
    struct AbandonUnlessCommitted {
        OutputFolder& folder;
        ~AbandonUnlessCommitted() { folder.Abandon(); }
    } const abandon{folder};
    DiscoveryRun run(settings, folder, discovery, progress);
    if (auto refusal = run.Prepare(force))
        return refusal;
    if (auto refusal = run.EnrichKnownSection())
        return refusal;
    if (auto refusal = run.Rounds())
        return refusal;
    run.RankByEValue();
    run.NameReportedMotifs();
    if (auto refusal = run.WriteFiles())
        return refusal;
    if (!run.StillWanted())
        return Refusal{"discovery cancelled"};
    return folder.Commit();
}

Outcome RunDiscovery(const DiscoverSettings& settings, bool force, Discovery& discovery,
                     const DiscoverProgressCallback& progress)
{
    OutputFolder folder(settings.outputDir);
    return RunDiscovery(settings, force, folder, discovery, progress);
}

}  // namespace kalvo
