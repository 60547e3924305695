// app/cli/discover_command.cpp: `kalvo discover`, the significant motifs of a FASTA file, every file in one folder.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <string_view>

#include "app/cli/commands.h"
#include "app/cli/exit_status.h"
#include "app/cli/options.h"
#include "app/cli/progress_line.h"
#include "app/cli/standard_input.h"
#include "app/cli/stop_signals.h"
#include "discover/discover.h"
#include "discover/discover_limits.h"
#include "discover/discovery_files.h"
#include "discover/known/motif_database.h"
#include "discover/output_folder.h"

namespace kalvo {
namespace {

constexpr CommandSyntax kDiscoverSyntax = {"discover", "FASTA", kDiscover};

constexpr std::string_view kDiscoverHelp =
    "Options of discover:\n"
    "  -w, --width W         a motif width to try, at least 2; repeat it for\n"
    "                        several (a width given twice is tried once)\n"
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
    "  --keep-low-complexity rank short tandem repeats (ACACAC, TATATA, AAAAAA)\n"
    "                        with the motifs (default: listed apart, as low\n"
    "                        complexity, and masked before the next round)\n"
    "  --one-site            exactly one site per sequence in the restarts\n"
    "                        (default: any number)\n"
    "  --given-strand        search the given strand only (default: both\n"
    "                        strands)\n"
    "  --db FILE             name the motifs after the motifs of FILE (MEME,\n"
    "                        JASPAR, TRANSFAC, HOMER or a Kalvo discovery);\n"
    "                        repeat it for several (default: the bundled JASPAR\n"
    "                        2024 CORE collection, 2,345 profiles)\n"
    "  --taxon T             name them after the known motifs of taxon T only\n"
    "                        (vertebrates, plants, insects, fungi, nematodes,\n"
    "                        urochordates); repeat it or list several with commas\n"
    "  --no-match            do not name the motifs after known ones (nor test\n"
    "                        them: no known-motif section)\n"
    "  --no-known            no section of the known motifs enriched in FASTA\n"
    "                        (default: the known motifs above are tested as\n"
    "                        `kalvo enrich` tests them, on every target against\n"
    "                        the same controls; those with q <= 0.05 are listed,\n"
    "                        and a motif named after one is marked with *)\n"
    "  -o, --output-dir DIR  a folder, not a file: where every file goes\n"
    "                        (default: the FASTA file's name without its\n"
    "                        extension plus \".kalvo\": peaks.fa gives\n"
    "                        peaks.kalvo, and - gives stdin.kalvo); a folder\n"
    "                        that holds files is refused\n"
    "  --force               replace the files of an earlier discovery in a\n"
    "                        folder that holds files; other files stay\n"
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
    "Files in DIR: index.html (all of it as one page for a web browser),\n"
    "summary.json (everything, ranked motifs first), sites.tsv and\n"
    "sites.bed (the sites of every motif: positions scoring at least its threshold),\n"
    "motifs.meme and motifs.jaspar (the matrices; the pairs are only in\n"
    "summary.json and index.html), logo-K.svg and logo-K-rc.svg, and runs/: the\n"
    "parameter file and report of every restart, which `kalvo run runs/FILE.params\n"
    "--seed S`, run in DIR, repeats (summary.json lists each file and seed).\n"
    "How motifs are scored and tested: docs/discover.md.\n"
    "The folder appears whole at the end; until then the discovery writes into a\n"
    "hidden folder beside it, which a refusal, a failure or Ctrl-C removes.\n"
    "Exit status: 0 the discovery ran (whether or not a motif was significant),\n"
    "1 it was refused or failed, 2 usage error, 130 Ctrl-C, 143 SIGTERM.\n";

void DiscoverHelp(std::ostream& out)
{
    out << Usage(kDiscoverSyntax) << "\n"
        << "Finds the motifs shared by the sequences of FASTA, ranked by E-value, with their\n"
        << "sites, and writes them into one folder with a page for a web browser.\n\n"
        << kDiscoverHelp << "\n"
        << "Example:\n"
        << "  kalvo discover peaks.fa --widths 8,12 -j 4\n";
}

// What the options of discover say.
struct DiscoverOptions {
    DiscoverSettings settings;
    bool widthsGiven = false;  // the first width given replaces the default widths
    std::vector<int> repeatedWidths;  // given more than once, searched once
    bool force = false;
    std::optional<std::string> outputDir;
};

// Adds a width of -w or --widths; the first given replaces the default ones.
// A width given again is searched once, in its first place: its restarts
// would otherwise share their files and overwrite each other's reports.
void AddWidth(DiscoverOptions& options, int width)
{
    std::vector<int>& widths = options.settings.widths;
    if (!options.widthsGiven)
        widths.clear();
    options.widthsGiven = true;
    std::vector<int>& repeated = options.repeatedWidths;
    if (std::find(widths.begin(), widths.end(), width) == widths.end())
        widths.push_back(width);
    else if (std::find(repeated.begin(), repeated.end(), width) == repeated.end())
        repeated.push_back(width);
}

// Applies one option of discover; says what is wrong with its value when it is not valid.
std::optional<std::string> ApplyDiscoverOption(Option option, const std::string& name, const std::string& value,
                                               DiscoverOptions& options)
{
    DiscoverSettings& discover = options.settings;
    switch (option) {
    case Option::Width: {
        int width = 0;
        if (auto problem = WholeNumberIn(name, value, kDiscoverWidths.least, kDiscoverWidths.most, width))
            return problem;
        AddWidth(options, width);
        return std::nullopt;
    }
    case Option::Widths: {
        for (const std::string& item : SplitCommas(value)) {
            const auto parsed = ParseWholeNumber(item);
            if (!parsed || !kDiscoverWidths.Holds(*parsed))
                return "--widths takes widths from " + std::to_string(kDiscoverWidths.least) + " to " +
                       std::to_string(kDiscoverWidths.most) + " separated by commas, not " + Quote(value);
            AddWidth(options, static_cast<int>(*parsed));
        }
        return std::nullopt;
    }
    case Option::Iterations:
        return WholeNumberIn(name, value, kDiscoverIterations.least, kDiscoverIterations.most, discover.iterations);
    case Option::Control:
        return PathValue(name, value, discover.controlPath);
    case Option::Motifs:
        return WholeNumberIn(name, value, kDiscoverMotifs.least, kDiscoverMotifs.most, discover.motifs);
    case Option::Restarts:
        return WholeNumberIn(name, value, kDiscoverRestarts.least, kDiscoverRestarts.most, discover.restarts);
    case Option::EValue: {
        double x = 0.0;
        const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), x);
        if (value.empty() || ec != std::errc() || ptr != value.data() + value.size() ||
            !IsEValueThreshold(x))
            return "--evalue takes a number above 0, not " + Quote(value);
        discover.evalueThreshold = x;
        return std::nullopt;
    }
    case Option::NoMask:
        discover.mask = false;
        return std::nullopt;
    case Option::KeepLowComplexity:
        discover.keepLowComplexity = true;
        return std::nullopt;
    case Option::OneSite:
        discover.oneSite = true;
        return std::nullopt;
    case Option::GivenStrand:
        discover.bothStrands = false;
        return std::nullopt;
    case Option::OutputDir:
        return PathValue(name, value, options.outputDir);
    case Option::Force:
        options.force = true;
        return std::nullopt;
    case Option::NoMatch:
        discover.nameMotifs = false;
        return std::nullopt;
    case Option::NoKnown:
        discover.knownSection = false;
        return std::nullopt;
    case Option::Database:
        if (value.empty())
            return "--db takes a motif file, not an empty name";
        discover.knownMotifs.files.push_back(value);
        return std::nullopt;
    case Option::Taxon:
        discover.knownMotifs.taxa.push_back(value);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

// "motif 1 of at most 3: restarts 5 of 24, 0:12 elapsed, about 0:40 left in this round" on
// the progress line, redrawn at most five times a second and whenever a round's last restart ends.
class DiscoveryProgressText {
public:
    explicit DiscoveryProgressText(ProgressLine& line) : m_line(line) {}

