#include "applicationicon.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace {

// Draws the same picture as senvo-net.svg, on a 64 x 64 grid: a monitor whose screen shows a
// pulse trace. Painting it here keeps the icon free of image plugins and binary files.
QPixmap iconPixmap(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 64.0, side / 64.0);
    painter.setPen(Qt::NoPen);

    painter.setBrush(QColor(0x5a, 0x64, 0x70));
    painter.drawRect(QRectF(22, 50, 20, 5));
    painter.setBrush(QColor(0x3c, 0x44, 0x4d));
    painter.drawRoundedRect(QRectF(14, 55, 36, 4), 2, 2);
    painter.setBrush(QColor(0x2b, 0x3a, 0x4a));
    painter.drawRoundedRect(QRectF(3, 6, 58, 44), 5, 5);
    painter.setBrush(QColor(0x0d, 0x1b, 0x26));
    painter.drawRoundedRect(QRectF(7, 10, 50, 36), 2, 2);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x1d, 0x3a, 0x4a), 1));
    for (const qreal y : {22.0, 34.0})
        painter.drawLine(QPointF(7, y), QPointF(57, y));
    for (const qreal x : {19.0, 32.0, 45.0})
        painter.drawLine(QPointF(x, 10), QPointF(x, 46));

    const QPolygonF trace{{8, 30},  {18, 30}, {22, 30}, {25, 20}, {29, 40},
                          {33, 14}, {37, 36}, {40, 28}, {44, 30}, {56, 30}};
    painter.setPen(QPen(QColor(0x39, 0xe0, 0x7a), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(trace);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf2, 0xc9, 0x4c));
    painter.drawEllipse(QPointF(52, 15), 2.5, 2.5);
    return pixmap;
}

} // namespace

QIcon applicationIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(iconPixmap(side));
    return icon;
}
