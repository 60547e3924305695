// app/cli/scan_command.cpp: `kalvo scan`, every site of some motifs in a FASTA file of any size, with p-values.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string_view>

#include "app/cli/commands.h"
#include "app/cli/exit_status.h"
#include "app/cli/options.h"
#include "app/cli/progress_line.h"
#include "app/cli/stop_signals.h"
#include "discover/known/fasta_scan.h"
#include "discover/known/motif_database.h"
#include "discover/known/motif_file.h"
#include "util/append_file.h"

namespace kalvo {
namespace {

constexpr CommandSyntax kScanSyntax = {"scan", "MOTIFS FASTA", kScan};

constexpr std::string_view kScanHelp =
    "Options of scan:\n"
    "  --motif ID         scan only the motif with this id or name (any case);\n"
    "                     repeat it for several (default: every motif of MOTIFS)\n"
    "  --pvalue P         a word is a site when the p-value of its score on its\n"
    "                     strand is at most P, above 0 and below 1 (default 1e-4)\n"
    "  --qvalue Q         also give each site its q-value (Benjamini-Hochberg over\n"
    "                     every word scanned) and keep those with q at most Q\n"
    "  --background FILE  base shares of the null: the first four numbers of FILE,\n"
    "                     for A, C, G and T (default: 0.25 each)\n"
    "  --given-strand     scan the given strand only (default: both strands)\n"
    "  --skip-lowercase   soft-masked (lower-case) letters are not scanned\n"
    "                     (default: scanned as upper case)\n"
    "  --format F         tsv (1-based, the default), bed (0-based, end exclusive)\n"
    "                     or gff3 (1-based)\n"
    "  -o, --output PATH  the sites go to this file, which appears whole at the end\n"
    "                     (default: standard output, written as the scan goes)\n"
    "  -j, --jobs N       pieces scanned at the same time (default: one per core);\n"
    "                     the output is the same whatever N is\n"
    "  -q, --quiet        no progress display and no closing note on standard error\n"
    "  -h, --help         show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "MOTIFS: a motif file (MEME, JASPAR, TRANSFAC, HOMER), a Kalvo discovery\n"
    "folder or its summary.json (its motifs are scored with their correlated\n"
    "pairs), or jaspar for the bundled JASPAR 2024 CORE collection (with --motif,\n"
    "e.g. --motif MA0139.2 or --motif CTCF). FASTA: plain or gzip, or - for\n"
    "standard input; read a piece at a time, so a genome takes little memory.\n"
    "Runs of N (and any letter other than A, C, G, T) end words: no site spans them.\n"
    "\n"
    "The TSV has a header row, then one row per site, in the order of the\n"
    "sequences, then by position: motif_id, motif_name, sequence, start, end,\n"
    "strand, score (log-odds, nats), p_value, q_value (with --qvalue),\n"
    "matched_word (as the motif reads it, letter case kept). How p-values are\n"
    "computed: docs/scan.md.\n"
    "Exit status: 0 scanned (whether or not a site was found), 1 refused (a file\n"
    "cannot be read or written, no such motif), 2 usage error.\n";

void ScanHelp(std::ostream& out)
{
    out << Usage(kScanSyntax) << "\n"
        << "Lists every site of the motifs of MOTIFS in the sequences of FASTA: each word\n"
        << "whose score has a p-value at most --pvalue, on either strand.\n\n"
        << kScanHelp << "\n"
        << "Also: kalvo scan jaspar promoters.fa --motif CTCF (a profile of the bundled collection).\n\n"
        << "Example:\n"
        << "  kalvo scan peaks.kalvo genome.fa.gz --pvalue 1e-5 --format bed -o sites.bed\n";
}

// What the options of scan say.
struct ScanOptions {
    std::vector<std::string> motifChoices;
    SiteScanSettings settings;
    std::optional<double> maxQValue;
    std::optional<std::string> background;
    std::optional<std::string> output;
    SiteFormat format = SiteFormat::Tsv;
};

std::optional<std::string> ApplyScanOption(Option option, const std::string& name, const std::string& value,
                                           ScanOptions& options)
{
    switch (option) {
    case Option::MotifChoice:
        if (value.empty())
            return "--motif takes a motif id or name, not an empty one";
        options.motifChoices.push_back(value);
        return std::nullopt;
    case Option::PValue: {
        const auto p = DecimalIn(value, 0.0, false, 1.0, false);
        if (!p)
            return "--pvalue takes a number above 0 and below 1, not " + Quote(value);
        options.settings.pValue = *p;
        return std::nullopt;
    }
    case Option::QValue: {
        const auto q = DecimalIn(value, 0.0, true, 1.0, true);
        if (!q)
            return "--qvalue takes a number from 0 to 1, not " + Quote(value);
        options.maxQValue = *q;
        return std::nullopt;
    }
    case Option::Background:
        return PathValue(name, value, options.background);
    case Option::GivenStrand:
        options.settings.bothStrands = false;
        return std::nullopt;
    case Option::SkipLowercase:
        options.settings.skipLowercase = true;
        return std::nullopt;
    case Option::SiteFormat:
        if (value == "tsv")
            options.format = SiteFormat::Tsv;
        else if (value == "bed")
            options.format = SiteFormat::Bed;
        else if (value == "gff3")
            options.format = SiteFormat::Gff3;
        else
            return "--format takes tsv, bed or gff3, not " + Quote(value);
        return std::nullopt;
    case Option::Output:
        return PathValue(name, value, options.output);
    default:
        return std::nullopt;
    }
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The motifs MOTIFS names: a file or folder, or the bundled collection by name.
MotifRead LoadScanMotifs(const std::string& source)
{
    std::error_code ec;
    const std::string name = Lower(source);
    if (!std::filesystem::exists(source, ec) && (name == "jaspar" || name == "jaspar2024")) {
        MotifDatabaseChoice choice;
        choice.programPath = OwnProgramPath(nullptr);
        MotifDatabase database = LoadMotifDatabase(choice);
        return {std::move(database.motifs), database.refusal};
    }
    return ReadMotifFile(source);
}

// The motifs chosen with --motif, in the order chosen; a choice no motif answers to is refused,
// with some of the ids there are.
MotifRead ChooseMotifs(MotifRead all, const std::vector<std::string>& choices, const std::string& source)
{
    if (choices.empty() || all.refusal)
        return all;
    MotifRead chosen;
    for (const std::string& choice : choices) {
        const std::string wanted = Lower(choice);
        bool found = false;
        for (const KnownMotif& motif : all.motifs) {
            if (motif.id != choice && Lower(motif.name) != wanted)
                continue;
            found = true;
            const bool already = std::any_of(chosen.motifs.begin(), chosen.motifs.end(),
                                             [&](const KnownMotif& m) { return m.id == motif.id; });
            if (!already)
                chosen.motifs.push_back(motif);
        }
        if (!found) {
            std::string some;
            for (std::size_t k = 0; k < all.motifs.size() && k < 5; ++k)
                some += (k == 0 ? "" : ", ") + all.motifs[k].id;
            chosen.refusal = Refusal{"no motif of '" + source + "' has the id or name " + Quote(choice) + " (its ids: " +
                                     some + (all.motifs.size() > 5 ? ", ..." : "") + ")"};
            return chosen;
        }
    }
    return chosen;
}

// "scan: 12.3 Mbp of 'genome.fa', 4,567 sites, 0:12" on the progress line, five times a second at most.
class ScanProgressText {
public:
    ScanProgressText(ProgressLine& line, std::string fasta) : m_line(line), m_fasta(std::move(fasta)) {}

    bool Show(const FastaScanTally& tally)
    {
        if (!m_line.Enabled() || !m_line.IntervalPassed(std::chrono::milliseconds(200)))
            return true;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
        char mbp[32];
        std::snprintf(mbp, sizeof mbp, "%.1f", static_cast<double>(tally.residues) / 1e6);
        m_line.Draw("scan: " + std::string(mbp) + " Mbp of '" + m_fasta + "', " + std::to_string(tally.sites) +
                    " sites, " + Clock(elapsed));
        return true;
    }

private:
    ProgressLine& m_line;
    std::string m_fasta;
    const std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

// Long by design: the checks of the inputs in turn, each with its message, then the scan.
int Scan(const ScanOptions& options, const std::string& motifSource, const std::string& fasta, bool quiet,
         int jobs, const CommandStreams& io)
{
    MotifRead motifs = ChooseMotifs(LoadScanMotifs(motifSource), options.motifChoices, motifSource);
    if (motifs.refusal) {
        io.err << "kalvo: " << motifs.refusal->message << "\n";
        return kExitRefused;
    }
    for (const KnownMotif& motif : motifs.motifs) {
        if (auto refusal = CheckPairs(motif)) {
            io.err << "kalvo: " << refusal->message << "\n";
            return kExitRefused;
        }
    }
    FastaScanRequest request;
    request.motifs = std::move(motifs.motifs);
    request.settings = options.settings;
    request.format = options.format;
    request.maxQValue = options.maxQValue;
    request.jobs = jobs;
    if (options.background) {
        if (auto refusal = ReadBaseShares(*options.background, request.settings.background)) {
            io.err << "kalvo: " << refusal->message << "\n";
            return kExitRefused;
        }
    }
    const bool fromStandardInput = fasta == kStandardInputOperand;
    if (fromStandardInput && io.in.isTerminal) {
        io.err << "kalvo: nothing is piped into standard input: give a FASTA file, or pipe one into 'kalvo scan "
               << motifSource << " -'\n";
        return kExitRefused;
    }
    request.fastaPath = fromStandardInput ? std::string("/dev/stdin") : fasta;

    ReplacingWriter file;
    if (options.output) {
        if (auto problem = file.Open(*options.output)) {
            io.err << "kalvo: cannot write " << Quote(*options.output) << ": " << *problem << "\n";
            return kExitRefused;
        }
    }
    const ScanOutput output = [&](std::string_view bytes) {
        if (options.output)
            return file.Write(bytes);
        io.out << bytes;
        return static_cast<bool>(io.out);
    };
    ProgressLine line(io.err, io.errIsTerminal && !quiet);
    ScanProgressText text(line, fasta);
    FastaScanTally tally;
    const StopSignals stopSignals;
    const Outcome refusal = ScanFasta(request, output, tally, [&](const FastaScanTally& t) {
        return text.Show(t) && StopSignals::Received() == 0;
    });
    line.Clear();
    io.out << std::flush;
    if (refusal && StopSignals::Received() != 0) {
        io.err << "kalvo: scan interrupted" << (options.output ? "; nothing was written" : "") << "\n";
        return StopSignals::ExitStatus();
    }
    if (refusal) {
        io.err << "kalvo: " << (options.output ? "nothing written: " : "") << refusal->message << "\n";
        return kExitRefused;
    }
    if (options.output) {
        if (auto problem = file.Commit()) {
            io.err << "kalvo: cannot write " << Quote(*options.output) << ": " << *problem << "\n";
            return kExitRefused;
        }
    }
    for (const KnownMotif& motif : request.motifs)
        if (motif.Width() > tally.longestSequence)
            io.err << "kalvo: note: motif '" << motif.id << "' (width " << motif.Width()
                   << ") is wider than every sequence: it has no site\n";
    if (!quiet)
        io.err << "kalvo: scan " << tally.sitesWritten << (tally.sitesWritten == 1 ? " site" : " sites") << " of "
               << request.motifs.size() << (request.motifs.size() == 1 ? " motif" : " motifs") << " in "
               << tally.sequences << (tally.sequences == 1 ? " sequence" : " sequences") << ", " << tally.residues
               << " residues\n";
    return kExitSuccess;
}

}  // namespace

int KalvoScan(const std::vector<std::string>& words, const CommandStreams& io)
{
    ScanOptions options;
    const OptionApplier apply = [&options](Option option, const std::string& name, const std::string& value) {
        return ApplyScanOption(option, name, value, options);
    };
    ParsedArguments parsed;
    if (auto status = ParseCommand(words, kScanSyntax, apply, parsed, io.out, io.err, ScanHelp))
        return *status;
    if (parsed.operands.size() != 2)
        return UsageError(io.err, kScanSyntax,
                          "scan takes a motif file and a FASTA file, not " + std::to_string(parsed.operands.size()) +
                              (parsed.operands.size() == 1 ? " file" : " files"));
    return Scan(options, parsed.operands[0], parsed.operands[1], parsed.quiet, parsed.jobs, io);
}

}  // namespace kalvo
