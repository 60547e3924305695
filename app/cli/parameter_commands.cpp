// app/cli/parameter_commands.cpp: `kalvo run`, `kalvo repeat` and `kalvo batch`, the commands that run parameter files.
#include <string_view>

#include "app/batch.h"
#include "app/cli/batch_terminal.h"
#include "app/cli/commands.h"
#include "app/cli/exit_status.h"
#include "app/cli/options.h"

namespace kalvo {
namespace {

struct ParameterCommand {
    CommandSyntax syntax;
    BatchCommand command;
    std::string_view operandName;  // in "run needs a parameter file"
    std::string_view summary;      // what it runs
    std::string_view details;      // how many runs, and what repeats them
    std::string_view example;
};

constexpr ParameterCommand kRun = {
    {"run", "PARAMS", kParameterCommands}, BatchCommand::SingleRun, "parameter file",
    "one run of a parameter file",
    "Same seed, same inputs: the same report block, byte for byte.\n",
    "  kalvo run crp.params --seed 7\n"};

constexpr ParameterCommand kRepeat = {
    {"repeat", "PARAMS", kParameterCommands}, BatchCommand::RepeatedRun, "parameter file",
    "as many runs of a parameter file as its \"-N\" line says",
    "Without a \"-N\" line, or with a count below 1, nothing runs.\n",
    "  kalvo repeat crp.params --seed 7 -j 4\n"};

constexpr ParameterCommand kBatch = {
    {"batch", "LIST", kParameterCommands}, BatchCommand::MultipleInputs, "list file",
    "every parameter file named in a list file, in list order",
    "A listed file runs as often as its \"-N\" line says (once without one, not\n"
    "at all below 1), all its runs before the next file.\n",
    "  kalvo batch list.txt --seed 7 --formats meme,json\n"};

constexpr std::string_view kListHelp =
    "List file: the first line is the number of parameter files, then one path per\n"
    "line.\n";

void ShowHelp(const ParameterCommand& command, std::ostream& out)
{
    out << Usage(command.syntax) << "\n"
        << "Runs " << command.summary << ".\n"
        << command.details << "\n"
        << kRunOptionsHelp << "\n"
        << kParameterFileHelp;
    if (command.command == BatchCommand::MultipleInputs)
        out << "\n" << kListHelp;
    out << "\n" << kBatchOutputHelp << "\nExample:\n" << command.example;
}

void RunHelp(std::ostream& out) { ShowHelp(kRun, out); }
void RepeatHelp(std::ostream& out) { ShowHelp(kRepeat, out); }
void BatchHelp(std::ostream& out) { ShowHelp(kBatch, out); }

int RunParameterCommand(const ParameterCommand& command, void (*help)(std::ostream&),
                        const std::vector<std::string>& words, const CommandStreams& io)
{
    ParsedArguments parsed;
    if (auto status = ParseCommand(words, command.syntax, nullptr, parsed, io.out, io.err, help))
        return *status;
    const std::string name(command.syntax.name);
    if (parsed.operands.empty())
        return UsageError(io.err, command.syntax, name + " needs a " + std::string(command.operandName));
    if (parsed.operands.size() > 1)
        return UsageError(io.err, command.syntax,
                          name + " takes one file, not " + std::to_string(parsed.operands.size()));

    ProgressLine progressLine(io.err, io.errIsTerminal && !parsed.quiet);
    const BatchFrontEnd frontEnd = TerminalFrontEnd(parsed.operands.front(), io.out, io.err, progressLine);
    BatchOptions options;
    options.seed = parsed.seed;
    options.jobs = parsed.jobs;
    options.extraOutputs = ExtraOutputsOf(parsed);
    const BatchResult result = RunBatchCommand(command.command, frontEnd, options);
    progressLine.Clear();
    return BatchExitStatus(result);
}

}  // namespace

int KalvoRun(const std::vector<std::string>& words, const CommandStreams& io)
{
    return RunParameterCommand(kRun, RunHelp, words, io);
}

int KalvoRepeat(const std::vector<std::string>& words, const CommandStreams& io)
{
    return RunParameterCommand(kRepeat, RepeatHelp, words, io);
}

int KalvoBatch(const std::vector<std::string>& words, const CommandStreams& io)
{
    return RunParameterCommand(kBatch, BatchHelp, words, io);
}

}  // namespace kalvo
