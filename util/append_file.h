// util/append_file.h: appending a whole block to a file that may hold months of earlier results.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace kalvo {

// Why a file cannot be appended to or created, or nothing when it can.
// Leaves the file system as it was.
std::optional<std::string> CheckAppendable(const std::string& path);

// Appends the bytes in one write. On any failure the file is cut back to its
// old size (or removed when this call created it), so it never holds half a
// block; the result then says why.
std::optional<std::string> AppendWhole(const std::string& path, std::string_view bytes);

}  // namespace kalvo
