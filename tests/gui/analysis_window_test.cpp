// tests/gui/analysis_window_test.cpp: New Analysis from the menu, its progress and Cancel, and the results window.
#include <gmock/gmock.h>

#include <cmath>
#include <filesystem>
#include <regex>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include "app/gui/analysis_controller.h"
#include "app/gui/discovery_view.h"
#include "app/gui/kalvo_doc.h"
#include "app/gui/progress_dialog.h"
#include "discover/discovery_files.h"
#include "discover/fisher.h"
#include "discover/motif_naming.h"
#include "discover/planted_set.h"
#include "gui_test_support.h"
#include "report/formats.h"
#include "report/sequence_logo.h"
#include "temp_files.h"
#include "util/sequence_text.h"

namespace kalvo::testing {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const QString kNewAnalysis = "New &Analysis...\tCtrl+Shift+N";
const QString kOpenAnalysis = "Open Analysis &Folder...\tCtrl+Shift+O";

// A planted set whose analysis, one width and two restarts, takes a fraction of a
// second and finds one motif with a correlated column pair.
AnalysisRequest TinyRequest(const TempDir& dir, int iterations, const std::string& output = "in.kalvo")
{
    AnalysisRequest request;
    DiscoverSettings& settings = request.settings;
    settings.inputPath = dir.Write("in.fa", MakeSet(30, 100, true, 7).fasta);
    settings.widths = {10};
    settings.restarts = 2;
    settings.iterations = iterations;
    settings.motifs = 1;
    settings.jobs = 2;
    settings.programVersion = "test";
    settings.outputDir = dir.File(output);
    return request;
}

// Hidden entries of the scratch folder: the partial folder and lock file of an analysis under way.
int Hidden(const TempDir& dir)
{
    int hidden = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        hidden += entry.path().filename().string().starts_with(".") ? 1 : 0;
    return hidden;
}

ProgressDialog* VisibleProgressDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<ProgressDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// The bar is the round's iterations: the share the text gives, and never behind the
// restarts it counts as done by more than one of its thousand steps. False when the text has no count yet.
bool ExpectBarAsText(const ProgressDialog& progress)
{
    static const std::regex counted("restarts ([0-9]+) of ([0-9]+) done \\(([0-9]+)% of the iterations\\)");
    std::smatch match;
    const std::string text = progress.Text().toStdString();
    if (!std::regex_search(text, match, counted))
        return false;
    EXPECT_GE(progress.Fraction() + 1e-3, std::stod(match[1]) / std::stod(match[2])) << text;
    EXPECT_EQ(std::stoi(match[3]), static_cast<int>(progress.Fraction() * 100.0 + 1e-9)) << text;
    EXPECT_TRUE(progress.Text().contains("elapsed")) << text;
    return true;
}

QStringList Row(const QTableWidget* table, int row)
{
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c)
        cells.append(table->item(row, c) ? table->item(row, c)->text() : QString());
    return cells;
}

class AnalysisWindow : public GuiTest {
protected:
    // Starts an analysis from the Kalvo menu and waits until its outcome was shown.
    void AnalyseAndWait(const AnalysisRequest& request, const std::function<void()>& whileRunning = {})
    {
        dialogs.analysisAnswer = request;
        int finished = 0;
        const auto connection =
            QObject::connect(m_app->Analysis(), &AnalysisController::Finished, [&] { ++finished; });
        Click("Kalvo", kNewAnalysis);
        EXPECT_TRUE(WaitFor([&] {
            if (whileRunning && m_app->Analysis()->IsRunning())
                whileRunning();
            return finished > 0;
        }));
        QObject::disconnect(connection);
    }
    DiscoveryView* ActiveResults() { return Frame().ActiveChild() ? Frame().ActiveChild()->Results() : nullptr; }
};

