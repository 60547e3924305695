// tests/gui/gui_test_support.h: fake dialogs that record what the user was told, and helpers to drive the windows.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QString>

#include "app/gui/child_frame.h"
#include "app/gui/dialogs.h"
#include "app/gui/kalvo_app.h"
#include "app/gui/kalvo_view.h"
#include "app/gui/main_frame.h"

namespace kalvo::testing {

// Answers file questions from a list (an empty answer: the user cancels) and
// records every message as "text" or "warning: text".
struct FakeDialogs {
    std::deque<QString> openAnswers;
    QString saveAnswer;
    QString sequencesAnswer;
    QString folderAnswer;
    std::optional<AnalysisRequest> analysisAnswer;  // what the New Analysis form returns
    bool urlsOpen = true;
    int openAsked = 0;
    QStringList openTitles;    // titles of the file dialogs asked, in order
    QStringList folderTitles;
    std::vector<AnalysisForm> formsShown;
    QList<QUrl> urlsOpened;
    QStringList told;

    Dialogs Get()
    {
        Dialogs dialogs;
        dialogs.openFile = [this](QWidget*, const QString& title) {
            ++openAsked;
            openTitles.append(title);
            if (openAnswers.empty())
                return QString();
            const QString answer = openAnswers.front();
            openAnswers.pop_front();
            return answer;
        };
        dialogs.saveLogo = [this](QWidget*, const QString&) { return saveAnswer; };
        dialogs.saveSites = [this](QWidget*, const QString&) { return saveAnswer; };
        dialogs.openSequences = [this](QWidget*, const QString& title, const QString&) {
            openTitles.append(title);
            return sequencesAnswer;
        };
        dialogs.chooseFolder = [this](QWidget*, const QString& title, const QString&) {
            folderTitles.append(title);
            return folderAnswer;
        };
        dialogs.newAnalysis = [this](QWidget*, const AnalysisForm& start) {
            formsShown.push_back(start);
            return analysisAnswer;
        };
        dialogs.openUrl = [this](const QUrl& url) {
            urlsOpened.append(url);
            return urlsOpen;
        };
        dialogs.inform = [this](QWidget*, const QString& text) { told.append(text); };
        dialogs.warn = [this](QWidget*, const QString& text) { told.append(QStringLiteral("warning: ") + text); };
        return dialogs;
    }
};

// Processes events until `done` holds; false after `seconds` without it.
inline bool WaitFor(const std::function<bool()>& done, double seconds = 60.0)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Each test starts with no recent files and its own application object.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override
    {
        m_app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ClearSettings();
    }
    static void ClearSettings()
    {
        QSettings settings(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Kalvo"));
        settings.clear();
        settings.sync();
    }

    CKalvoApp& Start(const ShellCommand& command = {})
    {
        m_app = std::make_unique<CKalvoApp>(dialogs.Get());
        EXPECT_TRUE(m_app->InitInstance(command));
        return *m_app;
    }
    CMainFrame& Frame() { return *m_app->MainFrame(); }
    CKalvoView& ActiveView() { return *Frame().ActiveChild()->View(); }

    QStringList MenuTitles() const
    {
        QStringList titles;
        for (const QAction* action : m_app->MainFrame()->menuBar()->actions())
            titles.append(action->text());
        return titles;
    }
    QMenu* Menu(const QString& title) const
    {
        for (QAction* action : m_app->MainFrame()->menuBar()->actions()) {
            if (action->text() == title)
                return action->menu();
        }
        return nullptr;
    }
    // Clicks a menu item as the user would, by the texts they read.
    void Click(const QString& menu, const QString& item)
    {
        QMenu* found = Menu(menu);
        ASSERT_TRUE(found) << menu.toStdString() << " is not in the menu bar";
        for (QAction* action : found->actions()) {
            if (action->text() == item) {
                ASSERT_TRUE(action->isEnabled()) << item.toStdString();
                action->trigger();
                return;
            }
        }
        FAIL() << item.toStdString() << " is not in " << menu.toStdString();
    }
    // Runs a batch command from the menu and, when one started, waits until its worker has ended.
    void RunFromMenu(const QString& item) { RunAndWait([&] { Click(QStringLiteral("Kalvo"), item); }); }
    void RunAndWait(const std::function<void()>& start)
    {
        int ended = 0;
        CKalvoView* view = &ActiveView();
        const auto connection = QObject::connect(view, &CKalvoView::BatchFinished, [&] { ++ended; });
        start();
        // The worker is joined only on this thread, so a batch that started is still "running" here.
        if (view->IsBatchRunning()) {
            EXPECT_TRUE(WaitFor([&] { return ended > 0; }));
        }
        QObject::disconnect(connection);
    }

    FakeDialogs dialogs;
    std::unique_ptr<CKalvoApp> m_app;
};

}  // namespace kalvo::testing
