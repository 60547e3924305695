// app/gui/new_analysis_dialog.cpp: the form's fields, Browse buttons and Start.
#include "app/gui/new_analysis_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kalvo {
namespace {

QSpinBox* Counter(const char* name, WholeRange range)
{
    auto* box = new QSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(range.least, range.most);
    box->setGroupSeparatorShown(true);
    return box;
}

QLineEdit* Field(const char* name)
{
    auto* field = new QLineEdit;
    field->setObjectName(QLatin1String(name));
    return field;
}

// A path field with its Browse button. Return in the form means Start, never Browse.
QWidget* WithBrowse(QLineEdit* field, QPushButton* button)
{
    button->setAutoDefault(false);
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field, 1);
    layout->addWidget(button);
    return row;
}

}  // namespace

NewAnalysisDialog::NewAnalysisDialog(const AnalysisForm& start, FormBrowsers browsers, QWidget* parent)
    : QDialog(parent), m_browsers(std::move(browsers))
{
    setWindowTitle(tr("New Analysis"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_sequences = Field("sequences");
    m_sequences->setPlaceholderText(tr("FASTA file, gzip or not"));
    m_control = Field("control");
    m_control->setPlaceholderText(tr("none: shuffled copies of the sequences"));
    m_widths = Field("widths");
    m_widths->setToolTip(tr("Motif widths to try, from %1 to %2, separated by commas")
                             .arg(kDiscoverWidths.least)
                             .arg(kDiscoverWidths.most));
    m_motifs = Counter("motifs", kDiscoverMotifs);
    m_motifs->setToolTip(tr("After each motif its sites are masked and the search starts again"));
    m_restarts = Counter("restarts", kDiscoverRestarts);
    m_iterations = Counter("iterations", kDiscoverIterations);
    m_strands = new QComboBox;
    m_strands->setObjectName(QStringLiteral("strands"));
    m_strands->addItems({tr("Both strands"), tr("Given strand only")});
    m_oneSite = new QCheckBox(tr("Exactly one site per sequence"));
    m_oneSite->setObjectName(QStringLiteral("oneSite"));
    m_oneSite->setToolTip(tr("Each restart places one site in every sequence, as when every sequence is known to hold one"));
    m_mask = new QCheckBox(tr("Mask low-complexity regions"));
    m_mask->setObjectName(QStringLiteral("mask"));
    m_evalue = Field("evalue");
    m_evalue->setToolTip(tr("A motif is reported only when its E-value is at most this"));
    m_seed = Field("seed");
    m_seed->setToolTip(tr("The same seed and settings give the same files"));
    m_output = Field("outputFolder");
    m_replace = new QCheckBox(tr("Replace the files of an earlier analysis"));
    m_replace->setObjectName(QStringLiteral("replace"));

    auto* browseSequences = new QPushButton(tr("Browse..."));
    auto* browseControl = new QPushButton(tr("Browse..."));
    auto* browseOutput = new QPushButton(tr("Browse..."));
    connect(browseSequences, &QPushButton::clicked, this, &NewAnalysisDialog::BrowseSequences);
    connect(browseControl, &QPushButton::clicked, this, &NewAnalysisDialog::BrowseControl);
    connect(browseOutput, &QPushButton::clicked, this, &NewAnalysisDialog::BrowseOutput);
    connect(m_sequences, &QLineEdit::textChanged, this, &NewAnalysisDialog::SequencesChanged);
    connect(m_output, &QLineEdit::textEdited, this, [this] { m_outputTyped = true; });

    auto* form = new QFormLayout;
    form->addRow(tr("Sequences:"), WithBrowse(m_sequences, browseSequences));
    form->addRow(tr("Control sequences:"), WithBrowse(m_control, browseControl));
    form->addRow(tr("Motif widths:"), m_widths);
    form->addRow(tr("Motifs, at most:"), m_motifs);
    form->addRow(tr("Restarts per width:"), m_restarts);
    form->addRow(tr("Iterations per restart:"), m_iterations);
    form->addRow(tr("Strands:"), m_strands);
    form->addRow(QString(), m_oneSite);
    form->addRow(QString(), m_mask);
    form->addRow(tr("E-value at most:"), m_evalue);
    form->addRow(tr("Seed:"), m_seed);
    form->addRow(tr("Output folder:"), WithBrowse(m_output, browseOutput));
    form->addRow(QString(), m_replace);

    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problem->hide();

    auto* buttons = new QDialogButtonBox;
    QPushButton* startButton = buttons->addButton(tr("Start"), QDialogButtonBox::AcceptRole);
    startButton->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &NewAnalysisDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NewAnalysisDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    setMinimumWidth(560);

    SetForm(start);
}

AnalysisForm NewAnalysisDialog::Form() const
{
    AnalysisForm form;
    form.sequences = m_sequences->text();
    form.control = m_control->text();
    form.widths = m_widths->text();
    form.motifs = m_motifs->value();
    form.restarts = m_restarts->value();
    form.iterations = m_iterations->value();
    form.bothStrands = m_strands->currentIndex() == 0;
    form.oneSite = m_oneSite->isChecked();
    form.mask = m_mask->isChecked();
    form.evalue = m_evalue->text();
    form.seed = m_seed->text();
    form.outputFolder = m_output->text();
    form.replace = m_replace->isChecked();
    return form;
}

void NewAnalysisDialog::SetForm(const AnalysisForm& form)
{
    m_outputTyped = false;
    m_sequences->setText(form.sequences);
    m_control->setText(form.control);
    m_widths->setText(form.widths);
    m_motifs->setValue(form.motifs);
    m_restarts->setValue(form.restarts);
    m_iterations->setValue(form.iterations);
    m_strands->setCurrentIndex(form.bothStrands ? 0 : 1);
    m_oneSite->setChecked(form.oneSite);
    m_mask->setChecked(form.mask);
    m_evalue->setText(form.evalue);
    m_seed->setText(form.seed);
    if (form.outputFolder.isEmpty()) {
        SequencesChanged();
    } else {
        m_output->setText(form.outputFolder);
        m_outputTyped = true;
    }
    m_replace->setChecked(form.replace);
}

QString NewAnalysisDialog::Problem() const { return m_problem->isHidden() ? QString() : m_problem->text(); }

void NewAnalysisDialog::accept()
{
    QString problem;
    m_request = ReadAnalysisForm(Form(), &problem);
    if (!m_request) {
        m_problem->setText(problem);
        m_problem->show();
        return;
    }
    m_problem->clear();
    m_problem->hide();
    QDialog::accept();
}

void NewAnalysisDialog::SequencesChanged()
{
    // The output folder follows the sequence file until the user picks one.
    if (!m_outputTyped)
        m_output->setText(QDir::toNativeSeparators(SuggestedOutputFolder(m_sequences->text())));
}

void NewAnalysisDialog::BrowseSequences()
{
    if (!m_browsers.openSequences)
        return;
    const QString path = m_browsers.openSequences(this, tr("Sequence file"), m_sequences->text());
    if (!path.isEmpty())
        m_sequences->setText(QDir::toNativeSeparators(path));
}

void NewAnalysisDialog::BrowseControl()
{
    if (!m_browsers.openSequences)
        return;
    const QString start = m_control->text().isEmpty() ? m_sequences->text() : m_control->text();
    const QString path = m_browsers.openSequences(this, tr("Control sequences"), start);
    if (!path.isEmpty())
        m_control->setText(QDir::toNativeSeparators(path));
}

void NewAnalysisDialog::BrowseOutput()
{
    if (!m_browsers.chooseFolder)
        return;
    const QString start = m_output->text().isEmpty() ? QFileInfo(m_sequences->text()).absolutePath() : m_output->text();
    const QString path = m_browsers.chooseFolder(this, tr("Output folder"), start);
    if (!path.isEmpty()) {
        m_output->setText(QDir::toNativeSeparators(path));
        m_outputTyped = true;
    }
}

}  // namespace kalvo
