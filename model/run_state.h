// model/run_state.h: CMotifSampler, the whole state of one sampler run, with its site and group records.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/refusal.h"
#include "model/run_progress.h"
#include "model/sequence_set.h"
#include "model/site_list.h"
#include "util/log_factorial.h"
#include "util/random.h"
#include "util/vector_paths.h"

namespace kalvo {

// The texts that mean "none" in a parameter file.
inline constexpr std::string_view kNoBackgroundFile = "$%//";
inline constexpr std::string_view kNoSeedMotif = "%%%%";

// A group of dependent motif columns (a pair when made by the moves).
struct GroupNode {
    int size = 0;
    std::vector<int> positions;  // motif columns, in the order they were drawn
    std::vector<int> counts;     // 4^size joint counts over the current sites, by word index
    std::vector<double> probs;   // 4^size joint probabilities; empty until EstimateModel fills it
    double logBF = 0.0;
};

using GroupList = std::vector<GroupNode>; // newest group first

enum class ShiftDirection { Right = 0, Left = 1 };

// One sampler run: parameters, sequences, background, motif model, current and
// best state. Constructed, filled by LoadParameters, run once, destroyed.
// Fields are public so that each step can be set up and checked on its own.
class CMotifSampler {
public:
    CMotifSampler() = default;
    virtual ~CMotifSampler() = default;
    CMotifSampler(const CMotifSampler&) = delete;
    CMotifSampler& operator=(const CMotifSampler&) = delete;

    // --- setup ---
    // Reads the parameter file; refuses an unreadable file, a width below 1 and a bad pseudocount.
    Outcome LoadParameters(const std::string& path);
    // The same reader over parameter text held in memory; `name` stands for the file in messages.
    Outcome LoadParametersText(std::string_view text, const std::string& name);
    // Reads the FASTA file, sizes the per-run storage and draws the prior odds when unset.
    Outcome ReadSequences();
    Outcome LoadBackground(const std::string& path);
    void ComputeBackground();
    // Draws a start site on every sequence long enough for one. The sites are
    // kept packed in m_startSlots, counted by Recount, until the sequence's
    // first sampling step takes its site out or PlaceStartSites lists them.
    void RandomAlignment();
    // The start site of sequence s as a site record; s must have one left.
    SiteNode StartSite(int s) const;
    // Moves the start sites still packed into m_sites, each first in its list.
    void PlaceStartSites();
    void SeedMotif(const std::string& word);
    void Recount();
    void BuildMask();

    // --- the run ---
    // Seeds the stream, sets up, iterates and appends the report. On refusal or
    // cancellation nothing has been written anywhere.
    Outcome Run(std::uint32_t seed, const ProgressCallback& progress = {});
    // Run without the report: setup and iterations only, so a caller can
    // compose the block now and append it later (runs of a parallel batch).
    Outcome Sample(std::uint32_t seed, const ProgressCallback& progress = {});
    // Calls the progress callback from inside the long steps of a run, and
    // tells them when the run is abandoned; idle outside Sample.
    ProgressPacer m_pacer;

    // --- site sampling step ---
    void SampleSequence(int s);
    // The same, given that the model is the estimate of the current counts
    // (modelCurrent); true when the step added no site, so that it still is.
    bool SampleSequence(int s, bool modelCurrent);
    void RemoveSites(int s);
    // Takes sequence s's sites out of the counts and its list; true when there were any.
    bool TakeOutSites(int s);
    void ClearSites(int s);
    // Motif and group probabilities from the counts; returns S, the column-0 count total.
    int EstimateModel(bool withPseudo);
    // Likelihood ratio of a W-letter word, motif model (with groups) over background.
    double ScoreWord(std::string_view word) const;
    // Background probability of a word: first-letter frequency times the transitions.
    double BackgroundProbability(std::string_view word) const;
    // Appends the site at slot (2·pos, +1 for the reverse strand) to sequence s.
    void AddSite(int s, int slot, int ordinal);

    // --- shift move ---
    void ShiftMove();
    void TryShift(ShiftDirection direction);
    void ApplyShift(ShiftDirection direction);
    // Σ c·ln((c/n)/q) over the letters present, after adding the truncated pseudocounts to c.
    double ColumnScore(std::array<int, 4>& counts) const;
    std::array<int, 4> EdgeColumnCounts(int offset) const;

