// util/append_file.cpp: compose-then-commit appends with roll-back on failure.
#include "util/append_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kalvo {
namespace fs = std::filesystem;

namespace {

std::string ErrnoText(const char* fallback)
{
    return errno != 0 ? std::strerror(errno) : fallback;
}

}  // namespace

std::optional<std::string> CheckAppendable(const std::string& path)
{
    if (path.empty())
        return std::string("no output file name given");
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (fs::exists(status)) {
        if (fs::is_directory(status))
            return std::string("it is a directory");
        // Opening for appending changes nothing in the file.
        errno = 0;
        std::ofstream probe(path, std::ios::binary | std::ios::app);
        if (!probe)
            return ErrnoText("cannot be opened for appending");
        return std::nullopt;
    }
    // Never create and remove a probe file: another run of the same batch may be
    // appending its report to that very path at this moment.
    const fs::path parent = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
    const std::string quotedParent = std::string("'").append(parent.string()).append("'");
    const auto parentStatus = fs::status(parent, ec);
    if (!fs::exists(parentStatus))
        return std::string("folder ").append(quotedParent).append(" does not exist");
    if (!fs::is_directory(parentStatus))
        return std::string(quotedParent).append(" is not a folder");
    if (::access(parent.c_str(), W_OK) != 0)
        return std::string("folder ").append(quotedParent).append(" is not writable");
    return std::nullopt;
}

std::optional<std::string> AppendWhole(const std::string& path, std::string_view bytes)
{
    if (auto problem = CheckAppendable(path))
        return problem;
    std::error_code ec;
    const bool existed = fs::exists(path, ec);
    const std::uintmax_t oldSize = existed ? fs::file_size(path, ec) : 0;
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
    }
    const bool written = static_cast<bool>(out);
    const std::string reason = written ? std::string() : ErrnoText("write failed");
    out.close();
    if (written && !out.fail())
        return std::nullopt;
    if (existed)
        fs::resize_file(path, oldSize, ec);
    else
        fs::remove(path, ec);
    return reason.empty() ? std::string("write failed") : reason;
}

}  // namespace kalvo
