// sampler/log_likelihood.cpp: the joint log-likelihood that scores a whole state.
#include <cmath>

#include "model/run_state.h"
#include "util/sequence_text.h"

namespace kalvo {

double CMotifSampler::JointLogLikelihood() { return LogLikelihood(true); }

void CMotifSampler::ScoreSites()
{
    // ScoreWord with the free columns noted once for all sites: the same
    // products in the same order, without asking each column about each group.
    PlanColumns();
    for (SiteList& siteList : m_sites) {
        for (SiteNode& site : siteList) {
            double motif = 1.0;
            for (int column : m_freeColumns) {
                const auto c = static_cast<std::size_t>(column);
                motif *= m_motifProb[c * 4 + static_cast<std::size_t>(BaseCode(site.word[c]))];
            }
            for (const GroupNode& group : m_groups) {
                std::size_t key = 0;
                for (int column : group.positions)
                    key = key * 4 + static_cast<std::size_t>(BaseCode(site.word[static_cast<std::size_t>(column)]));
                motif *= group.probs[key];
            }
            site.motifLogLik = std::log(motif / BackgroundProbability(site.word));
        }
    }
}

double CMotifSampler::LogLikelihood(bool scoreSites)
{
    PlaceStartSites();
    const int sites = EstimateModel(true);
    m_numSites = sites;

    double logLik = 0.0;
    int letterPseudo[4];
    for (int b = 0; b < 4; ++b)
        letterPseudo[b] = static_cast<int>(m_pseudo[static_cast<std::size_t>(b)] + 0.0001);
    for (int c = 0; c < m_width; ++c) {
        for (int b = 0; b < 4; ++b)
            logLik += m_logFactorial(m_counts[static_cast<std::size_t>(c * 4 + b)] + letterPseudo[b]);
    }
    for (SiteList& siteList : m_sites) {
        for (SiteNode& site : siteList) {
            if (scoreSites)
                site.motifLogLik = std::log(ScoreWord(site.word));
            logLik -= site.logBgProb;
            if (!m_pacer.KeepGoing(1))
                return logLik;  // the run is abandoned and drops this partial score
        }
    }
    const int totalPseudo = static_cast<int>(m_pseudoTotal + 0.001);
    logLik -= m_width * m_logFactorial(sites + totalPseudo);

    if (m_corrLevel > 1) {
        double groupSum = 0.0;
        int remaining = m_width;
        for (const GroupNode& group : m_groups) {
            groupSum += group.logBF - std::log(static_cast<double>(Binomial(remaining, group.size)));
            remaining -= group.size;
        }
        logLik += groupSum;
    }
    if (m_oneSitePerSeq)
        return logLik;

    const auto positions = static_cast<double>(CandidatePositions());
    const double q = m_priorOdds;
    return logLik - sites * std::log(q) + positions * std::log(q / (q + 1));
}

int CMotifSampler::Binomial(int n, int k)
{
    if (k > n / 2)
        k = n - k;
    // Pairs at practical widths keep these products within 64 bits.
    long long numerator = 1;
    long long denominator = 1;
    for (int i = 1; i <= k; ++i) {
        denominator *= i;
        numerator *= n - i + 1;
    }
    return static_cast<int>(numerator / denominator);
}

}  // namespace kalvo
