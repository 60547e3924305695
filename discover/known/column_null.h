// discover/known/column_null.h: how alike two motif columns are, and how often a sum of such scores
// comes up by chance when a query's columns meet the columns of a whole database.
#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace kalvo {

// How a query column and a target column are scored; higher is more alike.
enum class ColumnSimilarity {
    PearsonLikelihood,          // Pearson, plus a small share of LogLikelihood (kLikelihoodShare): the
                                // correlation keeps p-values honest, the likelihood tells apart profiles
                                // whose columns point the same way with different strength
    Pearson,                    // Pearson correlation of the four shares; 0 when either column is even
    Euclidean,                  // minus the Euclidean distance between the shares
    SandelinWasserman,          // 2 minus the summed squared differences of the shares
    AverageLogLikelihoodRatio,  // each column's letters under the other's smoothed shares, per site
    LogLikelihood,              // the query's shares times ln(4 × the target's smoothed shares): how well
                                // the target explains the query's letters, against even letters
};

// The weight of LogLikelihood in PearsonLikelihood.
inline constexpr double kLikelihoodShare = 0.03;

// The similarity a word names (pearson-llr, pearson, euclidean, sandelin, allr, llr), if any.
std::optional<ColumnSimilarity> ColumnSimilarityByName(std::string_view name);

// The word that names a similarity.
std::string_view ColumnSimilarityName(ColumnSimilarity similarity);

// Sites assumed for a motif file that gives shares only: the smoothing of a share of 0 then
// stays moderate.
inline constexpr double kSitesWhenUnknown = 20.0;

// A column with what every similarity needs worked out once.
struct ScoredColumn {
    std::array<double, 4> shares{};   // A, C, G, T
    std::array<double, 4> logOdds{};  // ln(4 × smoothed share); one pseudo-site spread evenly over the letters
    std::array<double, 4> centred{};  // shares minus 1/4, scaled to length 1; all 0 for an even column
    double sites = 0.0;               // the sites the shares were counted from (kSitesWhenUnknown if not known)
    double bits = 0.0;                // information content: 2 minus the entropy in bits
    double standardShift = 0.0;
};

// A column ready for scoring; `sites` of 0 or less means unknown.
ScoredColumn PrepareColumn(const std::array<double, 4>& shares, double sites);

// The same column read on the other strand: A↔T and C↔G.
ScoredColumn ComplementColumn(const ScoredColumn& column);

// The similarity of a query column and a target column.
double ColumnScore(ColumnSimilarity similarity, const ScoredColumn& query, const ScoredColumn& target);

// Column scores measured in steps above a floor, from 0 to `bins`: a score below the floor counts
// as the floor. The null counts each column score rounded to a whole step, off by at most half a step.
struct ScoreGrid {
    double low = 0.0;
    double step = 1.0;
    int bins = 0;

    double Steps(double score) const;  // (score − low) / step, within 0..bins
};

// The grid of `bins` steps from the lowest to the highest score (one step of 1 when they are equal).
ScoreGrid GridBetween(double low, double high, int bins);

// For one query: the chance that its columns first..first+length−1, each scored against a column
// drawn at random from the database, sum to at least a given binned score. Each column's chances
// are the share of database columns giving each binned score; the sum's are their exact
// convolution. Only the ranges a comparison asks for are kept.
class AlignmentNull {
public:
    AlignmentNull() = default;

    // `histograms[i][k]`: database columns giving query column i the binned score k (k = 0..bins).
    // `wanted[first × width + length − 1]` says which ranges of columns to keep.
    void Build(const std::vector<std::vector<double>>& histograms, const std::vector<char>& wanted);

    // P(sum ≥ score) for a kept range, the score in steps. Between whole steps the logarithm of the
    // chance is interpolated, so the chance falls steadily as the score rises; at or below the least
    // possible sum it is 1, at or above the greatest it is the chance of the greatest.
    double Tail(int first, int length, double score) const;

    // ln Tail, cheaper: the comparison's inner loop picks the best offset with it.
    double LogTail(int first, int length, double score) const;

private:
    struct Table {
        std::size_t start = 0;  // its first ln tail in m_logTails
        int least = 0;          // the least possible sum; the tails run from it to the greatest
        int count = 0;          // 0: the range is not kept
    };

    int m_width = 0;
    std::vector<Table> m_tables;  // first × width + (length − 1)
    std::vector<double> m_logTails;
    std::vector<std::vector<double>> m_columns;  // each query column's chances, from its least possible score on
    std::vector<int> m_columnLeast;              // that score
    std::vector<double> m_sum;                   // work space of Build
    std::vector<double> m_next;
};

}  // namespace kalvo
