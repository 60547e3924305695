// util/text_lines.h: reads a text file as lines, whatever system wrote it.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvo {

// Lines without their line ends. A line end is LF or CR LF, and a CR that is
// the very last byte of the text also belongs to the line end; any other CR
// is an ordinary character. A last line without a line end is still a line.
std::vector<std::string> SplitLines(std::string_view text);

// The whole file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Why a file could not be read, in words for a message ("No such file or directory").
std::string DescribeOpenFailure(const std::string& path);

}  // namespace kalvo
