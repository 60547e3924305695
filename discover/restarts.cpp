// discover/restarts.cpp: the restarts of a round, each an exact run whose files repeat it, on several threads.
#include "discover/restarts.h"

#include <new>
#include <thread>

#include "discover/discovery_names.h"
#include "discover/motif_measures.h"

namespace kalvo {
namespace {

// One planned restart: its parameter file, the run, its report, its motif and how well that separates.
void RunRestart(RestartResult& result, const RestartPlan& plan, const std::string& fasta, const OutputFolder& folder,
                const ScoringSets& sets, ProgressTally& tally)
{
    result.record = plan.record;
    RestartRecord& record = result.record;
    if (auto refusal = folder.Write(record.parameterFile, plan.parameterText)) {
        result.refusal = refusal;
        return;
    }
    CMotifSampler run;
    if (auto refusal = run.LoadParametersText(plan.parameterText, record.parameterFile)) {
        result.refusal = refusal;
        return;
    }
    // The restart's paths are written relative to the output folder, where
    // `kalvo run` repeats it; the run itself reads and checks them from here,
    // and its report names its input as the parameter file does.
    run.m_inputPath = folder.PathOf(fasta);
    run.m_outputPath = folder.PathOf(record.reportFile);
    // A long iteration reports more than once: only a new iteration counts.
    int iterationsCounted = 0;
    const ProgressCallback progress = [&tally, &iterationsCounted](const RunProgress& step) {
        const int more = step.iteration - iterationsCounted;
        iterationsCounted = step.iteration;
        return tally.Add(more, 0);
    };
    if (auto refusal = run.Sample(record.seed, progress)) {
        result.refusal = refusal;
        return;
    }
    run.m_inputPath = fasta;
    run.InstallBestState();
    if (auto refusal = folder.Write(record.reportFile, run.ComposeReport())) {
        result.refusal = refusal;
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
        result.separation = Separate(sets, MotifScanner(result.model));
    tally.Add(0, 1);
}

}  // namespace

void ProgressTally::SetRounds(int rounds, int restartsInRound, long long iterationsInRound)
{
    std::lock_guard lock(m_mutex);
    m_state.rounds = rounds;
    m_state.restartsInRound = restartsInRound;
    m_state.iterationsInRound = iterationsInRound;
}

void ProgressTally::StartRound(int round)
{
    std::lock_guard lock(m_mutex);
    m_state.round = round;
    m_state.restartsDone = 0;
    m_state.iterationsDone = 0;
}

bool ProgressTally::Add(long long iterations, int restarts)
{
    if (m_cancelled)
        return false;
    std::lock_guard lock(m_mutex);
    m_state.iterationsDone += iterations;
    m_state.restartsDone += restarts;
    if (m_callback && !m_callback(m_state))
        m_cancelled = true;
    return !m_cancelled;
}

Outcome WriteRoundInput(const ScoringSets& sets, int round, const OutputFolder& folder, const std::string& fasta)
{
    const std::vector<std::string> names = SequenceNames(sets.targets.names);
    std::string text;
    for (const SampledPiece& piece : SampledPieces(sets)) {
        const auto index = static_cast<std::size_t>(piece.seqIndex);
        text += '>';
        text += names[index];
        // A window is named by where it lies in its target, from 0 and its end excluded, as bedtools names one.
        if (!piece.whole)
            text += ":" + std::to_string(piece.start) + "-" + std::to_string(piece.start + piece.length);
        text += '\n';
        const auto start = static_cast<std::size_t>(piece.start);
        const auto length = static_cast<std::size_t>(piece.length);
        const std::size_t from = text.size();
        text.append(sets.targets.sequences[index], start, length);
        const std::uint8_t* codes = sets.targetCodes[index].data() + start;
        for (std::size_t j = 0; round > 1 && j < length; ++j)
            if (codes[j] > 3)
                text[from + j] = 'N';
        text += '\n';
    }
    return folder.Write(fasta, text);
}

std::vector<RestartResult> RunRestarts(const std::vector<RestartPlan>& plan, int jobs, const std::string& fasta,
                                       const OutputFolder& folder, const ScoringSets& sets, ProgressTally& tally)
{
    std::vector<RestartResult> results(plan.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i = next++; i < plan.size() && !tally.Cancelled(); i = next++) {
            try {
                RunRestart(results[i], plan[i], fasta, folder, sets, tally);
            } catch (const std::bad_alloc&) {
                results[i].refusal = Refusal{"not enough memory for a restart of width " +
                                             std::to_string(plan[i].record.width)};
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < std::min<int>(std::max(1, jobs), static_cast<int>(plan.size())); ++t)
        threads.emplace_back(worker);
    worker();
    for (std::thread& thread : threads)
        thread.join();
    return results;
}

}  // namespace kalvo
