// discover/html_report.cpp: the page of a discovery: facts, ranked motifs, logos, pairs, sites, positions, restarts.
#include "discover/html_report.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "discover/discovery_names.h"
#include "discover/fisher.h"
#include "discover/html_figures.h"
#include "discover/enrich_files.h"
#include "discover/html_known.h"
#include "discover/known_section.h"
#include "discover/html_style.h"
#include "discover/motif_naming.h"
#include "discover/html_text.h"
#include "report/formats.h"
#include "util/json_writer.h"
#include "util/markup_text.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

using namespace html;

std::string SearchText(const DiscoverSettings& settings)
{
    return std::string(settings.widths.size() == 1 ? "width " : "widths ") + JoinedWidths(settings.widths, ", ") +
           "; " + Counted(settings.restarts, "restart") + " per width and round, " + Count(settings.iterations) +
           " iterations each; " + (settings.bothStrands ? "both strands" : "the given strand only") + "; " +
           (settings.oneSite ? "exactly one site" : "any number of sites") + " per sequence; " +
           (settings.mask ? "low-complexity windows masked" : "no masking") + "; up to " +
           Counted(settings.motifs, "motif") + " with E-value &le; " +
           MarkupFromInput(JsonNumber(settings.evalueThreshold));
}

std::string Facts(const Discovery& discovery)
{
    const DiscoverSettings& settings = discovery.settings;
    long long residues = 0;
    for (const long long length : discovery.targetLengths)
        residues += length;
    const auto targets = static_cast<long long>(discovery.targetNames.size());
    std::string out = "<dl class=\"facts\">\n";
    out += "<dt>Input</dt><dd><code>" + MarkupFromInput(settings.inputPath) + "</code>: " +
           Counted(targets, "sequence") + ", " + Counted(residues, "residue") + "</dd>\n";
    out += "<dt>Controls</dt><dd>" + Counted(discovery.controls, "sequence") + ", " +
           Counted(discovery.controlResidues, "residue") + ": " + MarkupFromInput(discovery.controlSource) + "</dd>\n";
    if (discovery.testTargets == targets)
        out += "<dt>Test</dt><dd>all sequences were used both to find and to test the motifs (too few to hold some "
               "out), so the E-values are calibrated by " +
               Counted(static_cast<long long>(discovery.nullRestarts.size()), "restart") +
               " on shuffled copies of them (<code>runs/n*</code>, listed in " + Link("summary.json", "summary.json") +
               ")</dd>\n";
    else
        out += "<dt>Test</dt><dd>the restarts sampled " + Counted(discovery.sampledTargets, "sequence") + "; " +
               Count(discovery.testTargets) + " others were held out to test the motifs</dd>\n";
    out += "<dt>Search</dt><dd>" + SearchText(settings) + "; " + Counted(discovery.motifsTested, "motif") +
           " tested (every form of every restart&rsquo;s motif counts in the E-values)</dd>\n";
    out += "<dt>Repeat</dt><dd><code>" + MarkupFromInput(DiscoverCommand(settings)) +
           "</code> gives these files again, byte for byte (<code class=\"nowrap\">--output-dir DIR</code> picks the "
           "folder)</dd>\n";
    out += "<dt>Seed</dt><dd>" + std::to_string(settings.seed) + "</dd>\n";
    out += "<dt>Program</dt><dd>Kalvo " + MarkupFromInput(settings.programVersion) + "</dd>\n";
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
    const std::string threshold = MarkupFromInput(JsonNumber(discovery.settings.evalueThreshold));
    std::string out = "<section class=\"none\" id=\"no-motif\">\n<p><b>No significant motif.</b> No motif reached an "
                      "E-value of " + threshold + " or less";
    const auto& restarts = discovery.restarts;
    const auto best = std::min_element(restarts.begin(), restarts.end(), [](const RestartRecord& a, const RestartRecord& b) {
        return a.log10EValue < b.log10EValue;
    });
    const bool anySite =
        std::any_of(restarts.begin(), restarts.end(), [](const RestartRecord& restart) { return restart.sites > 0; });
    if (discovery.nextBestLog10EValue)
        out += "; the best candidate had E = " + MarkupFromInput(FormatEValue(*discovery.nextBestLog10EValue));
    else if (discovery.motifsTested == 0)
        out += "; no candidate motif could be tested";
    else if (!restarts.empty() && !anySite)
        out += "; none of the " + Counted(static_cast<long long>(restarts.size()), "restart") + " ended with a site";
    else if (best != restarts.end())
        out += "; the best restart&rsquo;s motif had E = " + MarkupFromInput(FormatEValue(best->log10EValue));
    out += ".</p>\n<p>The restarts&rsquo; motifs and seeds are listed below and in " + Link("summary.json", "summary.json") +
           ". More sequences, other widths (<code>--widths</code>) or a control set that matches the sequences "
           "(<code>--control</code>) may reveal a motif.</p>\n</section>\n";
    return out;
}

