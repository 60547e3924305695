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
// A file of that name that Kalvo did not write is never changed or removed.
inline constexpr std::string_view kAppendJournalSuffix = ".kalvo-append";

// The name of a file that belongs with `path`, in its folder: its name and
// the suffix, or, where that would be longer than a file name may be, the
// start of its name, a hash of the whole name and the suffix.
std::string SideFileName(const std::string& path, std::string_view suffix);

// Why a file cannot be appended to or created, or nothing when it can.
// Leaves the file system as it was, and never opens a pipe or a device.
// A link that leads nowhere yet stands for the file it would create.
std::optional<std::string> CheckAppendable(const std::string& path);

// Appends the bytes whole or not at all. The file is locked for the append,
// so blocks of several processes never mix; a block that cannot be written
// whole (a full disk, a size limit) is cut off again, and a file this call
// created is removed; a block cut short by a kill is cut off by the next
// append. The result says why when the block was not appended.
std::optional<std::string> AppendWhole(const std::string& path, std::string_view bytes);

// Replaces the file with the bytes, or leaves it as it was: they go to a
// temporary file of a unique name beside it, are synced, then renamed over it.
// Through a link, the file the link leads to is replaced. Refuses pipes and devices.
std::optional<std::string> ReplaceWhole(const std::string& path, std::string_view bytes);

// ReplaceWhole for bytes that come a block at a time: the file keeps its old
// content (or stays absent) until Commit, and a writer dropped before it
// leaves nothing behind.
class ReplacingWriter {
public:
    ReplacingWriter() = default;
    ~ReplacingWriter() { Abandon(); }
    ReplacingWriter(const ReplacingWriter&) = delete;
    ReplacingWriter& operator=(const ReplacingWriter&) = delete;

    // Checks the path as ReplaceWhole does and creates the temporary file beside it.
    std::optional<std::string> Open(const std::string& path);
    // Appends to the temporary file; false once a write has failed (Commit then says why).
    bool Write(std::string_view bytes);
    // Syncs and renames the temporary file over the path; why not, when it could not.
    std::optional<std::string> Commit();
    // Removes the temporary file; the path is left as it was.
    void Abandon();

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_temporary;
    std::string m_failure;
};

}  // namespace kalvo