TEST_F(AnalysisWindow, AFinishedAnalysisOpensItsResultsWindowFilledFromTheFolder)
{
    TempDir dir;
    const AnalysisRequest request = TinyRequest(dir, 50);
    Start();
    QStringList statuses;
    AnalyseAndWait(request, [&] {
        statuses.append(Frame().StatusText());
        if (ProgressDialog* progress = VisibleProgressDialog())
            ExpectBarAsText(*progress);
    });
    ASSERT_EQ(dialogs.formsShown.size(), 1u);
    EXPECT_TRUE(dialogs.told.isEmpty()) << dialogs.told.join('|').toStdString();
    EXPECT_EQ(Frame().StatusText(), "Ready");
    for (const QString& status : statuses)
        EXPECT_TRUE(status.startsWith("Discovering motifs in 'in.fa'")) << status.toStdString();
    EXPECT_FALSE(VisibleProgressDialog());

    // The same analysis in-process, into another folder: what the window must show.
    AnalysisRequest again = TinyRequest(dir, 50, "again.kalvo");
    Discovery discovery;
    ASSERT_FALSE(RunDiscovery(again.settings, false, discovery));
    ASSERT_EQ(discovery.motifs.size(), 1u);
    const DiscoveredMotif& motif = discovery.motifs[0];
    ASSERT_FALSE(motif.model.groups.empty());  // the set is chosen to have a correlated pair

    DiscoveryView* view = ActiveResults();
    ASSERT_TRUE(view);
    EXPECT_EQ(Frame().ActiveChild()->windowTitle(), "in.kalvo");
    EXPECT_EQ(m_app->RecentFiles().Paths().front(), Q(request.settings.outputDir));

    auto* motifs = view->findChild<QTreeWidget*>("motifTable");
    ASSERT_EQ(motifs->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = motifs->topLevelItem(0);
    EXPECT_EQ(row->text(0), "1");
    EXPECT_FALSE(row->icon(1).isNull());
    EXPECT_EQ(row->text(2), Q(motif.consensus));
    EXPECT_EQ(row->text(3), QString::number(motif.width));
    EXPECT_EQ(row->text(4), Q(FormatEValue(motif.log10EValue)));
    EXPECT_EQ(row->text(5), QString::number(motif.sites.size()));
    EXPECT_EQ(row->text(6), QString("%1 of %2").arg(motif.foundBy).arg(motif.restartsTried));
    // Named as the terminal names it, after the bundled known motifs the window found without configuration.
    EXPECT_FALSE(discovery.knownSource.empty());
    EXPECT_EQ(row->text(7), Q(BestMatchLabel(motif)));

    // The best motif is chosen: its logo, sites, matrix and pairs.
    EXPECT_EQ(view->SelectedMotif(), 0);
    EXPECT_EQ(view->LogoSvg().toStdString(), SequenceLogoSvg(motif.model));
    view->SetReverseComplement(true);
    LogoOptions reverse;
    reverse.reverseComplement = true;
    EXPECT_EQ(view->LogoSvg().toStdString(), SequenceLogoSvg(motif.model, reverse));

    auto* sites = view->findChild<QTableWidget*>("siteTable");
    ASSERT_EQ(sites->rowCount(), static_cast<int>(motif.sites.size()));
    for (int r = 0; r < sites->rowCount(); ++r) {
        const CalledSite& site = motif.sites[static_cast<std::size_t>(r)];
        EXPECT_EQ(Row(sites, r), (QStringList{Q(discovery.targetNames[static_cast<std::size_t>(site.seqIndex)]),
                                              QString::number(site.start), QString::number(site.end),
                                              site.forward ? "+" : "-", QString::number(site.score, 'f', 3),
                                              Q(site.word)}));
    }

    auto* matrix = view->findChild<QTableWidget*>("matrixTable");
    const auto rows = MemeRows(motif.model);
    ASSERT_EQ(matrix->rowCount(), static_cast<int>(rows.size()));
    for (int r = 0; r < matrix->rowCount(); ++r) {
        QStringList expected{QString::number(r + 1)};
        for (double share : rows[static_cast<std::size_t>(r)])
            expected.append(QString::number(share, 'f', 3));
        expected.append(QString(QChar(motif.consensus[static_cast<std::size_t>(r)])));
        EXPECT_EQ(Row(matrix, r), expected);
    }

    auto* pairs = view->findChild<QTableWidget*>("pairTable");
    ASSERT_EQ(pairs->rowCount(), static_cast<int>(motif.model.groups.size()));
    for (int r = 0; r < pairs->rowCount(); ++r) {
        const GroupNode& group = motif.model.groups[static_cast<std::size_t>(r)];
        ASSERT_EQ(group.positions.size(), 2u);
        const int left = std::min(group.positions[0], group.positions[1]);
        const int right = std::max(group.positions[0], group.positions[1]);
        EXPECT_EQ(Row(pairs, r)[0], QString("%1 and %2").arg(left + 1).arg(right + 1));
        EXPECT_EQ(Row(pairs, r)[1], QString::number(group.logBF, 'f', 2));
        // The commonest letter pair, written left column first, with its count among the sites.
        std::size_t commonest = 0;
        for (std::size_t w = 1; w < group.counts.size(); ++w)
            if (group.counts[w] > group.counts[commonest])
                commonest = w;
        std::string letters = WordFromIndex(commonest, 2);
        if (group.positions[0] > group.positions[1])
            std::swap(letters[0], letters[1]);
        EXPECT_TRUE(Row(pairs, r)[2].startsWith(QString("%1 %2").arg(Q(letters)).arg(group.counts[commonest])))
            << Row(pairs, r)[2].toStdString();
    }
    EXPECT_FALSE(view->findChild<QLabel*>("noPairs")->isVisibleTo(view));
}

TEST_F(AnalysisWindow, TheFolderButtonsOpenTheReportWhenThereIsOneAndTheFolder)
{
    TempDir dir;
    AnalysisRequest request = TinyRequest(dir, 50);
    Discovery discovery;
    ASSERT_FALSE(RunDiscovery(request.settings, false, discovery));
    const QString folder = Q(request.settings.outputDir);
    std::filesystem::remove(dir.File("in.kalvo/index.html"));
    Start();
    dialogs.folderAnswer = folder;
    Click("Kalvo", kOpenAnalysis);
    EXPECT_EQ(dialogs.folderTitles, QStringList{"Analysis folder"});
    DiscoveryView* view = ActiveResults();
    ASSERT_TRUE(view);

    QPushButton* report = nullptr;
    QPushButton* openFolder = nullptr;
    for (QPushButton* button : view->findChildren<QPushButton*>()) {
        if (button->text() == "Open HTML Report")
            report = button;
        if (button->text() == "Open Output Folder")
            openFolder = button;
    }
    ASSERT_TRUE(report && openFolder);
    EXPECT_FALSE(report->isEnabled());  // no index.html
    EXPECT_FALSE(view->OpenHtmlReport());
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_TRUE(dialogs.told[0].contains("has no HTML report")) << dialogs.told[0].toStdString();

    dir.Write("in.kalvo/index.html", "<html></html>");
    view->hide();
    view->show();  // shown again: the button looks at the folder again
    ASSERT_TRUE(report->isEnabled());
    report->click();
    openFolder->click();
    EXPECT_EQ(dialogs.urlsOpened,
              (QList<QUrl>{QUrl::fromLocalFile(folder + "/index.html"), QUrl::fromLocalFile(folder)}));

    // The chosen motif's logo is saved as the view draws it.
    dialogs.saveAnswer = Q(dir.File("saved.svg"));
    EXPECT_TRUE(view->SaveLogo());
    EXPECT_EQ(QByteArray::fromStdString(ReadBytes(dir.File("saved.svg"))), view->LogoSvg());

    // A desktop with no program for it is told.
    dialogs.urlsOpen = false;
    EXPECT_FALSE(view->OpenOutputFolder());
    EXPECT_TRUE(dialogs.told.back().startsWith("warning: No program of this desktop could open")) << dialogs.told.back().toStdString();

    // Another FASTA scanned with the analysis's motifs: the sites of its planted word, in a table.
    dialogs.sequencesAnswer = Q(dir.Write("other.fa", MakeSet(40, 150, true, 9).fasta));
    dialogs.saveAnswer = Q(dir.File("other.sites.tsv"));
    view->findChild<QPushButton*>("scanButton")->click();
    EXPECT_TRUE(dialogs.told.back().contains("written to")) << dialogs.told.back().toStdString();
    const std::string sites = ReadBytes(dir.File("other.sites.tsv"));
    EXPECT_EQ(sites.rfind("motif_id\tmotif_name\tsequence\t", 0), 0u);
    EXPECT_GE(std::count(sites.begin(), sites.end(), '\n'), 20);
    // A sequence file that is not one: told why, and nothing written.
    dialogs.sequencesAnswer = Q(dir.Write("bad.fa", "not fasta\n"));
    dialogs.saveAnswer = Q(dir.File("bad.sites.tsv"));
    EXPECT_FALSE(view->ScanAnotherFasta());
    EXPECT_TRUE(dialogs.told.back().startsWith("warning: sequence file")) << dialogs.told.back().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir.File("bad.sites.tsv")));
}

