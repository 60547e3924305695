// tests/gui/batch_window_test.cpp: the batch commands from the window: messages, runs in order, reports, Cancel, the logo.
#include <cmath>
#include <filesystem>
#include <regex>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include "app/batch_inputs.h"
#include "app/gui/progress_dialog.h"
#include "gui_test_support.h"
#include "gzip_text.h"
#include "report/sequence_logo.h"
#include "temp_files.h"

namespace kalvo::testing {
namespace {

using RunStatus = CKalvoView::RunStatus;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Elements with class="stack" in an SVG document; -1 when it is not well-formed XML.
int StackCount(const QByteArray& svg)
{
    QXmlStreamReader xml(svg);
    int stacks = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.attributes().value("class") == QStringLiteral("stack"))
            ++stacks;
    }
    return xml.hasError() ? -1 : stacks;
}

ProgressDialog* VisibleProgressDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<ProgressDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

using BatchWindow = GuiTest;

TEST_F(BatchWindow, SingleRunAppendsOneReportListsItsClockSeedAndDrawsTheLogo)
{
    TinyInputs inputs;
    const std::string out = inputs.dir().File("out.txt");
    const std::string params = inputs.Params("a.params", out);
    Start();
    dialogs.openAnswers = {Q(params)};
    RunFromMenu("Single Run");

    EXPECT_EQ(dialogs.told, QStringList{"Finished!\n"});
    EXPECT_EQ(CountReports(ReadBytes(out)), 1);
    const auto& runs = ActiveView().Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].status, RunStatus::Done);
    EXPECT_EQ(runs[0].parameterFile, Q(params));
    EXPECT_EQ(runs[0].outputFile, Q(out));
    ASSERT_TRUE(runs[0].seed);
    EXPECT_LT(std::abs(static_cast<double>(*runs[0].seed) - static_cast<double>(ClockSeed())), 600.0);
    EXPECT_FALSE(VisibleProgressDialog());

    ASSERT_TRUE(ActiveView().LastSummary());
    const QByteArray svg = ActiveView().LogoSvg();
    EXPECT_EQ(StackCount(svg), 6);  // one stack per motif column
    EXPECT_TRUE(QSvgRenderer(svg).isValid());
    EXPECT_TRUE(svg.contains(("Consensus " + ActiveView().LastSummary()->consensus).c_str()));
}

TEST_F(BatchWindow, RepeatedRunRunsAsOftenAsTheFileSaysWithDistinctSeedsOrAsksForACount)
{
    TinyInputs inputs;
    const std::string out = inputs.dir().File("out.txt");
    const std::string counted = inputs.Params("a.params", out, "-N\n3\n");
    const std::string uncounted = inputs.Params("b.params", inputs.dir().File("b.txt"));
    Start();
    dialogs.openAnswers = {Q(counted), Q(uncounted)};
    RunFromMenu("Repeatedly Run");
    EXPECT_EQ(dialogs.told, QStringList{"Finished!\n"});
    EXPECT_EQ(CountReports(ReadBytes(out)), 3);
    const auto& runs = ActiveView().Runs();
    ASSERT_EQ(runs.size(), 3u);
    for (std::size_t k = 0; k < runs.size(); ++k) {
        EXPECT_EQ(runs[k].status, RunStatus::Done);
        EXPECT_EQ(runs[k].seed, RunSeed(*runs[0].seed, static_cast<std::int64_t>(k)));
    }

    dialogs.told.clear();
    RunFromMenu("Repeatedly Run");
    EXPECT_EQ(dialogs.told, QStringList{"please input number of runs!\n"});
    EXPECT_EQ(ActiveView().Runs().size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(inputs.dir().File("b.txt")));
    EXPECT_FALSE(VisibleProgressDialog());
}

