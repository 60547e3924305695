// app/gui/kalvo_view.h: the view of a document window: starts the batch commands and shows what they produced.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/batch.h"
#include "app/gui/dialogs.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace kalvo {

class BatchRunner;
class CKalvoDoc;
class LogoWidget;
class ProgressDialog;

// The message for a sequence file chosen where a parameter or list file is wanted.
inline constexpr char kSequenceFileMessage[] = "this is a sequence file, not a parameter file: use New Analysis";

// True when the file's first non-empty line starts with '>' (gzip or not): a FASTA file.
bool LooksLikeSequenceFile(const QString& path);

class CKalvoView : public QWidget {
    Q_OBJECT
public:
    enum class RunStatus { Running, Done, Refused, Cancelled };

    // One line of the run list. Nothing of it is stored: the reports are in the output files.
    struct RunRecord {
        QString parameterFile;
        std::optional<std::uint32_t> seed;  // none for a file that could not be read
        QString outputFile;                 // known once the run has finished
        RunStatus status = RunStatus::Running;
        QString message;                    // why the run was refused
        // What a finished run reported: score, sites, motif (without its site list).
        std::shared_ptr<const RunSummary> summary;
    };

    CKalvoView(CKalvoDoc* doc, Dialogs dialogs, QWidget* parent = nullptr);
    ~CKalvoView() override;

    CKalvoDoc* GetDocument() const { return m_doc; }

    // Handles the three batch commands; false for any other id.
    bool OnCommand(int id);
    // Starts a batch on the worker thread and returns at once. Asks for the
    // file when none is given and takes the base seed from the clock when none is given.
    void RunBatch(BatchCommand command, std::optional<QString> file = std::nullopt,
                  std::optional<std::uint32_t> seed = std::nullopt);
    bool IsBatchRunning() const;
    // As the progress dialog's Cancel button: the current run appends nothing, the rest is skipped.
    void CancelBatch();

    const std::vector<RunRecord>& Runs() const { return m_runs; }
    static QString StatusText(const RunRecord& record);
    const std::optional<RunSummary>& LastSummary() const { return m_lastSummary; }

    // The run whose logo is shown: the one chosen in the list, else the best
    // (highest joint log-likelihood) of the latest batch. -1 before any run finished.
    int ShownRun() const { return m_shown; }
    void ShowRun(int index);
    // The logo of the shown run as drawn now (empty when it has none).
    QByteArray LogoSvg() const;
    void SetReverseComplement(bool on);
    // Asks where to save the logo and writes it; false when cancelled or not written.
    bool SaveLogo();
    // Writes the logo as PNG for a ".png" path and as SVG otherwise, whole or not at all.
    bool WriteLogo(const QString& path);

signals:
    // The batch's worker has ended and everything it reported is shown.
    void BatchFinished();
    // What the batch is doing, for the status bar; empty when it is idle.
    void ActivityChanged(const QString& text);

private:
    void OnRunStarting(const PlannedRun& run);
    void OnRunFinished(const PlannedRun& run, const RunSummary& summary);
    void OnRefused(const std::optional<PlannedRun>& run, const std::string& file, const std::string& message);
    void OnProgress(const PlannedRun& run, const RunProgress& progress);
    void OnMessage(std::string_view text);
    void OnBatchEnded(const BatchResult& result);

    std::size_t AddRecord(RunRecord record);
    void ShowRecord(std::size_t index);
    void ShowLogo();
    // Chooses the best finished run of the current batch, unless the user chose one.
    void FollowBest();
    void CloseProgress();
    // Shows messages one at a time and in order, however fast the batch sends them.
    void Tell(const QString& text, bool problem);

    CKalvoDoc* m_doc;
    Dialogs m_dialogs;
    QTreeWidget* m_runList = nullptr;
    QLabel* m_logoTitle = nullptr;
    LogoWidget* m_logo = nullptr;
    QCheckBox* m_reverse = nullptr;
    QPushButton* m_saveLogo = nullptr;
    QPointer<ProgressDialog> m_progress;

    std::vector<RunRecord> m_runs;
    std::vector<std::pair<std::int64_t, std::size_t>> m_batchRows;  // run k of the current batch -> its record
    std::optional<RunSummary> m_lastSummary;
    int m_shown = -1;
    bool m_followBest = true;  // until the user picks a run of the batch
    bool m_choosing = false;   // the view itself is changing the list's current row
    // The run the progress dialog follows: the earliest still computing, when runs compute side by side.
    std::int64_t m_progressRun = -1;
    bool m_progressRunDone = false;
    std::vector<std::pair<QString, bool>> m_pendingMessages;
    bool m_telling = false;
    bool m_cancelling = false;  // progress no longer shown

    std::unique_ptr<BatchRunner> m_runner;  // last: stopped before anything it reports to goes away
};

}  // namespace kalvo
