// app/cli/command_line.cpp: argument parsing, messages and exit status of `kalvo`.
#include "app/cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <variant>

#include "app/batch.h"
#include "discover/discover.h"
#include "discover/discovery_files.h"
#include "util/append_file.h"
#include "util/file_identity.h"
#include "util/number_text.h"

#ifndef KALVO_VERSION
#define KALVO_VERSION "unknown"
#endif

namespace kalvo {
namespace {

struct CommandInfo {
    std::string_view name;
    BatchCommand command;
    std::string_view operand;  // what the one file argument is
    std::string_view summary;
};

constexpr CommandInfo kCommands[] = {
    {"run", BatchCommand::SingleRun, "PARAMS", "one run of a parameter file"},
    {"repeat", BatchCommand::RepeatedRun, "PARAMS", "as many runs of a parameter file as its \"-N\" line says"},
    {"batch", BatchCommand::MultipleInputs, "LIST", "every parameter file named in a list file, in list order"},
};

constexpr std::string_view kFindSummary = "runs on a FASTA file with the settings given as options";

constexpr std::string_view kDiscoverSummary = "the significant motifs of a FASTA file, sites and E-values";

// Every line starts with "usage:" or "       kalvo", so the block is easy to tell from the message above it.
constexpr std::string_view kUsage =
    "usage: kalvo run PARAMS [--seed S] [-j N] [--formats F,..] [--logo-reverse] [-q]\n"
    "       kalvo repeat PARAMS [the options of run]\n"
    "       kalvo batch LIST    [the options of run]\n"
    "       kalvo find FASTA -w W [FIND OPTIONS] [the options of run]\n"
    "       kalvo discover FASTA [DISCOVER OPTIONS] [--seed S] [-j N] [-q]\n"
    "       kalvo [COMMAND] --help | kalvo [COMMAND] --version\n";

constexpr std::string_view kOptionsHelp =
    "Options:\n"
    "  --seed S         base seed of the random streams, 0 to 4294967295\n"
    "                   (default: the current time in whole seconds). Run k of a\n"
    "                   batch, counted from 0, uses (S + k*2654435761) mod 2^32,\n"
    "                   so the first run uses S itself and `kalvo run PARAMS\n"
    "                   --seed SEED` repeats any run.\n"
    "  -j, --jobs N     runs computed at the same time by repeat, batch and find\n"
    "                   (default: one per core); the reports are appended in the\n"
    "                   same order and with the same bytes as with --jobs 1\n"
    "  --formats F,...  also write each run's result in these formats next to its\n"
    "                   report file (default: none): meme (out.meme), jaspar\n"
    "                   (out.jaspar), transfac (out.transfac), bed (out.bed, the\n"
    "                   sites), json (out.json, everything of the report), svg\n"
    "                   (out.logo.svg, a sequence logo). With several runs in a\n"
    "                   batch the run number comes first: out.run2.meme. The\n"
    "                   files are replaced, not appended to.\n"
    "  --logo-reverse   the logo shows the motif's reverse complement (needs svg)\n"
    "  -q, --quiet      no progress display (default: progress on stderr when it\n"
    "                   is a terminal)\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "  --               ends the options, for a file name that starts with '-'\n"
    "A short option takes its value as the next word or joined to it (-w 8, -w8);\n"
    "a long one as the next word or after '=' (--width 8, --width=8).\n";

constexpr std::string_view kParameterHelp =
    "Parameter file: one key per line; a key that takes a value has it on the next\n"
    "line.\n"
    "  -i PATH    FASTA sequence file (required)\n"
    "  -o PATH    report file; every run appends one block to it (required)\n"
    "  -b PATH    background file (default: computed from the sequences)\n"
    "  -w W       motif width, at least 1 (required)\n"
    "  -n N       number of iterations (default 0); the best state is kept after\n"
    "             the first quarter\n"
    "  -m M       correlated-position moves per iteration (default 3)\n"
    "  -c C       2 or more models pairs of dependent motif columns; 1 or less\n"
    "             does not (default 2)\n"
    "  -e         exactly one site per sequence (default: any number of sites)\n"
    "  -r 0       search the given strand only (default: both strands)\n"
    "  -s X       pseudocount per base, above 0 and at most 1000 (default 1)\n"
    "  -A WORD    consensus word that seeds the motif counts (default: random\n"
    "             start sites)\n"
    "  -k         no site may start in a low-complexity 12-base window (default:\n"
    "             off)\n"
    "  -N COUNT   runs of this file for `repeat` (required there) and `batch`\n"
    "             (default 1); the last \"-N\" wins; `run` ignores it\n"
    "Paths are relative to the working directory. Other lines are ignored.\n";

constexpr std::string_view kFindHelp =
    "Options of find. Each stands for the parameter-file key in brackets, with the\n"
    "same meaning and default:\n"
    "  -w, --width W       [-w]   motif width, at least 1 (required)\n"
    "  -n, --iterations N  [-n]   iterations; the best state is kept after the\n"
    "                             first quarter (default 500, as for discover; a\n"
    "                             parameter file without \"-n\" runs none)\n"
    "  --pseudocount X     [-s]   pseudocount per base, above 0 and at most 1000\n"
    "                             (default 1)\n"
    "  --correlation C     [-c]   2 or more models pairs of dependent motif\n"
    "                             columns; 0 or 1 does not (default 2)\n"
    "  --moves M           [-m]   correlated-position moves per iteration\n"
    "                             (default 3)\n"
    "  --one-site          [-e]   exactly one site per sequence (default: any\n"
    "                             number)\n"
    "  --given-strand      [-r 0] search the given strand only (default: both\n"
    "                             strands)\n"
    "  --seed-word WORD    [-A]   word of A, C, G, T that seeds the motif counts\n"
    "                             (default: random start sites)\n"
    "  --mask              [-k]   no site starts in a low-complexity 12-base\n"
    "                             window (default: off)\n"
    "  --background PATH   [-b]   background file (default: computed from the\n"
    "                             sequences)\n"
    "  -o, --output PATH   [-o]   report file, appended to (default: the FASTA\n"
    "                             file's name without its extension plus\n"
    "                             \".kalvo.txt\", in the working directory:\n"
    "                             peaks.fa gives peaks.kalvo.txt, and - gives\n"
    "                             stdin.kalvo.txt)\n"
    "  --repeats N         [-N]   runs, at least 1 (default 1)\n"
    "  --write-params FILE        also save these settings as a parameter file\n"
    "                             (replaced if it exists), so that `kalvo run\n"
    "                             FILE --seed S` or the desktop window repeats a\n"
    "                             run; the runs are then named after it. Paths\n"
    "                             are written as given.\n"
    "A value that is not valid for its option is a usage error naming the option.\n"
    "\n"
    "FASTA as -: standard input (plain or gzip FASTA) is read once and saved beside\n"
    "the report, named after it: out.txt gives out.input.fa (out.input.fa.gz for\n"
    "gzip data). The runs read that copy, and their reports and parameter files\n"
    "name it, so every run can be repeated. A file of that name with other bytes\n"
    "is never replaced: out.input-2.fa, out.input-3.fa, ... are used instead.\n";

constexpr std::string_view kDiscoverHelp =
    "Options of discover:\n"
    "  -w, --width W         a motif width to try, at least 2; repeat it for\n"
    "                        several\n"
    "  --widths W,W,...      motif widths to try (default: 8,12,16)\n"
    "  --control FASTA       control sequences the motifs are tested against\n"
    "                        (default: shuffled copies of the input that keep\n"
    "                        each sequence's dinucleotide counts, seeded by\n"
    "                        --seed)\n"
    "  --motifs K            report at most K motifs; after each, its sites are\n"
    "                        masked and the search starts again (default 3)\n"
    "  --restarts R          restarts of the sampler per width and motif\n"
    "                        (default 8)\n"
    "  -n, --iterations N    iterations of every restart (default 500)\n"
    "  --evalue E            report a motif only when its E-value is at most E\n"
    "                        (default 0.05)\n"
    "  --no-mask             let sites start in low-complexity windows (default:\n"
    "                        masked)\n"
    "  --one-site            exactly one site per sequence in the restarts\n"
    "                        (default: any number)\n"
    "  --given-strand        search the given strand only (default: both\n"
    "                        strands)\n"
    "  -o, --output-dir DIR  where every file goes (default: the FASTA file's name\n"
    "                        without its extension plus \".kalvo\": peaks.fa gives\n"
    "                        peaks.kalvo, and - gives stdin.kalvo); a folder that\n"
    "                        holds files is refused\n"
    "  --force               write into a folder that already holds files\n"
    "  --seed S              base seed of the restarts and the shuffled controls\n"
    "                        (default 1, so the same command gives the same bytes)\n"
    "  -j, --jobs N          restarts computed at the same time (default: one per\n"
    "                        core); the files are the same whatever N is\n"
    "  -q, --quiet           no progress display\n"
    "  -h, --help            show this help and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "FASTA as -: standard input (plain or gzip FASTA) is read once and kept as\n"
    "DIR/input.fa (DIR/input.fa.gz for gzip data); summary.json names that copy,\n"
    "so the folder holds everything that repeats the discovery.\n"
    "\n"
    "Every restart is an ordinary run: its parameter file and report are kept in\n"
    "DIR/runs/, and `kalvo run runs/FILE.params --seed S`, run in DIR, repeats it\n"
    "byte for byte (summary.json lists each restart's file and seed). Each motif is\n"
    "scored with its correlated column pairs against the restart's background; a\n"
    "one-sided Fisher exact test on sequences with a site, targets against controls,\n"
    "at the best separating score gives its p-value, and the E-value is the p-value\n"
    "times the number of motifs tested (every form a restart's motif can take).\n"
    "With 40 sequences or more, a third of them is held out: the restarts sample\n"
    "up to about 100,000 residues of the other two thirds, where thresholds are\n"
    "chosen and motifs refitted to their sites, and the p-value is measured on the\n"
    "held-out third against shuffles of those same sequences.\n"
    "\n"
    "Files in DIR: index.html (all of it as one page for a web browser),\n"
    "summary.json (everything, ranked motifs first), sites.tsv and\n"
    "sites.bed (the sites of every motif: positions scoring at least its threshold),\n"
    "motifs.meme and motifs.jaspar (the matrices; the pairs are only in\n"
    "summary.json and index.html), logo-K.svg and logo-K-rc.svg, runs/.\n"
    "Exit status: 0 the discovery ran (whether or not a motif was significant),\n"
    "1 it was refused or failed, 2 usage error.\n";

constexpr std::string_view kListHelp =
    "List file: the first line is the number of parameter files, then one path per\n"
    "line.\n";

constexpr std::string_view kOutputHelp =
    "Each run's parameter file and seed are printed on stderr, and so is every\n"
    "refused run, one line each; the batch goes on after a refusal. \"Finished!\" is\n"
    "printed on stdout when the batch is over.\n"
    "Exit status: 0 every run succeeded, 1 a run was refused, 2 usage error or no\n"
    "number of runs (\"please input number of runs!\").\n";

int UsageError(std::ostream& err, const std::string& problem)
{
    err << "kalvo: " << problem << "\n" << kUsage << "Try 'kalvo --help' for more.\n";
    return kExitUsage;
}

// A whole number from 0 to 4294967295, digits only.
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

// Draws one self-overwriting progress line on a terminal and wipes it before any other text.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool enabled) : m_err(err), m_enabled(enabled) {}

