// app/gui/discovery_view.cpp: the motif table, the chosen motif's logo and tables, and the folder's buttons.
#include "app/gui/discovery_view.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/gui/logo_widget.h"
#include "app/gui/sequence_scan.h"

namespace kalvo {
namespace {

enum MotifColumn { RankColumn, LogoColumn, ConsensusColumn, WidthColumn, EValueColumn, SitesColumn, FoundByColumn,
                   KnownMotifColumn };

constexpr QSize kLogoIconSize(150, 44);

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// A logo drawn small on white, for the motif table.
QPixmap LogoIcon(const QByteArray& svg)
{
    QPixmap pixmap(kLogoIconSize);
    pixmap.fill(Qt::white);
    QSvgRenderer renderer(svg);
    if (svg.isEmpty() || !renderer.isValid())
        return pixmap;
    QSizeF size = renderer.defaultSize();
    size.scale(QSizeF(kLogoIconSize), Qt::KeepAspectRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF((kLogoIconSize.width() - size.width()) / 2.0,
                                     (kLogoIconSize.height() - size.height()) / 2.0, size.width(), size.height()));
    return pixmap;
}

QTableWidgetItem* Cell(const QString& text, bool number = false)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QTableWidget* Table(const char* name, const QStringList& headers)
{
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// "3 and 7", or "2, 5 and 9" for a larger group.
QString ColumnsText(const std::vector<int>& columns)
{
    QString text;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0)
            text += i + 1 == columns.size() ? QStringLiteral(" and ") : QStringLiteral(", ");
        text += QString::number(columns[i]);
    }
    return text;
}

QString Plural(long long count, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

QString SummaryText(const DiscoveryResults& results)
{
    const QString input = QFileInfo(results.input).fileName().toHtmlEscaped();
    const QString threshold = QString::number(results.evalueThreshold, 'g', 6);
    QString text;
    if (results.motifs.empty()) {
        text = QObject::tr("<b>%1</b>: no motif has an E-value of at most %2.").arg(input, threshold);
        if (!results.nextBestEValue.isEmpty())
            text += QObject::tr(" The best candidate's E-value was %1.").arg(results.nextBestEValue.toHtmlEscaped());
    } else {
        text = QObject::tr("<b>%1</b>: %2 with an E-value of at most %3, best first.")
                   .arg(input, Plural(static_cast<long long>(results.motifs.size()), QObject::tr("motif"), QObject::tr("motifs")),
                        threshold);
    }
    text += QObject::tr(" %1; %2 tested against %3 (%4).")
                .arg(Plural(results.targets, QObject::tr("sequence"), QObject::tr("sequences")),
                     Plural(results.motifsTested, QObject::tr("motif"), QObject::tr("motifs")),
                     Plural(results.controls, QObject::tr("control sequence"), QObject::tr("control sequences")),
                     results.controlSource.toHtmlEscaped());
    text += QStringLiteral("<br>") + QObject::tr("Output folder: %1").arg(Native(results.folder).toHtmlEscaped());
    for (const QString& problem : results.problems)
        text += QStringLiteral("<br><span style=\"color:#b00020\">%1</span>").arg(problem.toHtmlEscaped());
    return text;
}

}  // namespace

DiscoveryView::DiscoveryView(DiscoveryResults results, Dialogs dialogs, QWidget* parent)
    : QWidget(parent), m_results(std::move(results)), m_dialogs(std::move(dialogs))
{
    auto* summary = new QLabel(SummaryText(m_results));
    summary->setObjectName(QStringLiteral("summary"));
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    BuildMotifTable();
    QWidget* logoPanel = BuildLogoPanel();
    BuildTabs();
    QSplitter* splitter = BuildSplitter(logoPanel);
    QHBoxLayout* folderButtons = BuildFolderButtons();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(splitter, 1);
    layout->addLayout(folderButtons);

    UpdateReportButton();
    ShowMotif();
    if (!m_results.motifs.empty())
        SelectMotif(0);
}

void DiscoveryView::BuildMotifTable()
{
    m_motifTable = new QTreeWidget;
    m_motifTable->setObjectName(QStringLiteral("motifTable"));
    m_motifTable->setHeaderLabels({tr("Rank"), tr("Logo"), tr("Consensus"), tr("Width"), tr("E-value"), tr("Sites"),
                                   tr("Found by"), tr("Known motif")});
    m_motifTable->setRootIsDecorated(false);
    m_motifTable->setAlternatingRowColors(true);
    m_motifTable->setIconSize(kLogoIconSize);
    m_motifTable->header()->setStretchLastSection(true);
    for (const ResultMotif& motif : m_results.motifs) {
        auto* item = new QTreeWidgetItem(m_motifTable);
        item->setText(RankColumn, QString::number(motif.rank));
        item->setIcon(LogoColumn, QIcon(LogoIcon(motif.logo)));
        item->setText(ConsensusColumn, motif.consensus);
        item->setText(WidthColumn, QString::number(motif.width));
        item->setText(EValueColumn, motif.evalue);
        item->setText(SitesColumn, QString::number(motif.siteCount));
        item->setText(FoundByColumn, tr("%1 of %2").arg(motif.foundBy).arg(motif.restarts));
        item->setText(KnownMotifColumn, motif.knownMatch);
        for (int c : {RankColumn, WidthColumn, EValueColumn, SitesColumn})
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        item->setFont(ConsensusColumn, QFont(QStringLiteral("monospace")));
    }
    for (int c = 0; c < m_motifTable->columnCount(); ++c)
        m_motifTable->resizeColumnToContents(c);
    m_motifTable->setColumnWidth(LogoColumn, kLogoIconSize.width() + 12);
    connect(m_motifTable, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        const int index = current ? m_motifTable->indexOfTopLevelItem(current) : -1;
        if (index != m_selected) {
            m_selected = index;
            ShowMotif();
        }
    });
}

