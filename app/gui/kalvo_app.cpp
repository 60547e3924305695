// app/gui/kalvo_app.cpp: start-up, the command line and the application's commands.
#include "app/gui/kalvo_app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QSettings>
#include <QTimer>

#include "app/gui/about_box.h"
#include "app/gui/analysis_controller.h"
#include "app/gui/analysis_form.h"
#include "app/gui/child_frame.h"
#include "app/gui/command_ids.h"
#include "app/gui/doc_template.h"
#include "app/gui/kalvo_doc.h"
#include "app/gui/kalvo_view.h"
#include "app/gui/main_frame.h"

namespace kalvo {
QString ShellUsage()
{
    return QStringLiteral(
        "Usage: kalvo-desktop [FILE] [--run PARAMS [--seed S]] [--open-analysis DIR]\n"
        "  FILE                 open a document window for FILE (the file is not read)\n"
        "  --run PARAMS         start a Single Run of the parameter file PARAMS at start-up\n"
        "  --seed S             base seed of that run, 0 to 4294967295 (default: the current time in seconds)\n"
        "  --open-analysis DIR  show the results of the analysis whose output folder is DIR\n"
        "  -h, --help           show this help\n"
        "  --version            show the version\n");
}

std::optional<ShellCommand> ParseShellCommand(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption run(QStringLiteral("run"), QString(), QStringLiteral("PARAMS"));
    const QCommandLineOption seed(QStringLiteral("seed"), QString(), QStringLiteral("S"));
    const QCommandLineOption analysis(QStringLiteral("open-analysis"), QString(), QStringLiteral("DIR"));
    parser.addOptions({help, version, run, seed, analysis});
    parser.addPositionalArgument(QStringLiteral("file"), QString());
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    ShellCommand command;
    command.help = parser.isSet(help);
    command.version = parser.isSet(version);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        *error = QStringLiteral("only one file can be opened at start-up");
        return std::nullopt;
    }
    if (!files.isEmpty())
        command.file = files.front();
    if (parser.isSet(run)) {
        command.runFile = parser.value(run);
        if (command.runFile->isEmpty()) {
            *error = QStringLiteral("--run needs a parameter file");
            return std::nullopt;
        }
    }
    if (parser.isSet(analysis)) {
        command.analysisFolder = parser.value(analysis);
        if (command.analysisFolder->isEmpty()) {
            *error = QStringLiteral("--open-analysis needs an analysis output folder");
            return std::nullopt;
        }
    }
    if (parser.isSet(seed)) {
        if (!command.runFile) {
            *error = QStringLiteral("--seed goes with --run");
            return std::nullopt;
        }
        command.seed = ReadWholeNumber(parser.value(seed));
        if (!command.seed) {
            *error = QStringLiteral("--seed must be a whole number from 0 to 4294967295, not '%1'").arg(parser.value(seed));
            return std::nullopt;
        }
    }
    return command;
}

CKalvoApp::CKalvoApp(Dialogs dialogs) : m_dialogs(std::move(dialogs)), m_recentFiles(kRecentFileCount) {}

CKalvoApp::~CKalvoApp()
{
    m_analysis.reset();   // a running analysis stops before the window it reports to
    m_mainFrame.reset();  // windows, and with them any running batch, go before the settings
}

bool CKalvoApp::InitInstance(const ShellCommand& command)
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(kRegistryKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kalvo"));
    QApplication::setWindowIcon(AppIcon());

    m_settings = std::make_unique<QSettings>(QString::fromLatin1(kRegistryKey), QString::fromLatin1(kAppName));
    m_recentFiles.ReadList(*m_settings);

    m_templates.push_back(std::make_unique<CKalvoDocTemplate>(QString::fromLatin1(kDocStrings), m_dialogs));

    m_mainFrame = std::make_unique<CMainFrame>();
    m_mainFrame->LoadFrame(QString::fromLatin1(kAppName), [this](int id) { return OnCommand(id); });
    m_mainFrame->SetRecentFiles(m_recentFiles.Paths());
    m_analysis = std::make_unique<AnalysisController>(m_mainFrame.get(), m_dialogs,
                                                      [this](const QString& folder) { OpenAnalysisFolder(folder); });

    // An empty document window, unless the command names something to show.
    if (command.file.isEmpty() && !command.analysisFolder) {
        OnFileNew();
    } else if (!command.file.isEmpty() && !OpenDocumentFile(command.file)) {
        return false;
    }
    if (command.analysisFolder && !OpenAnalysisFolder(*command.analysisFolder))
        return false;
    if (command.runFile) {
        CChildFrame* batchWindow = nullptr;
        for (CChildFrame* child : m_mainFrame->Children()) {
            if (!batchWindow && child->View())
                batchWindow = child;
        }
        if (!batchWindow) {
            OnFileNew();
            batchWindow = m_mainFrame->ActiveChild();
        }
        // Once the window is up, so the run shows its progress like one started from the menu.
        CKalvoView* view = batchWindow->View();
        const QString file = QFileInfo(*command.runFile).absoluteFilePath();
        const std::optional<std::uint32_t> seed = command.seed;
        QTimer::singleShot(0, view, [view, file, seed] { view->RunBatch(BatchCommand::SingleRun, file, seed); });
    }

    m_mainFrame->show();
    return true;
}

