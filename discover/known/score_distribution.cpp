// discover/known/score_distribution.cpp: grid scores of a known motif, their exact distribution over
// random words, and the scan that asks whether a sequence holds a word at a threshold.
#include "discover/known/score_distribution.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sstream>

#include "util/text_lines.h"

namespace kalvo {
namespace {

// What a letter other than A, C, G, T adds: far below any threshold, yet a sum of one of them
// with every other unit's score stays inside an int.
constexpr int kNoLetterScore = -(1 << 26);

int GridOf(double nats) { return static_cast<int>(std::lround(nats / kScoreGridStep)); }

// A column's shares with the floor added and scaled back to sum 1.
std::array<double, 4> FlooredShares(const std::array<double, 4>& shares)
{
    std::array<double, 4> floored{};
    for (std::size_t b = 0; b < 4; ++b)
        floored[b] = (std::max(shares[b], 0.0) + kMotifShareFloor) / (1.0 + 4.0 * kMotifShareFloor);
    return floored;
}

std::array<double, 16> FlooredJointShares(const std::array<double, 16>& shares)
{
    std::array<double, 16> floored{};
    for (std::size_t k = 0; k < 16; ++k)
        floored[k] = (std::max(shares[k], 0.0) + kMotifShareFloor / 4.0) / (1.0 + 4.0 * kMotifShareFloor);
    return floored;
}

// Which columns belong to a pair: -1 for an independent column, else the pair's index.
std::vector<int> PairOfColumns(const KnownMotif& motif)
{
    std::vector<int> pairOf(static_cast<std::size_t>(motif.Width()), -1);
    for (std::size_t k = 0; k < motif.pairs.size(); ++k) {
        pairOf[static_cast<std::size_t>(motif.pairs[k].first)] = static_cast<int>(k);
        pairOf[static_cast<std::size_t>(motif.pairs[k].second)] = static_cast<int>(k);
    }
    return pairOf;
}

// A scoring unit as the distribution sees it: the grid score and background probability of each
// of its letters (4 for a column, 16 for a pair).
struct UnitLaw {
    std::vector<int> scores;
    std::vector<double> probabilities;
};

std::vector<UnitLaw> UnitLaws(const GridMotif& grid, const BaseShares& background)
{
    std::vector<UnitLaw> laws;
    for (const GridMotif::Column& column : grid.columns) {
        UnitLaw law;
        for (std::size_t b = 0; b < 4; ++b) {
            law.scores.push_back(column.score[b]);
            law.probabilities.push_back(background[b]);
        }
        laws.push_back(std::move(law));
    }
    for (const GridMotif::Pair& pair : grid.pairs) {
        UnitLaw law;
        for (std::size_t a = 0; a < 4; ++a) {
            for (std::size_t b = 0; b < 4; ++b) {
                law.scores.push_back(pair.score[5 * a + b]);
                law.probabilities.push_back(background[a] * background[b]);
            }
        }
        laws.push_back(std::move(law));
    }
    return laws;
}

// Fills in what the units after each can add at best, and the best and worst totals.
void SetBounds(GridMotif& grid)
{
    int best = 0;
    int worst = 0;
    for (auto pair = grid.pairs.rbegin(); pair != grid.pairs.rend(); ++pair) {
        pair->bestAfter = best;
        int high = kNoLetterScore;
        int low = -kNoLetterScore;
        for (std::size_t a = 0; a < 4; ++a)
            for (std::size_t b = 0; b < 4; ++b) {
                high = std::max(high, pair->score[5 * a + b]);
                low = std::min(low, pair->score[5 * a + b]);
            }
        best += high;
        worst += low;
    }
    for (auto column = grid.columns.rbegin(); column != grid.columns.rend(); ++column) {
        column->bestAfter = best;
        best += *std::max_element(column->score.begin(), column->score.begin() + 4);
        worst += *std::min_element(column->score.begin(), column->score.begin() + 4);
    }
    grid.bestTotal = best;
    grid.worstTotal = worst;
}

// Where the scan's blocks start: the windows of kBlockLetters adjacent columns with the widest
// spread of scores between them (the one with the wider spread first), since the scan stops
// soonest after them. Columns of pairs add no spread: the pairs are scored after the blocks.
std::array<int, 2> BlockStarts(const GridMotif& grid, int blocks)
{
    std::vector<int> spread(static_cast<std::size_t>(grid.width), 0);
    for (const GridMotif::Column& column : grid.columns)
        spread[static_cast<std::size_t>(column.offset)] =
            *std::max_element(column.score.begin(), column.score.begin() + 4) -
            *std::min_element(column.score.begin(), column.score.begin() + 4);
    auto window = [&spread](int start) {
        return std::accumulate(spread.begin() + start, spread.begin() + start + kBlockLetters, 0);
    };
    std::array<int, 2> best{0, kBlockLetters};
    int bestSpread = -1;
    const int last = grid.width - kBlockLetters;
    for (int first = 0; first <= last; ++first) {
        if (blocks == 1) {
            if (window(first) > bestSpread) {
                bestSpread = window(first);
                best = {first, 0};
            }
            continue;
        }
        for (int second = first + kBlockLetters; second <= last; ++second) {
            if (window(first) + window(second) > bestSpread) {
                bestSpread = window(first) + window(second);
                best = window(first) >= window(second) ? std::array<int, 2>{first, second}
                                                       : std::array<int, 2>{second, first};
            }
        }
    }
    return best;
}

}  // namespace

BaseShares StrandBaseShares(const std::vector<std::string>& sequences)
{
    double at = 0.0;
    double cg = 0.0;
    for (const std::string& sequence : sequences) {
        for (char letter : sequence) {
            if (letter == 'A' || letter == 'T' || letter == 'a' || letter == 't')
                at += 1.0;
            else if (letter == 'C' || letter == 'G' || letter == 'c' || letter == 'g')
                cg += 1.0;
        }
    }
    // One of each letter pair added, so that a set without C or G still gives them a share above 0.
    const double total = 2.0 * (at + cg + 2.0);
    return BaseShares{(at + 1.0) / total, (cg + 1.0) / total, (cg + 1.0) / total, (at + 1.0) / total};
}

Outcome ReadBaseShares(const std::string& path, BaseShares& shares)
{
    const auto text = ReadWholeFile(path);
    if (!text)
        return Refusal{"cannot open background file '" + path + "': " + DescribeOpenFailure(path)};
    std::istringstream lines(*text);
    std::string line;
    std::vector<double> numbers;
    while (numbers.size() < 4 && std::getline(lines, line)) {
        if (!line.empty() && line.front() == '#')
            continue;
        std::istringstream words(line);
        std::string word;
        while (numbers.size() < 4 && words >> word) {
            char* end = nullptr;
            const double value = std::strtod(word.c_str(), &end);
            if (end != word.c_str() + word.size() || !std::isfinite(value) || value <= 0.0)
                return Refusal{"background file '" + path + "': '" + word +
                               "' is not a share above 0; the file holds four numbers, the shares of A, C, G and T"};
            numbers.push_back(value);
        }
    }
    if (numbers.size() < 4)
        return Refusal{"background file '" + path + "' holds " + std::to_string(numbers.size()) +
                       " numbers; it needs four, the shares of A, C, G and T"};
    const double total = std::accumulate(numbers.begin(), numbers.end(), 0.0);
    for (std::size_t b = 0; b < 4; ++b)
        shares[b] = numbers[b] / total;
    return std::nullopt;
}

Outcome CheckPairs(const KnownMotif& motif)
{
    std::vector<int> used(static_cast<std::size_t>(motif.Width()), 0);
    for (const KnownPair& pair : motif.pairs) {
        if (pair.first < 0 || pair.second >= motif.Width() || pair.first >= pair.second)
            return Refusal{"motif '" + motif.id + "' has a column pair (" + std::to_string(pair.first + 1) + ", " +
                           std::to_string(pair.second + 1) + ") outside its " + std::to_string(motif.Width()) +
                           " columns"};
        if (used[static_cast<std::size_t>(pair.first)]++ > 0 || used[static_cast<std::size_t>(pair.second)]++ > 0)
            return Refusal{"motif '" + motif.id + "' has a column in two pairs; each column may be in one pair at most"};
    }
    return std::nullopt;
}

KnownMotif ReverseComplement(const KnownMotif& motif)
{
    KnownMotif reverse = motif;
    const int width = motif.Width();
    for (int j = 0; j < width; ++j)
        for (std::size_t b = 0; b < 4; ++b)
            reverse.shares[static_cast<std::size_t>(j)][b] = motif.shares[static_cast<std::size_t>(width - 1 - j)][3 - b];
    for (KnownPair& pair : reverse.pairs) {
        const KnownPair original = pair;
        pair.first = width - 1 - original.second;
        pair.second = width - 1 - original.first;
        // The new first column is the old second one, complemented: cell (a, b) is old cell (3-b, 3-a).
        for (std::size_t a = 0; a < 4; ++a)
            for (std::size_t b = 0; b < 4; ++b)
                pair.shares[4 * a + b] = original.shares[4 * (3 - b) + (3 - a)];
    }
    return reverse;
}

GridMotif MakeGridMotif(const KnownMotif& motif, const BaseShares& background)
{
    GridMotif grid;
    grid.width = motif.Width();
    const std::vector<int> pairOf = PairOfColumns(motif);
    for (int j = 0; j < grid.width; ++j) {
        if (pairOf[static_cast<std::size_t>(j)] >= 0)
            continue;
        const auto shares = FlooredShares(motif.shares[static_cast<std::size_t>(j)]);
        GridMotif::Column column;
        column.offset = j;
        for (std::size_t b = 0; b < 4; ++b)
            column.score[b] = GridOf(std::log(shares[b] / background[b]));
        column.score[4] = kNoLetterScore;
        grid.columns.push_back(column);
    }
    // The columns with the widest spread first: they rule most words out soonest.
    std::stable_sort(grid.columns.begin(), grid.columns.end(), [](const auto& x, const auto& y) {
        auto spread = [](const GridMotif::Column& c) {
            return *std::max_element(c.score.begin(), c.score.begin() + 4) -
                   *std::min_element(c.score.begin(), c.score.begin() + 4);
        };
        return spread(x) > spread(y);
    });
    for (const KnownPair& known : motif.pairs) {
        const auto shares = FlooredJointShares(known.shares);
        GridMotif::Pair pair;
        pair.first = known.first;
        pair.second = known.second;
        pair.score.fill(kNoLetterScore);
        for (std::size_t a = 0; a < 4; ++a)
            for (std::size_t b = 0; b < 4; ++b)
                pair.score[5 * a + b] = GridOf(std::log(shares[4 * a + b] / (background[a] * background[b])));
        grid.pairs.push_back(pair);
    }
    SetBounds(grid);
    return grid;
}

GridMotif MakeReverseGridMotif(const KnownMotif& motif, const BaseShares& background)
{
    // Letter c of the forward strand is letter 3 - c of the reverse one, whose background share is used.
    const BaseShares complement{background[3], background[2], background[1], background[0]};
    return MakeGridMotif(ReverseComplement(motif), complement);
}

int GridScore(const GridMotif& motif, const std::uint8_t* codes)
{
    for (int j = 0; j < motif.width; ++j)
        if (codes[j] > 3)
            return kNoGridScore;
    int score = 0;
    for (const GridMotif::Column& column : motif.columns)
        score += column.score[codes[column.offset]];
    for (const GridMotif::Pair& pair : motif.pairs)
        score += pair.score[5 * codes[pair.first] + codes[pair.second]];
    return score;
}

void BlockIndexes(const std::vector<std::uint8_t>& codes, std::vector<std::uint16_t>& blocks)
{
    blocks.assign(codes.size(), kNoBlock);
    unsigned index = 0;
    std::size_t letters = 0;  // A, C, G, T in a row up to here
    for (std::size_t i = 0; i < codes.size(); ++i) {
        letters = codes[i] > 3 ? 0 : letters + 1;
        index = ((index << 2) | (codes[i] & 3u)) & (kNoBlock - 1u);
        if (letters >= static_cast<std::size_t>(kBlockLetters))
            blocks[i + 1 - kBlockLetters] = static_cast<std::uint16_t>(index);
    }
}

BlockedMotif MakeBlockedMotif(const GridMotif& grid)
{
    BlockedMotif blocked;
    blocked.width = grid.width;
    blocked.blocks = std::min(grid.width / kBlockLetters, 2);
    blocked.start = BlockStarts(grid, blocked.blocks);
    blocked.rest.width = grid.width;
    blocked.rest.pairs = grid.pairs;
    const auto entries = static_cast<std::size_t>(kNoBlock) + 1;
    blocked.table.assign(entries * static_cast<std::size_t>(blocked.blocks), 0);
    for (const GridMotif::Column& column : grid.columns) {
        int block = 0;
        while (block < blocked.blocks && (column.offset < blocked.start[static_cast<std::size_t>(block)] ||
                                          column.offset >= blocked.start[static_cast<std::size_t>(block)] + kBlockLetters))
            ++block;
        if (block >= blocked.blocks) {
            blocked.rest.columns.push_back(column);
            continue;
        }
        // The column's letter is digit (kBlockLetters - 1 - place) in base 4 of the block index.
        const int shift = 2 * (kBlockLetters - 1 - (column.offset - blocked.start[static_cast<std::size_t>(block)]));
        int* table = blocked.table.data() + entries * static_cast<std::size_t>(block);
        for (unsigned index = 0; index < kNoBlock; ++index)
            table[index] += column.score[(index >> shift) & 3u];
    }
    SetBounds(blocked.rest);
    std::array<int, 2> best{};
    for (int b = 0; b < blocked.blocks; ++b) {
        int* table = blocked.table.data() + entries * static_cast<std::size_t>(b);
        best[static_cast<std::size_t>(b)] = *std::max_element(table, table + kNoBlock);
        table[kNoBlock] = kNoLetterScore;
    }
    blocked.bestAfter[1] = blocked.rest.bestTotal;
    blocked.bestAfter[0] = blocked.rest.bestTotal + (blocked.blocks > 1 ? best[1] : 0);
    return blocked;
}

bool HoldsSite(const BlockedMotif& forward, const BlockedMotif& reverse, int threshold, const std::uint8_t* codes,
               const std::uint16_t* blocks, std::size_t length)
{
    const auto width = static_cast<std::size_t>(forward.width);
    if (width == 0 || length < width)
        return false;
    for (std::size_t i = 0; i + width <= length; ++i)
        if (BlockedReaches(forward, codes + i, blocks + i, threshold) ||
            BlockedReaches(reverse, codes + i, blocks + i, threshold))
            return true;
    return false;
}

ScoreDistribution::ScoreDistribution(const KnownMotif& motif, const BaseShares& background)
{
    const GridMotif grid = MakeGridMotif(motif, background);
    const std::vector<UnitLaw> laws = UnitLaws(grid, background);
    // Probabilities of the scores of the units so far, by score - least.
    std::vector<double> mass{1.0};
    std::vector<double> next;
    int least = 0;
    for (const UnitLaw& law : laws) {
        const int low = *std::min_element(law.scores.begin(), law.scores.end());
        const int high = *std::max_element(law.scores.begin(), law.scores.end());
        next.assign(mass.size() + static_cast<std::size_t>(high - low), 0.0);
        for (std::size_t x = 0; x < law.scores.size(); ++x) {
            const double probability = law.probabilities[x];
            double* to = next.data() + (law.scores[x] - low);
            for (std::size_t k = 0; k < mass.size(); ++k)
                to[k] += mass[k] * probability;
        }
        mass.swap(next);
        least += low;
    }
    m_least = least;
    // Summed from the best score down, so the small tail probabilities keep their precision.
    m_tail.assign(mass.size(), 0.0);
    double sum = 0.0;
    for (std::size_t k = mass.size(); k-- > 0;) {
        sum += mass[k];
        m_tail[k] = std::min(sum, 1.0);
    }
}

double ScoreDistribution::PValue(int score) const
{
    if (score <= m_least)
        return 1.0;
    if (score > BestScore())
        return 0.0;
    return m_tail[static_cast<std::size_t>(score - m_least)];
}

int ScoreDistribution::Threshold(double p) const
{
    // m_tail falls as the score rises: the first index whose tail is at most p.
    const auto first = std::partition_point(m_tail.begin(), m_tail.end(), [p](double tail) { return tail > p; });
    return m_least + static_cast<int>(first - m_tail.begin());
}

}  // namespace kalvo