    void Show(const PlannedRun& run, const RunProgress& progress)
    {
        if (!m_enabled || progress.iterations <= 0)
            return;
        // Redraw only when the tenth of a percent moves, so long runs do not
        // flood the terminal, while a run of one long iteration still moves.
        const double done = (progress.iteration + progress.withinIteration) / progress.iterations;
        const long long permille = static_cast<long long>(1000.0 * done);
        if (run.index == m_index && permille == m_permille)
            return;
        m_index = run.index;
        m_permille = permille;
        const std::string text = "run " + std::to_string(run.index + 1) + " of " + std::to_string(run.total) +
                                 ", iteration " + std::to_string(progress.iteration) + " of " +
                                 std::to_string(progress.iterations) + " (" + std::to_string(permille / 10) + "." +
                                 std::to_string(permille % 10) + "%)";
        m_err << '\r' << text;
        if (text.size() < m_width)
            m_err << std::string(m_width - text.size(), ' ');
        m_width = std::max(m_width, text.size());
        m_err.flush();
    }

    void Clear()
    {
        if (m_width == 0)
            return;
        m_err << '\r' << std::string(m_width, ' ') << '\r';
        m_err.flush();
        m_width = 0;
        m_index = -1;
        m_permille = -1;
    }

private:
    std::ostream& m_err;
    bool m_enabled;
    std::size_t m_width = 0;
    std::int64_t m_index = -1;
    long long m_permille = -1;
};

// The settings of `kalvo find`, as the values of their parameter-file keys.
struct FindSettings {
    std::optional<std::string> width;
    std::string iterations = "500";
    std::string pseudocount = "1";
    std::string correlation = "2";
    std::string moves = "3";
    bool oneSite = false;
    bool givenStrand = false;
    std::optional<std::string> seedWord;
    bool mask = false;
    std::optional<std::string> background;
    std::optional<std::string> output;
    std::string repeats = "1";
    std::optional<std::string> writeParams;
};

// Everything the arguments after the command say.
struct Arguments {
    std::optional<std::uint32_t> seed;
    int jobs = DefaultJobs();
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::vector<ExportFormat> formats;
    bool logoReverse = false;
    FindSettings find;
    DiscoverSettings discover;
    bool widthsGiven = false;
    bool force = false;
    std::optional<std::string> outputDir;
    std::vector<std::string> operands;
};

enum class Option {
    Help, Version, Quiet, Seed, Jobs, Formats, LogoReverse,
    // options of find only
    Width, Iterations, Pseudocount, Correlation, Moves, OneSite, GivenStrand, SeedWord, Mask, Background, Output,
    Repeats, WriteParams,
    // options of discover only
    Widths, Control, Motifs, Restarts, EValue, NoMask, OutputDir, Force,
};

// Which commands take an option.
enum CommandSet : unsigned { kBatchCommands = 1, kFind = 2, kDiscover = 4, kAll = 7 };

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
    {"--control", Option::Control, true, kDiscover, "[--control FASTA]"},
    {"--motifs", Option::Motifs, true, kDiscover, "[--motifs K]"},
    {"--restarts", Option::Restarts, true, kDiscover, "[--restarts R]"},
    {"-n", Option::Iterations, true, kFind | kDiscover, "[-n N]"},
    {"--iterations", Option::Iterations, true, kFind | kDiscover, ""},
    {"--pseudocount", Option::Pseudocount, true, kFind, "[--pseudocount X]"},
    {"--correlation", Option::Correlation, true, kFind, "[--correlation C]"},
    {"--moves", Option::Moves, true, kFind, "[--moves M]"},
    {"--evalue", Option::EValue, true, kDiscover, "[--evalue E]"},
    {"--no-mask", Option::NoMask, false, kDiscover, "[--no-mask]"},
    {"--one-site", Option::OneSite, false, kFind | kDiscover, "[--one-site]"},
    {"--given-strand", Option::GivenStrand, false, kFind | kDiscover, "[--given-strand]"},
    {"--seed-word", Option::SeedWord, true, kFind, "[--seed-word WORD]"},
    {"--mask", Option::Mask, false, kFind, "[--mask]"},
    {"--background", Option::Background, true, kFind, "[--background PATH]"},
    {"-o", Option::Output, true, kFind, "[-o PATH]"},
    {"--output", Option::Output, true, kFind, ""},
    {"--repeats", Option::Repeats, true, kFind, "[--repeats N]"},
    {"--write-params", Option::WriteParams, true, kFind, "[--write-params FILE]"},
    {"-o", Option::OutputDir, true, kDiscover, "[-o DIR]"},
    {"--output-dir", Option::OutputDir, true, kDiscover, ""},
    {"--force", Option::Force, false, kDiscover, "[--force]"},
    {"--seed", Option::Seed, true, kAll, "[--seed S]"},
    {"-j", Option::Jobs, true, kAll, "[-j N]"},
    {"--jobs", Option::Jobs, true, kAll, ""},
    {"--formats", Option::Formats, true, kBatchCommands | kFind, "[--formats F,...]"},
    {"--logo-reverse", Option::LogoReverse, false, kBatchCommands | kFind, "[--logo-reverse]"},
    {"-q", Option::Quiet, false, kAll, "[-q]"},
    {"--quiet", Option::Quiet, false, kAll, ""},
    {"--help", Option::Help, false, kAll, ""},
    {"-h", Option::Help, false, kAll, ""},
    {"--version", Option::Version, false, kAll, ""},
};

