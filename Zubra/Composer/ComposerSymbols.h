#pragma once
// The composer's small symbols, drawn with the painter in one colour, so that no glyph depends on
// the fonts a machine happens to have.

#include <QColor>
#include <QIcon>
#include <QPixmap>

class QPainter;
class QRectF;

namespace ComposerSymbols {

enum class Symbol {
    infoCircle, // the footer's notice
    scissors, // the footer's hint on trimmed text; a trimmed entry
    textBadgePlus, // the empty entry list
    threeLines, // an entry row's drag handle
    ellipsis, // an entry row's options menu
    wandAndStars, // the Template menu
    docBadgePlus, // the import button
    ellipsisCircle, // the Cleanup menu
    scissorsBadgeEllipsis, // "Remove Duplicates"
    trash, // "Remove Excluded Sources"
    pinFill, // a pinned entry
    lockDoc, // a verbatim entry
    noteText, // an entry with a note
    docOnClipboard, // "Copy Prompt"
};

// An invalid colour follows the application palette's text.
QIcon icon(Symbol symbol, const QColor& color);
// `size` in device-independent pixels; the pixmap holds size × ratio pixels.
QPixmap pixmap(Symbol symbol, const QColor& color, int size, qreal devicePixelRatio = 1.0);
// Paints the symbol centred in `rect` (the square that fits it).
void paint(QPainter& painter, Symbol symbol, const QRectF& rect, const QColor& color);

} // namespace ComposerSymbols
