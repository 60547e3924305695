// model/sequence_set.cpp: adding to the shared header text and the residue buffer.
#include "model/sequence_set.h"

#include <cassert>
#include <new>
#include <stdexcept>

namespace kalvo {

std::string_view HeaderList::operator[](std::size_t i) const
{
    const std::size_t begin = i == 0 ? 0 : m_text->ends[i - 1];
    return std::string_view(m_text->bytes).substr(begin, m_text->ends[i] - begin);
}

void HeaderList::Add(std::string_view header)
{
    // Copies share their text until one of them changes it.
    if (!m_text)
        m_text = std::make_shared<Text>();
    else if (m_text.use_count() > 1)
        m_text = std::make_shared<Text>(*m_text);
    m_text->bytes += header;
    m_text->ends.push_back(m_text->bytes.size());
}

void SequenceSet::Clear()
{
    // Swapped with empty ones so their storage goes too.
    std::string().swap(m_residues);
    std::vector<std::size_t>().swap(m_starts);
    m_headers.clear();
}

void SequenceSet::ReserveResidues(std::size_t residues)
{
    // A reservation that fails leaves the buffer as it was, to grow as it reads.
    try {
        m_residues.reserve(residues);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
}

void SequenceSet::AddSequence(std::string_view header)
{
    if (m_starts.empty())
        m_starts.push_back(0);
    m_starts.push_back(m_residues.size());
    m_headers.Add(header);
}

void SequenceSet::AppendResidues(std::string_view residues)
{
    assert(!empty());
    m_residues += residues;
    m_starts.back() = m_residues.size();
}

}  // namespace kalvo
