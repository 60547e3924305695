// app/gui/about_box.h: the about box: the program's icon, name and version.
#pragma once
#include <QDialog>

namespace kalvo {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// The program's icon at the usual sizes, drawn from its SVG.
QIcon AppIcon();

}  // namespace kalvo
