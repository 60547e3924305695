// app/gui/progress_dialog.cpp: text, bar and Cancel button of a running batch or analysis.
#include "app/gui/progress_dialog.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvo {

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Kalvo"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_text = new QLabel(tr("Starting..."));
    m_text->setMinimumWidth(420);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);  // the parameter file can be copied
    m_bar = new QProgressBar;
    m_bar->setRange(0, 1000);
    m_bar->setFormat(QStringLiteral("%p%"));  // the share, so it can be read against the text
    m_cancel = new QPushButton(tr("Cancel"));
    connect(m_cancel, &QPushButton::clicked, this, &ProgressDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
}

void ProgressDialog::SetText(const QString& text) { m_text->setText(text); }

QString ProgressDialog::Text() const { return m_text->text(); }

void ProgressDialog::SetFraction(double done)
{
    const int value = static_cast<int>(std::clamp(done, 0.0, 1.0) * 1000.0);
    m_bar->setValue(std::max(m_bar->value(), value));
}

void ProgressDialog::ResetFraction() { m_bar->setValue(0); }

double ProgressDialog::Fraction() const { return std::max(0, m_bar->value()) / static_cast<double>(m_bar->maximum()); }

void ProgressDialog::reject()
{
    if (!m_cancel->isEnabled())
        return;
    m_cancel->setEnabled(false);
    m_text->setText(tr("Cancelling..."));
    emit Cancelled();
}

}  // namespace kalvo
