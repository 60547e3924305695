// tests/report/sequence_logo_test.cpp: the logo's stacks follow the information content, and its SVG is well formed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "report/sequence_logo.h"

namespace kalvo {
namespace {

// True when the tags nest and close, attribute values are quoted, only one
// element is at the top, and no stray '<' or '&' is left: what SVG viewers need.
bool WellFormed(const std::string& xml)
{
    static const std::regex kTag(R"(<(/?)([A-Za-z][\w:-]*)((?:\s+[\w:-]+="[^"<]*")*)\s*(/?)>)");
    static const std::regex kBadAmpersand("&(?!amp;|lt;|gt;|quot;|apos;)");
    if (std::regex_search(xml, kBadAmpersand))
        return false;
    const std::size_t declaration = xml.rfind("?>", 60);
    const std::string body = declaration == std::string::npos ? xml : xml.substr(declaration + 2);
    std::vector<std::string> open;
    int roots = 0;
    std::size_t last = 0;
    for (auto it = std::sregex_iterator(body.begin(), body.end(), kTag); it != std::sregex_iterator(); ++it) {
        const std::smatch& tag = *it;
        if (body.find_first_of("<>", last) < static_cast<std::size_t>(tag.position()))
            return false;  // a '<' or '>' outside any tag
        last = static_cast<std::size_t>(tag.position() + tag.length());
        if (tag[1] == "/") {
            if (open.empty() || open.back() != tag[2])
                return false;
            open.pop_back();
            continue;
        }
        if (open.empty())
            ++roots;
        if (tag[4] != "/")
            open.push_back(tag[2]);
    }
    return open.empty() && roots == 1 && body.find_first_of("<>", last) == std::string::npos;
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The texts of the elements that carry `attribute`, in order.
std::vector<std::string> TextsWith(const std::string& svg, const std::string& attribute)
{
    const std::regex text(attribute + R"([^>]*>([^<]*)<)");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

// Top and bottom of the outline of a letter path ("M x,y L x,y ... Z").
std::pair<double, double> VerticalExtent(const std::string& d)
{
    double top = 1e300;
    double bottom = -1e300;
    std::string cleaned = d;
    for (char& c : cleaned) {
        if (c == 'M' || c == 'L' || c == 'Z' || c == ',')
            c = ' ';
    }
    std::istringstream in(cleaned);
    double x = 0.0;
    double y = 0.0;
    while (in >> x >> y) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    return {top, bottom};
}

// --- hand-made summaries ---

RunSummary Summary(std::vector<std::array<double, 4>> probs, int numSites, std::string consensus)
{
    RunSummary summary;
    summary.width = static_cast<int>(probs.size());
    summary.probs = std::move(probs);
    summary.numSites = numSites;
    summary.consensus = std::move(consensus);
    return summary;
}

GroupNode Pair(int a, int b, double logBF)
{
    GroupNode group;
    group.size = 2;
    group.positions = {a, b};
    group.logBF = logBF;
    return group;
}

TEST(SequenceLogoStacks, HeightsFollowTheInformationContentWithTheSmallSampleCorrection)
{
    const RunSummary summary = Summary({{1.0, 0.0, 0.0, 0.0},
                                        {0.25, 0.25, 0.25, 0.25},
                                        {0.0, 0.5, 0.0, 0.5},
                                        {0.05, 0.1, 0.15, 0.7}},
                                       10, "AACT");
    const double e = 3.0 / (2.0 * std::log(2.0) * 10.0);
    const auto stacks = LogoStacks(summary, {});
    ASSERT_EQ(stacks.size(), 4u);
    EXPECT_NEAR(stacks[0].bits, 2.0 - e, 1e-12);
    EXPECT_EQ(stacks[1].bits, 0.0);  // 2 − (2 + e) is below 0
    EXPECT_TRUE(stacks[1].letters.empty());
    EXPECT_NEAR(stacks[2].bits, 1.0 - e, 1e-12);
    const double h4 = -(0.05 * std::log2(0.05) + 0.1 * std::log2(0.1) + 0.15 * std::log2(0.15) + 0.7 * std::log2(0.7));
    EXPECT_NEAR(stacks[3].bits, 2.0 - (h4 + e), 1e-12);

    // Letters of a stack: shares times height, the smallest at the bottom.
    ASSERT_EQ(stacks[3].letters.size(), 4u);
    const std::string order = {stacks[3].letters[0].letter, stacks[3].letters[1].letter, stacks[3].letters[2].letter,
                               stacks[3].letters[3].letter};
    EXPECT_EQ(order, "ACGT");
    EXPECT_GT(stacks[3].bits, 0.0);
    EXPECT_NEAR(stacks[3].letters[3].bits, 0.7 * stacks[3].bits, 1e-12);
    ASSERT_EQ(stacks[0].letters.size(), 1u);  // letters without a share are not drawn
    EXPECT_EQ(stacks[0].letters[0].letter, 'A');
}

TEST(SequenceLogoStacks, LargerSamplesAreCorrectedLess)
{
    EXPECT_NEAR(SmallSampleCorrection(1), 3.0 / (2.0 * std::log(2.0)), 1e-12);
    EXPECT_LT(SmallSampleCorrection(1000), SmallSampleCorrection(10));
    EXPECT_EQ(SmallSampleCorrection(0), 0.0);
    EXPECT_GT(ColumnInformation({0, 0, 1, 0}, 1000), ColumnInformation({0, 0, 1, 0}, 5));
}

TEST(SequenceLogoStacks, ReverseComplementReversesColumnsAndComplementsLettersAndPairs)
{
    RunSummary summary = Summary({{0.9, 0.1, 0.0, 0.0}, {0.0, 0.0, 1.0, 0.0}, {0.6, 0.0, 0.0, 0.4}, {0.0, 0.0, 0.2, 0.8}},
                                 20, "AGAT");
    summary.groups = {Pair(0, 2, 1.5), Pair(3, 1, -0.25)};
    LogoOptions reverse;
    reverse.reverseComplement = true;
    const auto forward = LogoStacks(summary, {});
    const auto backward = LogoStacks(summary, reverse);
    ASSERT_EQ(backward.size(), 4u);
    auto complement = [](char c) { return c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : 'A'; };
    for (int c = 0; c < 4; ++c) {
        const LogoStack& f = forward[static_cast<std::size_t>(3 - c)];
        const LogoStack& b = backward[static_cast<std::size_t>(c)];
        EXPECT_EQ(b.column, c + 1);
        EXPECT_DOUBLE_EQ(b.bits, f.bits);
        ASSERT_EQ(b.letters.size(), f.letters.size());
        for (std::size_t k = 0; k < b.letters.size(); ++k) {
            EXPECT_EQ(b.letters[k].letter, complement(f.letters[k].letter)) << "column " << c + 1;
            EXPECT_DOUBLE_EQ(b.letters[k].bits, f.letters[k].bits);
        }
    }
    // Drawn column of original p is 3 − p; each arc runs left to right.
    const auto arcs = LogoArcs(summary, reverse);
    ASSERT_EQ(arcs.size(), 2u);
    EXPECT_EQ(arcs[0].left, 1);
    EXPECT_EQ(arcs[0].right, 3);
    EXPECT_EQ(arcs[1].left, 0);
    EXPECT_EQ(arcs[1].right, 2);
    EXPECT_EQ(arcs[1].logBF, -0.25);

    const std::string svg = SequenceLogoSvg(summary, reverse);
    EXPECT_NE(svg.find("Consensus ATCT, 20 sites (reverse complement)"), std::string::npos);
}

TEST(SequenceLogoSvg, IsWellFormedWithOneStackPerColumnAndOneLabelledArcPerPair)
{
    RunSummary summary = Summary({{0.9, 0.1, 0.0, 0.0},
                                  {0.0, 0.0, 1.0, 0.0},
                                  {0.25, 0.25, 0.25, 0.25},
                                  {0.0, 0.3, 0.0, 0.7},
                                  {0.6, 0.2, 0.2, 0.0}},
                                 1, "AGATA");
    summary.groups = {Pair(0, 4, 3.14159), Pair(1, 2, -0.004), Pair(3, 1, 12.0)};
    const std::string svg = SequenceLogoSvg(summary);
    ASSERT_TRUE(WellFormed(svg)) << svg;
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    EXPECT_EQ(Count(svg, "class=\"stack\""), 5);
    EXPECT_EQ(Count(svg, "class=\"pair\""), 3);
    EXPECT_EQ(TextsWith(svg, "class=\"pair-label\""), (std::vector<std::string>{"3.14", "0.00", "12.00"}));
    EXPECT_EQ(TextsWith(svg, "class=\"caption\""), std::vector<std::string>{"Consensus AGATA, 1 site"});
    const std::string numbers = svg.substr(svg.find("class=\"columns\""));
    EXPECT_EQ(TextsWith(numbers.substr(0, numbers.find("</g>")), "<text"),
              (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST(SequenceLogoSvg, LetterOutlinesFillExactlyTheirStackHeight)
{
    const RunSummary summary = Summary({{0.05, 0.1, 0.15, 0.7}, {0.0, 1.0, 0.0, 0.0}}, 50, "TC");
    LogoOptions options;
    options.bitHeight = 100.0;
    const std::string svg = SequenceLogoSvg(summary, options);
    const auto stacks = LogoStacks(summary, options);
    std::vector<double> drawn;
    std::vector<double> bottoms;
    const std::regex outline(R"re(class="letter"[^>]*d="([^"]*)")re");
    for (auto at = svg.find("class=\"stack\""); at != std::string::npos; at = svg.find("class=\"stack\"", at + 1)) {
        const std::string group = svg.substr(at, svg.find("</g>", at) - at);
        drawn.push_back(0.0);
        bottoms.push_back(0.0);
        for (auto it = std::sregex_iterator(group.begin(), group.end(), outline); it != std::sregex_iterator(); ++it) {
            const auto [top, bottom] = VerticalExtent((*it)[1]);
            drawn.back() += bottom - top;
            bottoms.back() = std::max(bottoms.back(), bottom);
        }
    }
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_NEAR(drawn[0], stacks[0].bits * 100.0, 0.05);
    EXPECT_NEAR(drawn[1], stacks[1].bits * 100.0, 0.05);
    EXPECT_NEAR(bottoms[0], bottoms[1], 0.01);  // every stack stands on the same baseline
}

TEST(SequenceLogoSvg, NoSitesDrawEmptyStacksAndNoNaN)
{
    RunSummary summary = Summary({{0.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 0.0}}, 0, "AAA");
    summary.groups = {Pair(0, 2, std::nan(""))};
    const std::string svg = SequenceLogoSvg(summary);
    EXPECT_TRUE(WellFormed(svg));
    EXPECT_EQ(Count(svg, "class=\"stack\""), 3);
    EXPECT_EQ(Count(svg, "class=\"letter\""), 0);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
    EXPECT_NE(svg.find("0 sites"), std::string::npos);
}

TEST(SequenceLogoSvg, EmptyMotifStrayPairsAndOddTextStillGiveAValidPicture)
{
    EXPECT_TRUE(WellFormed(SequenceLogoSvg(RunSummary{})));

    // Pairs naming columns outside the motif are left out rather than drawn off the picture.
    RunSummary summary = Summary({{1, 0, 0, 0}, {0, 1, 0, 0}}, 4, "A<&>");
    summary.groups = {Pair(0, 7, 2.0), Pair(-1, 1, 2.0), Pair(0, 1, 2.0)};
    const std::string svg = SequenceLogoSvg(summary);
    EXPECT_TRUE(WellFormed(svg)) << svg;
    EXPECT_EQ(Count(svg, "class=\"pair\""), 1);
    EXPECT_FALSE(WellFormed("<svg><g></svg></g>"));  // the check itself catches misnesting
}

}  // namespace
}  // namespace kalvo