// The best known match of a motif, linked to the motif's known-motif block, or that there is none.
std::string KnownMotifCell(const DiscoveredMotif& motif, const std::string& number)
{
    if (motif.knownMatches.empty())
        return "<span class=\"muted\">" + std::string(kNoKnownMatch) + "</span>";
    const KnownMatch& best = motif.knownMatches.front();
    return "<a href=\"#known-" + number + "\">" + MarkupFromInput(best.known.name) + "</a> <span class=\"muted\">" +
           MarkupFromInput(best.known.id) + ", q " + ShortFigure(best.match.q, 2) + "</span>" +
           (motif.knownMatchEnriched ? " <a class=\"enriched\" href=\"#" + std::string(kKnownSectionAnchor) +
                                           "\" title=\"this known motif is itself enriched in these sequences\">"
                                           "enriched</a>"
                                     : std::string());
}

std::string MotifTable(const Discovery& discovery)
{
    // One scale for every motif, so that stack heights compare across rows; small
    // enough that both logos of the widest motif leave room for the other columns.
    double widest = 0.0;
    for (const DiscoveredMotif& motif : discovery.motifs)
        widest = std::max(widest, LogoWidth(motif.model));
    const double scale = widest > 0.0 ? std::min(0.5, 300.0 / widest) : 0.5;
    const bool named = !discovery.knownSource.empty();
    std::string out = "<div class=\"scroll\"><table class=\"motifs\">\n<thead><tr><th class=\"num\">Rank</th>"
                      "<th>Motif</th><th>Logo</th><th>Reverse complement</th><th class=\"num\">Width</th>"
                      "<th class=\"num\">Sites</th><th class=\"num\">E-value</th><th class=\"num\">Found by</th>" +
                      std::string(named ? "<th>Known motif</th>" : "") + "</tr></thead>\n<tbody>\n";
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m) {
        const DiscoveredMotif& motif = discovery.motifs[m];
        const std::string number = std::to_string(m + 1);
        out += "<tr><td class=\"num\">" + std::to_string(motif.rank) + "</td><td class=\"consensus\"><a href=\"#motif-" +
               number + "\">" + MarkupFromInput(motif.consensus.empty() ? "motif " + number : motif.consensus) +
               "</a></td>";
        for (const bool reverse : {false, true})
            out += "<td>" + InlineLogo(motif.model, reverse, scale, "t" + number + (reverse ? "r" : "f"),
                                       "Logo of motif " + number + (reverse ? ", reverse complement" : "")) +
                   "</td>";
        out += "<td class=\"num\">" + std::to_string(motif.width) + "</td><td class=\"num\">" +
               Count(static_cast<long long>(motif.sites.size())) + "</td><td class=\"num\">" +
               ScientificHtml(motif.log10EValue) + "</td><td class=\"num\" title=\"restarts merged into this motif\">" +
               std::to_string(motif.foundBy) + " of " + std::to_string(motif.restartsTried) + "</td>";
        if (named)
            out += "<td>" + KnownMotifCell(motif, number) + "</td>";
        out += "</tr>\n";
    }
    return out + "</tbody>\n</table></div>\n";
}