QWidget* DiscoveryView::BuildLogoPanel()
{
    m_motifTitle = new QLabel;
    m_motifTitle->setObjectName(QStringLiteral("motifTitle"));
    m_motifTitle->setWordWrap(true);
    m_logo = new LogoWidget;
    m_logo->SetHint(m_results.motifs.empty() ? tr("No significant motif: nothing to draw.")
                                             : tr("Choose a motif in the table to see its logo."));
    m_reverse = new QCheckBox(tr("Reverse complement"));
    m_saveLogo = new QPushButton(tr("Save Logo..."));
    auto* saveAction = new QAction(tr("Save Logo..."), m_logo);
    m_logo->addAction(saveAction);
    m_logo->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(saveAction, &QAction::triggered, this, [this] { SaveLogo(); });
    connect(m_saveLogo, &QPushButton::clicked, this, [this] { SaveLogo(); });
    connect(m_reverse, &QCheckBox::toggled, this, [this](bool) { ShowMotif(); });

    auto* logoPanel = new QWidget;
    auto* logoLayout = new QVBoxLayout(logoPanel);
    logoLayout->setContentsMargins(0, 0, 0, 0);
    logoLayout->addWidget(m_motifTitle);
    logoLayout->addWidget(m_logo, 1);
    auto* logoButtons = new QHBoxLayout;
    logoButtons->addWidget(m_reverse);
    logoButtons->addStretch(1);
    logoButtons->addWidget(m_saveLogo);
    logoLayout->addLayout(logoButtons);
    return logoPanel;
}

