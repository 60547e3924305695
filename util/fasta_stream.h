// util/fasta_stream.h: the sequences of a FASTA file a piece at a time, so that a
// genome is read in memory bounded by the piece size, whatever its length or layout.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "util/text_source.h"

namespace kalvo {

// A stretch of one sequence: its letters as the file has them, line ends and blanks removed.
struct FastaPiece {
    long long record = 0;   // 0-based index of the sequence in the file
    std::string name;       // the first word of its header
    long long start = 0;    // position of residues[0] in the sequence, from 0
    std::string residues;
    bool first = false;     // the sequence starts with this piece
    bool last = false;      // the sequence ends with this piece
};

// Reads plain or gzip FASTA (a file or "-" for standard input is the caller's choice of
// path). A sequence longer than the piece size comes in several pieces; every sequence
// gives at least one piece, an empty one when it has no letter. Letters of any case and
// '-', '*', '.' are residues; blanks, tabs and CR are dropped; lines starting with ';' are
// comments. Anything else, text before the first header, or binary data ends the reading
// with a problem that names the file and the line.
class FastaStream {
public:
    FastaStream(const std::string& path, std::size_t pieceResidues);

    // Why the file cannot be read at all (missing, a folder), or nothing.
    std::optional<std::string> OpenProblem() const;
    // The next piece; false at the end of the file or at a problem (see Problem).
    bool Next(FastaPiece& piece);
    // Why reading stopped before the end, naming the file and the line; nothing at the end.
    const std::optional<std::string>& Problem() const { return m_problem; }
    bool IsGzip() const { return m_source.IsGzip(); }

private:
    // The next byte of text, or -1 at its end.
    int Get();
    bool Fail(const std::string& what);
    // Reads a header line after its '>' into m_name (its first word), the rest skipped.
    void ReadHeader();

    std::string m_path;
    std::size_t m_pieceResidues;
    TextSource m_source;
    std::string m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    long long m_line = 1;        // of the next byte
    bool m_atLineStart = true;
    bool m_inRecord = false;     // a header has been read and its sequence not yet ended
    bool m_ended = false;
    long long m_record = -1;
    long long m_recordStart = 0; // position in the sequence of the next residue
    std::string m_name;
    std::optional<std::string> m_problem;
};

}  // namespace kalvo
