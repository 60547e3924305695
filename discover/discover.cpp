// discover/discover.cpp: rounds of restarts, their significance, merging, trimming and site calls.
#include "discover/discover.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#include "discover/discovery_files.h"
#include "discover/motif_scan.h"
#include "discover/motif_similarity.h"
#include "discover/shuffle.h"
#include "discover/significance.h"
#include "model/parameter_text.h"
#include "report/run_summary.h"
#include "util/append_file.h"
#include "util/file_stem.h"
#include "util/random.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace fs = std::filesystem;
namespace {

// Sequences read the way every run reads them: upper case, names without '>'.
struct SequenceTexts {
    std::vector<std::string> headers;  // header lines as read, '>' included
    std::vector<std::string> names;
    std::vector<std::string> sequences;
    long long residues = 0;
    std::vector<std::string> warnings;  // what was read loosely
};

Outcome ReadSequenceTexts(const std::string& path, SequenceTexts& set)
{
    CMotifSampler reader;
    reader.m_inputPath = path;
    reader.m_width = 1;
    if (auto refusal = reader.ReadSequences())
        return refusal;
    set.warnings = std::move(reader.m_warnings);
    set.headers.reserve(reader.m_seqs.size());
    set.sequences.reserve(reader.m_seqs.size());
    for (std::size_t s = 0; s < reader.m_seqs.size(); ++s) {
        set.headers.emplace_back(reader.m_seqs.Header(s));
        set.sequences.emplace_back(reader.m_seqs[s]);
    }
    set.residues = reader.m_totalLength;
    for (const std::string& header : set.headers)
        set.names.push_back(!header.empty() && header.front() == '>' ? header.substr(1) : header);
    return std::nullopt;
}

// Copies of every target, shuffled with their dinucleotides kept: at least as
// many residues as the targets, and at least about a thousand sequences when the set is small.
int ControlCopies(std::size_t targets)
{
    constexpr std::size_t kWantedControls = 1000;
    constexpr std::size_t kMostCopies = 10;
    const std::size_t copies = (kWantedControls + targets - 1) / std::max<std::size_t>(targets, 1);
    return static_cast<int>(std::clamp<std::size_t>(copies, 1, kMostCopies));
}

std::vector<int> AllIndexes(std::size_t n)
{
    std::vector<int> all(n);
    for (std::size_t i = 0; i < n; ++i)
        all[i] = static_cast<int>(i);
    return all;
}

// Seeded, sorted split of the targets: two thirds for training (where
// thresholds are chosen and motifs refitted), the rest to test on; the
// restarts sample a part of the training targets, as many residues as it takes
// to find a motif and no more, since their time grows with it. Small sets are
// used whole for everything.
struct TargetSplit {
    std::vector<int> sampled;
    std::vector<int> training;
    std::vector<int> test;
};

TargetSplit SplitTargets(const SequenceTexts& targets, std::uint64_t seed)
{
    const int n = static_cast<int>(targets.sequences.size());
    std::vector<int> order = AllIndexes(static_cast<std::size_t>(n));
    if (n < kMinSequencesForHoldOut)
        return TargetSplit{order, order, order};
    ShuffleRandom random(seed);
    for (int i = n - 1; i > 0; --i)
        std::swap(order[static_cast<std::size_t>(i)], order[random.Below(static_cast<std::uint64_t>(i) + 1)]);
    const int training = std::max(1, 2 * n / 3);
    long long residues = 0;
    int sampled = 0;
    while (sampled < training) {
        const auto index = static_cast<std::size_t>(order[static_cast<std::size_t>(sampled)]);
        const auto length = static_cast<long long>(targets.sequences[index].size());
        if (sampled >= kMinSequencesForHoldOut / 2 && residues + length > kSampledResidues)
            break;
        residues += length;
        ++sampled;
    }
    TargetSplit split;
    split.sampled.assign(order.begin(), order.begin() + sampled);
    split.training.assign(order.begin(), order.begin() + training);
    split.test.assign(order.begin() + training, order.end());
    for (auto* part : {&split.sampled, &split.training, &split.test})
        std::sort(part->begin(), part->end());
    return split;
}

std::string ParameterText(const DiscoverSettings& settings, const std::string& fasta, const std::string& report,
                          int width)
{
    ParameterFileValues values = CorrelatedRunValues(fasta, report, width, settings.iterations);
    values.oneSite = settings.oneSite;
    values.givenStrand = !settings.bothStrands;
    values.mask = settings.mask;
    return ParameterFileText(values);
}

// What one restart leaves: its record, its motif and how well it separates.
struct RestartResult {
    RestartRecord record;
    std::optional<Refusal> refusal;
    MotifModel model;
    RunSummary summary;  // counts, shares, consensus and groups of its best state
    Separation separation;
};

// Scores of the best word of every listed sequence.
std::vector<double> BestScores(const MotifScanner& scanner, const std::vector<std::vector<std::uint8_t>>& codes,
                               const std::vector<int>& which, bool bothStrands)
{
    std::vector<double> best;
    best.reserve(which.size());
    for (int i : which)
        best.push_back(scanner.BestScore(codes[static_cast<std::size_t>(i)], bothStrands));
    return best;
}


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

// Weight of an expected false site call against a true one, for reported sites.
constexpr double kReportedFalseCallCost = 1.5;

// Forms in which a restart's motif can be tested: as found, three trims, refitted.
constexpr int kFormsTested = 5;

// A merged motif in the making: its best restart and how many restarts agree.
struct Cluster {
    std::size_t representative = 0;
    std::vector<std::size_t> members;
};

struct Candidate {
    MotifModel model;
    RunSummary summary;
    Separation separation;
    int left = 0;
    int right = 0;
};

class DiscoveryRun {
public:
    DiscoveryRun(const DiscoverSettings& settings, Discovery& discovery, const DiscoverProgressCallback& progress)
        : m_settings(settings), m_discovery(discovery), m_progress(progress), m_outputDir(settings.outputDir)
    {
    }

