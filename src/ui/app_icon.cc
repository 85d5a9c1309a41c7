#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace strbatch {

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A blue page with two text lines and an arrow: text in, text out.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1e, 0x5a, 0xb4));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(s * 0.18, s * 0.22, s * 0.5, s * 0.1));
    painter.drawRect(QRectF(s * 0.18, s * 0.68, s * 0.5, s * 0.1));
    QPainterPath arrow;
    arrow.moveTo(s * 0.62, s * 0.40);
    arrow.lineTo(s * 0.84, s * 0.50);
    arrow.lineTo(s * 0.62, s * 0.60);
    arrow.closeSubpath();
    painter.setBrush(QColor(0xff, 0xc8, 0x3c));
    painter.drawPath(arrow);
    painter.drawRect(QRectF(s * 0.18, s * 0.46, s * 0.46, s * 0.08));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace strbatch
