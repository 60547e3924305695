// app/gui/discovery_results.cpp: summary.json, sites.tsv and the logo files of an analysis, read with Qt's JSON.
#include "app/gui/discovery_results.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace kalvo {
namespace {

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// A whole file, or nothing with the reason.
std::optional<QByteArray> ReadWhole(const QString& path, QString* problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

int Int(const QJsonObject& object, const char* key) { return object.value(QLatin1String(key)).toInt(); }

// A file the summary names inside the folder; never a path that leads out of it.
QString FolderFile(const QString& folder, const QString& name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QStringLiteral("..") ||
        name == QStringLiteral("."))
        return {};
    return QDir(folder).filePath(name);
}

ResultPair PairOf(const QJsonObject& object)
{
    ResultPair pair;
    for (const QJsonValue& column : object.value(QLatin1String("columns")).toArray())
        pair.columns.push_back(column.toInt());
    pair.logBF = object.value(QLatin1String("log_bf")).toDouble();
    const QJsonObject counts = object.value(QLatin1String("counts")).toObject();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        pair.counts.emplace_back(it.key(), it.value().toInt());
    // Columns from left to right, each word's letters following them: the
    // summary lists a pair's columns in the order the sampler drew them.
    std::vector<std::size_t> order(pair.columns.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return pair.columns[a] < pair.columns[b]; });
    std::vector<int> columns;
    for (std::size_t i : order)
        columns.push_back(pair.columns[i]);
    pair.columns = std::move(columns);
    for (auto& [word, count] : pair.counts) {
        if (word.size() != static_cast<qsizetype>(order.size()))
            continue;
        QString ordered;
        for (std::size_t i : order)
            ordered += word[static_cast<qsizetype>(i)];
        word = ordered;
    }
    std::stable_sort(pair.counts.begin(), pair.counts.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return pair;
}

ResultMotif MotifOf(const QJsonObject& object)
{
    ResultMotif motif;
    motif.rank = Int(object, "rank");
    motif.id = object.value(QLatin1String("id")).toString();
    motif.consensus = object.value(QLatin1String("consensus")).toString();
    motif.width = Int(object, "width");
    motif.evalue = object.value(QLatin1String("evalue")).toString();
    motif.log10EValue = object.value(QLatin1String("log10_evalue")).toDouble();
    motif.siteCount = Int(object, "sites");
    motif.foundBy = Int(object, "found_by");
    motif.restarts = Int(object, "restarts");
    motif.targetHits = Int(object, "target_hits");
    motif.targets = Int(object, "targets");
    motif.controlHits = Int(object, "control_hits");
    motif.controls = Int(object, "controls");
    motif.matrixSites = Int(object, "matrix_sites");
    motif.knownMatch = object.value(QLatin1String("known_match")).toString();
    for (const QJsonValue& row : object.value(QLatin1String("matrix")).toArray()) {
        const QJsonArray cells = row.toArray();
        std::array<double, 4> shares{};
        for (qsizetype b = 0; b < 4 && b < cells.size(); ++b)
            shares[static_cast<std::size_t>(b)] = cells[b].toDouble();
        motif.matrix.push_back(shares);
    }
    for (const QJsonValue& pair : object.value(QLatin1String("pairs")).toArray())
        motif.pairs.push_back(PairOf(pair.toObject()));
    return motif;
}

// sites.tsv: "motif seq_index sequence start end strand score word" under a header line.
bool ReadSites(const QString& path, DiscoveryResults& results, QString* problem)
{
    const auto bytes = ReadWhole(path, problem);
    if (!bytes)
        return false;
    const QList<QByteArray> lines = bytes->split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        bool rankRead = false;
        const int rank = fields.value(0).toInt(&rankRead);
        if (fields.size() < 8 || !rankRead) {
            *problem = QStringLiteral("line %1 does not have the columns of a sites table").arg(i + 1);
            return false;
        }
        ResultSite site;
        site.sequence = QString::fromUtf8(fields[2]);
        site.start = fields[3].toLongLong();
        site.end = fields[4].toLongLong();
        site.forward = fields[5] != "-";
        site.score = fields[6].toDouble();
        site.word = QString::fromUtf8(fields[7]);
        for (ResultMotif& motif : results.motifs) {
            if (motif.rank == rank)
                motif.sites.push_back(std::move(site));
        }
    }
    return true;
}

}  // namespace

std::optional<DiscoveryResults> ReadDiscoveryFolder(const QString& folder, QString* problem)
{
    const QFileInfo info(folder);
    const QString absolute = QDir::cleanPath(info.absoluteFilePath());
    if (!info.isDir()) {
        *problem = QStringLiteral("'%1' is not a folder").arg(Native(folder));
        return std::nullopt;
    }
    const QString summaryPath = QDir(absolute).filePath(QStringLiteral("summary.json"));
    if (!QFileInfo(summaryPath).isFile()) {
        *problem = QStringLiteral("'%1' holds no summary.json: it is not the output folder of a finished analysis")
                       .arg(Native(folder));
        return std::nullopt;
    }
    QString why;
    const auto bytes = ReadWhole(summaryPath, &why);
    if (!bytes) {
        *problem = QStringLiteral("cannot read '%1': %2").arg(Native(summaryPath), why);
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || !root.value(QLatin1String("motifs")).isArray() ||
        root.value(QLatin1String("program")).toString() != QStringLiteral("kalvo")) {
        *problem = QStringLiteral("'%1' is not the summary of a Kalvo analysis%2")
                       .arg(Native(summaryPath), error.error != QJsonParseError::NoError
                                                     ? QStringLiteral(": %1 at byte %2").arg(error.errorString()).arg(error.offset)
                                                     : QString());
        return std::nullopt;
    }

    DiscoveryResults results;
    results.folder = absolute;
    const QJsonObject parameters = root.value(QLatin1String("parameters")).toObject();
    results.input = parameters.value(QLatin1String("input")).toString();
    results.evalueThreshold = parameters.value(QLatin1String("evalue_threshold")).toDouble(0.05);
    results.command = root.value(QLatin1String("command")).toString();
    results.targets = Int(root, "targets");
    results.controls = Int(root, "controls");
    results.controlSource = root.value(QLatin1String("control_source")).toString();
    results.motifsTested = Int(root, "motifs_tested");
    results.nextBestEValue = root.value(QLatin1String("next_best_evalue")).toString();

    for (const QJsonValue& value : root.value(QLatin1String("motifs")).toArray()) {
        const QJsonObject object = value.toObject();
        ResultMotif motif = MotifOf(object);
        for (const auto& [key, logo] : {std::pair{"logo", &motif.logo}, std::pair{"logo_reverse", &motif.logoReverse}}) {
            const QString path = FolderFile(absolute, object.value(QLatin1String(key)).toString());
            const auto svg = path.isEmpty() ? std::nullopt : ReadWhole(path, &why);
            if (svg)
                *logo = *svg;
            else
                results.problems.append(QStringLiteral("the logo of motif %1 cannot be read").arg(motif.rank));
        }
        results.motifs.push_back(std::move(motif));
    }
    if (!results.motifs.empty()) {
        const QString sites = QDir(absolute).filePath(QStringLiteral("sites.tsv"));
        if (!ReadSites(sites, results, &why)) {
            for (ResultMotif& motif : results.motifs)
                motif.sites.clear();  // no list at all rather than part of one
            results.problems.append(QStringLiteral("cannot read '%1': %2").arg(Native(sites), why));
        }
    }
    return results;
}

QString HtmlReportPath(const QString& folder) { return QDir(folder).filePath(QStringLiteral("index.html")); }

}  // namespace kalvo
