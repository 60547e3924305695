// util/file_bytes.h: a new file created whole with given bytes, and whether a file already holds them.
#pragma once
#include <optional>
#include <string>

namespace kalvo {

// A regular file (not through a link) that holds exactly these bytes.
bool HoldsBytes(const std::string& path, const std::string& bytes);

// Creates the file with the bytes, never replacing anything there; says why when it cannot.
// A file it started is removed again when it cannot be written whole.
std::optional<std::string> CreateWithBytes(const std::string& path, const std::string& bytes);

}  // namespace kalvo
