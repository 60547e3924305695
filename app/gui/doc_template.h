// app/gui/doc_template.h: makes the document, view and window of each new or opened document.
#pragma once
#include <QString>
#include <QStringList>

#include "app/gui/dialogs.h"
#include "app/gui/discovery_results.h"

namespace kalvo {

class CChildFrame;
class CKalvoDoc;

class CKalvoDocTemplate {
public:
    // Fields of the template string "window\ndocument name\nnew name\nfilter\nextension\ntype id\ntype name".
    enum DocStringIndex { WindowTitle, DocName, FileNewName, FilterName, FilterExt, RegFileTypeId, RegFileTypeName };

    CKalvoDocTemplate(const QString& docStrings, Dialogs dialogs);

    QString GetDocString(DocStringIndex index) const;

    // A window with a new, untitled document: "Kalvo1", "Kalvo2", ... in the order they are made.
    CChildFrame* CreateNewDocument();
    // A window with a document opened from `path` (the file is not read).
    CChildFrame* CreateOpenedDocument(const QString& path);
    // A window with the results of the analysis in `results.folder`, named after the folder.
    CChildFrame* CreateResultsDocument(DiscoveryResults results);

private:
    CChildFrame* CreateFrame(CKalvoDoc* doc);

    QStringList m_docStrings;
    Dialogs m_dialogs;
    int m_untitledCount = 0;
};

}  // namespace kalvo
