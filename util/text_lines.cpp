// util/text_lines.cpp: line splitting with LF and CR LF line ends.
#include "util/text_lines.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kalvo {

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
    std::error_code ec;
    if (path.empty() || std::filesystem::is_directory(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(bytes).str();
}

std::string DescribeOpenFailure(const std::string& path)
{
    if (path.empty())
        return "no file name given";
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

}  // namespace kalvo
