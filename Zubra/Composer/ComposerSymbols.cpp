#include "Zubra/Composer/ComposerSymbols.h"

#include "Zubra/Widgets/Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace ComposerSymbols {

namespace {

// Every drawing works in a 24 x 24 box.
void stroke(QPainter& p, const QColor& color, qreal width)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void dot(QPainter& p, const QColor& color, QPointF centre, qreal radius)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(centre, radius, radius);
}

// A four-pointed star around `centre`.
void sparkle(QPainter& p, const QColor& color, QPointF centre, qreal radius)
{
    const qreal waist = radius * 0.28;
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF({centre + QPointF(0, -radius), centre + QPointF(waist, -waist), centre + QPointF(radius, 0),
        centre + QPointF(waist, waist), centre + QPointF(0, radius), centre + QPointF(-waist, waist),
        centre + QPointF(-radius, 0), centre + QPointF(-waist, -waist)}));
}

void draw(Symbol symbol, QPainter& p, const QColor& c)
{
    switch (symbol) {
    case Symbol::infoCircle:
        stroke(p, c, 1.8);
        p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
        stroke(p, c, 2.2);
        p.drawLine(QPointF(12, 10.5), QPointF(12, 17));
        dot(p, c, QPointF(12, 7.2), 1.4);
        break;
    case Symbol::scissors: {
        // Two loops below, two blades crossing above them.
        stroke(p, c, 1.8);
        p.drawEllipse(QPointF(6.5, 17.5), 3.2, 3.2);
        p.drawEllipse(QPointF(17.5, 17.5), 3.2, 3.2);
        p.drawLine(QPointF(8.6, 15.1), QPointF(18.5, 3));
        p.drawLine(QPointF(15.4, 15.1), QPointF(5.5, 3));
        break;
    }
    case Symbol::textBadgePlus:
        stroke(p, c, 1.8);
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(3, 5.5 + 4.5 * i), QPointF(i == 2 ? 11 : 16, 5.5 + 4.5 * i));
        stroke(p, c, 2.0);
        p.drawLine(QPointF(14, 18), QPointF(21.5, 18));
        p.drawLine(QPointF(17.75, 14.25), QPointF(17.75, 21.75));
        break;
    case Symbol::threeLines:
        stroke(p, c, 1.8);
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(5, 7.5 + 4.5 * i), QPointF(19, 7.5 + 4.5 * i));
        break;
    case Symbol::ellipsis:
        for (int i = 0; i < 3; ++i)
            dot(p, c, QPointF(5.5 + 6.5 * i, 12), 1.7);
        break;
    case Symbol::wandAndStars:
        // A wand from the lower left with its bright tip, and three sparkles around the tip.
        stroke(p, c, 2.2);
        p.drawLine(QPointF(3.5, 20.5), QPointF(13, 11));
        stroke(p, c, 3.2);
        p.drawLine(QPointF(14.5, 9.5), QPointF(16, 8));
        sparkle(p, c, QPointF(19, 4.5), 3.2);
        sparkle(p, c, QPointF(9.5, 4), 2.4);
        sparkle(p, c, QPointF(20, 14.5), 2.4);
        break;
    case Symbol::docBadgePlus:
        stroke(p, c, 1.8);
        p.drawPolyline(QPolygonF({QPointF(12, 21.5), QPointF(4, 21.5), QPointF(4, 2.5), QPointF(12.5, 2.5),
            QPointF(17.5, 7.5), QPointF(17.5, 12)}));
        p.drawPolyline(QPolygonF({QPointF(12.5, 2.5), QPointF(12.5, 7.5), QPointF(17.5, 7.5)}));
        stroke(p, c, 2.0);
        p.drawLine(QPointF(14, 18), QPointF(22, 18));
        p.drawLine(QPointF(18, 14), QPointF(18, 22));
        break;
    case Symbol::ellipsisCircle:
        stroke(p, c, 1.8);
        p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
        for (int i = 0; i < 3; ++i)
            dot(p, c, QPointF(7.5 + 4.5 * i, 12), 1.5);
        break;
    case Symbol::scissorsBadgeEllipsis:
        p.save();
        p.scale(0.78, 0.78);
        draw(Symbol::scissors, p, c);
        p.restore();
        for (int i = 0; i < 3; ++i)
            dot(p, c, QPointF(14 + 4 * i, 20.5), 1.5);
        break;
    case Symbol::trash:
        stroke(p, c, 1.8);
        p.drawLine(QPointF(3.5, 6), QPointF(20.5, 6));
        p.drawPolyline(QPolygonF({QPointF(9, 6), QPointF(9.5, 3.5), QPointF(14.5, 3.5), QPointF(15, 6)}));
        p.drawPolyline(QPolygonF({QPointF(5.5, 6), QPointF(7, 20.5), QPointF(17, 20.5), QPointF(18.5, 6)}));
        p.drawLine(QPointF(10, 10), QPointF(10.3, 17));
        p.drawLine(QPointF(14, 10), QPointF(13.7, 17));
        break;
    case Symbol::pinFill: {
        // A pushpin: cap, body, collar and needle.
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(7.5, 2, 9, 3.5), 1.2, 1.2);
        p.drawPolygon(QPolygonF({QPointF(9, 5), QPointF(15, 5), QPointF(16.5, 12), QPointF(7.5, 12)}));
        p.drawRoundedRect(QRectF(5, 11.5, 14, 3), 1.2, 1.2);
        stroke(p, c, 1.8);
        p.drawLine(QPointF(12, 14.5), QPointF(12, 22));
        break;
    }
    case Symbol::lockDoc:
        stroke(p, c, 1.8);
        p.drawPolygon(QPolygonF(
            {QPointF(4.5, 2.5), QPointF(13.5, 2.5), QPointF(19.5, 8.5), QPointF(19.5, 21.5), QPointF(4.5, 21.5)}));
        stroke(p, c, 1.6);
        p.drawArc(QRectF(9.5, 9, 5, 6), 0, 180 * 16);
        p.drawLine(QPointF(9.5, 12), QPointF(9.5, 13.5));
        p.drawLine(QPointF(14.5, 12), QPointF(14.5, 13.5));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(8, 13, 8, 5.5), 1, 1);
        break;
    case Symbol::noteText:
        stroke(p, c, 1.8);
        p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 3, 3);
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(7.5, 8.5 + 3.75 * i), QPointF(i == 2 ? 13 : 16.5, 8.5 + 3.75 * i));
        break;
    case Symbol::docOnClipboard:
        // A clipboard with its clip, and a page lying on its lower right.
        stroke(p, c, 1.8);
        p.drawPolyline(
            QPolygonF({QPointF(9, 21.5), QPointF(3.5, 21.5), QPointF(3.5, 4.5), QPointF(16.5, 4.5), QPointF(16.5, 8)}));
        p.drawPolygon(
            QPolygonF({QPointF(10.5, 10), QPointF(16.5, 10), QPointF(20.5, 14), QPointF(20.5, 22), QPointF(10.5, 22)}));
        p.drawPolyline(QPolygonF({QPointF(16.5, 10), QPointF(16.5, 14), QPointF(20.5, 14)}));
        stroke(p, c, 1.4);
        p.drawLine(QPointF(13, 17), QPointF(18, 17));
        p.drawLine(QPointF(13, 19.5), QPointF(18, 19.5));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(6.5, 2.5, 7, 3.6), 1.2, 1.2);
        break;
    }
}

} // namespace

QIcon icon(Symbol symbol, const QColor& color)
{
    return Symbols::drawnIcon([symbol](QPainter& p, const QColor& c) { draw(symbol, p, c); }, color);
}

QPixmap pixmap(Symbol symbol, const QColor& color, int size, qreal devicePixelRatio)
{
    // The icon multiplies the size by the ratio itself.
    return icon(symbol, color).pixmap(QSize(size, size), devicePixelRatio);
}

void paint(QPainter& painter, Symbol symbol, const QRectF& rect, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(rect.width(), rect.height());
    painter.translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
    painter.scale(side / 24.0, side / 24.0);
    draw(symbol, painter, color);
    painter.restore();
}

} // namespace ComposerSymbols
