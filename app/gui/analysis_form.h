// app/gui/analysis_form.h: what the New Analysis form holds, and its check into discovery settings.
#pragma once
#include <cstdint>
#include <optional>

#include <QString>

#include "discover/discover_limits.h"
#include "discover/discovery.h"

namespace kalvo {

// The form's fields as the user left them.
struct AnalysisForm {
    QString sequences;                        // FASTA, gzip or not
    QString control;                          // empty: shuffled copies of the sequences
    QString widths = QStringLiteral("8,12,16");
    int motifs = 3;
    int restarts = 8;
    int iterations = 500;
    bool bothStrands = true;
    bool oneSite = false;                     // exactly one site per sequence in the restarts
    bool mask = true;
    QString evalue = QStringLiteral("0.05");  // a motif is reported when its E-value is at most this
    QString seed = QStringLiteral("1");
    QString outputFolder;
    bool replace = false;                     // write into a folder that already holds files
};

// A checked form: the settings `kalvo discover` would run with, and whether to write into a used folder.
struct AnalysisRequest {
    DiscoverSettings settings;
    bool force = false;
};

// A whole number in decimal digits only, blanks around it aside, from 0 to
// 4294967295 (a seed, a width); nothing otherwise.
std::optional<std::uint32_t> ReadWholeNumber(const QString& text);

// The settings of a form that can start; nothing, with the first problem in
// words naming its field, otherwise. Paths become absolute.
std::optional<AnalysisRequest> ReadAnalysisForm(const AnalysisForm& form, QString* problem);

// Where an analysis of `sequences` goes unless the user says otherwise: next to
// the file, peaks.fa giving peaks.kalvo, or peaks-2.kalvo, peaks-3.kalvo, ...
// when that folder already holds files. Empty for an empty name.
QString SuggestedOutputFolder(const QString& sequences);

}  // namespace kalvo