// The significant tandem repeats kept out of the ranked list, with why; empty when there are none.
std::string LowComplexitySection(const Discovery& discovery)
{
    if (discovery.lowComplexity.empty())
        return "";
    std::string out = "<section id=\"low-complexity\">\n<h2>Low complexity</h2>\n<p class=\"legend\">Short tandem "
                      "repeats and weak AT- or GC-rich motifs: genomes are full of them and shuffled controls are not, "
                      "so they look significant without being sites. They are not ranked and not counted as motifs; "
                      "their sites were masked before the next round. <code>--keep-low-complexity</code> ranks them."
                      "</p>\n<ul>\n";
    for (const LowComplexityMotif& repeat : discovery.lowComplexity)
        out += "<li><span class=\"consensus\">" + MarkupFromInput(repeat.consensus) + "</span>, E = " +
               ScientificHtml(repeat.log10EValue) + ", " + Counted(repeat.sites, "site") + ": " +
               MarkupFromInput(repeat.reason) + "</li>\n";
    return out + "</ul>\n</section>\n";
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
    std::string out =
        std::string(pad, ' ') + "<span class=\"flank\">" + MarkupFromInput(left) + "</span><span class=\"word\">";
    for (std::size_t i = 0; i < site.word.size();) {
        std::size_t j = i;
        while (j < site.word.size() && site.word[j] == site.word[i])
            ++j;
        const std::string run = site.word.substr(i, j - i);
        out += IsBase(site.word[i]) ? "<span class=\"" + run.substr(0, 1) + "\">" + run + "</span>"
                                    : MarkupFromInput(run);
        i = j;
    }
    return out + "</span><span class=\"flank\">" + MarkupFromInput(right) + "</span>";
}

// The name the tables give target seqIndex, as SeqName says it for an index the discovery does not know.
std::string TableName(const Discovery& discovery, const std::vector<std::string>& names, int seqIndex)
{
    const auto index = static_cast<std::size_t>(seqIndex);
    return seqIndex >= 0 && index < names.size() ? names[index] : SeqName(discovery, seqIndex);
}

// A site's row: its sequence (by the name the tables give it, the header as the cell's
// title), strand, start, offset from the sequence's centre, place on the genome (when the
// table has that column), score and context.
std::string SiteRow(const Discovery& discovery, const std::vector<std::string>& names, const CalledSite& site,
                    bool withGenome)
{
    const std::string name = TableName(discovery, names, site.seqIndex);
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
            genome = "<td class=\"genome\">" + MarkupFromInput(interval->chrom, 80) + ":" + std::to_string(start + 1) +
                     "-" + std::to_string(start + site.end - site.start) + "</td>";
        }
    }
    return "<tr><td class=\"name\" data-sort=\"" + std::to_string(site.seqIndex) + "\" title=\"" +
           MarkupFromInput(SeqName(discovery, site.seqIndex), 500) + "\">" + MarkupFromInput(name, 80) + "</td><td>" +
           (site.forward ? "+" : "&minus;") + "</td><td class=\"num\">" + Count(site.start + 1) + "</td>" + offset +
           genome + "<td class=\"num\">" + FixedText(site.score, 2) + "</td><td class=\"site\">" +
           SiteInContext(site) + "</td></tr>\n";
}

std::string SitesLegend(bool withGenome)
{
    return "<p class=\"legend\">Start counts from 1 on the sequence as given (sites.tsv and sites.bed count from 0). "
           "Offset: the site&rsquo;s centre minus the sequence&rsquo;s centre, in bp. " +
           std::string(withGenome ? "Genome: the site&rsquo;s place on the genome (from 1, both ends included), where "
                                    "the sequence&rsquo;s name gives its interval. "
                                  : "") +
           "Score: log-likelihood ratio "
           "(natural log) of the motif, its correlated pairs included, over the background. The site is shown in "
           "the motif&rsquo;s orientation (on the &minus; strand: reverse complemented) with up to " +
           std::to_string(kSiteFlank) + " bases of context on each side in lower case.</p>\n";
}

