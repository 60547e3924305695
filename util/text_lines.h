// util/text_lines.h: reads a text file as lines, whatever system wrote it.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/text_source.h"

namespace kalvo {

// Lines without their line ends. A line end is LF or CR LF, and a CR that is
// the very last byte of the text also belongs to the line end; any other CR
// is an ordinary character. A last line without a line end is still a line.
std::vector<std::string> SplitLines(std::string_view text);

// The whole file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Why a file could not be read, in words for a message ("No such file or directory").
std::string DescribeOpenFailure(const std::string& path);

// Reads a file one line at a time with the line rules of SplitLines, so that
// a large file is never held whole in memory next to what is made of it. A
// gzip file gives the lines of its decompressed text (see TextSource), and
// TextCheck::RefuseBinary ends a file that is not text with a fault.
class LineReader {
public:
    // Opens the file; see IsOpen. A folder, an empty name or a name holding a NUL byte does not open.
    explicit LineReader(const std::string& path, TextCheck check = TextCheck::None);

    bool IsOpen() const { return m_source.IsOpen(); }
    // Replaces `line` with the next line; false at the end of the file or when reading fails.
    bool Next(std::string& line);
    // Reading stopped at an error, not at the end of the file.
    bool Failed() const { return m_source.Fault() != TextFault::None; }
    TextFault Fault() const { return m_source.Fault(); }
    // Why reading failed, in words for a message (TextSource::FaultText).
    const std::string& FaultText() const { return m_source.FaultText(); }
    // The file is gzip and its lines are those of the decompressed text.
    bool IsGzip() const { return m_source.IsGzip(); }
    // 0-based position in the text of the first byte of the line Next gave last.
    long long LineStart() const { return m_lineStart; }

private:
    bool Fill();

    TextSource m_source;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    long long m_bufferStart = 0;  // position in the text of m_buffer[0]
    long long m_lineStart = 0;
};

}  // namespace kalvo
