// report/sequence_logo.cpp: stacks, arcs and the SVG text of a sequence logo.
#include "report/sequence_logo.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>

#include "util/markup_text.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

constexpr char kLetters[] = {'A', 'C', 'G', 'T'};

struct Point {
    double x = 0.0;
    double y = 0.0;
};
using Contour = std::vector<Point>;

// Letter outlines in a 100 × 100 box, y pointing down, drawn with the even-odd
// rule. Outlines rather than font glyphs, so that a letter fills exactly the
// box it is given in every viewer, whatever fonts are installed.
void AddArc(Contour& contour, double radius, double fromDegrees, double toDegrees)
{
    auto add = [&](double degrees) {
        const double radians = degrees * std::numbers::pi / 180.0;
        contour.push_back({50.0 + radius * std::cos(radians), 50.0 - radius * std::sin(radians)});
    };
    // Whole multiples of 6 degrees in between, so the extremes at 90, 180 and
    // 270 degrees lie on the outline and the letter touches its box.
    add(fromDegrees);
    if (fromDegrees < toDegrees) {
        for (double d = 6.0 * (std::floor(fromDegrees / 6.0) + 1.0); d < toDegrees; d += 6.0)
            add(d);
    } else {
        for (double d = 6.0 * (std::ceil(fromDegrees / 6.0) - 1.0); d > toDegrees; d -= 6.0)
            add(d);
    }
    add(toDegrees);
}

std::vector<Contour> Glyph(char letter)
{
    constexpr double outer = 50.0;
    constexpr double inner = 28.0;
    switch (letter) {
    case 'A':
        return {{{0, 100}, {38, 0}, {62, 0}, {100, 100}, {76, 100}, {67, 76}, {33, 76}, {24, 100}},
                {{40, 56}, {60, 56}, {50, 28}}};
    case 'C': {
        Contour c;
        AddArc(c, outer, 38.0, 322.0);
        AddArc(c, inner, 322.0, 38.0);
        return {c};
    }
    case 'G': {
        // A C whose lower arm runs on to the middle and turns in as a bar.
        Contour g;
        AddArc(g, outer, 38.0, 360.0);
        g.push_back({54, 50});
        g.push_back({54, 64});
        AddArc(g, inner, 330.0, 38.0);
        return {g};
    }
    default:  // 'T'
        return {{{0, 0}, {100, 0}, {100, 22}, {61, 22}, {61, 100}, {39, 100}, {39, 22}, {0, 22}}};
    }
}

const char* LetterColour(char letter)
{
    switch (letter) {
    case 'A': return "#d62728";
    case 'C': return "#1f77b4";
    case 'G': return "#ff7f0e";
    default: return "#2ca02c";
    }
}

