// app/cli/batch_terminal.cpp: help on the runs' options and parameter file, and a batch's messages.
#include "app/cli/batch_terminal.h"

#include "app/cli/exit_status.h"

namespace kalvo {

const std::string_view kRunOptionsHelp =
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
    "                   files are replaced, not appended to. A report that is no\n"
    "                   regular file (/dev/null, a pipe) is refused with formats,\n"
    "                   before any run.\n"
    "  --logo-reverse   the logo shows the motif's reverse complement (needs svg)\n"
    "  -q, --quiet      no progress display (default: progress on stderr when it\n"
    "                   is a terminal)\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "  --               ends the options, for a file name that starts with '-'\n"
    "A short option takes its value as the next word or joined to it (-w 8, -w8);\n"
    "a long one as the next word or after '=' (--width 8, --width=8).\n";

const std::string_view kParameterFileHelp =
    "Parameter file: one key per line; a key that takes a value has it on the next\n"
    "line.\n"
    "  -i PATH    FASTA sequence file (required)\n"
    "  -o PATH    report file; every run appends one block to it (required)\n"
    "  -b PATH    background file (default: computed from the sequences)\n"
    "  -w W       motif width, at least 1 (required)\n"
    "  -n N       number of iterations, at most 1000000 (default 0); the best\n"
    "             state is kept after the first quarter\n"
    "  -m M       correlated-position moves per iteration, at most 1000000 when\n"
    "             -c is 2 or more (default 3)\n"
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
    "             (default 1), at most 1000000; the last \"-N\" wins; `run`\n"
    "             ignores it\n"
    "Paths are relative to the working directory. Other lines are ignored.\n";

const std::string_view kBatchOutputHelp =
    "Each run's parameter file and seed are printed on stderr, and so is every\n"
    "refused run, one line each; the batch goes on after a refusal. \"Finished!\" is\n"
    "printed on stdout when the batch is over.\n"
    "Exit status: 0 every run succeeded, 1 a run was refused, 2 usage error or no\n"
    "number of runs (\"please input number of runs!\").\n";

ExtraOutputs ExtraOutputsOf(const ParsedArguments& parsed)
{
    ExtraOutputs extras;
    extras.formats = parsed.formats;
    extras.options.logoReverse = parsed.logoReverse;
    extras.options.programVersion = ProgramVersion();
    return extras;
}

namespace {

// "run 2 of 5, iteration 40 of 200 (20.0%)", redrawn when the tenth of a percent
// moves: long runs do not flood the terminal, while a run of one long iteration still moves.
void ShowRunProgress(ProgressLine& line, const PlannedRun& run, const RunProgress& progress)
{
    if (!line.Enabled() || progress.iterations <= 0)
        return;
    const double done = (progress.iteration + progress.withinIteration) / progress.iterations;
    const long long permille = static_cast<long long>(1000.0 * done);
    const ProgressLine::Step step{run.index, permille};
    if (!line.StepMoved(step))
        return;
    line.Draw("run " + std::to_string(run.index + 1) + " of " + std::to_string(run.total) + ", iteration " +
                  std::to_string(progress.iteration) + " of " + std::to_string(progress.iterations) + " (" +
                  std::to_string(permille / 10) + "." + std::to_string(permille % 10) + "%)",
              step);
}

}  // namespace

BatchFrontEnd TerminalFrontEnd(const std::string& operand, std::ostream& out, std::ostream& err,
                               ProgressLine& progressLine, const std::string* findInput)
{
    BatchFrontEnd frontEnd;
    frontEnd.chooseFile = [operand](BatchCommand) -> std::optional<std::string> { return operand; };
    frontEnd.message = [&out, &err, &progressLine](std::string_view text) {
        progressLine.Clear();
        (text == kFinishedMessage ? out : err) << text << std::flush;
    };
    frontEnd.runStarting = [&err, &progressLine, findInput](const PlannedRun& run) {
        progressLine.Clear();
        err << "kalvo: run " << run.index + 1 << " of " << run.total << ": ";
        if (findInput && run.parameterFile.empty())
            err << "find " << Quote(*findInput);
        else
            err << "parameter file '" << run.parameterFile << "'";
        err << ", seed " << run.seed << "\n" << std::flush;
    };
    frontEnd.refused = [&err, &progressLine](const Refusal& refusal) {
        progressLine.Clear();
        err << "kalvo: " << refusal.message << "\n" << std::flush;
    };
    frontEnd.warned = [&err, &progressLine](const std::string& warning) {
        progressLine.Clear();
        err << "kalvo: warning: " << warning << "\n" << std::flush;
    };
    frontEnd.progress = [&progressLine](const PlannedRun& run, const RunProgress& progress) {
        ShowRunProgress(progressLine, run, progress);
        return true;
    };
    return frontEnd;
}

int BatchExitStatus(const BatchResult& result)
{
    if (result.askedForRunCount)
        return kExitUsage;
    return result.runsRefused > 0 || result.cancelled ? kExitRefused : kExitSuccess;
}

}  // namespace kalvo
