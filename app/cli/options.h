// app/cli/options.h: the options of every command, read from the words after the command's name.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch.h"
#include "report/formats.h"

namespace kalvo {

// Every option of every command. The first seven are read here for the commands
// that take them; each command applies the rest itself.
enum class Option {
    Help, Version, Quiet, Seed, Jobs, Formats, LogoReverse,
    // options of find only
    Width, Iterations, Pseudocount, Correlation, Moves, OneSite, GivenStrand, SeedWord, Mask, Background, Output,
    Repeats, WriteParams,
    // options of discover only
    Widths, Control, Motifs, Restarts, EValue, NoMask, OutputDir, Force, NoMatch, NoKnown, KeepLowComplexity,
    // options of match (and the naming in discover)
    Database, Taxon, Top, QValue, MinOverlap, Similarity, Html,
    // options of enrich (and scan)
    PValue,
    // options of scan only
    MotifChoice, SiteFormat, SkipLowercase,
};

// Which commands take an option.
enum CommandSet : unsigned {
    kParameterCommands = 1, kFind = 2, kDiscover = 4, kMatch = 8, kEnrich = 16, kScan = 32, kAllCommands = 63
};

// A command as its usage lines show it.
struct CommandSyntax {
    std::string_view name;     // "find"
    std::string_view operand;  // what its one file argument is: "FASTA"
    CommandSet options;        // which options it takes
};

// The options every command reads alike, and the command's files.
struct ParsedArguments {
    std::optional<std::uint32_t> seed;
    int jobs = DefaultJobs();
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::vector<ExportFormat> formats;
    bool logoReverse = false;
    std::vector<std::string> operands;
};

// Applies one of the command's own options; says what is wrong with its value when it is not valid.
using OptionApplier =
    std::function<std::optional<std::string>(Option, const std::string& name, const std::string& value)>;

// Reads a command's words: its options in order, its operands, `--` ending the options. Help and
// the version end the reading, whatever follows them. Returns the problem when the words are a usage error.
std::optional<std::string> ParseArguments(const std::vector<std::string>& words, const CommandSyntax& command,
                                          const OptionApplier& apply, ParsedArguments& parsed);

// ParseArguments, then what every command does first: the exit status when a usage error, the
// help or the version was shown and nothing else is to be done.
std::optional<int> ParseCommand(const std::vector<std::string>& words, const CommandSyntax& command,
                                const OptionApplier& apply, ParsedArguments& parsed, std::ostream& out,
                                std::ostream& err, void (*help)(std::ostream&));

// The command's usage lines: every option it takes, wrapped to 80 columns, then its help and version lines.
std::string Usage(const CommandSyntax& command);

// Shows "kalvo: PROBLEM", the command's usage and where to read more on stderr; returns kExitUsage.
int UsageError(std::ostream& err, const CommandSyntax& command, const std::string& problem);

// The version of this build, as shown by --version and written into the output files.
std::string_view ProgramVersion();

// Shows the version line on `out`; returns kExitSuccess.
int ShowVersion(std::ostream& out);

// Readers of option values.
std::string Quote(std::string_view text);  // 'text', as messages show a value or a path
// A whole number from 0 to 4294967295, digits only.
std::optional<std::uint32_t> ParseWholeNumber(std::string_view text);
// A whole number from `least` to `most` into `field`, or the message that names the option.
std::optional<std::string> WholeNumberIn(const std::string& name, const std::string& value, std::uint32_t least,
                                         std::uint32_t most, int& field);
// A path on one line into `field`, since it may become a line of parameter text; or the message.
std::optional<std::string> PathValue(const std::string& name, const std::string& value,
                                     std::optional<std::string>& field);
// The items of a comma-separated list, empty ones included ("a,,b" has three).
std::vector<std::string> SplitCommas(const std::string& value);
// A number from `low` to `high` as typed in full, each end included when asked; nothing otherwise.
std::optional<double> DecimalIn(const std::string& value, double low, bool withLow, double high, bool withHigh);
// A value that becomes one line of the parameter text.
bool OneLine(std::string_view value);

}  // namespace kalvo