std::string SitesTable(const Discovery& discovery, const std::vector<std::string>& names, const DiscoveredMotif& motif)
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
        withGenome = HeaderInterval(TableName(discovery, names, motif.sites[i].seqIndex),
                                    TargetLength(discovery, motif.sites[i].seqIndex))
                         .has_value();
    // A long table scrolls in a box of its own, its header kept in view, so that the next motif is near.
    constexpr std::size_t kRowsWithoutBox = 30;
    out += std::string(shown > kRowsWithoutBox ? "<div class=\"table-box\">" : "<div class=\"scroll\">") +
           "<table class=\"sites sort\">\n<thead><tr><th>Sequence</th><th>Strand</th>"
           "<th class=\"num\">Start</th><th class=\"num\">Offset</th>" +
           std::string(withGenome ? "<th>Genome</th>" : "") +
           "<th class=\"num\">Score</th><th>Site in its context</th></tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < shown; ++i)
        out += SiteRow(discovery, names, motif.sites[i], withGenome);
    return out + "</tbody>\n</table></div>\n" + SitesLegend(withGenome);
}

// The facts of a motif: id, E-value, test sequences with a site, sites, restarts that found it, the best restart.
std::string MotifFacts(const DiscoveredMotif& motif, const std::string& id)
{
    std::string out = "<dl class=\"facts\">\n<dt>Id</dt><dd>" + MarkupFromInput(id) +
                      " (in motifs.meme and motifs.jaspar)</dd>\n";
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
        out += "<dt>Best restart</dt><dd><code>" + MarkupFromInput(RepeatCommand(source)) +
               "</code> in this folder repeats it (" + Link(source.parameterFile, "parameters") + ", " +
               Link(source.reportFile, "report") + ")</dd>\n";
    return out + "</dl>\n";
}

// Both logos of the motif at `position` in rank order, with links to their files and what they show.
std::string MotifLogos(const Discovery& discovery, const DiscoveredMotif& motif, std::size_t position)
{
    const std::string number = std::to_string(position + 1);
    std::string out = "<div class=\"logos\">\n";
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
    return out;
}

// Where the sites lie in their sequences: the histogram and what it says.
std::string MotifPositions(const Discovery& discovery, const DiscoveredMotif& motif)
{
    std::string out = "<h3>Where the sites lie</h3>\n";
    PositionStats stats;
    const std::string histogram = PositionHistogram(discovery, motif, stats);
    if (histogram.empty())
        return out + "<p class=\"muted\">No site to place.</p>\n";
    return out + "<figure>" + histogram +
           "<figcaption>Bars: sites by the distance of their centre from the centre of "
           "their sequence; dashed line: the counts expected if each site could lie anywhere in its sequence. "
           "Half of the " + Counted(stats.sites, "site") + " lie within " + FixedText(stats.medianOffset, 0) +
           " bp of the centre (" + FixedText(stats.expectedMedian, 0) +
           " bp expected); a peak at 0 is what a factor&rsquo;s own sites give in peaks centred on its "
           "binding.</figcaption></figure>\n";
}

// The known motifs the motif resembles, their logos aligned under its own.
std::string KnownMotifs(const Discovery& discovery, const DiscoveredMotif& motif, const std::string& id,
                        std::size_t position)
{
    const std::string number = std::to_string(position + 1);
    const std::string strictness = "at q &le; " + ShortFigure(kNamingQValue, 2) + " among the " +
                                   Counted(discovery.knownMotifs, "profile") + " of " +
                                   MarkupFromInput(discovery.knownSource);
    return "<h3 id=\"known-" + number + "\">Known motifs</h3>\n<p class=\"legend\">The known motifs that resemble this one " +
           strictness + ", best first, each drawn on the strand it matched under the columns it shares " +
           "(<code>kalvo match</code> on this folder lists more).</p>\n" +
           AlignedMatchLogos(AsKnownMotif(motif, id), motif.knownMatches, "k" + number,
                             "No known motif resembles this one " + strictness + ".");
}

