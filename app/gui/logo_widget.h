// app/gui/logo_widget.h: shows a sequence logo, scaled to fit with its proportions kept.
#pragma once
#include <optional>

#include <QByteArray>
#include <QString>
#include <QSvgRenderer>
#include <QWidget>

namespace kalvo {

class LogoWidget : public QWidget {
    Q_OBJECT
public:
    explicit LogoWidget(QWidget* parent = nullptr);

    // Shows the SVG document; an empty one shows the hint text instead.
    void SetSvg(const QByteArray& svg);
    // What the empty widget says in place of a logo.
    void SetHint(const QString& hint);
    bool HasLogo() const { return m_hasLogo; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSvgRenderer m_renderer;
    bool m_hasLogo = false;
    QString m_hint;
};

// Writes the logo as PNG (twice its natural size, on white) for a ".png" path and as
// the SVG itself otherwise, whole or not at all; the reason when it was not written.
std::optional<QString> WriteLogoFile(const QString& path, const QByteArray& svg);

}  // namespace kalvo