// The commands' names in messages about options that belong elsewhere.
std::string CommandsOf(unsigned commands)
{
    std::string names;
    auto add = [&](unsigned bit, const char* name) {
        if (!(commands & bit))
            return;
        names += names.empty() ? "" : " and ";
        names += name;
    };
    add(kFind, "`kalvo find`");
    add(kDiscover, "`kalvo discover`");
    add(kBatchCommands, "run, repeat and batch");
    return names;
}

std::string Quote(std::string_view text)
{
    std::string quoted = "'";
    quoted.append(text);
    quoted += '\'';
    return quoted;
}

// A whole number from `least` to INT_MAX, written back without leading zeros.
std::optional<std::string> CountText(std::string_view value, std::uint32_t least)
{
    const auto parsed = ParseWholeNumber(value);
    if (!parsed || *parsed < least || *parsed > static_cast<std::uint32_t>(INT_MAX))
        return std::nullopt;
    return std::to_string(*parsed);
}

// A pseudocount the parameter reader takes at the same value: a plain decimal
// number, above 0 and at most 1000, kept as typed.
bool ValidPseudocount(std::string_view value)
{
    if (value.empty() || value.front() == '+' || value.front() == '-')
        return false;
    double x = 0.0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), x);
    if (ec != std::errc() || ptr != value.data() + value.size() || !std::isfinite(x))
        return false;
    return x > 0.0 && x <= 1000.0 && ParseLeadingReal(value) == x;
}