    Outcome Prepare(bool force);
    Outcome Rounds();
    void RankByEValue();
    Outcome WriteFiles();

private:
    Outcome WriteRoundInput(int round, const std::string& name);
    void RunRestart(RestartResult& result, int round, int width, int index, std::int64_t k,
                    const std::string& fasta);
    Candidate Trimmed(const RestartResult& restart);
    Separation Separate(const MotifScanner& scanner) const;
    // Site-call threshold of a motif, from the windows of the listed targets and
    // of the controls that score at least `floor`.
    CallThresholds CallThreshold(const MotifScanner& scanner, double floor, const std::vector<int>& targets,
                                 double falseCallCost) const;
    // The candidate refitted to the sites it calls in the training targets, when that separates better.
    void Refine(Candidate& candidate);
    void CallSitesAndMask(DiscoveredMotif& motif, const MotifModel& model, const CallThresholds& thresholds);
    bool Report(long long iterationsMore, int restartsMore);

    const DiscoverSettings& m_settings;
    Discovery& m_discovery;
    const DiscoverProgressCallback& m_progress;
    fs::path m_outputDir;

    SequenceTexts m_targets;
    std::vector<std::vector<std::uint8_t>> m_targetCodes;
    std::vector<std::vector<std::uint8_t>> m_controlCodes;
    std::vector<int> m_sampled;   // what the restarts sample: part of the training targets
    std::vector<int> m_training;
    std::vector<int> m_test;
    std::vector<int> m_allControls;
    std::vector<int> m_choosingControls;  // where a held-out test chooses its threshold
    std::vector<int> m_testingControls;   // where it measures it
    int m_tests = 0;
    std::int64_t m_restartsStarted = 0;

