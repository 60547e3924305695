// discover/html_report.cpp: the page of a discovery: facts, ranked motifs, logos, pairs, sites, positions, restarts.
#include "discover/html_report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <string_view>
#include <vector>

#include "discover/discovery_files.h"
#include "discover/fisher.h"
#include "report/formats.h"
#include "report/sequence_logo.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

// ---- text ----

// Length of the well-formed UTF-8 sequence at the start of text; 0 when it is not one.
std::size_t Utf8Length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto follows = [&](std::size_t i, unsigned char low, unsigned char high) {
        return i < text.size() && byte(i) >= low && byte(i) <= high;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// Text from the input as page text: markup characters escaped, control
// characters as blanks, bytes that are not UTF-8 as U+FFFD, and at most
// maxCharacters characters (then an ellipsis), since a header can be megabytes long.
std::string Html(std::string_view text, std::size_t maxCharacters = std::string_view::npos)
{
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        if (characters == maxCharacters)
            return out + "\xE2\x80\xA6";
        const std::size_t length = Utf8Length(text.substr(i));
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const char c = text[i++];
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
        }
    }
    return out;
}

// A relative link target: everything but letters, digits and -._~/ percent-encoded.
std::string Href(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            std::string_view("-._~/").find(c) != std::string_view::npos) {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string Link(std::string_view path, const std::string& html) { return "<a href=\"" + Href(path) + "\">" + html + "</a>"; }

// A count with thousands separated: 12,345.
std::string Count(long long value)
{
    std::string digits = std::to_string(value);
    const std::ptrdiff_t sign = value < 0 ? 1 : 0;
    for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > sign; i -= 3)
        digits.insert(static_cast<std::size_t>(i), 1, ',');
    return digits;
}

std::string Counted(long long value, const std::string& word)
{
    return Count(value) + " " + word + (value == 1 ? "" : "s");
}

std::string Percent(long long part, long long whole)
{
    return whole > 0 ? FixedText(100.0 * static_cast<double>(part) / static_cast<double>(whole), 0) + "%" : "&ndash;";
}

// An E-value or p-value with the exponent raised: 5.3 × 10<sup>−19</sup>.
std::string ScientificHtml(double log10Value)
{
    const std::string text = FormatEValue(log10Value);
    const std::size_t e = text.find('e');
    if (e == std::string::npos)
        return Html(text);
    const std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    const bool negative = !exponent.empty() && exponent.front() == '-';
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+'))
        exponent.erase(0, 1);
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    if (exponent == "0")
        return mantissa;
    return mantissa + "&thinsp;&times;&thinsp;10<sup>" + (negative ? "&minus;" : "") + exponent + "</sup>";
}

// An offset in bp: whole or half, with a true minus sign.
std::string OffsetText(double value)
{
    const int decimals = value == std::floor(value) ? 0 : 1;
    return value < 0 ? "&minus;" + FixedText(-value, decimals) : FixedText(value, decimals);
}

std::string SeqName(const Discovery& discovery, int seqIndex)
{
    const auto index = static_cast<std::size_t>(seqIndex);
    return seqIndex >= 0 && index < discovery.targetNames.size() ? discovery.targetNames[index]
                                                                 : "sequence " + std::to_string(seqIndex + 1);
}

// ---- pictures ----

// A logo from the logo composer as inline SVG: without its XML declaration and
// namespace (HTML places <svg> in it anyway), scaled, with ids made unique on the page.
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
    return "<svg class=\"logo\" role=\"img\" aria-label=\"" + Html(label) + "\" width=\"" + FixedText(box[2] * scale, 0) +
           "\" height=\"" + FixedText(box[3] * scale, 0) + "\" viewBox=\"" + FixedText(box[0], 0) + " " +
           FixedText(box[1], 0) + " " + FixedText(box[2], 0) + " " + FixedText(box[3], 0) + "\">" + body;
}

// The arc legend: one small arc with a label, and what it means.
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

struct PositionStats {
    int sites = 0;             // sites with a known sequence length
    double medianOffset = 0;   // of |site centre - sequence centre|, bp
    double expectedMedian = 0; // the same if each site lay anywhere in its sequence
};

