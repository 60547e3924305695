// app/cli/command_line.cpp: the dispatcher of `kalvo`: hands each command to its own file; the program's short help.
#include "app/cli/command_line.h"

#include <string_view>

#include "app/cli/commands.h"
#include "app/cli/options.h"

namespace kalvo {
namespace {

struct CommandInfo {
    std::string_view name;
    std::string_view operand;  // what its one file argument is
    std::string_view summary;
    CommandEntry entry;
};

// The everyday command first.
constexpr CommandInfo kCommands[] = {
    {"discover", "FASTA", "the significant motifs of a FASTA file, sites and E-values", KalvoDiscover},
    {"match", "MOTIFS", "the known motifs that the motifs of a file resemble", KalvoMatch},
    {"enrich", "FASTA", "the known motifs whose sites are enriched in a FASTA file", KalvoEnrich},
    {"scan", "MOTIFS FASTA", "every site of some motifs in a FASTA file, with p-values", KalvoScan},
    {"find", "FASTA", "runs on a FASTA file with the settings given as options", KalvoFind},
    {"run", "PARAMS", "one run of a parameter file", KalvoRun},
    {"repeat", "PARAMS", "as many runs of a parameter file as its \"-N\" line says", KalvoRepeat},
    {"batch", "LIST", "every parameter file named in a list file, in list order", KalvoBatch},
};

constexpr std::string_view kProgramUsage =
    "usage: kalvo discover|match|enrich|scan|find|run|repeat|batch FILE [OPTIONS]\n"
    "       kalvo COMMAND --help | kalvo --help | kalvo --version\n";

int ProgramUsageError(std::ostream& err, const std::string& problem)
{
    err << "kalvo: " << problem << "\n" << kProgramUsage << "Try 'kalvo --help' for more.\n";
    return kExitUsage;
}

// Width of the operand column of the command list; a longer operand is followed by one blank.
constexpr std::size_t kOperandColumn = 8;

void ProgramHelp(std::ostream& out)
{
    out << "kalvo " << ProgramVersion() << ": finds motifs shared by DNA sequences with a Gibbs-type sampler.\n\n"
        << kProgramUsage << "\nCommands:\n";
    for (const CommandInfo& info : kCommands)
        out << "  " << info.name << std::string(9 - info.name.size(), ' ') << info.operand
            << std::string(info.operand.size() < kOperandColumn ? kOperandColumn - info.operand.size() : 1, ' ')
            << info.summary << "\n";
    out << "\nFASTA is a file, or - for standard input. PARAMS is a parameter file, LIST a\n"
           "file that lists parameter files, MOTIFS a motif file or a discovery folder.\n"
           "Options follow the command.\n"
           "Run 'kalvo COMMAND --help' for the options of a command.\n\n"
           "Example:\n"
           "  kalvo discover peaks.fa -j 4\n";
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal,
                   const StandardInput& in)
{
    if (args.empty())
        return ProgramUsageError(err, "no command given");
    const std::string& first = args[0];
    if (first == "--help" || first == "-h") {
        ProgramHelp(out);
        return kExitSuccess;
    }
    if (first == "--version")
        return ShowVersion(out);
    for (const CommandInfo& command : kCommands) {
        if (command.name == first) {
            const CommandStreams io{out, err, errIsTerminal, in};
            return command.entry(std::vector<std::string>(args.begin() + 1, args.end()), io);
        }
    }
    return ProgramUsageError(err, "unknown command '" + first + "'");
}

}  // namespace kalvo
