// discover/known/column_null.cpp: column similarities, the score grid and the exact null of summed column scores.
#include "discover/known/column_null.h"

#include <algorithm>
#include <cmath>

namespace kalvo {
namespace {

struct SimilarityWord {
    ColumnSimilarity similarity;
    std::string_view name;
};

constexpr SimilarityWord kSimilarityWords[] = {
    {ColumnSimilarity::PearsonLikelihood, "pearson-llr"},
    {ColumnSimilarity::Pearson, "pearson"},
    {ColumnSimilarity::Euclidean, "euclidean"},
    {ColumnSimilarity::SandelinWasserman, "sandelin"},
    {ColumnSimilarity::AverageLogLikelihoodRatio, "allr"},
    {ColumnSimilarity::LogLikelihood, "llr"},
};

double SquaredDistance(const std::array<double, 4>& a, const std::array<double, 4>& b)
{
    double sum = 0.0;
    for (std::size_t k = 0; k < 4; ++k)
        sum += (a[k] - b[k]) * (a[k] - b[k]);
    return sum;
}

double Dot(const std::array<double, 4>& a, const std::array<double, 4>& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

std::array<double, 4> Complement(const std::array<double, 4>& values) { return {values[3], values[2], values[1], values[0]}; }

}  // namespace

std::optional<ColumnSimilarity> ColumnSimilarityByName(std::string_view name)
{
    for (const SimilarityWord& word : kSimilarityWords)
        if (word.name == name)
            return word.similarity;
    return std::nullopt;
}

std::string_view ColumnSimilarityName(ColumnSimilarity similarity)
{
    for (const SimilarityWord& word : kSimilarityWords)
        if (word.similarity == similarity)
            return word.name;
    return "pearson-llr";
}

ScoredColumn PrepareColumn(const std::array<double, 4>& shares, double sites)
{
    ScoredColumn column;
    double total = 0.0;
    for (std::size_t k = 0; k < 4; ++k) {
        column.shares[k] = std::isfinite(shares[k]) && shares[k] > 0.0 ? shares[k] : 0.0;
        total += column.shares[k];
    }
    for (double& share : column.shares)
        share = total > 0.0 ? share / total : 0.25;
    column.sites = std::isfinite(sites) && sites > 0.0 ? sites : kSitesWhenUnknown;
    double norm = 0.0;
    column.bits = 2.0;
    for (std::size_t k = 0; k < 4; ++k) {
        const double share = column.shares[k];
        const double smoothed = (share * column.sites + 0.25) / (column.sites + 1.0);
        column.logOdds[k] = std::log(4.0 * smoothed);
        column.centred[k] = share - 0.25;
        norm += column.centred[k] * column.centred[k];
        if (share > 0.0)
            column.bits += share * std::log2(share);
    }
    // Below this a column is even for all practical purposes, and its direction is noise.
    constexpr double kEven = 1e-12;
    for (double& value : column.centred)
        value = norm > kEven ? value / std::sqrt(norm) : 0.0;
    return column;
}

ScoredColumn ComplementColumn(const ScoredColumn& column)
{
    ScoredColumn complement = column;
    complement.shares = Complement(column.shares);
    complement.logOdds = Complement(column.logOdds);
    complement.centred = Complement(column.centred);
    return complement;
}

double ColumnScore(ColumnSimilarity similarity, const ScoredColumn& query, const ScoredColumn& target)
{
    switch (similarity) {
    case ColumnSimilarity::Pearson:
        return Dot(query.centred, target.centred);
    case ColumnSimilarity::Euclidean:
        return -std::sqrt(SquaredDistance(query.shares, target.shares));
    case ColumnSimilarity::SandelinWasserman:
        return 2.0 - SquaredDistance(query.shares, target.shares);
    case ColumnSimilarity::AverageLogLikelihoodRatio:
        return (query.sites * Dot(query.shares, target.logOdds) + target.sites * Dot(target.shares, query.logOdds)) /
               (query.sites + target.sites);
    case ColumnSimilarity::LogLikelihood:
        return Dot(query.shares, target.logOdds);
    case ColumnSimilarity::PearsonLikelihood:
    default:
        return Dot(query.centred, target.centred) + kLikelihoodShare * Dot(query.shares, target.logOdds);
    }
}

double ScoreGrid::Steps(double score) const
{
    return std::clamp((score - low) / step, 0.0, static_cast<double>(bins));
}

ScoreGrid GridBetween(double low, double high, int bins)
{
    ScoreGrid grid;
    grid.low = low;
    grid.bins = std::max(bins, 1);
    grid.step = high > low ? (high - low) / grid.bins : 1.0;
    return grid;
}

void AlignmentNull::Build(const std::vector<std::vector<double>>& histograms, const std::vector<char>& wanted)
{
    m_width = static_cast<int>(histograms.size());
    const auto width = static_cast<std::size_t>(m_width);
    m_tables.assign(width * width, Table{});
    m_logTails.clear();
    m_columns.resize(width);
    m_columnLeast.assign(width, 0);
    // Each column's chances, from its least possible binned score to its greatest.
    for (std::size_t i = 0; i < width; ++i) {
        const std::vector<double>& counts = histograms[i];
        double total = 0.0;
        int least = -1;
        int most = -1;
        for (int k = 0; k < static_cast<int>(counts.size()); ++k) {
            if (counts[static_cast<std::size_t>(k)] <= 0.0)
                continue;
            total += counts[static_cast<std::size_t>(k)];
            least = least < 0 ? k : least;
            most = k;
        }
        std::vector<double>& chances = m_columns[i];
        chances.clear();
        for (int k = least; least >= 0 && k <= most; ++k)
            chances.push_back(counts[static_cast<std::size_t>(k)] / total);
        if (chances.empty())
            chances.push_back(1.0);  // no database column at all: every score is the lowest
        m_columnLeast[i] = std::max(least, 0);
    }
    for (std::size_t first = 0; first < width; ++first) {
        std::size_t longest = 0;
        for (std::size_t length = 1; first + length <= width; ++length)
            if (wanted[first * width + length - 1])
                longest = length;
        m_sum.assign(1, 1.0);
        int least = 0;
        for (std::size_t length = 1; length <= longest; ++length) {
            const std::size_t column = first + length - 1;
            const std::vector<double>& chances = m_columns[column];
            m_next.assign(m_sum.size() + chances.size() - 1, 0.0);
            for (std::size_t k = 0; k < chances.size(); ++k) {
                const double chance = chances[k];
                double* out = m_next.data() + k;
                for (std::size_t s = 0; s < m_sum.size(); ++s)
                    out[s] += m_sum[s] * chance;
            }
            m_sum.swap(m_next);
            least += m_columnLeast[column];
            if (!wanted[first * width + length - 1])
                continue;
            Table& table = m_tables[first * width + length - 1];
            table.start = m_logTails.size();
            table.least = least;
            table.count = static_cast<int>(m_sum.size());
            m_logTails.resize(m_logTails.size() + m_sum.size());
            // Tails summed from the top, so the smallest keep their precision.
            double tail = 0.0;
            for (std::size_t s = m_sum.size(); s-- > 0;) {
                tail += m_sum[s];
                m_logTails[table.start + s] = std::log(std::min(tail, 1.0));
            }
        }
    }
}

double AlignmentNull::LogTail(int first, int length, double score) const
{
    const Table& table = m_tables[static_cast<std::size_t>(first * m_width + length - 1)];
    const double index = score - table.least;
    if (table.count == 0 || index <= 0.0)
        return 0.0;
    if (index >= table.count - 1)
        return m_logTails[table.start + static_cast<std::size_t>(table.count - 1)];
    const auto below = static_cast<std::size_t>(index);
    const double above = index - static_cast<double>(below);
    const double* tails = m_logTails.data() + table.start + below;
    return tails[0] + above * (tails[1] - tails[0]);
}

double AlignmentNull::Tail(int first, int length, double score) const { return std::exp(LogTail(first, length, score)); }

}  // namespace kalvo
