#pragma once
// The small symbols of the library window's sidebar, detail and status views, drawn with the
// painter in a given colour so they look the same on every machine (no icon theme involved).

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace LibrarySymbols {

// The symbol's icon in the colour; an unknown name draws a small circle.
QIcon icon(const QString& name, const QColor& color);
QPixmap pixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio = 1.0);

// Whether a drawing exists for the name.
bool isKnown(const QString& name);

} // namespace LibrarySymbols