    bool Show(const DiscoverProgress& state)
    {
        if (!m_line.Enabled())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (state.round != m_shownRound) {
            m_shownRound = state.round;
            m_roundStarted = now;
        }
        if (!m_line.IntervalPassed(std::chrono::milliseconds(200)) && state.restartsDone < state.restartsInRound)
            return true;
        const double elapsed = std::chrono::duration<double>(now - m_started).count();
        const double roundElapsed = std::chrono::duration<double>(now - m_roundStarted).count();
        std::string text = "motif " + std::to_string(state.round) + " of at most " + std::to_string(state.rounds) +
                           ": restarts " + std::to_string(state.restartsDone) + " of " +
                           std::to_string(state.restartsInRound) + ", " + Clock(elapsed) + " elapsed";
        if (state.iterationsDone > 0 && state.iterationsInRound > 0) {
            const double left = roundElapsed * static_cast<double>(state.iterationsInRound - state.iterationsDone) /
                                static_cast<double>(state.iterationsDone);
            text += ", about " + Clock(left) + " left in this round";
        }
        m_line.Draw(text);
        return true;
    }

private:
    ProgressLine& m_line;
    const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_roundStarted = m_started;
    int m_shownRound = 0;
};

// Runs the discovery and reports it: warnings and refusals on stderr, the summary on stdout.
int Discover(const DiscoverSettings& settings, const DiscoverOptions& options, bool fromStandardInput,
             OutputFolder& folder, bool quiet, const CommandStreams& io)
{
    ProgressLine progressLine(io.err, io.errIsTerminal && !quiet);
    DiscoveryProgressText progressText(progressLine);
    const DiscoverProgressCallback progress = [&progressText](const DiscoverProgress& state) {
        return StopSignals::Received() == 0 && progressText.Show(state);
    };
    if (!quiet)
        io.err << "kalvo: discover " << (fromStandardInput ? "standard input (saved as '" : "'")
               << settings.inputPath << (fromStandardInput ? "')" : "'") << " into '" << settings.outputDir
               << "', seed " << settings.seed << "\n" << std::flush;
    Discovery discovery;
    const Outcome refusal = RunDiscovery(settings, options.force, folder, discovery, progress);
    progressLine.Clear();
    for (const std::string& warning : discovery.warnings)
        io.err << "kalvo: warning: " << warning << "\n";
    if (refusal && StopSignals::Received() != 0) {
        io.err << "kalvo: discover interrupted; nothing was written\n";
        return StopSignals::ExitStatus();
    }
    if (refusal) {
        io.err << "kalvo: " << refusal->message << "\n";
        return kExitRefused;
    }
    io.out << DiscoveryTextSummary(discovery, settings.outputDir) << std::flush;
    return kExitSuccess;
}

}  // namespace

int KalvoDiscover(const std::vector<std::string>& words, const CommandStreams& io)
{
    DiscoverOptions options;
    const OptionApplier apply = [&options](Option option, const std::string& name, const std::string& value) {
        return ApplyDiscoverOption(option, name, value, options);
    };
    ParsedArguments parsed;
    if (auto status = ParseCommand(words, kDiscoverSyntax, apply, parsed, io.out, io.err, DiscoverHelp))
        return *status;
    if (parsed.operands.empty())
        return UsageError(io.err, kDiscoverSyntax, "discover needs a FASTA file");
    if (parsed.operands.size() > 1)
        return UsageError(io.err, kDiscoverSyntax,
                          "discover takes one FASTA file, not " + std::to_string(parsed.operands.size()));
    for (int width : options.repeatedWidths)
        io.err << "kalvo: warning: width " << width << " is given more than once; it is searched once\n";
    DiscoverSettings settings = options.settings;
    settings.inputPath = parsed.operands.front();
    settings.seed = parsed.seed.value_or(1);
    settings.jobs = parsed.jobs;
    settings.programVersion = ProgramVersion();
    settings.knownMotifs.programPath = OwnProgramPath(nullptr);
    const bool fromStandardInput = settings.inputPath == kStandardInputOperand;
    settings.outputDir = options.outputDir.value_or(DefaultDiscoverOutputDir(settings.inputPath));
    // Standard input is read once and kept in the folder, where the whole
    // discovery reads it and summary.json names it.
    OutputFolder folder(settings.outputDir);
    std::string bytes;
    if (fromStandardInput) {
        if (auto status = TakeStandardInput(kDiscoverSyntax, io.in, io.err, bytes))
            return *status;
    }
    // From the first file written to the folder's commit, a signal stops the discovery cleanly.
    const StopSignals stopSignals;
    if (fromStandardInput) {
        if (auto refusal = folder.SaveInput(bytes, StartsLikeGzip(bytes), settings.inputPath)) {
            io.err << "kalvo: " << refusal->message << "\n";
            return kExitRefused;
        }
    }
    return Discover(settings, options, fromStandardInput, folder, parsed.quiet, io);
}

}  // namespace kalvo
