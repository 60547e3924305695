// discover/known_section.cpp: the enrichment of the known motifs in a discovery's sequences, and its section.
#include "discover/known_section.h"

#include <algorithm>
#include <cstdio>

#include "discover/enrich_files.h"
#include "discover/known/score_distribution.h"
#include "discover/motif_naming.h"
#include "util/json_writer.h"
#include "util/markup_text.h"

namespace kalvo {
namespace {

// Letter codes already encoded, with the block indexes every motif's scan shares.
ScanSequences ScanOf(const std::vector<std::vector<std::uint8_t>>& codes)
{
    ScanSequences scan;
    scan.codes = codes;
    scan.blocks.resize(codes.size());
    for (std::size_t k = 0; k < codes.size(); ++k)
        BlockIndexes(scan.codes[k], scan.blocks[k]);
    return scan;
}

// Why no known motif could be counted, or empty when some could.
std::string NoCountNote(const KnownEnrichment& section, int tooWide)
{
    if (section.motifsTested == 0)
        return "no known motif could be scored: each has correlated column pairs that overlap";
    if (tooWide == section.motifsTested)
        return "every known motif is wider than every sequence: none could be counted";
    if (section.cannotHoldSite == section.motifsTested)
        return "no known motif can have a site at this p-value in these sequences: none could be counted";
    return "";
}

double Share(int part, int whole) { return whole > 0 ? static_cast<double>(part) / whole : 0.0; }

std::string Percent(double share)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f%%", 100.0 * share);
    return buffer;
}

std::string PlainRate(double p)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", p);
    return buffer;
}

// "45 of 2,000 targets vs 4,000 controls", the sets the section counts.
std::string SetsText(const KnownEnrichment& section)
{
    return std::to_string(section.motifsTested) + " known motifs tested on all " + std::to_string(section.targets) +
           " targets against " + std::to_string(section.controls) + " controls";
}

}  // namespace

Outcome EnrichKnownMotifs(const std::vector<KnownMotif>& known, const ScoringSets& sets, int jobs,
                          const std::function<bool()>& stillWanted, KnownEnrichment& section)
{
    section = KnownEnrichment{};
    EnrichSettings settings;
    settings.background = StrandBaseShares(sets.targets.sequences);
    settings.jobs = jobs;
    section.sitePValue = settings.sitePValue;
    section.background = settings.background;
    section.targets = static_cast<int>(sets.targetCodes.size());
    section.controls = static_cast<int>(sets.controlCodes.size());
    // A motif whose pairs cannot be scored exactly is left out rather than failing the discovery.
    std::vector<KnownMotif> scorable;
    scorable.reserve(known.size());
    for (const KnownMotif& motif : known) {
        if (CheckPairs(motif))
            ++section.notScored;
        else
            scorable.push_back(motif);
    }
    section.motifsTested = static_cast<int>(scorable.size());
    if (scorable.empty()) {
        section.note = NoCountNote(section, 0);
        return std::nullopt;
    }
    bool wanted = true;
    const EnrichmentResult result =
        EnrichMotifs(scorable, ScanOf(sets.targetCodes), ScanOf(sets.controlCodes), settings,
                     [&](int, int) { return wanted = wanted && stillWanted(); });
    if (!wanted || !stillWanted())
        return Refusal{"discovery cancelled"};
    section.cannotHoldSite = result.tooWide + result.tooWeak;
    section.note = NoCountNote(section, result.tooWide);
    for (const MotifEnrichment& row : result.rows)
        if (row.CanHaveSite() && row.q <= kKnownEnrichedQValue)
            section.rows.push_back({scorable[static_cast<std::size_t>(row.motif)], row});
    return std::nullopt;
}

void MarkEnrichedMatches(Discovery& discovery)
{
    for (DiscoveredMotif& motif : discovery.motifs) {
        motif.knownMatchEnriched = false;
        if (!discovery.knownEnrichment || motif.knownMatches.empty())
            continue;
        const KnownMotif& best = motif.knownMatches.front().known;
        const std::vector<EnrichedKnownMotif>& rows = discovery.knownEnrichment->rows;
        motif.knownMatchEnriched = std::any_of(rows.begin(), rows.end(), [&best](const EnrichedKnownMotif& row) {
            return row.motif.id == best.id && row.motif.source == best.source;
        });
    }
}

