// app/gui/main_frame.h: the main window: document windows inside it, two menus, keyboard commands, the status bar.
#pragma once
#include <functional>

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace kalvo {

class CChildFrame;

// Status bar text while nothing is going on.
inline constexpr char kIdleStatusText[] = "Ready";

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds menus, keyboard commands and status bar. `appCommands` takes the
    // commands no window handles (new, open, recent files, about, exit).
    void LoadFrame(const QString& title, std::function<bool(int id)> appCommands);

    // Routes a command id as the menus and keys do: the active view, its
    // document, this window, the application. False when nothing handles it.
    bool OnCommand(int id);

    void AddChild(CChildFrame* child);
    CChildFrame* ActiveChild() const;
    QList<CChildFrame*> Children() const;
    QMdiArea* MdiArea() const { return m_mdiArea; }

    // Shows the recent-file list in the File menu; the placeholder when empty.
    void SetRecentFiles(const QStringList& paths);

    // What is running, in the status bar; "Ready" for empty text.
    void SetActivity(const QString& text);
    QString StatusText() const;

    // The keyboard commands that work whichever menu is showing.
    const QList<QAction*>& Accelerators() const { return m_accelerators; }
    bool ShowsDocumentMenu() const { return m_documentMenu; }

private:
    QAction* AddCommand(QMenu* menu, const QString& text, int id);
    void AddAccelerator(const QString& text, int id, const QList<QKeySequence>& keys, bool enabled);
    void ChildClosed(CChildFrame* child);
    // The batch window a batch command goes to when a results window is active:
    // the one used last, or a new one.
    CChildFrame* BatchWindow();
    // The menu for "no document window" or for "a document window is active".
    void UpdateMenus();
    // "Kalvo", or with the active document's name added.
    void UpdateFrameTitle();
    void ApplyFrameTitle();

    QString m_title;
    std::function<bool(int)> m_appCommands;
    QMdiArea* m_mdiArea = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_kalvoMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QAction* m_recentEnd = nullptr;  // the separator after the recent-file list
    QList<QAction*> m_recentActions;
    QList<QAction*> m_accelerators;
    QList<QPointer<CChildFrame>> m_children;
    QLabel* m_statusText = nullptr;
    bool m_documentMenu = false;
    bool m_menusBuilt = false;
};

}  // namespace kalvo