bool CKalvoApp::OnCommand(int id)
{
    if (id >= kIdFileMruFirst && id < kIdFileMruFirst + kRecentFileCount) {
        const int index = id - kIdFileMruFirst;
        if (index < m_recentFiles.Paths().size())
            OpenDocumentFile(m_recentFiles.Paths()[index]);
        return true;
    }
    switch (id) {
    case kIdFileNew:
        OnFileNew();
        return true;
    case kIdFileOpen:
        OnFileOpen();
        return true;
    case kIdNewAnalysis:
        m_analysis->NewAnalysis();
        return true;
    case kIdOpenAnalysis:
        OnOpenAnalysis();
        return true;
    case kIdAppAbout:
        OnAppAbout();
        return true;
    case kIdAppExit:
        OnAppExit();
        return true;
    default:
        return false;
    }
}

void CKalvoApp::OnFileNew() { m_mainFrame->AddChild(m_templates.front()->CreateNewDocument()); }

void CKalvoApp::OnFileOpen()
{
    const QString path = m_dialogs.openFile ? m_dialogs.openFile(m_mainFrame.get(), QStringLiteral("Open")) : QString();
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

void CKalvoApp::OnOpenAnalysis()
{
    const QString start = m_recentFiles.Paths().isEmpty() ? QString() : m_recentFiles.Paths().front();
    const QString folder =
        m_dialogs.chooseFolder ? m_dialogs.chooseFolder(m_mainFrame.get(), QStringLiteral("Analysis folder"), start) : QString();
    if (!folder.isEmpty())
        OpenAnalysisFolder(folder);
}

CChildFrame* CKalvoApp::OpenAnalysisFolder(const QString& folder)
{
    QString problem;
    std::optional<DiscoveryResults> results = ReadDiscoveryFolder(folder, &problem);
    const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!results) {
        const int listed = static_cast<int>(m_recentFiles.Paths().indexOf(absolute));
        if (listed >= 0 && !QFileInfo(absolute).isDir()) {
            m_recentFiles.Remove(listed);
            SaveRecentFiles();
        }
        if (m_dialogs.warn)
            m_dialogs.warn(m_mainFrame.get(), problem);
        return nullptr;
    }
    m_recentFiles.Add(absolute);
    SaveRecentFiles();
    // The folder may hold a newer analysis than a window shows: that window goes.
    for (CChildFrame* child : m_mainFrame->Children()) {
        if (child->Results() && child->Document()->PathName() == absolute)
            child->close();
    }
    CChildFrame* child = m_templates.front()->CreateResultsDocument(std::move(*results));
    m_mainFrame->AddChild(child);
    return child;
}

void CKalvoApp::OnAppAbout()
{
    CAboutDlg about(m_mainFrame.get());
    about.exec();
}

void CKalvoApp::OnAppExit() { m_mainFrame->close(); }

CChildFrame* CKalvoApp::OpenDocumentFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return OpenAnalysisFolder(path);
    const QString absolute = QDir::cleanPath(info.absoluteFilePath());
    if (!info.isFile()) {
        const int listed = static_cast<int>(m_recentFiles.Paths().indexOf(absolute));
        if (listed >= 0) {
            m_recentFiles.Remove(listed);
            SaveRecentFiles();
        }
        if (m_dialogs.warn)
            m_dialogs.warn(m_mainFrame.get(), QStringLiteral("cannot open file '%1': no such file")
                                                  .arg(QDir::toNativeSeparators(path)));
        return nullptr;
    }
    m_recentFiles.Add(absolute);
    SaveRecentFiles();
    for (CChildFrame* child : m_mainFrame->Children()) {
        if (child->View() && child->Document()->PathName() == absolute) {
            m_mainFrame->MdiArea()->setActiveSubWindow(child);
            return child;
        }
    }
    CChildFrame* child = m_templates.front()->CreateOpenedDocument(absolute);
    m_mainFrame->AddChild(child);
    return child;
}

void CKalvoApp::SaveRecentFiles()
{
    m_recentFiles.WriteList(*m_settings);
    m_mainFrame->SetRecentFiles(m_recentFiles.Paths());
}

}  // namespace kalvo
