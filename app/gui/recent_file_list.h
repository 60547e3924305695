// app/gui/recent_file_list.h: the most recently opened files, newest first, kept in the program's settings.
#pragma once
#include <QString>
#include <QStringList>

class QSettings;

namespace kalvo {

class RecentFileList {
public:
    explicit RecentFileList(int size);

    // Settings group "Recent File List", keys "File1" (newest) to "FileN".
    void ReadList(QSettings& settings);
    void WriteList(QSettings& settings) const;

    // Puts the path first; a path already listed moves up instead of appearing twice.
    void Add(const QString& path);
    void Remove(int index);

    const QStringList& Paths() const { return m_paths; }
    int Size() const { return m_size; }

    // Menu text of entry `index`: "&1 path", with ampersands of the path kept as text.
    static QString MenuText(int index, const QString& path);

private:
    int m_size;
    QStringList m_paths;
};

}  // namespace kalvo
