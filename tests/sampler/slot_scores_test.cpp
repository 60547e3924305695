// tests/sampler/slot_scores_test.cpp: every vector path scores slots and settles draws with the portable path's bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sampler/slot_scores.h"
#include "util/random.h"
#include "util/vector_paths.h"

namespace kalvo {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::vector<VectorPath> AvailableVectorPaths()
{
    std::vector<VectorPath> paths;
    for (VectorPath path : {VectorPath::Avx2, VectorPath::Avx512}) {
        if (VectorPathAvailable(path))
            paths.push_back(path);
    }
    return paths;
}

// The bits of a double, so that NaN equals NaN and 0 differs from −0.
std::uint64_t Bits(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// One sequence's scoring tables with random letters (a few not A, C, G or T),
// blocked starts, backgrounds over many orders of magnitude and a random
// motif with pairs, padded as the run's tables are.
struct RandomStretch {
    // The scale of the approximate backgrounds: 2^30 brings the typical ones near 1.
    static constexpr int kScale = 30;

    RandomStretch(std::mt19937& random, int width, std::size_t count, std::size_t pairs, bool bothStrands)
    {
        const std::size_t letters = count + static_cast<std::size_t>(width) - 1 + kSlotTablePadding;
        for (std::size_t i = 0; i < letters; ++i) {
            const bool other = random() % 17 == 0;  // such a letter counts as A on both strands
            const auto code = static_cast<std::uint8_t>(other ? 0 : random() % 4);
            codes.push_back(code);
            reverseCodes.push_back(static_cast<std::uint8_t>(other ? 0 : 3 - code));
            blocked.push_back(random() % 9 == 0 ? 1 : 0);
            bgForward.push_back(Background(random));
            bgReverse.push_back(Background(random));
            approxBgForward.push_back(ApproximateBackground(bgForward.back(), kScale));
            approxBgReverse.push_back(ApproximateBackground(bgReverse.back(), kScale));
        }
        std::uniform_real_distribution<double> probability(0.001, 0.9);
        for (int i = 0; i < 4 * width; ++i)
            columnProbs.push_back(probability(random));
        std::vector<int> columns(static_cast<std::size_t>(width));
        for (int c = 0; c < width; ++c)
            columns[static_cast<std::size_t>(c)] = c;
        std::shuffle(columns.begin(), columns.end(), random);
        for (std::size_t g = 0; g < pairs && 2 * g + 1 < columns.size(); ++g) {
            GroupNode group;
            group.size = 2;
            group.positions = {columns[2 * g], columns[2 * g + 1]};
            for (int cell = 0; cell < 16; ++cell)
                group.probs.push_back(probability(random));
            groups.push_back(group);
        }
        for (int c = 0; c < width; ++c) {
            if (std::find(columns.begin(), columns.begin() + static_cast<long>(2 * groups.size()), c) ==
                columns.begin() + static_cast<long>(2 * groups.size()))
                freeColumns.push_back(c);
        }
        model.columnProbs = columnProbs.data();
        model.freeColumns = freeColumns.data();
        model.numFree = freeColumns.size();
        model.groups = groups.data();
        model.numGroups = groups.size();
        model.width = width;
        model.bothStrands = bothStrands;
        stretch.codes = codes.data();
        stretch.reverseCodes = reverseCodes.data();
        stretch.blocked = blocked.data();
        stretch.bgForward = bgForward.data();
        stretch.bgReverse = bgReverse.data();
        stretch.approxBgForward = approxBgForward.data();
        stretch.approxBgReverse = approxBgReverse.data();
        stretch.count = count;
        scratch.assign(SlotScratchSize(count, width), 0);
    }

    static double Background(std::mt19937& random)
    {
        switch (random() % 40) {
        case 0: return 0.0;  // a letter the background never saw
        case 1: return 1e-310;  // subnormal
        case 2: return 1e300;
        default:
            return std::ldexp(1.0 + static_cast<double>(random() % 1000) / 1000.0, -static_cast<int>(random() % 60));
        }
    }

    std::vector<std::uint8_t> codes, reverseCodes, blocked;
    std::vector<double> bgForward, bgReverse, columnProbs;
    std::vector<float> approxBgForward, approxBgReverse;
    std::vector<int> freeColumns;
    std::vector<GroupNode> groups;
    std::vector<std::uint64_t> scratch;
    SlotModel model;
    SlotStretch stretch;
};

// Everything the three kinds of output write, one after the other.
std::vector<std::uint64_t> AllOutputs(RandomStretch& input, double oddsBelow, VectorPath path)
{
    const std::size_t slots = 2 * input.stretch.count;
    std::vector<double> first(slots + kSlotOutputPadding), second(slots + kSlotOutputPadding), totals((slots + 7) / 8);
    std::vector<std::uint64_t> bits;
    ScoreSlotProducts(input.model, input.stretch, oddsBelow, first.data(), second.data(), input.scratch.data(), path);
    first.resize(slots);
    second.resize(slots);
    for (std::size_t k = 0; k < slots; ++k) {
        bits.push_back(Bits(first[k]));
        bits.push_back(Bits(second[k]));
    }
    first.resize(slots + kSlotOutputPadding);
    ScoreSlotRatios(input.model, input.stretch, first.data(), nullptr, nullptr, input.scratch.data(), path);
    first.resize(slots);
    for (double score : first)
        bits.push_back(Bits(score));
    double total = 0.25;
    first.resize(slots + kSlotOutputPadding);
    ScoreSlotRatios(input.model, input.stretch, first.data(), totals.data(), &total, input.scratch.data(), path);
    for (double value : totals)
        bits.push_back(Bits(value));
    bits.push_back(Bits(total));
    return bits;
}

TEST(SlotScores, EveryVectorPathWritesThePortableBitsForAnyStretch)
{
    std::mt19937 random(17);
    const double odds[] = {377.0, 1e-12, 0.0, kInfinity, kNaN, 1e250};
    for (int width : {1, 2, 5, 12, 13}) {
        for (std::size_t count : {1u, 3u, 4u, 7u, 8u, 9u, 16u, 31u, 33u, 70u, 189u}) {
            for (std::size_t pairs : {0u, 1u, 3u}) {
                for (bool bothStrands : {true, false}) {
                    SCOPED_TRACE("W " + std::to_string(width) + ", " + std::to_string(count) + " starts, " +
                                 std::to_string(pairs) + " pairs" + (bothStrands ? "" : ", one strand"));
                    RandomStretch input(random, width, count, pairs, bothStrands);
                    const double oddsBelow = OddsBelow(odds[random() % 6], RandomStretch::kScale);
                    const std::vector<std::uint64_t> portable = AllOutputs(input, oddsBelow, VectorPath::Portable);
                    for (VectorPath path : AvailableVectorPaths())
                        EXPECT_EQ(AllOutputs(input, oddsBelow, path), portable) << VectorPathName(path);
                }
            }
        }
    }
}

TEST(SlotScores, RunningTotalsAddTheScoresOneByOneAndNoteEveryEighth)
{
    std::mt19937 random(5);
    RandomStretch input(random, 6, 21, 1, true);
    std::vector<double> scores(42 + kSlotOutputPadding);
    ScoreSlotRatios(input.model, input.stretch, scores.data(), nullptr, nullptr, input.scratch.data(),
                    VectorPath::Portable);
    scores.resize(42);
    std::vector<double> totals(6);
    double total = 1.5;
    std::vector<double> unused(42 + kSlotOutputPadding);
    ScoreSlotRatios(input.model, input.stretch, unused.data(), totals.data(), &total, input.scratch.data(),
                    VectorPath::Portable);
    double expected = 1.5;
    for (std::size_t k = 0; k < scores.size(); ++k) {
        expected += scores[k];
        if (k % 8 == 7 || k + 1 == scores.size()) {
            EXPECT_EQ(Bits(totals[k / 8]), Bits(expected)) << k;
        }
    }
    EXPECT_EQ(Bits(total), Bits(expected));
}

// Draws for the slots one at a time and decides them exactly, the way one slot after another is decided.
struct ExactDecision {
    std::size_t firstKept;   // the first slot u ≥ q does not reject, or n
    std::uint32_t stateAfter;
};

ExactDecision DecideExactly(const std::vector<double>& products, const std::vector<double>& backgrounds,
                            double odds, std::uint32_t state)
{
    RandomStream random(state);
    for (std::size_t j = 0; j < backgrounds.size(); ++j) {
        const double u = random.Uniform();
        const double q = products[j] / backgrounds[j] / odds;
        if (!(u >= q))
            return {j, random.State()};
    }
    return {backgrounds.size(), random.State()};
}

// The thresholds the scoring writes for forward slots of these backgrounds, with the outputs' padding.
std::vector<double> ThresholdsOf(std::mt19937& random, const std::vector<double>& backgrounds, double odds)
{
    const std::size_t n = backgrounds.size();
    RandomStretch input(random, 1, n, 0, true);
    for (std::size_t j = 0; j < n; ++j)
        input.approxBgForward[j] = ApproximateBackground(backgrounds[j], RandomStretch::kScale);
    std::vector<double> products(2 * n + kSlotOutputPadding), thresholds(2 * n + kSlotOutputPadding);
    std::vector<double> forward(n + kSlotOutputPadding);
    ScoreSlotProducts(input.model, input.stretch, OddsBelow(odds, RandomStretch::kScale), products.data(),
                      thresholds.data(),
                      input.scratch.data(), VectorPath::Portable);
    for (std::size_t j = 0; j < n; ++j)
        forward[j] = thresholds[2 * j];
    return forward;
}

TEST(SettleSlots, SettlesOnlyRejectionsAndEveryPathStopsAtTheSameSlot)
{
    // Half the trials hold products just above, at and below the exact
    // threshold u·background·odds for the draws that will meet them, and
    // extreme values beside them; the other half only clear rejections.
    std::mt19937 random(23);
    const double oddsChoices[] = {377.0, 0.5, 3e-5, 1e6, 1e-300, 1e300, 0.0, kInfinity, kNaN};
    for (int trial = 0; trial < 3000; ++trial) {
        const bool clear = trial % 2 == 0;
        const double odds = clear ? 377.0 : oddsChoices[random() % 9];
        const auto state = static_cast<std::uint32_t>(random());
        const std::size_t n = 1 + random() % 80;
        RandomStream ahead(state);
        std::vector<double> products(n + kSlotOutputPadding), backgrounds(n);
        for (std::size_t j = 0; j < n; ++j) {
            const double u = ahead.Uniform();
            backgrounds[j] = clear ? 1e-7 : RandomStretch::Background(random);
            const double exact = u * backgrounds[j] * odds;
            switch (clear ? 5 : random() % 7) {
            case 0: products[j] = exact * (1 + std::ldexp(static_cast<double>(random() % 64) - 32, -50)); break;
            case 6:  // where the float backgrounds' rounding and the margin meet
                products[j] = exact * (1 + std::ldexp(static_cast<double>(random() % 64) - 32, -26));
                break;
            case 1: products[j] = std::nextafter(exact, random() % 2 ? kInfinity : 0.0); break;
            case 2: products[j] = 0.0; break;
            case 3: products[j] = random() % 2 ? kInfinity : 5e-324; break;
            default: products[j] = exact * std::ldexp(1.0, -1 - static_cast<int>(random() % 8)); break;
            }
        }
        const std::vector<double> thresholds = ThresholdsOf(random, backgrounds, odds);
        const ExactDecision exact = DecideExactly(products, backgrounds, odds, state);
        RandomStream portableStream(state);
        double portableDraw = -1.0;
        const std::size_t portable =
            SettleSlots(products.data(), thresholds.data(), n, portableStream, portableDraw, VectorPath::Portable);
        ASSERT_LE(portable, exact.firstKept) << "a slot the exact test keeps was settled, trial " << trial;
        // Clear rejections (u·b·odds at least twice the product, u > 0) are settled.
        if (clear && exact.firstKept == n) {
            EXPECT_EQ(portable, n) << "trial " << trial;
        }
        for (VectorPath path : AvailableVectorPaths()) {
            RandomStream stream(state);
            double draw = -1.0;
            EXPECT_EQ(SettleSlots(products.data(), thresholds.data(), n, stream, draw, path), portable)
                << VectorPathName(path);
            EXPECT_EQ(stream.State(), portableStream.State()) << VectorPathName(path);
            EXPECT_EQ(Bits(draw), Bits(portableDraw)) << VectorPathName(path);
        }
        // The open slot's draw is made, and is the draw of its own place.
        RandomStream replay(state);
        replay.Skip(std::min(portable + 1, n));
        EXPECT_EQ(portableStream.State(), replay.State());
        if (portable < n) {
            RandomStream at(state);
            at.Skip(portable);
            EXPECT_EQ(portableDraw, at.Uniform());
        }
    }
}

}  // namespace
}  // namespace kalvo