// Fixed-point text that ignores the process locale (a GUI may have set one
// with a decimal comma, which would break the SVG).
std::string Fixed(double value, int decimals)
{
    if (!std::isfinite(value))
        value = 0.0;
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0.0;  // no "-0.00"
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

// A share as read from a summary: anything that is not a proper share counts as 0.
double Share(double value) { return std::isfinite(value) && value > 0.0 ? value : 0.0; }

// The shares of the drawn column `column` (0-based, drawing order).
std::array<double, 4> DrawnShares(const RunSummary& summary, int column, bool reverseComplement)
{
    const int width = static_cast<int>(summary.probs.size());
    if (!reverseComplement)
        return summary.probs[static_cast<std::size_t>(column)];
    // Reversed columns; the complement of A, C, G, T is T, G, C, A.
    const auto& source = summary.probs[static_cast<std::size_t>(width - 1 - column)];
    return {source[3], source[2], source[1], source[0]};
}

std::string LetterPath(char letter, double x, double y, double width, double height)
{
    std::string d;
    for (const Contour& contour : Glyph(letter)) {
        char command = 'M';
        for (const Point& p : contour) {
            d += command;
            d += Fixed(x + p.x / 100.0 * width, 2);
            d += ',';
            d += Fixed(y + p.y / 100.0 * height, 2);
            command = 'L';
        }
        d += 'Z';
    }
    return d;
}


// Where the parts of a logo lie, in pixels.
struct LogoLayout {
    double columnWidth = 32.0;
    double bitHeight = 60.0;
    double left = 58.0;  // the plot's left edge; the axis and its labels lie to its left
    double plotTop = 0.0;
    double plotBottom = 0.0;
    double width = 0.0;
    double height = 0.0;
    // Arcs of longer pairs ride higher, one level per distinct span, so that
    // nested pairs and their labels stay apart.
    std::map<int, int> levelOfSpan;

    double YOfBits(double bits) const { return plotBottom - bits * bitHeight; }
    double XOfColumn(int column) const { return left + column * columnWidth; }
};

constexpr double kArcRise = 14.0;  // above the plot, of the arcs of the shortest span
constexpr double kArcStep = 16.0;  // and more per level

LogoLayout LayOutLogo(const LogoOptions& options, std::size_t columnCount, const std::vector<LogoArc>& arcs,
                      std::size_t captionLength)
{
    LogoLayout layout;
    layout.columnWidth = options.columnWidth > 0.0 ? options.columnWidth : 32.0;
    layout.bitHeight = options.bitHeight > 0.0 ? options.bitHeight : 60.0;
    for (const LogoArc& arc : arcs)
        layout.levelOfSpan[arc.right - arc.left] = 0;
    int levels = 0;
    for (auto& [span, level] : layout.levelOfSpan)
        level = levels++;
    layout.plotTop = 16.0 + (levels > 0 ? kArcRise + kArcStep * (levels - 1) + 16.0 : 0.0);
    layout.plotBottom = layout.plotTop + 2.0 * layout.bitHeight;
    const double columns = static_cast<double>(columnCount);
    // Wide enough for the caption too, at a generous 8 pixels per character of 13-pixel text.
    layout.width = std::max(layout.left + columns * layout.columnWidth + 16.0,
                            layout.left + 8.0 * static_cast<double>(captionLength) + 16.0);
    layout.height = layout.plotBottom + 50.0;
    return layout;
}

// The XML declaration, the svg element with its size, the title and the white ground.
void AppendDocumentStart(std::string& svg, const LogoLayout& layout, const std::string& title)
{
    const std::string width = Fixed(layout.width, 0);
    const std::string height = Fixed(layout.height, 0);
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + width + "\" height=\"" + height +
           "\" viewBox=\"0 0 " + width + " " + height + "\">\n";
    svg += "<title>" + title + "</title>\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + width + "\" height=\"" + height + "\" fill=\"#ffffff\"/>\n";
}

// The y axis from 0 to 2 bits, a tick every half bit, labelled at whole bits.
void AppendBitsAxis(std::string& svg, const LogoLayout& layout)
{
    const double left = layout.left;
    const std::string axisX = Fixed(left - 8.0, 2);
    svg += "<g class=\"axis\" stroke=\"#333333\" stroke-width=\"1\" fill=\"none\">\n";
    svg += "<line x1=\"" + axisX + "\" y1=\"" + Fixed(layout.YOfBits(0.0), 2) + "\" x2=\"" + axisX + "\" y2=\"" +
           Fixed(layout.YOfBits(2.0), 2) + "\"/>\n";
    for (int half = 0; half <= 4; ++half) {
        const std::string y = Fixed(layout.YOfBits(half * 0.5), 2);
        const double tick = half % 2 == 0 ? 6.0 : 3.0;
        svg += "<line x1=\"" + Fixed(left - 8.0 - tick, 2) + "\" y1=\"" + y + "\" x2=\"" + axisX + "\" y2=\"" + y +
               "\"/>\n";
    }
    svg += "</g>\n";
    svg += "<g class=\"axis-labels\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#333333\" "
           "text-anchor=\"end\">\n";
    for (int bits = 0; bits <= 2; ++bits) {
        svg += "<text x=\"" + Fixed(left - 17.0, 2) + "\" y=\"" + Fixed(layout.YOfBits(bits) + 4.0, 2) + "\">" +
               std::to_string(bits) + "</text>\n";
    }
    const std::string labelX = Fixed(left - 36.0, 2);
    const std::string labelY = Fixed(layout.YOfBits(1.0), 2);
    svg += "<text x=\"" + labelX + "\" y=\"" + labelY + "\" text-anchor=\"middle\" transform=\"rotate(-90 " + labelX +
           " " + labelY + ")\">bits</text>\n";
    svg += "</g>\n";
}

// One group per column, its letters stacked from the bottom up.
void AppendStacks(std::string& svg, const LogoLayout& layout, const std::vector<LogoStack>& stacks)
{
    const double letterWidth = layout.columnWidth * 0.92;
    const double letterInset = (layout.columnWidth - letterWidth) / 2.0;
    for (const LogoStack& stack : stacks) {
        const double x = layout.XOfColumn(stack.column - 1) + letterInset;
        svg += "<g class=\"stack\" id=\"column-" + std::to_string(stack.column) + "\">\n";
        svg += "<title>column " + std::to_string(stack.column) + ": " + Fixed(stack.bits, 2) + " bits</title>\n";
        double base = 0.0;
        for (const LogoLetter& letter : stack.letters) {
            const double top = layout.YOfBits(base + letter.bits);
            const double h = letter.bits * layout.bitHeight;
            svg += "<path class=\"letter\" fill=\"";
            svg += LetterColour(letter.letter);
            svg += "\" fill-rule=\"evenodd\" d=\"" + LetterPath(letter.letter, x, top, letterWidth, h) + "\"/>\n";
            base += letter.bits;
        }
        svg += "</g>\n";
    }
}

// The column numbers under the stacks.
void AppendColumnNumbers(std::string& svg, const LogoLayout& layout, const std::vector<LogoStack>& stacks)
{
    svg += "<g class=\"columns\" font-family=\"sans-serif\" font-size=\"10\" fill=\"#333333\" text-anchor=\"middle\">\n";
    for (const LogoStack& stack : stacks) {
        svg += "<text x=\"" + Fixed(layout.XOfColumn(stack.column - 1) + layout.columnWidth / 2.0, 2) + "\" y=\"" +
               Fixed(layout.plotBottom + 14.0, 2) + "\">" + std::to_string(stack.column) + "</text>\n";
    }
    svg += "</g>\n";
}

// The correlated pairs: all arcs first, then their labels on a white ground,
// so that no arc runs through another's number.
void AppendPairArcs(std::string& svg, const LogoLayout& layout, const std::vector<LogoArc>& arcs)
{
    const double arcBase = layout.plotTop - 3.0;
    std::string labels;
    for (const LogoArc& arc : arcs) {
        const double rise = kArcRise + kArcStep * layout.levelOfSpan.at(arc.right - arc.left);
        const double x1 = layout.XOfColumn(arc.left) + layout.columnWidth / 2.0;
        const double x2 = layout.XOfColumn(arc.right) + layout.columnWidth / 2.0;
        const double middle = (x1 + x2) / 2.0;
        // A quadratic curve peaks halfway to its control point.
        svg += "<path class=\"pair\" fill=\"none\" stroke=\"#555555\" stroke-width=\"1.5\" d=\"M" + Fixed(x1, 2) + "," +
               Fixed(arcBase, 2) + " Q" + Fixed(middle, 2) + "," + Fixed(arcBase - 2.0 * rise, 2) + " " +
               Fixed(x2, 2) + "," + Fixed(arcBase, 2) + "\"/>\n";
        const std::string text = Fixed(arc.logBF, 2);
        const double labelWidth = 6.0 * static_cast<double>(text.size()) + 4.0;
        const double baseline = arcBase - rise - 3.0;  // just above the apex
        labels += "<rect class=\"pair-ground\" fill=\"#ffffff\" x=\"" + Fixed(middle - labelWidth / 2.0, 2) + "\" y=\"" +
                  Fixed(baseline - 10.0, 2) + "\" width=\"" + Fixed(labelWidth, 2) + "\" height=\"13\"/>\n";
        labels += "<text class=\"pair-label\" font-family=\"sans-serif\" font-size=\"10\" fill=\"#333333\" "
                  "text-anchor=\"middle\" x=\"" +
                  Fixed(middle, 2) + "\" y=\"" + Fixed(baseline, 2) + "\">" + text + "</text>\n";
    }
    svg += labels;
}

}  // namespace

