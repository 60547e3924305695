// discover/discovery_files.cpp: summary.json, sites, matrices and logos of a discovery, and its text summary.
#include "discover/discovery_files.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "discover/discovery_names.h"
#include "discover/fisher.h"
#include "discover/html_report.h"
#include "discover/known_section.h"
#include "discover/motif_naming.h"
#include "discover/scoring_sets.h"
#include "report/formats.h"
#include "report/sequence_logo.h"
#include "util/json_writer.h"
#include "util/sequence_text.h"
#include "util/table_text.h"

namespace kalvo {
namespace {

// The name the tables give target seqIndex (SequenceNames), or "" for an index the discovery does not know.
std::string_view NameOf(const std::vector<std::string>& names, int seqIndex)
{
    const auto index = static_cast<std::size_t>(seqIndex);
    return seqIndex >= 0 && index < names.size() ? std::string_view(names[index]) : std::string_view();
}

// The whole header of every target that holds a called site and whose header says
// more than its name in the tables, once, in input order, with its number and name:
// the one place a header is written whole.
std::string HeadersJson(const Discovery& discovery, const std::vector<std::string>& names)
{
    std::vector<char> holds(discovery.targetNames.size(), 0);
    for (const DiscoveredMotif& motif : discovery.motifs)
        for (const CalledSite& site : motif.sites)
            if (site.seqIndex >= 0 && static_cast<std::size_t>(site.seqIndex) < holds.size())
                holds[static_cast<std::size_t>(site.seqIndex)] = 1;
    std::vector<std::string> items;
    for (std::size_t i = 0; i < holds.size(); ++i)
        if (holds[i] && discovery.targetNames[i] != names[i])
            items.push_back(JsonInlineObject({{"index", JsonInteger(static_cast<long long>(i))},
                                              {"name", JsonString(names[i])},
                                              {"header", JsonString(discovery.targetNames[i])}}));
    return JsonArray(items, "  ");
}

std::string PairJson(const GroupNode& group)
{
    JsonMembers cells;
    const int letters = static_cast<int>(group.positions.size());
    for (std::size_t w = 0; w < group.counts.size(); ++w)
        if (group.counts[w] > 0)
            cells.emplace_back(WordFromIndex(w, letters), JsonInteger(group.counts[w]));
    return JsonInlineObject({{"columns", JsonInlineArray(group.positions, [](int p) { return JsonInteger(p + 1); })},
                             {"log_bf", JsonNumber(group.logBF)},
                             {"counts", JsonInlineObject(cells)}});
}

// A known motif a discovered one resembles, and how well.
std::string KnownMatchJson(const KnownMatch& known)
{
    const MotifMatch& match = known.match;
    return JsonInlineObject({{"id", JsonString(known.known.id)},
                             {"name", JsonString(known.known.name)},
                             {"family", JsonString(known.known.family)},
                             {"class", JsonString(known.known.tfClass)},
                             {"taxon", JsonString(known.known.taxon)},
                             {"offset", JsonInteger(match.offset)},
                             {"strand", JsonString(match.reverse ? "-" : "+")},
                             {"overlap", JsonInteger(match.overlap)},
                             {"pvalue", JsonNumber(match.p)},
                             {"evalue", JsonNumber(match.e)},
                             {"qvalue", JsonNumber(match.q)}});
}

std::string MotifJson(const DiscoveredMotif& motif, const std::string& id, const std::string& name,
                      std::size_t position, bool named)
{
    const std::string indent = "    ";
    std::vector<std::string> matrix;
    for (const std::array<double, 4>& row : MemeRows(motif.model))
        matrix.push_back(JsonInlineArray(row, JsonNumber));
    std::vector<std::string> counts;
    for (const std::array<int, 4>& row : motif.model.counts)
        counts.push_back(JsonInlineArray(row, [](int n) { return JsonInteger(n); }));
    std::vector<std::string> pairs;
    for (const GroupNode& group : motif.model.groups)
        pairs.push_back(PairJson(group));
    std::vector<std::string> known;
    for (const KnownMatch& match : motif.knownMatches)
        known.push_back(KnownMatchJson(match));
    const RestartRecord& source = motif.source;
    return JsonObject(
        {{"rank", JsonInteger(motif.rank)},
         {"id", JsonString(id)},
         {"name", JsonString(name)},
         {"consensus", JsonString(motif.consensus)},
         {"width", JsonInteger(motif.width)},
         {"evalue", JsonString(FormatEValue(motif.log10EValue))},
         {"log10_evalue", JsonNumber(motif.log10EValue)},
         {"log10_pvalue", JsonNumber(motif.log10PValue)},
         {"significant", JsonBool(motif.significant)},
         {"threshold", JsonNumber(motif.threshold)},
         {"threshold_more", JsonNumber(motif.moreThreshold)},
         {"sites", JsonInteger(static_cast<long long>(motif.sites.size()))},
         {"target_hits", JsonInteger(motif.targetHits)},
         {"targets", JsonInteger(motif.targets)},
         {"control_hits", JsonInteger(motif.controlHits)},
         {"controls", JsonInteger(motif.controls)},
         {"found_by", JsonInteger(motif.foundBy)},
         {"restarts", JsonInteger(motif.restartsTried)},
         {"trimmed_left", JsonInteger(motif.trimmedLeft)},
         {"trimmed_right", JsonInteger(motif.trimmedRight)},
         {"matrix_sites", JsonInteger(motif.model.numSites)},
         {"matrix", JsonArray(matrix, indent + "  ")},
         {"counts", JsonArray(counts, indent + "  ")},
         {"pairs", JsonArray(pairs, indent + "  ")},
         {"source", JsonInlineObject({{"parameter_file", JsonString(source.parameterFile)},
                                      {"report_file", JsonString(source.reportFile)},
                                      {"seed", JsonInteger(source.seed)},
                                      {"round", JsonInteger(source.round)},
                                      {"width", JsonInteger(source.width)},
                                      {"restart", JsonInteger(source.index)}})},
         {"logo", JsonString(LogoName(position, false))},
         {"logo_reverse", JsonString(LogoName(position, true))},
         {"known_match", named ? JsonString(BestMatchLabel(motif)) : "null"},
         {"known_match_enriched", named ? JsonBool(motif.knownMatchEnriched) : "null"},
         {"known_matches", JsonArray(known, indent + "  ")}},
        indent);
}

// What every restart has: which it is, its files and seed, and what its best state held.
JsonMembers RestartMembers(const RestartRecord& restart)
{
    return {{"round", JsonInteger(restart.round)},
            {"width", JsonInteger(restart.width)},
            {"index", JsonInteger(restart.index)},
            {"parameter_file", JsonString(restart.parameterFile)},
            {"report_file", JsonString(restart.reportFile)},
            {"seed", JsonInteger(restart.seed)},
            {"log_likelihood", JsonNumber(restart.logLik)},
            {"sites", JsonInteger(restart.sites)},
            {"consensus", JsonString(restart.consensus)}};
}

std::string RestartJson(const RestartRecord& restart)
{
    JsonMembers members = RestartMembers(restart);
    members.insert(members.end(), {{"evalue", JsonString(FormatEValue(restart.log10EValue))},
                                   {"log10_evalue", JsonNumber(restart.log10EValue)},
                                   {"motif", restart.motifRank > 0 ? JsonInteger(restart.motifRank) : "null"},
                                   {"repeat", JsonString(RepeatCommand(restart))}});
    return JsonInlineObject(members);
}

// A null restart: an exact run like the others, with the p-value its motif reached on shuffled targets.
std::string NullRestartJson(const NullRestart& restart)
{
    JsonMembers members = RestartMembers(restart.record);
    members.insert(members.end(), {{"pvalue", JsonString(FormatEValue(restart.log10PValue))},
                                   {"log10_pvalue", JsonNumber(restart.log10PValue)},
                                   {"repeat", JsonString(RepeatCommand(restart.record))}});
    return JsonInlineObject(members);
}

std::string ParametersJson(const DiscoverSettings& settings)
{
    return JsonObject({{"input", JsonString(settings.inputPath)},
                       {"control", settings.controlPath ? JsonString(*settings.controlPath) : "null"},
                       {"widths", JsonInlineArray(settings.widths, [](int w) { return JsonInteger(w); })},
                       {"restarts", JsonInteger(settings.restarts)},
                       {"iterations", JsonInteger(settings.iterations)},
                       {"mask", JsonBool(settings.mask)},
                       {"both_strands", JsonBool(settings.bothStrands)},
                       {"one_site", JsonBool(settings.oneSite)},
                       {"motifs", JsonInteger(settings.motifs)},
                       {"evalue_threshold", JsonNumber(settings.evalueThreshold)},
                       {"seed", JsonInteger(settings.seed)},
                       {"name_motifs", JsonBool(settings.nameMotifs)},
                       {"known_motif_files", JsonInlineArray(settings.knownMotifs.files, JsonString)},
                       {"taxa", JsonInlineArray(settings.knownMotifs.taxa, JsonString)}},
                      "  ");
}

// What the motifs were named against, and how strict a name is; null when they were not named.
std::string KnownMotifsJson(const Discovery& discovery)
{
    if (discovery.knownSource.empty())
        return "null";
    return JsonInlineObject({{"source", JsonString(discovery.knownSource)},
                             {"motifs", JsonInteger(discovery.knownMotifs)},
                             {"max_qvalue", JsonNumber(kNamingQValue)},
                             {"kept", JsonInteger(kNamesKept)}});
}

int TotalPairs(const Discovery& discovery)
{
    std::size_t pairs = 0;
    for (const DiscoveredMotif& motif : discovery.motifs)
        pairs += motif.model.groups.size();
    return static_cast<int>(pairs);
}

std::string Padded(const std::string& text, std::size_t width, bool right)
{
    if (text.size() >= width)
        return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

// The motif table of the text summary; a long consensus is cut so that a line fits 80 columns.
std::string MotifTable(const Discovery& discovery)
{
    constexpr std::size_t kLongest = 30;
    std::size_t consensusWidth = 9;
    for (const DiscoveredMotif& motif : discovery.motifs)
        consensusWidth = std::max(consensusWidth, std::min(motif.consensus.size(), kLongest));
    const bool named = !discovery.knownSource.empty();
    std::vector<std::string> foundBy;
    std::size_t foundByWidth = 8;
    for (const DiscoveredMotif& motif : discovery.motifs) {
        foundBy.push_back(std::to_string(motif.foundBy) + " of " + std::to_string(motif.restartsTried));
        foundByWidth = std::max(foundByWidth, foundBy.back().size());
    }
    std::string out = "rank  " + Padded("consensus", consensusWidth, false) + "  width  E-value     sites  " +
                      (named ? Padded("found by", foundByWidth, false) + "  known motif" : "found by") + "\n";
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m) {
        const DiscoveredMotif& motif = discovery.motifs[m];
        std::string consensus = motif.consensus;
        if (consensus.size() > kLongest)
            consensus = consensus.substr(0, kLongest - 3) + "...";
        out += Padded(std::to_string(motif.rank), 4, true) + "  " + Padded(consensus, consensusWidth, false) + "  " +
               Padded(std::to_string(motif.width), 5, true) + "  " + Padded(FormatEValue(motif.log10EValue), 9, false) +
               "  " + Padded(std::to_string(motif.sites.size()), 6, true) + "  " +
               (named ? Padded(foundBy[m], foundByWidth, false) + "  " + BestMatchLabel(motif) +
                        (motif.knownMatchEnriched ? " *" : "")
                      : foundBy[m]) +
               "\n";
    }
    return out;
}

std::string Plural(long long count, const std::string& word)
{
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// The significant tandem repeats kept out of the ranked list, in the order found.
std::string LowComplexityJson(const Discovery& discovery)
{
    std::vector<std::string> items;
    for (const LowComplexityMotif& repeat : discovery.lowComplexity)
        items.push_back(JsonInlineObject({{"consensus", JsonString(repeat.consensus)},
                                          {"width", JsonInteger(repeat.width)},
                                          {"evalue", JsonString(FormatEValue(repeat.log10EValue))},
                                          {"log10_evalue", JsonNumber(repeat.log10EValue)},
                                          {"sites", JsonInteger(repeat.sites)},
                                          {"round", JsonInteger(repeat.round)},
                                          {"unit", JsonString(repeat.unit)},
                                          {"sites_in_repeats", JsonNumber(repeat.siteShare)},
                                          {"reason", JsonString(repeat.reason)}}));
    return JsonArray(items, "  ");
}

// The text summary's lines on the repeats set apart; empty when there are none.
std::string LowComplexityLines(const Discovery& discovery)
{
    if (discovery.lowComplexity.empty())
        return "";
    std::string out = "Low complexity, not ranked (--keep-low-complexity ranks them), sites masked:\n";
    for (const LowComplexityMotif& repeat : discovery.lowComplexity)
        out += "  " + repeat.consensus + "  E = " + FormatEValue(repeat.log10EValue) + ", " +
               Plural(repeat.sites, "site") + ": " + repeat.reason + "\n";
    return out;
}

// The text summary's lines on the lone motifs set aside; empty when there are none.
std::string SetAsideLines(const Discovery& discovery)
{
    std::string out;
    for (const SetAsideMotif& lone : discovery.setAside)
        out += "Set aside: " + lone.consensus + " (E = " + FormatEValue(lone.log10EValue) + "), found by " +
               std::to_string(lone.foundBy) + " of " + Plural(lone.restarts, "restart") +
               " only: a set under " + std::to_string(kMinSequencesForHoldOut) + " sequences needs two to agree\n";
    return out;
}

}  // namespace

std::string DiscoverySummaryJson(const Discovery& discovery)
{
    const DiscoverSettings& settings = discovery.settings;
    const std::vector<std::string> ids = DiscoveryMotifIds(discovery);
    const std::vector<std::string> names = DiscoveryMotifNames(discovery);
    std::vector<std::string> motifs;
    for (std::size_t i = 0; i < discovery.motifs.size(); ++i)
        motifs.push_back(MotifJson(discovery.motifs[i], ids[i], names[i], i, !discovery.knownSource.empty()));
    std::vector<std::string> restarts;
    for (const RestartRecord& restart : discovery.restarts)
        restarts.push_back(RestartJson(restart));
    const std::optional<double>& nextBest = discovery.nextBestLog10EValue;
    JsonMembers members =
               {{"schema", JsonInteger(kDiscoveryJsonSchema)},
                {"program", JsonString("kalvo")},
                {"version", JsonString(settings.programVersion)},
                {"command", JsonString(DiscoverCommand(settings))},
                {"seed", JsonInteger(settings.seed)},
                {"parameters", ParametersJson(settings)},
                {"targets", JsonInteger(static_cast<long long>(discovery.targetNames.size()))},
                {"sampled_targets", JsonInteger(discovery.sampledTargets)},
                {"training_targets", JsonInteger(discovery.trainingTargets)},
                {"test_targets", JsonInteger(discovery.testTargets)},
                {"controls", JsonInteger(discovery.controls)},
                {"control_residues", JsonInteger(discovery.controlResidues)},
                {"control_source", JsonString(discovery.controlSource)},
                {"motifs_tested", JsonInteger(discovery.motifsTested)},
                {"next_best_evalue", nextBest ? JsonString(FormatEValue(*nextBest)) : "null"},
                {"next_best_log10_evalue", nextBest ? JsonNumber(*nextBest) : "null"},
                {"matrix_note", JsonString("motifs.meme and motifs.jaspar hold each motif's column matrix only: its "
                                           "correlated column pairs (\"pairs\") are not expressible there, while "
                                           "the site scores and E-values count them")},
                {"restarts_run_from", JsonString("the output folder")},
                {"known_motifs", KnownMotifsJson(discovery)},
                {"known_enrichment", KnownSectionJson(discovery)},
                {"motifs", JsonArray(motifs, "  ")},
                {"restarts", JsonArray(restarts, "  ")}};
    members.emplace_back("low_complexity", LowComplexityJson(discovery));
    if (!discovery.nullRestarts.empty()) {
        std::vector<std::string> nullRestarts;
        for (const NullRestart& restart : discovery.nullRestarts)
            nullRestarts.push_back(NullRestartJson(restart));
        members.emplace_back("null_restarts", JsonArray(nullRestarts, "  "));
    }
    // Last, since a header can be long.
    members.emplace_back("headers", HeadersJson(discovery, SequenceNames(discovery.targetNames)));
    return JsonObject(members, "") + "\n";
}

std::string SitesTable(const Discovery& discovery)
{
    const std::vector<std::string> names = SequenceNames(discovery.targetNames);
    std::string out = "motif\tseq_index\tsequence\tstart\tend\tstrand\tscore\tword\n";
    for (const DiscoveredMotif& motif : discovery.motifs)
        for (const CalledSite& site : motif.sites)
            out += std::to_string(motif.rank) + "\t" + std::to_string(site.seqIndex) + "\t" +
                   TsvField(NameOf(names, site.seqIndex)) + "\t" + std::to_string(site.start) + "\t" +
                   std::to_string(site.end) + "\t" + (site.forward ? "+" : "-") + "\t" + FixedText(site.score, 3) +
                   "\t" + TsvField(site.word) + "\n";
    return out;
}

std::string SitesBed(const Discovery& discovery)
{
    const std::vector<std::string> ids = DiscoveryMotifIds(discovery);
    const std::vector<std::string> names = SequenceNames(discovery.targetNames);
    std::string out;
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m) {
        const DiscoveredMotif& motif = discovery.motifs[m];
        double best = -std::numeric_limits<double>::infinity();
        for (const CalledSite& site : motif.sites)
            best = std::max(best, site.score);
        for (const CalledSite& site : motif.sites)
            out += BedLine({NameOf(names, site.seqIndex), TargetLength(discovery, site.seqIndex), site.seqIndex,
                            site.start, site.end - site.start, site.forward, ids[m], BedScore(site.score, best)});
    }
    return out;
}

std::string DiscoveryMeme(const Discovery& discovery)
{
    const std::vector<std::string> ids = DiscoveryMotifIds(discovery);
    const std::vector<std::string> names = DiscoveryMotifNames(discovery);
    // Every motif is scored against the background of the targets; with no motif there is none to name.
    std::string out = discovery.motifs.empty()
                          ? MemeHeader({0.25, 0.25, 0.25, 0.25}, discovery.settings.bothStrands,
                                       "uniform: no motif was reported")
                          : MemeHeader(discovery.motifs.front().model.bgFreq, discovery.settings.bothStrands,
                                       "from the target sequences");
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m) {
        const DiscoveredMotif& motif = discovery.motifs[m];
        out += MemeMatrix(motif.model, ids[m], names[m], static_cast<int>(motif.sites.size()),
                          FormatEValue(motif.log10EValue));
    }
    return out;
}