    // --- correlated positions ---
    void CorrelationMove();
    void AddPairMove();
    void RemovePairMove();
    void ChangePairMove();
    double DirichletLogMarginal(const int* counts, int numCells);
    std::array<int, 4> ColumnCounts(int column) const;
    std::vector<int> GroupJointCounts(const int* positions, int size) const;
    double GroupLogBF(const int* positions, int size, const std::vector<int>& joint);
    static GroupNode NewGroup(int size, const int* positions, const std::vector<int>& joint, double logBF);
    // True when every element of a occurs somewhere in b.
    static bool SameSet(const int* a, const int* b, int n);

    // --- score and results ---
    // Also leaves each site's motifLogLik under the model it estimates.
    double JointLogLikelihood();
    static int Binomial(int n, int k);
    void SaveBest();
    // Installs the best state, recomputes it without pseudocounts and appends the report block.
    Outcome WriteReport(const std::string& path);
    // Steps of WriteReport before the file is touched: install, recount, re-estimate.
    void InstallBestState();
    void UpdateGroupBayesFactors();
    // The report block of the installed state, with CR LF line ends.
    std::string ComposeReport() const;
    // Appends a composed block whole, or refuses and leaves the file as it was.
    static Outcome AppendReport(const std::string& path, const std::string& block);

    // Prior odds of a site estimated from the installed state: (1 − t)/t, t = (S + 1)/(P + 1).
    double EstimatedPriorOdds() const;
    int SequencesWithSites() const;

    // Number of candidate positions: Σ max(0, L − W + 1), doubled on both strands.
    long long CandidatePositions() const;
    // Tables that stay fixed for the run (letter codes, blocked starts, background
    // of every word), read by the sampling sweep. Needs sequences, background and mask.
    void PrepareScoringTables();
    // Start positions scored at a time by the sampling step, so no buffer grows with a sequence.
    static constexpr long long kScoreChunk = 16384;

    // --- parameters ---
    std::string m_outputPath;
    std::string m_inputPath;
    std::string m_backgroundPath{kNoBackgroundFile};
    std::string m_seedMotif;
    std::string m_parameterPath;
    // Input read loosely but read all the same, one line each for the user
    // (without the "kalvo: warning: " every front end puts before it).
    std::vector<std::string> m_warnings;
    int m_width = 0;
    int m_iterations = 0;
    int m_depMoves = 1;
    int m_corrLevel = 2;
    bool m_oneSitePerSeq = false;
    bool m_bothStrands = true;
    bool m_maskLowComplexity = false;
    double m_maskThreshold = 0.9;
    int m_maskWindow = 12;
    std::array<double, 4> m_pseudo{};
    double m_pseudoTotal = 0.0;
    double m_givenPseudocount = 0.0;  // per base, kept for the record when the report zeroes m_pseudo

    // --- input ---
    SequenceSet m_seqs;  // residues upper-cased as read, and the header lines
    int m_numSeqs = 0;
    long long m_totalLength = 0;
    std::array<double, 4> m_bgFreq{};
    std::array<double, 16> m_bgTrans{};
    // 1 where no site may start, sequence s from m_seqs.Start(s) on; one
    // buffer, since a vector per sequence costs more than a short sequence.
    std::vector<std::uint8_t> m_mask;

    // --- model and state ---
    std::vector<int> m_counts;        // 4·W: column c, letter b at 4c + b
    std::vector<double> m_motifProb;  // 4·W, same layout
    int m_numSites = 0;
    double m_priorOdds = 1000.0;
    double m_samplingPriorOdds = 1000.0;
    std::vector<SiteList> m_sites;
    std::vector<SiteList> m_bestSites;
    SiteList::Storage m_spareSites;  // storage of the list emptied last, for the next to fill
    // Random start sites not yet taken out, per sequence the slot (2·pos, +1 on
    // the reverse strand) or -1; empty when none is left. Packed because a
    // million short sequences would otherwise hold a million records at once.
    std::vector<long long> m_startSlots;
    long long m_startSitesLeft = 0;
    int m_numPairs = 0;
    GroupList m_groups;
    GroupList m_bestGroups;
    double m_bestLogLik = -2000.0;
    bool m_hasBest = false;  // a state after burn-in has been saved