void DiscoveryView::BuildTabs()
{
    m_sites = Table("siteTable", {tr("Sequence"), tr("Start"), tr("End"), tr("Strand"), tr("Score"), tr("Word")});
    m_sites->horizontalHeaderItem(1)->setToolTip(tr("0-based, as in sites.tsv"));
    m_sites->horizontalHeaderItem(2)->setToolTip(tr("Exclusive, as in sites.tsv"));
    m_sites->horizontalHeaderItem(4)->setToolTip(tr("Log-likelihood ratio of the motif with its pairs over the background"));
    m_matrix = Table("matrixTable", {tr("Column"), QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("G"),
                                     QStringLiteral("T"), tr("Consensus")});
    m_matrix->setToolTip(tr("Letter probabilities per motif column, as in motifs.meme"));
    m_pairs = Table("pairTable", {tr("Columns"), tr("log Bayes factor"), tr("Commonest letters (sites)")});
    m_pairs->horizontalHeaderItem(1)->setToolTip(tr("Evidence that the columns depend on each other, natural log"));
    m_noPairs = new QLabel(tr("This motif has no correlated column pairs."));
    m_noPairs->setObjectName(QStringLiteral("noPairs"));
    m_noPairs->setAlignment(Qt::AlignCenter);
    auto* pairsPanel = new QWidget;
    auto* pairsLayout = new QVBoxLayout(pairsPanel);
    pairsLayout->setContentsMargins(0, 0, 0, 0);
    pairsLayout->addWidget(m_pairs);
    pairsLayout->addWidget(m_noPairs);
    m_tabs = new QTabWidget;
    m_tabs->addTab(m_sites, tr("Sites"));
    m_tabs->addTab(m_matrix, tr("Matrix"));
    m_tabs->addTab(pairsPanel, tr("Correlated pairs"));
}

QSplitter* DiscoveryView::BuildSplitter(QWidget* logoPanel)
{
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_motifTable);
    splitter->addWidget(logoPanel);
    splitter->addWidget(m_tabs);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 3);
    splitter->setChildrenCollapsible(false);
    // Room for up to three motifs at first, and never less than two; the rest scroll.
    const int rowHeight = kLogoIconSize.height() + 6;
    const int header = m_motifTable->header()->sizeHint().height() + 6;
    const auto motifCount = static_cast<int>(m_results.motifs.size());
    m_motifTable->setMinimumHeight(header + std::clamp(motifCount, 1, 2) * rowHeight);
    splitter->setSizes({header + std::clamp(motifCount, 1, 3) * rowHeight, 230, 260});
    return splitter;
}

QHBoxLayout* DiscoveryView::BuildFolderButtons()
{
    m_openReport = new QPushButton(tr("Open HTML Report"));
    m_openReport->setToolTip(tr("index.html of the output folder, in the web browser"));
    auto* openFolder = new QPushButton(tr("Open Output Folder"));
    openFolder->setToolTip(Native(m_results.folder));
    auto* scan = new QPushButton(tr("Scan Another FASTA..."));
    scan->setObjectName(QStringLiteral("scanButton"));
    scan->setToolTip(tr("Every site of these motifs in another sequence file, written as a table"));
    scan->setEnabled(!m_results.motifs.empty());
    connect(scan, &QPushButton::clicked, this, [this] { ScanAnotherFasta(); });
    connect(m_openReport, &QPushButton::clicked, this, [this] { OpenHtmlReport(); });
    connect(openFolder, &QPushButton::clicked, this, [this] { OpenOutputFolder(); });
    auto* folderButtons = new QHBoxLayout;
    folderButtons->addWidget(m_openReport);
    folderButtons->addWidget(openFolder);
    folderButtons->addWidget(scan);
    folderButtons->addStretch(1);
    return folderButtons;
}

void DiscoveryView::SelectMotif(int index)
{
    if (index < 0 || index >= m_motifTable->topLevelItemCount())
        return;
    m_motifTable->setCurrentItem(m_motifTable->topLevelItem(index));
}

QByteArray DiscoveryView::LogoSvg() const
{
    if (m_selected < 0)
        return {};
    const ResultMotif& motif = m_results.motifs[static_cast<std::size_t>(m_selected)];
    return m_reverse->isChecked() ? motif.logoReverse : motif.logo;
}

void DiscoveryView::SetReverseComplement(bool on) { m_reverse->setChecked(on); }

