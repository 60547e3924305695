// discover/known/transfac_reader.cpp: motifs of TRANSFAC matrix files, the bundled JASPAR collections among them.
#include <algorithm>
#include <cctype>

#include "discover/known/motif_readers.h"
#include "discover/known/motif_text.h"
#include "util/number_text.h"

namespace kalvo {
namespace {

bool AllDigits(std::string_view word)
{
    return !word.empty() && std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isdigit(c); });
}

// One entry between "//" lines as read so far.
struct TransfacEntry {
    std::string accession, identifier, name, family, tfClass, taxon;
    int firstLine = 0;                       // the entry's AC or ID line
    int headerLine = 0;                      // its P0 line; 0 until one is read
    std::array<std::size_t, 4> order{};      // the header's letters: column k of a row holds letter order[k]
    ReadMatrix matrix;

    std::string Id() const { return accession.empty() ? identifier : accession; }
};

class TransfacReader {
public:
    TransfacReader(const std::vector<std::string>& lines, const std::string& source) : m_lines(lines), m_source(source) {}

    MotifRead Read()
    {
        for (std::size_t i = 0; i < m_lines.size() && !m_result.refusal; ++i)
            Line(Trimmed(m_lines[i]), static_cast<int>(i) + 1);
        if (!m_result.refusal)
            Close();
        if (!m_result.refusal)
            m_result.refusal = CheckUniqueIds(m_result.motifs, m_firstLines, m_source);
        if (m_result.refusal)
            m_result.motifs.clear();
        return std::move(m_result);
    }

private:
    void Refuse(int line, const std::string& problem) { m_result.refusal = LineProblem(m_source, line, problem); }

    void Line(std::string_view line, int lineNumber)
    {
        if (line.empty())
            return;
        if (line.starts_with("//")) {
            Close();
            return;
        }
        const std::vector<std::string_view> cells = Cells(line);
        const std::string_view code = cells[0];
        const std::string_view rest = Trimmed(line.substr(code.size()));
        if (AllDigits(code))
            Row(cells, lineNumber);
        else if (code == "P0" || code == "PO")
            Header(cells, lineNumber);
        else if (code == "AC" || code == "ID" || code == "NA")
            Label(code, rest, lineNumber);
        else if (code == "CC")
            Comment(rest);
    }

    void Label(std::string_view code, std::string_view rest, int lineNumber)
    {
        if (m_entry.firstLine == 0)
            m_entry.firstLine = lineNumber;
        // An accession or identifier is one word; a name may have several.
        const std::vector<std::string_view> words = Cells(rest);
        if (code != "NA" && words.empty())
            return Refuse(lineNumber, "an " + std::string(code) + " line without its value");
        if (code == "AC")
            m_entry.accession = std::string(words[0]);
        else if (code == "ID")
            m_entry.identifier = std::string(words[0]);
        else
            m_entry.name = std::string(rest);
    }

    void Comment(std::string_view rest)
    {
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos)
            return;
        const std::string_view key = Trimmed(rest.substr(0, colon));
        const std::string value(Trimmed(rest.substr(colon + 1)));
        if (key == "tax_group")
            m_entry.taxon = value;
        else if (key == "tf_family")
            m_entry.family = value;
        else if (key == "tf_class")
            m_entry.tfClass = value;
    }

    void Header(const std::vector<std::string_view>& cells, int lineNumber)
    {
        if (m_entry.headerLine != 0)
            return Refuse(lineNumber, "a second P0 line in motif '" + m_entry.Id() + "' (is a '//' line missing?)");
        std::array<bool, 4> seen{};
        if (cells.size() != 5)
            return Refuse(lineNumber, "the P0 line names " + std::to_string(cells.size() - 1) +
                                          " letters; it must name A, C, G and T");
        for (std::size_t k = 0; k < 4; ++k) {
            const std::string_view letter = cells[k + 1];
            const std::size_t at = letter.size() == 1 ? std::string_view("ACGT").find(letter[0]) : std::string_view::npos;
            if (at == std::string_view::npos || seen[at])
                return Refuse(lineNumber, "the P0 line must name A, C, G and T, each once");
            seen[at] = true;
            m_entry.order[k] = at;
        }
        m_entry.headerLine = lineNumber;
        m_entry.matrix.firstLine = lineNumber;
    }

    void Row(const std::vector<std::string_view>& cells, int lineNumber)
    {
        if (m_entry.headerLine == 0)
            return Refuse(lineNumber, "a matrix row before the P0 line of its motif");
        const std::string id = m_entry.Id().empty() ? "without an id" : m_entry.Id();
        const std::size_t expected = m_entry.matrix.columns.size() + 1;
        if (ParseLeadingInt(cells[0]) != static_cast<int>(expected))
            return Refuse(lineNumber, "row " + std::string(cells[0]) + " of motif '" + id + "' comes where row " +
                                          std::to_string(expected) + " should");
        // Four numbers, then perhaps the consensus letter.
        const bool consensus = cells.size() == 6 && !ReadsWholeAsReal(cells[5]);
        if (cells.size() != 5 && !consensus)
            return Refuse(lineNumber, "row " + std::string(cells[0]) + " of motif '" + id + "' has " +
                                          std::to_string(cells.size() - 1) +
                                          " cells; a row needs 4 numbers (A, C, G, T) and perhaps a consensus letter");
        std::array<double, 4> column{};
        for (std::size_t k = 0; k < 4; ++k) {
            std::string problem;
            const auto value = MatrixCell(cells[k + 1], problem);
            if (!value)
                return Refuse(lineNumber, problem);
            column[m_entry.order[k]] = *value;
        }
        m_entry.matrix.columns.push_back(column);
        m_entry.matrix.lines.push_back(lineNumber);
    }

    // Ends the entry at "//" or the end of the file; an entry with neither id nor matrix (a release header) is no motif.
    void Close()
    {
        TransfacEntry entry = std::move(m_entry);
        m_entry = TransfacEntry();
        if (entry.Id().empty() && entry.headerLine == 0)
            return;
        if (entry.Id().empty())
            return Refuse(entry.headerLine, "a motif without an AC or ID line");
        if (entry.headerLine == 0)
            return Refuse(entry.firstLine, "motif '" + entry.Id() + "' has no P0 matrix");
        KnownMotif motif;
        motif.id = entry.Id();
        motif.name = !entry.name.empty() ? entry.name : !entry.identifier.empty() ? entry.identifier : motif.id;
        motif.family = entry.family;
        motif.tfClass = entry.tfClass;
        motif.taxon = entry.taxon;
        motif.source = m_source;
        if ((m_result.refusal = SetShares(motif, entry.matrix, m_source)))
            return;
        m_result.motifs.push_back(std::move(motif));
        m_firstLines.push_back(entry.firstLine != 0 ? entry.firstLine : entry.headerLine);
    }

    const std::vector<std::string>& m_lines;
    const std::string& m_source;
    MotifRead m_result;
    std::vector<int> m_firstLines;
    TransfacEntry m_entry;
};

}  // namespace

MotifRead ReadTransfacMotifs(const std::vector<std::string>& lines, const std::string& source)
{
    return TransfacReader(lines, source).Read();
}

}  // namespace kalvo
