// app/gui/kalvo_doc.cpp: new, open and save of a document that stores nothing.
#include "app/gui/kalvo_doc.h"

#include <QFileInfo>

namespace kalvo {

CKalvoDoc::CKalvoDoc(QObject* parent) : QObject(parent) {}

bool CKalvoDoc::OnNewDocument()
{
    m_pathName.clear();
    return true;
}

bool CKalvoDoc::OnOpenDocument(const QString& path)
{
    const QFileInfo info(path);
    m_pathName = info.absoluteFilePath();
    m_title = info.fileName();
    return true;
}

bool CKalvoDoc::DoFileSave() { return true; }

}  // namespace kalvo