void DiscoveryView::ShowMotif()
{
    const bool chosen = m_selected >= 0;
    m_logo->SetSvg(LogoSvg());
    m_saveLogo->setEnabled(chosen && !LogoSvg().isEmpty());
    m_reverse->setEnabled(chosen);
    m_tabs->setEnabled(chosen);
    if (!chosen) {
        m_motifTitle->setText(m_results.motifs.empty() ? tr("No significant motif.") : tr("No motif chosen."));
        FillSites(ResultMotif{});
        FillMatrix(ResultMotif{});
        FillPairs(ResultMotif{});
        return;
    }
    const ResultMotif& motif = m_results.motifs[static_cast<std::size_t>(m_selected)];
    m_motifTitle->setText(tr("<b>Motif %1</b> %2: E-value %3, %4 sites, found by %5 of %6 restarts; "
                             "%7 of %8 test sequences and %9 of %10 controls have a site.")
                              .arg(motif.rank)
                              .arg(motif.consensus.toHtmlEscaped(), motif.evalue.toHtmlEscaped())
                              .arg(motif.siteCount)
                              .arg(motif.foundBy)
                              .arg(motif.restarts)
                              .arg(motif.targetHits)
                              .arg(motif.targets)
                              .arg(motif.controlHits)
                              .arg(motif.controls) +
                          (motif.knownMatch.isEmpty() ? QString()
                                                      : tr(" Known motif: %1.").arg(motif.knownMatch.toHtmlEscaped())) +
                          (motif.matrixSites != motif.siteCount
                               ? tr(" Its matrix and logo are estimated from %1 sites.").arg(motif.matrixSites)
                               : QString()));
    FillSites(motif);
    FillMatrix(motif);
    FillPairs(motif);
}

void DiscoveryView::FillSites(const ResultMotif& motif)
{
    m_sites->setSortingEnabled(false);
    m_sites->setRowCount(0);
    m_sites->setRowCount(static_cast<int>(motif.sites.size()));
    const QFont mono(QStringLiteral("monospace"));
    for (int row = 0; row < m_sites->rowCount(); ++row) {
        const ResultSite& site = motif.sites[static_cast<std::size_t>(row)];
        m_sites->setItem(row, 0, Cell(site.sequence));
        m_sites->setItem(row, 1, Cell(QString::number(site.start), true));
        m_sites->setItem(row, 2, Cell(QString::number(site.end), true));
        m_sites->setItem(row, 3, Cell(site.forward ? QStringLiteral("+") : QStringLiteral("-")));
        m_sites->setItem(row, 4, Cell(QString::number(site.score, 'f', 3), true));
        QTableWidgetItem* word = Cell(site.word);
        word->setFont(mono);
        m_sites->setItem(row, 5, word);
    }
    m_sites->resizeColumnsToContents();
    m_tabs->setTabText(0, tr("Sites (%1)").arg(motif.sites.size()));
}

void DiscoveryView::FillMatrix(const ResultMotif& motif)
{
    m_matrix->setRowCount(0);
    m_matrix->setRowCount(static_cast<int>(motif.matrix.size()));
    for (int row = 0; row < m_matrix->rowCount(); ++row) {
        const std::array<double, 4>& shares = motif.matrix[static_cast<std::size_t>(row)];
        m_matrix->setItem(row, 0, Cell(QString::number(row + 1), true));
        for (int b = 0; b < 4; ++b) {
            const double share = shares[static_cast<std::size_t>(b)];
            QTableWidgetItem* cell = Cell(QString::number(share, 'f', 3), true);
            // Shaded by probability, so the consensus stands out at a glance.
            const int fade = static_cast<int>(std::clamp(share, 0.0, 1.0) * 150.0);
            cell->setBackground(QColor(255 - fade, 255 - fade / 2, 255));
            cell->setForeground(Qt::black);
            m_matrix->setItem(row, b + 1, cell);
        }
        const QString letter = row < motif.consensus.size() ? QString(motif.consensus[row]) : QString();
        m_matrix->setItem(row, 5, Cell(letter));
    }
    m_matrix->resizeColumnsToContents();
}

