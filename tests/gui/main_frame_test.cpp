// tests/gui/main_frame_test.cpp: menus, keys, documents, the recent-file list, the about box and start-up.
#include <filesystem>

#include <QDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>

#include "app/gui/about_box.h"
#include "app/gui/command_ids.h"
#include "app/gui/kalvo_doc.h"
#include "gui_test_support.h"
#include "temp_files.h"

namespace kalvo::testing {
namespace {

struct Item {
    QString text;  // empty for a separator
    int id = 0;    // 0 for a separator
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& item, std::ostream* out) { *out << '"' << item.text.toStdString() << "\" " << item.id; }

std::vector<Item> Items(const QMenu* menu)
{
    std::vector<Item> items;
    for (const QAction* action : menu->actions())
        items.push_back(action->isSeparator() ? Item{} : Item{action->text(), action->data().toInt()});
    return items;
}

QStringList ChildTitles(CMainFrame& frame)
{
    QStringList titles;
    for (const CChildFrame* child : frame.Children())
        titles.append(child->windowTitle());
    return titles;
}

QAction* Accelerator(CMainFrame& frame, int id)
{
    for (QAction* action : frame.Accelerators()) {
        if (action->data().toInt() == id)
            return action;
    }
    return nullptr;
}

// --- menus ---

using Menus = GuiTest;

TEST_F(Menus, TheKalvoMenuWhileADocumentWindowIsOpenAndTheFileMenuOtherwise)
{
    Start();  // one new, empty document window
    EXPECT_EQ(ChildTitles(Frame()), QStringList{"Kalvo1"});
    EXPECT_EQ(MenuTitles(), (QStringList{"Kalvo", "&Help"}));
    EXPECT_EQ(Items(Menu("Kalvo")), (std::vector<Item>{{"New &Analysis...\tCtrl+Shift+N", 32774},
                                                        {"Open Analysis &Folder...\tCtrl+Shift+O", 32775},
                                                        {},
                                                        {"Single Run", 32771},
                                                        {"Repeatedly Run", 32772},
                                                        {"Multiple inputs", 32773}}));
    EXPECT_EQ(Items(Menu("&Help")), (std::vector<Item>{{"&About Kalvo...", 57664}}));
    Click("Kalvo", "Single Run");  // cancelled in the file dialog: nothing happens
    EXPECT_TRUE(dialogs.told.isEmpty());
    EXPECT_TRUE(ActiveView().Runs().empty());

    ASSERT_TRUE(Frame().ActiveChild()->close());
    EXPECT_EQ(MenuTitles(), (QStringList{"&File", "&Help"}));
    EXPECT_EQ(Items(Menu("&File")), (std::vector<Item>{{"&New\tCtrl+N", 57600},
                                                       {"&Open...\tCtrl+O", 57601},
                                                       {"New &Analysis...\tCtrl+Shift+N", 32774},
                                                       {"Open Analysis &Folder...\tCtrl+Shift+O", 32775},
                                                       {},
                                                       {"Recent File", 57616},
                                                       {},
                                                       {"E&xit", 57665}}));
    EXPECT_FALSE(Menu("&File")->actions()[5]->isEnabled());  // the empty recent-file list
    EXPECT_EQ(Items(Menu("&Help")), (std::vector<Item>{{"&About Kalvo...", 57664}}));

    Click("&File", "&New\tCtrl+N");
    EXPECT_EQ(ChildTitles(Frame()), QStringList{"Kalvo2"});  // untitled documents are numbered on
    EXPECT_EQ(MenuTitles(), (QStringList{"Kalvo", "&Help"}));
    Frame().OnCommand(kIdFileNew);
    ASSERT_TRUE(Frame().ActiveChild()->close());  // one of two: the Kalvo menu stays
    EXPECT_EQ(MenuTitles(), (QStringList{"Kalvo", "&Help"}));
}

TEST_F(Menus, KeyboardCommandsCarryTheStandardIdsAndKeys)
{
    Start();
    const std::vector<std::pair<int, QList<QKeySequence>>> table = {
        {57600, {QKeySequence("Ctrl+N")}},
        {57601, {QKeySequence("Ctrl+O")}},
        {32774, {QKeySequence("Ctrl+Shift+N")}},
        {32775, {QKeySequence("Ctrl+Shift+O")}},
        {57603, {QKeySequence("Ctrl+S")}},
        {57643, {QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}},
        {57635, {QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")}},
        {57634, {QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}},
        {57637, {QKeySequence("Ctrl+V"), QKeySequence("Shift+Ins")}},
        {57680, {QKeySequence("F6")}},
        {57681, {QKeySequence("Shift+F6")}},
    };
    ASSERT_EQ(Frame().Accelerators().size(), static_cast<qsizetype>(table.size()));
    for (const auto& [id, keys] : table) {
        QAction* action = Accelerator(Frame(), id);
        ASSERT_TRUE(action) << id;
        EXPECT_EQ(action->shortcuts(), keys) << id;
        // Keys stay live whichever menu shows: they belong to the main window.
        EXPECT_TRUE(Frame().actions().contains(action)) << id;
    }
    // Nothing to undo, cut, copy or paste: those keys are left to the focused widget.
    for (const int id : {57643, 57635, 57634, 57637})
        EXPECT_FALSE(Accelerator(Frame(), id)->isEnabled()) << id;

    // Ctrl+N makes a document window even while the File menu is not showing.
    Accelerator(Frame(), kIdFileNew)->trigger();
    EXPECT_EQ(ChildTitles(Frame()), (QStringList{"Kalvo1", "Kalvo2"}));
}

TEST_F(Menus, PaneKeysCycleThroughTheWindowsAndTheTitleNamesTheActiveDocument)
{
    Start();
    Frame().OnCommand(kIdFileNew);
    Frame().OnCommand(kIdFileNew);
    auto title = [&] { return Frame().windowTitle().toStdString(); };
    EXPECT_EQ(title(), "Kalvo - Kalvo3");
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        Accelerator(Frame(), kIdNextPane)->trigger();
        seen.append(Frame().ActiveChild()->windowTitle());
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList{"Kalvo1", "Kalvo2", "Kalvo3"}));
    const QString before = Frame().ActiveChild()->windowTitle();
    Accelerator(Frame(), kIdNextPane)->trigger();
    Accelerator(Frame(), kIdPrevPane)->trigger();
    EXPECT_EQ(Frame().ActiveChild()->windowTitle(), before);

    // A maximized window's name goes in brackets, as the window itself has no title bar then.
    Frame().ActiveChild()->showMaximized();
    const std::string maximized = "Kalvo - [" + before.toStdString() + "]";
    EXPECT_TRUE(WaitFor([&] { return title() == maximized; }, 5)) << title();
    Frame().ActiveChild()->showNormal();
    EXPECT_TRUE(WaitFor([&] { return title() == "Kalvo - " + before.toStdString(); }, 5)) << title();
    for (CChildFrame* child : Frame().Children())
        child->close();
    EXPECT_TRUE(WaitFor([&] { return title() == "Kalvo"; }, 5)) << title();
}

// --- documents ---

using Documents = GuiTest;

TEST_F(Documents, OpenMakesAWindowNamedAfterTheFileAndSaveNeverEmptiesIt)
{
    TempDir dir;
    const std::string bytes = "-i\nseqs.fa\n-o\nout.txt\n-w\n8\n";
    const std::string path = dir.Write("peaks.params", bytes);
    Start();
    dialogs.openAnswers = {QString::fromStdString(path)};
    Frame().OnCommand(kIdFileOpen);
    ASSERT_EQ(ChildTitles(Frame()), (QStringList{"Kalvo1", "peaks.params"}));
    EXPECT_EQ(Frame().ActiveChild()->Document()->PathName(), QString::fromStdString(path));
    EXPECT_EQ(Frame().windowTitle(), "Kalvo - peaks.params");

    // Storing writes nothing: the file the document came from keeps its bytes.
    EXPECT_TRUE(Accelerator(Frame(), kIdFileSave)->isEnabled());
    Accelerator(Frame(), kIdFileSave)->trigger();
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_EQ(dialogs.openAsked, 1);
    EXPECT_TRUE(dialogs.told.isEmpty());

    // Opening it again shows the window it already has.
    Frame().OnCommand(kIdFileNew);
    dialogs.openAnswers = {QString::fromStdString(path)};
    Frame().OnCommand(kIdFileOpen);
    EXPECT_EQ(ChildTitles(Frame()), (QStringList{"Kalvo1", "peaks.params", "Kalvo2"}));
    EXPECT_EQ(Frame().ActiveChild()->windowTitle(), "peaks.params");
}

TEST_F(Documents, OpeningAFileThatIsGoneSaysSoAndMakesNoWindow)
{
    TempDir dir;
    Start();
    dialogs.openAnswers = {QString::fromStdString(dir.File("gone.params"))};
    Frame().OnCommand(kIdFileOpen);
    EXPECT_EQ(ChildTitles(Frame()), QStringList{"Kalvo1"});
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_TRUE(dialogs.told[0].startsWith("warning: cannot open file '")) << dialogs.told[0].toStdString();
    EXPECT_TRUE(dialogs.told[0].contains("gone.params"));
}

// --- the recent-file list ---

using RecentFiles = GuiTest;

TEST_F(RecentFiles, NewestFirstFourAtMostKeptInTheSettingsAndOpenedFromTheMenu)
{
    TempDir dir;
    std::vector<QString> paths;
    for (const char* name : {"f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt"})
        paths.push_back(QString::fromStdString(dir.Write(name, "x")));
    Start();
    for (const QString& path : paths)
        ASSERT_TRUE(m_app->OpenDocumentFile(path));
    EXPECT_EQ(m_app->RecentFiles().Paths(), (QStringList{paths[4], paths[3], paths[2], paths[1]}));

    // Written under the settings key at once, File1 the newest.
    QSettings settings(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Kalvo"));
    EXPECT_EQ(settings.value("Recent File List/File1").toString(), paths[4]);
    EXPECT_EQ(settings.value("Recent File List/File4").toString(), paths[1]);
    EXPECT_FALSE(settings.contains("Recent File List/File5"));

    // The next start reads them back into the File menu, with ids 57616 to 57619.
    m_app.reset();
    Start();
    ASSERT_TRUE(Frame().ActiveChild()->close());
    const std::vector<Item> items = Items(Menu("&File"));
    ASSERT_EQ(items.size(), 11u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(items[static_cast<std::size_t>(5 + i)].id, 57616 + i);
        EXPECT_EQ(items[static_cast<std::size_t>(5 + i)].text, RecentFileList::MenuText(i, paths[static_cast<std::size_t>(4 - i)]));
    }
    EXPECT_TRUE(items[5].text.startsWith("&1 "));

    // Choosing the third entry opens its file and moves it to the top.
    Click("&File", RecentFileList::MenuText(2, paths[2]));
    EXPECT_EQ(ChildTitles(Frame()), QStringList{"f3.txt"});
    EXPECT_EQ(m_app->RecentFiles().Paths().front(), paths[2]);
}

TEST_F(RecentFiles, AnEntryWhoseFileIsGoneIsDroppedWithAMessage)
{
    TempDir dir;
    const QString path = QString::fromStdString(dir.Write("old.params", "x"));
    Start();
    ASSERT_TRUE(m_app->OpenDocumentFile(path));
    for (CChildFrame* child : Frame().Children())
        child->close();
    std::filesystem::remove(path.toStdString());

    Click("&File", RecentFileList::MenuText(0, path));
    EXPECT_TRUE(Frame().Children().isEmpty());
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_TRUE(dialogs.told[0].contains("old.params"));
    EXPECT_TRUE(m_app->RecentFiles().Paths().isEmpty());
    EXPECT_EQ(Items(Menu("&File"))[5], (Item{"Recent File", 57616}));
}

TEST(RecentFileList, PathsAreCountedOnceAndAmpersandsShowAsText)
{
    RecentFileList list(4);
    list.Add("/data/a.txt");
    list.Add("/data/b.txt");
    list.Add("/data/../data/a.txt");
    EXPECT_EQ(list.Paths(), (QStringList{"/data/a.txt", "/data/b.txt"}));
    EXPECT_EQ(RecentFileList::MenuText(1, "/data/R&D.txt"), "&2 /data/R&&D.txt");
}

// --- the about box ---

using AboutBox = GuiTest;

TEST_F(AboutBox, ShowsCaptionVersionIconAndADefaultOkButton)
{
    Start();
    QString caption;
    QString text;
    QString button;
    bool isDefault = false;
    bool hasIcon = false;
    // The box is modal: inspect and close it from inside its own event loop.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        caption = box->windowTitle();
        text = box->findChild<QLabel*>("aboutText")->text();
        const QLabel* icon = box->findChild<QLabel*>("aboutIcon");
        hasIcon = !icon->pixmap().isNull();
        auto* ok = box->findChild<QPushButton*>("aboutOk");
        button = ok->text();
        isDefault = ok->isDefault();
        ok->click();
    });
    poll.start();
    Click("&Help", "&About Kalvo...");
    EXPECT_EQ(caption, "About Kalvo");
    EXPECT_EQ(text, "Kalvo Version 1.0");
    EXPECT_EQ(button, "OK");
    EXPECT_TRUE(isDefault);
    EXPECT_TRUE(hasIcon);
    EXPECT_FALSE(QApplication::activeModalWidget());
}

// --- start-up ---

using StartUp = GuiTest;

TEST_F(StartUp, AFileArgumentOpensItsWindowAndAMissingOneFailsStartUp)
{
    TempDir dir;
    const std::string path = dir.Write("list.txt", "1\na.params\n");
    ShellCommand command;
    command.file = QString::fromStdString(path);
    Start(command);
    EXPECT_EQ(ChildTitles(Frame()), QStringList{"list.txt"});
    EXPECT_EQ(m_app->RecentFiles().Paths(), QStringList{QString::fromStdString(path)});
    EXPECT_TRUE(Frame().isVisible());

    m_app = std::make_unique<CKalvoApp>(dialogs.Get());
    command.file = QString::fromStdString(dir.File("missing.txt"));
    EXPECT_FALSE(m_app->InitInstance(command));
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_TRUE(dialogs.told[0].contains("missing.txt"));
}

TEST(ShellCommandLine, ReadsFileRunAndSeedAndRefusesWhatItCannotUse)
{
    QString error;
    auto command = ParseShellCommand({"kalvo-desktop"}, &error);
    ASSERT_TRUE(command);
    EXPECT_TRUE(command->file.isEmpty());
    EXPECT_FALSE(command->runFile);

    command = ParseShellCommand({"kalvo-desktop", "notes.txt", "--run", "crp.params", "--seed", "4294967295"}, &error);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->file, "notes.txt");
    EXPECT_EQ(command->runFile, "crp.params");
    EXPECT_EQ(command->seed, 4294967295u);
    EXPECT_FALSE(command->analysisFolder);

    command = ParseShellCommand({"kalvo-desktop", "--open-analysis", "peaks.kalvo"}, &error);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->analysisFolder, "peaks.kalvo");

    for (const QStringList& bad : {QStringList{"kalvo-desktop", "--run", "p", "--seed", "4294967296"},
                                   QStringList{"kalvo-desktop", "--run", "p", "--seed", "-1"},
                                   QStringList{"kalvo-desktop", "--run", "p", "--seed", "12x"},
                                   QStringList{"kalvo-desktop", "--seed", "5"},
                                   QStringList{"kalvo-desktop", "--run"},
                                   QStringList{"kalvo-desktop", "--open-analysis"},
                                   QStringList{"kalvo-desktop", "--open-analysis", ""},
                                   QStringList{"kalvo-desktop", "a", "b"},
                                   QStringList{"kalvo-desktop", "--bogus"}}) {
        error.clear();
        EXPECT_FALSE(ParseShellCommand(bad, &error)) << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty()) << bad.join(' ').toStdString();
    }
}

}  // namespace
}  // namespace kalvo::testing
