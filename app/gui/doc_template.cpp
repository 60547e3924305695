// app/gui/doc_template.cpp: builds document, view and child frame together.
#include "app/gui/doc_template.h"

#include "app/gui/child_frame.h"
#include "app/gui/discovery_view.h"
#include "app/gui/kalvo_doc.h"
#include "app/gui/kalvo_view.h"

namespace kalvo {

CKalvoDocTemplate::CKalvoDocTemplate(const QString& docStrings, Dialogs dialogs)
    : m_docStrings(docStrings.split(QLatin1Char('\n'))), m_dialogs(std::move(dialogs))
{
}

QString CKalvoDocTemplate::GetDocString(DocStringIndex index) const
{
    return index < m_docStrings.size() ? m_docStrings[index] : QString();
}

CChildFrame* CKalvoDocTemplate::CreateNewDocument()
{
    auto* doc = new CKalvoDoc;
    doc->OnNewDocument();
    doc->SetTitle(GetDocString(DocName) + QString::number(++m_untitledCount));
    return CreateFrame(doc);
}

CChildFrame* CKalvoDocTemplate::CreateOpenedDocument(const QString& path)
{
    auto* doc = new CKalvoDoc;
    doc->OnOpenDocument(path);
    return CreateFrame(doc);
}

CChildFrame* CKalvoDocTemplate::CreateResultsDocument(DiscoveryResults results)
{
    auto* doc = new CKalvoDoc;
    doc->OnOpenDocument(results.folder);
    auto* view = new DiscoveryView(std::move(results), m_dialogs);
    return new CChildFrame(doc, view);
}

CChildFrame* CKalvoDocTemplate::CreateFrame(CKalvoDoc* doc)
{
    auto* view = new CKalvoView(doc, m_dialogs);
    return new CChildFrame(doc, view);
}

}  // namespace kalvo
