// app/gui/kalvo_doc.h: the document behind a window. It holds no data: runs keep their results in their output files.
#pragma once
#include <QObject>
#include <QString>

namespace kalvo {

class CKalvoDoc : public QObject {
    Q_OBJECT
public:
    explicit CKalvoDoc(QObject* parent = nullptr);

    // A new document has nothing to set up.
    bool OnNewDocument();
    // Takes the file's name and path; the file is not read.
    bool OnOpenDocument(const QString& path);
    // Storing writes nothing, and above all never empties the file the document was opened from.
    bool DoFileSave();

    const QString& Title() const { return m_title; }
    void SetTitle(const QString& title) { m_title = title; }
    const QString& PathName() const { return m_pathName; }  // empty for a new document
    bool IsModified() const { return false; }  // nothing to lose, so closing asks nothing

private:
    QString m_title;
    QString m_pathName;
};

}  // namespace kalvo
