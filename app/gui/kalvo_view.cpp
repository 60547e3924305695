// app/gui/kalvo_view.cpp: batch commands with a progress dialog, the run list and the logo of the last run.
#include "app/gui/kalvo_view.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QSvgRenderer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/gui/batch_runner.h"
#include "app/gui/command_ids.h"
#include "app/gui/kalvo_doc.h"
#include "app/gui/logo_widget.h"
#include "app/gui/progress_dialog.h"
#include "report/sequence_logo.h"

namespace kalvo {
namespace {

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

QString Native(const std::string& path) { return QDir::toNativeSeparators(FromStd(path)); }

enum Column { ParameterColumn, SeedColumn, OutputColumn, StatusColumn, ColumnCount };

}  // namespace

CKalvoView::CKalvoView(CKalvoDoc* doc, Dialogs dialogs, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_dialogs(std::move(dialogs))
{
    m_runList = new QTreeWidget;
    m_runList->setColumnCount(ColumnCount);
    m_runList->setHeaderLabels({tr("Parameter file"), tr("Seed"), tr("Output file"), tr("Status")});
    m_runList->setRootIsDecorated(false);
    m_runList->setAlternatingRowColors(true);
    m_runList->setUniformRowHeights(true);
    m_runList->header()->setStretchLastSection(true);

    m_logoTitle = new QLabel(tr("No run has finished yet."));
    m_logo = new LogoWidget;
    m_reverse = new QCheckBox(tr("Reverse complement"));
    m_saveLogo = new QPushButton(tr("Save Logo..."));
    m_saveLogo->setEnabled(false);
    auto* saveAction = new QAction(tr("Save Logo..."), m_logo);
    m_logo->addAction(saveAction);
    m_logo->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(saveAction, &QAction::triggered, this, [this] { SaveLogo(); });
    connect(m_saveLogo, &QPushButton::clicked, this, [this] { SaveLogo(); });
    connect(m_reverse, &QCheckBox::toggled, this, [this](bool) { ShowLogo(); });

    auto* logoPanel = new QWidget;
    auto* logoLayout = new QVBoxLayout(logoPanel);
    logoLayout->setContentsMargins(0, 0, 0, 0);
    logoLayout->addWidget(m_logoTitle);
    logoLayout->addWidget(m_logo, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_reverse);
    buttons->addStretch(1);
    buttons->addWidget(m_saveLogo);
    logoLayout->addLayout(buttons);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_runList);
    splitter->addWidget(logoPanel);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    BatchEvents events;
    events.runStarting = [this](const PlannedRun& run) { OnRunStarting(run); };
    events.runFinished = [this](const PlannedRun& run, const RunSummary& summary) { OnRunFinished(run, summary); };
    events.refused = [this](const std::optional<PlannedRun>& run, const std::string& file, const std::string& message) {
        OnRefused(run, file, message);
    };
    events.progress = [this](const PlannedRun& run, const RunProgress& progress) { OnProgress(run, progress); };
    events.message = [this](std::string_view text) { OnMessage(text); };
    events.warned = [this](const std::string& warning) { Tell(tr("Warning: %1").arg(FromStd(warning)), true); };
    events.finished = [this](const BatchResult& result) { OnBatchEnded(result); };
    m_runner = std::make_unique<BatchRunner>(std::move(events));
}

CKalvoView::~CKalvoView()
{
    m_runner.reset();  // abandons a running batch before the widgets it reports to go
    delete m_progress;
}

bool CKalvoView::OnCommand(int id)
{
    switch (id) {
    case kIdSingleRun:
        RunBatch(BatchCommand::SingleRun);
        return true;
    case kIdRepeatedRun:
        RunBatch(BatchCommand::RepeatedRun);
        return true;
    case kIdMultipleInputs:
        RunBatch(BatchCommand::MultipleInputs);
        return true;
    default:
        return false;
    }
}

bool CKalvoView::IsBatchRunning() const { return m_runner->IsRunning(); }

void CKalvoView::RunBatch(BatchCommand command, std::optional<QString> file, std::optional<std::uint32_t> seed)
{
    if (BatchRunner::AnyRunning()) {
        Tell(tr("A batch is still running. Wait for it to finish or cancel it first."), true);
        return;
    }
    if (!file) {
        const QString chosen = m_dialogs.openFile ? m_dialogs.openFile(this) : QString();
        if (chosen.isEmpty())
            return;  // cancelled: no message
        file = chosen;
    }
    const std::string path = QFileInfo(*file).absoluteFilePath().toStdString();
    const std::uint32_t baseSeed = seed ? *seed : ClockSeed();

    m_batchRows.clear();
    m_cancelling = false;
    m_progress = new ProgressDialog(window());
    m_progress->setWindowModality(Qt::ApplicationModal);  // one batch at a time; the windows wait
    connect(m_progress, &ProgressDialog::Cancelled, this, [this] { CancelBatch(); });
    if (!m_runner->Start(command, path, baseSeed, DefaultJobs())) {
        CloseProgress();
        Tell(BatchRunner::AnyRunning() ? tr("A batch is still running. Wait for it to finish or cancel it first.")
                                       : tr("The batch cannot start: the system has no thread to spare."),
             true);
        return;
    }
    m_progress->show();
}

void CKalvoView::CancelBatch()
{
    m_cancelling = true;
    m_runner->Cancel();
}

std::size_t CKalvoView::AddRecord(RunRecord record)
{
    m_runs.push_back(std::move(record));
    auto* item = new QTreeWidgetItem(m_runList);
    item->setTextAlignment(SeedColumn, Qt::AlignRight | Qt::AlignVCenter);
    const std::size_t index = m_runs.size() - 1;
    ShowRecord(index);
    m_runList->scrollToItem(item);
    return index;
}

QString CKalvoView::StatusText(const RunRecord& record)
{
    switch (record.status) {
    case RunStatus::Running: return tr("running");
    case RunStatus::Done: return tr("done");
    case RunStatus::Refused: return tr("refused: %1").arg(record.message);
    case RunStatus::Cancelled: return tr("cancelled");
    }
    return {};
}

void CKalvoView::ShowRecord(std::size_t index)
{
    const RunRecord& record = m_runs[index];
    QTreeWidgetItem* item = m_runList->topLevelItem(static_cast<int>(index));
    item->setText(ParameterColumn, record.parameterFile);
    item->setToolTip(ParameterColumn, record.parameterFile);
    item->setText(SeedColumn, record.seed ? QString::number(*record.seed) : QString());
    item->setText(OutputColumn, record.outputFile);
    item->setToolTip(OutputColumn, record.outputFile);
    item->setText(StatusColumn, StatusText(record));
    item->setToolTip(StatusColumn, StatusText(record));
    for (int c = 0; c < StatusColumn; ++c)
        m_runList->resizeColumnToContents(c);
}

void CKalvoView::OnRunStarting(const PlannedRun& run)
{
    RunRecord record;
    record.parameterFile = Native(run.parameterFile);
    record.seed = run.seed;
    m_batchRows.emplace_back(run.index, AddRecord(std::move(record)));
}

void CKalvoView::OnRunFinished(const PlannedRun& run, const RunSummary& summary)
{
    for (const auto& [k, row] : m_batchRows) {
        if (k == run.index) {
            m_runs[row].status = RunStatus::Done;
            // Relative paths in a parameter file are relative to the program's working folder.
            m_runs[row].outputFile = QDir::toNativeSeparators(QFileInfo(FromStd(summary.outputPath)).absoluteFilePath());
            ShowRecord(row);
        }
    }
    m_lastSummary = summary;
    m_lastRunTitle = tr("Motif of %1 (seed %2)").arg(QFileInfo(FromStd(run.parameterFile)).fileName()).arg(run.seed);
    ShowLogo();
}

void CKalvoView::OnRefused(const std::optional<PlannedRun>& run, const std::string& file, const std::string& message)
{
    bool shown = false;
    if (run) {
        for (const auto& [k, row] : m_batchRows) {
            if (k == run->index) {
                m_runs[row].status = RunStatus::Refused;
                m_runs[row].message = FromStd(message);
                ShowRecord(row);
                shown = true;
            }
        }
    }
    if (!shown) {
        RunRecord record;
        record.parameterFile = Native(file);
        record.status = RunStatus::Refused;
        record.message = FromStd(message);
        AddRecord(std::move(record));
    }
    Tell(FromStd(message), true);
}

void CKalvoView::OnProgress(const PlannedRun& run, const RunProgress& progress)
{
    if (!m_progress || m_cancelling || run.total < 1)
        return;
    const double withinRun =
        progress.iterations > 0 ? (progress.iteration + progress.withinIteration) / progress.iterations : 0.0;
    const double done = (double(run.index) + withinRun) / double(run.total);
    m_progress->SetFraction(done);  // runs computed side by side report in turn; the bar never goes back
    m_progress->SetText(tr("Run %1 of %2\n%3\nIteration %4 of %5")
                            .arg(run.index + 1)
                            .arg(run.total)
                            .arg(Native(run.parameterFile))
                            .arg(progress.iteration)
                            .arg(progress.iterations));
}

void CKalvoView::OnMessage(std::string_view text)
{
    // Both messages end the batch, so the progress dialog goes first.
    if (text == kFinishedMessage || text == kRunCountMessage)
        CloseProgress();
    Tell(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), false);
}

