// discover/enrich_files.cpp: the table, summary.json, the page and the text summary of an enrichment.
#include "discover/enrich_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "discover/discovery_names.h"
#include "discover/fisher.h"
#include "discover/html_figures.h"
#include "discover/html_known.h"
#include "discover/motif_naming.h"
#include "util/json_writer.h"
#include "util/markup_text.h"

namespace kalvo {
namespace {

constexpr int kTextRows = 10;
constexpr double kPageLogoScale = 0.5;

// A value in three significant digits, the same in every locale.
std::string Figure(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 3);
    return std::string(buffer, result.ptr);
}

std::string Fixed(double value, int digits)
{
    char buffer[48];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    return std::string(buffer, result.ptr);
}

// A field of the table: tabs and line ends would break its rows.
std::string Field(std::string_view text)
{
    std::string field(text);
    for (char& c : field)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return field;
}

double Share(int part, int whole) { return whole > 0 ? static_cast<double>(part) / whole : 0.0; }

// The threshold in nats, or NA for a motif no sequence can hold a site of.
std::string ThresholdText(const MotifEnrichment& row)
{
    return row.CanHaveSite() ? Fixed(row.ThresholdNats(), 2) : "NA";
}

std::string ControlText(const EnrichRecord& record)
{
    if (record.controlPath)
        return *record.controlPath;
    return std::to_string(record.controlCopies) + " shuffled " + (record.controlCopies == 1 ? "copy" : "copies") +
           " of each target, dinucleotides kept (seed " + std::to_string(record.seed) + ")";
}

}  // namespace

std::string EnrichRowJson(const KnownMotif& motif, const MotifEnrichment& row, int targets, int controls,
                          std::size_t rank, const std::string& indent)
{
    return JsonObject({{"rank", JsonInteger(static_cast<long long>(rank))},
                       {"id", JsonString(motif.id)},
                       {"name", JsonString(motif.name)},
                       {"family", JsonStringOrNull(motif.family)},
                       {"class", JsonStringOrNull(motif.tfClass)},
                       {"width", JsonInteger(motif.Width())},
                       {"targets_with_site", JsonInteger(row.targetsWithSite)},
                       {"target_share", JsonNumber(Share(row.targetsWithSite, targets))},
                       {"controls_with_site", JsonInteger(row.controlsWithSite)},
                       {"control_share", JsonNumber(Share(row.controlsWithSite, controls))},
                       {"log_odds_threshold", row.CanHaveSite() ? JsonNumber(row.ThresholdNats()) : "null"},
                       {"log10_p", JsonNumber(row.log10P)},
                       {"log10_E", JsonNumber(row.log10E)},
                       {"q", JsonNumber(row.q)}},
                      indent);
}

namespace {

// The bar of the two shares: targets above, controls below, on a scale of 0 to 100%.
std::string ShareBars(double target, double control)
{
    auto bar = [](double share, const char* colour) {
        return "<div class=\"bar\"><span style=\"width:" + Fixed(100.0 * share, 1) + "%;background:" + colour +
               "\"></span></div>";
    };
    return bar(target, "#c0392b") + bar(control, "#7f8c8d");
}

}  // namespace

std::string EnrichPageRow(const KnownMotif& motif, const MotifEnrichment& row, int targets, int controls,
                          std::size_t rank, const std::string& logoPrefix)
{
    const double target = Share(row.targetsWithSite, targets);
    const double control = Share(row.controlsWithSite, controls);
    std::string id = MarkupFromInput(motif.id);
    if (const std::string address = JasparPageAddress(motif.id); !address.empty())
        id = "<a href=\"" + address + "\">" + id + "</a>";
    std::string about = "<b>" + MarkupFromInput(motif.name) + "</b>";
    for (const std::string* detail : {&motif.family, &motif.tfClass})
        if (!detail->empty())
            about += "<br><span class=\"muted\">" + MarkupFromInput(*detail) + "</span>";
    const std::string logo = motif.Width() > 0 ? html::InlineLogo(html::LogoModel(motif), false, kPageLogoScale,
                                                                  logoPrefix + std::to_string(rank), "Logo of " + motif.id)
                                               : std::string();
    return "<tr><td>" + std::to_string(rank) + "</td><td>" + id + "</td><td>" + about + "</td><td class=\"logo\">" +
           logo + "</td><td>" + ShareBars(target, control) + "<span class=\"muted\">" + Fixed(100.0 * target, 1) +
           "% of targets, " + Fixed(100.0 * control, 1) + "% of controls</span></td><td>" +
           FormatEValue(row.log10P) + "</td><td>" + FormatEValue(row.log10E) + "</td><td>" + Figure(row.q) +
           "</td></tr>\n";
}

namespace {

std::string PlainRate(double p)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", p);
    return buffer;
}

}  // namespace

