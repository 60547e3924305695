// app/gui/child_frame.h: the window of one document inside the main window; it owns its document and view.
// A document window shows either batch runs (CKalvoView) or the results of an analysis (DiscoveryView).
#pragma once
#include <QMdiSubWindow>

namespace kalvo {

class CKalvoDoc;
class CKalvoView;
class DiscoveryView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(CKalvoDoc* doc, QWidget* view, QWidget* parent = nullptr);

    CKalvoDoc* Document() const { return m_doc; }
    // The batch view; nothing for a results window.
    CKalvoView* View() const;
    // The results view; nothing for a batch window.
    DiscoveryView* Results() const;

signals:
    // The window has accepted to close; it is deleted soon after.
    void Closed(CChildFrame* frame);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CKalvoDoc* m_doc;
    QWidget* m_view;
};

}  // namespace kalvo