TEST_F(AnalysisWindow, CancelStopsTheAnalysisAndKeepsNothingOfItInANewFolder)
{
    TempDir dir;
    // Far more iterations than the test will wait for.
    const AnalysisRequest request = TinyRequest(dir, 1000000);
    Start();
    dialogs.analysisAnswer = request;
    int finished = 0;
    QObject::connect(m_app->Analysis(), &AnalysisController::Finished, [&] { ++finished; });
    Click("Kalvo", kNewAnalysis);

    ProgressDialog* progress = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        progress = VisibleProgressDialog();
        // Two restarts, and in a set this small twelve more on shuffled copies of it.
        return progress && progress->Text().contains("restarts 0 of 14 done");
    }));
    EXPECT_TRUE(progress->Text().startsWith("Discovering motifs in 'in.fa'\nMotif 1 of at most 1: restarts 0 of 14 done ("))
        << progress->Text().toStdString();
    EXPECT_EQ(progress->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(ExpectBarAsText(*progress));
    EXPECT_EQ(Frame().StatusText(), "Discovering motifs in 'in.fa': restarts 0 of 14");
    // Written beside its place, the folder appears only when whole.
    EXPECT_FALSE(std::filesystem::exists(request.settings.outputDir));
    EXPECT_EQ(Hidden(dir), 2);  // the partial folder and the lock file
    const std::string partial =
        dir.File(".in.kalvo.kalvo-partial-" + std::to_string(QCoreApplication::applicationPid()));
    EXPECT_THAT(ReadBytes(partial + "/INCOMPLETE.txt"),
                ::testing::HasSubstr("the New Analysis of kalvo-desktop into 'in.kalvo'"));

    // One thing at a time: neither a batch nor another analysis starts, and nothing is asked.
    Click("Kalvo", "Single Run");
    Click("Kalvo", kNewAnalysis);
    EXPECT_EQ(dialogs.openAsked, 0);
    EXPECT_EQ(dialogs.formsShown.size(), 1u);
    ASSERT_EQ(dialogs.told.size(), 2);
    for (const QString& told : dialogs.told)
        EXPECT_EQ(told, "warning: An analysis is still running. Wait for it to finish or cancel it first.");

    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    cancel->click();
    EXPECT_EQ(progress->Text(), "Cancelling...");
    ASSERT_TRUE(WaitFor([&] { return finished > 0; }, 20));
    EXPECT_EQ(dialogs.told.back(), "The analysis was cancelled, and nothing of it was kept.");
    EXPECT_FALSE(std::filesystem::exists(request.settings.outputDir));
    EXPECT_EQ(Hidden(dir), 0);
    EXPECT_EQ(Frame().Children().size(), 1);  // no results window
    EXPECT_EQ(Frame().StatusText(), "Ready");
    EXPECT_FALSE(VisibleProgressDialog());
}