double SmallSampleCorrection(int numSites)
{
    if (numSites <= 0)
        return 0.0;
    return 3.0 / (2.0 * std::numbers::ln2 * numSites);
}

double ColumnInformation(const std::array<double, 4>& shares, int numSites)
{
    if (numSites <= 0)
        return 0.0;
    double entropy = 0.0;
    for (const double raw : shares) {
        const double p = Share(raw);
        if (p > 0.0)
            entropy -= p * std::log2(p);
    }
    return std::max(0.0, 2.0 - (entropy + SmallSampleCorrection(numSites)));
}

std::vector<LogoStack> LogoStacks(const RunSummary& summary, const LogoOptions& options)
{
    std::vector<LogoStack> stacks;
    const int width = static_cast<int>(summary.probs.size());
    for (int column = 0; column < width; ++column) {
        const std::array<double, 4> shares = DrawnShares(summary, column, options.reverseComplement);
        LogoStack stack;
        stack.column = column + 1;
        stack.bits = ColumnInformation(shares, summary.numSites);
        if (stack.bits > 0.0) {
            for (std::size_t b = 0; b < 4; ++b) {
                if (Share(shares[b]) > 0.0)
                    stack.letters.push_back({kLetters[b], Share(shares[b]) * stack.bits});
            }
            // Smallest at the bottom; equal shares keep the order A, C, G, T.
            std::stable_sort(stack.letters.begin(), stack.letters.end(),
                             [](const LogoLetter& a, const LogoLetter& b) { return a.bits < b.bits; });
        }
        stacks.push_back(std::move(stack));
    }
    return stacks;
}

