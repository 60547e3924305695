// app/gui/logo_widget.h: shows a sequence logo, scaled to fit with its proportions kept.
#pragma once
#include <QByteArray>
#include <QSvgRenderer>
#include <QWidget>

namespace kalvo {

class LogoWidget : public QWidget {
    Q_OBJECT
public:
    explicit LogoWidget(QWidget* parent = nullptr);

    // Shows the SVG document; an empty one shows the hint text instead.
    void SetSvg(const QByteArray& svg);
    bool HasLogo() const { return m_hasLogo; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSvgRenderer m_renderer;
    bool m_hasLogo = false;
};

}  // namespace kalvo
