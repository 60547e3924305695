// tests/discover/known/motif_comparison_test.cpp: motifs aligned with a database, and the p-, E- and q-values of the alignments.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "discover/known/motif_comparison.h"

namespace kalvo {
namespace {

using Column = std::array<double, 4>;

// A column of shares from a letter: mostly that letter, the rest spread.
Column Leaning(char letter, double share)
{
    const std::string letters = "ACGT";
    Column column;
    column.fill((1.0 - share) / 3.0);
    column[letters.find(letter)] = share;
    return column;
}

// A motif from a consensus word, each column leaning to its letter (N: even).
KnownMotif MotifOf(const std::string& id, const std::string& word, double share = 0.85, double sites = 40.0)
{
    KnownMotif motif;
    motif.id = id;
    motif.name = id;
    motif.sites = sites;
    for (char letter : word)
        motif.shares.push_back(letter == 'N' ? Column{0.25, 0.25, 0.25, 0.25} : Leaning(letter, share));
    return motif;
}

KnownMotif ReverseComplementOf(const KnownMotif& motif)
{
    KnownMotif reverse = motif;
    reverse.shares.clear();
    for (auto column = motif.shares.rbegin(); column != motif.shares.rend(); ++column)
        reverse.shares.push_back({(*column)[3], (*column)[2], (*column)[1], (*column)[0]});
    return reverse;
}

// A database of unrelated motifs, with the one under test among them.
std::vector<KnownMotif> Database()
{
    return {MotifOf("M1", "TGACGTCA"), MotifOf("M2", "CACGTGAC"), MotifOf("M3", "GGGGCGGGGC"),
            MotifOf("M4", "TTATCAGT"), MotifOf("M5", "CCATATATGG"), MotifOf("M6", "AAACCACAGC"),
            MotifOf("M7", "GATAAG"),   MotifOf("M8", "TCTAGAAGTT"), MotifOf("M9", "ACCGGAAGTG")};
}

const KnownMotif& Target(const std::vector<KnownMotif>& database, const MotifMatch& match)
{
    return database[static_cast<std::size_t>(match.target)];
}

TEST(MotifAlignment, AMotifMatchesItselfFirstAtOffsetZeroOnThePlusStrand)
{
    const auto database = Database();
    const auto matches = CompareMotif(database[5], PrepareTargets(database), {});
    ASSERT_EQ(matches.size(), database.size());
    EXPECT_EQ(Target(database, matches[0]).id, "M6");
    EXPECT_EQ(matches[0].offset, 0);
    EXPECT_FALSE(matches[0].reverse);
    EXPECT_EQ(matches[0].overlap, 10);
}

TEST(MotifAlignment, ItsReverseComplementMatchesAtOffsetZeroOnTheMinusStrand)
{
    const auto database = Database();
    const auto matches = CompareMotif(ReverseComplementOf(database[5]), PrepareTargets(database), {});
    EXPECT_EQ(Target(database, matches[0]).id, "M6");
    EXPECT_EQ(matches[0].offset, 0);
    EXPECT_TRUE(matches[0].reverse);
}

TEST(MotifAlignment, APartOfAMotifLiesAtItsOffset)
{
    const auto database = Database();
    KnownMotif part = MotifOf("part", "CCACAGC");  // columns 4 to 10 of M6
    const auto matches = CompareMotif(part, PrepareTargets(database), {});
    EXPECT_EQ(Target(database, matches[0]).id, "M6");
    EXPECT_EQ(matches[0].offset, 3);
    EXPECT_EQ(matches[0].overlap, 7);
    const auto reversed = CompareMotif(ReverseComplementOf(part), PrepareTargets(database), {});
    EXPECT_EQ(Target(database, reversed[0]).id, "M6");
    EXPECT_TRUE(reversed[0].reverse);
    EXPECT_EQ(reversed[0].offset, 0);  // the reverse complement of M6 begins with the part's reverse complement
}

TEST(MotifAlignment, EvenEndsAreLeftOutButOffsetsCountTheQuerysOwnColumns)
{
    const auto database = Database();
    const auto matches = CompareMotif(MotifOf("ragged", "NNTTATCAGTN"), PrepareTargets(database), {});
    EXPECT_EQ(Target(database, matches[0]).id, "M4");
    EXPECT_EQ(matches[0].offset, -2);  // query column 3 lies over the target's first
    EXPECT_EQ(matches[0].overlap, 8);
}

TEST(MotifAlignment, OverlapsShorterThanTheMinimumAreNotTried)
{
    const std::vector<KnownMotif> database = {MotifOf("long", "ACGTTGCA"), MotifOf("other", "GGGCCCAT")};
    ComparisonSettings settings;
    settings.minOverlap = 6;
    // The query shares only its last four columns with the start of "long".
    for (const MotifMatch& match : CompareMotif(MotifOf("q", "TTTTACGT"), PrepareTargets(database), settings))
        EXPECT_GE(match.overlap, 6);
}

TEST(MotifAlignment, TheSameWhateverTheNumberOfThreads)
{
    const auto database = Database();
    const auto targets = PrepareTargets(database);
    const std::vector<KnownMotif> queries = {database[0], MotifOf("q", "CACGTG"), ReverseComplementOf(database[8]),
                                             MotifOf("even", "NNNNNNN")};
    MatchFilter all;
    all.top = 0;
    all.maxEValue = 1e300;
    const auto one = MatchMotifs(queries, targets, {}, all, 1);
    const auto two = MatchMotifs(queries, targets, {}, all, 2);
    ASSERT_EQ(one.size(), queries.size());
    for (std::size_t k = 0; k < queries.size(); ++k) {
        ASSERT_EQ(one[k].size(), two[k].size());
        for (std::size_t m = 0; m < one[k].size(); ++m) {
            EXPECT_EQ(one[k][m].target, two[k][m].target);
            EXPECT_EQ(one[k][m].p, two[k][m].p);
        }
    }
}

TEST(MotifAlignment, EveryColumnSimilarityFindsTheMotifItself)
{
    const auto database = Database();
    const auto targets = PrepareTargets(database);
    for (const char* name : {"pearson-llr", "pearson", "euclidean", "sandelin", "allr", "llr"}) {
        ComparisonSettings settings;
        settings.similarity = *ColumnSimilarityByName(name);
        EXPECT_EQ(ColumnSimilarityName(settings.similarity), name);
        EXPECT_EQ(Target(database, CompareMotif(database[2], targets, settings)[0]).id, "M3") << name;
    }
    EXPECT_FALSE(ColumnSimilarityByName("kullback"));
}

// The database's columns on both strands, as the null sees them.
std::vector<ScoredColumn> BothStrands(const std::vector<KnownMotif>& database)
{
    return PrepareTargets(database).columns;
}

TEST(AlignmentNull, TailsFallAsTheScoreRisesAndStayWithinZeroAndOne)
{
    const std::vector<std::vector<double>> histograms = {{1, 4, 0, 2, 3}, {0, 2, 2, 5, 1}, {3, 0, 0, 0, 7}};
    std::vector<char> wanted(9, 1);
    AlignmentNull null;
    null.Build(histograms, wanted);
    for (int first = 0; first < 3; ++first) {
        for (int length = 1; first + length <= 3; ++length) {
            double previous = 1.0;
            EXPECT_EQ(null.Tail(first, length, -1.0), 1.0);
            for (double score = 0.0; score <= 4.0 * length + 1.0; score += 0.25) {
                const double tail = null.Tail(first, length, score);
                EXPECT_LE(tail, previous + 1e-15) << first << " " << length << " " << score;
                EXPECT_GT(tail, 0.0);
                previous = tail;
            }
        }
    }
    // Columns 2 and 3 alone: scores 1..4 and 0 or 4, shares 2/10, 2/10, 5/10, 1/10 and 3/10, 7/10.
    EXPECT_NEAR(null.Tail(1, 2, 8.0), 0.1 * 0.7, 1e-12);
    EXPECT_NEAR(null.Tail(1, 2, 7.0), 0.6 * 0.7, 1e-12);
    EXPECT_NEAR(null.Tail(1, 1, 3.0), 0.6, 1e-12);
}

// Brute force: every way of drawing one database column per query column, and the share
// of them whose summed real score reaches `score`.
double EnumeratedTail(const std::vector<ScoredColumn>& query, const std::vector<ScoredColumn>& columns,
                      ColumnSimilarity similarity, double score)
{
    std::size_t reached = 0;
    std::size_t total = 0;
    for (const ScoredColumn& a : columns)
        for (const ScoredColumn& b : columns)
            for (const ScoredColumn& c : columns) {
                const double sum = ColumnScore(similarity, query[0], a) + ColumnScore(similarity, query[1], b) +
                                   ColumnScore(similarity, query[2], c);
                reached += sum >= score ? 1 : 0;
                ++total;
            }
    return static_cast<double>(reached) / static_cast<double>(total);
}

TEST(MatchPValues, LieWithinTheBoundsOfTheEnumeratedNull)
{
    const std::vector<KnownMotif> database = {MotifOf("A", "ACG", 0.7), MotifOf("B", "TTA", 0.9),
                                              MotifOf("C", "GCN", 0.6), MotifOf("D", "CAT", 0.8)};
    const std::vector<ScoredColumn> columns = BothStrands(database);
    for (const std::string word : {"ACG", "TGA", "CCT", "ANT"}) {
        for (const ColumnSimilarity similarity : {ColumnSimilarity::PearsonLikelihood, ColumnSimilarity::Euclidean}) {
            ComparisonSettings settings;
            settings.similarity = similarity;
            settings.minOverlap = 3;
            settings.endBits = 0.0;
            const KnownMotif query = MotifOf("q", word, 0.75);
            std::vector<ScoredColumn> scored;
            double low = HUGE_VAL;
            double high = -HUGE_VAL;
            for (const auto& shares : query.shares)
                scored.push_back(PrepareColumn(shares, query.sites));
            for (const ScoredColumn& column : columns)
                for (const ScoredColumn& q : scored) {
                    low = std::min(low, ColumnScore(similarity, q, column));
                    high = std::max(high, ColumnScore(similarity, q, column));
                }
            // Each column's rounding moves a sum by half a step at most, the interpolation by one step.
            const double slack = (3 * 0.5 + 1.0) * (high - low) / settings.gridBins + 1e-6;
            for (const MotifMatch& match : CompareMotif(query, PrepareTargets(database), settings)) {
                // One offset per strand: p = 1 − (1 − p_offset)², so p_offset = 1 − √(1 − p).
                const double offsetP = 1.0 - std::sqrt(1.0 - match.p);
                EXPECT_LE(offsetP, EnumeratedTail(scored, columns, similarity, match.score - slack) + 1e-6) << word;
                EXPECT_GE(offsetP, EnumeratedTail(scored, columns, similarity, match.score + slack) - 1e-6) << word;
            }
        }
    }
}

TEST(MatchPValues, FallAsTheAlignmentScoreRises)
{
    const auto database = Database();
    const auto targets = PrepareTargets(database);
    ComparisonSettings settings;
    settings.minOverlap = 8;
    // Every width-8 target against a width-8 query: one overlap, the same null, the same offsets.
    const auto matches = CompareMotif(MotifOf("q", "TGACGTCA", 0.7), targets, settings);
    std::vector<MotifMatch> sameShape;
    for (const MotifMatch& match : matches)
        if (targets.widths[static_cast<std::size_t>(match.target)] == 8)
            sameShape.push_back(match);
    ASSERT_GE(sameShape.size(), 3u);
    for (std::size_t k = 1; k < sameShape.size(); ++k) {
        EXPECT_LE(sameShape[k - 1].p, sameShape[k].p);
        EXPECT_GE(sameShape[k - 1].score, sameShape[k].score);
    }
}

TEST(MatchPValues, EIsPTimesTheDatabaseAndQIsBenjaminiHochberg)
{
    const auto database = Database();
    const auto matches = CompareMotif(MotifOf("q", "GATAAGNN"), PrepareTargets(database), {});
    std::vector<double> p;
    for (const MotifMatch& match : matches) {
        EXPECT_DOUBLE_EQ(match.e, match.p * 9.0);
        p.push_back(match.p);
    }
    EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
    // Sorted p: q_k = min over j ≥ k of p_j · n / j.
    for (std::size_t k = 0; k < matches.size(); ++k) {
        double q = 1.0;
        for (std::size_t j = k; j < matches.size(); ++j)
            q = std::min(q, p[j] * 9.0 / static_cast<double>(j + 1));
        EXPECT_NEAR(matches[k].q, q, 1e-15 + 1e-12 * q);
    }
}

TEST(MatchPValues, QValuesOfAHandMadeList)
{
    const auto q = QValues({0.01, 0.04, 0.03, 0.5});
    ASSERT_EQ(q.size(), 4u);
    EXPECT_DOUBLE_EQ(q[0], 0.04);
    EXPECT_DOUBLE_EQ(q[1], 0.04 * 4 / 3);
    EXPECT_DOUBLE_EQ(q[2], 0.04 * 4 / 3);
    EXPECT_DOUBLE_EQ(q[3], 0.5);
    EXPECT_TRUE(QValues({}).empty());
}

TEST(MatchFilter, KeepsTheBestWithinTheThresholdInOrder)
{
    std::vector<MotifMatch> matches(5);
    for (int k = 0; k < 5; ++k) {
        matches[static_cast<std::size_t>(k)].target = k;
        matches[static_cast<std::size_t>(k)].e = 0.5 * k;
        matches[static_cast<std::size_t>(k)].q = 0.02 * k;
    }
    MatchFilter filter;
    filter.top = 3;
    filter.maxEValue = 10.0;
    EXPECT_EQ(KeepMatches(matches, filter).size(), 3u);
    filter.maxEValue = 0.6;
    EXPECT_EQ(KeepMatches(matches, filter).size(), 2u);
    filter.maxQValue = 0.05;  // replaces the E-value threshold
    filter.top = 0;
    const auto kept = KeepMatches(matches, filter);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept.back().target, 2);
}

TEST(MatchPValues, AnEmptyDatabaseOrQueryGivesNoMatch)
{
    EXPECT_TRUE(CompareMotif(MotifOf("q", "ACGTAC"), PrepareTargets({}), {}).empty());
    EXPECT_TRUE(CompareMotif(KnownMotif{}, PrepareTargets(Database()), {}).empty());
}

}  // namespace
}  // namespace kalvo
