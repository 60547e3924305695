// app/cli/enrich_command.cpp: `kalvo enrich`, the known motifs whose sites are more common in a FASTA
// file's sequences than in control sequences, as a table, summary.json and a page in one folder.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <optional>
#include <string_view>

#include "app/cli/commands.h"
#include "app/cli/exit_status.h"
#include "app/cli/options.h"
#include "app/cli/progress_line.h"
#include "app/cli/stop_signals.h"
#include "app/cli/standard_input.h"
#include "discover/enrich_files.h"
#include "discover/input_checks.h"
#include "discover/known/motif_database.h"
#include "discover/output_folder.h"
#include "discover/scoring_sets.h"
#include "discover/shuffle.h"

namespace kalvo {
namespace {

constexpr CommandSyntax kEnrichSyntax = {"enrich", "FASTA", kEnrich};

constexpr std::string_view kEnrichHelp =
    "Options of enrich:\n"
    "  --control FASTA       control sequences (default: shuffled copies of the\n"
    "                        targets that keep each sequence's dinucleotide\n"
    "                        counts, as many as discover uses, seeded by --seed)\n"
    "  --db FILE             a motif file (MEME, JASPAR, TRANSFAC, HOMER, a Kalvo\n"
    "                        summary.json or discovery folder) to test; repeat it\n"
    "                        for several (default: the bundled JASPAR 2024 CORE\n"
    "                        collection, 2,345 profiles)\n"
    "  --taxon T             test the known motifs of taxon T (vertebrates,\n"
    "                        plants, insects, fungi, nematodes, urochordates);\n"
    "                        repeat it or list several with commas (default: all)\n"
    "  --pvalue P            a word is a site when the p-value of its score on\n"
    "                        its strand is at most P, above 0 and below 1\n"
    "                        (default 1e-4); a sequence counts when it holds a\n"
    "                        site on either strand\n"
    "  --background FILE     the shares of A, C, G and T random words are drawn\n"
    "                        from: the file's first four numbers (default: the\n"
    "                        targets' own, both strands counted)\n"
    "  --top N               only the best N motifs in the files (default: all in\n"
    "                        enrich.tsv and summary.json, the best 50 on the page)\n"
    "  --qvalue Q            only motifs with a q-value of at most Q, 0 to 1\n"
    "  -o, --output-dir DIR  the folder every file goes to (default: the FASTA\n"
    "                        file's name without its extension plus \".enrich\":\n"
    "                        peaks.fa gives peaks.enrich); a folder that holds\n"
    "                        files is refused\n"
    "  --force               replace the files of an earlier run in that folder;\n"
    "                        other files stay\n"
    "  --seed S              seed of the shuffled controls (default 1)\n"
    "  -j, --jobs N          motifs scanned at the same time (default: one per\n"
    "                        core); the files are the same whatever N is\n"
    "  -q, --quiet           no progress display\n"
    "  -h, --help            show this help and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "Every known motif's threshold is the least score whose p-value is at most P,\n"
    "from the exact distribution of its log-odds score over random words. Each\n"
    "motif is tested with a one-sided Fisher exact test of the target and control\n"
    "sequences holding a site; E = p x motifs tested; q is the Benjamini-Hochberg\n"
    "q-value over them. Files in DIR: enrich.tsv (rank, id, name, family, class,\n"
    "targets_with_site, target_share, controls_with_site, control_share,\n"
    "log_odds_threshold, p, E, q; best first), summary.json, index.html.\n"
    "How motifs are counted and tested: docs/enrich.md.\n"
    "The folder appears whole at the end, or not at all.\n"
    "Exit status: 0 tested (whether or not a motif was enriched), 1 refused or\n"
    "failed, 2 usage error.\n";

void EnrichHelp(std::ostream& out)
{
    out << Usage(kEnrichSyntax) << "\n"
        << "Tests which known motifs have sites in more of the sequences of FASTA than of\n"
        << "control sequences, and writes the ranked motifs into one folder with a page.\n\n"
        << kEnrichHelp << "\n"
        << "Example:\n"
        << "  kalvo enrich peaks.fa --taxon vertebrates -j 4\n";
}

// What the options of enrich say.
struct EnrichOptions {
    MotifDatabaseChoice database;
    std::optional<std::string> control;
    std::optional<std::string> background;
    std::optional<std::string> outputDir;
    EnrichCut cut;
    double sitePValue = 1e-4;
    bool force = false;
};

std::optional<std::string> ApplyEnrichOption(Option option, const std::string& name, const std::string& value,
                                             EnrichOptions& options)
{
    switch (option) {
    case Option::Control:
        return PathValue(name, value, options.control);
    case Option::Database:
        if (value.empty())
            return "--db takes a motif file, not an empty name";
        options.database.files.push_back(value);
        return std::nullopt;
    case Option::Taxon:
        options.database.taxa.push_back(value);
        return std::nullopt;
    case Option::PValue: {
        const auto p = DecimalIn(value, 0.0, false, 1.0, false);
        if (!p)
            return "--pvalue takes a number above 0 and below 1, not " + Quote(value);
        options.sitePValue = *p;
        return std::nullopt;
    }
    case Option::Background:
        return PathValue(name, value, options.background);
    case Option::Top:
        return WholeNumberIn(name, value, 1, 1000000, options.cut.top);
    case Option::QValue: {
        const auto q = DecimalIn(value, 0.0, true, 1.0, true);
        if (!q)
            return "--qvalue takes a number from 0 to 1, not " + Quote(value);
        options.cut.maxQValue = *q;
        return std::nullopt;
    }
    case Option::OutputDir:
        return PathValue(name, value, options.outputDir);
    case Option::Force:
        options.force = true;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

// The sequences read and checked, the motifs loaded: everything the scan needs, before anything is written.
struct EnrichInputs {
    SequenceTexts targets;
    SequenceTexts controls;
    MotifDatabase database;
};

std::size_t LongestSequence(const SequenceTexts& set)
{
    std::size_t longest = 0;
    for (const std::string& sequence : set.sequences)
        longest = std::max(longest, sequence.size());
    return longest;
}

// Refuses a database no motif of which fits in any sequence, or with a motif whose pairs are not scorable.
Outcome CheckMotifs(const EnrichInputs& inputs, const std::string& inputPath)
{
    if (inputs.database.motifs.empty())
        return Refusal{"no known motif to test: the motif files hold none" +
                       (inputs.database.files.empty() ? std::string() : " ('" + inputs.database.files.front() + "')")};
    int narrowest = 0;  // of the motifs with a column
    for (const KnownMotif& motif : inputs.database.motifs) {
        if (auto refusal = CheckPairs(motif))
            return Refusal{refusal->message + (motif.source.empty() ? "" : " (in '" + motif.source + "')")};
        if (motif.Width() > 0)
            narrowest = narrowest == 0 ? motif.Width() : std::min(narrowest, motif.Width());
    }
    const std::size_t longest = std::max(LongestSequence(inputs.targets), LongestSequence(inputs.controls));
    if (narrowest <= 0 || static_cast<std::size_t>(narrowest) > longest)
        return Refusal{"every known motif is wider than every sequence: the narrowest has " +
                       std::to_string(narrowest) + " columns, the longest sequence of '" + inputPath + "' and its " +
                       "controls " + std::to_string(longest) + " residues"};
    return std::nullopt;
}

// Reads the targets, the controls and the motifs, and checks them; `record` takes what they were.
Outcome ReadInputs(const EnrichOptions& options, const std::string& readablePath, EnrichRecord& record,
                   EnrichInputs& inputs, std::uint32_t seed)
{
    if (auto refusal = ReadSequenceTexts(readablePath, inputs.targets))
        return refusal;
    record.warnings = inputs.targets.warnings;
    if (auto refusal = CheckResidues(inputs.targets, record.inputPath, {1}))
        return refusal;
    if (options.control) {
        if (auto refusal = ReadSequenceTexts(*options.control, inputs.controls))
            return Refusal{"control set: " + refusal->message};
        if (inputs.controls.sequences.empty())
            return Refusal{"control set: sequence file '" + *options.control + "' holds no sequence"};
        if (auto refusal = CheckResidues(inputs.controls, *options.control, {1}))
            return Refusal{"control set: " + refusal->message};
        record.warnings.insert(record.warnings.end(), inputs.controls.warnings.begin(), inputs.controls.warnings.end());
    } else {
        // Seeded as discover seeds its controls, so both commands test against the same shuffles.
        record.controlCopies = ControlCopies(inputs.targets.sequences.size(), inputs.targets.residues);
        inputs.controls.sequences = ShuffledControls(inputs.targets.sequences, record.controlCopies,
                                                     static_cast<std::uint64_t>(seed) * 2 + 1);
    }
    record.settings.background = StrandBaseShares(inputs.targets.sequences);
    if (options.background)
        if (auto refusal = ReadBaseShares(*options.background, record.settings.background))
            return refusal;
    inputs.database = LoadMotifDatabase(options.database);
    if (inputs.database.refusal)
        return inputs.database.refusal;
    record.databaseFiles = inputs.database.files;
    return CheckMotifs(inputs, record.inputPath);
}

// "motifs 120 of 2345, 0:03 elapsed" on the progress line, at most five times a second.
EnrichProgress ProgressOn(ProgressLine& line)
{
    const auto started = std::chrono::steady_clock::now();
    return [&line, started](int done, int total) {
        if (!line.Enabled() || (!line.IntervalPassed(std::chrono::milliseconds(200)) && done < total))
            return StopSignals::Received() == 0;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        line.Draw("enrich: motifs " + std::to_string(done) + " of " + std::to_string(total) + ", " + Clock(elapsed) +
                  " elapsed");
        return StopSignals::Received() == 0;
    };
}

// Scans, writes the folder whole and shows the summary.
int Enrich(EnrichRecord& record, const EnrichInputs& inputs, OutputFolder& folder, bool force, bool quiet,
           const CommandStreams& io)
{
    // From the folder's claim to its commit, a signal stops the scan and the folder goes.
    const StopSignals stopSignals;
    if (auto refusal = folder.Claim(record.inputPath, record.controlPath, force, false)) {
        io.err << "kalvo: " << refusal->message << "\n";
        return kExitRefused;
    }
    for (const std::string& warning : record.warnings)
        io.err << "kalvo: warning: " << warning << "\n";
    if (!quiet)
        io.err << "kalvo: enrich '" << record.inputPath << "': " << inputs.database.motifs.size()
               << " known motifs into '" << folder.Path() << "'\n" << std::flush;
    ProgressLine line(io.err, io.errIsTerminal && !quiet);
    const EnrichmentResult result = EnrichMotifs(inputs.database.motifs, PrepareScan(inputs.targets.sequences),
                                                 PrepareScan(inputs.controls.sequences), record.settings,
                                                 ProgressOn(line));
    line.Clear();
    if (StopSignals::Received() != 0) {
        io.err << "kalvo: enrich interrupted; nothing was written\n";
        return StopSignals::ExitStatus();
    }
    const std::vector<KnownMotif>& motifs = inputs.database.motifs;
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"enrich.tsv", EnrichTable(record, motifs, result)},
                                      {"summary.json", EnrichSummaryJson(record, motifs, result)},
                                      {"index.html", EnrichPage(record, motifs, result)}}) {
        if (auto refusal = folder.Write(name, bytes)) {
            io.err << "kalvo: " << refusal->message << "\n";
            return kExitRefused;
        }
    }
    if (auto refusal = folder.Commit()) {
        io.err << "kalvo: " << refusal->message << "\n";
        return kExitRefused;
    }
    io.out << EnrichTextSummary(record, motifs, result, folder.Path()) << std::flush;
    return kExitSuccess;
}

}  // namespace

