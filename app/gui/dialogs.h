// app/gui/dialogs.h: how the program asks the user for files and tells them things; tests replace every one.
#pragma once
#include <functional>

#include <QString>

class QWidget;

namespace kalvo {

struct Dialogs {
    // A file to open, any type; empty when the user cancelled.
    std::function<QString(QWidget* parent)> openFile;
    // Where to save a logo (.svg or .png), starting from `suggested`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> saveLogo;
    // A message with a single OK button, for the batch's own messages.
    std::function<void(QWidget* parent, const QString& text)> inform;
    // The same for a problem: a refused run, a file that cannot be opened or written.
    std::function<void(QWidget* parent, const QString& text)> warn;
};

// QFileDialog and QMessageBox.
Dialogs StandardDialogs();

}  // namespace kalvo
