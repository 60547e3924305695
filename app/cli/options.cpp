// app/cli/options.cpp: the table of options, the reading of a command's words, and usage errors.
#include "app/cli/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

#include "app/cli/exit_status.h"

#ifndef KALVO_VERSION
#define KALVO_VERSION "unknown"
#endif

namespace kalvo {
namespace {

struct OptionInfo {
    std::string_view name;
    Option option;
    bool takesValue;
    unsigned commands;
    std::string_view synopsis;  // how the commands' usage lines show it; empty: not there (a second name)
};

// In the order of the usage lines; a name may stand for different options in different commands.
constexpr OptionInfo kOptions[] = {
    {"-w", Option::Width, true, kFind, "-w W"},
    {"-w", Option::Width, true, kDiscover, "[-w W]..."},
    {"--width", Option::Width, true, kFind | kDiscover, ""},
    {"--widths", Option::Widths, true, kDiscover, "[--widths W,W,...]"},
    {"--control", Option::Control, true, kDiscover | kEnrich, "[--control FASTA]"},
    {"--motifs", Option::Motifs, true, kDiscover, "[--motifs K]"},
    {"--restarts", Option::Restarts, true, kDiscover, "[--restarts R]"},
    {"-n", Option::Iterations, true, kFind | kDiscover, "[-n N]"},
    {"--iterations", Option::Iterations, true, kFind | kDiscover, ""},
    {"--pseudocount", Option::Pseudocount, true, kFind, "[--pseudocount X]"},
    {"--correlation", Option::Correlation, true, kFind, "[--correlation C]"},
    {"--moves", Option::Moves, true, kFind, "[--moves M]"},
    {"--db", Option::Database, true, kDiscover | kMatch | kEnrich, "[--db FILE]..."},
    {"--taxon", Option::Taxon, true, kDiscover | kMatch | kEnrich, "[--taxon T]..."},
    {"--no-match", Option::NoMatch, false, kDiscover, "[--no-match]"},
    {"--no-known", Option::NoKnown, false, kDiscover, "[--no-known]"},
    {"--top", Option::Top, true, kMatch | kEnrich, "[--top N]"},
    {"--evalue", Option::EValue, true, kDiscover | kMatch, "[--evalue E]"},
    {"--qvalue", Option::QValue, true, kMatch | kEnrich | kScan, "[--qvalue Q]"},
    {"--min-overlap", Option::MinOverlap, true, kMatch, "[--min-overlap K]"},
    {"--similarity", Option::Similarity, true, kMatch, "[--similarity S]"},
    {"--motif", Option::MotifChoice, true, kScan, "[--motif ID]..."},
    {"--format", Option::SiteFormat, true, kScan, "[--format tsv|bed|gff3]"},
    {"--skip-lowercase", Option::SkipLowercase, false, kScan, "[--skip-lowercase]"},
    {"--pvalue", Option::PValue, true, kEnrich | kScan, "[--pvalue P]"},
    {"--no-mask", Option::NoMask, false, kDiscover, "[--no-mask]"},
    {"--keep-low-complexity", Option::KeepLowComplexity, false, kDiscover, "[--keep-low-complexity]"},
    {"--one-site", Option::OneSite, false, kFind | kDiscover, "[--one-site]"},
    {"--given-strand", Option::GivenStrand, false, kFind | kDiscover | kScan, "[--given-strand]"},
    {"--seed-word", Option::SeedWord, true, kFind, "[--seed-word WORD]"},
    {"--mask", Option::Mask, false, kFind, "[--mask]"},
    {"--background", Option::Background, true, kFind | kEnrich | kScan, "[--background PATH]"},
    {"-o", Option::Output, true, kFind | kMatch | kScan, "[-o PATH]"},
    {"--output", Option::Output, true, kFind | kMatch | kScan, ""},
    {"--html", Option::Html, true, kMatch, "[--html FILE]"},
    {"--repeats", Option::Repeats, true, kFind, "[--repeats N]"},
    {"--write-params", Option::WriteParams, true, kFind, "[--write-params FILE]"},
    {"-o", Option::OutputDir, true, kDiscover | kEnrich, "[-o DIR]"},
    {"--output-dir", Option::OutputDir, true, kDiscover | kEnrich, ""},
    {"--force", Option::Force, false, kDiscover | kEnrich, "[--force]"},
    {"--seed", Option::Seed, true, kParameterCommands | kFind | kDiscover | kEnrich, "[--seed S]"},
    {"-j", Option::Jobs, true, kAllCommands, "[-j N]"},
    {"--jobs", Option::Jobs, true, kAllCommands, ""},
    {"--formats", Option::Formats, true, kParameterCommands | kFind, "[--formats F,...]"},
    {"--logo-reverse", Option::LogoReverse, false, kParameterCommands | kFind, "[--logo-reverse]"},
    {"-q", Option::Quiet, false, kAllCommands, "[-q]"},
    {"--quiet", Option::Quiet, false, kAllCommands, ""},
    {"--help", Option::Help, false, kAllCommands, ""},
    {"-h", Option::Help, false, kAllCommands, ""},
    {"--version", Option::Version, false, kAllCommands, ""},
};

// The commands' names in messages about options that belong elsewhere.
std::string CommandsOf(unsigned commands)
{
    std::vector<std::string_view> names;
    auto add = [&](unsigned bit, std::string_view name) {
        if (commands & bit)
            names.push_back(name);
    };
    add(kFind, "`kalvo find`");
    add(kDiscover, "`kalvo discover`");
    add(kMatch, "`kalvo match`");
    add(kEnrich, "`kalvo enrich`");
    add(kScan, "`kalvo scan`");
    add(kParameterCommands, "run, repeat and batch");
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k) {
        text += k == 0 ? "" : k + 1 == names.size() ? " and " : ", ";
        text += names[k];
    }
    return text;
}

// The option of this name that one of the commands takes, if any; with
// `valued`, only one that takes a value.
const OptionInfo* FindOption(std::string_view name, unsigned commands, bool valued)
{
    for (const OptionInfo& candidate : kOptions)
        if (candidate.name == name && (candidate.commands & commands) && (candidate.takesValue || !valued))
            return &candidate;
    return nullptr;
}

// The message for an option the command does not take.
std::string NotTaken(const std::string& name, const std::string& arg)
{
    if (!FindOption(name, kAllCommands, false))
        return "unknown option " + Quote(arg);
    unsigned commands = 0;
    for (const OptionInfo& candidate : kOptions)
        if (candidate.name == name)
            commands |= candidate.commands;
    return "option " + Quote(name) + " belongs to " + CommandsOf(commands);
}

std::optional<std::string> ApplyFormats(const std::string& value, std::vector<ExportFormat>& formats)
{
    formats.clear();
    std::vector<bool> chosen(std::size(kExportFormats), false);
    for (const std::string& item : SplitCommas(value)) {
        const auto format = ExportFormatByName(item);
        if (!format)
            return "--formats takes a list of meme, jaspar, transfac, bed, json, svg separated by commas, not " +
                   Quote(item.empty() ? value : item);
        chosen[static_cast<std::size_t>(*format)] = true;
    }
    for (ExportFormat format : kExportFormats)
        if (chosen[static_cast<std::size_t>(format)])
            formats.push_back(format);
    return std::nullopt;
}

// Applies one of the options every command reads alike.
std::optional<std::string> ApplySharedOption(Option option, const std::string& name, const std::string& value,
                                             ParsedArguments& parsed)
{
    switch (option) {
    case Option::Help:
        parsed.help = true;
        return std::nullopt;
    case Option::Version:
        parsed.version = true;
        return std::nullopt;
    case Option::Quiet:
        parsed.quiet = true;
        return std::nullopt;
    case Option::Seed:
        parsed.seed = ParseWholeNumber(value);
        if (!parsed.seed)
            return "--seed takes a whole number from 0 to 4294967295, not " + Quote(value);
        return std::nullopt;
    case Option::Jobs:
        return WholeNumberIn(name, value, 1, 1024, parsed.jobs);
    case Option::Formats:
        return ApplyFormats(value, parsed.formats);
    case Option::LogoReverse:
        parsed.logoReverse = true;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

bool IsShared(Option option) { return option <= Option::LogoReverse; }

}  // namespace

std::optional<std::string> ParseArguments(const std::vector<std::string>& words, const CommandSyntax& command,
                                          const OptionApplier& apply, ParsedArguments& parsed)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& arg = words[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isLong = arg.starts_with("--");
        const auto equals = arg.find('=');
        std::string name = isLong && equals != std::string::npos ? arg.substr(0, equals) : arg;
        // A short option's value may follow it in the same word: -w8 is -w 8.
        if (!isLong && arg.size() > 2 && FindOption(arg.substr(0, 2), kAllCommands, true))
            name = arg.substr(0, 2);
        const OptionInfo* info = FindOption(name, command.options, false);
        if (!info)
            return NotTaken(name, arg);
        std::string value;
        if (info->takesValue) {
            if (!isLong && name != arg) {
                value = arg.substr(2);
            } else if (equals != std::string::npos && name != arg) {
                value = arg.substr(equals + 1);
            } else {
                if (i + 1 >= words.size())
                    return name + " needs a value";
                value = words[++i];
            }
        } else if (name != arg) {
            return name + " takes no value";
        }
        auto problem = IsShared(info->option) ? ApplySharedOption(info->option, name, value, parsed)
                       : apply                 ? apply(info->option, name, value)
                                               : std::nullopt;
        if (problem)
            return problem;
        if (parsed.help || parsed.version)
            return std::nullopt;
    }
    if (parsed.logoReverse &&
        std::find(parsed.formats.begin(), parsed.formats.end(), ExportFormat::Svg) == parsed.formats.end())
        return "--logo-reverse needs svg among --formats";
    return std::nullopt;
}

std::optional<int> ParseCommand(const std::vector<std::string>& words, const CommandSyntax& command,
                                const OptionApplier& apply, ParsedArguments& parsed, std::ostream& out,
                                std::ostream& err, void (*help)(std::ostream&))
{
    if (auto problem = ParseArguments(words, command, apply, parsed))
        return UsageError(err, command, *problem);
    if (parsed.version)
        return ShowVersion(out);
    if (parsed.help) {
        help(out);
        return kExitSuccess;
    }
    return std::nullopt;
}

std::string Usage(const CommandSyntax& command)
{
    constexpr std::string_view lead = "usage: ";
    std::string text = std::string(lead) + "kalvo " + std::string(command.name) + " " + std::string(command.operand);
    std::size_t lineStart = 0;
    for (const OptionInfo& info : kOptions) {
        if (info.synopsis.empty() || !(info.commands & command.options))
            continue;
        if (text.size() - lineStart + 1 + info.synopsis.size() > 80) {
            text += "\n";
            lineStart = text.size();
            text += std::string(lead.size() + 2, ' ');
        }
        text += " ";
        text += info.synopsis;
    }
    const std::string name(command.name);
    return text + "\n       kalvo " + name + " --help | kalvo " + name + " --version\n";
}

int UsageError(std::ostream& err, const CommandSyntax& command, const std::string& problem)
{
    err << "kalvo: " << problem << "\n"
        << Usage(command) << "Try 'kalvo " << command.name << " --help' for more.\n";
    return kExitUsage;
}

std::string_view ProgramVersion() { return KALVO_VERSION; }

int ShowVersion(std::ostream& out)
{
    out << "kalvo " << ProgramVersion() << "\n";
    return kExitSuccess;
}

std::string Quote(std::string_view text)
{
    std::string quoted = "'";
    quoted.append(text);
    quoted += '\'';
    return quoted;
}

std::optional<std::uint32_t> ParseWholeNumber(std::string_view text)
{
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::optional<std::string> WholeNumberIn(const std::string& name, const std::string& value, std::uint32_t least,
                                         std::uint32_t most, int& field)
{
    const auto parsed = ParseWholeNumber(value);
    if (!parsed || *parsed < least || *parsed > most)
        return name + " takes a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
               ", not " + Quote(value);
    field = static_cast<int>(*parsed);
    return std::nullopt;
}

std::optional<std::string> PathValue(const std::string& name, const std::string& value,
                                     std::optional<std::string>& field)
{
    if (value.empty() || !OneLine(value))
        return name + " takes a path on one line, not " + Quote(value);
    field = value;
    return std::nullopt;
}

std::vector<std::string> SplitCommas(const std::string& value)
{
    std::vector<std::string> items;
    std::size_t from = 0;
    for (;;) {
        const auto comma = value.find(',', from);
        items.push_back(value.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos)
            return items;
        from = comma + 1;
    }
}

bool OneLine(std::string_view value) { return value.find_first_of("\r\n") == std::string_view::npos; }

std::optional<double> DecimalIn(const std::string& value, double low, bool withLow, double high, bool withHigh)
{
    double x = 0.0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), x);
    if (value.empty() || ec != std::errc() || ptr != value.data() + value.size() || !std::isfinite(x))
        return std::nullopt;
    if (x < low || (x == low && !withLow) || x > high || (x == high && !withHigh))
        return std::nullopt;
    return x;
}

}  // namespace kalvo
