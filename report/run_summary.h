// report/run_summary.h: what a finished run found, as plain data for views and export formats.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/run_state.h"

namespace kalvo {

// The reported best state with the parameters that produced it. Every figure
// is the one the report block prints, so other outputs never disagree with it.
struct RunSummary {
    // how the run was set up
    std::string parameterPath;
    std::string inputPath;
    std::string outputPath;
    std::string backgroundPath;  // empty when computed from the sequences
    std::string seedMotif;       // empty for a random start
    std::uint32_t seed = 0;
    int width = 0;
    int iterations = 0;
    int depMoves = 0;
    int corrLevel = 0;
    bool oneSitePerSeq = false;
    bool bothStrands = true;
    bool maskLowComplexity = false;
    double pseudocount = 0.0;  // per base, as given by the parameter file

    // the input
    int numSeqs = 0;
    long long totalLength = 0;
    HeaderList seqNames;                // header lines as read, '>' included; shared with the run, not copied
    std::vector<long long> seqLengths;
    std::array<double, 4> bgFreq{};     // A, C, G, T

    // the best state, without pseudocounts
    int numSites = 0;                   // S of the report
    int sequencesHit = 0;
    std::vector<std::array<int, 4>> counts;       // per motif column, A, C, G, T
    std::vector<std::array<double, 4>> probs;     // shares among the sites; 0 without sites
    std::string consensus;
    std::vector<GroupNode> groups;      // correlated pairs, as listed in the report
    std::vector<SiteNode> sites;        // by sequence, then in list order; seqNames[site.seqIndex] is its header
    double bestLogLik = 0.0;
    double estimatedPrior = 0.0;
};

// Consensus letter of a column: the largest share, ties to the earlier of A, C, G, T, A when all are 0.
char ConsensusLetter(const std::array<double, 4>& shares);

// The summary of a run whose report has been written (or composed).
RunSummary SummarizeRun(const CMotifSampler& run);

}  // namespace kalvo
