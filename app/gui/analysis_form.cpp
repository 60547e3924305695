// app/gui/analysis_form.cpp: the form's check, field by field, with the limits every front end shares.
#include "app/gui/analysis_form.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "app/batch.h"
#include "discover/discover.h"
#include "discover/known/motif_database.h"
#include "util/number_text.h"

namespace kalvo {
namespace {

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

FolderState StateOf(const QString& folder) { return InspectFolder(folder.toStdString()); }

// What is wrong with a sequence file field; `what` names it in the message.
std::optional<QString> SequenceFileProblem(const QString& path, const QString& what)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("The %1 '%2' does not exist.").arg(what, Native(path));
    if (info.isDir())
        return QStringLiteral("The %1 '%2' is a folder: choose a FASTA file.").arg(what, Native(path));
    return std::nullopt;
}

// The search fields (widths, counts, strands and masking, E-value) into the
// settings; the first problem in words otherwise.
std::optional<QString> ReadSearchFields(const AnalysisForm& form, DiscoverSettings& settings)
{
    settings.widths.clear();
    const QString widthsProblem = QStringLiteral("Widths must be whole numbers from %1 to %2 separated by commas, "
                                                 "such as 8,12,16, not '%3'.")
                                      .arg(kDiscoverWidths.least)
                                      .arg(kDiscoverWidths.most)
                                      .arg(form.widths.trimmed());
    for (const QString& item : form.widths.split(QLatin1Char(','))) {
        const auto width = ReadWholeNumber(item);
        if (!width || !kDiscoverWidths.Holds(*width))
            return widthsProblem;
        // A width given twice is searched once, as on the command line: its
        // restarts would otherwise share their files.
        const int given = static_cast<int>(*width);
        if (std::find(settings.widths.begin(), settings.widths.end(), given) == settings.widths.end())
            settings.widths.push_back(given);
    }

    auto rangeProblem = [](const char* field, WholeRange range) {
        return QStringLiteral("%1 must be from %2 to %3.").arg(QLatin1String(field)).arg(range.least).arg(range.most);
    };
    if (!kDiscoverMotifs.Holds(form.motifs))
        return rangeProblem("Motifs", kDiscoverMotifs);
    if (!kDiscoverRestarts.Holds(form.restarts))
        return rangeProblem("Restarts", kDiscoverRestarts);
    if (!kDiscoverIterations.Holds(form.iterations))
        return rangeProblem("Iterations", kDiscoverIterations);
    settings.motifs = form.motifs;
    settings.restarts = form.restarts;
    settings.iterations = form.iterations;
    settings.bothStrands = form.bothStrands;
    settings.oneSite = form.oneSite;
    settings.mask = form.mask;

    const std::string evalue = form.evalue.trimmed().toStdString();
    const double threshold = ReadsWholeAsReal(evalue) ? ParseLeadingReal(evalue) : 0.0;
    if (!IsEValueThreshold(threshold))
        return QStringLiteral("The E-value threshold must be a number above 0, such as 0.05, not '%1'.")
            .arg(form.evalue.trimmed());
    settings.evalueThreshold = threshold;
    return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> ReadWholeNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 10)
        return std::nullopt;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const qulonglong value = trimmed.toULongLong();
    if (value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::optional<AnalysisRequest> ReadAnalysisForm(const AnalysisForm& form, QString* problem)
{
    auto refuse = [problem](const QString& text) -> std::optional<AnalysisRequest> {
        *problem = text;
        return std::nullopt;
    };
    AnalysisRequest request;
    DiscoverSettings& settings = request.settings;

    const QString sequences = form.sequences.trimmed();
    if (sequences.isEmpty())
        return refuse(QStringLiteral("Choose the FASTA file of the sequences to search."));
    if (auto wrong = SequenceFileProblem(sequences, QStringLiteral("sequence file")))
        return refuse(*wrong);
    settings.inputPath = QFileInfo(sequences).absoluteFilePath().toStdString();

    const QString control = form.control.trimmed();
    if (!control.isEmpty()) {
        if (auto wrong = SequenceFileProblem(control, QStringLiteral("control file")))
            return refuse(*wrong);
        settings.controlPath = QFileInfo(control).absoluteFilePath().toStdString();
    }

    if (auto wrong = ReadSearchFields(form, settings))
        return refuse(*wrong);

    const auto seed = ReadWholeNumber(form.seed);
    if (!seed)
        return refuse(QStringLiteral("The seed must be a whole number from 0 to 4294967295, not '%1'.")
                          .arg(form.seed.trimmed()));
    settings.seed = *seed;

    const QString output = form.outputFolder.trimmed();
    if (output.isEmpty())
        return refuse(QStringLiteral("Choose an output folder."));
    const FolderState outputState = StateOf(output);
    if (outputState == FolderState::NotAFolder)
        return refuse(QStringLiteral("The output folder '%1' is a file: choose a folder.").arg(Native(output)));
    if (outputState == FolderState::HoldsFiles && !form.replace)
        return refuse(QStringLiteral("The output folder '%1' already holds files: choose another, or tick "
                                     "\"Replace the files of an earlier analysis\".")
                          .arg(Native(output)));
    settings.outputDir = QDir::cleanPath(QFileInfo(output).absoluteFilePath()).toStdString();
    request.force = form.replace;

    settings.jobs = DefaultJobs();
    settings.programVersion = KALVO_VERSION;
    // The bundled known motifs lie beside the installed program or in the tree it was built from.
    settings.knownMotifs.programPath = OwnProgramPath(nullptr);
    return request;
}

QString SuggestedOutputFolder(const QString& sequences)
{
    const QString trimmed = sequences.trimmed();
    if (trimmed.isEmpty())
        return {};
    const QFileInfo input(trimmed);
    const QDir folder = input.absoluteDir();
    const QString name = QString::fromStdString(DefaultDiscoverOutputDir(input.fileName().toStdString()));
    const QString stem = name.chopped(static_cast<qsizetype>(sizeof(".kalvo") - 1));
    for (int n = 1; n < 1000; ++n) {
        const QString candidate =
            folder.filePath(n == 1 ? name : QStringLiteral("%1-%2.kalvo").arg(stem).arg(n));
        const FolderState state = StateOf(candidate);
        if (state == FolderState::Absent || state == FolderState::Empty)
            return QDir::cleanPath(candidate);
    }
    return QDir::cleanPath(folder.filePath(name));
}

}  // namespace kalvo
