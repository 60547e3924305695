// app/gui/discovery_view.h: the results of an analysis: ranked motifs with logos and E-values, and for
// the chosen motif its logo, sites, matrix and correlated column pairs.
#pragma once
#include <QWidget>

#include "app/gui/dialogs.h"
#include "app/gui/discovery_results.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;
class QTabWidget;
class QTreeWidget;

namespace kalvo {

class LogoWidget;

class DiscoveryView : public QWidget {
    Q_OBJECT
public:
    DiscoveryView(DiscoveryResults results, Dialogs dialogs, QWidget* parent = nullptr);

    const DiscoveryResults& Results() const { return m_results; }
    // Index of the chosen motif in Results().motifs; -1 when there is none. The best motif is chosen at first.
    int SelectedMotif() const { return m_selected; }
    void SelectMotif(int index);
    // The chosen motif's logo as drawn now: its strand, or the other one.
    QByteArray LogoSvg() const;
    void SetReverseComplement(bool on);
    // Asks where to save the logo and writes it; false when cancelled or not written.
    bool SaveLogo();
    // index.html or the folder in the desktop's program for it; false (after telling why) when that failed.
    bool OpenHtmlReport();
    bool OpenOutputFolder();
    // Asks for a FASTA file and where its sites go, scans it with this analysis's motifs and
    // says what came of it; false when cancelled or refused.
    bool ScanAnotherFasta();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The parts of the view, built in this order by the constructor.
    void BuildMotifTable();
    // The chosen motif's title, logo, strand box and save button.
    QWidget* BuildLogoPanel();
    // The chosen motif's sites, matrix and correlated pairs, a tab each.
    void BuildTabs();
    // Stacked: the motifs, the chosen one's logo, its tables at the full width of the window.
    QSplitter* BuildSplitter(QWidget* logoPanel);
    QHBoxLayout* BuildFolderButtons();
    void ShowMotif();
    void FillSites(const ResultMotif& motif);
    void FillMatrix(const ResultMotif& motif);
    void FillPairs(const ResultMotif& motif);
    // The report may be written after the window opened, or be removed.
    void UpdateReportButton();
    bool Open(const QString& path);

    DiscoveryResults m_results;
    Dialogs m_dialogs;
    int m_selected = -1;
    QTreeWidget* m_motifTable = nullptr;
    QLabel* m_motifTitle = nullptr;
    LogoWidget* m_logo = nullptr;
    QCheckBox* m_reverse = nullptr;
    QPushButton* m_saveLogo = nullptr;
    QTabWidget* m_tabs = nullptr;
    QTableWidget* m_sites = nullptr;
    QTableWidget* m_matrix = nullptr;
    QTableWidget* m_pairs = nullptr;
    QLabel* m_noPairs = nullptr;
    QPushButton* m_openReport = nullptr;
};

}  // namespace kalvo