    std::mutex m_progressMutex;
    DiscoverProgress m_state;
    std::atomic<bool> m_cancelled{false};
};

bool DiscoveryRun::Report(long long iterationsMore, int restartsMore)
{
    if (m_cancelled)
        return false;
    std::lock_guard lock(m_progressMutex);
    m_state.iterationsDone += iterationsMore;
    m_state.restartsDone += restartsMore;
    if (m_progress && !m_progress(m_state))
        m_cancelled = true;
    return !m_cancelled;
}

Outcome DiscoveryRun::Prepare(bool force)
{
    const DiscoverSettings& settings = m_settings;
    if (settings.widths.empty())
        return Refusal{"no motif width to try"};
    if (settings.restarts < 1 || settings.motifs < 1)
        return Refusal{"a discovery needs at least one restart and one motif"};
    if (auto refusal = ReadSequenceTexts(settings.inputPath, m_targets))
        return refusal;
    m_discovery.warnings = m_targets.warnings;
    std::size_t longest = 0;
    for (const std::string& sequence : m_targets.sequences)
        longest = std::max(longest, sequence.size());
    for (int width : settings.widths) {
        if (width < 2)
            return Refusal{"motif width " + std::to_string(width) + " is too small: a motif needs at least 2 columns"};
        if (static_cast<std::size_t>(width) > longest)
            return Refusal{"motif width " + std::to_string(width) + " is above the length of every sequence in '" +
                           settings.inputPath + "' (the longest has " + std::to_string(longest) + ")"};
    }
    SequenceTexts controls;
    if (settings.controlPath) {
        if (auto refusal = ReadSequenceTexts(*settings.controlPath, controls))
            return Refusal{"control set: " + refusal->message};
        m_discovery.warnings.insert(m_discovery.warnings.end(), controls.warnings.begin(), controls.warnings.end());
        m_discovery.controlSource = *settings.controlPath;
    } else {
        // Seeded apart from the restarts' streams, so the controls never depend on --jobs.
        controls.sequences = ShuffledControls(m_targets.sequences, ControlCopies(m_targets.sequences.size()),
                                              static_cast<std::uint64_t>(settings.seed) * 2 + 1);
        for (const std::string& sequence : controls.sequences)
            controls.residues += static_cast<long long>(sequence.size());
        m_discovery.controlSource = "shuffled targets, dinucleotides kept";
    }

    // The output folder: refused when it holds anything and --force was not given,
    // and never when one of its files would be an input.
    std::error_code ec;
    if (fs::exists(m_outputDir, ec)) {
        if (!fs::is_directory(m_outputDir, ec))
            return Refusal{"output folder '" + m_outputDir.string() + "' is a file, not a folder"};
        // The input's saved copy of standard input is not a file the discovery writes.
        auto isSavedInput = [&](const fs::directory_entry& entry, int depth) {
            const std::string name = entry.path().filename().string();
            return depth == 0 && (name == SavedInputName(false) || name == SavedInputName(true)) &&
                   fs::equivalent(entry.path(), settings.inputPath, ec);
        };
        bool holdsFiles = false;
        for (const auto& entry : fs::directory_iterator(m_outputDir, ec))
            holdsFiles = holdsFiles || !isSavedInput(entry, 0);
        if (!force && holdsFiles)
            return Refusal{"output folder '" + m_outputDir.string() +
                           "' already holds files: name another with --output-dir, or replace them with --force"};
        std::error_code walk;
        for (auto entry = fs::recursive_directory_iterator(m_outputDir, walk);
             !walk && entry != fs::recursive_directory_iterator(); entry.increment(walk)) {
            if (isSavedInput(*entry, entry.depth()))
                continue;
            for (const std::string& input : {settings.inputPath, settings.controlPath.value_or(std::string())}) {
                if (!input.empty() && fs::equivalent(entry->path(), input, ec))
                    return Refusal{"output folder '" + m_outputDir.string() + "' holds the input file '" + input +
                                   "', which the discovery would overwrite: name another folder"};
            }
        }
    }
    fs::create_directories(m_outputDir / "runs", ec);
    if (ec)
        return Refusal{"cannot create output folder '" + (m_outputDir / "runs").string() + "': " + ec.message()};

    m_targetCodes.reserve(m_targets.sequences.size());
    for (const std::string& sequence : m_targets.sequences)
        m_targetCodes.push_back(EncodeSequence(sequence));
    for (const std::string& sequence : controls.sequences)
        m_controlCodes.push_back(EncodeSequence(sequence));
    m_allControls = AllIndexes(m_controlCodes.size());
    TargetSplit split = SplitTargets(m_targets, static_cast<std::uint64_t>(settings.seed) * 2);
    m_sampled = std::move(split.sampled);
    m_training = std::move(split.training);
    m_test = std::move(split.test);
    // Shuffled controls are tested against the targets they were shuffled from,
    // so a motif never separates the two sets by their letter composition alone;
    // a control file is split in two.
    std::vector<char> inTest(m_targets.sequences.size(), 0);
    for (int i : m_test)
        inTest[static_cast<std::size_t>(i)] = 1;
    for (int k : m_allControls) {
        const bool testing = settings.controlPath ? k % 2 == 1
                                                  : inTest[static_cast<std::size_t>(k) % m_targets.sequences.size()] != 0;
        (testing ? m_testingControls : m_choosingControls).push_back(k);
    }

    m_discovery.settings = settings;
    m_discovery.targetNames = m_targets.names;
    for (const std::string& sequence : m_targets.sequences)
        m_discovery.targetLengths.push_back(static_cast<long long>(sequence.size()));
    m_discovery.sampledTargets = static_cast<int>(m_sampled.size());
    m_discovery.trainingTargets = static_cast<int>(m_training.size());
    m_discovery.testTargets = static_cast<int>(m_test.size());
    m_discovery.controls = static_cast<int>(m_controlCodes.size());
    m_discovery.controlResidues = controls.residues;

    m_state.rounds = settings.motifs;
    m_state.restartsInRound = settings.restarts * static_cast<int>(settings.widths.size());
    m_state.iterationsInRound = static_cast<long long>(m_state.restartsInRound) * settings.iterations;
    return std::nullopt;
}

Outcome DiscoveryRun::WriteRoundInput(int round, const std::string& name)
{
    // The training targets as the restarts of this round see them: sites of the
    // motifs already reported are N, so no restart finds them again.
    std::string text;
    for (int i : m_sampled) {
        const auto index = static_cast<std::size_t>(i);
        text += m_targets.headers[index];
        text += '\n';
        const auto& codes = m_targetCodes[index];
        std::string sequence = m_targets.sequences[index];
        for (std::size_t j = 0; round > 1 && j < sequence.size(); ++j)
            if (codes[j] > 3)
                sequence[j] = 'N';
        text += sequence;
        text += '\n';
    }
    if (auto problem = ReplaceWhole((m_outputDir / name).string(), text))
        return Refusal{"cannot write '" + (m_outputDir / name).string() + "': " + *problem};
    return std::nullopt;
}

Separation DiscoveryRun::Separate(const MotifScanner& scanner) const
{
    const bool both = m_settings.bothStrands;
    if (m_training == m_test) {
        return BestSeparation(BestScores(scanner, m_targetCodes, m_test, both),
                              BestScores(scanner, m_controlCodes, m_allControls, both));
    }
    // The threshold is chosen on the training targets and one half of the
    // controls, and tested on sequences that played no part in choosing it:
    // the test targets and the other half. A threshold picked among many on the
    // same data it is tested on would make chance look significant.
    const Separation chosen = BestSeparation(BestScores(scanner, m_targetCodes, m_training, both),
                                             BestScores(scanner, m_controlCodes, m_choosingControls, both));
    return SeparationAt(chosen.threshold, BestScores(scanner, m_targetCodes, m_test, both),
                        BestScores(scanner, m_controlCodes, m_testingControls, both));
}

void DiscoveryRun::RunRestart(RestartResult& result, int round, int width, int index, std::int64_t k,
                              const std::string& fasta)
{
    RestartRecord& record = result.record;
    record.round = round;
    record.width = width;
    record.index = index;
    const std::string stem = "runs/r" + std::to_string(round) + "-w" + std::to_string(width) + "-" +
                             std::to_string(index);
    record.parameterFile = stem + ".params";
    record.reportFile = stem + ".txt";
    record.seed = RunSeed(m_settings.seed, k);
    const std::string text = ParameterText(m_settings, fasta, record.reportFile, width);
    if (auto problem = ReplaceWhole((m_outputDir / record.parameterFile).string(), text)) {
        result.refusal = Refusal{"cannot write '" + (m_outputDir / record.parameterFile).string() + "': " + *problem};
        return;
    }
    CMotifSampler run;
    if (auto refusal = run.LoadParametersText(text, record.parameterFile)) {
        result.refusal = refusal;
        return;
    }
    // The restart's paths are written relative to the output folder, where
    // `kalvo run` repeats it; the run itself reads and checks them from here,
    // and its report names its input as the parameter file does.
    run.m_inputPath = (m_outputDir / fasta).string();
    run.m_outputPath = (m_outputDir / record.reportFile).string();
    // A long iteration reports more than once: only a new iteration counts.
    int iterationsCounted = 0;
    const ProgressCallback progress = [this, &iterationsCounted](const RunProgress& step) {
        const int more = step.iteration - iterationsCounted;
        iterationsCounted = step.iteration;
        return Report(more, 0);
    };
    if (auto refusal = run.Sample(record.seed, progress)) {
        result.refusal = refusal;
        return;
    }
    run.m_inputPath = fasta;
    run.InstallBestState();
    if (auto problem = ReplaceWhole((m_outputDir / record.reportFile).string(), run.ComposeReport())) {
        result.refusal = Refusal{"cannot write '" + (m_outputDir / record.reportFile).string() + "': " + *problem};
        return;
    }
    result.model = ModelOfRun(run);
    result.summary = SummarizeRun(run);
    result.summary.seqNames.clear();
    result.summary.seqLengths.clear();
    result.summary.sites.clear();
    record.logLik = run.m_bestLogLik;
    record.sites = run.m_numSites;
    record.consensus = result.summary.consensus;
    if (run.m_numSites > 0)
        result.separation = Separate(MotifScanner(result.model));
    Report(0, 1);
}

Candidate DiscoveryRun::Trimmed(const RestartResult& restart)
{
    Candidate best{restart.model, restart.summary, restart.separation, 0, 0};
    // Columns at the ends that carry almost no information are cut when the motif then separates better.
    constexpr double kUninformativeBits = 0.3;
    constexpr int kNarrowest = 5;
    const auto& probs = restart.summary.probs;
    int left = 0;
    int right = 0;
    const int width = restart.model.width;
    while (width - left - right > kNarrowest && ColumnBits(probs[static_cast<std::size_t>(left)]) < kUninformativeBits)
        ++left;
    while (width - left - right > kNarrowest &&
           ColumnBits(probs[static_cast<std::size_t>(width - 1 - right)]) < kUninformativeBits)
        ++right;
    std::vector<std::pair<int, int>> trims;
    if (left > 0 || right > 0)
        trims.emplace_back(left, right);
    if (left > 0 && right > 0) {
        trims.emplace_back(left, 0);
        trims.emplace_back(0, right);
    }
    for (const auto& [cutLeft, cutRight] : trims) {
        MotifModel model = TrimModel(restart.model, cutLeft, cutRight);
        const Separation separation = Separate(MotifScanner(model));
        if (separation.log10P < best.separation.log10P) {
            best.summary = SummaryOfModel(restart.summary, model);
            best.model = std::move(model);
            best.separation = separation;
            best.left = cutLeft;
            best.right = cutRight;
        }
    }
    return best;
}

CallThresholds DiscoveryRun::CallThreshold(const MotifScanner& scanner, double floor,
                                           const std::vector<int>& targets, double falseCallCost) const
{
    // Windows far below the threshold never decide it; keeping only those above
    // `floor` bounds the memory.
    std::vector<double> forward;
    std::vector<double> reverse;
    auto windows = [&](const std::vector<std::uint8_t>& codes, long long& counted, std::vector<double>& kept) {
        scanner.ScoreSequence(codes, m_settings.bothStrands, forward, reverse);
        counted += static_cast<long long>(forward.size());
        for (std::size_t p = 0; p < forward.size(); ++p) {
            const double score = reverse.empty() ? forward[p] : std::max(forward[p], reverse[p]);
            if (score >= floor)
                kept.push_back(score);
        }
    };
    long long targetWindows = 0;
    long long controlWindows = 0;
    std::vector<double> targetScores;
    std::vector<double> controlScores;
    for (int i : targets)
        windows(m_targetCodes[static_cast<std::size_t>(i)], targetWindows, targetScores);
    for (const auto& codes : m_controlCodes)
        windows(codes, controlWindows, controlScores);
    const SiteCut cut = SiteThreshold(std::move(targetScores), targetWindows, std::move(controlScores),
                                      controlWindows, falseCallCost);
    CallThresholds thresholds{cut.threshold, cut.threshold};
    if (!std::isfinite(cut.threshold))
        return thresholds;
    // Most sets hold one site per sequence or none. Further sites in a sequence
    // are called only when there are clearly more of them than the calls expected
    // by chance at all; otherwise nearly every one of them would be one of those.
    long long extra = 0;
    for (int i : targets) {
        const auto hits = CallHits(scanner, m_targetCodes[static_cast<std::size_t>(i)], m_settings.bothStrands,
                                   thresholds);
        extra += hits.empty() ? 0 : static_cast<long long>(hits.size()) - 1;
    }
    if (static_cast<double>(extra) <= 2.0 * cut.expectedFalse)
        thresholds.more = std::numeric_limits<double>::infinity();
    return thresholds;
}

void DiscoveryRun::Refine(Candidate& candidate)
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
        const CallThresholds threshold = CallThreshold(scanner, 0.0, m_training, 2.0);
        if (!std::isfinite(threshold.first))
            return;
        std::vector<std::string> words;
        for (int i : m_training) {
            const auto index = static_cast<std::size_t>(i);
            for (const ScanHit& hit : CallHits(scanner, m_targetCodes[index], m_settings.bothStrands, threshold)) {
                std::string word = m_targets.sequences[index].substr(static_cast<std::size_t>(hit.start),
                                                                     static_cast<std::size_t>(model.width));
                words.push_back(hit.forward ? word : ReverseComplement(word));
            }
        }
        if (static_cast<int>(words.size()) < kFewestSites)
            return;
        model = RefitModel(model, words);
    }
    const Separation separation = Separate(MotifScanner(model));
    if (separation.log10P <= candidate.separation.log10P) {
        candidate.summary = SummaryOfModel(candidate.summary, model);
        candidate.model = std::move(model);
        candidate.separation = separation;
    }
}

