// util/file_bytes.cpp: comparing a file with bytes, and creating a file that must not replace another.
#include "util/file_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kalvo {
namespace fs = std::filesystem;

bool HoldsBytes(const std::string& path, const std::string& bytes)
{
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec)) || fs::file_size(path, ec) != bytes.size() || ec)
        return false;
    std::ifstream file(path, std::ios::binary);
    const std::string held((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return !file.bad() && held == bytes;
}

std::optional<std::string> CreateWithBytes(const std::string& path, const std::string& bytes)
{
    // O_EXCL: a file or link that appeared since the name was chosen is left alone.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::string(std::strerror(errno));
    std::size_t written = 0;
    int problem = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            problem = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (problem == 0 && ::fsync(fd) != 0)
        problem = errno;
    if (::close(fd) != 0 && problem == 0)
        problem = errno;
    if (problem != 0) {
        ::unlink(path.c_str());
        return std::string(std::strerror(problem));
    }
    return std::nullopt;
}

}  // namespace kalvo
