#include "Zubra/LibraryWindow/LibrarySymbols.h"

#include "Zubra/Widgets/Symbols.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace LibrarySymbols {

namespace {

using Symbols::Drawing;

// Every drawing works in a 24 x 24 box.
void strokeOf(QPainter& p, const QColor& color, qreal width = 2.0)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void triangle(QPainter& p, const QColor& color, bool filled)
{
    QPainterPath path;
    path.moveTo(12, 3);
    path.lineTo(22, 20.5);
    path.lineTo(2, 20.5);
    path.closeSubpath();
    strokeOf(p, color);
    if (filled)
        p.setBrush(color);
    p.drawPath(path);
    strokeOf(p, filled ? QColor(Qt::white) : color, 2.2);
    p.drawLine(QPointF(12, 9), QPointF(12, 14));
    p.drawPoint(QPointF(12, 17.5));
}

void circleMark(QPainter& p, const QColor& color, bool filled, const std::function<void(QPainter&, QColor)>& inner)
{
    strokeOf(p, color);
    if (filled)
        p.setBrush(color);
    p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
    if (inner)
        inner(p, filled ? QColor(Qt::white) : color);
}

void check(QPainter& p, QColor color)
{
    strokeOf(p, color, 2.2);
    p.drawPolyline(QPolygonF({QPointF(7.5, 12.5), QPointF(10.5, 15.5), QPointF(16.5, 8.5)}));
}

void page(QPainter& p, const QColor& color)
{
    strokeOf(p, color, 1.8);
    p.drawPolygon(QPolygonF({QPointF(5, 2.5), QPointF(14, 2.5), QPointF(19, 7.5), QPointF(19, 21.5), QPointF(5, 21.5)}));
    p.drawPolyline(QPolygonF({QPointF(14, 2.5), QPointF(14, 7.5), QPointF(19, 7.5)}));
}

void lines(QPainter& p, const QColor& color, qreal left, qreal right, int count, qreal top)
{
    strokeOf(p, color, 1.8);
    for (int i = 0; i < count; ++i)
        p.drawLine(QPointF(left, top + 4.5 * i), QPointF(right, top + 4.5 * i));
}

void plus(QPainter& p, const QColor& color, QPointF centre, qreal half)
{
    strokeOf(p, color, 2.0);
    p.drawLine(centre - QPointF(half, 0), centre + QPointF(half, 0));
    p.drawLine(centre - QPointF(0, half), centre + QPointF(0, half));
}

const QHash<QString, Drawing>& drawings()
{
    static const QHash<QString, Drawing> table = {
        {u"exclamationmark.triangle"_qs, [](QPainter& p, const QColor& c) { triangle(p, c, false); }},
        {u"exclamationmark.triangle.fill"_qs, [](QPainter& p, const QColor& c) { triangle(p, c, true); }},
        {u"checkmark.circle"_qs, [](QPainter& p, const QColor& c) { circleMark(p, c, false, check); }},
        {u"checkmark.circle.fill"_qs, [](QPainter& p, const QColor& c) { circleMark(p, c, true, check); }},
        {u"circle"_qs, [](QPainter& p, const QColor& c) { circleMark(p, c, false, {}); }},
        {u"checkmark"_qs, [](QPainter& p, const QColor& c) { check(p, c); }},
        {u"arrow.counterclockwise.circle.fill"_qs,
            [](QPainter& p, const QColor& c) {
                circleMark(p, c, true, [](QPainter& q, QColor w) {
                    strokeOf(q, w, 2.0);
                    q.drawArc(QRectF(7, 7, 10, 10), 100 * 16, 280 * 16);
                    q.drawPolyline(QPolygonF({QPointF(7, 6), QPointF(10.5, 7.5), QPointF(8.5, 10.5)}));
                });
            }},
        {u"checkmark.shield"_qs,
            [](QPainter& p, const QColor& c) {
                QPainterPath path;
                path.moveTo(12, 2.5);
                path.lineTo(20, 5.5);
                path.cubicTo(20, 14, 17, 18.5, 12, 21.5);
                path.cubicTo(7, 18.5, 4, 14, 4, 5.5);
                path.closeSubpath();
                strokeOf(p, c);
                p.drawPath(path);
                check(p, c);
            }},
        {u"magnifyingglass"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c);
                p.drawEllipse(QRectF(3.5, 3.5, 12, 12));
                p.drawLine(QPointF(14, 14), QPointF(20.5, 20.5));
            }},
        {u"folder"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c);
                p.drawPolygon(QPolygonF({QPointF(2.5, 6), QPointF(9, 6), QPointF(11, 8.5), QPointF(21.5, 8.5),
                    QPointF(21.5, 19.5), QPointF(2.5, 19.5)}));
            }},
        {u"link"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c);
                p.save();
                p.translate(12, 12);
                p.rotate(-45);
                p.drawRoundedRect(QRectF(-10, -3.5, 11, 7), 3.5, 3.5);
                p.drawRoundedRect(QRectF(-1, -3.5, 11, 7), 3.5, 3.5);
                p.restore();
            }},
        {u"text.quote"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c);
                p.drawLine(QPointF(4, 6), QPointF(20, 6));
                p.drawLine(QPointF(9, 12), QPointF(20, 12));
                p.drawLine(QPointF(9, 18), QPointF(20, 18));
                p.setBrush(c);
                p.drawEllipse(QRectF(3.5, 10.5, 3, 3));
                p.drawLine(QPointF(5, 13), QPointF(4, 16.5));
            }},
        {u"doc"_qs, [](QPainter& p, const QColor& c) { page(p, c); }},
        {u"doc.plaintext"_qs,
            [](QPainter& p, const QColor& c) {
                page(p, c);
                lines(p, c, 8, 16, 3, 10.5);
            }},
        {u"doc.on.doc"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                p.drawRoundedRect(QRectF(4, 3, 11, 14), 2, 2);
                p.setBrush(Qt::white);
                p.drawRoundedRect(QRectF(9, 7, 11, 14), 2, 2);
            }},
        {u"folder.badge.plus"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                p.drawPolyline(QPolygonF({QPointF(13, 19.5), QPointF(2.5, 19.5), QPointF(2.5, 6), QPointF(9, 6),
                    QPointF(11, 8.5), QPointF(20, 8.5), QPointF(20, 12)}));
                plus(p, c, QPointF(18, 17.5), 3.5);
            }},
        {u"text.badge.plus"_qs,
            [](QPainter& p, const QColor& c) {
                lines(p, c, 3, 15, 3, 5.5);
                plus(p, c, QPointF(18, 17), 3.5);
            }},
        {u"plus"_qs, [](QPainter& p, const QColor& c) { plus(p, c, QPointF(12, 12), 7); }},
        {u"ellipsis.circle"_qs,
            [](QPainter& p, const QColor& c) {
                circleMark(p, c, false, [](QPainter& q, QColor w) {
                    q.setPen(Qt::NoPen);
                    q.setBrush(w);
                    for (int i = 0; i < 3; ++i)
                        q.drawEllipse(QPointF(7.5 + 4.5 * i, 12), 1.3, 1.3);
                });
            }},
        {u"safari"_qs,
            [](QPainter& p, const QColor& c) {
                circleMark(p, c, false, [](QPainter& q, QColor w) {
                    q.setPen(Qt::NoPen);
                    q.setBrush(w);
                    q.drawPolygon(QPolygonF({QPointF(16, 8), QPointF(13.2, 13.2), QPointF(8, 16), QPointF(10.8, 10.8)}));
                });
            }},
        {u"app"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c);
                p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 4.5, 4.5);
            }},
        {u"line.3.horizontal"_qs, [](QPainter& p, const QColor& c) { lines(p, c, 4, 20, 3, 6); }},
        {u"tray.full"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                p.drawPolyline(QPolygonF({QPointF(2.5, 13), QPointF(8, 13), QPointF(9.5, 16), QPointF(14.5, 16),
                    QPointF(16, 13), QPointF(21.5, 13)}));
                p.drawRoundedRect(QRectF(2.5, 4, 19, 16), 2.5, 2.5);
                p.drawLine(QPointF(7, 7.5), QPointF(17, 7.5));
                p.drawLine(QPointF(7, 10), QPointF(17, 10));
            }},
        {u"text.bubble"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                QPainterPath path;
                path.addRoundedRect(QRectF(2.5, 3.5, 19, 13.5), 3.5, 3.5);
                p.drawPath(path);
                p.drawPolyline(QPolygonF({QPointF(7, 17), QPointF(6.5, 21), QPointF(11, 17)}));
                lines(p, c, 6.5, 17.5, 2, 8);
            }},
        {u"trash"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                p.drawLine(QPointF(3.5, 6), QPointF(20.5, 6));
                p.drawPolyline(QPolygonF({QPointF(9, 6), QPointF(9.5, 3.5), QPointF(14.5, 3.5), QPointF(15, 6)}));
                p.drawPolyline(QPolygonF({QPointF(5.5, 6), QPointF(7, 20.5), QPointF(17, 20.5), QPointF(18.5, 6)}));
            }},
        {u"viewfinder"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c);
                for (int x : {0, 1}) {
                    for (int y : {0, 1}) {
                        const QPointF corner(x ? 20.5 : 3.5, y ? 20.5 : 3.5);
                        const qreal dx = x ? -5 : 5;
                        const qreal dy = y ? -5 : 5;
                        p.drawPolyline(QPolygonF({corner + QPointF(0, dy), corner, corner + QPointF(dx, 0)}));
                    }
                }
            }},
        {u"arrow.up.arrow.down"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                p.drawLine(QPointF(8, 4), QPointF(8, 19));
                p.drawPolyline(QPolygonF({QPointF(4.5, 7.5), QPointF(8, 4), QPointF(11.5, 7.5)}));
                p.drawLine(QPointF(16, 5), QPointF(16, 20));
                p.drawPolyline(QPolygonF({QPointF(12.5, 16.5), QPointF(16, 20), QPointF(19.5, 16.5)}));
            }},
        {u"arrow.down.to.line"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                p.drawLine(QPointF(12, 3.5), QPointF(12, 16));
                p.drawPolyline(QPolygonF({QPointF(7.5, 11.5), QPointF(12, 16), QPointF(16.5, 11.5)}));
                p.drawLine(QPointF(5, 20.5), QPointF(19, 20.5));
            }},
        {u"arrow.up.to.line"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                p.drawLine(QPointF(12, 20.5), QPointF(12, 8));
                p.drawPolyline(QPolygonF({QPointF(7.5, 12.5), QPointF(12, 8), QPointF(16.5, 12.5)}));
                p.drawLine(QPointF(5, 3.5), QPointF(19, 3.5));
            }},
        {u"hand.raised"_qs,
            [](QPainter& p, const QColor& c) {
                strokeOf(p, c, 1.8);
                for (int i = 0; i < 4; ++i)
                    p.drawLine(QPointF(7.5 + 3 * i, 12), QPointF(7.5 + 3 * i, i == 0 || i == 3 ? 6 : 4));
                p.drawArc(QRectF(5.5, 9, 13, 12.5), 180 * 16, 180 * 16);
                p.drawLine(QPointF(5.5, 15), QPointF(4, 11.5));
            }},
    };
    return table;
}

} // namespace

QIcon icon(const QString& name, const QColor& color)
{
    return Symbols::drawnIcon(
        [name](QPainter& p, const QColor& c) {
            const auto found = drawings().constFind(name);
            if (found != drawings().constEnd()) {
                (*found)(p, c);
            } else {
                strokeOf(p, c);
                p.drawEllipse(QRectF(6, 6, 12, 12));
            }
        },
        color);
}

QPixmap pixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio)
{
    // Painted straight at the device size: QIcon::pixmap would multiply by the ratio once more.
    const int side = qRound(size * devicePixelRatio);
    QPixmap out(side, side);
    out.fill(Qt::transparent);
    {
        QPainter painter(&out);
        icon(name, color).paint(&painter, QRect(0, 0, side, side));
    }
    out.setDevicePixelRatio(devicePixelRatio);
    return out;
}

bool isKnown(const QString& name)
{
    return drawings().contains(name);
}

} // namespace LibrarySymbols
