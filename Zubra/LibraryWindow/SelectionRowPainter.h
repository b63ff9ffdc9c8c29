#pragma once
// One selection drawn as a library row: the source application's icon, a two-line headline, the
// source line, the first two group chips and a count of the rest, the relative capture time and
// the transient "Copied" mark. The list's delegate and the surface export both draw with it.

#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionGroup.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QPalette>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

namespace SelectionRowPainter {

// Where the text came from, drawn as a small glyph before the source text.
enum class SourceSymbol { web, document, application };

struct Chip
{
    QString name;
    QColor color;
};

// Everything a row shows, already reduced to what fits on screen.
struct Content
{
    QIcon icon;
    QString headline; // "—" when the selection's headline is empty
    SourceSymbol symbol = SourceSymbol::application;
    QString sourceText;
    QList<Chip> chips; // at most two
    int moreGroups = 0; // groups beyond the two chips
    QString relativeDate;
    qreal copiedOpacity = 0; // 0: no "Copied" mark; 1: fully shown
};

// The headline, found without reading past the first maxLength code units after the leading
// blanks: a huge capture costs no more than a short one. Empty when the text is blank.
QString headline(const QString& text, qsizetype maxLength = 400);

// A long source text keeps its beginning and end; middle elision at paint time does the rest.
QString boundedSourceText(const QString& text, qsizetype keep = 512);

SourceSymbol sourceSymbol(const Selection& selection);

// The row's content; `groups` are the selection's resolved groups in its own order.
Content content(const Selection& selection, const QList<SelectionGroup>& groups, const QIcon& icon,
    const QString& relativeDate, qreal copiedOpacity = 0);

struct Style
{
    QFont body; // the headline
    QFont caption; // source text and date
    QFont caption2; // glyphs, chips, "Copied"
    QPalette palette;
    bool selected = false;
    bool active = true; // the list has focus: a selected row shows the strong highlight
};

// The style of rows in a view with this font and palette.
Style style(const QFont& font, const QPalette& palette);

// The date column at the trailing edge of a row of the given width: how wide it is and the date
// as drawn there. The date is drawn whole; the text column to its left takes what is left, and
// only a row too narrow for the icon and the date shortens it.
struct DateColumn
{
    int width = 0;
    QString text;
};
DateColumn dateColumn(const Content& content, const Style& style, int rowWidth);

// Every row has this height (the tallest layout, with chips), whatever it shows.
int rowHeight(const Style& style);

// Draws the row into rect; the painter's state is restored afterwards.
void paint(QPainter& painter, const QRect& rect, const Content& content, const Style& style);

// The accessible name and value of a row.
QString accessibleName(const Selection& selection);
QString accessibleValue(const Content& content);

} // namespace SelectionRowPainter