    RandomStream m_random;
    std::uint32_t m_seed = 0;  // the state the stream started from
    LogFactorialTable m_logFactorial;

private:
    Refusal Cancelled() const;
    // The steps of Sample; those that return a bool return false once the run is abandoned.
    // Inputs, background, starting state, mask and scoring tables; refuses what cannot run.
    Outcome PrepareSampling();
    // One sampling step for every sequence, starting from a random one.
    bool SweepSequences();
    // Draws the prior odds of a site from the current number of sites among `positions` candidates.
    bool DrawPriorOdds(long long positions);
    // Scores the state, after each correlation move when they are on, and keeps it when best.
    bool ScoreIteration(int t, int burnIn);
    // Keeps the state of iteration t when it is the best after burn-in.
    void KeepIfBest(int t, int burnIn);
    // The joint log-likelihood; the site scores, which do not enter it, only when asked for.
    double LogLikelihood(bool scoreSites);
    // Each site's motifLogLik under the current model, as JointLogLikelihood leaves it.
    void ScoreSites();
    // Notes the columns outside every group, for the scores of one sampling step.
    void PlanColumns();
    // Scores the given start positions of sequence s into m_slotScore: for the
    // many-site draw the motif products, with m_slotThreshold; otherwise the
    // scores, added onto *runningTotal, with m_slotTotals.
    void ScoreStretch(int s, long long firstPosition, long long positions, double* runningTotal);
    // The score of slot `at` of the stretch from firstPosition that ScoreStretch left for the many-site draw.
    double ExactSlotScore(int s, long long firstPosition, long long at) const;
    // The background probability of the word at a start of the flat tables, or of its reverse complement.
    double StartBackground(std::size_t start, bool forward) const;
    // The exponent that brings the backgrounds of words of this width near 1.
    int BackgroundScaleExponent() const;
    // The two kinds of site draw of SampleSequence, after the old sites are out.
    void DrawManySites(int s, long long starts);
    void DrawOneSite(int s, long long starts);
    void ColumnOccupancy(std::vector<char>& occupied, const GroupNode* except) const;

    // The flat tables below hold sequence s from m_seqs.Start(s) on.
    std::vector<std::uint8_t> m_codes;        // letter codes (non-ACGT count as A)
    std::vector<std::uint8_t> m_reverseCodes; // codes of each letter's complement
    std::vector<std::uint8_t> m_slotBlocked;  // window holds N or is masked
    std::vector<double> m_bgForward;          // one-site draw: background probability of the word at each start
    std::vector<double> m_bgReverse;          // ... and of its reverse complement
    std::vector<float> m_bgForwardApprox;     // many-site draw: the same, approximately (ApproximateBackground)
    std::vector<float> m_bgReverseApprox;
    int m_bgScaleExponent = 0;                // ... scaled by 2^this
    std::vector<double> m_slotScore;          // scores or motif products of a stretch of slots, sized once
    std::vector<double> m_slotThreshold;      // with products: background times the odds, per slot
    std::vector<std::uint64_t> m_spreadCodes; // letter codes laid out for the AVX2 lookups
    std::vector<double> m_slotTotals;         // one-site draw: the running total after every eighth slot
    std::vector<double> m_stretchTotals;      // ... and at the end of each stretch
    VectorPath m_vectorPath = VectorPath::Portable;
    std::vector<int> m_freeColumns;           // columns outside every group, rebuilt per sweep step
    std::vector<char> m_occupied;             // columns inside some group, rebuilt per sweep step
};

// Proposal factors of adding a pair to k pairs and of removing one of k pairs,
// when at most half pairs fit in the motif.
double AddPairFactor(int k, int half);
double RemovePairFactor(int k, int half);

// True when the two most frequent bases make up more than threshold of the
// window; letters other than A, C, G, T count only in the window's length.
bool IsLowComplexity(std::string_view window, double threshold);

}  // namespace kalvo
