// report/best_state.cpp: SaveBest, a copy of the current sites and groups kept apart from them.
#include "model/run_state.h"

namespace kalvo {

void CMotifSampler::SaveBest()
{
    PlaceStartSites();
    // Copy into the existing lists so their storage is reused snapshot after snapshot.
    m_bestSites.resize(m_sites.size());
    for (std::size_t s = 0; s < m_sites.size(); ++s) {
        m_bestSites[s] = m_sites[s];
        if (!m_pacer.KeepGoing(static_cast<long long>(m_sites[s].size()) + 1))
            return;  // the run is abandoned and keeps nothing
    }
    m_bestGroups.clear();
    for (const GroupNode& group : m_groups) {
        GroupNode copy;
        copy.size = group.size;
        copy.positions = group.positions;
        copy.counts = group.counts;
        copy.logBF = group.logBF;
        // The probabilities are left out: they are estimated again when the copy is installed.
        m_bestGroups.push_back(std::move(copy));
    }
}

}  // namespace kalvo
