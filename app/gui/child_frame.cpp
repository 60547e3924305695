// app/gui/child_frame.cpp: a document window that reports when it closes.
#include "app/gui/child_frame.h"

#include <QCloseEvent>

#include "app/gui/discovery_view.h"
#include "app/gui/kalvo_doc.h"
#include "app/gui/kalvo_view.h"

namespace kalvo {

CChildFrame::CChildFrame(CKalvoDoc* doc, QWidget* view, QWidget* parent)
    : QMdiSubWindow(parent), m_doc(doc), m_view(view)
{
    setAttribute(Qt::WA_DeleteOnClose);
    doc->setParent(this);
    setWidget(view);
    setWindowTitle(doc->Title());
    resize(820, 560);
}

CKalvoView* CChildFrame::View() const { return qobject_cast<CKalvoView*>(m_view); }

DiscoveryView* CChildFrame::Results() const { return qobject_cast<DiscoveryView*>(m_view); }

void CChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted())
        emit Closed(this);
}

}  // namespace kalvo