// The items of a comma-separated list, empty ones included ("a,,b" has three).
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

// A value that becomes one line of the parameter text.
bool OneLine(std::string_view value) { return value.find_first_of("\r\n") == std::string_view::npos; }

// Applies one option; says what is wrong with its value when it is not valid.
std::optional<std::string> ApplyOption(Option option, const std::string& name, const std::string& value,
                                       unsigned command, Arguments& args)
{
    FindSettings& find = args.find;
    DiscoverSettings& discover = args.discover;
    auto number = [&](int& field, std::uint32_t least, std::uint32_t most) -> std::optional<std::string> {
        const auto parsed = ParseWholeNumber(value);
        if (!parsed || *parsed < least || *parsed > most)
            return name + " takes a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
                   ", not " + Quote(value);
        field = static_cast<int>(*parsed);
        return std::nullopt;
    };
    const bool forDiscover = command == kDiscover;
    auto count = [&](std::string& field, std::uint32_t least, const char* what) -> std::optional<std::string> {
        const auto text = CountText(value, least);
        if (!text)
            return name + " takes " + what + ", not " + Quote(value);
        field = *text;
        return std::nullopt;
    };
    auto path = [&](std::optional<std::string>& field) -> std::optional<std::string> {
        if (value.empty() || !OneLine(value))
            return name + " takes a path on one line, not " + Quote(value);
        field = value;
        return std::nullopt;
    };
    switch (option) {
    case Option::Help:
        args.help = true;
        return std::nullopt;
    case Option::Version:
        args.version = true;
        return std::nullopt;
    case Option::Quiet:
        args.quiet = true;
        return std::nullopt;
    case Option::Seed:
        args.seed = ParseWholeNumber(value);
        if (!args.seed)
            return "--seed takes a whole number from 0 to 4294967295, not " + Quote(value);
        return std::nullopt;
    case Option::Jobs: {
        const auto parsed = ParseWholeNumber(value);
        if (!parsed || *parsed < 1 || *parsed > 1024)
            return name + " takes a whole number from 1 to 1024, not " + Quote(value);
        args.jobs = static_cast<int>(*parsed);
        return std::nullopt;
    }
    case Option::Formats: {
        args.formats.clear();
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
                args.formats.push_back(format);
        return std::nullopt;
    }
    case Option::LogoReverse:
        args.logoReverse = true;
        return std::nullopt;
    case Option::Width: {
        if (forDiscover) {
            int width = 0;
            if (auto problem = number(width, 2, 1000))
                return problem;
            if (!args.widthsGiven)
                discover.widths.clear();
            args.widthsGiven = true;
            discover.widths.push_back(width);
            return std::nullopt;
        }
        std::string width;
        if (auto problem = count(width, 1, "a whole number of at least 1"))
            return problem;
        find.width = width;
        return std::nullopt;
    }
    case Option::Iterations:
        if (forDiscover)
            return number(discover.iterations, 1, 1000000);
        return count(find.iterations, 0, "a whole number");
    case Option::Pseudocount:
        if (!ValidPseudocount(value))
            return "--pseudocount takes a number above 0 and at most 1000, not " + Quote(value);
        find.pseudocount = value;
        return std::nullopt;
    case Option::Correlation:
        return count(find.correlation, 0, "a whole number");
    case Option::Moves:
        return count(find.moves, 0, "a whole number");
    case Option::OneSite:
        find.oneSite = true;
        discover.oneSite = true;
        return std::nullopt;
    case Option::GivenStrand:
        find.givenStrand = true;
        discover.bothStrands = false;
        return std::nullopt;
    case Option::SeedWord:
        if (value.empty() || value.find_first_not_of("ACGT") != std::string::npos)
            return "--seed-word takes a word of the letters A, C, G and T, not " + Quote(value);
        find.seedWord = value;
        return std::nullopt;
    case Option::Mask:
        find.mask = true;
        return std::nullopt;
    case Option::Background:
        return path(find.background);
    case Option::Output:
        return path(find.output);
    case Option::Repeats:
        return count(find.repeats, 1, "a whole number of at least 1");
    case Option::WriteParams:
        return path(find.writeParams);
    case Option::Widths: {
        if (!args.widthsGiven)
            discover.widths.clear();
        args.widthsGiven = true;
        for (const std::string& item : SplitCommas(value)) {
            const auto parsed = ParseWholeNumber(item);
            if (!parsed || *parsed < 2 || *parsed > 1000)
                return "--widths takes widths from 2 to 1000 separated by commas, not " + Quote(value);
            discover.widths.push_back(static_cast<int>(*parsed));
        }
        return std::nullopt;
    }
    case Option::Control:
        return path(discover.controlPath);
    case Option::Motifs:
        return number(discover.motifs, 1, 100);
    case Option::Restarts:
        return number(discover.restarts, 1, 10000);
    case Option::EValue: {
        double x = 0.0;
        const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), x);
        if (value.empty() || ec != std::errc() || ptr != value.data() + value.size() || !(x > 0.0) ||
            !std::isfinite(x))
            return "--evalue takes a number above 0, not " + Quote(value);
        discover.evalueThreshold = x;
        return std::nullopt;
    }
    case Option::NoMask:
        discover.mask = false;
        return std::nullopt;
    case Option::OutputDir:
        return path(args.outputDir);
    case Option::Force:
        args.force = true;
        return std::nullopt;
    }
    return std::nullopt;
}

