// discover/motif_naming.cpp: discovered motifs compared with known ones, and how a match is named.
#include "discover/motif_naming.h"

#include <cctype>
#include <charconv>

#include "report/formats.h"
#include "util/table_text.h"

namespace kalvo {

KnownMotif AsKnownMotif(const DiscoveredMotif& motif, const std::string& id)
{
    KnownMotif known;
    known.id = id;
    known.name = motif.consensus.empty() ? id : motif.consensus;
    known.shares = MemeRows(motif.model);
    known.sites = motif.model.numSites;
    return known;
}

void NameMotifs(std::vector<DiscoveredMotif>& motifs, const std::vector<std::string>& ids,
                const std::vector<KnownMotif>& known, int jobs)
{
    std::vector<KnownMotif> queries;
    for (std::size_t m = 0; m < motifs.size(); ++m)
        queries.push_back(AsKnownMotif(motifs[m], ids[m]));
    MatchFilter filter;
    filter.top = kNamesKept;
    filter.maxQValue = kNamingQValue;
    const ComparisonTargets targets = PrepareTargets(known);
    const auto matches = MatchMotifs(queries, targets, ComparisonSettings{}, filter, jobs);
    for (std::size_t m = 0; m < motifs.size(); ++m) {
        motifs[m].knownMatches.clear();
        for (const MotifMatch& match : matches[m])
            motifs[m].knownMatches.push_back({known[static_cast<std::size_t>(match.target)], match});
    }
}

std::string ShortFigure(double value, int digits)
{
    std::string text = SignificantText(value, digits);
    // "4e-04" as people write it: "4e-4".
    if (const std::size_t e = text.find('e'); e != std::string::npos) {
        std::string exponent = text.substr(e + 1);
        const bool negative = !exponent.empty() && exponent[0] == '-';
        exponent.erase(0, exponent.find_first_not_of("+-0"));
        text = text.substr(0, e + 1) + (negative ? "-" : "") + (exponent.empty() ? "0" : exponent);
    }
    return text;
}

std::string BestMatchLabel(const DiscoveredMotif& motif)
{
    if (motif.knownMatches.empty())
        return kNoKnownMatch;
    const KnownMatch& best = motif.knownMatches.front();
    std::string label = best.known.name;
    if (best.known.id != best.known.name)
        label += " " + best.known.id;
    return label + " q " + ShortFigure(best.match.q, 1);
}

std::string JasparPageAddress(const std::string& id)
{
    // JASPAR ids are "MA", "PB", "PF", "PH", "PL" or "CN" plus four digits, a dot and a version.
    const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (id.size() < 8 || !std::isupper(static_cast<unsigned char>(id[0])) ||
        !std::isupper(static_cast<unsigned char>(id[1])))
        return {};
    const std::size_t dot = id.find('.');
    if (dot != 6 || dot + 1 >= id.size())
        return {};
    for (std::size_t i = 2; i < id.size(); ++i)
        if (i != dot && !isDigit(id[i]))
            return {};
    return "https://jaspar.elixir.no/matrix/" + id + "/";
}

}  // namespace kalvo
