// report/report_writer.cpp: the report block of the best state, appended whole to the output file.
#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "model/run_state.h"
#include "report/run_summary.h"
#include "util/append_file.h"
#include "util/sequence_text.h"

namespace kalvo {
namespace {

// Fixed-point with the given decimals, like "%.*f" in the C locale whatever
// the process locale is. A figure that cannot exist (0/0) prints as zero.
void AppendFixed(std::string& out, double value, int decimals)
{
    if (std::isnan(value))
        value = 0.0;
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, result.ptr);
}

void AppendInt(std::string& out, long long value) { out += std::to_string(value); }

// Text lines of the report end in CR LF on every platform.
constexpr const char* kLineEnd = "\r\n";

// The block's length, reckoned before it is composed: a block of long headers
// is as long as its headers times its sites, and growing it step by step
// would hold up to three times that.
std::size_t ReportSize(const CMotifSampler& run)
{
    std::size_t size = 1024 + 128 * static_cast<std::size_t>(run.m_width);
    for (const GroupNode& group : run.m_groups)
        size += 64 + 64 * group.counts.size();
    for (const SiteList& list : run.m_sites) {
        for (const SiteNode& site : list)
            size += 64 + run.m_seqs.Header(static_cast<std::size_t>(site.seqIndex)).size() + site.word.size();
    }
    return size;
}

// The input file, its number of sequences, and how many of them hold how many sites.
void AppendHeading(std::string& out, const CMotifSampler& run)
{
    out += kLineEnd;
    out += kLineEnd;
    out += "*************";
    out += kLineEnd;
    out += run.m_inputPath;
    out += kLineEnd;
    out += "# of Input Sequence: ";
    AppendInt(out, run.m_numSeqs);
    out += kLineEnd;
    out += kLineEnd;

    out += '\r';  // a lone carriage return opens this line
    out += kLineEnd;
    out += "# of total sequences hits the motif: ";
    AppendInt(out, run.SequencesWithSites());
    out += kLineEnd;
    out += "# of total putative sites: ";
    AppendInt(out, run.m_numSites);
    out += kLineEnd;
}

// One line per motif column: the share of each letter and the consensus letter.
void AppendMotifTable(std::string& out, const CMotifSampler& run, bool noSites)
{
    out += "\tA\tC\tG\tT\tCon";
    out += kLineEnd;
    for (int c = 0; c < run.m_width; ++c) {
        AppendInt(out, c + 1);
        out += '\t';
        std::array<double, 4> shares{};
        for (std::size_t b = 0; b < 4; ++b) {
            shares[b] = noSites ? 0.0 : run.m_motifProb[static_cast<std::size_t>(c) * 4 + b];
            AppendFixed(out, shares[b], 2);
            out += '\t';
        }
        out += ConsensusLetter(shares);
        out += kLineEnd;
    }
}

// Each group of correlated columns with its log Bayes factor, then the words
// its sites show in those columns, with their counts and joint probabilities.
void AppendCorrelatedPositions(std::string& out, const GroupList& groups, bool noSites)
{
    out += kLineEnd;
    out += "Correlated positions:";
    out += kLineEnd;
    for (const GroupNode& group : groups) {
        for (int column : group.positions) {
            AppendInt(out, column + 1);
            out += ',';
        }
        out += "logBF=";
        AppendFixed(out, group.logBF, 6);
        out += kLineEnd;
        for (std::size_t w = 0; w < group.counts.size(); ++w) {
            if (group.counts[w] <= 0)
                continue;
            out += WordFromIndex(w, group.size);
            out += '\t';
            AppendInt(out, group.counts[w]);
            out += '\t';
            AppendFixed(out, noSites || group.probs.empty() ? 0.0 : group.probs[w], 6);
            out += kLineEnd;
        }
    }
}

// The best state's joint log-likelihood and the prior odds it implies, and the heading of the site list.
void AppendScores(std::string& out, const CMotifSampler& run)
{
    out += kLineEnd;
    out += "Joint Loglikelihood: ";
    AppendFixed(out, run.m_bestLogLik, 6);
    out += kLineEnd;
    out += "Estimated Prior: ";
    AppendFixed(out, run.EstimatedPriorOdds(), 6);
    out += kLineEnd;
    out += kLineEnd;
    out += "Putative sites:";
    out += kLineEnd;
}

// One line per site: its sequence's header, strand, position, word and score.
void AppendSites(std::string& out, const CMotifSampler& run)
{
    for (const SiteList& list : run.m_sites) {
        for (const SiteNode& site : list) {
            out += run.m_seqs.Header(static_cast<std::size_t>(site.seqIndex));
            out += "\tseg";
            AppendInt(out, site.ordinal);
            out += site.forward ? "\tf\t" : "\tr\t";
            AppendInt(out, site.pos);
            out += '\t';
            out += site.word;
            out += '\t';
            AppendFixed(out, site.motifLogLik, 6);
            out += '\t';
            out += kLineEnd;
        }
    }
}

}  // namespace

void CMotifSampler::InstallBestState()
{
    // The best state becomes the current state: a move, not a copy. Start
    // sites never sampled away belong to no saved state.
    std::vector<long long>().swap(m_startSlots);
    m_startSitesLeft = 0;
    m_sites = std::move(m_bestSites);
    m_groups = std::move(m_bestGroups);
    m_bestSites.clear();
    m_bestGroups.clear();
    m_sites.resize(static_cast<std::size_t>(m_numSeqs));
    m_numPairs = static_cast<int>(m_groups.size());
    m_pseudo.fill(0.0);
    m_pseudoTotal = 0.0;
    Recount();
    UpdateGroupBayesFactors();
    m_numSites = EstimateModel(false);
}

void CMotifSampler::UpdateGroupBayesFactors()
{
    for (GroupNode& group : m_groups) {
        const int cells = static_cast<int>(std::pow(4.0, group.size) + 0.5);
        const double joint = DirichletLogMarginal(group.counts.data(), cells);
        double separate = 0.0;
        for (int column : group.positions) {
            const auto counts = ColumnCounts(column);
            separate += DirichletLogMarginal(counts.data(), 4);
        }
        group.logBF = joint - separate;
    }
}

std::string CMotifSampler::ComposeReport() const
{
    const bool noSites = m_numSites == 0;
    std::string out;
    out.reserve(ReportSize(*this));
    AppendHeading(out, *this);
    AppendMotifTable(out, *this, noSites);
    AppendCorrelatedPositions(out, m_groups, noSites);
    AppendScores(out, *this);
    AppendSites(out, *this);
    return out;
}

double CMotifSampler::EstimatedPriorOdds() const
{
    const double positions = static_cast<double>(CandidatePositions());
    const double share = (m_numSites + 1) / (positions + 1);
    return (1 - share) / share;
}

int CMotifSampler::SequencesWithSites() const
{
    int hit = 0;
    for (const SiteList& list : m_sites)
        hit += list.empty() ? 0 : 1;
    return hit;
}

Outcome CMotifSampler::WriteReport(const std::string& path)
{
    InstallBestState();
    return AppendReport(path, ComposeReport());
}

Outcome CMotifSampler::AppendReport(const std::string& path, const std::string& block)
{
    if (auto problem = AppendWhole(path, block))
        return Refusal{"cannot append the report to '" + path + "': " + *problem};
    return std::nullopt;
}

}  // namespace kalvo
