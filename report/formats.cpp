// report/formats.cpp: MEME, JASPAR, TRANSFAC, BED and JSON texts of a run summary.
#include "report/formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "report/sequence_logo.h"
#include "util/file_stem.h"
#include "util/json_writer.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

constexpr char kLetters[] = {'A', 'C', 'G', 'T'};

struct FormatInfo {
    ExportFormat format;
    std::string_view name;
    std::string_view suffix;
};

constexpr FormatInfo kFormatInfo[] = {
    {ExportFormat::Meme, "meme", ".meme"},         {ExportFormat::Jaspar, "jaspar", ".jaspar"},
    {ExportFormat::Transfac, "transfac", ".transfac"}, {ExportFormat::Bed, "bed", ".bed"},
    {ExportFormat::Json, "json", ".json"},         {ExportFormat::Svg, "svg", ".logo.svg"},
};

const FormatInfo& Info(ExportFormat format)
{
    for (const FormatInfo& info : kFormatInfo)
        if (info.format == format)
            return info;
    return kFormatInfo[0];
}

std::string RightAligned(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The background as a distribution: a run's frequencies scaled to sum to 1
// (a background file need not), uniform when they are all 0.
std::array<double, 4> NormalizedBackground(const std::array<double, 4>& bgFreq)
{
    double total = 0.0;
    for (double f : bgFreq)
        total += f > 0.0 ? f : 0.0;
    std::array<double, 4> freq{0.25, 0.25, 0.25, 0.25};
    if (total > 0.0)
        for (std::size_t b = 0; b < 4; ++b)
            freq[b] = (bgFreq[b] > 0.0 ? bgFreq[b] : 0.0) / total;
    return freq;
}

// A matrix row as shares of the letters counted in that column. They equal
// the report's shares whenever every site has one of A, C, G, T there; a
// column without any such letter gets the background.
std::array<double, 4> RowShares(const std::array<int, 4>& counts, const std::array<double, 4>& background)
{
    const int total = counts[0] + counts[1] + counts[2] + counts[3];
    if (total <= 0)
        return background;
    std::array<double, 4> shares{};
    for (std::size_t b = 0; b < 4; ++b)
        shares[b] = counts[b] / static_cast<double>(total);
    return shares;
}

bool IsDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<long long> ParseCoordinate(std::string_view text)
{
    if (!IsDigits(text))
        return std::nullopt;
    long long value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The header's first word, without the '>' that starts a header line.
std::string_view FirstWord(std::string_view header)
{
    if (!header.empty() && header.front() == '>')
        header.remove_prefix(1);
    const auto end = header.find_first_of(" \t");
    return end == std::string_view::npos ? header : header.substr(0, end);
}

}  // namespace

std::string FixedText(double value, int decimals)
{
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

std::string_view ExportFormatName(ExportFormat format) { return Info(format).name; }

std::string_view ExportFormatSuffix(ExportFormat format) { return Info(format).suffix; }

std::optional<ExportFormat> ExportFormatByName(std::string_view name)
{
    for (const FormatInfo& info : kFormatInfo)
        if (info.name == name)
            return info.format;
    return std::nullopt;
}

std::vector<std::array<double, 4>> MemeRows(const RunSummary& summary)
{
    const std::array<double, 4> background = NormalizedBackground(summary.bgFreq);
    std::vector<std::array<double, 4>> rows;
    rows.reserve(summary.counts.size());
    for (const std::array<int, 4>& counts : summary.counts)
        rows.push_back(summary.numSites == 0 ? background : RowShares(counts, background));
    return rows;
}

std::string MemeHeader(const std::array<double, 4>& bgFreq, bool bothStrands, std::string_view backgroundNote)
{
    const std::array<double, 4> background = NormalizedBackground(bgFreq);
    std::string out = "MEME version 4\n\nALPHABET= ACGT\n\n";
    out += bothStrands ? "strands: + -\n\n" : "strands: +\n\n";
    out += "Background letter frequencies (";
    out += backgroundNote;
    out += ")\n";
    for (std::size_t b = 0; b < 4; ++b) {
        out += b == 0 ? "" : " ";
        out += kLetters[b];
        out += ' ';
        out += FixedText(background[b], 6);
    }
    out += "\n\n";
    return out;
}

std::string MemeMatrix(const RunSummary& summary, std::string_view id, std::string_view altName, int nsites,
                       std::string_view evalue)
{
    std::string out = "MOTIF ";
    out += id;
    if (!altName.empty()) {
        out += ' ';
        out += altName;
    }
    out += "\n";
    if (summary.numSites == 0)
        out += "# no sites were found: every row is the background letter frequencies\n";
    out += "\nletter-probability matrix: alength= 4 w= " + std::to_string(summary.width) +
           " nsites= " + std::to_string(nsites);
    if (!evalue.empty()) {
        out += " E= ";
        out += evalue;
    }
    out += "\n";
    for (const std::array<double, 4>& shares : MemeRows(summary)) {
        for (double share : shares) {
            out += ' ';
            out += FixedText(share, 6);
        }
        out += "\n";
    }
    out += "\n";
    return out;
}

MotifLabel RunMotifLabel(const RunSummary& summary, std::int64_t runNumber)
{
    const std::string run = "run" + std::to_string(runNumber);
    // The consensus is letters of A, C, G and T, so the id stays one word.
    return {run + "-" + (summary.consensus.empty() ? std::string("motif") : summary.consensus),
            FileStemWord(summary.inputPath) + "." + run};
}

std::string MemeMotif(const RunSummary& summary, std::int64_t runNumber)
{
    const MotifLabel label = RunMotifLabel(summary, runNumber);
    return MemeHeader(summary.bgFreq, summary.bothStrands,
                      "from " + (summary.backgroundPath.empty() ? std::string("the sequences") : summary.backgroundPath)) +
           MemeMatrix(summary, label.id, label.name, summary.numSites, "");
}

std::string JasparCounts(const RunSummary& summary, std::string_view id, std::string_view name)
{
    std::size_t width = 1;
    for (const std::array<int, 4>& counts : summary.counts)
        for (int count : counts)
            width = std::max(width, std::to_string(count).size());
    std::string out = ">";
    out += id;
    out += ' ';
    out += name;
    out += "\n";
    for (std::size_t b = 0; b < 4; ++b) {
        out += kLetters[b];
        out += " [";
        for (const std::array<int, 4>& counts : summary.counts) {
            out += ' ';
            out += RightAligned(std::to_string(counts[b]), width);
        }
        out += " ]\n";
    }
    return out;
}

std::string JasparCounts(const RunSummary& summary, std::int64_t runNumber)
{
    const MotifLabel label = RunMotifLabel(summary, runNumber);
    return JasparCounts(summary, label.id, label.name);
}

std::string TransfacMatrix(const RunSummary& summary, std::int64_t runNumber)
{
    constexpr std::size_t kField = 7;
    const MotifLabel label = RunMotifLabel(summary, runNumber);
    std::string out = "ID  " + label.id + "\nXX\nNA  " + label.name + "\nXX\nBF  kalvo\nXX\nP0";
    for (char letter : kLetters)
        out += RightAligned(std::string(1, letter), kField);
    out += "\n";
    for (std::size_t c = 0; c < summary.counts.size(); ++c) {
        std::string position = std::to_string(c + 1);
        if (position.size() < 2)
            position.insert(0, 2 - position.size(), '0');
        out += position;
        for (int count : summary.counts[c])
            out += RightAligned(std::to_string(count), kField);
        out += RightAligned(std::string(1, c < summary.consensus.size() ? summary.consensus[c] : 'A'), kField);
        out += "\n";
    }
    out += "XX\n//\n";
    return out;
}

std::optional<GenomeInterval> HeaderInterval(std::string_view header, long long length)
{
    std::string_view word = FirstWord(header);
    // bedtools getfasta -name writes name::chrom:start-end.
    if (const auto names = word.rfind("::"); names != std::string_view::npos)
        word.remove_prefix(names + 2);
    bool reversed = false;
    if (word.ends_with("(+)") || word.ends_with("(-)")) {
        reversed = word.ends_with("(-)");
        word.remove_suffix(3);
    }
    const auto colon = word.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    const std::string_view range = word.substr(colon + 1);
    const auto dash = range.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    const auto start = ParseCoordinate(range.substr(0, dash));
    const auto end = ParseCoordinate(range.substr(dash + 1));
    if (!start || !end || *end < *start)
        return std::nullopt;
    GenomeInterval interval;
    interval.chrom = std::string(word.substr(0, colon));
    interval.reversed = reversed;
    if (*end - *start == length)
        interval.start = *start;
    else if (*end - *start + 1 == length && *start >= 1)
        interval.start = *start - 1;
    else
        return std::nullopt;  // the name does not describe this sequence
    return interval;
}

int BedScore(double logScore, double bestLogScore)
{
    if (!(bestLogScore > 0.0) || !(logScore > 0.0))
        return 0;
    const double scaled = std::round(1000.0 * logScore / bestLogScore);
    return static_cast<int>(std::clamp(scaled, 0.0, 1000.0));
}

namespace {

// A BED field as one word. Tools split BED lines at tabs and often at blanks
// too, so a blank, a tab or another control character (which sequence names
// and site words can hold as read) becomes '_', and an empty field is "."; the
// line then always has its six fields.
std::string BedField(std::string_view text)
{
    if (text.empty())
        return ".";
    std::string field(text);
    for (char& c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f)
            c = '_';
    }
    return field;
}

}  // namespace

std::string BedLine(const BedSite& site)
{
    std::string chrom;
    long long start = site.pos;
    bool plus = site.forward;
    if (const auto interval = HeaderInterval(site.header, site.length)) {
        chrom = interval->chrom;
        if (interval->reversed) {
            // The sequence reads the interval backwards: count from its end, on the other strand.
            start = interval->start + (site.length - site.pos - site.width);
            plus = !plus;
        } else {
            start = interval->start + site.pos;
        }
    } else {
        chrom = std::string(FirstWord(site.header));
        if (chrom.empty())
            chrom = "seq" + std::to_string(site.seqIndex + 1);
    }
    return BedField(chrom) + "\t" + std::to_string(start) + "\t" + std::to_string(start + site.width) + "\t" +
           BedField(site.name) + "\t" + std::to_string(site.score) + "\t" + (plus ? "+" : "-") + "\n";
}

namespace {

// The header line of a site's sequence; empty when the summary holds no such sequence.
std::string_view SiteHeader(const RunSummary& summary, const SiteNode& site)
{
    const auto index = static_cast<std::size_t>(site.seqIndex);
    return site.seqIndex >= 0 && index < summary.seqNames.size() ? summary.seqNames[index] : std::string_view();
}

}  // namespace

std::string BedSites(const RunSummary& summary)
{
    double best = -std::numeric_limits<double>::infinity();
    for (const SiteNode& site : summary.sites)
        best = std::max(best, site.motifLogLik);
    std::string out;
    for (const SiteNode& site : summary.sites) {
        const auto index = static_cast<std::size_t>(site.seqIndex);
        const long long length = index < summary.seqLengths.size() ? summary.seqLengths[index] : 0;
        out += BedLine({SiteHeader(summary, site), length, site.seqIndex, site.pos, summary.width, site.forward,
                        site.word, BedScore(site.motifLogLik, best)});
    }
    return out;
}

namespace {

// A share as the report prints it: a figure that cannot exist (0/0) is 0.
double ReportedShare(double value) { return std::isnan(value) ? 0.0 : value; }

std::string ParametersJson(const RunSummary& summary)
{
    return JsonObject({{"parameterFile", JsonStringOrNull(summary.parameterPath)},
                       {"input", JsonString(summary.inputPath)},
                       {"output", JsonString(summary.outputPath)},
                       {"background", JsonStringOrNull(summary.backgroundPath)},
                       {"width", JsonInteger(summary.width)},
                       {"iterations", JsonInteger(summary.iterations)},
                       {"pseudocount", JsonNumber(summary.pseudocount)},
                       {"correlation", JsonInteger(summary.corrLevel)},
                       {"correlationMoves", JsonInteger(summary.depMoves)},
                       {"oneSitePerSequence", JsonBool(summary.oneSitePerSeq)},
                       {"bothStrands", JsonBool(summary.bothStrands)},
                       {"maskLowComplexity", JsonBool(summary.maskLowComplexity)},
                       {"seedWord", JsonStringOrNull(summary.seedMotif)}},
                      "  ");
}

std::string BackgroundJson(const RunSummary& summary)
{
    JsonMembers letters;
    for (std::size_t b = 0; b < 4; ++b)
        letters.emplace_back(std::string(1, kLetters[b]), JsonNumber(summary.bgFreq[b]));
    return JsonInlineObject(letters, true);
}

// Each sequence with its header, length and the number of the reported sites on it.
std::string SequencesJson(const RunSummary& summary)
{
    std::vector<int> sitesPerSequence(summary.seqNames.size(), 0);
    for (const SiteNode& site : summary.sites)
        if (site.seqIndex >= 0 && static_cast<std::size_t>(site.seqIndex) < sitesPerSequence.size())
            ++sitesPerSequence[static_cast<std::size_t>(site.seqIndex)];
    std::vector<std::string> sequences;
    for (std::size_t i = 0; i < summary.seqNames.size(); ++i) {
        const long long length = i < summary.seqLengths.size() ? summary.seqLengths[i] : 0;
        sequences.push_back(JsonInlineObject({{"index", JsonInteger(static_cast<long long>(i))},
                                              {"header", JsonString(summary.seqNames[i])},
                                              {"length", JsonInteger(length)},
                                              {"sites", JsonInteger(sitesPerSequence[i])}}));
    }
    return JsonArray(sequences, "  ");
}

std::string MotifJson(const RunSummary& summary, const MotifLabel& label)
{
    std::vector<std::string> columns;
    for (std::size_t c = 0; c < summary.counts.size(); ++c) {
        const std::array<double, 4> shares = c < summary.probs.size() ? summary.probs[c] : std::array<double, 4>{};
        const char consensus = c < summary.consensus.size() ? summary.consensus[c] : 'A';
        columns.push_back(JsonInlineObject(
            {{"column", JsonInteger(static_cast<long long>(c + 1))},
             {"counts", JsonInlineArray(summary.counts[c], [](int n) { return JsonInteger(n); })},
             {"probabilities", JsonInlineArray(shares, [](double p) { return JsonNumber(ReportedShare(p)); })},
             {"consensus", JsonString(std::string(1, consensus))}}));
    }
    return JsonObject({{"id", JsonString(label.id)},
                       {"name", JsonString(label.name)},
                       {"width", JsonInteger(summary.width)},
                       {"consensus", JsonString(summary.consensus)},
                       {"columns", JsonArray(columns, "    ")}},
                      "  ");
}

// Each correlated group with the words seen at its columns.
std::string CorrelatedPositionsJson(const RunSummary& summary)
{
    std::vector<std::string> groups;
    for (const GroupNode& group : summary.groups) {
        std::vector<std::string> words;
        for (std::size_t w = 0; w < group.counts.size(); ++w) {
            if (group.counts[w] <= 0)
                continue;
            const double share = w < group.probs.size() ? ReportedShare(group.probs[w]) : 0.0;
            words.push_back(JsonInlineObject({{"word", JsonString(WordFromIndex(w, group.size))},
                                              {"count", JsonInteger(group.counts[w])},
                                              {"probability", JsonNumber(share)}}));
        }
        groups.push_back(
            JsonInlineObject({{"columns", JsonInlineArray(group.positions, [](int p) { return JsonInteger(p + 1); })},
                              {"logBF", JsonNumber(group.logBF)},
                              {"words", JsonInlineArray(words)}}));
    }
    return JsonArray(groups, "  ");
}

std::string SitesJson(const RunSummary& summary)
{
    std::vector<std::string> sites;
    for (const SiteNode& site : summary.sites)
        sites.push_back(JsonInlineObject({{"sequence", JsonInteger(site.seqIndex)},
                                          {"header", JsonString(SiteHeader(summary, site))},
                                          {"segment", JsonInteger(site.ordinal)},
                                          {"strand", JsonString(site.forward ? "+" : "-")},
                                          {"position", JsonInteger(site.pos)},
                                          {"word", JsonString(site.word)},
                                          {"logScore", JsonNumber(site.motifLogLik)}}));
    return JsonArray(sites, "  ");
}

}  // namespace

std::string JsonReport(const RunSummary& summary, std::string_view programVersion, std::int64_t runNumber)
{
    return JsonObject({{"schema", JsonInteger(kRunJsonSchema)},
                       {"program", JsonString("kalvo")},
                       {"version", JsonString(programVersion)},
                       {"run", JsonInteger(runNumber)},
                       {"seed", JsonInteger(summary.seed)},
                       {"parameters", ParametersJson(summary)},
                       {"backgroundFrequencies", BackgroundJson(summary)},
                       {"numSequences", JsonInteger(summary.numSeqs)},
                       {"sequences", SequencesJson(summary)},
                       {"sequencesWithSites", JsonInteger(summary.sequencesHit)},
                       {"numSites", JsonInteger(summary.numSites)},
                       {"motif", MotifJson(summary, RunMotifLabel(summary, runNumber))},
                       {"correlatedPositions", CorrelatedPositionsJson(summary)},
                       {"jointLogLikelihood", JsonNumber(summary.bestLogLik)},
                       {"estimatedPrior", JsonNumber(summary.estimatedPrior)},
                       {"sites", SitesJson(summary)}},
                      "") +
           "\n";
}

std::string ComposeExport(ExportFormat format, const RunSummary& summary, const ExportOptions& options)
{
    switch (format) {
    case ExportFormat::Meme:
        return MemeMotif(summary, options.runNumber);
    case ExportFormat::Jaspar:
        return JasparCounts(summary, options.runNumber);
    case ExportFormat::Transfac:
        return TransfacMatrix(summary, options.runNumber);
    case ExportFormat::Bed:
        return BedSites(summary);
    case ExportFormat::Json:
        return JsonReport(summary, options.programVersion, options.runNumber);
    case ExportFormat::Svg: {
        LogoOptions logo;
        logo.reverseComplement = options.logoReverse;
        return SequenceLogoSvg(summary, logo);
    }
    }
    return {};
}

}  // namespace kalvo
