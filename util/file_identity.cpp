// util/file_identity.cpp: file identity by device and inode, and links that lead nowhere yet.
#include "util/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace kalvo {
namespace fs = std::filesystem;
namespace {

// Links followed before a chain is taken for a loop, as the system does.
constexpr int kMostLinks = 40;

bool Usable(const std::string& path) { return !path.empty() && path.find('\0') == std::string::npos; }

// The absolute name with "." and ".." and every link that leads somewhere resolved.
std::string Normalised(const std::string& path)
{
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(CreationTarget(path), ec), ec);
    if (ec)
        return fs::absolute(path, ec).lexically_normal().string();
    return resolved.string();
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    if (!Usable(a) || !Usable(b))
        return false;
    if (a == b)
        return true;
    struct stat first {};
    struct stat second {};
    const bool firstExists = ::stat(a.c_str(), &first) == 0;
    const bool secondExists = ::stat(b.c_str(), &second) == 0;
    if (firstExists && secondExists)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    if (firstExists != secondExists)
        return false;
    return Normalised(a) == Normalised(b);
}

std::optional<std::string> SpecialFileKind(const std::string& path)
{
    struct stat info {};
    if (!Usable(path) || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    if (S_ISREG(info.st_mode))
        return std::nullopt;
    if (S_ISDIR(info.st_mode))
        return std::string("a folder");
    if (S_ISFIFO(info.st_mode))
        return std::string("a named pipe");
    if (S_ISCHR(info.st_mode))
        return std::string("a character device");
    if (S_ISBLK(info.st_mode))
        return std::string("a block device");
    if (S_ISSOCK(info.st_mode))
        return std::string("a socket");
    return std::string("not a regular file");
}

std::string CreationTarget(const std::string& path)
{
    if (!Usable(path))
        return path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return path;  // leads somewhere: the name itself opens it
    fs::path current(path);
    for (int hop = 0; hop < kMostLinks; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec)))
            return current.string();
        const fs::path target = fs::read_symlink(current, ec);
        if (ec)
            return path;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return path;  // a loop of links: opening the name gives the system's own message
}

}  // namespace kalvo