std::string KnownSectionText(const Discovery& discovery)
{
    if (!discovery.knownEnrichment)
        return "";
    const KnownEnrichment& section = *discovery.knownEnrichment;
    std::string out = "\nKnown motifs in these sequences (" + SetsText(section) + ";\n  a site: p <= " +
                      PlainRate(section.sitePValue) + " on either strand):\n";
    if (!section.note.empty())
        return out + "  " + section.note + "\n";
    if (section.rows.empty())
        return out + "  none is enriched at q <= " + PlainRate(kKnownEnrichedQValue) + "\n";
    char line[160];
    std::snprintf(line, sizeof line, "  %-10s %-18s %8s %9s %9s\n", "id", "name", "targets", "controls", "q");
    out += line;
    for (std::size_t r = 0; r < section.rows.size() && r < static_cast<std::size_t>(kKnownTerminalRows); ++r) {
        const EnrichedKnownMotif& row = section.rows[r];
        std::snprintf(line, sizeof line, "  %-10.10s %-18.18s %8s %9s %9s\n", row.motif.id.c_str(),
                      row.motif.name.c_str(), Percent(Share(row.test.targetsWithSite, section.targets)).c_str(),
                      Percent(Share(row.test.controlsWithSite, section.controls)).c_str(),
                      ShortFigure(row.test.q, 2).c_str());
        out += line;
    }
    const auto enriched = static_cast<int>(section.rows.size());
    if (enriched > kKnownTerminalRows)
        out += "  ... " + std::to_string(enriched) + " enriched at q <= " + PlainRate(kKnownEnrichedQValue) + " (" +
               (enriched > kEnrichPageRows ? "the best " + std::to_string(kEnrichPageRows) : std::string("all")) +
               " in summary.json and on the page)\n";
    return out;
}

std::string KnownSectionJson(const Discovery& discovery)
{
    if (!discovery.knownEnrichment)
        return "null";
    const KnownEnrichment& section = *discovery.knownEnrichment;
    std::vector<std::string> rows;
    for (std::size_t r = 0; r < section.rows.size() && r < static_cast<std::size_t>(kEnrichPageRows); ++r)
        rows.push_back(EnrichRowJson(section.rows[r].motif, section.rows[r].test, section.targets, section.controls,
                                     r + 1, "      "));
    const JsonMembers settings = {
        {"site_p_value", JsonNumber(section.sitePValue)},
        {"strands", JsonString("both, each tested at site_p_value")},
        {"background", JsonString("targets")},
        {"background_shares", JsonInlineArray(section.background, [](double x) { return JsonNumber(x); })},
        {"target_set", JsonString("all targets")},
        {"max_q_value", JsonNumber(kKnownEnrichedQValue)},
        {"max_rows", JsonInteger(kEnrichPageRows)}};
    return JsonObject({{"settings", JsonObject(settings, "    ")},
                       {"motifs_tested", JsonInteger(section.motifsTested)},
                       {"motifs_not_scored", JsonInteger(section.notScored)},
                       {"motifs_without_a_possible_site", JsonInteger(section.cannotHoldSite)},
                       {"targets", JsonInteger(section.targets)},
                       {"controls", JsonInteger(section.controls)},
                       {"enriched", JsonInteger(static_cast<long long>(section.rows.size()))},
                       {"note", section.note.empty() ? "null" : JsonString(section.note)},
                       {"rows", JsonArray(rows, "    ")}},
                      "  ");
}

std::string KnownSectionHtml(const Discovery& discovery)
{
    if (!discovery.knownEnrichment)
        return "";
    const KnownEnrichment& section = *discovery.knownEnrichment;
    std::string out = "<section id=\"" + std::string(kKnownSectionAnchor) +
                      "\">\n<h2>Known motifs in these sequences</h2>\n<p class=\"legend\">" +
                      MarkupFromInput(SetsText(section)) + " (the controls the motifs above are tested against). "
                      "A sequence counts when it holds a site: a word whose score has p &le; " +
                      PlainRate(section.sitePValue) +
                      " on either strand. p: one-sided Fisher exact test; E = p &times; motifs tested; q: "
                      "Benjamini-Hochberg. Bars: share of targets (red) and of controls (grey) with a site. Shown: "
                      "the known motifs with q &le; " + PlainRate(kKnownEnrichedQValue) + ", best first.</p>\n";
    if (!section.note.empty() || section.rows.empty())
        return out + "<div class=\"none\"><p>" +
               (section.note.empty() ? "No known motif is enriched in these sequences."
                                     : MarkupFromInput(section.note)) +
               "</p></div>\n</section>\n";
    out += "<div class=\"scroll\"><table class=\"enriched\">\n" + std::string(kEnrichPageHead);
    for (std::size_t r = 0; r < section.rows.size() && r < static_cast<std::size_t>(kEnrichPageRows); ++r)
        out += EnrichPageRow(section.rows[r].motif, section.rows[r].test, section.targets, section.controls, r + 1,
                             "ke");
    out += "</table></div>\n";
    if (section.rows.size() > static_cast<std::size_t>(kEnrichPageRows))
        out += "<p class=\"legend\">" + std::to_string(section.rows.size()) + " known motifs are enriched; the best " +
               std::to_string(kEnrichPageRows) + " are shown.</p>\n";
    return out + "</section>\n";
}

}  // namespace kalvo
