// app/gui/progress_dialog.h: the dialog that shows a running batch or analysis and offers Cancel.
#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kalvo {

// Unlike QProgressDialog it never processes events itself, so batch events
// are handled one at a time, in order, by the window's event loop.
class ProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const;
    // Share done of what the text counts, 0 to 1; the bar never goes back...
    void SetFraction(double done);
    // ...until it starts again at 0 for the next thing counted (a run, a round of restarts).
    void ResetFraction();
    double Fraction() const;

signals:
    // Pressed once; the dialog stays until the batch has stopped.
    void Cancelled();

protected:
    void reject() override;  // Esc and the close button cancel as well

private:
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
};

}  // namespace kalvo