void DiscoveryRun::CallSitesAndMask(DiscoveredMotif& motif, const MotifModel& model,
                                    const CallThresholds& threshold)
{
    const MotifScanner scanner(model);
    const bool both = m_settings.bothStrands;
    const auto width = static_cast<std::size_t>(model.width);
    auto mask = [width](std::vector<std::uint8_t>& codes, const ScanHit& hit) {
        std::fill(codes.begin() + hit.start, codes.begin() + hit.start + static_cast<std::ptrdiff_t>(width), 4);
    };
    for (std::size_t s = 0; s < m_targetCodes.size(); ++s) {
        for (const ScanHit& hit : CallHits(scanner, m_targetCodes[s], both, threshold)) {
            CalledSite site;
            site.seqIndex = static_cast<int>(s);
            site.start = hit.start;
            site.end = hit.start + model.width;
            site.forward = hit.forward;
            site.score = hit.score;
            const std::string& sequence = m_targets.sequences[s];
            const auto start = static_cast<std::size_t>(hit.start);
            const std::size_t before = std::min<std::size_t>(start, kSiteFlank);
            site.word = sequence.substr(start, width);
            site.leftFlank = sequence.substr(start - before, before);
            site.rightFlank = sequence.substr(std::min(start + width, sequence.size()), kSiteFlank);
            if (!hit.forward) {
                site.word = ReverseComplement(site.word);
                site.leftFlank = ReverseComplement(site.rightFlank);
                site.rightFlank = ReverseComplement(sequence.substr(start - before, before));
            }
            motif.sites.push_back(std::move(site));
            mask(m_targetCodes[s], hit);
        }
    }
    for (auto& codes : m_controlCodes)
        for (const ScanHit& hit : CallHits(scanner, codes, both, threshold))
            mask(codes, hit);
}

