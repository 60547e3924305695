// app/gui/logo_widget.cpp: paints the logo centred on white, or a hint while there is none.
#include "app/gui/logo_widget.h"

#include <QPainter>

namespace kalvo {

LogoWidget::LogoWidget(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 90);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void LogoWidget::SetSvg(const QByteArray& svg)
{
    m_hasLogo = !svg.isEmpty() && m_renderer.load(svg);
    updateGeometry();
    update();
}

QSize LogoWidget::sizeHint() const { return m_hasLogo ? m_renderer.defaultSize() : QSize(600, 200); }

void LogoWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_hasLogo) {
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("The motif of the last finished run is shown here as a sequence logo."));
        return;
    }
    QSizeF size = m_renderer.defaultSize();
    size.scale(QSizeF(rect().size()), Qt::KeepAspectRatio);
    const QRectF target((width() - size.width()) / 2.0, (height() - size.height()) / 2.0, size.width(), size.height());
    painter.setRenderHint(QPainter::Antialiasing);
    m_renderer.render(&painter, target);
}

}  // namespace kalvo
