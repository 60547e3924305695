// app/gui/analysis_form.cpp: the form's check, field by field, with the command line's limits.
#include "app/gui/analysis_form.h"

#include <QDir>
#include <QFileInfo>

#include "app/batch.h"
#include "discover/discover.h"
#include "util/number_text.h"

namespace kalvo {
namespace {

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

bool IsEmptyFolder(const QFileInfo& info)
{
    return info.isDir() && QDir(info.absoluteFilePath()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                                   QDir::NoDotAndDotDot);
}

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

    settings.widths.clear();
    const QString widthsProblem = QStringLiteral("Widths must be whole numbers from %1 to %2 separated by commas, "
                                                 "such as 8,12,16, not '%3'.")
                                      .arg(kMinFormWidth)
                                      .arg(kMaxFormWidth)
                                      .arg(form.widths.trimmed());
    for (const QString& item : form.widths.split(QLatin1Char(','))) {
        const auto width = ReadWholeNumber(item);
        if (!width || *width < static_cast<std::uint32_t>(kMinFormWidth) ||
            *width > static_cast<std::uint32_t>(kMaxFormWidth))
            return refuse(widthsProblem);
        settings.widths.push_back(static_cast<int>(*width));
    }

    auto inRange = [](int value, int most) { return value >= 1 && value <= most; };
    if (!inRange(form.motifs, kMaxFormMotifs))
        return refuse(QStringLiteral("Motifs must be from 1 to %1.").arg(kMaxFormMotifs));
    if (!inRange(form.restarts, kMaxFormRestarts))
        return refuse(QStringLiteral("Restarts must be from 1 to %1.").arg(kMaxFormRestarts));
    if (!inRange(form.iterations, kMaxFormIterations))
        return refuse(QStringLiteral("Iterations must be from 1 to %1.").arg(kMaxFormIterations));
    settings.motifs = form.motifs;
    settings.restarts = form.restarts;
    settings.iterations = form.iterations;
    settings.bothStrands = form.bothStrands;
    settings.oneSite = form.oneSite;
    settings.mask = form.mask;

    const std::string evalue = form.evalue.trimmed().toStdString();
    const double threshold = ReadsWholeAsReal(evalue) ? ParseLeadingReal(evalue) : 0.0;
    if (!(threshold > 0.0))
        return refuse(QStringLiteral("The E-value threshold must be a number above 0, such as 0.05, not '%1'.")
                          .arg(form.evalue.trimmed()));
    settings.evalueThreshold = threshold;

    const auto seed = ReadWholeNumber(form.seed);
    if (!seed)
        return refuse(QStringLiteral("The seed must be a whole number from 0 to 4294967295, not '%1'.")
                          .arg(form.seed.trimmed()));
    settings.seed = *seed;

    const QString output = form.outputFolder.trimmed();
    if (output.isEmpty())
        return refuse(QStringLiteral("Choose an output folder."));
    const QFileInfo outputInfo(output);
    if (outputInfo.exists() && !outputInfo.isDir())
        return refuse(QStringLiteral("The output folder '%1' is a file: choose a folder.").arg(Native(output)));
    if (outputInfo.exists() && !IsEmptyFolder(outputInfo) && !form.replace)
        return refuse(QStringLiteral("The output folder '%1' already holds files: choose another, or tick "
                                     "\"Replace the files of an earlier analysis\".")
                          .arg(Native(output)));
    settings.outputDir = QDir::cleanPath(outputInfo.absoluteFilePath()).toStdString();
    request.force = form.replace;

    settings.jobs = DefaultJobs();
    settings.programVersion = KALVO_VERSION;
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
        const QFileInfo info(candidate);
        if (!info.exists() || IsEmptyFolder(info))
            return QDir::cleanPath(candidate);
    }
    return QDir::cleanPath(folder.filePath(name));
}

}  // namespace kalvo
