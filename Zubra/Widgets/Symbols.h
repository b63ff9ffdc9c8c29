#pragma once
// The small drawn symbols of the application's views, painted at any size in one colour. They are
// our own drawings, so the views look the same on every desktop and in the off-screen export.

#include <QColor>
#include <QIcon>
#include <functional>

class QPainter;

namespace Symbols {

enum class Symbol {
    quote, // an application without an icon of its own
    checkmarkCircle, // a saved capture
    warningTriangle, // nothing saved
    handRaised, // the access step of the welcome view
    textViewfinder, // the capture step
    textBubble, // the compose step
    arrowUpForward, // a button that leaves for another program
};

// An icon that paints the symbol in the colour; an invalid colour follows the palette's text.
QIcon icon(Symbol symbol, const QColor& color = {});

// Paints one drawing on a 24 × 24 grid in the given colour.
using Drawing = std::function<void(QPainter&, const QColor&)>;
// An icon that paints the drawing in the colour (faded when disabled) centred in the square that
// fits the requested size; an invalid colour follows the palette's text.
QIcon drawnIcon(Drawing drawing, const QColor& color = {});

} // namespace Symbols