void CKalvoView::OnBatchEnded(const BatchResult& result)
{
    CloseProgress();
    if (result.cancelled) {
        for (const auto& [k, row] : m_batchRows) {
            if (m_runs[row].status == RunStatus::Running) {
                m_runs[row].status = RunStatus::Cancelled;
                ShowRecord(row);
            }
        }
    }
    m_batchRows.clear();
    emit BatchFinished();
}

void CKalvoView::CloseProgress()
{
    if (m_progress) {
        m_progress->hide();
        m_progress->deleteLater();
        m_progress = nullptr;
    }
}

void CKalvoView::Tell(const QString& text, bool problem)
{
    m_pendingMessages.emplace_back(text, problem);
    if (m_telling)
        return;  // the message box showing now takes this one next
    m_telling = true;
    const QPointer<CKalvoView> self(this);
    while (self && !m_pendingMessages.empty()) {
        const auto [next, isProblem] = m_pendingMessages.front();
        m_pendingMessages.erase(m_pendingMessages.begin());
        const auto show = isProblem ? m_dialogs.warn : m_dialogs.inform;  // a copy: the box may outlive this view
        if (show)
            show(this, next);
    }
    if (self)
        m_telling = false;
}

QByteArray CKalvoView::LogoSvg() const
{
    if (!m_lastSummary)
        return {};
    LogoOptions options;
    options.reverseComplement = m_reverse->isChecked();
    return QByteArray::fromStdString(SequenceLogoSvg(*m_lastSummary, options));
}