std::vector<std::size_t> KeptRows(const EnrichmentResult& result, const EnrichCut& cut)
{
    std::vector<std::size_t> kept;
    for (std::size_t k = 0; k < result.rows.size(); ++k) {
        if (cut.top > 0 && static_cast<int>(kept.size()) >= cut.top)
            break;
        if (!cut.maxQValue || result.rows[k].q <= *cut.maxQValue)
            kept.push_back(k);
    }
    return kept;
}

std::string EnrichCommand(const EnrichRecord& record)
{
    std::string out = "kalvo enrich " + ShellPath(record.inputPath);
    if (record.controlPath)
        out += " --control " + ShellPath(*record.controlPath);
    for (const std::string& file : record.databaseChoice)
        out += " --db " + ShellPath(file);
    for (const std::string& taxon : record.taxa)
        out += " --taxon " + ShellQuoted(taxon);
    if (record.backgroundPath)
        out += " --background " + ShellPath(*record.backgroundPath);
    out += " --pvalue " + PlainRate(record.settings.sitePValue);
    if (record.cut.top > 0)
        out += " --top " + std::to_string(record.cut.top);
    if (record.cut.maxQValue)
        out += " --qvalue " + PlainRate(*record.cut.maxQValue);
    return out + " --seed " + std::to_string(record.seed);
}

std::string EnrichTable(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                        const EnrichmentResult& result)
{
    std::string table = "rank\tid\tname\tfamily\tclass\ttargets_with_site\ttarget_share\tcontrols_with_site\t"
                        "control_share\tlog_odds_threshold\tp\tE\tq\n";
    std::size_t rank = 0;
    for (std::size_t k : KeptRows(result, record.cut)) {
        const MotifEnrichment& row = result.rows[k];
        const KnownMotif& motif = motifs[static_cast<std::size_t>(row.motif)];
        table += std::to_string(++rank) + '\t' + Field(motif.id) + '\t' + Field(motif.name) + '\t' +
                 Field(motif.family) + '\t' + Field(motif.tfClass) + '\t' + std::to_string(row.targetsWithSite) +
                 '\t' + Fixed(Share(row.targetsWithSite, result.targets), 4) + '\t' +
                 std::to_string(row.controlsWithSite) + '\t' + Fixed(Share(row.controlsWithSite, result.controls), 4) +
                 '\t' + ThresholdText(row) + '\t' + FormatEValue(row.log10P) + '\t' + FormatEValue(row.log10E) +
                 '\t' + Figure(row.q) + '\n';
    }
    return table;
}

std::string EnrichSummaryJson(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                              const EnrichmentResult& result)
{
    const EnrichSettings& settings = record.settings;
    std::vector<std::string> rows;
    std::size_t rank = 0;
    for (std::size_t k : KeptRows(result, record.cut)) {
        const MotifEnrichment& row = result.rows[k];
        rows.push_back(EnrichRowJson(motifs[static_cast<std::size_t>(row.motif)], row, result.targets,
                                     result.controls, ++rank, "    "));
    }
    const JsonMembers settingMembers = {
        {"input", JsonString(record.inputPath)},
        {"control", record.controlPath ? JsonString(*record.controlPath) : "null"},
        {"control_source", JsonString(ControlText(record))},
        {"control_copies", record.controlPath ? "null" : JsonInteger(record.controlCopies)},
        {"seed", JsonInteger(record.seed)},
        {"databases", JsonInlineArray(record.databaseFiles, [](const std::string& f) { return JsonString(f); })},
        {"taxa", JsonInlineArray(record.taxa, [](const std::string& t) { return JsonString(t); })},
        {"site_p_value", JsonNumber(settings.sitePValue)},
        {"strands", JsonString("both, each tested at site_p_value")},
        {"background", record.backgroundPath ? JsonString(*record.backgroundPath) : JsonString("targets")},
        {"background_shares", JsonInlineArray(settings.background, [](double x) { return JsonNumber(x); })},
        {"score_grid_step", JsonNumber(kScoreGridStep)},
        {"motif_share_floor", JsonNumber(kMotifShareFloor)},
        {"top", record.cut.top > 0 ? JsonInteger(record.cut.top) : "null"},
        {"max_q_value", record.cut.maxQValue ? JsonNumber(*record.cut.maxQValue) : "null"},
    };
    const JsonMembers counts = {
        {"targets", JsonInteger(result.targets)},
        {"controls", JsonInteger(result.controls)},
        {"motifs_tested", JsonInteger(static_cast<long long>(result.rows.size()))},
        {"motifs_wider_than_every_sequence", JsonInteger(result.tooWide)},
        {"motifs_without_a_word_at_p", JsonInteger(result.tooWeak)},
        {"rows", JsonInteger(static_cast<long long>(rows.size()))},
    };
    return JsonObject({{"program", JsonString("kalvo enrich")},
                       {"version", JsonString(record.programVersion)},
                       {"command", JsonString(EnrichCommand(record))},
                       {"settings", JsonObject(settingMembers, "  ")},
                       {"counts", JsonObject(counts, "  ")},
                       {"warnings", JsonInlineArray(record.warnings, [](const std::string& w) { return JsonString(w); })},
                       {"rows", JsonArray(rows, "  ")}},
                      "") +
           "\n";
}

