// app/cli/standard_input.cpp: reading standard input once and saving it without replacing any file.
#include "app/cli/standard_input.h"

#include <filesystem>

#include "app/cli/exit_status.h"
#include "util/text_source.h"

namespace kalvo {
namespace fs = std::filesystem;
namespace {

// Why standard input, read up to the last `got` bytes of `bytes`, is not text
// a FASTA reader can take. Gzip data is judged by its text when it is read.
std::optional<std::string> NotTextProblem(const std::string& bytes, std::size_t got)
{
    if (StartsLikeGzip(bytes))
        return std::nullopt;
    if (bytes.size() == got) {
        if (auto kind = ForeignTextKind(std::string_view(bytes).substr(0, kForeignTextBytes)))
            return "standard input looks like " + *kind;
    }
    const std::size_t nul = bytes.find('\0', bytes.size() - got);
    if (nul == std::string::npos)
        return std::nullopt;
    return "standard input holds a NUL byte (at byte " + std::to_string(nul + 1) +
           "): it looks like a binary file, not FASTA text";
}

}  // namespace

std::optional<std::string> ReadStandardInput(const StandardInput& in, std::string& bytes)
{
    bytes.clear();
    if (!in.stream)
        return "standard input is empty: pipe a FASTA file into kalvo, or name the file";
    char buffer[1 << 16];
    while (in.stream->read(buffer, sizeof buffer) || in.stream->gcount() > 0) {
        const auto got = static_cast<std::size_t>(in.stream->gcount());
        bytes.append(buffer, got);
        // Binary data is refused as it comes: a pipe of it may never end.
        if (auto problem = NotTextProblem(bytes, got))
            return problem;
    }
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

}  // namespace kalvo
