// app/gui/kalvo_app.h: the application: settings, the document template, the main window and its start-up.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "app/gui/dialogs.h"
#include "app/gui/recent_file_list.h"

class QSettings;

namespace kalvo {

class CChildFrame;
class CKalvoDocTemplate;
class CMainFrame;

// What the program was asked to do at start-up.
struct ShellCommand {
    QString file;                       // open a window for this file (not read); a new document when empty
    std::optional<QString> runFile;     // then start a Single Run of this parameter file
    std::optional<std::uint32_t> seed;  // base seed of that run
    std::optional<QString> analysisFolder;  // open the results window of this analysis output folder
    bool help = false;
    bool version = false;
};

// Reads the program's arguments (the program name first). Nothing, with the
// reason in `error`, for a usage error.
std::optional<ShellCommand> ParseShellCommand(const QStringList& arguments, QString* error);
QString ShellUsage();

class AnalysisController;

class CKalvoApp {
public:
    // Settings live under this organisation and application name.
    static constexpr char kRegistryKey[] = "Local AppWizard-Generated Applications";
    static constexpr char kAppName[] = "Kalvo";
    // Window title, document name, new-file name, filter, extension, type id, type name.
    static constexpr char kDocStrings[] = "\nKalvo\nKalvo\n\n\nKalvo.Document\nKalvo Document";

    explicit CKalvoApp(Dialogs dialogs = StandardDialogs());
    ~CKalvoApp();
    CKalvoApp(const CKalvoApp&) = delete;
    CKalvoApp& operator=(const CKalvoApp&) = delete;

    // Start-up, in order: settings and the recent-file list, the document
    // template, the main window, the command, showing the window. False: start-up failed.
    bool InitInstance(const ShellCommand& command = {});

    CMainFrame* MainFrame() const { return m_mainFrame.get(); }
    const RecentFileList& RecentFiles() const { return m_recentFiles; }

    AnalysisController* Analysis() const { return m_analysis.get(); }

    // Commands no window handles: new, open, the recent files, analyses, about, exit.
    bool OnCommand(int id);
    void OnFileNew();
    void OnFileOpen();
    void OnOpenAnalysis();
    void OnAppAbout();
    void OnAppExit();
    // A window for the file, which is not read, or the window already showing
    // it; nothing (after telling the user) when there is no such file.
    // A folder is opened as an analysis output folder.
    CChildFrame* OpenDocumentFile(const QString& path);
    // The results window of an analysis output folder, read afresh (a window
    // already showing it is replaced); nothing, after telling why, when it cannot be read.
    CChildFrame* OpenAnalysisFolder(const QString& folder);

private:
    void SaveRecentFiles();

    Dialogs m_dialogs;
    std::unique_ptr<QSettings> m_settings;
    RecentFileList m_recentFiles;
    std::vector<std::unique_ptr<CKalvoDocTemplate>> m_templates;
    std::unique_ptr<CMainFrame> m_mainFrame;
    std::unique_ptr<AnalysisController> m_analysis;  // uses the main window, so it goes first
};

}  // namespace kalvo
