// app/gui/analysis_controller.cpp: a discovery from the form to its results window, with progress and Cancel.
#include "app/gui/analysis_controller.h"

#include <QDir>
#include <QFileInfo>

#include "app/gui/batch_runner.h"
#include "app/gui/discovery_runner.h"
#include "app/gui/main_frame.h"
#include "app/gui/progress_dialog.h"

namespace kalvo {
namespace {

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

QString Native(const std::string& path) { return QDir::toNativeSeparators(FromStd(path)); }

// "0:07", "12:34", "1:02:03".
QString Clock(double seconds)
{
    const long long whole = static_cast<long long>(seconds + 0.5);
    const long long h = whole / 3600;
    const long long m = whole / 60 % 60;
    const long long s = whole % 60;
    const QString secs = QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(secs);
    return QStringLiteral("%1:%2").arg(m).arg(secs);
}

// The form that asks for the same analysis again, with a fresh output folder.
AnalysisForm FormOf(const AnalysisRequest& request)
{
    const DiscoverSettings& settings = request.settings;
    AnalysisForm form;
    form.sequences = Native(settings.inputPath);
    form.control = settings.controlPath ? Native(*settings.controlPath) : QString();
    QStringList widths;
    for (int width : settings.widths)
        widths.append(QString::number(width));
    form.widths = widths.join(QLatin1Char(','));
    form.motifs = settings.motifs;
    form.restarts = settings.restarts;
    form.iterations = settings.iterations;
    form.bothStrands = settings.bothStrands;
    form.oneSite = settings.oneSite;
    form.mask = settings.mask;
    form.evalue = QString::number(settings.evalueThreshold, 'g', 17);
    form.seed = QString::number(settings.seed);
    return form;
}

}  // namespace

AnalysisController::AnalysisController(CMainFrame* frame, Dialogs dialogs,
                                       std::function<void(const QString& folder)> openResults)
    : m_frame(frame), m_dialogs(std::move(dialogs)), m_openResults(std::move(openResults))
{
}

AnalysisController::~AnalysisController()
{
    // The program is closing: the analysis stops, and an unfinished one leaves nothing, as after Cancel.
    if (m_runner && m_runner->IsRunning())
        m_runner->CancelAndWait();
    delete m_progress;
}

bool AnalysisController::IsRunning() const { return m_runner && m_runner->IsRunning(); }

ProgressDialog* AnalysisController::Progress() const { return m_progress; }

void AnalysisController::NewAnalysis()
{
    if (DiscoveryRunner::AnyRunning() || BatchRunner::AnyRunning()) {
        Tell(DiscoveryRunner::AnyRunning() ? tr("An analysis is still running. Wait for it to finish or cancel it first.")
                                           : tr("A batch is still running. Wait for it to finish or cancel it first."),
             true);
        return;
    }
    if (!m_dialogs.newAnalysis)
        return;
    const std::optional<AnalysisRequest> request = m_dialogs.newAnalysis(m_frame, m_lastForm);
    if (request)
        Start(*request);
}

bool AnalysisController::Start(const AnalysisRequest& request)
{
    if (DiscoveryRunner::AnyRunning() || BatchRunner::AnyRunning()) {
        Tell(tr("A batch or an analysis is still running. Wait for it to finish or cancel it first."), true);
        return false;
    }
    m_request = request;
    m_lastForm = FormOf(request);
    m_inputName = QFileInfo(FromStd(request.settings.inputPath)).fileName();
    m_folder = std::make_unique<OutputFolder>(request.settings.outputDir, "the New Analysis of kalvo-desktop");
    m_cancelled = false;
    m_round = 0;

    DiscoveryEvents events;
    events.progress = [this](const DiscoverProgress& progress) { OnProgress(progress); };
    events.finished = [this](const Outcome& outcome, const Discovery& discovery) { OnFinished(outcome, discovery); };
    m_runner = std::make_unique<DiscoveryRunner>(std::move(events));

    m_progress = new ProgressDialog(m_frame);
    m_progress->setWindowTitle(tr("New Analysis"));
    m_progress->setWindowModality(Qt::ApplicationModal);  // one analysis at a time; the windows wait
    m_progress->SetText(tr("Discovering motifs in '%1'\nReading the sequences...").arg(m_inputName));
    connect(m_progress, &ProgressDialog::Cancelled, this, [this] { Cancel(); });
    if (!m_runner->Start(request.settings, request.force, *m_folder)) {
        CloseProgress();
        Tell(tr("The analysis cannot start: the system has no thread to spare."), true);
        return false;
    }
    m_clock.start();
    m_roundClock.start();
    m_frame->SetActivity(tr("Discovering motifs in '%1'…").arg(m_inputName));
    m_progress->show();
    return true;
}

void AnalysisController::Cancel()
{
    if (!IsRunning())
        return;
    m_cancelled = true;
    m_runner->Cancel();
}

void AnalysisController::OnProgress(const DiscoverProgress& progress)
{
    if (!m_progress || m_cancelled)
        return;
    if (progress.round != m_round) {
        m_round = progress.round;
        m_roundClock.restart();
        m_progress->ResetFraction();
    }
    // The bar is the round's iterations: restarts done and under way, as the time left is estimated.
    const double done = progress.iterationsInRound > 0
                            ? static_cast<double>(progress.iterationsDone) / static_cast<double>(progress.iterationsInRound)
                            : 0.0;
    m_progress->SetFraction(done);
    const QString restarts = tr("restarts %1 of %2").arg(progress.restartsDone).arg(progress.restartsInRound);
    QString timing = tr("%1 elapsed").arg(Clock(static_cast<double>(m_clock.elapsed()) / 1000.0));
    if (progress.restartsDone >= progress.restartsInRound) {
        timing += tr("; testing the motifs against the controls and calling sites");
    } else if (progress.iterationsDone > 0) {
        const double roundSeconds = static_cast<double>(m_roundClock.elapsed()) / 1000.0;
        const double left = roundSeconds * static_cast<double>(progress.iterationsInRound - progress.iterationsDone) /
                            static_cast<double>(progress.iterationsDone);
        timing += tr(", about %1 left in this round").arg(Clock(left));
    }
    // The share as the bar shows it, so the two never disagree.
    const int percent = static_cast<int>(m_progress->Fraction() * 1000.0 + 0.5) / 10;
    m_progress->SetText(tr("Discovering motifs in '%1'\nMotif %2 of at most %3: %4 done (%5% of the iterations)\n%6")
                            .arg(m_inputName, QString::number(progress.round), QString::number(progress.rounds),
                                 restarts, QString::number(percent), timing));
    QString status = tr("Discovering motifs in '%1': %2").arg(m_inputName, restarts);
    if (progress.round > 1)
        status += tr(" (motif %1 of at most %2)").arg(progress.round).arg(progress.rounds);
    m_frame->SetActivity(status);
}

void AnalysisController::OnFinished(const Outcome& outcome, const Discovery& discovery)
{
    CloseProgress();
    m_frame->SetActivity(QString());
    const QString folder = QDir::cleanPath(FromStd(m_request.settings.outputDir));
    if (!discovery.warnings.empty()) {
        QStringList lines;
        for (const std::string& warning : discovery.warnings)
            lines.append(tr("Warning: %1").arg(FromStd(warning)));
        Tell(lines.join(QLatin1Char('\n')), true);
    }
    if (!outcome) {
        if (m_openResults)
            m_openResults(folder);
    } else if (m_cancelled) {
        // The discovery wrote beside the output folder and removed that: a folder that was there is as it was.
        if (QFileInfo::exists(folder))
            Tell(tr("The analysis was cancelled, and nothing of it was kept. The output folder '%1' holds "
                    "what it held before.")
                     .arg(QDir::toNativeSeparators(folder)),
                 false);
        else
            Tell(tr("The analysis was cancelled, and nothing of it was kept."), false);
    } else {
        Tell(FromStd(outcome->message), true);
    }
    emit Finished();
}

void AnalysisController::CloseProgress()
{
    if (m_progress) {
        m_progress->hide();
        m_progress->deleteLater();
        m_progress = nullptr;
    }
}

void AnalysisController::Tell(const QString& text, bool problem)
{
    const auto show = problem ? m_dialogs.warn : m_dialogs.inform;
    if (show)
        show(m_frame, text);
}

}  // namespace kalvo
