// model/sequence_input.cpp: ReadSequences, the FASTA-style input and the per-run storage.
#include <filesystem>
#include <string>
#include <system_error>

#include "model/run_state.h"
#include "util/text_lines.h"

namespace kalvo {
namespace {

// Sequence lines holding blanks or tabs: they are read as they are, and the
// user is told once per file.
struct BlankLines {
    long long count = 0;
    long long first = 0;  // 1-based line number

    void Note(const std::string& line, long long lineNumber)
    {
        if (line.find_first_of(" \t") == std::string::npos)
            return;
        if (count++ == 0)
            first = lineNumber;
    }
    std::optional<std::string> Warning(const std::string& path) const
    {
        if (count == 0)
            return std::nullopt;
        const std::string lines =
            count == 1 ? "sequence line " + std::to_string(first) + " holds blanks or tabs"
                       : std::to_string(count) + " sequence lines hold blanks or tabs (the first is line " +
                             std::to_string(first) + ")";
        return "sequence file '" + path + "': " + lines + "; they are kept as read and count as non-bases, like N";
    }
};

}  // namespace

Outcome CMotifSampler::ReadSequences()
{
    // Read line by line: a large file is never held whole next to its sequences.
    // Binary data is refused at its first block: a device or a pipe of it
    // (/dev/zero) holds no line end and would be read until memory runs out.
    LineReader reader(m_inputPath, TextCheck::RefuseBinary);
    if (!reader.IsOpen())
        return Refusal{"cannot open sequence file '" + m_inputPath + "': " + DescribeOpenFailure(m_inputPath)};

    m_seqs.Clear();
    m_totalLength = 0;
    std::vector<long long>().swap(m_startSlots);
    m_startSitesLeft = 0;
    // The residues of a file never outnumber its bytes: room for that many at
    // once spares a long sequence the copies of a growing buffer, and pages
    // never written cost no memory.
    std::error_code sizeError;
    if (std::filesystem::is_regular_file(m_inputPath, sizeError)) {
        const auto bytes = std::filesystem::file_size(m_inputPath, sizeError);
        if (!sizeError)
            m_seqs.ReserveResidues(static_cast<std::size_t>(bytes));
    }
    // Any line holding '>' is a header. Sequence lines before the first header
    // belong to no sequence and are dropped.
    std::string line;
    long long lineNumber = 0;
    BlankLines blankLines;
    while (reader.Next(line)) {
        ++lineNumber;
        if (line.find('>') != std::string::npos) {
            m_seqs.AddSequence(line);
            continue;
        }
        if (m_seqs.empty())
            continue;
        blankLines.Note(line, lineNumber);
        for (char& letter : line) {
            if (letter >= 'a' && letter <= 'z')
                letter = static_cast<char>(letter - 'a' + 'A');
        }
        m_seqs.AppendResidues(line);
        m_totalLength += static_cast<long long>(line.size());
    }
    if (reader.Failed()) {
        m_seqs.Clear();
        m_totalLength = 0;
        if (reader.Fault() == TextFault::ForeignText)
            return Refusal{"sequence file '" + m_inputPath + "' " + reader.FaultText()};
        if (reader.Fault() == TextFault::NulByte)
            return Refusal{"sequence file '" + m_inputPath + "' " + reader.FaultText() +
                           ": it looks like a binary file, not FASTA text"};
        if (reader.Fault() != TextFault::ReadError)
            return Refusal{"cannot read sequence file '" + m_inputPath + "': " + reader.FaultText()};
        return Refusal{"cannot open sequence file '" + m_inputPath + "': " + DescribeOpenFailure(m_inputPath)};
    }
    if (auto warning = blankLines.Warning(m_inputPath))
        m_warnings.push_back(std::move(*warning));
    m_numSeqs = static_cast<int>(m_seqs.size());
    if (m_numSeqs == 0)
        return Refusal{"sequence file '" + m_inputPath + "' holds no sequence: no line holds a '>' header"};
    if (CandidatePositions() == 0)
        return Refusal{"sequence file '" + m_inputPath + "': no sequence is as long as the motif width " +
                       std::to_string(m_width)};

    const auto cells = static_cast<std::size_t>(m_width) * 4;
    m_motifProb.assign(cells, 0.0);
    m_counts.assign(cells, 0);
    m_numPairs = 0;
    m_groups.clear();
    m_bestGroups.clear();

    if (m_priorOdds < 0.0)
        m_priorOdds = 200 + 1800 * m_random.Next() / 32768.0;
    m_samplingPriorOdds = m_priorOdds;

    m_sites.assign(static_cast<std::size_t>(m_numSeqs), SiteList());
    m_bestSites.assign(static_cast<std::size_t>(m_numSeqs), SiteList());
    return std::nullopt;
}

long long CMotifSampler::CandidatePositions() const
{
    long long positions = 0;
    for (std::size_t s = 0; s < m_seqs.size(); ++s) {
        const long long slots = static_cast<long long>(m_seqs.Length(s)) - m_width + 1;
        if (slots > 0)
            positions += slots;
    }
    return m_bothStrands ? 2 * positions : positions;
}

}  // namespace kalvo
