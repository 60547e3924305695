// tests/gui/analysis_form_test.cpp: the New Analysis form: its check with the command line's limits, and its fields.
#include <filesystem>

#include <QLineEdit>
#include <QPushButton>

#include "app/gui/new_analysis_dialog.h"
#include "gui_test_support.h"
#include "temp_files.h"

namespace kalvo::testing {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A form that can start: a sequence file and a new output folder in `dir`.
AnalysisForm GoodForm(const TempDir& dir)
{
    AnalysisForm form;
    form.sequences = Q(dir.Write("peaks.fa", ">s1\nACGTACGTACGTACGT\n"));
    form.outputFolder = Q(dir.File("peaks.kalvo"));
    return form;
}

TEST(AnalysisFormCheck, AGoodFormGivesTheSettingsTheCommandLineWouldRun)
{
    TempDir dir;
    AnalysisForm form = GoodForm(dir);
    form.control = Q(dir.Write("control.fa", ">c1\nACGTACGTACGTACGT\n"));
    form.widths = " 8, 12 ,16";
    form.motifs = 2;
    form.restarts = 4;
    form.iterations = 100;
    form.bothStrands = false;
    form.oneSite = true;
    form.mask = false;
    form.evalue = " 1e-3 ";
    form.seed = "4294967295";
    QString problem;
    const auto request = ReadAnalysisForm(form, &problem);
    ASSERT_TRUE(request) << problem.toStdString();
    const DiscoverSettings& settings = request->settings;
    EXPECT_EQ(settings.inputPath, dir.File("peaks.fa"));
    EXPECT_EQ(settings.controlPath, dir.File("control.fa"));
    EXPECT_EQ(settings.widths, (std::vector<int>{8, 12, 16}));
    EXPECT_EQ(settings.motifs, 2);
    EXPECT_EQ(settings.restarts, 4);
    EXPECT_EQ(settings.iterations, 100);
    EXPECT_FALSE(settings.bothStrands);
    EXPECT_TRUE(settings.oneSite);
    EXPECT_FALSE(settings.mask);
    EXPECT_EQ(settings.evalueThreshold, 1e-3);
    EXPECT_EQ(settings.seed, 4294967295u);
    EXPECT_EQ(settings.outputDir, dir.File("peaks.kalvo"));
    EXPECT_FALSE(settings.programVersion.empty());
    EXPECT_GE(settings.jobs, 1);
    EXPECT_FALSE(request->force);
    EXPECT_FALSE(std::filesystem::exists(dir.File("peaks.kalvo")));  // checking writes nothing

    // A width given twice is searched once, where it was first given.
    form.widths = "12,8,12,8";
    const auto merged = ReadAnalysisForm(form, &problem);
    ASSERT_TRUE(merged) << problem.toStdString();
    EXPECT_EQ(merged->settings.widths, (std::vector<int>{12, 8}));
}

TEST(AnalysisFormCheck, EachProblemIsNamedInWordsAndNothingStarts)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("used.kalvo"));
    dir.Write("used.kalvo/summary.json", "{}");
    std::filesystem::create_directories(dir.File("empty.kalvo"));
    dir.Write("a-file", "x");
    struct Case {
        std::function<void(AnalysisForm&)> change;
        QString expected;
    };
    const std::string widths = "Widths must be whole numbers from 2 to 1000 separated by commas, such as 8,12,16, not '";
    const std::vector<Case> cases = {
        {[](AnalysisForm& f) { f.sequences = "  "; }, "Choose the FASTA file of the sequences to search."},
        {[&](AnalysisForm& f) { f.sequences = Q(dir.File("gone.fa")); },
         Q("The sequence file '" + dir.File("gone.fa") + "' does not exist.")},
        {[&](AnalysisForm& f) { f.sequences = Q(dir.path().string()); }, "is a folder: choose a FASTA file."},
        {[&](AnalysisForm& f) { f.control = Q(dir.File("gone-control.fa")); },
         Q("The control file '" + dir.File("gone-control.fa") + "' does not exist.")},
        {[](AnalysisForm& f) { f.widths = "8,x"; }, Q(widths + "8,x'.")},
        {[](AnalysisForm& f) { f.widths = "1"; }, Q(widths + "1'.")},
        {[](AnalysisForm& f) { f.widths = "1001"; }, Q(widths + "1001'.")},
        {[](AnalysisForm& f) { f.widths = "8,,12"; }, Q(widths + "8,,12'.")},
        {[](AnalysisForm& f) { f.widths = ""; }, Q(widths + "'.")},
        {[](AnalysisForm& f) { f.widths = "-8"; }, Q(widths + "-8'.")},
        {[](AnalysisForm& f) { f.motifs = 101; }, "Motifs must be from 1 to 100."},
        {[](AnalysisForm& f) { f.restarts = 0; }, "Restarts must be from 1 to 10000."},
        {[](AnalysisForm& f) { f.iterations = 1000001; }, "Iterations must be from 1 to 1000000."},
        {[](AnalysisForm& f) { f.evalue = "0"; },
         "The E-value threshold must be a number above 0, such as 0.05, not '0'."},
        {[](AnalysisForm& f) { f.evalue = "lots"; }, "not 'lots'."},
        {[](AnalysisForm& f) { f.evalue = "inf"; }, "not 'inf'."},
        {[](AnalysisForm& f) { f.seed = "4294967296"; },
         "The seed must be a whole number from 0 to 4294967295, not '4294967296'."},
        {[](AnalysisForm& f) { f.seed = "-1"; }, "not '-1'."},
        {[](AnalysisForm& f) { f.seed = ""; }, "The seed must be a whole number"},
        {[](AnalysisForm& f) { f.outputFolder = ""; }, "Choose an output folder."},
        {[&](AnalysisForm& f) { f.outputFolder = Q(dir.File("a-file")); }, "is a file: choose a folder."},
        {[&](AnalysisForm& f) { f.outputFolder = Q(dir.File("used.kalvo")); },
         Q("The output folder '" + dir.File("used.kalvo") +
           "' already holds files: choose another, or tick \"Replace the files of an earlier analysis\".")},
    };
    for (const Case& c : cases) {
        AnalysisForm form = GoodForm(dir);
        c.change(form);
        QString problem;
        EXPECT_FALSE(ReadAnalysisForm(form, &problem)) << c.expected.toStdString();
        EXPECT_TRUE(problem.contains(c.expected)) << problem.toStdString() << "\n  wanted: " << c.expected.toStdString();
    }

    // A used folder with Replace ticked, and an empty one, can take the analysis.
    AnalysisForm replace = GoodForm(dir);
    replace.outputFolder = Q(dir.File("used.kalvo"));
    replace.replace = true;
    QString problem;
    const auto forced = ReadAnalysisForm(replace, &problem);
    ASSERT_TRUE(forced) << problem.toStdString();
    EXPECT_TRUE(forced->force);
    AnalysisForm empty = GoodForm(dir);
    empty.outputFolder = Q(dir.File("empty.kalvo"));
    EXPECT_TRUE(ReadAnalysisForm(empty, &problem)) << problem.toStdString();
}