void CKalvoView::SetReverseComplement(bool on) { m_reverse->setChecked(on); }

void CKalvoView::ShowLogo()
{
    m_logo->SetSvg(LogoSvg());
    m_saveLogo->setEnabled(m_lastSummary.has_value());
    if (m_lastSummary)
        m_logoTitle->setText(m_lastRunTitle);
}

bool CKalvoView::SaveLogo()
{
    if (!m_lastSummary || !m_dialogs.saveLogo)
        return false;
    const QFileInfo output(FromStd(m_lastSummary->outputPath));
    const QString stem = QFileInfo(FromStd(m_lastSummary->parameterPath)).completeBaseName();
    const QString suggested = output.absoluteDir().filePath((stem.isEmpty() ? QStringLiteral("motif") : stem) +
                                                            QStringLiteral("-logo.svg"));
    const QString path = m_dialogs.saveLogo(this, suggested);
    if (path.isEmpty())
        return false;
    return WriteLogo(path);
}

bool CKalvoView::WriteLogo(const QString& path)
{
    const QByteArray svg = LogoSvg();
    if (svg.isEmpty())
        return false;
    // Written to a temporary file and renamed into place: an existing file is
    // replaced whole or left as it was.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written && path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        QSvgRenderer renderer(svg);
        QImage image(renderer.defaultSize() * 2, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        written = image.save(&file, "PNG");
    } else if (written) {
        written = file.write(svg) == svg.size();
    }
    if (written)
        written = file.commit();
    if (!written) {
        Tell(tr("cannot write logo file '%1': %2").arg(QDir::toNativeSeparators(path), file.errorString()), true);
        return false;
    }
    return true;
}

}  // namespace kalvo
