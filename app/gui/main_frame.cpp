// app/gui/main_frame.cpp: menus and keyboard commands, their routing, and the switch between the two menus.
#include "app/gui/main_frame.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "app/gui/about_box.h"
#include "app/gui/child_frame.h"
#include "app/gui/command_ids.h"
#include "app/gui/kalvo_doc.h"
#include "app/gui/kalvo_view.h"
#include "app/gui/recent_file_list.h"

namespace kalvo {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    m_mdiArea = new QMdiArea;
    setCentralWidget(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { UpdateFrameTitle(); });
}

CMainFrame::~CMainFrame()
{
    // The windows inside still signal while QWidget tears them down, when
    // nothing of this class is left to take the signals.
    disconnect(m_mdiArea, nullptr, this, nullptr);
    for (CChildFrame* child : Children()) {
        disconnect(child, nullptr, this, nullptr);
        if (CKalvoView* view = child->View())
            disconnect(view, nullptr, this, nullptr);
    }
}

void CMainFrame::LoadFrame(const QString& title, std::function<bool(int id)> appCommands)
{
    m_title = title;
    m_appCommands = std::move(appCommands);
    setWindowIcon(AppIcon());
    resize(960, 680);

    // Without a document window.
    m_fileMenu = new QMenu(tr("&File"), this);
    AddCommand(m_fileMenu, tr("&New\tCtrl+N"), kIdFileNew);
    AddCommand(m_fileMenu, tr("&Open...\tCtrl+O"), kIdFileOpen);
    AddCommand(m_fileMenu, tr("New &Analysis...\tCtrl+Shift+N"), kIdNewAnalysis);
    AddCommand(m_fileMenu, tr("Open Analysis &Folder...\tCtrl+Shift+O"), kIdOpenAnalysis);
    m_fileMenu->addSeparator();
    m_recentEnd = m_fileMenu->addSeparator();
    AddCommand(m_fileMenu, tr("E&xit"), kIdAppExit);
    SetRecentFiles({});

    // With a document window active.
    m_kalvoMenu = new QMenu(tr("Kalvo"), this);
    AddCommand(m_kalvoMenu, tr("New &Analysis...\tCtrl+Shift+N"), kIdNewAnalysis);
    AddCommand(m_kalvoMenu, tr("Open Analysis &Folder...\tCtrl+Shift+O"), kIdOpenAnalysis);
    m_kalvoMenu->addSeparator();
    AddCommand(m_kalvoMenu, tr("Single Run"), kIdSingleRun);
    AddCommand(m_kalvoMenu, tr("Repeatedly Run"), kIdRepeatedRun);
    AddCommand(m_kalvoMenu, tr("Multiple inputs"), kIdMultipleInputs);

    m_helpMenu = new QMenu(tr("&Help"), this);
    AddCommand(m_helpMenu, tr("&About Kalvo..."), kIdAppAbout);

    // Keys work with either menu showing. Editing commands have nothing to act
    // on here, so they stay disabled and the keys reach the focused widget.
    AddAccelerator(tr("New"), kIdFileNew, {QKeySequence(Qt::CTRL | Qt::Key_N)}, true);
    AddAccelerator(tr("Open"), kIdFileOpen, {QKeySequence(Qt::CTRL | Qt::Key_O)}, true);
    AddAccelerator(tr("New Analysis"), kIdNewAnalysis, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}, true);
    AddAccelerator(tr("Open Analysis Folder"), kIdOpenAnalysis, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, true);
    AddAccelerator(tr("Save"), kIdFileSave, {QKeySequence(Qt::CTRL | Qt::Key_S)}, false);
    AddAccelerator(tr("Undo"), kIdEditUndo,
                   {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)}, false);
    AddAccelerator(tr("Cut"), kIdEditCut,
                   {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}, false);
    AddAccelerator(tr("Copy"), kIdEditCopy,
                   {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}, false);
    AddAccelerator(tr("Paste"), kIdEditPaste,
                   {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}, false);
    AddAccelerator(tr("Next Pane"), kIdNextPane, {QKeySequence(Qt::Key_F6)}, true);
    AddAccelerator(tr("Previous Pane"), kIdPrevPane, {QKeySequence(Qt::SHIFT | Qt::Key_F6)}, true);

    m_statusText = new QLabel(QString::fromLatin1(kIdleStatusText));
    m_statusText->setTextFormat(Qt::PlainText);  // file names are shown as they are
    statusBar()->addWidget(m_statusText, 1);

    UpdateMenus();
    UpdateFrameTitle();
}

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, int id)
{
    QAction* action = menu->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    return action;
}

void CMainFrame::AddAccelerator(const QString& text, int id, const QList<QKeySequence>& keys, bool enabled)
{
    auto* action = new QAction(text, this);
    action->setData(id);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    addAction(action);
    m_accelerators.append(action);
}