// A command's usage lines: every option it takes, wrapped to 80 columns after
// `lead`, then (in a command's own help) the lines for its help and version.
std::string Synopsis(std::string_view command, std::string_view operands, unsigned commandSet,
                     std::string_view lead = "usage: ")
{
    std::string text = std::string(lead) + "kalvo " + std::string(command) + " " + std::string(operands);
    std::size_t lineStart = 0;
    for (const OptionInfo& info : kOptions) {
        if (info.synopsis.empty() || !(info.commands & commandSet))
            continue;
        if (text.size() - lineStart + 1 + info.synopsis.size() > 80) {
            text += "\n";
            lineStart = text.size();
            text += std::string(lead.size() + 2, ' ');
        }
        text += " ";
        text += info.synopsis;
    }
    text += "\n";
    if (lead == "usage: ")
        text += "       kalvo " + std::string(command) + " --help | kalvo " + std::string(command) + " --version\n";
    return text;
}

void ProgramHelp(std::ostream& out)
{
    out << "kalvo " << KALVO_VERSION << ": finds motifs shared by DNA sequences with a Gibbs-type sampler.\n\n"
        << kUsage << "FASTA is a file, or - for standard input.\n\nCommands:\n";
    for (const CommandInfo& info : kCommands)
        out << "  " << info.name << std::string(8 - info.name.size(), ' ') << info.operand
            << std::string(8 - info.operand.size(), ' ') << info.summary << "\n";
    out << "  find    FASTA   " << kFindSummary << "\n";
    out << "  discover FASTA  " << kDiscoverSummary << "\n";
    out << "\nEvery option of every command:\n" << Synopsis("discover", "FASTA", kDiscover, "  ")
        << Synopsis("find", "FASTA", kFind, "  ");
    for (const CommandInfo& info : kCommands)
        out << Synopsis(info.name, info.operand, kBatchCommands, "  ");
    out << "  kalvo [COMMAND] --help | kalvo [COMMAND] --version\n";
    out << "\n" << kDiscoverHelp << "\n" << kOptionsHelp << "\n" << kFindHelp << "\n" << kParameterHelp << "\n" << kListHelp << "\n"
        << kOutputHelp;
}

void FindHelp(std::ostream& out)
{
    out << Synopsis("find", "FASTA", kFind) << "\n"
        << "Finds a motif in FASTA without a parameter file: the options make one, which is\n"
        << "read and run exactly as `kalvo repeat` would (same refusals, report and seeds).\n\n"
        << kFindHelp << "\n"
        << kOptionsHelp << "\n"
        << kParameterHelp << "\n"
        << kOutputHelp;
}

void DiscoverHelp(std::ostream& out)
{
    out << Synopsis("discover", "FASTA", kDiscover) << "\n"
        << "Finds the motifs shared by the sequences of FASTA, ranked by E-value, with their\n"
        << "sites. Example: kalvo discover peaks.fa --widths 8,12 --motifs 2\n\n"
        << kDiscoverHelp;
}

