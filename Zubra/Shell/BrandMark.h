#pragma once
// The brand mark: a pair of square brackets with a dot between them, drawn from one geometry
// at any size. The mark shows the text colour with the accent colour's dot; the status image
// (18 × 18 by design) is all in the palette's text colour, as the desktop's panels show icons.

#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <QRectF>
#include <QWidget>

namespace BrandMark {

// The two open bracket outlines, as fractions of the rectangle.
QPainterPath brackets(const QRectF& rect);
// The mark's stroke: 7.5 % of its side, never under 1.5.
qreal strokeWidth(qreal side);
// The dot: 16 % of the side across.
qreal dotDiameter(qreal side);

// The mark in a square of that rectangle (centred when the rectangle is not square).
void paintMark(QPainter& painter, const QRectF& rect, const QColor& foreground, const QColor& accent);
// The status image scaled to the rectangle: 1.8 strokes per 18 of side, one colour.
void paintStatusImage(QPainter& painter, const QRectF& rect, const QColor& color);

// The mark and the status image as icons that paint themselves at any size; an invalid colour
// follows the application's palette at the time of painting.
QIcon markIcon();
QIcon statusIcon(const QColor& color = {});

} // namespace BrandMark

// The mark as a view of a fixed side.
class TessellonMarkView final : public QWidget
{
    Q_OBJECT

public:
    explicit TessellonMarkView(int side, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
