// report/run_summary.cpp: copies the reported state out of a finished run.
#include "report/run_summary.h"

#include <cmath>

namespace kalvo {

char ConsensusLetter(const std::array<double, 4>& shares)
{
    static constexpr char kLetters[] = {'A', 'C', 'G', 'T'};
    char consensus = 'A';
    double best = 0.0;
    for (std::size_t b = 0; b < 4; ++b) {
        if (shares[b] > best) {
            best = shares[b];
            consensus = kLetters[b];
        }
    }
    return consensus;
}

RunSummary SummarizeRun(const CMotifSampler& run)
{
    RunSummary summary;
    summary.parameterPath = run.m_parameterPath;
    summary.inputPath = run.m_inputPath;
    summary.outputPath = run.m_outputPath;
    if (run.m_backgroundPath != kNoBackgroundFile)
        summary.backgroundPath = run.m_backgroundPath;
    if (run.m_seedMotif != kNoSeedMotif)
        summary.seedMotif = run.m_seedMotif;
    summary.seed = run.m_seed;
    summary.width = run.m_width;
    summary.iterations = run.m_iterations;
    summary.depMoves = run.m_depMoves;
    summary.corrLevel = run.m_corrLevel;
    summary.oneSitePerSeq = run.m_oneSitePerSeq;
    summary.bothStrands = run.m_bothStrands;
    summary.maskLowComplexity = run.m_maskLowComplexity;
    summary.pseudocount = run.m_givenPseudocount;

    summary.numSeqs = run.m_numSeqs;
    summary.totalLength = run.m_totalLength;
    summary.seqNames = run.m_seqs.Headers();
    summary.seqLengths.reserve(run.m_seqs.size());
    for (std::size_t s = 0; s < run.m_seqs.size(); ++s)
        summary.seqLengths.push_back(static_cast<long long>(run.m_seqs.Length(s)));
    summary.bgFreq = run.m_bgFreq;

    summary.numSites = run.m_numSites;
    summary.sequencesHit = run.SequencesWithSites();
    for (int c = 0; c < run.m_width; ++c) {
        std::array<int, 4> counts{};
        std::array<double, 4> shares{};
        for (std::size_t b = 0; b < 4; ++b) {
            const auto cell = static_cast<std::size_t>(c) * 4 + b;
            counts[b] = run.m_counts[cell];
            const double share = run.m_motifProb[cell];
            shares[b] = run.m_numSites == 0 || std::isnan(share) ? 0.0 : share;
        }
        summary.counts.push_back(counts);
        summary.probs.push_back(shares);
        summary.consensus += ConsensusLetter(shares);
    }
    summary.groups = run.m_groups;
    for (const SiteList& sites : run.m_sites)
        summary.sites.insert(summary.sites.end(), sites.begin(), sites.end());
    summary.bestLogLik = run.m_bestLogLik;
    summary.estimatedPrior = run.EstimatedPriorOdds();
    return summary;
}

}  // namespace kalvo