void CommandHelp(const CommandInfo& info, std::ostream& out)
{
    out << Synopsis(info.name, info.operand, kBatchCommands) << "\n"
        << "Runs " << info.summary << ".\n";
    switch (info.command) {
    case BatchCommand::SingleRun:
        out << "Same seed, same inputs: the same report block, byte for byte.\n";
        break;
    case BatchCommand::RepeatedRun:
        out << "Without a \"-N\" line, or with a count below 1, nothing runs.\n";
        break;
    case BatchCommand::MultipleInputs:
        out << "A listed file runs as often as its \"-N\" line says (once without one, not\n"
               "at all below 1), all its runs before the next file.\n";
        break;
    }
    out << "\n" << kOptionsHelp << "\n" << kParameterHelp;
    if (info.command == BatchCommand::MultipleInputs)
        out << "\n" << kListHelp;
    out << "\n" << kOutputHelp;
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

// Reads the arguments after the command; a usage problem comes back as its message.
std::optional<std::string> ParseArguments(const std::vector<std::string>& all, unsigned command, Arguments& args)
{
    bool optionsEnded = false;
    for (std::size_t i = 1; i < all.size(); ++i) {
        const std::string& arg = all[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            args.operands.push_back(arg);
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
        if (!isLong && arg.size() > 2 && FindOption(arg.substr(0, 2), kAll, true))
            name = arg.substr(0, 2);
        const OptionInfo* info = FindOption(name, command, false);
        if (!info) {
            const OptionInfo* elsewhere = FindOption(name, kAll, false);
            if (!elsewhere)
                return "unknown option " + Quote(arg);
            unsigned commands = 0;
            for (const OptionInfo& candidate : kOptions)
                if (candidate.name == name)
                    commands |= candidate.commands;
            return "option " + Quote(name) + " belongs to " + CommandsOf(commands);
        }
        std::string value;
        if (info->takesValue) {
            if (!isLong && name != arg) {
                value = arg.substr(2);
            } else if (equals != std::string::npos && name != arg) {
                value = arg.substr(equals + 1);
            } else {
                if (i + 1 >= all.size())
                    return name + " needs a value";
                value = all[++i];
            }
        } else if (name != arg) {
            return name + " takes no value";
        }
        if (auto problem = ApplyOption(info->option, name, value, command, args))
            return problem;
        // Help and the version are shown whatever follows them.
        if (args.help || args.version)
            return std::nullopt;
    }
    if (args.logoReverse && std::find(args.formats.begin(), args.formats.end(), ExportFormat::Svg) == args.formats.end())
        return "--logo-reverse needs svg among --formats";
    return std::nullopt;
}

// The report file `kalvo find` appends to without --output: peaks.fa gives peaks.kalvo.txt here.
std::string DefaultOutput(const std::string& fasta) { return SequenceFileStem(fasta) + ".kalvo.txt"; }

// The parameter file the settings stand for, key by key as the reader expects.
std::string ParameterText(const std::string& fasta, const FindSettings& find)
{
    std::string text = "-i\n" + fasta + "\n-o\n" + find.output.value_or(DefaultOutput(fasta)) + "\n";
    if (find.background)
        text += "-b\n" + *find.background + "\n";
    text += "-w\n" + find.width.value_or("") + "\n";
    text += "-n\n" + find.iterations + "\n";
    text += "-m\n" + find.moves + "\n";
    text += "-c\n" + find.correlation + "\n";
    if (find.oneSite)
        text += "-e\n";
    if (find.givenStrand)
        text += "-r\n0\n";
    text += "-s\n" + find.pseudocount + "\n";
    if (find.seedWord)
        text += "-A\n" + *find.seedWord + "\n";
    if (find.mask)
        text += "-k\n";
    text += "-N\n" + find.repeats + "\n";
    return text;
}

// "1:05" or "1:02:03": a duration for a progress line.
std::string Clock(double seconds)
{
    const long long total = static_cast<long long>(seconds + 0.5);
    const long long h = total / 3600;
    const long long m = total / 60 % 60;
    const long long sec = total % 60;
    auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    return h > 0 ? std::to_string(h) + ":" + two(m) + ":" + two(sec) : std::to_string(m) + ":" + two(sec);
}

// What outputs are named after when the FASTA file is `-`: stdin.kalvo.txt, stdin.kalvo.
constexpr std::string_view kStandardInputStem = "stdin";

// All of standard input for the FASTA file `-`, or the exit status after the message saying why not.
std::optional<int> TakeStandardInput(const std::string& command, const StandardInput& in, std::ostream& err,
                                     std::string& bytes)
{
    if (in.isTerminal)
        return UsageError(err, command + " - reads the FASTA file from standard input, which is a terminal: "
                                         "pipe or redirect a file into kalvo, or name the file");
    if (auto problem = ReadStandardInput(in, bytes)) {
        err << "kalvo: " << *problem << "\n";
        return kExitRefused;
    }
    return std::nullopt;
}

// The copy of standard input a discovery keeps in its output folder, made
// before the discovery reads it; removed again when the discovery is refused
// before writing anything, so that a refused command leaves no file behind.
class DiscoveryInputCopy {
public:
    // The copy's path, or the exit status after the message saying why it cannot be made.
    std::variant<std::string, int> Make(const std::string& folder, const std::string& bytes, std::ostream& err)
    {
        namespace fs = std::filesystem;
        const std::string name = SavedInputName(StartsLikeGzip(bytes));
        const std::string copy = (fs::path(folder) / name).string();
        std::error_code ec;
        if (HoldsBytes(copy, bytes))
            return copy;
        if (fs::exists(fs::symlink_status(copy, ec))) {
            err << "kalvo: output folder " << Quote(folder) << " already holds " << Quote(name)
                << ", the saved input of another discovery: name another folder with --output-dir\n";
            return kExitRefused;
        }
        if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
            err << "kalvo: output folder " << Quote(folder) << " is a file, not a folder\n";
            return kExitRefused;
        }
        m_createdFolder = !fs::exists(folder, ec);
        fs::create_directories(folder, ec);
        if (ec) {
            err << "kalvo: cannot create output folder " << Quote(folder) << ": " << ec.message() << "\n";
            return kExitRefused;
        }
        if (auto problem = CreateWithBytes(copy, bytes)) {
            err << "kalvo: cannot save standard input as " << Quote(copy) << ": " << *problem << "\n";
            Remove(folder);
            return kExitRefused;
        }
        m_copy = copy;
        return copy;
    }

    void Remove(const std::string& folder)
    {
        std::error_code ec;
        if (!m_copy.empty())
            std::filesystem::remove(m_copy, ec);
        if (m_createdFolder)
            std::filesystem::remove(folder, ec);  // only when nothing else is in it
        m_copy.clear();
        m_createdFolder = false;
    }

private:
    std::string m_copy;  // made by this command
    bool m_createdFolder = false;
};

int RunDiscoverCommand(Arguments& parsed, std::ostream& out, std::ostream& err, bool errIsTerminal,
                       const StandardInput& in)
{
    if (parsed.help) {
        DiscoverHelp(out);
        return kExitSuccess;
    }
    if (parsed.version) {
        out << "kalvo " << KALVO_VERSION << "\n";
        return kExitSuccess;
    }
    if (parsed.operands.empty())
        return UsageError(err, "discover needs a FASTA file");
    if (parsed.operands.size() > 1)
        return UsageError(err, "discover takes one FASTA file, not " + std::to_string(parsed.operands.size()));
    DiscoverSettings settings = parsed.discover;
    settings.inputPath = parsed.operands.front();
    settings.seed = parsed.seed.value_or(1);
    settings.jobs = parsed.jobs;
    settings.programVersion = KALVO_VERSION;
    const bool fromStandardInput = settings.inputPath == kStandardInputOperand;
    settings.outputDir = parsed.outputDir.value_or(fromStandardInput ? std::string(kStandardInputStem) + ".kalvo"
                                                                     : DefaultDiscoverOutputDir(settings.inputPath));
    // Standard input is read once and kept in the folder, where the whole
    // discovery reads it and summary.json names it.
    DiscoveryInputCopy inputCopy;
    if (fromStandardInput) {
        std::string bytes;
        if (auto status = TakeStandardInput("discover", in, err, bytes))
            return *status;
        auto copy = inputCopy.Make(settings.outputDir, bytes, err);
        if (const int* status = std::get_if<int>(&copy))
            return *status;
        settings.inputPath = std::get<std::string>(copy);
    }

    // One self-overwriting line on a terminal: restarts done, time spent, time left.
    const bool showProgress = errIsTerminal && !parsed.quiet;
    const auto started = std::chrono::steady_clock::now();
    auto roundStarted = started;
    int shownRound = 0;
    std::size_t width = 0;
    auto clear = [&] {
        if (width > 0)
            err << '\r' << std::string(width, ' ') << '\r' << std::flush;
        width = 0;
    };
    auto lastDraw = started - std::chrono::seconds(1);
    const DiscoverProgressCallback progress = [&](const DiscoverProgress& state) {
        if (!showProgress)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (state.round != shownRound) {
            shownRound = state.round;
            roundStarted = now;
        }
        if (now - lastDraw < std::chrono::milliseconds(200) && state.restartsDone < state.restartsInRound)
            return true;
        lastDraw = now;
        const double elapsed = std::chrono::duration<double>(now - started).count();
        const double roundElapsed = std::chrono::duration<double>(now - roundStarted).count();
        std::string text = "motif " + std::to_string(state.round) + " of at most " + std::to_string(state.rounds) +
                           ": restarts " + std::to_string(state.restartsDone) + " of " +
                           std::to_string(state.restartsInRound) + ", " + Clock(elapsed) + " elapsed";
        if (state.iterationsDone > 0 && state.iterationsInRound > 0) {
            const double left = roundElapsed * static_cast<double>(state.iterationsInRound - state.iterationsDone) /
                                static_cast<double>(state.iterationsDone);
            text += ", about " + Clock(left) + " left in this round";
        }
        err << '\r' << text;
        if (text.size() < width)
            err << std::string(width - text.size(), ' ');
        width = std::max(width, text.size());
        err << std::flush;
        return true;
    };
    if (!parsed.quiet)
        err << "kalvo: discover " << (fromStandardInput ? "standard input (saved as '" : "'") << settings.inputPath
            << (fromStandardInput ? "')" : "'") << " into '" << settings.outputDir << "', seed " << settings.seed
            << "\n" << std::flush;
    Discovery discovery;
    const Outcome refusal = RunDiscovery(settings, parsed.force, discovery, progress);
    clear();
    // A discovery refused before it wrote anything has not taken in its settings.
    if (refusal && discovery.settings.inputPath.empty())
        inputCopy.Remove(settings.outputDir);
    for (const std::string& warning : discovery.warnings)
        err << "kalvo: warning: " << warning << "\n";
    if (refusal) {
        err << "kalvo: " << refusal->message << "\n";
        return kExitRefused;
    }
    out << DiscoveryTextSummary(discovery, settings.outputDir) << std::flush;
    return kExitSuccess;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal,
                   const StandardInput& in)
{
    if (args.empty())
        return UsageError(err, "no command given");
    const std::string& first = args[0];
    if (first == "--help" || first == "-h") {
        ProgramHelp(out);
        return kExitSuccess;
    }
    if (first == "--version") {
        out << "kalvo " << KALVO_VERSION << "\n";
        return kExitSuccess;
    }
    const bool find = first == "find";
    const bool discover = first == "discover";
    const CommandInfo* info = nullptr;
    for (const CommandInfo& candidate : kCommands)
        if (candidate.name == first)
            info = &candidate;
    if (!info && !find && !discover)
        return UsageError(err, "unknown command '" + first + "'");

    Arguments parsed;
    if (auto problem = ParseArguments(args, find ? kFind : discover ? kDiscover : kBatchCommands, parsed))
        return UsageError(err, *problem);
    if (discover)
        return RunDiscoverCommand(parsed, out, err, errIsTerminal, in);
    if (parsed.version) {
        out << "kalvo " << KALVO_VERSION << "\n";
        return kExitSuccess;
    }
    if (parsed.help) {
        if (find)
            FindHelp(out);
        else
            CommandHelp(*info, out);
        return kExitSuccess;
    }
    const std::vector<std::string>& operands = parsed.operands;
    if (operands.empty())
        return UsageError(err, first + " needs a " +
                                   (find ? "FASTA file"
                                         : info->command == BatchCommand::MultipleInputs ? "list file" : "parameter file"));
    if (operands.size() > 1)
        return UsageError(err, first + " takes one file, not " + std::to_string(operands.size()));

    ExtraOutputs extras;
    extras.formats = parsed.formats;
    extras.options.logoReverse = parsed.logoReverse;
    extras.options.programVersion = KALVO_VERSION;

    // `kalvo find`: the options become parameter text, read like a parameter file.
    std::string findText;
    std::string findName;
    std::string findInput;          // the FASTA file the runs read
    std::string createdInputCopy;   // the copy of standard input this command made
    if (find) {
        findInput = operands.front();
        FindSettings& settings = parsed.find;
        if (!OneLine(findInput))
            return UsageError(err, "the FASTA file name must be one line, not " + Quote(findInput));
        if (!settings.width)
            return UsageError(err, "find needs --width W, the motif width");
        // Standard input is read once and saved beside the report, so that
        // every run, and every later `kalvo run` of its parameters, reads the same file.
        std::string inputBytes;
        SavedCopy inputCopy;
        if (findInput == kStandardInputOperand) {
            if (auto status = TakeStandardInput("find", in, err, inputBytes))
                return *status;
            if (!settings.output)
                settings.output = std::string(kStandardInputStem) + ".kalvo.txt";
            inputCopy = ChooseFindCopy(*settings.output, inputBytes);
            findInput = inputCopy.path;
        }
        const std::string& fasta = findInput;
        findText = ParameterText(fasta, settings);
        if (settings.writeParams) {
            const std::string& target = *settings.writeParams;
            const std::string output = settings.output.value_or(DefaultOutput(fasta));
            // Each file the run reads or writes, with the words that name it.
            std::vector<std::pair<std::string, std::string>> taken = {
                {fasta, "the FASTA file"},
                {output, "the report file"},
                {settings.background.value_or(std::string()), "the background file"}};
            // The format files of the runs would replace the saved settings after the run.
            const std::int64_t runs = PlanParameterText(target, findText, 0).totalRuns;
            constexpr std::int64_t kNumberedChecked = 10000;
            for (ExportFormat format : extras.formats) {
                const std::string named = "the " + std::string(ExportFormatName(format)) + " file of the run";
                if (runs <= 1)
                    taken.emplace_back(ExtraOutputPath(output, format, 0), named);
                for (std::int64_t k = 1; runs > 1 && k <= std::min(runs, kNumberedChecked); ++k)
                    taken.emplace_back(ExtraOutputPath(output, format, k), named);
            }
            for (const auto& [path, named] : taken) {
                if (!path.empty() && SameFile(target, path))
                    return UsageError(err, "--write-params " + Quote(target) + " is " + named + " (" + Quote(path) +
                                               "); one would overwrite the other");
            }
        }
        if (!inputCopy.path.empty()) {
            if (!inputCopy.exists) {
                if (auto problem = CreateWithBytes(inputCopy.path, inputBytes)) {
                    err << "kalvo: cannot save standard input as " << Quote(inputCopy.path) << ": " << *problem
                        << "\n";
                    return kExitRefused;
                }
                createdInputCopy = inputCopy.path;
            }
            err << "kalvo: standard input " << (inputCopy.exists ? "is the same as " : "saved as ")
                << Quote(inputCopy.path) << "\n" << std::flush;
        }
        if (settings.writeParams) {
            const std::string& target = *settings.writeParams;
            if (auto problem = ReplaceWhole(target, findText)) {
                err << "kalvo: cannot write parameter file " << Quote(target) << ": " << *problem << "\n";
                if (!createdInputCopy.empty())
                    std::filesystem::remove(createdInputCopy);
                return kExitRefused;
            }
            findName = target;
        }
    }

    ProgressLine progressLine(err, errIsTerminal && !parsed.quiet);
    BatchFrontEnd frontEnd;
    frontEnd.chooseFile = [&](BatchCommand) -> std::optional<std::string> { return operands.front(); };
    frontEnd.message = [&](std::string_view text) {
        progressLine.Clear();
        (text == kFinishedMessage ? out : err) << text << std::flush;
    };
    frontEnd.runStarting = [&](const PlannedRun& run) {
        progressLine.Clear();
        err << "kalvo: run " << run.index + 1 << " of " << run.total << ": ";
        if (find && run.parameterFile.empty())
            err << "find " << Quote(findInput);
        else
            err << "parameter file '" << run.parameterFile << "'";
        err << ", seed " << run.seed << "\n" << std::flush;
    };
    frontEnd.refused = [&](const Refusal& refusal) {
        progressLine.Clear();
        err << "kalvo: " << refusal.message << "\n" << std::flush;
    };
    frontEnd.warned = [&](const std::string& warning) {
        progressLine.Clear();
        err << "kalvo: warning: " << warning << "\n" << std::flush;
    };
    frontEnd.progress = [&](const PlannedRun& run, const RunProgress& progress) {
        progressLine.Show(run, progress);
        return true;
    };
    if (find) {
        // An empty result is easy to miss in a report file: say so where the user looks.
        frontEnd.runFinished = [&](const PlannedRun& run, const RunSummary& summary) {
            if (summary.numSites > 0)
                return;
            progressLine.Clear();
            err << "kalvo: run " << run.index + 1 << " of " << run.total << " reported no site"
                << (summary.iterations == 0 ? " (it had no iterations)" : "") << "\n" << std::flush;
        };
    }

    BatchResult result;
    if (find) {
        BatchPlan plan = PlanParameterText(findName, findText, parsed.seed ? *parsed.seed : ClockSeed());
        plan.extraOutputs = extras;
        result = ExecuteBatch(plan, frontEnd, parsed.jobs);
    } else {
        BatchOptions options;
        options.seed = parsed.seed;
        options.jobs = parsed.jobs;
        options.extraOutputs = extras;
        result = RunBatchCommand(info->command, frontEnd, options);
    }
    progressLine.Clear();
    // A copy no report or parameter file names is of no use: a refused find leaves nothing behind.
    if (!createdInputCopy.empty() && result.runsDone == 0 && findName.empty()) {
        std::error_code ec;
        std::filesystem::remove(createdInputCopy, ec);
    }
    if (result.askedForRunCount)
        return kExitUsage;
    return result.runsRefused > 0 || result.cancelled ? kExitRefused : kExitSuccess;
}

}  // namespace kalvo