std::string EnrichPage(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                       const EnrichmentResult& result)
{
    std::vector<std::size_t> kept = KeptRows(result, record.cut);
    const bool cut = record.cut.top > 0 || record.cut.maxQValue;
    if (!cut && kept.size() > static_cast<std::size_t>(kEnrichPageRows))
        kept.resize(static_cast<std::size_t>(kEnrichPageRows));
    const std::string title = "Known motifs enriched in " + MarkupFromInput(record.inputPath);
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
        "</title>\n<style>\n"
        "body{font-family:sans-serif;margin:2em;color:#111}table{border-collapse:collapse}\n"
        "td,th{padding:.3em .6em;border-bottom:1px solid #ddd;text-align:left;vertical-align:middle}\n"
        ".muted{color:#666;font-size:.9em}.logo{line-height:0}\n" + std::string(kShareBarStyle) +
        "</style>\n</head>\n<body>\n<h1>" + title + "</h1>\n<p>" +
        std::to_string(result.targets) + " target sequences against " + std::to_string(result.controls) +
        " control sequences (" + MarkupFromInput(ControlText(record)) + "); " + std::to_string(result.rows.size()) +
        " known motifs tested. A sequence counts when it holds a site: a word whose score has p &le; " +
        PlainRate(record.settings.sitePValue) +
        " on either strand. p: one-sided Fisher exact test; E = p &times; motifs tested; q: Benjamini-Hochberg. "
        "Bars: share of targets (red) and of controls (grey) with a site.</p>\n"
        "<p>" + std::to_string(kept.size()) + " of " + std::to_string(result.rows.size()) +
        " motifs shown, best first; enrich.tsv and summary.json hold the rest.</p>\n"
        "<table>\n" + kEnrichPageHead;
    std::size_t rank = 0;
    for (std::size_t k : kept) {
        const MotifEnrichment& row = result.rows[k];
        page += EnrichPageRow(motifs[static_cast<std::size_t>(row.motif)], row, result.targets, result.controls,
                              ++rank, "m");
    }
    return page + "</table>\n<p class=\"muted\">" + MarkupFromInput(EnrichCommand(record)) + "</p>\n</body>\n</html>\n";
}

std::string EnrichTextSummary(const EnrichRecord& record, const std::vector<KnownMotif>& motifs,
                              const EnrichmentResult& result, const std::string& folder)
{
    std::string out = "kalvo enrich: " + std::to_string(result.rows.size()) + " known motifs in " + record.inputPath +
                      "\n";
    out += "Targets:  " + std::to_string(result.targets) + " sequences\n";
    out += "Controls: " + std::to_string(result.controls) + " sequences: " + ControlText(record) + "\n";
    out += "Sites:    p <= " + PlainRate(record.settings.sitePValue) + " on either strand";
    if (result.tooWide + result.tooWeak > 0)
        out += "; " + std::to_string(result.tooWide + result.tooWeak) +
               " motifs could hold none (wider than every sequence, or no word that rare)";
    out += "\n\n";
    char line[256];
    std::snprintf(line, sizeof line, "%4s  %-10s %-16s %8s %9s %9s %9s %8s\n", "rank", "id", "name", "targets",
                  "controls", "p", "E", "q");
    out += line;
    const std::vector<std::size_t> kept = KeptRows(result, record.cut);
    for (std::size_t r = 0; r < kept.size() && r < static_cast<std::size_t>(kTextRows); ++r) {
        const MotifEnrichment& row = result.rows[kept[r]];
        const KnownMotif& motif = motifs[static_cast<std::size_t>(row.motif)];
        std::snprintf(line, sizeof line, "%4zu  %-10.10s %-16.16s %7.1f%% %8.1f%% %9s %9s %8s\n", r + 1,
                      motif.id.c_str(), motif.name.c_str(), 100.0 * Share(row.targetsWithSite, result.targets),
                      100.0 * Share(row.controlsWithSite, result.controls), FormatEValue(row.log10P).c_str(),
                      FormatEValue(row.log10E).c_str(), Figure(row.q).c_str());
        out += line;
    }
    if (kept.empty())
        out += "(no motif within the cut)\n";
    out += "\nFiles in " + folder + ": index.html (the page), enrich.tsv (" + std::to_string(kept.size()) +
           " rows), summary.json\n";
    return out;
}

std::string DefaultEnrichOutputDir(const std::string& inputPath) { return SequenceFileStem(inputPath) + ".enrich"; }

}  // namespace kalvo
