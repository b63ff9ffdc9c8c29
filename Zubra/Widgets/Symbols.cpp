#include "Zubra/Widgets/Symbols.h"
#include "Zubra/Widgets/PaintedIconEngine.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace {
using Symbols::Symbol;

class DrawnEngine final : public PaintedIconEngine
{
public:
    DrawnEngine(Symbols::Drawing drawing, QColor color)
        : m_drawing(std::move(drawing))
        , m_color(color)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color.isValid() ? m_color : QApplication::palette().color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4f);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        // Every drawing is made on a 24 × 24 grid centred in the square that fits the rectangle.
        const qreal side = qMin(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 24.0, side / 24.0);
        m_drawing(*painter, color);
        painter->restore();
    }

    QIconEngine* clone() const override { return new DrawnEngine(m_drawing, m_color); }

private:
    Symbols::Drawing m_drawing;
    QColor m_color;
};

void draw(Symbol symbol, QPainter& p, const QColor& color)
{
    QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (symbol) {
    case Symbol::quote: {
        // Two closing quotation marks: filled drops with tails.
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        for (qreal x : {5.0, 13.5}) {
            p.drawEllipse(QRectF(x, 7, 6, 6));
            QPainterPath tail;
            tail.moveTo(x + 6, 10);
            tail.cubicTo(x + 6.2, 14.5, x + 4, 17.5, x + 0.5, 18.5);
            tail.lineTo(x + 0.2, 17.2);
            tail.cubicTo(x + 2.2, 16.2, x + 3, 14.5, x + 2.6, 12.6);
            tail.closeSubpath();
            p.drawPath(tail);
        }
        break;
    }
    case Symbol::checkmarkCircle: {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(2, 2, 20, 20));
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(7, 12.5), QPointF(10.5, 16), QPointF(17, 8.5)}));
        break;
    }
    case Symbol::warningTriangle: {
        QPainterPath triangle;
        triangle.moveTo(12, 2.5);
        triangle.lineTo(22.5, 21);
        triangle.lineTo(1.5, 21);
        triangle.closeSubpath();
        p.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(color);
        p.drawPath(triangle);
        p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 9), QPointF(12, 14.5));
        p.drawPoint(QPointF(12, 18));
        break;
    }
    case Symbol::handRaised: {
        // Four fingers, a thumb and the palm.
        for (qreal x : {7.5, 10.5, 13.5, 16.5})
            p.drawLine(QPointF(x, x == 7.5 || x == 16.5 ? 7 : 4.5), QPointF(x, 12));
        QPainterPath palm;
        palm.moveTo(7.5, 12);
        palm.lineTo(7.5, 16);
        palm.cubicTo(7.5, 19.5, 9.5, 21.5, 12.5, 21.5);
        palm.cubicTo(15.5, 21.5, 16.5, 19.5, 16.5, 16.5);
        palm.lineTo(16.5, 12);
        p.drawPath(palm);
        p.drawLine(QPointF(7.5, 15.5), QPointF(5, 12.5));
        break;
    }
    case Symbol::textViewfinder: {
        for (const auto& [x, y, dx, dy] : {std::array {3.0, 3.0, 1.0, 1.0}, std::array {21.0, 3.0, -1.0, 1.0},
                 std::array {3.0, 21.0, 1.0, -1.0}, std::array {21.0, 21.0, -1.0, -1.0}})
            p.drawPolyline(QPolygonF({QPointF(x, y + 5 * dy), QPointF(x, y), QPointF(x + 5 * dx, y)}));
        p.drawLine(QPointF(8, 9.5), QPointF(16, 9.5));
        p.drawLine(QPointF(8, 12.5), QPointF(16, 12.5));
        p.drawLine(QPointF(8, 15.5), QPointF(13, 15.5));
        break;
    }
    case Symbol::textBubble: {
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(2.5, 3.5, 19, 13.5), 4, 4);
        QPainterPath tail;
        tail.moveTo(7, 16.5);
        tail.lineTo(6, 21);
        tail.lineTo(11.5, 16.5);
        p.drawPath(bubble.united(tail));
        p.drawLine(QPointF(7, 8.5), QPointF(17, 8.5));
        p.drawLine(QPointF(7, 12), QPointF(14, 12));
        break;
    }
    case Symbol::arrowUpForward: {
        p.drawRoundedRect(QRectF(3, 5, 16, 16), 3.5, 3.5);
        p.drawLine(QPointF(10, 14), QPointF(21, 3));
        p.drawPolyline(QPolygonF({QPointF(14, 3), QPointF(21, 3), QPointF(21, 10)}));
        break;
    }
    }
}
} // namespace

namespace Symbols {

QIcon icon(Symbol symbol, const QColor& color)
{
    return drawnIcon([symbol](QPainter& p, const QColor& c) { draw(symbol, p, c); }, color);
}

QIcon drawnIcon(Drawing drawing, const QColor& color)
{
    return QIcon(new DrawnEngine(std::move(drawing), color));
}

} // namespace Symbols