TEST_F(BatchWindow, MultipleInputsRunsTheListInOrderAndTellsEachRefusalOnce)
{
    TinyInputs inputs;
    const std::string outA = inputs.dir().File("a.txt");
    const std::string outBad = inputs.dir().File("bad.txt");
    const std::string outB = inputs.dir().File("b.txt");
    const std::string a = inputs.Params("a.params", outA, "-N\n2\n");
    const std::string missing = inputs.dir().File("missing.params");
    const std::string bad = inputs.Params("bad.params", outBad, "-w\n0\n");
    const std::string b = inputs.Params("b.params", outB);
    const std::string list = inputs.dir().Write("list.txt", "4\n" + a + "\n" + missing + "\n" + bad + "\n" + b + "\n");
    Start();
    dialogs.openAnswers = {Q(list)};
    RunFromMenu("Multiple inputs");

    const auto& runs = ActiveView().Runs();
    std::vector<std::pair<QString, RunStatus>> seen;
    for (const auto& run : runs)
        seen.emplace_back(QFileInfo(run.parameterFile).fileName(), run.status);
    EXPECT_EQ(seen, (std::vector<std::pair<QString, RunStatus>>{{"a.params", RunStatus::Done},
                                                                 {"a.params", RunStatus::Done},
                                                                 {"missing.params", RunStatus::Refused},
                                                                 {"bad.params", RunStatus::Refused},
                                                                 {"b.params", RunStatus::Done}}));
    ASSERT_EQ(dialogs.told.size(), 3);
    EXPECT_TRUE(dialogs.told[0].startsWith("warning: ") && dialogs.told[0].contains("missing.params"))
        << dialogs.told[0].toStdString();
    EXPECT_TRUE(dialogs.told[1].startsWith("warning: ") && dialogs.told[1].contains("width"))
        << dialogs.told[1].toStdString();
    EXPECT_EQ(dialogs.told[2], "Finished!\n");
    EXPECT_EQ(runs[2].message, dialogs.told[0].mid(9));
    EXPECT_FALSE(runs[2].seed);  // never ran
    EXPECT_TRUE(runs[3].seed);

    EXPECT_EQ(CountReports(ReadBytes(outA)), 2);
    EXPECT_EQ(CountReports(ReadBytes(outB)), 1);
    EXPECT_FALSE(std::filesystem::exists(outBad));
}

TEST_F(BatchWindow, CancelAppendsNothingAndSkipsTheRestWhileTheWindowStaysResponsive)
{
    TinyInputs inputs;
    const std::string out = inputs.dir().Write("out.txt", "earlier report\r\n");
    // Far more iterations than the test will wait for: the most a parameter file may give.
    const std::string params =
        inputs.Params("long.params", out, "-n\n" + std::to_string(kMostIterations) + "\n-N\n3\n");
    Start();
    dialogs.openAnswers = {Q(params)};
    int ended = 0;
    QObject::connect(&ActiveView(), &CKalvoView::BatchFinished, [&] { ++ended; });
    Click("Kalvo", "Repeatedly Run");

    ProgressDialog* progress = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        progress = VisibleProgressDialog();
        return progress && progress->Text().contains("Iteration");
    }));
    EXPECT_EQ(progress->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(progress->Text().contains("long.params")) << progress->Text().toStdString();
    EXPECT_TRUE(progress->Text().contains("of 3")) << progress->Text().toStdString();

    // One batch at a time: a second command says so without asking for a file.
    Click("Kalvo", "Single Run");
    EXPECT_EQ(dialogs.openAsked, 1);
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_TRUE(dialogs.told[0].startsWith("warning: A batch is still running"));

    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    ASSERT_EQ(cancel->text(), "Cancel");
    cancel->click();
    EXPECT_EQ(progress->Text(), "Cancelling...");  // shown until the worker has stopped
    ASSERT_TRUE(WaitFor([&] { return ended > 0; }));

    EXPECT_EQ(ReadBytes(out), "earlier report\r\n");
    EXPECT_EQ(dialogs.told.size(), 1);  // no "Finished!"
    for (const auto& run : ActiveView().Runs())
        EXPECT_EQ(run.status, RunStatus::Cancelled);
    EXPECT_LE(ActiveView().Runs().size(), 1u);
    EXPECT_FALSE(VisibleProgressDialog());

    // The next batch runs normally.
    const std::string quick = inputs.Params("quick.params", inputs.dir().File("quick.txt"));
    dialogs.openAnswers = {Q(quick)};
    RunFromMenu("Single Run");
    EXPECT_EQ(dialogs.told.back(), "Finished!\n");
}

TEST_F(BatchWindow, CancelStopsARunWithinItsOnlyHugeIteration)
{
    TinyInputs inputs;
    const std::string out = inputs.dir().Write("out.txt", "earlier report\r\n");
    // The most correlated moves allowed, in one iteration: seconds, unless Cancel reaches inside it.
    const std::string params = inputs.Params("huge.params", out, inputs.SlowRunLines());
    Start();
    dialogs.openAnswers = {Q(params)};
    int ended = 0;
    QObject::connect(&ActiveView(), &CKalvoView::BatchFinished, [&] { ++ended; });
    Click("Kalvo", "Single Run");

    ProgressDialog* progress = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        progress = VisibleProgressDialog();
        return progress && progress->Text().contains("Iteration 0 of 1");
    }));
    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    cancel->click();
    ASSERT_TRUE(WaitFor([&] { return ended > 0; }));
    EXPECT_EQ(ReadBytes(out), "earlier report\r\n");
    EXPECT_EQ(dialogs.told.size(), 0u);  // no "Finished!"
    for (const auto& run : ActiveView().Runs())
        EXPECT_EQ(run.status, RunStatus::Cancelled);
    EXPECT_FALSE(VisibleProgressDialog());
}

