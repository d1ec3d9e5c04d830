#include "ui/main_window.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

// Each image is drawn on a 16 x 16 grid and scaled, so it stays crisp at every size.
using Painter = void (*)(QPainter&);

void disc(QPainter& p, const QColor& fill)
{
    QRadialGradient shade(QPointF(6, 5), 10);
    shade.setColorAt(0, fill.lighter(150));
    shade.setColorAt(1, fill);
    p.setPen(QPen(fill.darker(150), 1));
    p.setBrush(shade);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void tick(QPainter& p, const QColor& colour, qreal width)
{
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({ QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5) }));
}

void glyph(QPainter& p, const QString& text, const QColor& colour)
{
    QFont font = p.font();
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
}

void arrow(QPainter& p, bool upwards)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2f, 0x6f, 0xb5));
    const qreal bar = upwards ? 2 : 12;
    p.drawRect(QRectF(3, bar, 10, 2));
    const qreal tip = upwards ? 5 : 11, base = upwards ? 11 : 5;
    p.drawPolygon(QPolygonF({ QPointF(8, tip), QPointF(13, base), QPointF(10, base), QPointF(10, upwards ? 14 : 2),
        QPointF(6, upwards ? 14 : 2), QPointF(6, base), QPointF(3, base) }));
}

void paintComplete(QPainter& p)
{
    disc(p, QColor(0x2e, 0x9d, 0x45));
    tick(p, Qt::white, 2);
}

void paintIncomplete(QPainter& p)
{
    p.setPen(QPen(QColor(0xb0, 0x6a, 0x10), 1));
    p.setBrush(QColor(0xff, 0xf4, 0xe0));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(QColor(0xf0, 0x9a, 0x20));
    p.drawPie(QRectF(1.5, 1.5, 13, 13), 90 * 16, -220 * 16);
}

void paintUnknown(QPainter& p)
{
    disc(p, QColor(0x8a, 0x8f, 0x98));
    glyph(p, QStringLiteral("?"), Qt::white);
}

void paintText(QPainter& p)
{
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
    p.setBrush(Qt::white);
    p.drawPolygon(
        QPolygonF({ QPointF(3.5, 1.5), QPointF(10, 1.5), QPointF(12.5, 4), QPointF(12.5, 14.5), QPointF(3.5, 14.5) }));
    p.setPen(QPen(QColor(0x4a, 0x78, 0xc0), 1));
    for (int y = 5; y <= 12; y += 2)
        p.drawLine(QPointF(5.5, y + 0.5), QPointF(y == 12 ? 8.5 : 10.5, y + 0.5));
}

void paintInBatch(QPainter& p)
{
    disc(p, QColor(0x2f, 0x6f, 0xb5));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({ QPointF(7, 4), QPointF(9, 4), QPointF(9, 8), QPointF(11.5, 8), QPointF(8, 12),
        QPointF(4.5, 8), QPointF(7, 8) }));
}

void paintProcessed(QPainter& p)
{
    tick(p, QColor(0x2e, 0x9d, 0x45), 2.5);
}

void paintFailed(QPainter& p)
{
    p.setPen(QPen(QColor(0xc8, 0x2b, 0x2b), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
}

void paintNew(QPainter& p)
{
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const double radius = i % 2 ? 3 : 7;
        star << QPointF(8 + radius * std::cos(angle), 8.5 + radius * std::sin(angle));
    }
    p.setPen(QPen(QColor(0xc0, 0x8a, 0x00), 1));
    p.setBrush(QColor(0xff, 0xd0, 0x30));
    p.drawPolygon(star);
}

void paintIdle(QPainter& p)
{
    disc(p, QColor(0x2e, 0xb0, 0x4a));
}
void paintBusy(QPainter& p)
{
    disc(p, QColor(0xd8, 0x30, 0x30));
}
void paintToTop(QPainter& p)
{
    arrow(p, true);
}
void paintToBottom(QPainter& p)
{
    arrow(p, false);
}

void paintProgram(QPainter& p)
{
    p.setPen(Qt::NoPen);
    QLinearGradient sea(0, 0, 0, 16);
    sea.setColorAt(0, QColor(0x2a, 0x9d, 0xa8));
    sea.setColorAt(1, QColor(0x12, 0x5a, 0x78));
    p.setBrush(sea);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3.5, 3.5);
    // A whelk's spiral.
    QPainterPath shell;
    shell.moveTo(8, 8);
    for (int i = 1; i <= 60; ++i) {
        const double angle = i * 0.3;
        const double radius = 0.35 + i * 0.105;
        shell.lineTo(8 + radius * std::cos(angle), 8 + radius * std::sin(angle));
    }
    p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shell);
}

Painter painterFor(const QString& key)
{
    static const QHash<QString, Painter> kPainters = {
        { QStringLiteral("complete"), paintComplete },
        { QStringLiteral("incomplete"), paintIncomplete },
        { QStringLiteral("unknown"), paintUnknown },
        { QStringLiteral("text"), paintText },
        { QStringLiteral("iteminbatch"), paintInBatch },
        { QStringLiteral("proc_true"), paintProcessed },
        { QStringLiteral("proc_false"), paintFailed },
        // Parts of the "View Parts" list: already in the cache, or still on the server.
        { QStringLiteral("cached"), paintProcessed },
        { QStringLiteral("part"), paintText },
        { QStringLiteral("new"), paintNew },
        { QStringLiteral("light_idle"), paintIdle },
        { QStringLiteral("light_busy"), paintBusy },
        { QStringLiteral("totop"), paintToTop },
        { QStringLiteral("tobottom"), paintToBottom },
        { QStringLiteral("program"), paintProgram },
    };
    return kPainters.value(key, paintUnknown);
}

} // namespace

QIcon MainWindow::builtinImage(const QString& key)
{
    const Painter paint = painterFor(key);
    QIcon icon;
    for (int size : { 16, 24, 32, 48 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        paint(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
