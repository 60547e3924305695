// app/cli/standard_input.cpp: reading standard input once and saving it without replacing any file.
#include "app/cli/standard_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/cli/exit_status.h"

namespace kalvo {
namespace fs = std::filesystem;

std::optional<std::string> ReadStandardInput(const StandardInput& in, std::string& bytes)
{
    bytes.clear();
    if (!in.stream)
        return "standard input is empty: pipe a FASTA file into kalvo, or name the file";
    char buffer[1 << 16];
    while (in.stream->read(buffer, sizeof buffer) || in.stream->gcount() > 0)
        bytes.append(buffer, static_cast<std::size_t>(in.stream->gcount()));
    if (in.stream->bad())
        return "cannot read standard input";
    if (bytes.empty())
        return "standard input is empty: pipe a FASTA file into kalvo, or name the file";
    return std::nullopt;
}

std::optional<int> TakeStandardInput(const CommandSyntax& command, const StandardInput& in, std::ostream& err,
                                     std::string& bytes)
{
    if (in.isTerminal)
        return UsageError(err, command,
                          std::string(command.name) + " - reads the FASTA file from standard input, which is a "
                                                      "terminal: pipe or redirect a file into kalvo, or name the file");
    if (auto problem = ReadStandardInput(in, bytes)) {
        err << "kalvo: " << *problem << "\n";
        return kExitRefused;
    }
    return std::nullopt;
}

bool StartsLikeGzip(const std::string& bytes)
{
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

bool HoldsBytes(const std::string& path, const std::string& bytes)
{
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec)) || fs::file_size(path, ec) != bytes.size() || ec)
        return false;
    std::ifstream file(path, std::ios::binary);
    const std::string held((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return !file.bad() && held == bytes;
}

SavedCopy ChooseFindCopy(const std::string& reportPath, const std::string& bytes)
{
    const fs::path report(reportPath);
    const std::string extension = StartsLikeGzip(bytes) ? ".fa.gz" : ".fa";
    const fs::path base = report.parent_path() / report.stem();
    for (int k = 1;; ++k) {
        std::string path = base.string() + ".input";
        if (k > 1)
            path.append("-").append(std::to_string(k));
        path += extension;
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(path, ec)))
            return SavedCopy{path, false};
        if (HoldsBytes(path, bytes))
            return SavedCopy{path, true};
    }
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
