#pragma once

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

// An icon drawn by its engine at any size: the pixmap of a size is the drawing on a transparent
// square of that size. Subclasses draw in paint().
class PaintedIconEngine : public QIconEngine
{
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }
};
