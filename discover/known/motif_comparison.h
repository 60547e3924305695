// discover/known/motif_comparison.h: which motifs of a database a motif resembles: its best alignment
// with each, and how likely so good an alignment is by chance (p, E and q).
#pragma once
#include <optional>
#include <vector>

#include "discover/known/column_null.h"
#include "discover/known/known_motif.h"

namespace kalvo {

// How motifs are compared.
struct ComparisonSettings {
    ColumnSimilarity similarity = ColumnSimilarity::PearsonLikelihood;
    int minOverlap = 5;     // columns two motifs must share; fewer only when one of them is narrower
    int gridBins = 100;     // grid steps of a column score: the null's resolution
    double endBits = 0.2;   // query columns at either end with less information (bits) are left out, as
                            // long as min-overlap columns stay: ragged ends of few sites are mostly noise
};

// Which matches of a query are kept: the best `top` of those within the thresholds.
struct MatchFilter {
    int top = 5;                  // 0: all
    double maxEValue = 10.0;
    std::optional<double> maxQValue;  // replaces the E-value threshold when given
};

// The best alignment of a query with one database motif.
struct MotifMatch {
    int target = 0;        // index of the motif in the database
    int offset = 0;        // query column i lies over column i + offset of the target as aligned
    bool reverse = false;  // the target's reverse complement was aligned (strand −)
    int overlap = 0;       // columns aligned
    double score = 0.0;    // summed column scores of the alignment
    double p = 1.0;        // of this alignment or a better one with this target by chance, offsets counted
    double e = 0.0;        // p × motifs in the database
    double q = 1.0;        // Benjamini-Hochberg over the database, for this query
};

// A match with the known motif it names: its names and profile travel with it, for tables and aligned logos.
struct KnownMatch {
    KnownMotif known;
    MotifMatch match;  // match.target: the profile's place in the database compared
};

// A database's columns on both strands, prepared once for any number of queries.
struct ComparisonTargets {
    std::vector<ScoredColumn> columns;  // per motif: its columns, then its reverse complement's
    std::vector<int> first;             // per motif: where its columns start in `columns`
    std::vector<int> widths;

    int Count() const { return static_cast<int>(widths.size()); }
};

ComparisonTargets PrepareTargets(const std::vector<KnownMotif>& database);

// Every database motif's best alignment with the query, best first: by p, then by score.
std::vector<MotifMatch> CompareMotif(const KnownMotif& query, const ComparisonTargets& targets,
                                     const ComparisonSettings& settings);

// The matches the filter keeps, in their order.
std::vector<MotifMatch> KeepMatches(const std::vector<MotifMatch>& matches, const MatchFilter& filter);

// The kept matches of every query, in query order, the queries spread over `jobs` threads; the
// same whatever `jobs` is.
std::vector<std::vector<MotifMatch>> MatchMotifs(const std::vector<KnownMotif>& queries,
                                                 const ComparisonTargets& targets,
                                                 const ComparisonSettings& settings, const MatchFilter& filter,
                                                 int jobs);

// Benjamini-Hochberg q-values of p-values, in their order.
std::vector<double> QValues(const std::vector<double>& pValues);

}  // namespace kalvo
