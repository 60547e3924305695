// app/gui/sequence_scan.h: "Scan Another FASTA...": every site of an analysis's motifs in another
// sequence file, written as a table, with a progress window that can cancel it.
#pragma once
#include <QString>

class QWidget;

namespace kalvo {

// What became of a scan: done (the sites written) or not, and the words to tell the user.
struct SequenceScanOutcome {
    bool written = false;
    QString message;
};

// Scans `fasta` for the motifs of the analysis in `folder` (their correlated pairs included)
// at p 1e-4 on both strands, and writes the sites as a TSV file to `output`, whole or not at all.
SequenceScanOutcome ScanWithAnalysisMotifs(QWidget* parent, const QString& folder, const QString& fasta,
                                           const QString& output);

// Where the sites of `fasta` go unless the user says otherwise: beside it, "NAME.sites.tsv".
QString SuggestedSitesFile(const QString& fasta);

}  // namespace kalvo