void CMainFrame::SetRecentFiles(const QStringList& paths)
{
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater();
    }
    m_recentActions.clear();
    if (paths.isEmpty()) {
        auto* placeholder = new QAction(tr("Recent File"), m_fileMenu);
        placeholder->setData(kIdFileMruFirst);
        placeholder->setEnabled(false);
        m_recentActions.append(placeholder);
    }
    for (int i = 0; i < paths.size() && i < kRecentFileCount; ++i) {
        const int id = kIdFileMruFirst + i;
        auto* action = new QAction(RecentFileList::MenuText(i, paths[i]), m_fileMenu);
        action->setData(id);
        action->setToolTip(paths[i]);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_recentActions.append(action);
    }
    m_fileMenu->insertActions(m_recentEnd, m_recentActions);
}

void CMainFrame::SetActivity(const QString& text)
{
    m_statusText->setText(text.isEmpty() ? QString::fromLatin1(kIdleStatusText) : text);
}

QString CMainFrame::StatusText() const { return m_statusText->text(); }

bool CMainFrame::OnCommand(int id)
{
    if (CChildFrame* child = ActiveChild()) {
        const bool batchCommand = id == kIdSingleRun || id == kIdRepeatedRun || id == kIdMultipleInputs;
        if (CKalvoView* view = child->View(); view && view->OnCommand(id))
            return true;
        if (!child->View() && batchCommand) {
            if (CChildFrame* batchWindow = BatchWindow())
                return batchWindow->View()->OnCommand(id);
        }
        if (id == kIdFileSave)
            return child->Document()->DoFileSave();
    }
    switch (id) {
    case kIdNextPane:
        m_mdiArea->activateNextSubWindow();
        return true;
    case kIdPrevPane:
        m_mdiArea->activatePreviousSubWindow();
        return true;
    default:
        return m_appCommands && m_appCommands(id);
    }
}

CChildFrame* CMainFrame::BatchWindow()
{
    const QList<QMdiSubWindow*> used = m_mdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto it = used.rbegin(); it != used.rend(); ++it) {
        auto* child = qobject_cast<CChildFrame*>(*it);
        if (child && child->View() && Children().contains(child)) {
            m_mdiArea->setActiveSubWindow(child);
            return child;
        }
    }
    if (!m_appCommands || !m_appCommands(kIdFileNew))
        return nullptr;
    CChildFrame* made = ActiveChild();
    return made && made->View() ? made : nullptr;
}

void CMainFrame::AddChild(CChildFrame* child)
{
    m_mdiArea->addSubWindow(child);
    m_children.append(child);
    if (CKalvoView* view = child->View())
        connect(view, &CKalvoView::ActivityChanged, this, &CMainFrame::SetActivity);
    connect(child, &CChildFrame::Closed, this, &CMainFrame::ChildClosed);
    connect(child, &QMdiSubWindow::windowStateChanged, this, [this] { UpdateFrameTitle(); });
    child->show();
    if (child->Results()) {
        // Results need room: the window takes the whole area, once the main window has its size.
        QTimer::singleShot(0, child, [this, child] { child->setGeometry(QRect(QPoint(0, 0), m_mdiArea->viewport()->size())); });
    }
    m_mdiArea->setActiveSubWindow(child);
    UpdateMenus();
    UpdateFrameTitle();
}

void CMainFrame::ChildClosed(CChildFrame* child)
{
    m_children.removeAll(child);
    UpdateMenus();
    UpdateFrameTitle();
}

QList<CChildFrame*> CMainFrame::Children() const
{
    QList<CChildFrame*> children;
    for (const QPointer<CChildFrame>& child : m_children) {
        if (child)
            children.append(child);
    }
    return children;
}

CChildFrame* CMainFrame::ActiveChild() const
{
    // The current window stays current while the program is in the background.
    auto* active = qobject_cast<CChildFrame*>(m_mdiArea->currentSubWindow());
    const QList<CChildFrame*> children = Children();
    if (active && children.contains(active))
        return active;
    return children.isEmpty() ? nullptr : children.last();
}

void CMainFrame::UpdateMenus()
{
    const bool documentMenu = !Children().isEmpty();
    if (m_menusBuilt && documentMenu == m_documentMenu)
        return;
    m_menusBuilt = true;
    m_documentMenu = documentMenu;
    menuBar()->clear();
    if (documentMenu)
        menuBar()->addMenu(m_kalvoMenu);
    else
        menuBar()->addMenu(m_fileMenu);
    menuBar()->addMenu(m_helpMenu);
    for (QAction* action : m_accelerators) {
        if (action->data().toInt() == kIdFileSave)
            action->setEnabled(documentMenu);
    }
}

void CMainFrame::UpdateFrameTitle()
{
    ApplyFrameTitle();
    // A maximized document window makes QMdiSubWindow rewrite the main
    // window's title after this; setting it again once that is done keeps
    // "Kalvo - [Kalvo1]" then, as "Kalvo - Kalvo1" for a normal window.
    QTimer::singleShot(0, this, [this] { ApplyFrameTitle(); });
}

void CMainFrame::ApplyFrameTitle()
{
    const CChildFrame* child = ActiveChild();
    QString title = m_title;
    if (child && child->isMaximized())
        title += QStringLiteral(" - [") + child->Document()->Title() + QStringLiteral("]");
    else if (child)
        title += QStringLiteral(" - ") + child->Document()->Title();
    setWindowTitle(title);
}

}  // namespace kalvo
