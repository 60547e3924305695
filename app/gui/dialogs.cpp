// app/gui/dialogs.cpp: the standard file dialogs, the New Analysis form, the desktop's programs and message boxes.
#include "app/gui/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "app/gui/new_analysis_dialog.h"

namespace kalvo {
namespace {

void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, QStringLiteral("Kalvo"), text, QMessageBox::Ok, parent);
    box.exec();
}

// The folder a file dialog opens in for a path that may be a file, a folder or empty.
QString StartFolder(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

}  // namespace

Dialogs StandardDialogs()
{
    Dialogs dialogs;
    // No filter and no default extension: parameter and list files have no fixed name.
    dialogs.openFile = [](QWidget* parent, const QString& title) { return QFileDialog::getOpenFileName(parent, title); };
    dialogs.openSequences = [](QWidget* parent, const QString& title, const QString& start) {
        return QFileDialog::getOpenFileName(parent, title, StartFolder(start),
                                            QStringLiteral("FASTA files (*.fa *.fasta *.fna *.fa.gz *.fasta.gz *.fna.gz);;"
                                                           "All files (*)"));
    };
    dialogs.chooseFolder = [](QWidget* parent, const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(parent, title, StartFolder(start));
    };
    dialogs.saveLogo = [](QWidget* parent, const QString& suggested) {
        const QString svg = QStringLiteral("SVG image (*.svg)");
        const QString png = QStringLiteral("PNG image (*.png)");
        QString selected = svg;
        QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save Logo"), suggested,
                                                    svg + QStringLiteral(";;") + png, &selected);
        if (!path.isEmpty() && !path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive) &&
            !path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
            path += selected == png ? QStringLiteral(".png") : QStringLiteral(".svg");
        return path;
    };
    dialogs.saveSites = [](QWidget* parent, const QString& suggested) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Sites"), suggested,
                                            QStringLiteral("Tab-separated table (*.tsv);;All files (*)"));
    };
    dialogs.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    dialogs.inform = [](QWidget* parent, const QString& text) { ShowMessage(parent, text, QMessageBox::Information); };
    dialogs.warn = [](QWidget* parent, const QString& text) { ShowMessage(parent, text, QMessageBox::Warning); };
    // The form's Browse buttons use the dialogs above.
    dialogs.newAnalysis = [browse = dialogs](QWidget* parent, const AnalysisForm& start) -> std::optional<AnalysisRequest> {
        NewAnalysisDialog form(start, FormBrowsers{browse.openSequences, browse.chooseFolder}, parent);
        if (form.exec() != QDialog::Accepted)
            return std::nullopt;
        return form.Request();
    };
    return dialogs;
}

}  // namespace kalvo
