// app/gui/analysis_controller.h: the New Analysis command: the form, the discovery on a worker thread
// with its progress dialog, status bar and Cancel, then the results window.
#pragma once
#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include "app/gui/analysis_form.h"
#include "app/gui/dialogs.h"
#include "discover/discover.h"

namespace kalvo {

class CMainFrame;
class DiscoveryRunner;
class ProgressDialog;

class AnalysisController : public QObject {
    Q_OBJECT
public:
    // `frame` parents the dialogs and shows the status; `openResults` opens the
    // results window of a finished analysis's output folder.
    AnalysisController(CMainFrame* frame, Dialogs dialogs, std::function<void(const QString& folder)> openResults);
    // Cancels a running analysis and waits for it; as after Cancel, nothing of it stays.
    ~AnalysisController() override;

    // Asks for the form, then starts; says why not while a batch or another analysis runs.
    void NewAnalysis();
    // Starts the checked request and returns at once; false (after telling why) when it cannot.
    bool Start(const AnalysisRequest& request);
    // As the progress dialog's Cancel button.
    void Cancel();
    bool IsRunning() const;
    ProgressDialog* Progress() const;

signals:
    // The worker has ended and its outcome was shown: results window, refusal or cancellation.
    void Finished();

private:
    void OnProgress(const DiscoverProgress& progress);
    void OnFinished(const Outcome& outcome, const Discovery& discovery);
    void CloseProgress();
    void Tell(const QString& text, bool problem);

    CMainFrame* m_frame;
    Dialogs m_dialogs;
    std::function<void(const QString&)> m_openResults;
    AnalysisForm m_lastForm;  // the next form starts from the last one
    AnalysisRequest m_request;
    QString m_inputName;
    // The analysis's output folder, written whole or not at all: committed by a finished analysis, else abandoned.
    std::unique_ptr<OutputFolder> m_folder;
    bool m_cancelled = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_roundClock;
    int m_round = 0;
    QPointer<ProgressDialog> m_progress;
    std::unique_ptr<DiscoveryRunner> m_runner;  // last: stopped before anything it reports to goes away
};

}  // namespace kalvo
