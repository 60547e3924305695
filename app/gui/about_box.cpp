// app/gui/about_box.cpp: the about box and the program's icon.
#include "app/gui/about_box.h"

#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace kalvo {

QIcon AppIcon()
{
    // Drawn here rather than through an icon plugin, so the icon shows
    // wherever the Svg module is present.
    QIcon icon;
    QSvgRenderer renderer(QStringLiteral(":/kalvo/kalvo.svg"));
    if (!renderer.isValid())
        return icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("About Kalvo"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(tr("Kalvo Version 1.0"));
    text->setObjectName(QStringLiteral("aboutText"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* ok = new QPushButton(tr("OK"));
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 14, 12, 14);
    layout->setSpacing(14);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(text, 1, Qt::AlignTop);
    layout->addWidget(ok, 0, Qt::AlignTop);
    setFixedSize(sizeHint().expandedTo(QSize(350, 90)));
}

}  // namespace kalvo
