// app/gui/dialogs.cpp: the standard file dialogs and message boxes.
#include "app/gui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace kalvo {
namespace {

void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, QStringLiteral("Kalvo"), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

Dialogs StandardDialogs()
{
    Dialogs dialogs;
    // No filter and no default extension: parameter and list files have no fixed name.
    dialogs.openFile = [](QWidget* parent) { return QFileDialog::getOpenFileName(parent, QStringLiteral("Open")); };
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
    dialogs.inform = [](QWidget* parent, const QString& text) { ShowMessage(parent, text, QMessageBox::Information); };
    dialogs.warn = [](QWidget* parent, const QString& text) { ShowMessage(parent, text, QMessageBox::Warning); };
    return dialogs;
}

}  // namespace kalvo
