// app/gui/dialogs.h: how the program asks the user for files and tells them things; tests replace every one.
#pragma once
#include <functional>
#include <optional>

#include <QString>
#include <QUrl>

#include "app/gui/analysis_form.h"

class QWidget;

namespace kalvo {

struct Dialogs {
    // A file to open, any type, asked for under `title` ("Parameter file"); empty when the user cancelled.
    std::function<QString(QWidget* parent, const QString& title)> openFile;
    // A sequence file (FASTA, gzip or not), starting in the folder of `start`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> openSequences;
    // An existing folder, starting at `start`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> chooseFolder;
    // Where to save a logo (.svg or .png), starting from `suggested`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> saveLogo;
    // Where to save a table of sites, starting from `suggested`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> saveSites;
    // The New Analysis form, filled in from `start`; nothing when cancelled.
    std::function<std::optional<AnalysisRequest>(QWidget* parent, const AnalysisForm& start)> newAnalysis;
    // Hands a file or folder to the desktop's program for it (a browser, a file manager); false when none took it.
    std::function<bool(const QUrl& url)> openUrl;
    // A message with a single OK button, for the batch's own messages.
    std::function<void(QWidget* parent, const QString& text)> inform;
    // The same for a problem: a refused run, a file that cannot be opened or written.
    std::function<void(QWidget* parent, const QString& text)> warn;
};

// QFileDialog, the New Analysis form, QDesktopServices and QMessageBox.
Dialogs StandardDialogs();

}  // namespace kalvo
