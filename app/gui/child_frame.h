// app/gui/child_frame.h: the window of one document inside the main window; it owns its document and view.
#pragma once
#include <QMdiSubWindow>

namespace kalvo {

class CKalvoDoc;
class CKalvoView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(CKalvoDoc* doc, CKalvoView* view, QWidget* parent = nullptr);

    CKalvoDoc* Document() const { return m_doc; }
    CKalvoView* View() const { return m_view; }

signals:
    // The window has accepted to close; it is deleted soon after.
    void Closed(CChildFrame* frame);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CKalvoDoc* m_doc;
    CKalvoView* m_view;
};

}  // namespace kalvo