int KalvoEnrich(const std::vector<std::string>& words, const CommandStreams& io)
{
    EnrichOptions options;
    const OptionApplier apply = [&options](Option option, const std::string& name, const std::string& value) {
        return ApplyEnrichOption(option, name, value, options);
    };
    ParsedArguments parsed;
    if (auto status = ParseCommand(words, kEnrichSyntax, apply, parsed, io.out, io.err, EnrichHelp))
        return *status;
    if (parsed.operands.size() != 1)
        return UsageError(io.err, kEnrichSyntax,
                          parsed.operands.empty() ? "enrich needs a FASTA file"
                                                  : "enrich takes one FASTA file, not " +
                                                        std::to_string(parsed.operands.size()));
    EnrichRecord record;
    record.inputPath = parsed.operands.front();
    record.controlPath = options.control;
    record.seed = parsed.seed.value_or(1);
    record.backgroundPath = options.background;
    record.taxa = options.database.taxa;
    record.databaseChoice = options.database.files;
    record.cut = options.cut;
    record.programVersion = ProgramVersion();
    record.settings.sitePValue = options.sitePValue;
    record.settings.jobs = parsed.jobs;
    options.database.programPath = OwnProgramPath(nullptr);
    OutputFolder folder(options.outputDir.value_or(DefaultEnrichOutputDir(record.inputPath)), "kalvo enrich");
    // Standard input is read once and kept in the folder, which summary.json names.
    if (record.inputPath == kStandardInputOperand) {
        std::string bytes;
        if (auto status = TakeStandardInput(kEnrichSyntax, io.in, io.err, bytes))
            return *status;
        if (auto refusal = folder.SaveInput(bytes, StartsLikeGzip(bytes), record.inputPath)) {
            io.err << "kalvo: " << refusal->message << "\n";
            return kExitRefused;
        }
    }
    EnrichInputs inputs;
    if (auto refusal = ReadInputs(options, folder.Readable(record.inputPath), record, inputs, record.seed)) {
        io.err << "kalvo: " << refusal->message << "\n";
        return kExitRefused;
    }
    return Enrich(record, inputs, folder, options.force, parsed.quiet, io);
}

}  // namespace kalvo
