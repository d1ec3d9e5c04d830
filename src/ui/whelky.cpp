#include "ui/whelky.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kOutline(0x6e, 0x43, 0x26);
const QColor kShellLight(0xf6, 0xdc, 0xb4);
const QColor kShellDark(0xc7, 0x86, 0x4e);
const QColor kBody(0xb9, 0xc4, 0xa8);

void drawWhorl(QPainter& p, const QRectF& r)
{
    QLinearGradient fill(r.topLeft(), r.bottomRight());
    fill.setColorAt(0, kShellLight);
    fill.setColorAt(1, kShellDark);
    p.setBrush(fill);
    p.setPen(QPen(kOutline, 2));
    p.drawEllipse(r);
    // A growth line across each turn of the spire.
    p.setPen(QPen(kOutline.lighter(130), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(
        r.adjusted(r.width() * 0.18, r.height() * 0.25, -r.width() * 0.18, -r.height() * 0.1), 200 * 16, 140 * 16);
}

void drawEye(QPainter& p, QPointF base, QPointF tip)
{
    p.setPen(QPen(kBody.darker(140), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(base, tip);
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(tip, 5.5, 5.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(tip + QPointF(1.2, 0.6), 2.4, 2.4);
}

} // namespace

QPixmap whelkyPicture(int size)
{
    constexpr qreal kScale = 2; // sharp on high-density screens too
    QPixmap pixmap(QSize(size, size) * kScale);
    pixmap.setDevicePixelRatio(kScale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 120.0, size / 120.0);

    // The foot the shell rides on, with a smiling head at its front.
    QPainterPath foot;
    foot.moveTo(6, 106);
    foot.cubicTo(6, 92, 24, 88, 34, 96);
    foot.lineTo(104, 100);
    foot.cubicTo(116, 101, 116, 114, 104, 114);
    foot.lineTo(16, 114);
    foot.cubicTo(8, 114, 6, 110, 6, 106);
    p.setPen(QPen(kBody.darker(150), 2));
    p.setBrush(kBody);
    p.drawPath(foot);
    drawEye(p, QPointF(14, 95), QPointF(8, 74));
    drawEye(p, QPointF(22, 94), QPointF(24, 72));
    p.setPen(QPen(kBody.darker(190), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 97, 12, 8), 200 * 16, 140 * 16);

    // The spire, its smallest turn first so each larger one overlaps the one above it.
    const QRectF whorls[]
        = { { 90, 8, 12, 10 }, { 80, 14, 24, 18 }, { 66, 22, 38, 28 }, { 48, 32, 56, 42 }, { 30, 46, 74, 58 } };
    for (const QRectF& r : whorls)
        drawWhorl(p, r);

    // The opening of the shell.
    p.setPen(QPen(kOutline, 2));
    p.setBrush(QColor(0xf4, 0xc9, 0xc0));
    p.drawEllipse(QRectF(34, 66, 22, 30));
    return pixmap;
}
