// model/sequence_input.cpp: ReadSequences, the FASTA-style input and the per-run storage.
#include <string>

#include "model/run_state.h"
#include "util/text_lines.h"

namespace kalvo {

Outcome CMotifSampler::ReadSequences()
{
    // Read line by line: a large file is never held whole next to its sequences.
    LineReader reader(m_inputPath);
    if (!reader.IsOpen())
        return Refusal{"cannot open sequence file '" + m_inputPath + "': " + DescribeOpenFailure(m_inputPath)};

    m_seqs.clear();
    m_seqNames.clear();
    m_totalLength = 0;
    // Any line holding '>' is a header. Sequence lines before the first header
    // belong to no sequence and are dropped.
    std::string line;
    while (reader.Next(line)) {
        if (line.find('>') != std::string::npos) {
            m_seqNames.push_back(line);
            m_seqs.emplace_back();
            continue;
        }
        if (m_seqs.empty())
            continue;
        std::string& sequence = m_seqs.back();
        const std::size_t start = sequence.size();
        sequence += line;
        for (std::size_t j = start; j < sequence.size(); ++j) {
            if (sequence[j] >= 'a' && sequence[j] <= 'z')
                sequence[j] = static_cast<char>(sequence[j] - 'a' + 'A');
        }
        m_totalLength += static_cast<long long>(line.size());
    }
    if (reader.Failed()) {
        m_seqs.clear();
        m_seqNames.clear();
        m_totalLength = 0;
        return Refusal{"cannot open sequence file '" + m_inputPath + "': " + DescribeOpenFailure(m_inputPath)};
    }
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
    for (const std::string& sequence : m_seqs) {
        const long long slots = static_cast<long long>(sequence.size()) - m_width + 1;
        if (slots > 0)
            positions += slots;
    }
    return m_bothStrands ? 2 * positions : positions;
}

}  // namespace kalvo
