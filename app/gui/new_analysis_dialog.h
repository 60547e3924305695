// app/gui/new_analysis_dialog.h: the New Analysis form: the sequences, the search settings and the output folder.
#pragma once
#include <functional>
#include <optional>

#include <QDialog>

#include "app/gui/analysis_form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace kalvo {

// What answers the form's Browse buttons: the program's file dialogs, or a test's answers.
struct FormBrowsers {
    // A sequence file, starting in the folder of `start`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> openSequences;
    // An existing folder, starting at `start`; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& start)> chooseFolder;
};

class NewAnalysisDialog : public QDialog {
    Q_OBJECT
public:
    NewAnalysisDialog(const AnalysisForm& start, FormBrowsers browsers, QWidget* parent = nullptr);

    AnalysisForm Form() const;
    void SetForm(const AnalysisForm& form);
    // The problem that kept the form open; empty when there is none.
    QString Problem() const;
    // The checked request once the form was accepted.
    const std::optional<AnalysisRequest>& Request() const { return m_request; }

public slots:
    // Start: checks the form, and stays open showing the problem when it cannot start.
    void accept() override;

private:
    void BrowseSequences();
    void BrowseControl();
    void BrowseOutput();
    void SequencesChanged();

    FormBrowsers m_browsers;
    QLineEdit* m_sequences;
    QLineEdit* m_control;
    QLineEdit* m_widths;
    QSpinBox* m_motifs;
    QSpinBox* m_restarts;
    QSpinBox* m_iterations;
    QComboBox* m_strands;
    QCheckBox* m_oneSite;
    QCheckBox* m_mask;
    QLineEdit* m_evalue;
    QLineEdit* m_seed;
    QLineEdit* m_output;
    QCheckBox* m_replace;
    QLabel* m_problem;
    bool m_outputTyped = false;  // the user chose the output folder: it no longer follows the sequence file
    std::optional<AnalysisRequest> m_request;
};

}  // namespace kalvo
