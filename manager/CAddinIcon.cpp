#include "CAddinIcon.h"

#include <QPainter>
#include <QPainterPath>

QPixmap CAddinIcon::Pixmap(int nSize) {
    QPixmap pm(nSize, nSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64 by 64 grid.
    p.scale(nSize / 64.0, nSize / 64.0);
    const QColor brown(0x5b, 0x4a, 0x2f), blue(0x2f, 0x6f, 0xb3), dark(0x1d, 0x46, 0x76);
    p.setPen(QPen(brown, 2));
    p.setBrush(QColor(0xf4, 0xf1, 0xe8));
    p.drawRoundedRect(QRectF(4, 14, 50, 36), 4, 4);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(6, 17), QPointF(29, 35), QPointF(52, 17)}));
    QPainterPath quill;
    quill.moveTo(60, 4);
    quill.cubicTo(44, 8, 34, 20, 28, 38);
    quill.lineTo(31, 39);
    quill.cubicTo(37, 24, 47, 13, 60, 4);
    quill.closeSubpath();
    p.setPen(QPen(dark, 1));
    p.setBrush(blue);
    p.drawPath(quill);
    p.setPen(Qt::NoPen);
    p.setBrush(dark);
    p.drawPolygon(QPolygonF({QPointF(28, 38), QPointF(26, 46), QPointF(31, 39)}));
    return pm;
}
