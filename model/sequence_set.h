// model/sequence_set.h: a run's sequences and header lines, each byte stored once in one buffer.
#pragma once
#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// Header lines in one buffer with the end of each. Copies share the text, so a
// summary of a run can keep the headers without holding them twice; a copy
// that is added to first takes its own text.
class HeaderList {
public:
    std::size_t size() const { return m_text ? m_text->ends.size() : 0; }
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t i) const;
    void Add(std::string_view header);
    void clear() { m_text.reset(); }

private:
    struct Text {
        std::string bytes;
        std::vector<std::size_t> ends;  // end of line i in bytes; line i starts where line i - 1 ends
    };
    std::shared_ptr<Text> m_text;
};

// Sequences in input order: all residues in one buffer, with the start of each
// sequence, and their header lines. A sequence costs its residues, its header
// and two offsets, however short it is.
class SequenceSet {
public:
    void Clear();
    // Room for this many residues in all, so a large input is not copied as it
    // grows. Only a hint: when the system will not give that much at once, the
    // set grows as residues come.
    void ReserveResidues(std::size_t residues);
    // Opens a new, empty sequence under its header line (as read, '>' included).
    void AddSequence(std::string_view header);
    // Adds residues to the end of the last sequence opened; needs one.
    void AppendResidues(std::string_view residues);

    std::size_t size() const { return m_headers.size(); }
    bool empty() const { return size() == 0; }
    // The residues of sequence s.
    std::string_view operator[](std::size_t s) const
    {
        return std::string_view(m_residues).substr(m_starts[s], m_starts[s + 1] - m_starts[s]);
    }
    std::size_t Length(std::size_t s) const { return m_starts[s + 1] - m_starts[s]; }
    // Where sequence s begins among the residues of all sequences, one after another.
    std::size_t Start(std::size_t s) const { return m_starts[s]; }
    std::size_t TotalResidues() const { return m_residues.size(); }
    std::string_view Header(std::size_t s) const { return m_headers[s]; }
    const HeaderList& Headers() const { return m_headers; }

    // The residues of each sequence in turn, for range-for.
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;
        Iterator() = default;
        Iterator(const SequenceSet* set, std::size_t s) : m_set(set), m_s(s) {}
        std::string_view operator*() const { return (*m_set)[m_s]; }
        Iterator& operator++() { ++m_s; return *this; }
        Iterator operator++(int) { Iterator before = *this; ++m_s; return before; }
        bool operator==(const Iterator& other) const { return m_s == other.m_s; }

    private:
        const SequenceSet* m_set = nullptr;
        std::size_t m_s = 0;
    };
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, size()); }

private:
    std::string m_residues;
    std::vector<std::size_t> m_starts;  // size() + 1 entries once a sequence is open; the last is the end
    HeaderList m_headers;
};

}  // namespace kalvo
