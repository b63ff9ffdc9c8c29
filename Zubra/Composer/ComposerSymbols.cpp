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
    }
}

} // namespace

QIcon icon(Symbol symbol, const QColor& color)
{
    return Symbols::drawnIcon([symbol](QPainter& p, const QColor& c) { draw(symbol, p, c); }, color);
}

QPixmap pixmap(Symbol symbol, const QColor& color, int size, qreal devicePixelRatio)
{
    const int side = qRound(size * devicePixelRatio);
    QPixmap out = icon(symbol, color).pixmap(QSize(side, side));
    out.setDevicePixelRatio(devicePixelRatio);
    return out;
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
