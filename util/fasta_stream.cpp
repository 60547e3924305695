// util/fasta_stream.cpp: FASTA read byte by byte from a streamed text, cut into pieces.
#include "util/fasta_stream.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "util/text_lines.h"

namespace kalvo {
namespace {

constexpr std::size_t kReadBlock = std::size_t{1} << 20;
// Header bytes kept for the name; the rest of a longer header line is skipped unread.
constexpr std::size_t kLongestName = 1000;

constexpr std::array<bool, 256> ResidueTable()
{
    std::array<bool, 256> table{};
    for (int c = 'A'; c <= 'Z'; ++c)
        table[static_cast<std::size_t>(c)] = table[static_cast<std::size_t>(c - 'A' + 'a')] = true;
    table['-'] = table['*'] = table['.'] = true;
    return table;
}
constexpr std::array<bool, 256> kResidues = ResidueTable();

bool IsResidue(int c) { return c >= 0 && kResidues[static_cast<std::size_t>(c)]; }
bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Shown(int c)
{
    if (std::isprint(c))
        return std::string("'") + static_cast<char>(c) + "'";
    static const char* kHex = "0123456789abcdef";
    return std::string("byte 0x") + kHex[(c >> 4) & 15] + kHex[c & 15];
}

}  // namespace

FastaStream::FastaStream(const std::string& path, std::size_t pieceResidues)
    : m_path(path), m_pieceResidues(pieceResidues == 0 ? 1 : pieceResidues), m_source(path, TextCheck::RefuseBinary)
{
    m_buffer.resize(kReadBlock);
}

std::optional<std::string> FastaStream::OpenProblem() const
{
    if (m_source.IsOpen())
        return std::nullopt;
    return "cannot read sequence file '" + m_path + "': " + DescribeOpenFailure(m_path);
}

int FastaStream::Get()
{
    if (m_pos == m_end) {
        if (m_ended)
            return -1;
        m_end = m_source.Read(m_buffer.data(), m_buffer.size());
        m_pos = 0;
        if (m_end == 0) {
            m_ended = true;
            if (m_source.Fault() != TextFault::None)
                Fail(m_source.FaultText());
            return -1;
        }
    }
    return static_cast<unsigned char>(m_buffer[m_pos++]);
}

bool FastaStream::Fail(const std::string& what)
{
    if (!m_problem)
        m_problem = "sequence file '" + m_path + "' " + what;
    m_ended = true;
    m_pos = m_end;
    return false;
}

void FastaStream::ReadHeader()
{
    m_name.clear();
    bool inName = true;
    for (int c = Get(); c >= 0; c = Get()) {
        if (c == '\n') {
            ++m_line;
            m_atLineStart = true;
            return;
        }
        if (inName && m_name.empty() && IsBlank(c))
            continue;
        if (IsBlank(c))
            inName = false;
        else if (inName && m_name.size() < kLongestName)
            m_name += static_cast<char>(c);
    }
}

// Long by design: one pass over the bytes, lines and pieces together, each case a few lines.
bool FastaStream::Next(FastaPiece& piece)
{
    if (m_problem)
        return false;
    piece.residues.clear();
    piece.first = false;
    piece.last = false;
    for (;;) {
        const int c = Get();
        if (m_problem)
            return false;
        const bool recordEnds = c < 0 || (m_atLineStart && c == '>');
        if (recordEnds && m_inRecord) {
            // The sequence ends: hand on what is left of it, even nothing.
            piece.record = m_record;
            piece.name = m_name;
            piece.start = m_recordStart;
            piece.first = m_recordStart == 0 && piece.residues.empty() ? true : piece.first;
            piece.last = true;
            m_recordStart += static_cast<long long>(piece.residues.size());
            m_inRecord = false;
            if (c == '>')
                --m_pos;  // read again as the next record's header
            return true;
        }
        if (c < 0) {
            if (m_record < 0)
                return Fail("holds no sequence (no line starts with '>')");
            return false;
        }
        if (m_atLineStart && c == '>') {
            ReadHeader();
            ++m_record;
            m_recordStart = 0;
            m_inRecord = true;
            continue;
        }
        if (c == '\n') {
            ++m_line;
            m_atLineStart = true;
            continue;
        }
        if (IsBlank(c))
            continue;
        if (m_atLineStart && c == ';') {
            for (int d = Get(); d >= 0 && d != '\n'; d = Get()) {
            }
            ++m_line;
            continue;
        }
        m_atLineStart = false;
        if (!m_inRecord)
            return Fail("does not start with a '>' header line (line " + std::to_string(m_line) + ")");
        if (!IsResidue(c))
            return Fail("line " + std::to_string(m_line) + " holds " + Shown(c) + ", which is not a sequence letter");
        if (piece.residues.empty()) {
            piece.record = m_record;
            piece.name = m_name;
            piece.start = m_recordStart;
            piece.first = m_recordStart == 0;
        }
        piece.residues += static_cast<char>(c);
        // The letters that follow on the line, at once: the hot path of a large file.
        const std::size_t limit = std::min(m_end, m_pos + (m_pieceResidues - std::min(m_pieceResidues, piece.residues.size())));
        std::size_t run = m_pos;
        while (run < limit && kResidues[static_cast<unsigned char>(m_buffer[run])])
            ++run;
        piece.residues.append(m_buffer.data() + m_pos, run - m_pos);
        m_pos = run;
        if (piece.residues.size() >= m_pieceResidues) {
            m_recordStart += static_cast<long long>(piece.residues.size());
            return true;
        }
    }
}

}  // namespace kalvo
