// app/gui/sequence_scan.cpp: a scan of another FASTA file with an analysis's motifs, from the results window.
#include "app/gui/sequence_scan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>

#include <algorithm>
#include <thread>

#include "discover/known/fasta_scan.h"
#include "discover/known/motif_file.h"
#include "util/append_file.h"
#include "util/file_stem.h"

namespace kalvo {

QString SuggestedSitesFile(const QString& fasta)
{
    const QFileInfo info(fasta);
    return info.absoluteDir().filePath(QString::fromStdString(FileStem(fasta.toStdString())) +
                                       QStringLiteral(".sites.tsv"));
}

SequenceScanOutcome ScanWithAnalysisMotifs(QWidget* parent, const QString& folder, const QString& fasta,
                                           const QString& output)
{
    MotifRead motifs = ReadMotifFile(folder.toStdString());
    if (motifs.refusal)
        return {false, QString::fromStdString(motifs.refusal->message)};
    for (const KnownMotif& motif : motifs.motifs)
        if (auto refusal = CheckPairs(motif))
            return {false, QString::fromStdString(refusal->message)};
    FastaScanRequest request;
    request.fastaPath = fasta.toStdString();
    request.motifs = std::move(motifs.motifs);
    request.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    ReplacingWriter file;
    if (auto problem = file.Open(output.toStdString()))
        return {false, QObject::tr("cannot write '%1': %2").arg(QDir::toNativeSeparators(output),
                                                                QString::fromStdString(*problem))};

    QProgressDialog progress(QObject::tr("Scanning '%1'...").arg(QFileInfo(fasta).fileName()), QObject::tr("Cancel"), 0,
                             0, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const QLocale locale;
    FastaScanTally tally;
    bool cancelled = false;
    const Outcome refusal = ScanFasta(
        request, [&](std::string_view bytes) { return file.Write(bytes); }, tally,
        [&](const FastaScanTally& now) {
            progress.setLabelText(QObject::tr("Scanning '%1': %2 Mbp, %3 sites")
                                      .arg(QFileInfo(fasta).fileName(),
                                           locale.toString(static_cast<double>(now.residues) / 1e6, 'f', 1),
                                           locale.toString(now.sites)));
            QCoreApplication::processEvents();
            cancelled = progress.wasCanceled();
            return !cancelled;
        });
    progress.close();
    if (refusal)
        return {false, cancelled ? QObject::tr("The scan was cancelled; nothing was written.")
                                              : QString::fromStdString(refusal->message)};
    if (auto problem = file.Commit())
        return {false, QObject::tr("cannot write '%1': %2").arg(QDir::toNativeSeparators(output),
                                                                QString::fromStdString(*problem))};
    return {true, QObject::tr("%1 sites of %2 motifs in %3 sequences of '%4' (p at most 1e-4 on either strand) "
                              "written to '%5'.")
                      .arg(locale.toString(tally.sitesWritten))
                      .arg(request.motifs.size())
                      .arg(locale.toString(tally.sequences))
                      .arg(QDir::toNativeSeparators(fasta), QDir::toNativeSeparators(output))};
}

}  // namespace kalvo
