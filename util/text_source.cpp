// util/text_source.cpp: plain or gzip text in chunks, and what a text that is not FASTA looks like.
#include "util/text_source.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

namespace kalvo {
namespace {

// Bytes taken from the file per read.
constexpr std::size_t kReadChunk = 1 << 16;

// zlib's window for gzip only: 15 bits of history, plus 16 for the gzip wrapper.
constexpr int kGzipWindowBits = 15 + 16;

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool IsGzipMagic(const char* bytes)
{
    return static_cast<unsigned char>(bytes[0]) == 0x1f && static_cast<unsigned char>(bytes[1]) == 0x8b;
}

}  // namespace

FileHandle OpenForReading(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || path.find('\0') != std::string::npos || std::filesystem::is_directory(path, ec))
        return nullptr;
    return FileHandle(std::fopen(path.c_str(), "rb"));
}

struct TextSource::Inflater {
    z_stream stream{};
    bool ready = false;     // inflateInit2 succeeded, so inflateEnd is owed
    bool inMember = false;  // inside a gzip member: the file must not end here
    ~Inflater()
    {
        if (ready)
            inflateEnd(&stream);
    }
};

TextSource::TextSource(const std::string& path, TextCheck check) : m_file(OpenForReading(path)), m_check(check) {}

TextSource::~TextSource() = default;

void TextSource::SetFault(TextFault fault, std::string text)
{
    m_fault = fault;
    m_faultText = std::move(text);
}

bool TextSource::FillInput()
{
    if (m_endOfFile)
        return false;
    m_inputPos = 0;
    m_inputEnd = std::fread(m_input.data(), 1, m_input.size(), m_file.get());
    if (m_inputEnd > 0)
        return true;
    m_endOfFile = true;
    if (std::ferror(m_file.get())) {
        const int error = errno;
        SetFault(TextFault::ReadError, error != 0 ? std::strerror(error) : "the file cannot be read");
    }
    return false;
}

std::size_t TextSource::Read(char* into, std::size_t capacity)
{
    if (capacity == 0)
        return 0;
    const std::size_t count = ReadText(into, capacity);
    return m_check == TextCheck::RefuseBinary ? CheckText(into, count) : count;
}

std::size_t TextSource::CheckText(const char* text, std::size_t count)
{
    if (m_fault != TextFault::None)
        return count;
    if (m_firstBytes.size() < kForeignTextBytes)
        m_firstBytes.append(text, std::min(count, kForeignTextBytes - m_firstBytes.size()));
    const auto* nul = static_cast<const char*>(std::memchr(text, '\0', count));
    // The first bytes are judged once they are all there, or before a NUL byte
    // is: UTF-16 and UTF-32 hold NUL bytes, and are named as what they are.
    if (!m_firstChecked && (m_firstBytes.size() == kForeignTextBytes || count == 0 || nul != nullptr)) {
        m_firstChecked = true;
        if (auto kind = ForeignTextKind(m_firstBytes)) {
            SetFault(TextFault::ForeignText, "looks like " + *kind);
            return 0;
        }
    }
    if (nul == nullptr) {
        m_handedOn += static_cast<long long>(count);
        return count;
    }
    // The bytes before the NUL are still handed on; the text ends there.
    const auto before = static_cast<std::size_t>(nul - text);
    m_handedOn += static_cast<long long>(before);
    SetFault(TextFault::NulByte, "holds a NUL byte (at byte " + std::to_string(m_handedOn + 1) +
                                     (IsGzip() ? " of its decompressed text" : "") + ")");
    return before;
}