TEST_F(AnalysisWindow, CancelIntoAFolderThatHeldFilesLeavesItAsItWasAndSaysSo)
{
    TempDir dir;
    AnalysisRequest request = TinyRequest(dir, 1000000);
    std::filesystem::create_directories(dir.File("in.kalvo/runs"));
    const std::string notes = dir.Write("in.kalvo/notes.txt", "mine\n");
    const std::string earlier = dir.Write("in.kalvo/runs/r1-w10-1.txt", "an earlier restart\n");
    request.force = true;
    Start();
    int finished = 0;
    QObject::connect(m_app->Analysis(), &AnalysisController::Finished, [&] { ++finished; });
    ASSERT_TRUE(m_app->Analysis()->Start(request));
    ASSERT_TRUE(WaitFor([&] { return VisibleProgressDialog() && VisibleProgressDialog()->Text().contains("restarts"); }));
    m_app->Analysis()->Cancel();
    ASSERT_TRUE(WaitFor([&] { return finished > 0; }, 20));
    EXPECT_EQ(ReadBytes(notes), "mine\n");
    EXPECT_EQ(ReadBytes(earlier), "an earlier restart\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("in.kalvo/runs")),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(Hidden(dir), 0);
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_EQ(dialogs.told[0], Q("The analysis was cancelled, and nothing of it was kept. The output folder '" +
                                 dir.File("in.kalvo") + "' holds what it held before."));
}

TEST_F(AnalysisWindow, ARefusedAnalysisSaysWhyAndLeavesNoFolder)
{
    TempDir dir;
    AnalysisRequest request = TinyRequest(dir, 50);
    request.settings.widths = {500};  // longer than every sequence
    Start();
    AnalyseAndWait(request);
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_TRUE(dialogs.told[0].startsWith("warning: motif width 500 is above the length of every sequence"))
        << dialogs.told[0].toStdString();
    EXPECT_FALSE(std::filesystem::exists(request.settings.outputDir));
    EXPECT_EQ(Frame().Children().size(), 1);
}

TEST_F(AnalysisWindow, AFolderThatHoldsNoAnalysisIsRefusedWithTheReason)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("empty"));
    std::filesystem::create_directories(dir.File("broken"));
    dir.Write("broken/summary.json", "{\"program\": \"kalvo\", ");
    Start();
    for (const char* name : {"empty", "broken"}) {
        dialogs.folderAnswer = Q(dir.File(name));
        Click("Kalvo", kOpenAnalysis);
    }
    ASSERT_EQ(dialogs.told.size(), 2);
    EXPECT_EQ(dialogs.told[0], Q("warning: '" + dir.File("empty") +
                                 "' holds no summary.json: it is not the output folder of a finished analysis"));
    EXPECT_TRUE(dialogs.told[1].startsWith(Q("warning: '" + dir.File("broken/summary.json") +
                                             "' is not the summary of a Kalvo analysis: ")))
        << dialogs.told[1].toStdString();
    EXPECT_EQ(Frame().Children().size(), 1);
}

