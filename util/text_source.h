// util/text_source.h: a file's text a chunk at a time, decompressed on the way when the file is gzip.
#pragma once
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file to read its bytes; nothing for a folder (which opens on some
// systems and then fails to read), an empty name or a name holding a NUL byte.
FileHandle OpenForReading(const std::string& path);

// Why reading a file's text stopped before its end.
enum class TextFault {
    None,
    ReadError,     // the system could not read the file
    GzipCorrupt,   // the gzip data does not decompress, or fails its checks
    GzipCutShort,  // the file ends inside a gzip member
    GzipTrailing,  // bytes that are not gzip data follow the last whole member
};

// Streams the text of a file without holding it whole. A file that starts with
// the gzip magic bytes (1f 8b) is decompressed, whatever its name; members
// written one after another (bgzip, `cat a.gz b.gz`) read as one text. The
// first bytes decide, so pipes and other files that cannot seek work too.
class TextSource {
public:
    // Opens the file; see IsOpen. A folder, an empty name or a name holding a NUL byte does not open.
    explicit TextSource(const std::string& path);
    ~TextSource();
    TextSource(const TextSource&) = delete;
    TextSource& operator=(const TextSource&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    // Puts up to `capacity` bytes of text at `into`; 0 at the end of the text or at a fault.
    std::size_t Read(char* into, std::size_t capacity);
    // The file is gzip; known once Read has been called.
    bool IsGzip() const { return m_inflater != nullptr; }
    TextFault Fault() const { return m_fault; }
    // The fault in words for a message: "the gzip data is corrupt (invalid block type)".
    const std::string& FaultText() const { return m_faultText; }

private:
    struct Inflater;  // zlib's state, kept out of this header
    bool FillInput();
    std::size_t Inflate(char* into, std::size_t capacity);
    void SetFault(TextFault fault, std::string text);

    FileHandle m_file;
    std::unique_ptr<Inflater> m_inflater;
    std::vector<char> m_input;  // bytes read from the file and not yet handed on or inflated
    std::size_t m_inputPos = 0;
    std::size_t m_inputEnd = 0;
    bool m_started = false;
    bool m_endOfFile = false;
    TextFault m_fault = TextFault::None;
    std::string m_faultText;
};

// What the first bytes of a text look like, and what to do, when they show it is
// not text a FASTA reader can take: "UTF-16 text (it starts with a byte order mark);
// save it as plain ASCII or UTF-8". Nothing for anything else, a UTF-8 byte order
// mark included.
std::optional<std::string> ForeignTextKind(std::string_view firstBytes);

// As many first bytes as ForeignTextKind looks at.
inline constexpr std::size_t kForeignTextBytes = 10;

}  // namespace kalvo
