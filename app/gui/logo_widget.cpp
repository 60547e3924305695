// app/gui/logo_widget.cpp: paints the logo centred on white, or a hint while there is none.
#include "app/gui/logo_widget.h"

#include <QImage>
#include <QPainter>
#include <QSaveFile>

namespace kalvo {

std::optional<QString> WriteLogoFile(const QString& path, const QByteArray& svg)
{
    // Written to a temporary file and renamed into place: an existing file is
    // replaced whole or left as it was.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written && path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        QSvgRenderer renderer(svg);
        QImage image(renderer.defaultSize() * 2, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        written = image.save(&file, "PNG");
    } else if (written) {
        written = file.write(svg) == svg.size();
    }
    if (written)
        written = file.commit();
    if (!written)
        return file.errorString();
    return std::nullopt;
}

LogoWidget::LogoWidget(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 90);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_hint = tr("The motif of the chosen run is shown here as a sequence logo.");
}

void LogoWidget::SetHint(const QString& hint)
{
    m_hint = hint;
    update();
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
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_hint);
        return;
    }
    QSizeF size = m_renderer.defaultSize();
    size.scale(QSizeF(rect().size()), Qt::KeepAspectRatio);
    const QRectF target((width() - size.width()) / 2.0, (height() - size.height()) / 2.0, size.width(), size.height());
    painter.setRenderHint(QPainter::Antialiasing);
    m_renderer.render(&painter, target);
}

}  // namespace kalvo