// Where the sites' centres fall relative to their sequences' centres, as an
// SVG histogram, with the counts expected if every site could lie anywhere in its sequence.
std::string PositionHistogram(const Discovery& discovery, const DiscoveredMotif& motif, PositionStats& stats)
{
    const long long width = motif.width;
    std::vector<double> offsets;
    std::map<long long, int> sitesOfLength;
    double half = 0.0;
    for (const CalledSite& site : motif.sites) {
        const long long length = TargetLength(discovery, site.seqIndex);
        if (length < site.end || length < width)
            continue;
        offsets.push_back(static_cast<double>(site.start + site.end) / 2.0 - static_cast<double>(length) / 2.0);
        ++sitesOfLength[length];
        half = std::max(half, static_cast<double>(length - width) / 2.0);
    }
    stats.sites = static_cast<int>(offsets.size());
    if (offsets.empty())
        return {};

    std::vector<double> distances;
    for (const double offset : offsets)
        distances.push_back(std::abs(offset));
    std::sort(distances.begin(), distances.end());
    const std::size_t n = distances.size();
    stats.medianOffset = n % 2 ? distances[n / 2] : (distances[n / 2 - 1] + distances[n / 2]) / 2.0;
    // Median of |offset| for sites placed uniformly: the x where the share of sites within x is one half.
    auto shareWithin = [&](double x) {
        double share = 0.0;
        for (const auto& [length, count] : sitesOfLength) {
            const double reach = static_cast<double>(length - width) / 2.0;
            share += count * (reach <= 0.0 ? 1.0 : std::min(1.0, x / reach));
        }
        return share / static_cast<double>(n);
    };
    double low = 0.0, high = half;
    for (int i = 0; i < 60; ++i)
        (shareWithin((low + high) / 2.0) < 0.5 ? low : high) = (low + high) / 2.0;
    stats.expectedMedian = high;

    // Bins centred on multiples of the step, the middle one on the sequence centre.
    const double step = NiceStep(2.0 * std::max(half, 1.0), 40);
    const int side = static_cast<int>(std::ceil(std::max(0.0, half - step / 2.0) / step));
    const int bins = 2 * side + 1;
    auto binOf = [&](double offset) {
        return std::clamp(static_cast<int>(std::floor(offset / step + 0.5)) + side, 0, bins - 1);
    };
    std::vector<int> observed(static_cast<std::size_t>(bins), 0);
    for (const double offset : offsets)
        ++observed[static_cast<std::size_t>(binOf(offset))];
    // Expected: each site's start equally likely anywhere in its sequence.
    std::vector<double> expected(static_cast<std::size_t>(bins), 0.0);
    for (const auto& [length, count] : sitesOfLength) {
        const long long starts = length - width + 1;
        const double shift = static_cast<double>(width - length) / 2.0;  // offset of start 0
        for (int b = 0; b < bins; ++b) {
            const double from = (b - side - 0.5) * step - shift;
            const double to = (b - side + 0.5) * step - shift;
            const double first = std::max(0.0, b == 0 ? 0.0 : std::ceil(from));
            const double last = std::min(static_cast<double>(starts - 1), b == bins - 1 ? 1e300 : std::ceil(to) - 1.0);
            if (last >= first)
                expected[static_cast<std::size_t>(b)] += count * (last - first + 1.0) / static_cast<double>(starts);
        }
    }

    const double top = std::max(*std::max_element(observed.begin(), observed.end()) * 1.0,
                                *std::max_element(expected.begin(), expected.end()));
    const double yStep = NiceStep(top, 4);
    const double yMax = std::max(yStep, std::ceil(top / yStep) * yStep);
    constexpr double kWidth = 640, kHeight = 210, kLeft = 52, kRight = 16, kTop = 12, kBottom = 44;
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    const double binWidth = plotWidth / bins;
    auto x = [&](double bin) { return kLeft + bin * binWidth; };
    auto y = [&](double value) { return kTop + plotHeight - value / yMax * plotHeight; };

    std::string svg = "<svg class=\"positions\" role=\"img\" width=\"640\" height=\"210\" viewBox=\"0 0 640 210\" "
                      "aria-label=\"Histogram of site centres relative to the sequence centre\">\n";
    svg += "<g font-family=\"sans-serif\" font-size=\"11\" fill=\"#333333\">\n";
    for (double value = 0.0; value <= yMax + 1e-9; value += yStep) {
        const std::string yText = FixedText(y(value), 1);
        svg += "<line x1=\"" + FixedText(kLeft, 1) + "\" x2=\"" + FixedText(kWidth - kRight, 1) + "\" y1=\"" + yText +
               "\" y2=\"" + yText + "\" stroke=\"#e4e4e4\"/>";
        svg += "<text x=\"" + FixedText(kLeft - 6, 1) + "\" y=\"" + FixedText(y(value) + 4, 1) +
               "\" text-anchor=\"end\">" + FixedText(value, 0) + "</text>\n";
    }
    for (int b = 0; b < bins; ++b) {
        const int count = observed[static_cast<std::size_t>(b)];
        const double from = (b - side - 0.5) * step;
        const double to = (b - side + 0.5) * step;
        svg += "<rect class=\"bar\" x=\"" + FixedText(x(b) + 0.5, 1) + "\" y=\"" + FixedText(y(count), 1) +
               "\" width=\"" + FixedText(std::max(binWidth - 1.0, 0.5), 1) + "\" height=\"" +
               FixedText(y(0) - y(count), 1) + "\" fill=\"#4a7fb5\"><title>" + FixedText(from, 1) + " to " +
               FixedText(to, 1) + " bp: " + Counted(count, "site") + ", " +
               FixedText(expected[static_cast<std::size_t>(b)], 1) + " expected</title></rect>\n";
    }
    std::string steps = "M";
    for (int b = 0; b < bins; ++b) {
        const std::string level = FixedText(y(expected[static_cast<std::size_t>(b)]), 1);
        steps += (b == 0 ? "" : " L") + FixedText(x(b), 1) + "," + level + " L" + FixedText(x(b + 1), 1) + "," + level;
    }
    svg += "<path class=\"expected\" d=\"" + steps + "\" fill=\"none\" stroke=\"#222222\" stroke-width=\"1.5\" "
           "stroke-dasharray=\"4 3\"/>\n";
    // x axis: ticks at about eight nice offsets, 0 (the centre) always among them
    const double tickStep = std::max(step, NiceStep(2.0 * half, 8));
    svg += "<line x1=\"" + FixedText(kLeft, 1) + "\" x2=\"" + FixedText(kWidth - kRight, 1) + "\" y1=\"" +
           FixedText(y(0), 1) + "\" y2=\"" + FixedText(y(0), 1) + "\" stroke=\"#333333\"/>\n";
    const double centreX = x(side + 0.5);
    for (double offset = -std::floor(half / tickStep) * tickStep; offset <= half + 1e-9; offset += tickStep) {
        const double tickX = centreX + offset / step * binWidth;
        svg += "<line x1=\"" + FixedText(tickX, 1) + "\" x2=\"" + FixedText(tickX, 1) + "\" y1=\"" +
               FixedText(y(0), 1) + "\" y2=\"" + FixedText(y(0) + 5, 1) + "\" stroke=\"#333333\"/>";
        svg += "<text x=\"" + FixedText(tickX, 1) + "\" y=\"" + FixedText(y(0) + 17, 1) + "\" text-anchor=\"middle\">" +
               (offset < 0 ? "&minus;" + FixedText(-offset, 0) : FixedText(offset, 0)) + "</text>\n";
    }
    svg += "<text x=\"" + FixedText(kLeft + plotWidth / 2, 1) + "\" y=\"" + FixedText(kHeight - 6, 1) +
           "\" text-anchor=\"middle\">site centre minus sequence centre (bp)</text>\n";
    svg += "<text x=\"14\" y=\"" + FixedText(kTop + plotHeight / 2, 1) + "\" text-anchor=\"middle\" transform=\"rotate(-90 14 " +
           FixedText(kTop + plotHeight / 2, 1) + ")\">sites</text>\n";
    svg += "</g>\n</svg>";
    return svg;
}

