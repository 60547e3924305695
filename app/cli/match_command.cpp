// app/cli/match_command.cpp: `kalvo match`, the known motifs that each motif of a file resembles, as a table and a page.
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "app/cli/commands.h"
#include "app/cli/exit_status.h"
#include "app/cli/options.h"
#include "discover/html_known.h"
#include "discover/known/motif_comparison.h"
#include "discover/known/motif_database.h"
#include "discover/known/motif_file.h"
#include "report/run_summary.h"
#include "util/append_file.h"
#include "util/markup_text.h"
#include "util/table_text.h"

namespace kalvo {
namespace {

constexpr CommandSyntax kMatchSyntax = {"match", "MOTIFS", kMatch};

constexpr std::string_view kMatchHelp =
    "Options of match:\n"
    "  --db FILE          a motif file (MEME, JASPAR, TRANSFAC, HOMER, a Kalvo\n"
    "                     summary.json or discovery folder) to compare against;\n"
    "                     repeat it for several (default: the bundled JASPAR 2024\n"
    "                     CORE collection, 2,345 profiles)\n"
    "  --taxon T          keep the known motifs of taxon T (vertebrates, plants,\n"
    "                     insects, fungi, nematodes, urochordates); repeat it or\n"
    "                     list several with commas (default: all)\n"
    "  --top N            at most N matches per motif, best first (default 5)\n"
    "  --evalue E         only matches with an E-value of at most E (default 10)\n"
    "  --qvalue Q         only matches with a q-value of at most Q, from 0 to 1,\n"
    "                     instead of the E-value threshold\n"
    "  --min-overlap K    columns two motifs must share, at least 1; fewer only\n"
    "                     when one of them is narrower (default 5)\n"
    "  --similarity S     how two columns are scored: pearson-llr, pearson,\n"
    "                     euclidean, sandelin, allr or llr (default pearson-llr)\n"
    "  -o, --output PATH  the table goes to this file, replaced whole (default:\n"
    "                     standard output)\n"
    "  --html FILE        also write one page with each motif's logo above the\n"
    "                     logos of its matches, aligned (replaced whole)\n"
    "  -j, --jobs N       motifs compared at the same time (default: one per core);\n"
    "                     the results are the same whatever N is\n"
    "  -q, --quiet        no note on standard error of what is compared\n"
    "  -h, --help         show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "The table has a header row, then one row per match: query, target_id,\n"
    "target_name, family, class, offset, strand, overlap, p, E, q. Query column i\n"
    "lies over column i + offset of the target on the strand given (- is its\n"
    "reverse complement). p is the chance of so good an alignment with that target\n"
    "by chance, every offset counted; E = p x known motifs compared; q is the\n"
    "Benjamini-Hochberg q-value over them. A motif without a match has no row.\n"
    "How motifs are compared: docs/match.md.\n"
    "Exit status: 0 compared (whether or not a motif matched), 1 refused (a file\n"
    "cannot be read or written), 2 usage error.\n";

void MatchHelp(std::ostream& out)
{
    out << Usage(kMatchSyntax) << "\n"
        << "Names the motifs of MOTIFS (any motif file Kalvo reads, or a discovery\n"
        << "folder): each is compared with every known motif at every offset on both\n"
        << "strands, and the best matches are listed with their p-, E- and q-values.\n\n"
        << kMatchHelp << "\n"
        << "Example:\n"
        << "  kalvo match peaks.kalvo --taxon vertebrates --top 3 --html matches.html\n";
}

// What the options of match say.
struct MatchOptions {
    MotifDatabaseChoice database;
    ComparisonSettings settings;
    MatchFilter filter;
    bool evalueGiven = false;
    std::optional<std::string> output;
    std::optional<std::string> html;
};

// Applies one option of match; says what is wrong with its value when it is not valid.
std::optional<std::string> ApplyMatchOption(Option option, const std::string& name, const std::string& value,
                                            MatchOptions& options)
{
    switch (option) {
    case Option::Database:
        if (value.empty())
            return "--db takes a motif file, not an empty name";
        options.database.files.push_back(value);
        return std::nullopt;
    case Option::Taxon:
        options.database.taxa.push_back(value);
        return std::nullopt;
    case Option::Top:
        return WholeNumberIn(name, value, 1, 100000, options.filter.top);
    case Option::EValue: {
        const auto e = DecimalIn(value, 0.0, false, HUGE_VAL, true);
        if (!e)
            return "--evalue takes a number above 0, not " + Quote(value);
        options.filter.maxEValue = *e;
        options.evalueGiven = true;
        return std::nullopt;
    }
    case Option::QValue: {
        const auto q = DecimalIn(value, 0.0, true, 1.0, true);
        if (!q)
            return "--qvalue takes a number from 0 to 1, not " + Quote(value);
        options.filter.maxQValue = *q;
        return std::nullopt;
    }
    case Option::MinOverlap:
        return WholeNumberIn(name, value, 1, 1000, options.settings.minOverlap);
    case Option::Similarity: {
        const auto similarity = ColumnSimilarityByName(value);
        if (!similarity)
            return "--similarity takes pearson-llr, pearson, euclidean, sandelin, allr or llr, not " + Quote(value);
        options.settings.similarity = *similarity;
        return std::nullopt;
    }
    case Option::Output:
        return PathValue(name, value, options.output);
    case Option::Html:
        return PathValue(name, value, options.html);
    default:
        return std::nullopt;
    }
}

// A p-, E- or q-value in three significant digits, the same in every locale.
std::string Figure(double value) { return SignificantText(value, 3); }

std::string MatchTable(const std::vector<KnownMotif>& queries, const std::vector<KnownMotif>& known,
                       const std::vector<std::vector<MotifMatch>>& matches)
{
    std::string table = "query\ttarget_id\ttarget_name\tfamily\tclass\toffset\tstrand\toverlap\tp\tE\tq\n";
    for (std::size_t k = 0; k < queries.size(); ++k) {
        for (const MotifMatch& match : matches[k]) {
            const KnownMotif& target = known[static_cast<std::size_t>(match.target)];
            table += TsvField(queries[k].id) + '\t' + TsvField(target.id) + '\t' + TsvField(target.name) + '\t' +
                     TsvField(target.family) + '\t' + TsvField(target.tfClass) + '\t' + std::to_string(match.offset) +
                     '\t' + (match.reverse ? "-" : "+") + '\t' + std::to_string(match.overlap) + '\t' +
                     Figure(match.p) + '\t' + Figure(match.e) + '\t' + Figure(match.q) + '\n';
        }
    }
    return table;
}

// One query's section: its logo, then each match's logo, aligned column for column.
std::string QuerySection(const KnownMotif& query, std::size_t index, const std::vector<KnownMotif>& known,
                         const std::vector<MotifMatch>& matches, const std::string& threshold)
{
    std::vector<KnownMatch> named;
    for (const MotifMatch& match : matches)
        named.push_back({known[static_cast<std::size_t>(match.target)], match});
    std::string html = "<section>\n<h2>" + MarkupFromInput(query.id);
    if (query.name != query.id)
        html += " <span class=\"muted\">" + MarkupFromInput(query.name) + "</span>";
    html += "</h2>\n";
    return html + html::AlignedMatchLogos(query, named, "q" + std::to_string(index + 1),
                                          "No known match within " + threshold + ".") +
           "</section>\n";
}

std::string MatchPage(const std::vector<KnownMotif>& queries, const std::vector<KnownMotif>& known,
                      const std::vector<std::vector<MotifMatch>>& matches, const std::string& source,
                      const std::string& threshold)
{
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Known motifs of " +
        MarkupFromInput(source) +
        "</title>\n<style>\n"
        "body{font-family:sans-serif;margin:2em;color:#111}section{border-top:1px solid #ccc;padding:1em 0}\n"
        "h2{font-size:1.2em;margin:0 0 .5em}.muted{color:#666}\n" +
        std::string(html::kAlignedLogoStyle) +
        "</style>\n</head>\n<body>\n<h1>Known motifs of " +
        MarkupFromInput(source) + "</h1>\n<p>" + std::to_string(queries.size()) + " motifs compared with " +
        std::to_string(known.size()) + " known motifs; matches within " + threshold +
        ", best first. Each match's logo is drawn on the strand it matched, under the columns it shares with the "
        "motif above.</p>\n";
    for (std::size_t k = 0; k < queries.size(); ++k)
        page += QuerySection(queries[k], k, known, matches[k], threshold);
    return page + "</body>\n</html>\n";
}

// Writes one output whole; false after saying why on stderr.
bool WriteOutput(const std::string& path, const std::string& bytes, std::ostream& err)
{
    if (auto problem = ReplaceWhole(path, bytes)) {
        err << "kalvo: cannot write " << Quote(path) << ": " << *problem << "\n";
        return false;
    }
    return true;
}

// Whether the outputs can be written, checked before the work, so that a refusal writes nothing.
bool OutputsWritable(const MatchOptions& options, std::ostream& err)
{
    for (const std::optional<std::string>& path : {options.output, options.html}) {
        if (!path)
            continue;
        if (auto problem = CheckAppendable(*path)) {
            err << "kalvo: cannot write " << Quote(*path) << ": " << *problem << "\n";
            return false;
        }
    }
    return true;
}

}  // namespace

int KalvoMatch(const std::vector<std::string>& words, const CommandStreams& io)
{
    MatchOptions options;
    const OptionApplier apply = [&options](Option option, const std::string& name, const std::string& value) {
        return ApplyMatchOption(option, name, value, options);
    };
    ParsedArguments parsed;
    if (auto status = ParseCommand(words, kMatchSyntax, apply, parsed, io.out, io.err, MatchHelp))
        return *status;
    if (parsed.operands.size() != 1)
        return UsageError(io.err, kMatchSyntax,
                          parsed.operands.empty() ? "match needs a motif file"
                                                  : "match takes one motif file, not " +
                                                        std::to_string(parsed.operands.size()));
    if (options.evalueGiven && options.filter.maxQValue)
        return UsageError(io.err, kMatchSyntax, "--evalue and --qvalue cannot be given together");
    if (!OutputsWritable(options, io.err))
        return kExitRefused;
    const std::string& source = parsed.operands.front();
    const MotifRead queries = ReadMotifFile(source);
    if (queries.refusal) {
        io.err << "kalvo: " << queries.refusal->message << "\n";
        return kExitRefused;
    }
    options.database.programPath = OwnProgramPath(nullptr);
    const MotifDatabase known = LoadMotifDatabase(options.database);
    if (known.refusal) {
        io.err << "kalvo: " << known.refusal->message << "\n";
        return kExitRefused;
    }
    if (!parsed.quiet)
        io.err << "kalvo: match " << queries.motifs.size() << (queries.motifs.size() == 1 ? " motif" : " motifs")
               << " of '" << source << "' against " << known.motifs.size() << " known motifs\n" << std::flush;
    const ComparisonTargets targets = PrepareTargets(known.motifs);
    const auto matches = MatchMotifs(queries.motifs, targets, options.settings, options.filter, parsed.jobs);
    const std::string threshold =
        options.filter.maxQValue ? "q &le; " + Figure(*options.filter.maxQValue) : "E &le; " + Figure(options.filter.maxEValue);
    if (options.html && !WriteOutput(*options.html, MatchPage(queries.motifs, known.motifs, matches, source, threshold), io.err))
        return kExitRefused;
    const std::string table = MatchTable(queries.motifs, known.motifs, matches);
    if (!options.output) {
        io.out << table << std::flush;
        return kExitSuccess;
    }
    return WriteOutput(*options.output, table, io.err) ? kExitSuccess : kExitRefused;
}

}  // namespace kalvo
