// model/site_list.h: one site record, and the list of one sequence's sites in a single pointer.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace kalvo {

// One site of one sequence. The word is always in motif orientation: the
// reverse complement of the sequence text for a reverse-strand site. The
// sequence's header is looked up by seqIndex, never copied into the site.
struct SiteNode {
    int seqIndex = 0;
    int ordinal = 0;          // 1, 2, ... in the order the sampling step added it; 0 for a random start site
    std::string word;
    bool forward = true;      // on the given strand
    int pos = 0;              // 0-based leftmost residue in the given sequence, for both strands
    double motifLogLik = 0.0; // ln(motif / background) as last scored
    double bgProb = 0.0;      // probability of the word under the background
    // ln bgProb, set with it: the state is scored several times an iteration,
    // and each score subtracts it for every site.
    double logBgProb = -std::numeric_limits<double>::infinity();
};

// Sites of one sequence, in the order they were added. An empty list is one
// null pointer, and clearing a list gives its storage back: a run over a
// million short sequences, most of them without a site at any time, pays
// eight bytes for each of them instead of a vector's twenty-four and more.
class SiteList {
public:
    // The storage of an emptied list, kept for the next list that gets a site.
    using Storage = std::unique_ptr<std::vector<SiteNode>>;

    SiteList() = default;
    SiteList(std::initializer_list<SiteNode> sites)
    {
        for (const SiteNode& site : sites)
            push_back(site);
    }
    SiteList(const SiteList& other)
        : m_sites(other.empty() ? nullptr : std::make_unique<std::vector<SiteNode>>(*other.m_sites))
    {
    }
    // Keeps this list's storage when both hold sites, so a snapshot taken again and again reuses it.
    SiteList& operator=(const SiteList& other)
    {
        if (other.empty())
            m_sites.reset();
        else if (m_sites)
            *m_sites = *other.m_sites;
        else
            m_sites = std::make_unique<std::vector<SiteNode>>(*other.m_sites);
        return *this;
    }
    SiteList(SiteList&&) noexcept = default;
    SiteList& operator=(SiteList&&) noexcept = default;
    ~SiteList() = default;

    bool empty() const { return !m_sites || m_sites->empty(); }
    std::size_t size() const { return m_sites ? m_sites->size() : 0; }
    SiteNode& operator[](std::size_t i) { return (*m_sites)[i]; }
    const SiteNode& operator[](std::size_t i) const { return (*m_sites)[i]; }
    SiteNode* begin() { return m_sites ? m_sites->data() : nullptr; }
    SiteNode* end() { return m_sites ? m_sites->data() + m_sites->size() : nullptr; }
    const SiteNode* begin() const { return m_sites ? m_sites->data() : nullptr; }
    const SiteNode* end() const { return m_sites ? m_sites->data() + m_sites->size() : nullptr; }

    void push_back(SiteNode site)
    {
        if (!m_sites)
            m_sites = std::make_unique<std::vector<SiteNode>>();
        m_sites->push_back(std::move(site));
    }
    void clear() { m_sites.reset(); }
    // Ask the processor for the list's storage, or for its first site, ahead
    // of use: each list lives apart on the heap, and a sweep visits one after
    // the other, so without this every visit begins with a wait on memory.
    void PrefetchStorage() const
    {
        if (m_sites)
            __builtin_prefetch(m_sites.get());
    }
    void PrefetchFirstSite() const
    {
        if (m_sites && !m_sites->empty()) {
            __builtin_prefetch(m_sites->data());
            __builtin_prefetch(reinterpret_cast<const char*>(m_sites->data()) + sizeof(SiteNode) - 1);
        }
    }
    // Empties the list and leaves its storage in `spare`, and push_back takes
    // it from there: a sweep that empties and refills one list after another
    // then allocates no list at all, while only one spare is ever held.
    void clear(Storage& spare)
    {
        if (!m_sites)
            return;
        m_sites->clear();
        spare = std::move(m_sites);
    }
    void push_back(SiteNode site, Storage& spare)
    {
        if (!m_sites && spare)
            m_sites = std::move(spare);
        push_back(std::move(site));
    }

private:
    Storage m_sites;  // null when the list has never held a site since it was cleared
};

}  // namespace kalvo
