// model/initial_alignment.cpp: the random and the consensus starts, and Recount.
#include <algorithm>
#include <string>

#include "model/run_state.h"
#include "util/sequence_text.h"

namespace kalvo {

void CMotifSampler::RandomAlignment()
{
    m_startSlots.assign(static_cast<std::size_t>(m_numSeqs), -1);
    m_startSitesLeft = 0;
    for (int s = 0; s < m_numSeqs; ++s) {
        const long long starts = static_cast<long long>(m_seqs.Length(static_cast<std::size_t>(s))) - m_width + 1;
        // Draw even when the sequence is too short for a site: later draws must
        // keep their place in the random stream, or a seed stops repeating a run.
        const long long pos = m_random.Index(starts);
        bool forward = true;
        if (m_bothStrands)
            forward = !(m_random.Uniform() >= 0.5);
        if (starts <= 0)
            continue;
        // The start site takes the place of whatever the sequence held.
        m_sites[static_cast<std::size_t>(s)].clear();
        m_startSlots[static_cast<std::size_t>(s)] = 2 * pos + (forward ? 0 : 1);
        ++m_startSitesLeft;
    }
    if (m_startSitesLeft == 0)
        std::vector<long long>().swap(m_startSlots);
}

SiteNode CMotifSampler::StartSite(int s) const
{
    const long long slot = m_startSlots[static_cast<std::size_t>(s)];
    SiteNode site;
    site.seqIndex = s;
    site.ordinal = 0;
    site.forward = slot % 2 == 0;
    site.pos = static_cast<int>(slot / 2);
    site.word = m_seqs[static_cast<std::size_t>(s)].substr(static_cast<std::size_t>(site.pos), static_cast<std::size_t>(m_width));
    if (!site.forward)
        site.word = ReverseComplement(site.word);
    return site;
}

void CMotifSampler::PlaceStartSites()
{
    if (m_startSlots.empty())
        return;
    for (std::size_t s = 0; s < m_startSlots.size(); ++s) {
        if (m_startSlots[s] < 0)
            continue;
        SiteList placed{StartSite(static_cast<int>(s))};
        for (const SiteNode& site : m_sites[s])
            placed.push_back(site);
        m_sites[s] = std::move(placed);
    }
    std::vector<long long>().swap(m_startSlots);
    m_startSitesLeft = 0;
}

void CMotifSampler::SeedMotif(const std::string& word)
{
    std::fill(m_counts.begin(), m_counts.end(), 0);
    m_numSites = 0;
    const std::size_t columns = std::min(word.size(), static_cast<std::size_t>(m_width));
    // Seventeen pseudo-observations of the consensus letter in its column.
    for (std::size_t i = 0; i < columns; ++i)
        m_counts[i * 4 + static_cast<std::size_t>(BaseCode(word[i]))] = 17;
}

void CMotifSampler::Recount()
{
    std::fill(m_counts.begin(), m_counts.end(), 0);
    m_numSites = 0;
    const auto width = static_cast<std::size_t>(m_width);
    auto count = [&](const SiteNode& site) {
        ++m_numSites;
        for (std::size_t j = 0; j < width; ++j) {
            if (IsBase(site.word[j]))
                ++m_counts[j * 4 + static_cast<std::size_t>(BaseCode(site.word[j]))];
        }
    };
    for (const SiteList& sites : m_sites) {
        for (const SiteNode& site : sites)
            count(site);
    }
    for (std::size_t s = 0; s < m_startSlots.size(); ++s) {
        if (m_startSlots[s] >= 0)
            count(StartSite(static_cast<int>(s)));
    }
}

}  // namespace kalvo
