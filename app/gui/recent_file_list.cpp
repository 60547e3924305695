// app/gui/recent_file_list.cpp: adding, removing, reading and writing the recent-file list.
#include "app/gui/recent_file_list.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kalvo {
namespace {

const QString kSection = QStringLiteral("Recent File List");

QString EntryKey(int index) { return QStringLiteral("File%1").arg(index + 1); }

// One spelling per file, so "a/../b.txt" and "b.txt" share an entry.
QString Normalized(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

}  // namespace

RecentFileList::RecentFileList(int size) : m_size(size) {}

void RecentFileList::ReadList(QSettings& settings)
{
    m_paths.clear();
    settings.beginGroup(kSection);
    for (int i = 0; i < m_size; ++i) {
        const QString path = settings.value(EntryKey(i)).toString();
        if (!path.isEmpty() && !m_paths.contains(path))
            m_paths.append(path);
    }
    settings.endGroup();
}

void RecentFileList::WriteList(QSettings& settings) const
{
    settings.beginGroup(kSection);
    settings.remove(QString());  // the whole group: no stale entries past the end
    for (int i = 0; i < m_paths.size(); ++i)
        settings.setValue(EntryKey(i), m_paths[i]);
    settings.endGroup();
    settings.sync();
}

void RecentFileList::Add(const QString& path)
{
    const QString normalized = Normalized(path);
    m_paths.removeAll(normalized);
    m_paths.prepend(normalized);
    while (m_paths.size() > m_size)
        m_paths.removeLast();
}

void RecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_paths.size())
        m_paths.removeAt(index);
}

QString RecentFileList::MenuText(int index, const QString& path)
{
    QString shown = QDir::toNativeSeparators(path);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

}  // namespace kalvo