std::vector<LogoArc> LogoArcs(const RunSummary& summary, const LogoOptions& options)
{
    std::vector<LogoArc> arcs;
    const int width = static_cast<int>(summary.probs.size());
    for (const GroupNode& group : summary.groups) {
        if (group.positions.size() < 2)
            continue;
        int a = group.positions[0];
        int b = group.positions[1];
        if (a < 0 || b < 0 || a >= width || b >= width)
            continue;
        if (options.reverseComplement) {
            a = width - 1 - a;
            b = width - 1 - b;
        }
        arcs.push_back({std::min(a, b), std::max(a, b), group.logBF});
    }
    return arcs;
}

std::string SequenceLogoSvg(const RunSummary& summary, const LogoOptions& options)
{
    const std::vector<LogoStack> stacks = LogoStacks(summary, options);
    const std::vector<LogoArc> arcs = LogoArcs(summary, options);
    std::string consensus = summary.consensus;
    if (options.reverseComplement)
        consensus = ReverseComplement(consensus);
    const std::string sites = std::to_string(summary.numSites) + (summary.numSites == 1 ? " site" : " sites");
    std::string caption = "Consensus " + consensus + ", " + sites;
    if (options.reverseComplement)
        caption += " (reverse complement)";
    const LogoLayout layout = LayOutLogo(options, stacks.size(), arcs, caption.size());

    std::string svg;
    AppendDocumentStart(svg, layout, "Sequence logo " + MarkupEscaped(consensus) + ", " + sites);
    AppendBitsAxis(svg, layout);
    AppendStacks(svg, layout, stacks);
    AppendColumnNumbers(svg, layout, stacks);
    AppendPairArcs(svg, layout, arcs);
    svg += "<text class=\"caption\" font-family=\"sans-serif\" font-size=\"13\" fill=\"#111111\" x=\"" +
           Fixed(layout.left, 2) + "\" y=\"" + Fixed(layout.plotBottom + 38.0, 2) + "\">" + MarkupEscaped(caption) +
           "</text>\n";
    svg += "</svg>\n";
    return svg;
}

}  // namespace kalvo
