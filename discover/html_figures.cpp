// discover/html_figures.cpp: inline logos, the arc legend, the histogram of site positions and the pair table.
#include "discover/html_figures.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "discover/discovery_names.h"
#include "discover/html_text.h"
#include "report/formats.h"
#include "report/sequence_logo.h"
#include "util/markup_text.h"
#include "util/sequence_text.h"

namespace kalvo::html {
namespace {

// A step that gives about `bins` bins over span: 1, 2 or 5 times a power of ten.
double NiceStep(double span, int bins)
{
    const double raw = std::max(span / bins, 1.0);
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (;;) {
        for (const double factor : {1.0, 2.0, 5.0})
            if (factor * power >= raw)
                return factor * power;
        power *= 10.0;
    }
}

// The sites a histogram can place: those whose sequence length is known.
struct SitePlacement {
    long long width = 0;                     // the motif's
    std::vector<double> offsets;             // site centre minus sequence centre, bp
    std::map<long long, int> sitesOfLength;  // sequence length: sites in sequences of that length
    double half = 0.0;                       // the largest offset a site's centre can have
};

SitePlacement PlaceSites(const Discovery& discovery, const DiscoveredMotif& motif)
{
    SitePlacement placed;
    placed.width = motif.width;
    for (const CalledSite& site : motif.sites) {
        const long long length = TargetLength(discovery, site.seqIndex);
        if (length < site.end || length < placed.width)
            continue;
        placed.offsets.push_back(static_cast<double>(site.start + site.end) / 2.0 - static_cast<double>(length) / 2.0);
        ++placed.sitesOfLength[length];
        placed.half = std::max(placed.half, static_cast<double>(length - placed.width) / 2.0);
    }
    return placed;
}

// The median distance of the sites from their sequences' centres, and what it would be for sites placed uniformly.
void MeasureOffsets(const SitePlacement& placed, PositionStats& stats)
{
    std::vector<double> distances;
    for (const double offset : placed.offsets)
        distances.push_back(std::abs(offset));
    std::sort(distances.begin(), distances.end());
    const std::size_t n = distances.size();
    stats.medianOffset = n % 2 ? distances[n / 2] : (distances[n / 2 - 1] + distances[n / 2]) / 2.0;
    // Median of |offset| for sites placed uniformly: the x where the share of sites within x is one half.
    auto shareWithin = [&](double x) {
        double share = 0.0;
        for (const auto& [length, count] : placed.sitesOfLength) {
            const double reach = static_cast<double>(length - placed.width) / 2.0;
            share += count * (reach <= 0.0 ? 1.0 : std::min(1.0, x / reach));
        }
        return share / static_cast<double>(n);
    };
    double low = 0.0, high = placed.half;
    for (int i = 0; i < 60; ++i)
        (shareWithin((low + high) / 2.0) < 0.5 ? low : high) = (low + high) / 2.0;
    stats.expectedMedian = high;
}

// Bins centred on multiples of the step, the middle one on the sequence centre.
struct Bins {
    double step = 1.0;             // bp a bin
    int side = 0;                  // bins on each side of the middle one
    int count = 1;                 // 2 * side + 1
    std::vector<int> observed;     // sites a bin
    std::vector<double> expected;  // sites a bin if each could lie anywhere in its sequence
};

Bins BinOffsets(const SitePlacement& placed)
{
    Bins bins;
    bins.step = NiceStep(2.0 * std::max(placed.half, 1.0), 40);
    bins.side = static_cast<int>(std::ceil(std::max(0.0, placed.half - bins.step / 2.0) / bins.step));
    bins.count = 2 * bins.side + 1;
    bins.observed.assign(static_cast<std::size_t>(bins.count), 0);
    for (const double offset : placed.offsets) {
        const int bin = std::clamp(static_cast<int>(std::floor(offset / bins.step + 0.5)) + bins.side, 0, bins.count - 1);
        ++bins.observed[static_cast<std::size_t>(bin)];
    }
    // Expected: each site's start equally likely anywhere in its sequence.
    bins.expected.assign(static_cast<std::size_t>(bins.count), 0.0);
    for (const auto& [length, count] : placed.sitesOfLength) {
        const long long starts = length - placed.width + 1;
        const double shift = static_cast<double>(placed.width - length) / 2.0;  // offset of start 0
        for (int b = 0; b < bins.count; ++b) {
            const double from = (b - bins.side - 0.5) * bins.step - shift;
            const double to = (b - bins.side + 0.5) * bins.step - shift;
            const double first = std::max(0.0, b == 0 ? 0.0 : std::ceil(from));
            const double last =
                std::min(static_cast<double>(starts - 1), b == bins.count - 1 ? 1e300 : std::ceil(to) - 1.0);
            if (last >= first)
                bins.expected[static_cast<std::size_t>(b)] += count * (last - first + 1.0) / static_cast<double>(starts);
        }
    }
    return bins;
}

// The histogram's drawing area and its scales.
struct Plot {
    static constexpr double kWidth = 640, kHeight = 210, kLeft = 52, kRight = 16, kTop = 12, kBottom = 44;
    static constexpr double kPlotWidth = kWidth - kLeft - kRight;
    static constexpr double kPlotHeight = kHeight - kTop - kBottom;
    double binWidth = 1.0;
    double yStep = 1.0;  // between grid lines
    double yMax = 1.0;   // the top of the scale
    double X(double bin) const { return kLeft + bin * binWidth; }
    double Y(double value) const { return kTop + kPlotHeight - value / yMax * kPlotHeight; }
};

Plot PlotOf(const Bins& bins)
{
    Plot plot;
    const double top = std::max(*std::max_element(bins.observed.begin(), bins.observed.end()) * 1.0,
                                *std::max_element(bins.expected.begin(), bins.expected.end()));
    plot.yStep = NiceStep(top, 4);
    plot.yMax = std::max(plot.yStep, std::ceil(top / plot.yStep) * plot.yStep);
    plot.binWidth = Plot::kPlotWidth / bins.count;
    return plot;
}

// Grid lines across the plot with the counts they stand for.
std::string GridSvg(const Plot& plot)
{
    std::string svg;
    for (double value = 0.0; value <= plot.yMax + 1e-9; value += plot.yStep) {
        const std::string yText = FixedText(plot.Y(value), 1);
        svg += "<line x1=\"" + FixedText(Plot::kLeft, 1) + "\" x2=\"" + FixedText(Plot::kWidth - Plot::kRight, 1) +
               "\" y1=\"" + yText + "\" y2=\"" + yText + "\" stroke=\"#e4e4e4\"/>";
        svg += "<text x=\"" + FixedText(Plot::kLeft - 6, 1) + "\" y=\"" + FixedText(plot.Y(value) + 4, 1) +
               "\" text-anchor=\"end\">" + FixedText(value, 0) + "</text>\n";
    }
    return svg;
}

// A bar a bin, and the expected counts as a dashed step line over them.
std::string BarsSvg(const Plot& plot, const Bins& bins)
{
    std::string svg;
    for (int b = 0; b < bins.count; ++b) {
        const int count = bins.observed[static_cast<std::size_t>(b)];
        const double from = (b - bins.side - 0.5) * bins.step;
        const double to = (b - bins.side + 0.5) * bins.step;
        svg += "<rect class=\"bar\" x=\"" + FixedText(plot.X(b) + 0.5, 1) + "\" y=\"" + FixedText(plot.Y(count), 1) +
               "\" width=\"" + FixedText(std::max(plot.binWidth - 1.0, 0.5), 1) + "\" height=\"" +
               FixedText(plot.Y(0) - plot.Y(count), 1) + "\" fill=\"#4a7fb5\"><title>" + FixedText(from, 1) + " to " +
               FixedText(to, 1) + " bp: " + Counted(count, "site") + ", " +
               FixedText(bins.expected[static_cast<std::size_t>(b)], 1) + " expected</title></rect>\n";
    }
    std::string steps = "M";
    for (int b = 0; b < bins.count; ++b) {
        const std::string level = FixedText(plot.Y(bins.expected[static_cast<std::size_t>(b)]), 1);
        steps += (b == 0 ? "" : " L") + FixedText(plot.X(b), 1) + "," + level + " L" + FixedText(plot.X(b + 1), 1) +
                 "," + level;
    }
    return svg + "<path class=\"expected\" d=\"" + steps +
           "\" fill=\"none\" stroke=\"#222222\" stroke-width=\"1.5\" stroke-dasharray=\"4 3\"/>\n";
}

// The x axis: ticks at about eight nice offsets, 0 (the centre) always among them; then both axis titles.
std::string AxesSvg(const Plot& plot, const Bins& bins, double half)
{
    const double tickStep = std::max(bins.step, NiceStep(2.0 * half, 8));
    std::string svg = "<line x1=\"" + FixedText(Plot::kLeft, 1) + "\" x2=\"" + FixedText(Plot::kWidth - Plot::kRight, 1) +
                      "\" y1=\"" + FixedText(plot.Y(0), 1) + "\" y2=\"" + FixedText(plot.Y(0), 1) +
                      "\" stroke=\"#333333\"/>\n";
    const double centreX = plot.X(bins.side + 0.5);
    for (double offset = -std::floor(half / tickStep) * tickStep; offset <= half + 1e-9; offset += tickStep) {
        const double tickX = centreX + offset / bins.step * plot.binWidth;
        svg += "<line x1=\"" + FixedText(tickX, 1) + "\" x2=\"" + FixedText(tickX, 1) + "\" y1=\"" +
               FixedText(plot.Y(0), 1) + "\" y2=\"" + FixedText(plot.Y(0) + 5, 1) + "\" stroke=\"#333333\"/>";
        svg += "<text x=\"" + FixedText(tickX, 1) + "\" y=\"" + FixedText(plot.Y(0) + 17, 1) +
               "\" text-anchor=\"middle\">" + (offset < 0 ? "&minus;" + FixedText(-offset, 0) : FixedText(offset, 0)) +
               "</text>\n";
    }
    const std::string middleY = FixedText(Plot::kTop + Plot::kPlotHeight / 2, 1);
    svg += "<text x=\"" + FixedText(Plot::kLeft + Plot::kPlotWidth / 2, 1) + "\" y=\"" +
           FixedText(Plot::kHeight - 6, 1) + "\" text-anchor=\"middle\">site centre minus sequence centre (bp)</text>\n";
    svg += "<text x=\"14\" y=\"" + middleY + "\" text-anchor=\"middle\" transform=\"rotate(-90 14 " + middleY +
           ")\">sites</text>\n";
    return svg;
}

// The pair's sites by the letters at its two columns, left column first: the
// counts, the sum, and the counts the columns' letters would give alone.
struct PairCounts {
    int left = 0;  // 0-based columns, left < right
    int right = 0;
    std::array<int, 16> counts{};  // by 4 * (left letter) + right letter
    std::array<double, 16> expected{};
};

PairCounts CountPair(const GroupNode& group)
{
    PairCounts pair;
    const bool swap = group.positions[0] > group.positions[1];
    pair.left = std::min(group.positions[0], group.positions[1]);
    pair.right = std::max(group.positions[0], group.positions[1]);
    std::array<int, 4> leftTotals{}, rightTotals{};
    int total = 0;
    for (int w = 0; w < 16; ++w) {
        const int first = w / 4, second = w % 4;
        const int a = swap ? second : first, b = swap ? first : second;
        const int n = std::max(0, group.counts[static_cast<std::size_t>(w)]);
        pair.counts[static_cast<std::size_t>(4 * a + b)] += n;
        leftTotals[static_cast<std::size_t>(a)] += n;
        rightTotals[static_cast<std::size_t>(b)] += n;
        total += n;
    }
    for (std::size_t w = 0; w < 16; ++w)
        pair.expected[w] =
            total > 0 ? static_cast<double>(leftTotals[w / 4]) * rightTotals[w % 4] / total : 0.0;
    return pair;
}

// The pair's row: every combination of letters the columns hold, seen or not,
// most seen first: a pair never seen although its letters are common says as much as one seen often.
std::string PairRow(const GroupNode& group)
{
    const PairCounts pair = CountPair(group);
    std::vector<int> words;
    for (int w = 0; w < 16; ++w)
        if (pair.counts[static_cast<std::size_t>(w)] > 0 || pair.expected[static_cast<std::size_t>(w)] > 0.0)
            words.push_back(w);
    std::stable_sort(words.begin(), words.end(), [&](int a, int b) {
        return pair.counts[static_cast<std::size_t>(a)] > pair.counts[static_cast<std::size_t>(b)];
    });
    std::string cells;
    for (const int w : words) {
        const std::string word = WordFromIndex(static_cast<std::uint64_t>(w), 2);
        cells += std::string(cells.empty() ? "" : ", ") + "<span class=\"seq\"><span class=\"" + word.substr(0, 1) +
                 "\">" + word.substr(0, 1) + "</span>&middot;<span class=\"" + word.substr(1, 1) + "\">" +
                 word.substr(1, 1) + "</span></span> " + std::to_string(pair.counts[static_cast<std::size_t>(w)]) +
                 " <span class=\"muted\">(" + FixedText(pair.expected[static_cast<std::size_t>(w)], 1) + ")</span>";
    }
    return "<tr><td class=\"nowrap\">" + std::to_string(pair.left + 1) + " and " + std::to_string(pair.right + 1) +
           "</td><td class=\"num\">" + FixedText(group.logBF, 2) + "</td><td>" + cells + "</td></tr>\n";
}

}  // namespace

std::string InlineLogo(const RunSummary& model, bool reverse, double scale, const std::string& idPrefix,
                       const std::string& label)
{
    LogoOptions options;
    options.reverseComplement = reverse;
    const std::string svg = SequenceLogoSvg(model, options);
    const std::size_t open = svg.find("<svg");
    const std::size_t close = svg.find('>', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    const std::string tag = svg.substr(open, close - open);
    double box[4] = {0, 0, 0, 0};
    if (const std::size_t at = tag.find("viewBox=\""); at != std::string::npos) {
        const char* p = tag.data() + at + 9;
        const char* end = tag.data() + tag.size();
        for (double& value : box) {
            while (p < end && *p == ' ')
                ++p;
            p = std::from_chars(p, end, value).ptr;
        }
    }
    std::string body = svg.substr(close + 1);
    for (std::size_t at = 0; (at = body.find(" id=\"", at)) != std::string::npos; at += 5)
        body.insert(at + 5, idPrefix + "-");
    while (!body.empty() && body.back() == '\n')
        body.pop_back();
    return "<svg class=\"logo\" role=\"img\" aria-label=\"" + MarkupFromInput(label) + "\" width=\"" +
           FixedText(box[2] * scale, 0) + "\" height=\"" + FixedText(box[3] * scale, 0) + "\" viewBox=\"" +
           FixedText(box[0], 0) + " " + FixedText(box[1], 0) + " " + FixedText(box[2], 0) + " " +
           FixedText(box[3], 0) + "\">" + body;
}

double LogoWidth(const RunSummary& model)
{
    const std::string svg = SequenceLogoSvg(model);
    const std::size_t at = svg.find(" width=\"");
    double width = 0.0;
    if (at != std::string::npos)
        std::from_chars(svg.data() + at + 8, svg.data() + svg.size(), width);
    return width;
}

std::string ArcLegend()
{
    return "<p class=\"legend arc-legend\"><svg width=\"58\" height=\"34\" viewBox=\"0 0 58 34\" aria-hidden=\"true\">"
           "<path d=\"M6,32 Q29,4 52,32\" fill=\"none\" stroke=\"#555555\" stroke-width=\"1.5\"/>"
           "<text x=\"29\" y=\"14\" font-size=\"10\" font-family=\"sans-serif\" text-anchor=\"middle\" "
           "fill=\"#333333\">2.75</text></svg> "
           "<span><b>Arc:</b> columns that vary together: the letters at these two positions are not "
           "independent; log Bayes factor of the dependent model over independent columns (the number on the "
           "arc, a natural log: above 0 favours the dependence, 2.3 means odds of 10 to 1). Motif files (MEME, JASPAR) cannot "
           "hold these pairs; the site scores and E-values count them.</span></p>\n";
}

std::string PositionHistogram(const Discovery& discovery, const DiscoveredMotif& motif, PositionStats& stats)
{
    const SitePlacement placed = PlaceSites(discovery, motif);
    stats.sites = static_cast<int>(placed.offsets.size());
    if (placed.offsets.empty())
        return {};
    MeasureOffsets(placed, stats);
    const Bins bins = BinOffsets(placed);
    const Plot plot = PlotOf(bins);
    return "<svg class=\"positions\" role=\"img\" width=\"640\" height=\"210\" viewBox=\"0 0 640 210\" "
           "aria-label=\"Histogram of site centres relative to the sequence centre\">\n"
           "<g font-family=\"sans-serif\" font-size=\"11\" fill=\"#333333\">\n" +
           GridSvg(plot) + BarsSvg(plot, bins) + AxesSvg(plot, bins, placed.half) + "</g>\n</svg>";
}

std::string PairTable(const DiscoveredMotif& motif)
{
    std::string out = "<table class=\"pairs\">\n<thead><tr><th>Columns</th><th class=\"num\">log Bayes factor</th>"
                      "<th>Letters at the two columns: sites (expected if the columns were independent)</th></tr></thead>\n"
                      "<tbody>\n";
    for (const GroupNode& group : motif.model.groups)
        if (group.positions.size() == 2 && group.counts.size() == 16)
            out += PairRow(group);
    return out + "</tbody>\n</table>\n";
}

}  // namespace kalvo::html
