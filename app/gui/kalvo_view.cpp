// app/gui/kalvo_view.cpp: batch commands with a progress dialog, the run list and the logo of the chosen run.
#include "app/gui/kalvo_view.h"

#include <algorithm>
#include <filesystem>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/gui/batch_runner.h"
#include "app/gui/command_ids.h"
#include "app/gui/discovery_runner.h"
#include "app/gui/kalvo_doc.h"
#include "app/gui/logo_widget.h"
#include "app/gui/progress_dialog.h"
#include "report/sequence_logo.h"
#include "util/text_source.h"

namespace kalvo {
namespace {

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

QString Native(const std::string& path) { return QDir::toNativeSeparators(FromStd(path)); }

enum Column { ParameterColumn, SeedColumn, LogLikColumn, SitesColumn, OutputColumn, StatusColumn, ColumnCount };

QString BusyMessage()
{
    return DiscoveryRunner::AnyRunning()
               ? QObject::tr("An analysis is still running. Wait for it to finish or cancel it first.")
               : QObject::tr("A batch is still running. Wait for it to finish or cancel it first.");
}

}  // namespace

bool LooksLikeSequenceFile(const QString& path)
{
    // Only a regular file is looked into: a pipe would wait for a writer.
    std::error_code ec;
    const std::string name = path.toStdString();
    if (!std::filesystem::is_regular_file(name, ec))
        return false;
    TextSource source(name);
    if (!source.IsOpen())
        return false;
    // Enough to get past any blank lines at the top, and no more.
    constexpr std::size_t kLooked = 64 * 1024;
    std::string text(kLooked, '\0');
    std::size_t size = 0;
    while (size < kLooked) {
        const std::size_t got = source.Read(text.data() + size, kLooked - size);
        if (got == 0)
            break;
        size += got;
    }
    text.resize(size);
    std::size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 byte-order mark
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    return at < text.size() && text[at] == '>';
}

CKalvoView::CKalvoView(CKalvoDoc* doc, Dialogs dialogs, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_dialogs(std::move(dialogs))
{
    m_runList = new QTreeWidget;
    m_runList->setColumnCount(ColumnCount);
    m_runList->setHeaderLabels(
        {tr("Parameter file"), tr("Seed"), tr("Log-likelihood"), tr("Sites"), tr("Output file"), tr("Status")});
    m_runList->headerItem()->setToolTip(LogLikColumn, tr("Joint log-likelihood of the run's best state, as its report gives it"));
    m_runList->headerItem()->setToolTip(SitesColumn, tr("Sites of the run's best state"));
    m_runList->setRootIsDecorated(false);
    m_runList->setAlternatingRowColors(true);
    m_runList->setUniformRowHeights(true);
    m_runList->header()->setStretchLastSection(true);
    // The user's choice (keys or mouse) stays until the next batch.
    const auto chosen = [this](QTreeWidgetItem* item) {
        if (m_choosing || !item)
            return;
        m_followBest = false;
        m_shown = m_runList->indexOfTopLevelItem(item);
        ShowLogo();
    };
    connect(m_runList, &QTreeWidget::currentItemChanged, this, chosen);
    connect(m_runList, &QTreeWidget::itemClicked, this, chosen);

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
    const bool running = m_runner->IsRunning();
    m_runner.reset();  // abandons a running batch before the widgets it reports to go
    delete m_progress;
    if (running)
        emit ActivityChanged(QString());
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
    if (BatchRunner::AnyRunning() || DiscoveryRunner::AnyRunning()) {
        Tell(BusyMessage(), true);
        return;
    }
    if (!file) {
        const QString title = command == BatchCommand::MultipleInputs ? tr("List file") : tr("Parameter file");
        const QString chosen = m_dialogs.openFile ? m_dialogs.openFile(this, title) : QString();
        if (chosen.isEmpty())
            return;  // cancelled: no message
        file = chosen;
    }
    if (LooksLikeSequenceFile(*file)) {
        Tell(QStringLiteral("'%1': %2").arg(QFileInfo(*file).fileName(), QString::fromLatin1(kSequenceFileMessage)), true);
        return;
    }
    const std::string path = QFileInfo(*file).absoluteFilePath().toStdString();
    const std::uint32_t baseSeed = seed ? *seed : ClockSeed();

    m_batchRows.clear();
    m_cancelling = false;
    m_followBest = true;
    m_progressRun = -1;
    m_progressRunDone = false;
    m_progress = new ProgressDialog(window());
    // Titled after the command: a message box is the only window titled just "Kalvo".
    m_progress->setWindowTitle(command == BatchCommand::SingleRun     ? tr("Single Run")
                               : command == BatchCommand::RepeatedRun ? tr("Repeatedly Run")
                                                                      : tr("Multiple inputs"));
    m_progress->setWindowModality(Qt::ApplicationModal);  // one batch at a time; the windows wait
    connect(m_progress, &ProgressDialog::Cancelled, this, [this] { CancelBatch(); });
    if (!m_runner->Start(command, path, baseSeed, DefaultJobs())) {
        CloseProgress();
        Tell(BatchRunner::AnyRunning() ? BusyMessage() : tr("The batch cannot start: the system has no thread to spare."),
             true);
        return;
    }
    emit ActivityChanged(tr("Running '%1'…").arg(QFileInfo(*file).fileName()));
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
    // A list without a current row makes one current by itself (when it gains
    // the focus, say): that is no choice of the user's, so it always has one.
    m_choosing = true;
    auto* item = new QTreeWidgetItem(m_runList);
    if (!m_runList->currentItem())
        m_runList->setCurrentItem(item);
    for (int c : {SeedColumn, LogLikColumn, SitesColumn})
        item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    const std::size_t index = m_runs.size() - 1;
    ShowRecord(index);
    m_runList->scrollToItem(item);
    m_choosing = false;
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
    item->setText(LogLikColumn, record.summary ? QString::number(record.summary->bestLogLik, 'f', 3) : QString());
    item->setText(SitesColumn, record.summary ? QString::number(record.summary->numSites) : QString());
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
    // The list keeps the motif and the score, not the sites and names: a long batch of a big input stays small.
    auto kept = std::make_shared<RunSummary>(summary);
    kept->seqNames.clear();
    kept->seqLengths.clear();
    kept->sites.clear();
    kept->sites.shrink_to_fit();
    for (const auto& [k, row] : m_batchRows) {
        if (k == run.index) {
            m_runs[row].status = RunStatus::Done;
            // Relative paths in a parameter file are relative to the program's working folder.
            m_runs[row].outputFile = QDir::toNativeSeparators(QFileInfo(FromStd(summary.outputPath)).absoluteFilePath());
            m_runs[row].summary = kept;
            ShowRecord(row);
        }
    }
    if (run.index == m_progressRun)
        m_progressRunDone = true;
    m_lastSummary = *kept;
    FollowBest();
}

void CKalvoView::FollowBest()
{
    if (!m_followBest) {
        ShowLogo();  // the chosen run may be the one that just finished
        return;
    }
    int best = -1;
    for (const auto& [k, row] : m_batchRows) {
        const auto& summary = m_runs[row].summary;
        if (summary && (best < 0 || summary->bestLogLik > m_runs[static_cast<std::size_t>(best)].summary->bestLogLik))
            best = static_cast<int>(row);
    }
    if (best >= 0 && best != m_shown) {
        m_shown = best;
        m_choosing = true;
        m_runList->setCurrentItem(m_runList->topLevelItem(best));
        m_choosing = false;
    }
    ShowLogo();
}

void CKalvoView::ShowRun(int index)
{
    if (index < 0 || index >= m_runList->topLevelItemCount())
        return;
    m_runList->setCurrentItem(m_runList->topLevelItem(index));
}

void CKalvoView::OnRefused(const std::optional<PlannedRun>& run, const std::string& file, const std::string& message)
{
    bool shown = false;
    if (run && run->index == m_progressRun)
        m_progressRunDone = true;
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
    // Runs computed side by side report in turn: the dialog follows the
    // earliest one until it has done its iterations, then the next.
    const bool follow = m_progressRun < 0 || run.index <= m_progressRun || m_progressRunDone;
    if (!follow)
        return;
    if (run.index != m_progressRun) {
        m_progressRun = run.index;
        m_progress->ResetFraction();
    }
    m_progressRunDone = progress.iteration >= progress.iterations;
    // The bar is this run's iterations, as the text says.
    const double done =
        progress.iterations > 0 ? (progress.iteration + progress.withinIteration) / progress.iterations : 1.0;
    m_progress->SetFraction(done);
    m_progress->SetText(tr("Run %1 of %2\n%3\nIteration %4 of %5")
                            .arg(run.index + 1)
                            .arg(run.total)
                            .arg(Native(run.parameterFile))
                            .arg(progress.iteration)
                            .arg(progress.iterations));
    emit ActivityChanged(tr("Running run %1 of %2 of '%3'…")
                             .arg(run.index + 1)
                             .arg(run.total)
                             .arg(QFileInfo(FromStd(run.parameterFile)).fileName()));
}

void CKalvoView::OnMessage(std::string_view text)
{
    // Both messages end the batch, so the progress dialog goes first.
    if (text == kFinishedMessage || text == kRunCountMessage) {
        CloseProgress();
        emit ActivityChanged(QString());
    }
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
    emit ActivityChanged(QString());
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
    if (m_shown < 0 || !m_runs[static_cast<std::size_t>(m_shown)].summary)
        return {};
    LogoOptions options;
    options.reverseComplement = m_reverse->isChecked();
    return QByteArray::fromStdString(SequenceLogoSvg(*m_runs[static_cast<std::size_t>(m_shown)].summary, options));
}

void CKalvoView::SetReverseComplement(bool on) { m_reverse->setChecked(on); }

void CKalvoView::ShowLogo()
{
    const QByteArray svg = LogoSvg();
    m_logo->SetSvg(svg);
    m_saveLogo->setEnabled(!svg.isEmpty());
    if (m_shown < 0)
        return;
    const RunRecord& record = m_runs[static_cast<std::size_t>(m_shown)];
    const QString name = QFileInfo(record.parameterFile).fileName();
    if (!record.summary) {
        m_logo->SetHint(tr("This run has no motif to draw: it is %1.").arg(StatusText(record)));
        m_logoTitle->setText(tr("Run of %1").arg(name));
        return;
    }
    QString title = tr("Motif of %1 (seed %2), joint log-likelihood %3")
                        .arg(name, QString::number(record.summary->seed),
                             QString::number(record.summary->bestLogLik, 'f', 3));
    std::size_t finished = 0;
    for (const auto& [k, row] : m_batchRows)
        finished += m_runs[row].summary ? 1 : 0;
    if (m_followBest && finished > 1)
        title += tr(": the best of %1 runs").arg(finished);
    m_logoTitle->setText(title);
}

bool CKalvoView::SaveLogo()
{
    if (m_shown < 0 || !m_runs[static_cast<std::size_t>(m_shown)].summary || !m_dialogs.saveLogo)
        return false;
    const RunSummary& summary = *m_runs[static_cast<std::size_t>(m_shown)].summary;
    const QFileInfo output(FromStd(summary.outputPath));
    const QString stem = QFileInfo(FromStd(summary.parameterPath)).completeBaseName();
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
    if (const auto problem = WriteLogoFile(path, svg)) {
        Tell(tr("cannot write logo file '%1': %2").arg(QDir::toNativeSeparators(path), *problem), true);
        return false;
    }
    return true;
}

}  // namespace kalvo
