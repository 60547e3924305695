// util/text_lines.cpp: line splitting with LF and CR LF line ends.
#include "util/text_lines.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kalvo {
namespace {

// Bytes taken from the file per read while splitting it into lines.
constexpr std::size_t kReadChunk = 1 << 16;

}  // namespace

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        // A CR before the LF, or a CR that ends the whole text, is part of the line end.
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.emplace_back(text.substr(start, end - start));
        if (lf == std::string_view::npos)
            break;
        start = lf + 1;
    }
    return lines;
}

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    const FileHandle file = OpenForReading(path);
    if (!file)
        return std::nullopt;
    std::string bytes;
    // Size the text once when the file says how long it is; pipes and the like just grow.
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[kReadChunk];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.append(chunk, got);
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(file.get()))
        return std::nullopt;
    return bytes;
}

std::string DescribeOpenFailure(const std::string& path)
{
    if (path.empty())
        return "no file name given";
    if (path.find('\0') != std::string::npos)
        return "the file name holds a NUL byte";
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return "it is a directory";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        return error != 0 ? std::strerror(error) : "cannot be opened";
    }
    return "cannot be read";
}

LineReader::LineReader(const std::string& path, TextCheck check) : m_source(path, check)
{
    if (m_source.IsOpen())
        m_buffer.resize(kReadChunk);
}

bool LineReader::Fill()
{
    m_bufferStart += static_cast<long long>(m_end);
    m_pos = 0;
    m_end = m_source.Read(m_buffer.data(), m_buffer.size());
    return m_end > 0;
}

bool LineReader::Next(std::string& line)
{
    line.clear();
    m_lineStart = m_bufferStart + static_cast<long long>(m_pos);
    bool any = false;  // bytes seen since the last line end
    for (;;) {
        if (m_pos == m_end && !Fill())
            break;
        const char* begin = m_buffer.data() + m_pos;
        const std::size_t available = m_end - m_pos;
        const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', available));
        any = true;
        if (lf != nullptr) {
            line.append(begin, lf);
            m_pos += static_cast<std::size_t>(lf - begin) + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line.append(begin, available);
        m_pos = m_end;
    }
    if (!any || Failed())
        return false;
    // The last line has no LF: a CR that is the file's very last byte is its line end.
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

}  // namespace kalvo