TEST_F(BatchWindow, RunOptionStartsASingleRunOnceTheWindowIsUpAndTheSeedRepeatsIt)
{
    TinyInputs inputs;
    const std::string out = inputs.dir().File("out.txt");
    const std::string params = inputs.Params("a.params", out);
    ShellCommand command;
    command.runFile = Q(params);
    command.seed = 7;
    int ended = 0;
    Start(command);
    EXPECT_TRUE(ActiveView().Runs().empty());  // not before the event loop runs
    QObject::connect(&ActiveView(), &CKalvoView::BatchFinished, [&] { ++ended; });
    ASSERT_TRUE(WaitFor([&] { return ended == 1; }));
    EXPECT_EQ(dialogs.openAsked, 0);
    EXPECT_EQ(dialogs.told, QStringList{"Finished!\n"});
    ASSERT_EQ(ActiveView().Runs().size(), 1u);
    EXPECT_EQ(ActiveView().Runs()[0].seed, 7u);

    // The same seed again appends the same block.
    ActiveView().RunBatch(BatchCommand::SingleRun, Q(params), 7u);
    ASSERT_TRUE(WaitFor([&] { return ended == 2; }));
    const std::string bytes = ReadBytes(out);
    ASSERT_EQ(CountReports(bytes), 2);
    EXPECT_EQ(bytes.substr(0, bytes.size() / 2), bytes.substr(bytes.size() / 2));
}

TEST_F(BatchWindow, TheLogoIsSavedAsSvgOrPngAndAFailedSaveSaysWhy)
{
    TinyInputs inputs;
    const std::string params = inputs.Params("a.params", inputs.dir().File("out.txt"));
    Start();
    EXPECT_FALSE(ActiveView().SaveLogo());  // nothing to save before a run
    dialogs.openAnswers = {Q(params)};
    RunFromMenu("Single Run");
    dialogs.told.clear();

    // Through the view's button.
    dialogs.saveAnswer = Q(inputs.dir().File("logo.svg"));
    QPushButton* button = nullptr;
    for (QPushButton* b : ActiveView().findChildren<QPushButton*>()) {
        if (b->text() == "Save Logo...")
            button = b;
    }
    ASSERT_TRUE(button);
    ASSERT_TRUE(button->isEnabled());
    button->click();
    const std::string svg = ReadBytes(inputs.dir().File("logo.svg"));
    EXPECT_EQ(QByteArray::fromStdString(svg), ActiveView().LogoSvg());
    EXPECT_EQ(StackCount(QByteArray::fromStdString(svg)), 6);

    dialogs.saveAnswer = Q(inputs.dir().File("logo.PNG"));
    EXPECT_TRUE(ActiveView().SaveLogo());
    const QImage png(Q(inputs.dir().File("logo.PNG")), "PNG");
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSvgRenderer(ActiveView().LogoSvg()).defaultSize() * 2);

    // The other strand's logo.
    ActiveView().SetReverseComplement(true);
    EXPECT_TRUE(ActiveView().LogoSvg().contains("(reverse complement)"));

    // A path whose folder is a file cannot be written: told, nothing else changes.
    dialogs.saveAnswer = Q(inputs.dir().File("logo.svg") + "/inside.svg");
    EXPECT_FALSE(ActiveView().SaveLogo());
    ASSERT_EQ(dialogs.told.size(), 1);
    EXPECT_TRUE(dialogs.told[0].startsWith("warning: cannot write logo file")) << dialogs.told[0].toStdString();
    EXPECT_EQ(ReadBytes(inputs.dir().File("logo.svg")), svg);

    dialogs.saveAnswer.clear();  // the user cancels the save dialog
    EXPECT_FALSE(ActiveView().SaveLogo());
    EXPECT_EQ(dialogs.told.size(), 1);
}

TEST_F(BatchWindow, ASequenceFileChosenForABatchIsToldToUseNewAnalysisAndNothingRuns)
{
    TinyInputs inputs;
    const std::string plain = inputs.dir().Write("peaks.fa", "\r\n  \n>s1\nACGTACGT\n");
    const std::string gzipped = inputs.dir().Write("peaks.fa.gz", GzipMember("\xEF\xBB\xBF>s1\nACGTACGT\n"));
    Start();
    dialogs.openAnswers = {Q(plain), Q(gzipped), Q(plain)};
    Click("Kalvo", "Single Run");
    Click("Kalvo", "Repeatedly Run");
    Click("Kalvo", "Multiple inputs");
    // The file dialogs say what they want.
    EXPECT_EQ(dialogs.openTitles, (QStringList{"Parameter file", "Parameter file", "List file"}));
    EXPECT_EQ(dialogs.told,
              (QStringList{"warning: 'peaks.fa': this is a sequence file, not a parameter file: use New Analysis",
                           "warning: 'peaks.fa.gz': this is a sequence file, not a parameter file: use New Analysis",
                           "warning: 'peaks.fa': this is a sequence file, not a parameter file: use New Analysis"}));
    EXPECT_TRUE(ActiveView().Runs().empty());
    EXPECT_FALSE(ActiveView().IsBatchRunning());
    EXPECT_FALSE(VisibleProgressDialog());

    // A parameter file that merely mentions '>' further down is no sequence file.
    EXPECT_FALSE(LooksLikeSequenceFile(Q(inputs.dir().Write("x.params", "-i\nseqs.fa\n>\n"))));
    EXPECT_FALSE(LooksLikeSequenceFile(Q(inputs.dir().path().string())));
}