std::string DiscoveryJaspar(const Discovery& discovery)
{
    const std::vector<std::string> ids = DiscoveryMotifIds(discovery);
    const std::vector<std::string> names = DiscoveryMotifNames(discovery);
    std::string out;
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m)
        out += JasparCounts(discovery.motifs[m].model, ids[m], names[m]);
    return out;
}

std::vector<DiscoveryFile> ComposeDiscoveryFiles(const Discovery& discovery)
{
    std::vector<DiscoveryFile> files = {{"summary.json", DiscoverySummaryJson(discovery)},
                                        {"sites.tsv", SitesTable(discovery)},
                                        {"sites.bed", SitesBed(discovery)},
                                        {"motifs.meme", DiscoveryMeme(discovery)},
                                        {"motifs.jaspar", DiscoveryJaspar(discovery)}};
    for (std::size_t m = 0; m < discovery.motifs.size(); ++m)
        for (bool reverse : {false, true}) {
            LogoOptions options;
            options.reverseComplement = reverse;
            files.push_back({LogoName(m, reverse), SequenceLogoSvg(discovery.motifs[m].model, options)});
        }
    files.push_back({"index.html", DiscoveryHtml(discovery)});
    return files;
}

std::string DiscoveryTextSummary(const Discovery& discovery, const std::string& outputDir)
{
    const DiscoverSettings& settings = discovery.settings;
    const std::string threshold = JsonNumber(settings.evalueThreshold);
    std::string out = "kalvo discover: " + Plural(static_cast<long long>(discovery.motifs.size()), "motif") +
                      " in " + settings.inputPath + "\n";
    const auto targets = static_cast<long long>(discovery.targetNames.size());
    if (discovery.testTargets == targets) {
        out += "Targets:  " + Plural(targets, "sequence") +
               ", all used both to find and to test motifs (too few to hold\n"
               "          some out: E-values are calibrated by " +
               Plural(static_cast<long long>(discovery.nullRestarts.size()), "restart") + " on shuffled copies)\n";
    } else {
        out += "Targets:  " + Plural(targets, "sequence") + "; the restarts sampled " +
               std::to_string(discovery.sampledTargets) + ", " + std::to_string(discovery.testTargets) +
               " held out to test the motifs\n";
    }
    out += "Controls: " + Plural(discovery.controls, "sequence") + ", " + Plural(discovery.controlResidues, "residue") +
           ": " + discovery.controlSource + "\n";
    out += "Search:   widths " + JoinedWidths(settings.widths, ", ") + "; " +
           Plural(settings.restarts, "restart") + " per width and round, " + std::to_string(settings.iterations) +
           " iterations, seed " + std::to_string(settings.seed) + "\n";
    // A small set's E-values come from the null restarts, not from the count of motifs tested.
    if (discovery.nullRestarts.empty())
        out += "          " + Plural(discovery.motifsTested, "motif") + " tested against the controls (every form\n"
               "          of every restart's motif counts in the E-values)\n\n";
    else
        out += "          " + Plural(discovery.motifsTested, "motif") + " tested against the controls (E-values:\n"
               "          the restarts run times the share of null restarts that reach the p-value)\n\n";

    const std::optional<double>& nextBest = discovery.nextBestLog10EValue;
    if (discovery.motifs.empty()) {
        out += "no motif with E-value <= " + threshold;
        if (nextBest)
            out += " (best candidate E = " + FormatEValue(*nextBest) + ")";
        else if (discovery.motifsTested == 0)
            out += " (no candidate was tested)";
        out += "\n";
    } else {
        out += MotifTable(discovery);
        if (nextBest)
            out += "The next candidate (E = " + FormatEValue(*nextBest) + ") is above " + threshold +
                   ": the search stopped there.\n";
        if (!discovery.knownSource.empty())
            out += "Known motif: the best of " + Plural(discovery.knownMotifs, "profile") + " (" +
                   discovery.knownSource + ") at q <= " + JsonNumber(kNamingQValue) + "\n";
        if (std::any_of(discovery.motifs.begin(), discovery.motifs.end(),
                        [](const DiscoveredMotif& motif) { return motif.knownMatchEnriched; }))
            out += "*: that known motif is itself enriched in these sequences (see below)\n";
        if (const int pairs = TotalPairs(discovery); pairs > 0)
            out += Plural(pairs, "correlated column pair") +
                   ": drawn in the logos and listed in summary.json;\n"
                   "motifs.meme and motifs.jaspar hold the column matrices only.\n";
    }
    out += KnownSectionText(discovery);
    out += LowComplexityLines(discovery);
    out += SetAsideLines(discovery);

    out += "\nFiles in " + (outputDir.empty() ? std::string(".") : outputDir) + ":\n";
    out += "  index.html            all of it as one page: open it in a web browser\n";
    out += "  summary.json          everything, ranked motifs first, every restart and seed\n";
    out += "  sites.tsv, sites.bed  the called sites of every motif\n";
    out += "  motifs.meme           the matrices, for Tomtom and FIMO (also motifs.jaspar)\n";
    if (!discovery.motifs.empty())
        out += "  logo-K.svg            sequence logo of motif K (logo-K-rc.svg: other strand)\n";
    out += "  runs/                 each restart's parameter file and report\n";

    const RestartRecord* example = !discovery.motifs.empty() ? &discovery.motifs.front().source
                                   : !discovery.restarts.empty() ? &discovery.restarts.front()
                                                                 : nullptr;
    if (example != nullptr)
        out += "Repeat a restart" + std::string(discovery.motifs.empty() ? "" : " (the one behind motif 1)") +
               ":\n  " + RepeatInFolderCommand(outputDir, *example) + "\n";
    return out;
}

}  // namespace kalvo