TEST(AnalysisFormCheck, TheSuggestedOutputFolderIsNextToTheSequencesAndNeverOneInUse)
{
    TempDir dir;
    const std::string sequences = dir.Write("peaks.fa.gz", "");
    EXPECT_EQ(SuggestedOutputFolder(Q(sequences)), Q(dir.File("peaks.kalvo")));
    std::filesystem::create_directories(dir.File("peaks.kalvo"));
    EXPECT_EQ(SuggestedOutputFolder(Q(sequences)), Q(dir.File("peaks.kalvo")));  // empty: still free
    dir.Write("peaks.kalvo/summary.json", "{}");
    EXPECT_EQ(SuggestedOutputFolder(Q(sequences)), Q(dir.File("peaks-2.kalvo")));
    dir.Write("peaks-2.kalvo", "a file");
    EXPECT_EQ(SuggestedOutputFolder(Q(sequences)), Q(dir.File("peaks-3.kalvo")));
    EXPECT_TRUE(SuggestedOutputFolder("").isEmpty());
}

using NewAnalysisForm = GuiTest;

QPushButton* Button(QWidget& parent, const QString& text, int nth = 0)
{
    for (QPushButton* button : parent.findChildren<QPushButton*>()) {
        if (button->text() == text && nth-- == 0)
            return button;
    }
    return nullptr;
}

TEST_F(NewAnalysisForm, StartStaysOpenShowingTheProblemAndBrowseFillsTheFields)
{
    TempDir dir;
    const std::string sequences = dir.Write("peaks.fa", ">s1\nACGTACGTACGTACGT\n");
    const Dialogs browse = dialogs.Get();
    NewAnalysisDialog form(AnalysisForm{}, FormBrowsers{browse.openSequences, browse.chooseFolder});
    EXPECT_EQ(form.Form().widths, "8,12,16");  // the command line's defaults
    EXPECT_EQ(form.Form().restarts, 8);
    EXPECT_EQ(form.Form().iterations, 500);
    EXPECT_EQ(form.Form().seed, "1");

    Button(form, "Start")->click();
    EXPECT_NE(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Problem(), "Choose the FASTA file of the sequences to search.");

    // The output folder follows the sequence file, until the user picks one.
    dialogs.sequencesAnswer = Q(sequences);
    Button(form, "Browse...", 0)->click();
    EXPECT_EQ(form.Form().sequences, Q(sequences));
    EXPECT_EQ(form.Form().outputFolder, Q(dir.File("peaks.kalvo")));
    dialogs.folderAnswer = Q(dir.File("mine"));
    Button(form, "Browse...", 2)->click();
    form.findChild<QLineEdit*>("sequences")->setText(Q(dir.File("other.fa")));
    EXPECT_EQ(form.Form().outputFolder, Q(dir.File("mine")));
    EXPECT_EQ(dialogs.openTitles, QStringList{"Sequence file"});
    EXPECT_EQ(dialogs.folderTitles, QStringList{"Output folder"});

    form.findChild<QLineEdit*>("sequences")->setText(Q(sequences));
    form.findChild<QLineEdit*>("widths")->setText("10");
    Button(form, "Start")->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(form.Problem().isEmpty());
    ASSERT_TRUE(form.Request());
    EXPECT_EQ(form.Request()->settings.widths, std::vector<int>{10});
    EXPECT_EQ(form.Request()->settings.outputDir, dir.File("mine"));
}

}  // namespace
}  // namespace kalvo::testing