std::string MotifSection(const Discovery& discovery, const std::vector<std::string>& names,
                         const DiscoveredMotif& motif, const std::string& id, std::size_t position)
{
    std::string out = "<section class=\"motif\" id=\"motif-" + std::to_string(position + 1) + "\">\n";
    out += "<h2>Motif " + std::to_string(motif.rank) + " &middot; <span class=\"consensus\">" +
           MarkupFromInput(motif.consensus) + "</span></h2>\n";
    out += MotifFacts(motif, id) + MotifLogos(discovery, motif, position);
    if (!discovery.knownSource.empty())
        out += KnownMotifs(discovery, motif, id, position);
    if (!motif.model.groups.empty())
        out += "<h3>Correlated column pairs</h3>\n" + ArcLegend() + PairTable(motif);
    out += MotifPositions(discovery, motif);
    out += "<h3>Sites</h3>\n";
    out += motif.sites.empty() ? std::string("<p class=\"muted\">No site was called.</p>\n")
                               : SitesTable(discovery, names, motif);
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
               "</td><td class=\"consensus\">" + MarkupFromInput(restart.consensus) +
               "</td><td class=\"num\" data-sort=\"" + FixedText(restart.log10EValue, 3) + "\">" +
               MarkupFromInput(FormatEValue(restart.log10EValue)) +
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
    const std::vector<std::string> names = SequenceNames(discovery.targetNames);
    const std::string input = MarkupFromInput(InputName(settings.inputPath));
    const auto found = static_cast<long long>(discovery.motifs.size());

    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<meta name=\"generator\" content=\"Kalvo " + MarkupFromInput(settings.programVersion) + "\">\n"
                       "<title>Kalvo motifs in " + input + "</title>\n<style>" + std::string(kPageStyle) + kShareBarStyle +
                       "</style>\n</head>\n<body>\n<main>\n";
    page += "<header>\n<h1>Motifs in " + input + "</h1>\n<p class=\"lead\">";
    page += (found == 0 ? std::string("No significant motif") : Counted(found, "significant motif")) + " in " +
            Counted(static_cast<long long>(discovery.targetNames.size()), "sequence") + "</p>\n";
    page += Facts(discovery);
    for (const std::string& warning : discovery.warnings)
        page += "<p class=\"note\">" + MarkupFromInput(warning, 1000) + "</p>\n";
    page += "<h3>Files in this folder</h3>\n" + FileList(discovery) + "</header>\n";

    page += "<section id=\"motifs\">\n<h2>Motifs</h2>\n";
    if (discovery.motifs.empty()) {
        page += NoMotif(discovery);
    } else {
        page += MotifTable(discovery);
        page += "<p class=\"legend\">E-value: the chance of a motif separating the sequences from the controls this "
                "well, times the number of motifs tested; the motif is reported at " +
                MarkupFromInput(JsonNumber(settings.evalueThreshold)) +
                " or less. Found by: restarts (of the motif&rsquo;s round) whose motifs were merged into this one. The "
                "Motif column links to the motif&rsquo;s logos, correlated pairs and sites below.";
        if (discovery.nextBestLog10EValue)
            page += " The next candidate (E = " + MarkupFromInput(FormatEValue(*discovery.nextBestLog10EValue)) +
                    ") was above the threshold: the search stopped there.";
        page += "</p>\n";
        const bool anyPair = std::any_of(discovery.motifs.begin(), discovery.motifs.end(),
                                         [](const DiscoveredMotif& motif) { return !motif.model.groups.empty(); });
        if (anyPair)
            page += ArcLegend();
    }
    page += "</section>\n";
    page += KnownSectionHtml(discovery);
    page += LowComplexitySection(discovery);
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m)
        page += MotifSection(discovery, names, discovery.motifs[m], ids[m], m);
    page += RestartSection(discovery);
    page += "<footer>Made by Kalvo " + MarkupFromInput(settings.programVersion) +
            " from the discovery in this folder. The page needs no network; with scripts off, the tables are in "
            "their given order.</footer>\n";
    page += "</main>\n<script>" + std::string(kPageSortScript) + "</script>\n</body>\n</html>\n";
    return page;
}

}  // namespace kalvo