TEST_F(AnalysisWindow, TheOpenAnalysisOptionShowsTheResultsAndBatchCommandsFindABatchWindow)
{
    TempDir dir;
    AnalysisRequest request = TinyRequest(dir, 50);
    Discovery discovery;
    ASSERT_FALSE(RunDiscovery(request.settings, false, discovery));
    ShellCommand command;
    command.analysisFolder = Q(request.settings.outputDir);
    Start(command);
    ASSERT_EQ(Frame().Children().size(), 1);  // no empty document besides it
    ASSERT_TRUE(ActiveResults());
    EXPECT_EQ(Frame().windowTitle(), "Kalvo - in.kalvo");
    EXPECT_EQ(MenuTitles(), (QStringList{"Kalvo", "&Help"}));

    // From the results window, a batch command goes to a batch window, made for it.
    Click("Kalvo", "Single Run");
    ASSERT_EQ(Frame().Children().size(), 2);
    EXPECT_TRUE(Frame().ActiveChild()->View());
    EXPECT_EQ(dialogs.openTitles, QStringList{"Parameter file"});

    // Opening the folder again shows it afresh in one window.
    m_app->OpenAnalysisFolder(Q(request.settings.outputDir));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int results = 0;
    for (CChildFrame* child : Frame().Children())
        results += child->Results() ? 1 : 0;
    EXPECT_EQ(results, 1);
}

}  // namespace
}  // namespace kalvo::testing
