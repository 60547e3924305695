// app/cli/standard_input.h: a FASTA file given as `-`, read once from standard input and
// saved where the runs' parameter files can name it, so that every run can be repeated.
#pragma once
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/cli/options.h"
#include "util/file_bytes.h"

namespace kalvo {

// Where `-` as the FASTA file of find or discover reads from.
struct StandardInput {
    std::istream* stream = nullptr;  // nothing: the program has no standard input
    bool isTerminal = false;         // nobody pipes into a terminal: refused rather than waited on
};

// The operand that stands for standard input.
inline constexpr std::string_view kStandardInputOperand = "-";

// All of standard input for the command's FASTA file `-`, or the exit status after the message saying why not.
std::optional<int> TakeStandardInput(const CommandSyntax& command, const StandardInput& in, std::ostream& err,
                                     std::string& bytes);

// All bytes of standard input, or why there are none to use (empty, unreadable).
// A terminal is the caller's to refuse before asking.
std::optional<std::string> ReadStandardInput(const StandardInput& in, std::string& bytes);

// The bytes start like gzip data (1f 8b), which every FASTA reader decompresses.
bool StartsLikeGzip(const std::string& bytes);

// Where the copy of standard input goes for `kalvo find`: beside the report,
// named after it (out.txt gives out.input.fa, or out.input.fa.gz for gzip
// data). A name is taken only when nothing is there or a regular file with the
// same bytes is, which is then reused: a copy an earlier run's parameter file
// names is never replaced, so the next free name, out.input-2.fa and so on, is used.
struct SavedCopy {
    std::string path;
    bool exists = false;  // a file with these bytes is already there
};
SavedCopy ChooseFindCopy(const std::string& reportPath, const std::string& bytes);

}  // namespace kalvo
