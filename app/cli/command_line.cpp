// app/cli/command_line.cpp: argument parsing, messages and exit status of `kalvo`.
#include "app/cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/batch.h"

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

constexpr std::string_view kUsage =
    "usage: kalvo run PARAMS    [--seed S] [--quiet]\n"
    "       kalvo repeat PARAMS [--seed S] [--jobs N] [--quiet]\n"
    "       kalvo batch LIST    [--seed S] [--jobs N] [--quiet]\n"
    "       kalvo [COMMAND] --help | kalvo --version\n";

constexpr std::string_view kOptionsHelp =
    "Options:\n"
    "  --seed S   base seed of the random streams, 0 to 4294967295\n"
    "             (default: the current time in whole seconds). Run k of a batch,\n"
    "             counted from 0, uses (S + k*2654435761) mod 2^32, so the first run\n"
    "             uses S itself and `kalvo run PARAMS --seed SEED` repeats any run.\n"
    "  --jobs N   runs computed at the same time by repeat and batch (default: one per\n"
    "             core); the reports are appended in the same order and with the same\n"
    "             bytes as with --jobs 1\n"
    "  --quiet    no progress display (default: progress on stderr when it is a terminal)\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit (program level only)\n"
    "  --         ends the options, for a file name that starts with '-'\n";

constexpr std::string_view kParameterHelp =
    "Parameter file: one key per line; a key that takes a value has it on the next line.\n"
    "  -i PATH    FASTA sequence file (required)\n"
    "  -o PATH    report file; every run appends one block to it (required)\n"
    "  -b PATH    background file (default: computed from the sequences)\n"
    "  -w W       motif width, at least 1 (required)\n"
    "  -n N       number of iterations (default 0); the best state is kept after the first quarter\n"
    "  -m M       correlated-position moves per iteration (default 3)\n"
    "  -c C       2 or more models pairs of dependent motif columns; 1 or less does not (default 2)\n"
    "  -e         exactly one site per sequence (default: any number of sites)\n"
    "  -r 0       search the given strand only (default: both strands)\n"
    "  -s X       pseudocount per base, above 0 and at most 1000 (default 1)\n"
    "  -A WORD    consensus word that seeds the motif counts (default: random start sites)\n"
    "  -k         no site may start in a low-complexity 12-base window (default: off)\n"
    "  -N COUNT   runs of this file for `repeat` (required there) and `batch` (default 1);\n"
    "             the last \"-N\" wins; `run` ignores it\n"
    "Paths are relative to the working directory. Other lines are ignored.\n";

constexpr std::string_view kListHelp =
    "List file: the first line is the number of parameter files, then one path per line.\n";

constexpr std::string_view kOutputHelp =
    "Each run's parameter file and seed are printed on stderr, and so is every refused\n"
    "run, one line each; the batch goes on after a refusal. \"Finished!\" is printed on\n"
    "stdout when the batch is over.\n"
    "Exit status: 0 every run succeeded, 1 a run was refused, 2 usage error or no\n"
    "number of runs (\"please input number of runs!\").\n";

void ProgramHelp(std::ostream& out)
{
    out << "kalvo " << KALVO_VERSION << ": finds a motif shared by DNA sequences with a Gibbs-type site sampler.\n\n"
        << kUsage << "\nCommands:\n";
    for (const CommandInfo& info : kCommands)
        out << "  " << info.name << std::string(8 - info.name.size(), ' ') << info.operand << "  " << info.summary
            << "\n";
    out << "\n" << kOptionsHelp << "\n" << kParameterHelp << "\n" << kListHelp << "\n" << kOutputHelp;
}

void CommandHelp(const CommandInfo& info, std::ostream& out)
{
    out << "usage: kalvo " << info.name << " " << info.operand << " [--seed S]"
        << (info.command == BatchCommand::SingleRun ? "" : " [--jobs N]") << " [--quiet]\n\n"
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
        // Redraw only when the percentage moves, so long runs do not flood the terminal.
        const long long percent = 100LL * progress.iteration / progress.iterations;
        if (run.index == m_index && percent == m_percent)
            return;
        m_index = run.index;
        m_percent = percent;
        const std::string text = "run " + std::to_string(run.index + 1) + " of " + std::to_string(run.total) +
                                 ", iteration " + std::to_string(progress.iteration) + " of " +
                                 std::to_string(progress.iterations);
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
        m_percent = -1;
    }

private:
    std::ostream& m_err;
    bool m_enabled;
    std::size_t m_width = 0;
    std::int64_t m_index = -1;
    long long m_percent = -1;
};

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal)
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
    const CommandInfo* info = nullptr;
    for (const CommandInfo& candidate : kCommands)
        if (candidate.name == first)
            info = &candidate;
    if (!info)
        return UsageError(err, "unknown command '" + first + "'");

    std::optional<std::uint32_t> seed;
    int jobs = DefaultJobs();
    bool quiet = false;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            CommandHelp(*info, out);
            return kExitSuccess;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--seed" || arg.starts_with("--seed=")) {
            std::string value;
            if (arg == "--seed") {
                if (i + 1 >= args.size())
                    return UsageError(err, "--seed needs a value");
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            seed = ParseWholeNumber(value);
            if (!seed)
                return UsageError(err, "--seed takes a whole number from 0 to 4294967295, not '" + value + "'");
        } else if (arg == "--jobs" || arg.starts_with("--jobs=")) {
            std::string value;
            if (arg == "--jobs") {
                if (i + 1 >= args.size())
                    return UsageError(err, "--jobs needs a value");
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            const auto parsed = ParseWholeNumber(value);
            if (!parsed || *parsed < 1 || *parsed > 1024)
                return UsageError(err, "--jobs takes a whole number from 1 to 1024, not '" + value + "'");
            jobs = static_cast<int>(*parsed);
        } else {
            return UsageError(err, "unknown option '" + arg + "'");
        }
    }
    if (operands.empty())
        return UsageError(err, std::string(info->name) + " needs a " +
                                   (info->command == BatchCommand::MultipleInputs ? "list file" : "parameter file"));
    if (operands.size() > 1)
        return UsageError(err, std::string(info->name) + " takes one file, not " + std::to_string(operands.size()));

    ProgressLine progressLine(err, errIsTerminal && !quiet);
    BatchFrontEnd frontEnd;
    frontEnd.chooseFile = [&](BatchCommand) -> std::optional<std::string> { return operands.front(); };
    frontEnd.message = [&](std::string_view text) {
        progressLine.Clear();
        (text == kFinishedMessage ? out : err) << text << std::flush;
    };
    frontEnd.runStarting = [&](const PlannedRun& run) {
        progressLine.Clear();
        err << "kalvo: run " << run.index + 1 << " of " << run.total << ": parameter file '" << run.parameterFile
            << "', seed " << run.seed << "\n"
            << std::flush;
    };
    frontEnd.refused = [&](const Refusal& refusal) {
        progressLine.Clear();
        err << "kalvo: " << refusal.message << "\n" << std::flush;
    };
    frontEnd.progress = [&](const PlannedRun& run, const RunProgress& progress) {
        progressLine.Show(run, progress);
        return true;
    };

    BatchOptions options;
    options.seed = seed;
    options.jobs = jobs;
    const BatchResult result = RunBatchCommand(info->command, frontEnd, options);
    progressLine.Clear();
    if (result.askedForRunCount)
        return kExitUsage;
    return result.runsRefused > 0 || result.cancelled ? kExitRefused : kExitSuccess;
}

}  // namespace kalvo
