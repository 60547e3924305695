// app/cli/find_command.cpp: `kalvo find`, runs on a FASTA file whose options become parameter text.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "app/batch.h"
#include "app/cli/batch_terminal.h"
#include "app/cli/commands.h"
#include "app/cli/exit_status.h"
#include "app/cli/options.h"
#include "app/cli/standard_input.h"
#include "discover/discover.h"
#include "model/parameter_limits.h"
#include "model/parameter_text.h"
#include "util/append_file.h"
#include "util/file_identity.h"
#include "util/number_text.h"

namespace kalvo {
namespace {

constexpr CommandSyntax kFindSyntax = {"find", "FASTA", kFind};

constexpr std::string_view kFindHelp =
    "Options of find. Each stands for the parameter-file key in brackets, with the\n"
    "same meaning and default:\n"
    "  -w, --width W       [-w]   motif width, at least 1 (required)\n"
    "  -n, --iterations N  [-n]   iterations, at most 1000000; the best state is\n"
    "                             kept after the first quarter (default 500, as\n"
    "                             for discover; a parameter file without \"-n\"\n"
    "                             runs none)\n"
    "  --pseudocount X     [-s]   pseudocount per base, above 0 and at most 1000\n"
    "                             (default 1)\n"
    "  --correlation C     [-c]   2 or more models pairs of dependent motif\n"
    "                             columns; 0 or 1 does not (default 2)\n"
    "  --moves M           [-m]   correlated-position moves per iteration, at\n"
    "                             most 1000000 (default 3)\n"
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
    "  -o, --output PATH   [-o]   a file, not a folder: the report, appended to\n"
    "                             (default: the FASTA file's name without its\n"
    "                             extension plus \".kalvo.txt\", in the working\n"
    "                             directory: peaks.fa gives peaks.kalvo.txt, and\n"
    "                             - gives stdin.kalvo.txt)\n"
    "  --repeats N         [-N]   runs, from 1 to 1000000 (default 1)\n"
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

void FindHelp(std::ostream& out)
{
    out << Usage(kFindSyntax) << "\n"
        << "Finds a motif in FASTA without a parameter file: the options make one, which is\n"
        << "read and run exactly as `kalvo repeat` would (same refusals, report and seeds).\n"
        << "For the significant motifs of a FASTA file, ranked by E-value, see\n"
        << "`kalvo discover --help`.\n\n"
        << kFindHelp << "\n"
        << kRunOptionsHelp << "\n"
        << kParameterFileHelp << "\n"
        << kBatchOutputHelp << "\n"
        << "Example:\n"
        << "  kalvo find peaks.fa -w 12 --repeats 5 -o peaks.txt --formats meme\n";
}

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

// A whole number from `least` to `most`, written back without leading zeros.
std::optional<std::string> CountText(std::string_view value, std::uint32_t least, std::uint32_t most)
{
    const auto parsed = ParseWholeNumber(value);
    if (!parsed || *parsed < least || *parsed > most)
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

// Applies one option of find; says what is wrong with its value when it is not valid.
std::optional<std::string> ApplyFindOption(Option option, const std::string& name, const std::string& value,
                                           FindSettings& find)
{
    constexpr auto kAny = static_cast<std::uint32_t>(INT_MAX);
    // The counts that set a run's length stop at the bounds the parameter
    // reader keeps, so that no slip starts a run without end.
    auto count = [&](std::string& field, std::uint32_t least, std::uint32_t most) -> std::optional<std::string> {
        const auto text = CountText(value, least, most);
        if (!text) {
            const std::string range = most != kAny  ? " from " + std::to_string(least) + " to " + std::to_string(most)
                                      : least > 0 ? " of at least " + std::to_string(least)
                                                  : std::string();
            return name + " takes a whole number" + range + ", not " + Quote(value);
        }
        field = *text;
        return std::nullopt;
    };
    switch (option) {
    case Option::Width: {
        std::string width;
        if (auto problem = count(width, 1, kAny))
            return problem;
        find.width = width;
        return std::nullopt;
    }
    case Option::Iterations:
        return count(find.iterations, 0, kMostIterations);
    case Option::Pseudocount:
        if (!ValidPseudocount(value))
            return "--pseudocount takes a number above 0 and at most 1000, not " + Quote(value);
        find.pseudocount = value;
        return std::nullopt;
    case Option::Correlation:
        return count(find.correlation, 0, kAny);
    case Option::Moves:
        return count(find.moves, 0, kMostMoves);
    case Option::OneSite:
        find.oneSite = true;
        return std::nullopt;
    case Option::GivenStrand:
        find.givenStrand = true;
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
        return PathValue(name, value, find.background);
    case Option::Output:
        return PathValue(name, value, find.output);
    case Option::Repeats:
        return count(find.repeats, 1, kMostRuns);
    case Option::WriteParams:
        return PathValue(name, value, find.writeParams);
    default:
        return std::nullopt;
    }
}

// The report file `kalvo find` appends to without --output: peaks.fa gives peaks.kalvo.txt here.
std::string DefaultOutput(const std::string& fasta) { return SequenceFileStem(fasta) + ".kalvo.txt"; }

// The parameter file the settings stand for: the option values as typed, which the reader checks.
std::string ParameterText(const std::string& fasta, const FindSettings& find)
{
    ParameterFileValues values;
    values.inputPath = fasta;
    values.outputPath = find.output.value_or(DefaultOutput(fasta));
    values.backgroundPath = find.background;
    values.width = find.width.value_or("");
    values.iterations = find.iterations;
    values.moves = find.moves;
    values.correlation = find.correlation;
    values.oneSite = find.oneSite;
    values.givenStrand = find.givenStrand;
    values.pseudocount = find.pseudocount;
    values.seedWord = find.seedWord;
    values.mask = find.mask;
    values.repeats = find.repeats;
    return ParameterFileText(values);
}

// The usage problem when --write-params names a file the runs read or write: one would overwrite the other.
std::optional<std::string> WriteParamsClash(const FindSettings& settings, const std::string& fasta,
                                            const std::string& text, const ExtraOutputs& extras)
{
    const std::string& target = *settings.writeParams;
    const std::string output = settings.output.value_or(DefaultOutput(fasta));
    // Each file the run reads or writes, with the words that name it.
    std::vector<std::pair<std::string, std::string>> taken = {
        {fasta, "the FASTA file"},
        {output, "the report file"},
        {settings.background.value_or(std::string()), "the background file"}};
    // The format files of the runs would replace the saved settings after the run.
    const std::int64_t runs = PlanParameterText(target, text, 0).totalRuns;
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
            return "--write-params " + Quote(target) + " is " + named + " (" + Quote(path) +
                   "); one would overwrite the other";
    }
    return std::nullopt;
}

// The refusal when the report file is a file the runs read: the report would be appended to it.
// Told here in the words of find's options, before anything is read or written.
std::optional<std::string> ReportIsAnInput(const FindSettings& settings, const std::string& fasta)
{
    const std::string report = settings.output.value_or(DefaultOutput(fasta));
    const std::pair<std::string, std::string> inputs[] = {{fasta, "the sequence file"},
                                                          {settings.background.value_or(""), "the background file"}};
    for (const auto& [path, named] : inputs) {
        if (path.empty() || !SameFile(report, path))
            continue;
        std::string clash = "the report file " + Quote(report) + " is " + named;
        if (path != report)
            clash.append(" ").append(Quote(path));
        return clash + "; the report would be appended to it: name another with --output";
    }
    return std::nullopt;
}

// What the runs of one find read: their FASTA file and parameter text, and the files made for them.
struct FindJob {
    std::string input;             // the FASTA file the runs read
    std::string text;              // their parameter text
    std::string name;              // the parameter file saved with --write-params, else empty
    std::string createdInputCopy;  // the copy of standard input this command made
};

// Saves the copy of standard input unless a file with its bytes is already there.
std::optional<int> SaveInputCopy(const SavedCopy& copy, const std::string& bytes, std::ostream& err,
                                 FindJob& job)
{
    if (!copy.exists) {
        if (auto problem = CreateWithBytes(copy.path, bytes)) {
            err << "kalvo: cannot save standard input as " << Quote(copy.path) << ": " << *problem << "\n";
            return kExitRefused;
        }
        job.createdInputCopy = copy.path;
    }
    err << "kalvo: standard input " << (copy.exists ? "is the same as " : "saved as ") << Quote(copy.path) << "\n"
        << std::flush;
    return std::nullopt;
}

// Checks the settings and makes the files the runs need; the exit status when the find ends here.
std::optional<int> PrepareFind(FindSettings& settings, const ExtraOutputs& extras, const CommandStreams& io,
                               FindJob& job)
{
    if (!OneLine(job.input))
        return UsageError(io.err, kFindSyntax, "the FASTA file name must be one line, not " + Quote(job.input));
    if (!settings.width)
        return UsageError(io.err, kFindSyntax, "find needs --width W, the motif width");
    // The format files and the copy of standard input are named after the
    // report and written beside it: a report that is a device, a pipe or a
    // folder has no such place, so nothing is read, written or run.
    const std::string report = settings.output.value_or(DefaultOutput(job.input));
    if (const auto kind = SpecialFileKind(CreationTarget(report))) {
        const std::string problem = " beside the report, and the report " + Quote(report) + " is " + *kind;
        if (!extras.formats.empty())
            return UsageError(io.err, kFindSyntax,
                              "--formats writes its files" + problem + "; give -o a regular file, or leave out --formats");
        if (job.input == kStandardInputOperand)
            return UsageError(io.err, kFindSyntax,
                              "standard input is saved" + problem + "; give -o a regular file, or a FASTA file for -");
    }
    if (job.input != kStandardInputOperand) {
        if (auto clash = ReportIsAnInput(settings, job.input)) {
            io.err << "kalvo: " << *clash << "\n";
            return kExitRefused;
        }
    }
    // Standard input is read once and saved beside the report, so that
    // every run, and every later `kalvo run` of its parameters, reads the same file.
    std::string inputBytes;
    SavedCopy inputCopy;
    if (job.input == kStandardInputOperand) {
        if (auto status = TakeStandardInput(kFindSyntax, io.in, io.err, inputBytes))
            return *status;
        if (!settings.output)
            settings.output = DefaultOutput(job.input);
        inputCopy = ChooseFindCopy(*settings.output, inputBytes);
        job.input = inputCopy.path;
    }
    job.text = ParameterText(job.input, settings);
    if (settings.writeParams)
        if (auto problem = WriteParamsClash(settings, job.input, job.text, extras))
            return UsageError(io.err, kFindSyntax, *problem);
    if (!inputCopy.path.empty())
        if (auto status = SaveInputCopy(inputCopy, inputBytes, io.err, job))
            return status;
    if (settings.writeParams) {
        const std::string& target = *settings.writeParams;
        if (auto problem = ReplaceWhole(target, job.text)) {
            io.err << "kalvo: cannot write parameter file " << Quote(target) << ": " << *problem << "\n";
            if (!job.createdInputCopy.empty())
                std::filesystem::remove(job.createdInputCopy);
            return kExitRefused;
        }
        job.name = target;
    }
    return std::nullopt;
}

int RunFind(const FindJob& job, const ParsedArguments& parsed, const ExtraOutputs& extras, const CommandStreams& io)
{
    ProgressLine progressLine(io.err, io.errIsTerminal && !parsed.quiet);
    BatchFrontEnd frontEnd = TerminalFrontEnd(parsed.operands.front(), io.out, io.err, progressLine, &job.input);
    // An empty result is easy to miss in a report file: say so where the user looks.
    frontEnd.runFinished = [&](const PlannedRun& run, const RunSummary& summary) {
        if (summary.numSites > 0)
            return;
        progressLine.Clear();
        io.err << "kalvo: run " << run.index + 1 << " of " << run.total << " reported no site"
               << (summary.iterations == 0 ? " (it had no iterations)" : "") << "\n" << std::flush;
    };
    BatchPlan plan = PlanParameterText(job.name, job.text, parsed.seed ? *parsed.seed : ClockSeed());
    plan.extraOutputs = extras;
    const BatchResult result = ExecuteBatch(plan, frontEnd, parsed.jobs);
    progressLine.Clear();
    // A copy no report or parameter file names is of no use: a refused find leaves nothing behind.
    if (!job.createdInputCopy.empty() && result.runsDone == 0 && job.name.empty()) {
        std::error_code ec;
        std::filesystem::remove(job.createdInputCopy, ec);
    }
    return BatchExitStatus(result);
}

}  // namespace

int KalvoFind(const std::vector<std::string>& words, const CommandStreams& io)
{
    FindSettings settings;
    const OptionApplier apply = [&settings](Option option, const std::string& name, const std::string& value) {
        return ApplyFindOption(option, name, value, settings);
    };
    ParsedArguments parsed;
    if (auto status = ParseCommand(words, kFindSyntax, apply, parsed, io.out, io.err, FindHelp))
        return *status;
    if (parsed.operands.empty())
        return UsageError(io.err, kFindSyntax, "find needs a FASTA file");
    if (parsed.operands.size() > 1)
        return UsageError(io.err, kFindSyntax, "find takes one file, not " + std::to_string(parsed.operands.size()));
    const ExtraOutputs extras = ExtraOutputsOf(parsed);
    FindJob job;
    job.input = parsed.operands.front();
    if (auto status = PrepareFind(settings, extras, io, job))
        return *status;
    return RunFind(job, parsed, extras, io);
}

}  // namespace kalvo