void DiscoveryView::FillPairs(const ResultMotif& motif)
{
    m_pairs->setRowCount(0);
    m_pairs->setRowCount(static_cast<int>(motif.pairs.size()));
    for (int row = 0; row < m_pairs->rowCount(); ++row) {
        const ResultPair& pair = motif.pairs[static_cast<std::size_t>(row)];
        m_pairs->setItem(row, 0, Cell(ColumnsText(pair.columns)));
        m_pairs->setItem(row, 1, Cell(QString::number(pair.logBF, 'f', 2), true));
        QStringList common;
        for (std::size_t i = 0; i < pair.counts.size() && i < 4; ++i)
            common.append(QStringLiteral("%1 %2").arg(pair.counts[i].first).arg(pair.counts[i].second));
        m_pairs->setItem(row, 2, Cell(common.join(QStringLiteral(", "))));
    }
    m_pairs->resizeColumnsToContents();
    const bool none = motif.pairs.empty() && m_selected >= 0;
    m_pairs->setVisible(!none);
    m_noPairs->setVisible(none);
    m_tabs->setTabText(2, tr("Correlated pairs (%1)").arg(motif.pairs.size()));
}

bool DiscoveryView::SaveLogo()
{
    const QByteArray svg = LogoSvg();
    if (svg.isEmpty() || !m_dialogs.saveLogo)
        return false;
    const ResultMotif& motif = m_results.motifs[static_cast<std::size_t>(m_selected)];
    const QString name = QStringLiteral("motif-%1%2-logo.svg")
                             .arg(motif.rank)
                             .arg(m_reverse->isChecked() ? QStringLiteral("-rc") : QString());
    const QString path = m_dialogs.saveLogo(this, QDir(m_results.folder).filePath(name));
    if (path.isEmpty())
        return false;
    if (const auto problem = WriteLogoFile(path, svg)) {
        if (m_dialogs.warn)
            m_dialogs.warn(this, tr("cannot write logo file '%1': %2").arg(Native(path), *problem));
        return false;
    }
    return true;
}

void DiscoveryView::showEvent(QShowEvent* event)
{
    UpdateReportButton();
    QWidget::showEvent(event);
}

void DiscoveryView::UpdateReportButton()
{
    const bool present = QFileInfo(HtmlReportPath(m_results.folder)).isFile();
    m_openReport->setEnabled(present);
    m_openReport->setToolTip(present ? Native(HtmlReportPath(m_results.folder))
                                     : tr("This output folder has no HTML report (index.html)"));
}

bool DiscoveryView::OpenHtmlReport()
{
    UpdateReportButton();
    if (!m_openReport->isEnabled()) {
        if (m_dialogs.warn)
            m_dialogs.warn(this, tr("'%1' has no HTML report (index.html).").arg(Native(m_results.folder)));
        return false;
    }
    return Open(HtmlReportPath(m_results.folder));
}

bool DiscoveryView::OpenOutputFolder()
{
    if (!QFileInfo(m_results.folder).isDir()) {
        if (m_dialogs.warn)
            m_dialogs.warn(this, tr("The output folder '%1' is gone.").arg(Native(m_results.folder)));
        return false;
    }
    return Open(m_results.folder);
}

bool DiscoveryView::ScanAnotherFasta()
{
    if (m_results.motifs.empty() || !m_dialogs.openSequences || !m_dialogs.saveSites)
        return false;
    const QString fasta = m_dialogs.openSequences(this, tr("Sequences to Scan"), m_results.folder);
    if (fasta.isEmpty())
        return false;
    const QString output = m_dialogs.saveSites(this, SuggestedSitesFile(fasta));
    if (output.isEmpty())
        return false;
    const SequenceScanOutcome outcome = ScanWithAnalysisMotifs(this, m_results.folder, fasta, output);
    const auto& tell = outcome.written ? m_dialogs.inform : m_dialogs.warn;
    if (tell)
        tell(this, outcome.message);
    return outcome.written;
}

bool DiscoveryView::Open(const QString& path)
{
    if (m_dialogs.openUrl && m_dialogs.openUrl(QUrl::fromLocalFile(path)))
        return true;
    if (m_dialogs.warn)
        m_dialogs.warn(this, tr("No program of this desktop could open '%1'.").arg(Native(path)));
    return false;
}

}  // namespace kalvo