std::size_t TextSource::ReadText(char* into, std::size_t capacity)
{
    if (!m_file || m_fault != TextFault::None || capacity == 0)
        return 0;
    if (!m_started) {
        // The first chunk decides between plain text and gzip; it is handed on
        // from memory, so nothing is read twice and the file need not seek.
        m_started = true;
        m_input.resize(kReadChunk);
        if (!FillInput())
            return 0;
        if (m_inputEnd >= 2 && IsGzipMagic(m_input.data())) {
            m_inflater = std::make_unique<Inflater>();
            if (inflateInit2(&m_inflater->stream, kGzipWindowBits) != Z_OK) {
                SetFault(TextFault::GzipCorrupt, "the gzip data cannot be decompressed (out of memory)");
                return 0;
            }
            m_inflater->ready = true;
        }
    }
    if (m_inflater)
        return Inflate(into, capacity);
    if (m_inputPos < m_inputEnd) {
        const std::size_t count = std::min(capacity, m_inputEnd - m_inputPos);
        std::memcpy(into, m_input.data() + m_inputPos, count);
        m_inputPos += count;
        return count;
    }
    if (m_endOfFile)
        return 0;
    const std::size_t count = std::fread(into, 1, capacity, m_file.get());
    if (count == 0) {
        m_endOfFile = true;
        if (std::ferror(m_file.get())) {
            const int error = errno;
            SetFault(TextFault::ReadError, error != 0 ? std::strerror(error) : "the file cannot be read");
        }
    }
    return count;
}

std::size_t TextSource::Inflate(char* into, std::size_t capacity)
{
    z_stream& stream = m_inflater->stream;
    const auto room = static_cast<uInt>(std::min<std::size_t>(capacity, UINT_MAX));
    for (;;) {
        if (m_inputPos == m_inputEnd && !FillInput()) {
            if (m_fault == TextFault::None && m_inflater->inMember)
                SetFault(TextFault::GzipCutShort, "the gzip data is cut short (the file ends inside it)");
            return 0;
        }
        if (!m_inflater->inMember) {
            // After a whole member only another member may follow.
            if (static_cast<unsigned char>(m_input[m_inputPos]) != 0x1f) {
                SetFault(TextFault::GzipTrailing, "the gzip data is followed by bytes that are not gzip data");
                return 0;
            }
            inflateReset(&stream);
            m_inflater->inMember = true;
        }
        stream.next_in = reinterpret_cast<Bytef*>(m_input.data() + m_inputPos);
        stream.avail_in = static_cast<uInt>(m_inputEnd - m_inputPos);
        stream.next_out = reinterpret_cast<Bytef*>(into);
        stream.avail_out = room;
        const int status = inflate(&stream, Z_NO_FLUSH);
        m_inputPos = m_inputEnd - stream.avail_in;
        const std::size_t produced = room - stream.avail_out;
        if (status == Z_STREAM_END)
            m_inflater->inMember = false;
        else if (status != Z_OK && status != Z_BUF_ERROR) {
            std::string text = "the gzip data is corrupt";
            if (status == Z_MEM_ERROR)
                text = "the gzip data cannot be decompressed (out of memory)";
            else if (stream.msg != nullptr)
                text += std::string(" (") + stream.msg + ")";
            SetFault(TextFault::GzipCorrupt, std::move(text));
            return 0;
        }
        if (produced > 0)
            return produced;
    }
}

std::optional<std::string> ForeignTextKind(std::string_view firstBytes)
{
    using namespace std::string_view_literals;
    const std::string_view saveAsText = "; save it as plain ASCII or UTF-8";
    const std::string_view decompress =
        "; decompress it first (sequence files are read as plain or gzip-compressed text)";
    // UTF-32 first: its little-endian mark begins with UTF-16's.
    if (StartsWith(firstBytes, "\x00\x00\xfe\xff"sv) || StartsWith(firstBytes, "\xff\xfe\x00\x00"sv))
        return "UTF-32 text (it starts with a byte order mark)" + std::string(saveAsText);
    if (StartsWith(firstBytes, "\xfe\xff"sv) || StartsWith(firstBytes, "\xff\xfe"sv))
        return "UTF-16 text (it starts with a byte order mark)" + std::string(saveAsText);
    if (StartsWith(firstBytes, "\xfd" "7zXZ\x00"sv))
        return "xz-compressed data" + std::string(decompress);
    if (StartsWith(firstBytes, "\x28\xb5\x2f\xfd"sv))
        return "zstd-compressed data" + std::string(decompress);
    // "BZh", the block size digit, then the magic of the first block.
    if (firstBytes.size() >= 10 && StartsWith(firstBytes, "BZh") && firstBytes[3] >= '1' && firstBytes[3] <= '9' &&
        firstBytes.substr(4, 6) == "1AY&SY")
        return "bzip2-compressed data" + std::string(decompress);
    if (StartsWith(firstBytes, "PK\x03\x04"sv))
        return "a zip archive" + std::string(decompress);
    return std::nullopt;
}

}  // namespace kalvo