Outcome DiscoveryRun::Rounds()
{
    const DiscoverSettings& settings = m_settings;
    const int jobs = std::max(1, settings.jobs);
    std::vector<MotifShares> reported;
    for (int round = 1; round <= settings.motifs; ++round) {
        {
            std::lock_guard lock(m_progressMutex);
            m_state.round = round;
            m_state.restartsDone = 0;
            m_state.iterationsDone = 0;
        }
        const std::string fasta = "runs/round" + std::to_string(round) + ".fa";
        if (auto refusal = WriteRoundInput(round, fasta))
            return refusal;

        // Every restart of the round, computed on `jobs` threads; results by index, so
        // nothing depends on which thread finished first.
        std::vector<std::pair<int, int>> plan;  // width, index
        for (int width : settings.widths)
            for (int i = 1; i <= settings.restarts; ++i)
                plan.emplace_back(width, i);
        std::vector<RestartResult> results(plan.size());
        std::atomic<std::size_t> next{0};
        const std::int64_t firstK = m_restartsStarted;
        auto worker = [&] {
            for (std::size_t i = next++; i < plan.size() && !m_cancelled; i = next++) {
                try {
                    RunRestart(results[i], round, plan[i].first, plan[i].second,
                               firstK + static_cast<std::int64_t>(i), fasta);
                } catch (const std::bad_alloc&) {
                    results[i].refusal = Refusal{"not enough memory for a restart of width " +
                                                 std::to_string(plan[i].first)};
                }
            }
        };
        std::vector<std::thread> threads;
        for (int t = 1; t < std::min<int>(jobs, static_cast<int>(plan.size())); ++t)
            threads.emplace_back(worker);
        worker();
        for (std::thread& thread : threads)
            thread.join();
        m_restartsStarted += static_cast<std::int64_t>(plan.size());
        if (m_cancelled)
            return Refusal{"discovery cancelled; the output folder holds only the restarts that finished"};
        for (const RestartResult& result : results)
            if (result.refusal)
                return result.refusal;
        // A restart's motif may be scored in up to kFormsTested forms (as found,
        // trimmed three ways, refitted), and which ones are scored depends on
        // the scores themselves: the E-value counts every form of every restart.
        m_tests += static_cast<int>(results.size()) * kFormsTested;

        // Restarts best first; each joins the first cluster whose best restart it matches.
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

        // The best merged motif not reported before, after trimming its ends.
        constexpr std::size_t kClustersTrimmed = 3;
        std::optional<Candidate> chosen;
        const Cluster* chosenCluster = nullptr;
        std::size_t trimmedCount = 0;
        for (const Cluster& cluster : clusters) {
            const RestartResult& restart = results[cluster.representative];
            const bool seen = std::any_of(reported.begin(), reported.end(), [&](const MotifShares& shares) {
                return MotifSimilarity(shares, restart.summary.probs) >= kSameMotifSimilarity;
            });
            if (seen)
                continue;
            if (trimmedCount++ == kClustersTrimmed)
                break;
            Candidate candidate = Trimmed(restart);
            Refine(candidate);
            if (!chosen || candidate.separation.log10P < chosen->separation.log10P) {
                chosen = std::move(candidate);
                chosenCluster = &cluster;
            }
        }
        for (RestartResult& result : results) {
            result.record.log10EValue = Log10EValue(result.separation.log10P, m_tests);
        }
        const double log10E = chosen ? Log10EValue(chosen->separation.log10P, m_tests) : 0.0;
        const bool significant = chosen && chosen->separation.targetHits > 0 &&
                                 log10E <= std::log10(settings.evalueThreshold);
        if (significant) {
            DiscoveredMotif motif;
            motif.rank = static_cast<int>(m_discovery.motifs.size()) + 1;
            motif.consensus = chosen->summary.consensus;
            motif.id = std::to_string(motif.rank) + "-" + motif.consensus;
            motif.width = chosen->model.width;
            motif.log10PValue = chosen->separation.log10P;
            motif.log10EValue = log10E;
            motif.significant = true;
            // Sites have a threshold of their own: the sequence-level one only
            // measures significance. Reported sites lean towards recall: a call
            // pays off while at least one in three calls at its score is expected
            // to be true. Windows far below the sequence-level threshold never matter.
            CallThresholds thresholds = CallThreshold(MotifScanner(chosen->model), chosen->separation.threshold - 6.0,
                                                      AllIndexes(m_targetCodes.size()), kReportedFalseCallCost);
            if (!std::isfinite(thresholds.first))
                thresholds.first = chosen->separation.threshold;
            motif.threshold = thresholds.first;
            motif.moreThreshold = thresholds.more;
            motif.targetHits = chosen->separation.targetHits;
            motif.targets = chosen->separation.targets;
            motif.controlHits = chosen->separation.controlHits;
            motif.controls = chosen->separation.controls;
            motif.foundBy = static_cast<int>(chosenCluster->members.size());
            motif.restartsTried = static_cast<int>(results.size());
            motif.trimmedLeft = chosen->left;
            motif.trimmedRight = chosen->right;
            motif.model = chosen->summary;
            for (std::size_t member : chosenCluster->members)
                results[member].record.motifRank = motif.rank;
            motif.source = results[chosenCluster->representative].record;
            CallSitesAndMask(motif, chosen->model, thresholds);
            reported.push_back(chosen->summary.probs);
            m_discovery.motifs.push_back(std::move(motif));
        } else if (chosen) {
            m_discovery.nextBestLog10EValue = log10E;
        }
        for (RestartResult& result : results)
            m_discovery.restarts.push_back(result.record);
        m_discovery.motifsTested = m_tests;
        if (!significant)
            break;
    }
    return std::nullopt;
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
    for (const DiscoveryFile& file : ComposeDiscoveryFiles(m_discovery)) {
        const std::string path = (m_outputDir / file.name).string();
        if (auto problem = ReplaceWhole(path, file.bytes))
            return Refusal{"cannot write '" + path + "': " + *problem};
    }
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

Outcome RunDiscovery(const DiscoverSettings& settings, bool force, Discovery& discovery,
                     const DiscoverProgressCallback& progress)
{
    discovery = Discovery{};
    DiscoveryRun run(settings, discovery, progress);
    if (auto refusal = run.Prepare(force))
        return refusal;
    if (auto refusal = run.Rounds())
        return refusal;
    run.RankByEValue();
    return run.WriteFiles();
}

}  // namespace kalvo
