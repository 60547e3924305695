// model/initial_alignment.cpp: the random and the consensus starts, and Recount.
#include <algorithm>
#include <string>

#include "model/run_state.h"
#include "util/sequence_text.h"

namespace kalvo {

void CMotifSampler::RandomAlignment()
{
    for (int s = 0; s < m_numSeqs; ++s) {
        const std::string& sequence = m_seqs[static_cast<std::size_t>(s)];
        const long long starts = static_cast<long long>(sequence.size()) - m_width + 1;
        // Draw even when the sequence is too short for a site: later draws must
        // keep their place in the random stream, or a seed stops repeating a run.
        const long long pos = m_random.Index(starts);
        bool forward = true;
        if (m_bothStrands)
            forward = !(m_random.Uniform() >= 0.5);
        if (starts <= 0)
            continue;
        SiteNode site;
        site.seqName = m_seqNames[static_cast<std::size_t>(s)];
        site.seqIndex = s;
        site.ordinal = 0;
        site.word = sequence.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(m_width));
        if (!forward)
            site.word = ReverseComplement(site.word);
        site.forward = forward;
        site.pos = static_cast<int>(pos);
        SiteList& sites = m_sites[static_cast<std::size_t>(s)];
        sites.clear();
        sites.push_back(std::move(site));
    }
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
    for (const SiteList& sites : m_sites) {
        for (const SiteNode& site : sites) {
            ++m_numSites;
            for (std::size_t j = 0; j < width; ++j) {
                if (IsBase(site.word[j]))
                    ++m_counts[j * 4 + static_cast<std::size_t>(BaseCode(site.word[j]))];
            }
        }
    }
}

}  // namespace kalvo
