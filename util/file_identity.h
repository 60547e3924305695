// util/file_identity.h: telling whether two names lead to one file, and what kind of file a name leads to.
#pragma once
#include <optional>
#include <string>

namespace kalvo {

// True when both names lead to one file: the same device and inode after
// symbolic links when both exist, otherwise the same absolute path with its
// links resolved as far as they exist (a file one of the names is still to
// create, through a link that does not lead anywhere yet included). Empty names lead nowhere.
bool SameFile(const std::string& a, const std::string& b);

// What an existing name that is not a regular file leads to, in words for a
// message ("a named pipe", "a character device", "a folder"); nothing for a
// regular file or a name that leads nowhere.
std::optional<std::string> SpecialFileKind(const std::string& path);

// The file a symbolic link that leads nowhere yet would create, as the
// shell's ">>" does; the name itself when it is not such a link.
std::string CreationTarget(const std::string& path);

}  // namespace kalvo
