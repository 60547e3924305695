// util/append_file.h: appending a whole block to a file that may hold months of earlier results.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace kalvo {

// While an append writes, "<file>.kalvo-append" next to the file records the
// file's size before the block. It is removed once the block is safely on
// disk; one that is still there means that an append was killed mid-way, and
// the next append to that file first cuts the file back to the recorded size.
inline constexpr std::string_view kAppendJournalSuffix = ".kalvo-append";

// Why a file cannot be appended to or created, or nothing when it can.
// Leaves the file system as it was.
std::optional<std::string> CheckAppendable(const std::string& path);

// Appends the bytes whole or not at all. The file is locked for the append,
// so blocks of several processes never mix; a block that cannot be written
// whole (a full disk, a size limit) is cut off again, and a file this call
// created is removed; a block cut short by a kill is cut off by the next
// append. The result says why when the block was not appended.
std::optional<std::string> AppendWhole(const std::string& path, std::string_view bytes);

// Replaces the file with the bytes, or leaves it as it was: they go to a
// temporary file of a unique name beside it, are synced, then renamed over it.
std::optional<std::string> ReplaceWhole(const std::string& path, std::string_view bytes);

}  // namespace kalvo