TEST_F(BatchWindow, TheRunListShowsScoreAndSitesAndTheLogoIsTheBestRunsUnlessOneIsChosen)
{
    TinyInputs inputs;
    const std::string params = inputs.Params("a.params", inputs.dir().File("out.txt"), "-N\n6\n");
    Start();
    dialogs.openAnswers = {Q(params)};
    RunFromMenu("Repeatedly Run");
    const auto& runs = ActiveView().Runs();
    ASSERT_EQ(runs.size(), 6u);
    auto* list = ActiveView().findChild<QTreeWidget*>();
    ASSERT_TRUE(list);
    int best = 0;
    for (int k = 0; k < 6; ++k) {
        const auto& run = runs[static_cast<std::size_t>(k)];
        ASSERT_TRUE(run.summary);
        EXPECT_EQ(list->topLevelItem(k)->text(2), QString::number(run.summary->bestLogLik, 'f', 3));
        EXPECT_EQ(list->topLevelItem(k)->text(3), QString::number(run.summary->numSites));
        if (run.summary->bestLogLik > runs[static_cast<std::size_t>(best)].summary->bestLogLik)
            best = k;
    }
    EXPECT_EQ(list->headerItem()->text(2), "Log-likelihood");
    EXPECT_EQ(list->headerItem()->text(3), "Sites");
    EXPECT_EQ(ActiveView().ShownRun(), best);
    EXPECT_EQ(ActiveView().LogoSvg().toStdString(), SequenceLogoSvg(*runs[static_cast<std::size_t>(best)].summary));

    // The user's choice is drawn, and kept while nothing runs.
    const int other = best == 0 ? 1 : 0;
    ActiveView().ShowRun(other);
    EXPECT_EQ(ActiveView().ShownRun(), other);
    EXPECT_EQ(ActiveView().LogoSvg().toStdString(), SequenceLogoSvg(*runs[static_cast<std::size_t>(other)].summary));

    // The next batch shows its own best run again.
    dialogs.openAnswers = {Q(inputs.Params("b.params", inputs.dir().File("b.txt")))};
    RunFromMenu("Single Run");
    EXPECT_EQ(ActiveView().ShownRun(), 6);
}

TEST_F(BatchWindow, TheProgressBarCountsTheIterationsItsTextCountsAndTheStatusBarSaysWhatRuns)
{
    TinyInputs inputs;
    // Two runs of about a second, computed side by side when there are two cores.
    const std::string params = inputs.Params("long.params", inputs.dir().File("out.txt"), "-n\n150000\n-N\n2\n");
    Start();
    EXPECT_EQ(Frame().StatusText(), "Ready");
    dialogs.openAnswers = {Q(params)};
    int samples = 0;
    int ended = 0;
    QObject::connect(&ActiveView(), &CKalvoView::BatchFinished, [&] { ++ended; });
    Click("Kalvo", "Repeatedly Run");
    static const std::regex counted("Run ([12]) of 2\n.*\nIteration ([0-9]+) of 150000");
    ASSERT_TRUE(WaitFor([&] {
        if (ProgressDialog* progress = VisibleProgressDialog()) {
            const std::string text = progress->Text().toStdString();
            std::smatch match;
            if (std::regex_search(text, match, counted)) {
                ++samples;
                const double iteration = std::stod(match[2]);
                EXPECT_GE(progress->Fraction(), iteration / 150000.0 - 0.001) << text;
                EXPECT_LE(progress->Fraction(), (iteration + 1.0) / 150000.0 + 0.001) << text;
                const QString status = Frame().StatusText();
                EXPECT_EQ(status, QString("Running run %1 of 2 of 'long.params'…").arg(Q(match[1]))) << text;
            }
        }
        return ended > 0;
    }));
    EXPECT_GT(samples, 0);
    EXPECT_EQ(dialogs.told, QStringList{"Finished!\n"});
    EXPECT_EQ(Frame().StatusText(), "Ready");
}

}  // namespace
}  // namespace kalvo::testing