// ---- page parts ----

constexpr std::string_view kStyle = R"(
:root { --ink: #1d1d1f; --muted: #5f6368; --line: #d9dce1; --soft: #f4f6f8; --accent: #2f5d8a; }
* { box-sizing: border-box; }
body { margin: 0; color: var(--ink); background: #ffffff; font: 15px/1.5 system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial, sans-serif; }
main { max-width: 1240px; margin: 0 auto; padding: 24px 28px 48px; }
h1 { font-size: 26px; margin: 0 0 4px; }
h2 { font-size: 20px; margin: 36px 0 8px; padding-top: 12px; border-top: 2px solid var(--line); }
h3 { font-size: 16px; margin: 22px 0 6px; }
a { color: var(--accent); }
code, .seq { font-family: ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, "Liberation Mono", monospace; font-size: 13px; }
code { background: var(--soft); padding: 1px 4px; border-radius: 3px; overflow-wrap: anywhere; }
code.nowrap { white-space: nowrap; }
.lead { font-size: 17px; margin: 4px 0 16px; }
.muted, .legend { color: var(--muted); font-size: 13px; }
.note { background: #fff8e1; border-left: 4px solid #f2b600; padding: 8px 12px; margin: 12px 0; }
.none { background: var(--soft); border-left: 4px solid var(--muted); padding: 12px 16px; margin: 16px 0; }
.none p { margin: 4px 0; }
dl.facts { display: grid; grid-template-columns: max-content 1fr; gap: 4px 18px; margin: 12px 0; }
dl.facts dt { color: var(--muted); }
dl.facts dd { margin: 0; }
.files { display: flex; flex-wrap: wrap; gap: 6px 18px; padding: 0; margin: 8px 0; list-style: none; }
.scroll { overflow-x: auto; }
.table-box { overflow: auto; max-height: 75vh; border: 1px solid var(--line); border-radius: 4px; display: inline-block; max-width: 100%; }
.table-box table { margin: 0; }
.table-box th { position: sticky; top: 0; z-index: 1; }
td.genome, td.nowrap { white-space: nowrap; }
table { border-collapse: collapse; margin: 8px 0; }
th, td { padding: 4px 10px; border-bottom: 1px solid var(--line); text-align: left; vertical-align: middle; }
th { background: var(--soft); font-weight: 600; font-size: 13px; white-space: nowrap; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tbody tr:hover { background: #f9fbfd; }
table.motifs td { padding: 6px 10px; }
.consensus { font-family: ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace; font-size: 13px; overflow-wrap: anywhere; }
table.motifs td.consensus { max-width: 150px; }
h2 .consensus { font-size: 18px; }
svg.logo { display: block; }
.logos { display: flex; flex-wrap: wrap; gap: 8px 24px; }
figure { margin: 8px 0; }
figcaption { color: var(--muted); font-size: 13px; }
.arc-legend { display: flex; align-items: center; gap: 10px; }
.arc-legend svg { flex: none; }
td.site { white-space: pre; font-family: ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace; font-size: 13px; }
td.site .flank { color: #8a8f98; }
td.site .word { font-weight: 700; }
.A { color: #d62728; } .C { color: #1f77b4; } .G { color: #ff7f0e; } .T { color: #2ca02c; }
td.name { max-width: 360px; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
th.sortable { cursor: pointer; user-select: none; }
th.sortable::after { content: " \2195"; color: #9aa0a6; }
th[aria-sort="ascending"]::after { content: " \2191"; color: var(--ink); }
th[aria-sort="descending"]::after { content: " \2193"; color: var(--ink); }
details { margin: 8px 0; }
summary { cursor: pointer; color: var(--accent); }
footer { margin-top: 40px; color: var(--muted); font-size: 13px; border-top: 1px solid var(--line); padding-top: 10px; }
)";

// Column headers become sort buttons; without script the tables are simply in their given order.
constexpr std::string_view kSortScript = R"(
document.querySelectorAll('table.sort').forEach(function (table) {
  var heads = table.tHead.rows[0].cells;
  Array.prototype.forEach.call(heads, function (head, column) {
    head.classList.add('sortable');
    head.tabIndex = 0;
    head.title = 'Sort by this column';
    function key(row) {
      var cell = row.cells[column];
      var value = cell.getAttribute('data-sort');
      return value === null ? cell.textContent : parseFloat(value);
    }
    function sort() {
      var ascending = head.getAttribute('aria-sort') !== 'ascending';
      Array.prototype.forEach.call(heads, function (h) { h.removeAttribute('aria-sort'); });
      head.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
      var body = table.tBodies[0];
      var rows = Array.prototype.slice.call(body.rows);
      rows.sort(function (a, b) {
        var x = key(a), y = key(b);
        var order = typeof x === 'number' ? x - y : x.localeCompare(y, undefined, { numeric: true });
        return ascending ? order : -order;
      });
      rows.forEach(function (row) { body.appendChild(row); });
    }
    head.addEventListener('click', sort);
    head.addEventListener('keydown', function (event) {
      if (event.key === 'Enter' || event.key === ' ') { event.preventDefault(); sort(); }
    });
  });
});
)";

std::string SearchText(const DiscoverSettings& settings)
{
    std::string widths;
    for (std::size_t i = 0; i < settings.widths.size(); ++i)
        widths += (i == 0 ? "" : ", ") + std::to_string(settings.widths[i]);
    return std::string(settings.widths.size() == 1 ? "width " : "widths ") + widths + "; " +
           Counted(settings.restarts, "restart") + " per width and round, " + Count(settings.iterations) +
           " iterations each; " + (settings.bothStrands ? "both strands" : "the given strand only") + "; " +
           (settings.oneSite ? "exactly one site" : "any number of sites") + " per sequence; " +
           (settings.mask ? "low-complexity windows masked" : "no masking") + "; up to " +
           Counted(settings.motifs, "motif") + " with E-value &le; " + Html(JsonNumber(settings.evalueThreshold));
}

std::string Facts(const Discovery& discovery)
{
    const DiscoverSettings& settings = discovery.settings;
    long long residues = 0;
    for (const long long length : discovery.targetLengths)
        residues += length;
    const auto targets = static_cast<long long>(discovery.targetNames.size());
    std::string out = "<dl class=\"facts\">\n";
    out += "<dt>Input</dt><dd><code>" + Html(settings.inputPath) + "</code>: " + Counted(targets, "sequence") + ", " +
           Counted(residues, "residue") + "</dd>\n";
    out += "<dt>Controls</dt><dd>" + Counted(discovery.controls, "sequence") + ", " +
           Counted(discovery.controlResidues, "residue") + ": " + Html(discovery.controlSource) + "</dd>\n";
    if (discovery.testTargets == targets)
        out += "<dt>Test</dt><dd>all sequences were used both to find and to test the motifs (too few to hold some "
               "out), so the E-values are optimistic</dd>\n";
    else
        out += "<dt>Test</dt><dd>the restarts sampled " + Counted(discovery.sampledTargets, "sequence") + "; " +
               Count(discovery.testTargets) + " others were held out to test the motifs</dd>\n";
    out += "<dt>Search</dt><dd>" + SearchText(settings) + "; " + Counted(discovery.motifsTested, "motif") +
           " tested (every form of every restart&rsquo;s motif counts in the E-values)</dd>\n";
    out += "<dt>Repeat</dt><dd><code>" + Html(DiscoverCommand(settings)) +
           "</code> gives these files again, byte for byte (<code class=\"nowrap\">--output-dir DIR</code> picks the "
           "folder)</dd>\n";
    out += "<dt>Seed</dt><dd>" + std::to_string(settings.seed) + "</dd>\n";
    out += "<dt>Program</dt><dd>Kalvo " + Html(settings.programVersion) + "</dd>\n";
    return out + "</dl>\n";
}

std::string FileList(const Discovery& discovery)
{
    std::string out = "<ul class=\"files\">\n";
    out += "<li>" + Link("summary.json", "summary.json") + " <span class=\"muted\">everything, as JSON</span></li>\n";
    out += "<li>" + Link("sites.tsv", "sites.tsv") + " <span class=\"muted\">every site</span></li>\n";
    out += "<li>" + Link("sites.bed", "sites.bed") + " <span class=\"muted\">sites for a genome browser</span></li>\n";
    out += "<li>" + Link("motifs.meme", "motifs.meme") + " <span class=\"muted\">for Tomtom, FIMO</span></li>\n";
    out += "<li>" + Link("motifs.jaspar", "motifs.jaspar") + "</li>\n";
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m)
        out += "<li>" + Link(LogoName(m, false), LogoName(m, false)) + ", " + Link(LogoName(m, true), LogoName(m, true)) +
               "</li>\n";
    out += "<li>" + Link("runs/", "runs/") + " <span class=\"muted\">every restart&rsquo;s parameter file and report</span></li>\n";
    return out + "</ul>\n";
}

std::string NoMotif(const Discovery& discovery)
{
    const std::string threshold = Html(JsonNumber(discovery.settings.evalueThreshold));
    std::string out = "<section class=\"none\" id=\"no-motif\">\n<p><b>No significant motif.</b> No motif reached an "
                      "E-value of " + threshold + " or less";
    const auto& restarts = discovery.restarts;
    const auto best = std::min_element(restarts.begin(), restarts.end(), [](const RestartRecord& a, const RestartRecord& b) {
        return a.log10EValue < b.log10EValue;
    });
    const bool anySite =
        std::any_of(restarts.begin(), restarts.end(), [](const RestartRecord& restart) { return restart.sites > 0; });
    if (discovery.nextBestLog10EValue)
        out += "; the best candidate had E = " + Html(FormatEValue(*discovery.nextBestLog10EValue));
    else if (discovery.motifsTested == 0)
        out += "; no candidate motif could be tested";
    else if (!restarts.empty() && !anySite)
        out += "; none of the " + Counted(static_cast<long long>(restarts.size()), "restart") + " ended with a site";
    else if (best != restarts.end())
        out += "; the best restart&rsquo;s motif had E = " + Html(FormatEValue(best->log10EValue));
    out += ".</p>\n<p>The restarts&rsquo; motifs and seeds are listed below and in " + Link("summary.json", "summary.json") +
           ". More sequences, other widths (<code>--widths</code>) or a control set that matches the sequences "
           "(<code>--control</code>) may reveal a motif.</p>\n</section>\n";
    return out;
}

// Width in pixels of a logo as the composer draws it.
double LogoWidth(const RunSummary& model)
{
    const std::string svg = SequenceLogoSvg(model);
    const std::size_t at = svg.find(" width=\"");
    double width = 0.0;
    if (at != std::string::npos)
        std::from_chars(svg.data() + at + 8, svg.data() + svg.size(), width);
    return width;
}

std::string MotifTable(const Discovery& discovery)
{
    // One scale for every motif, so that stack heights compare across rows; small
    // enough that both logos of the widest motif leave room for the other columns.
    double widest = 0.0;
    for (const DiscoveredMotif& motif : discovery.motifs)
        widest = std::max(widest, LogoWidth(motif.model));
    const double scale = widest > 0.0 ? std::min(0.5, 300.0 / widest) : 0.5;
    std::string out = "<div class=\"scroll\"><table class=\"motifs\">\n<thead><tr><th class=\"num\">Rank</th>"
                      "<th>Motif</th><th>Logo</th><th>Reverse complement</th><th class=\"num\">Width</th>"
                      "<th class=\"num\">Sites</th><th class=\"num\">E-value</th><th class=\"num\">Found by</th>"
                      "</tr></thead>\n<tbody>\n";
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m) {
        const DiscoveredMotif& motif = discovery.motifs[m];
        const std::string number = std::to_string(m + 1);
        out += "<tr><td class=\"num\">" + std::to_string(motif.rank) + "</td><td class=\"consensus\"><a href=\"#motif-" +
               number + "\">" + Html(motif.consensus.empty() ? "motif " + number : motif.consensus) + "</a></td>";
        for (const bool reverse : {false, true})
            out += "<td>" + InlineLogo(motif.model, reverse, scale, "t" + number + (reverse ? "r" : "f"),
                                       "Logo of motif " + number + (reverse ? ", reverse complement" : "")) +
                   "</td>";
        out += "<td class=\"num\">" + std::to_string(motif.width) + "</td><td class=\"num\">" +
               Count(static_cast<long long>(motif.sites.size())) + "</td><td class=\"num\">" +
               ScientificHtml(motif.log10EValue) + "</td><td class=\"num\" title=\"restarts merged into this motif\">" +
               std::to_string(motif.foundBy) + " of " + std::to_string(motif.restartsTried) + "</td></tr>\n";
    }
    return out + "</tbody>\n</table></div>\n";
}

// The pair's words with their counts against the counts the two columns' letters would give alone.
std::string PairTable(const DiscoveredMotif& motif)
{
    std::string out = "<table class=\"pairs\">\n<thead><tr><th>Columns</th><th class=\"num\">log Bayes factor</th>"
                      "<th>Letters at the two columns: sites (expected if the columns were independent)</th></tr></thead>\n"
                      "<tbody>\n";
    for (const GroupNode& group : motif.model.groups) {
        if (group.positions.size() != 2 || group.counts.size() != 16)
            continue;
        const bool swap = group.positions[0] > group.positions[1];
        const int left = std::min(group.positions[0], group.positions[1]);
        const int right = std::max(group.positions[0], group.positions[1]);
        std::array<int, 16> counts{};  // by 4 * (left letter) + right letter
        std::array<int, 4> leftTotals{}, rightTotals{};
        int total = 0;
        for (int w = 0; w < 16; ++w) {
            const int first = w / 4, second = w % 4;
            const int a = swap ? second : first, b = swap ? first : second;
            const int n = std::max(0, group.counts[static_cast<std::size_t>(w)]);
            counts[static_cast<std::size_t>(4 * a + b)] += n;
            leftTotals[static_cast<std::size_t>(a)] += n;
            rightTotals[static_cast<std::size_t>(b)] += n;
            total += n;
        }
        // Every combination of letters the columns hold, seen or not: a pair that is
        // never seen although its letters are common says as much as one seen often.
        std::array<double, 16> expected{};
        std::vector<int> words;
        for (int w = 0; w < 16; ++w) {
            const auto at = static_cast<std::size_t>(w);
            expected[at] = total > 0 ? static_cast<double>(leftTotals[static_cast<std::size_t>(w / 4)]) *
                                           rightTotals[static_cast<std::size_t>(w % 4)] / total
                                     : 0.0;
            if (counts[at] > 0 || expected[at] > 0.0)
                words.push_back(w);
        }
        std::stable_sort(words.begin(), words.end(), [&](int a, int b) {
            return counts[static_cast<std::size_t>(a)] > counts[static_cast<std::size_t>(b)];
        });
        std::string cells;
        for (const int w : words) {
            const std::string word = WordFromIndex(static_cast<std::uint64_t>(w), 2);
            cells += std::string(cells.empty() ? "" : ", ") + "<span class=\"seq\"><span class=\"" + word.substr(0, 1) +
                     "\">" + word.substr(0, 1) + "</span>&middot;<span class=\"" + word.substr(1, 1) + "\">" +
                     word.substr(1, 1) + "</span></span> " + std::to_string(counts[static_cast<std::size_t>(w)]) +
                     " <span class=\"muted\">(" + FixedText(expected[static_cast<std::size_t>(w)], 1) + ")</span>";
        }
        out += "<tr><td class=\"nowrap\">" + std::to_string(left + 1) + " and " + std::to_string(right + 1) +
               "</td><td class=\"num\">" +
               FixedText(group.logBF, 2) + "</td><td>" + cells + "</td></tr>\n";
    }
    return out + "</tbody>\n</table>\n";
}

// A site in its context: flanks in lower case, the site's letters coloured.
std::string SiteInContext(const CalledSite& site)
{
    std::string left = site.leftFlank;
    std::string right = site.rightFlank;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::transform(left.begin(), left.end(), left.begin(), lower);
    std::transform(right.begin(), right.end(), right.begin(), lower);
    // Flanks shorter at a sequence's end are padded, so that the sites line up.
    const std::size_t pad = left.size() < kSiteFlank ? kSiteFlank - left.size() : 0;
    std::string out = std::string(pad, ' ') + "<span class=\"flank\">" + Html(left) + "</span><span class=\"word\">";
    for (std::size_t i = 0; i < site.word.size();) {
        std::size_t j = i;
        while (j < site.word.size() && site.word[j] == site.word[i])
            ++j;
        const std::string run = site.word.substr(i, j - i);
        out += IsBase(site.word[i]) ? "<span class=\"" + run.substr(0, 1) + "\">" + run + "</span>" : Html(run);
        i = j;
    }
    return out + "</span><span class=\"flank\">" + Html(right) + "</span>";
}

std::string SitesTable(const Discovery& discovery, const DiscoveredMotif& motif)
{
    const std::size_t shown = std::min<std::size_t>(motif.sites.size(), kHtmlSiteRows);
    std::string out;
    if (shown < motif.sites.size())
        out += "<p class=\"note\">The first " + Count(static_cast<long long>(shown)) + " of " +
               Count(static_cast<long long>(motif.sites.size())) + " sites, in input order; " +
               Link("sites.tsv", "sites.tsv") + " and " + Link("sites.bed", "sites.bed") + " list them all.</p>\n";
    // A column of genome places when the sequence names give their intervals, as sites.bed reads them.
    bool withGenome = false;
    for (std::size_t i = 0; i < shown && !withGenome; ++i)
        withGenome = HeaderInterval(SeqName(discovery, motif.sites[i].seqIndex),
                                    TargetLength(discovery, motif.sites[i].seqIndex))
                         .has_value();
    // A long table scrolls in a box of its own, its header kept in view, so that the next motif is near.
    constexpr std::size_t kRowsWithoutBox = 30;
    out += std::string(shown > kRowsWithoutBox ? "<div class=\"table-box\">" : "<div class=\"scroll\">") +
           "<table class=\"sites sort\">\n<thead><tr><th>Sequence</th><th>Strand</th>"
           "<th class=\"num\">Start</th><th class=\"num\">Offset</th>" +
           std::string(withGenome ? "<th>Genome</th>" : "") +
           "<th class=\"num\">Score</th><th>Site in its context</th></tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < shown; ++i) {
        const CalledSite& site = motif.sites[i];
        const std::string name = SeqName(discovery, site.seqIndex);
        const long long length = TargetLength(discovery, site.seqIndex);
        std::string offset = "<td class=\"num\"></td>";
        if (length >= site.end) {
            const double value = static_cast<double>(site.start + site.end) / 2.0 - static_cast<double>(length) / 2.0;
            offset = "<td class=\"num\" data-sort=\"" + FixedText(value, 1) + "\">" + OffsetText(value) + "</td>";
        }
        std::string genome;
        if (withGenome) {
            genome = "<td class=\"genome\"></td>";
            if (const auto interval = HeaderInterval(name, length)) {
                // As in sites.bed: a reversed interval is read from its end.
                const long long start = interval->start + (interval->reversed ? length - site.end : site.start);
                genome = "<td class=\"genome\">" + Html(interval->chrom, 80) + ":" + std::to_string(start + 1) + "-" +
                         std::to_string(start + site.end - site.start) + "</td>";
            }
        }
        out += "<tr><td class=\"name\" data-sort=\"" + std::to_string(site.seqIndex) + "\" title=\"" + Html(name, 500) +
               "\">" + Html(name, 80) + "</td><td>" + (site.forward ? "+" : "&minus;") + "</td><td class=\"num\">" +
               Count(site.start + 1) + "</td>" + offset + genome + "<td class=\"num\">" + FixedText(site.score, 2) +
               "</td><td class=\"site\">" + SiteInContext(site) + "</td></tr>\n";
    }
    out += "</tbody>\n</table></div>\n";
    out += "<p class=\"legend\">Start counts from 1 on the sequence as given (sites.tsv and sites.bed count from 0). "
           "Offset: the site&rsquo;s centre minus the sequence&rsquo;s centre, in bp. " +
           std::string(withGenome ? "Genome: the site&rsquo;s place on the genome (from 1, both ends included), where "
                                    "the sequence&rsquo;s name gives its interval. "
                                  : "") +
           "Score: log-likelihood ratio "
           "(natural log) of the motif, its correlated pairs included, over the background. The site is shown in "
           "the motif&rsquo;s orientation (on the &minus; strand: reverse complemented) with up to " +
           std::to_string(kSiteFlank) + " bases of context on each side in lower case.</p>\n";
    return out;
}

std::string MotifSection(const Discovery& discovery, const DiscoveredMotif& motif, const std::string& id,
                         std::size_t position)
{
    const std::string number = std::to_string(position + 1);
    std::string out = "<section class=\"motif\" id=\"motif-" + number + "\">\n";
    out += "<h2>Motif " + std::to_string(motif.rank) + " &middot; <span class=\"consensus\">" + Html(motif.consensus) +
           "</span></h2>\n";
    out += "<dl class=\"facts\">\n<dt>Id</dt><dd>" + Html(id) + " (in motifs.meme and motifs.jaspar)</dd>\n";
    out += "<dt>E-value</dt><dd>" + ScientificHtml(motif.log10EValue) + " <span class=\"muted\">(p-value " +
           ScientificHtml(motif.log10PValue) + ", times the number of motifs tested)</span></dd>\n";
    out += "<dt>Test sequences with a site</dt><dd>" + Count(motif.targetHits) + " of " + Count(motif.targets) +
           " targets (" + Percent(motif.targetHits, motif.targets) + ") against " + Count(motif.controlHits) + " of " +
           Count(motif.controls) + " controls (" + Percent(motif.controlHits, motif.controls) + ")</dd>\n";
    out += "<dt>Sites</dt><dd>" + Count(static_cast<long long>(motif.sites.size())) +
           ": a sequence&rsquo;s best window scoring at least " + FixedText(motif.threshold, 2);
    if (std::isfinite(motif.moreThreshold))
        out += ", and its further windows from " + FixedText(motif.moreThreshold, 2);
    else
        out += " (at most one site per sequence)";
    out += "</dd>\n";
    out += "<dt>Found by</dt><dd>" + std::to_string(motif.foundBy) + " of " + Counted(motif.restartsTried, "restart") +
           " of its round";
    if (motif.trimmedLeft > 0 || motif.trimmedRight > 0)
        out += "; uninformative columns cut: " + std::to_string(motif.trimmedLeft) + " on the left, " +
               std::to_string(motif.trimmedRight) + " on the right";
    out += "</dd>\n";
    const RestartRecord& source = motif.source;
    if (!source.parameterFile.empty())
        out += "<dt>Best restart</dt><dd><code>" + Html(RepeatCommand(source)) +
               "</code> in this folder repeats it (" + Link(source.parameterFile, "parameters") + ", " +
               Link(source.reportFile, "report") + ")</dd>\n";
    out += "</dl>\n";

    out += "<div class=\"logos\">\n";
    for (const bool reverse : {false, true}) {
        out += "<figure>" +
               InlineLogo(motif.model, reverse, 0.7, "m" + number + (reverse ? "r" : "f"),
                          "Logo of motif " + number + (reverse ? ", reverse complement" : "")) +
               "<figcaption>" + (reverse ? "Reverse complement" : "As the sites are listed") + " &middot; " +
               Link(LogoName(position, reverse), LogoName(position, reverse)) + "</figcaption></figure>\n";
    }
    out += "</div>\n";
    out += "<p class=\"legend\">The logos are drawn from the " + Counted(motif.model.numSites, "site") +
           " the motif was estimated from" +
           (discovery.testTargets < static_cast<long long>(discovery.targetNames.size())
                ? std::string(" (in the training sequences)")
                : std::string()) +
           ". Stack height: the column&rsquo;s information content in bits, with the small-sample correction for "
           "that many sites; letter height: its share of the column. A red, C blue, G orange, T green.</p>\n";

    if (!motif.model.groups.empty()) {
        out += "<h3>Correlated column pairs</h3>\n" + ArcLegend() + PairTable(motif);
    }

    out += "<h3>Where the sites lie</h3>\n";
    PositionStats stats;
    const std::string histogram = PositionHistogram(discovery, motif, stats);
    if (histogram.empty()) {
        out += "<p class=\"muted\">No site to place.</p>\n";
    } else {
        out += "<figure>" + histogram + "<figcaption>Bars: sites by the distance of their centre from the centre of "
               "their sequence; dashed line: the counts expected if each site could lie anywhere in its sequence. "
               "Half of the " + Counted(stats.sites, "site") + " lie within " + FixedText(stats.medianOffset, 0) +
               " bp of the centre (" + FixedText(stats.expectedMedian, 0) +
               " bp expected); a peak at 0 is what a factor&rsquo;s own sites give in peaks centred on its "
               "binding.</figcaption></figure>\n";
    }

    out += "<h3>Sites</h3>\n";
    out += motif.sites.empty() ? std::string("<p class=\"muted\">No site was called.</p>\n") : SitesTable(discovery, motif);
    return out + "</section>\n";
}

std::string RestartSection(const Discovery& discovery)
{
    std::string out = "<section id=\"restarts\">\n<h2>Restarts</h2>\n<p>Every restart is an exact run of the "
                      "sampler. From inside this folder, <code>kalvo run PARAMETER-FILE --seed SEED</code> repeats "
                      "it byte for byte.</p>\n";
    out += "<details><summary>All " + Counted(static_cast<long long>(discovery.restarts.size()), "restart") +
           "</summary>\n<div class=\"scroll\"><table class=\"restarts sort\">\n<thead><tr><th class=\"num\">Round</th>"
           "<th class=\"num\">Width</th><th class=\"num\">Restart</th><th class=\"num\">Seed</th>"
           "<th class=\"num\">Log-likelihood</th><th class=\"num\">Sites</th><th>Consensus</th>"
           "<th class=\"num\">E-value</th><th class=\"num\">Motif</th><th>Files</th></tr></thead>\n<tbody>\n";
    for (const RestartRecord& restart : discovery.restarts) {
        out += "<tr><td class=\"num\">" + std::to_string(restart.round) + "</td><td class=\"num\">" +
               std::to_string(restart.width) + "</td><td class=\"num\">" + std::to_string(restart.index) +
               "</td><td class=\"num\">" + std::to_string(restart.seed) + "</td><td class=\"num\">" +
               FixedText(restart.logLik, 2) + "</td><td class=\"num\">" + Count(restart.sites) +
               "</td><td class=\"consensus\">" + Html(restart.consensus) + "</td><td class=\"num\" data-sort=\"" +
               FixedText(restart.log10EValue, 3) + "\">" + Html(FormatEValue(restart.log10EValue)) +
               "</td><td class=\"num\" data-sort=\"" + std::to_string(restart.motifRank) + "\">" +
               (restart.motifRank > 0 ? "<a href=\"#motif-" + std::to_string(restart.motifRank) + "\">" +
                                            std::to_string(restart.motifRank) + "</a>"
                                      : std::string()) +
               "</td><td>" + Link(restart.parameterFile, "parameters") + " &middot; " +
               Link(restart.reportFile, "report") + "</td></tr>\n";
    }
    return out + "</tbody>\n</table></div>\n</details>\n</section>\n";
}

std::string InputName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

}  // namespace

std::string DiscoveryHtml(const Discovery& discovery)
{
    const DiscoverSettings& settings = discovery.settings;
    const std::vector<std::string> ids = DiscoveryMotifIds(discovery);
    const std::string input = Html(InputName(settings.inputPath));
    const auto found = static_cast<long long>(discovery.motifs.size());

    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<meta name=\"generator\" content=\"Kalvo " + Html(settings.programVersion) + "\">\n"
                       "<title>Kalvo motifs in " + input + "</title>\n<style>" + std::string(kStyle) +
                       "</style>\n</head>\n<body>\n<main>\n";
    page += "<header>\n<h1>Motifs in " + input + "</h1>\n<p class=\"lead\">";
    page += (found == 0 ? std::string("No significant motif") : Counted(found, "significant motif")) + " in " +
            Counted(static_cast<long long>(discovery.targetNames.size()), "sequence") + "</p>\n";
    page += Facts(discovery);
    for (const std::string& warning : discovery.warnings)
        page += "<p class=\"note\">" + Html(warning, 1000) + "</p>\n";
    page += "<h3>Files in this folder</h3>\n" + FileList(discovery) + "</header>\n";

    page += "<section id=\"motifs\">\n<h2>Motifs</h2>\n";
    if (discovery.motifs.empty()) {
        page += NoMotif(discovery);
    } else {
        page += MotifTable(discovery);
        page += "<p class=\"legend\">E-value: the chance of a motif separating the sequences from the controls this "
                "well, times the number of motifs tested; the motif is reported at " +
                Html(JsonNumber(settings.evalueThreshold)) +
                " or less. Found by: restarts (of the motif&rsquo;s round) whose motifs were merged into this one. The "
                "Motif column links to the motif&rsquo;s logos, correlated pairs and sites below.";
        if (discovery.nextBestLog10EValue)
            page += " The next candidate (E = " + Html(FormatEValue(*discovery.nextBestLog10EValue)) +
                    ") was above the threshold: the search stopped there.";
        page += "</p>\n";
        const bool anyPair = std::any_of(discovery.motifs.begin(), discovery.motifs.end(),
                                         [](const DiscoveredMotif& motif) { return !motif.model.groups.empty(); });
        if (anyPair)
            page += ArcLegend();
    }
    page += "</section>\n";
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m)
        page += MotifSection(discovery, discovery.motifs[m], ids[m], m);
    page += RestartSection(discovery);
    page += "<footer>Made by Kalvo " + Html(settings.programVersion) +
            " from the discovery in this folder. The page needs no network; with scripts off, the tables are in "
            "their given order.</footer>\n";
    page += "</main>\n<script>" + std::string(kSortScript) + "</script>\n</body>\n</html>\n";
    return page;
}

}  // namespace kalvo
