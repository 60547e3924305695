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
    ForeignText,   // the first bytes show another encoding or a compression other than gzip
    NulByte,       // the text holds a NUL byte: binary data, not text
};

// Whether a TextSource stops at the first sign that its text is not text.
enum class TextCheck {
    None,          // every byte is handed on
    RefuseBinary,  // a foreign first few bytes (ForeignTextKind) or a NUL byte end the text with a fault
};

// Streams the text of a file without holding it whole. A file that starts with
// the gzip magic bytes (1f 8b) is decompressed, whatever its name; members
// written one after another (bgzip, `cat a.gz b.gz`) read as one text. The
// first bytes decide, so pipes and other files that cannot seek work too.
// With TextCheck::RefuseBinary a file that is not text ends at once, so a
// device or a pipe of binary data (/dev/zero) is never read to its end.
class TextSource {
public:
    // Opens the file; see IsOpen. A folder, an empty name or a name holding a NUL byte does not open.
    explicit TextSource(const std::string& path, TextCheck check = TextCheck::None);
    ~TextSource();
    TextSource(const TextSource&) = delete;
    TextSource& operator=(const TextSource&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    // Puts up to `capacity` bytes of text at `into`; 0 at the end of the text or at a fault.
    std::size_t Read(char* into, std::size_t capacity);
    // The file is gzip; known once Read has been called.
    bool IsGzip() const { return m_inflater != nullptr; }
    TextFault Fault() const { return m_fault; }
    // The fault in words for a message: "the gzip data is corrupt (invalid block type)". The text
    // faults read after the file's name: "looks like UTF-16 text (...); save it as plain ASCII or
    // UTF-8", "holds a NUL byte (at byte 7 of its decompressed text)".
    const std::string& FaultText() const { return m_faultText; }

private:
    struct Inflater;  // zlib's state, kept out of this header
    std::size_t ReadText(char* into, std::size_t capacity);
    // Of `count` bytes just read, how many come before a sign that the text is not text.
    std::size_t CheckText(const char* text, std::size_t count);
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
    TextCheck m_check = TextCheck::None;
    long long m_handedOn = 0;   // bytes of text given to the reader so far
    std::string m_firstBytes;   // up to kForeignTextBytes, for the check
    bool m_firstChecked = false;
};

// What the first bytes of a text look like, and what to do, when they show it is
// not text a FASTA reader can take: "UTF-16 text (it starts with a byte order mark);
// save it as plain ASCII or UTF-8". Nothing for anything else, a UTF-8 byte order
// mark included.
std::optional<std::string> ForeignTextKind(std::string_view firstBytes);

// As many first bytes as ForeignTextKind looks at.
inline constexpr std::size_t kForeignTextBytes = 10;

}  // namespace kalvo
