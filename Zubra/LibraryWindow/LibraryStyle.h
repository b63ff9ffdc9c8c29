#pragma once
// The text styles and colours shared by the library window's views, derived from the
// application font and palette so that the export's pinned font gives pinned sizes.

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace LibraryStyle {

QFont title3(const QFont& base); // sheet and empty-state titles
QFont headline(const QFont& base); // the detail's title
QFont callout(const QFont& base);
QFont caption(const QFont& base);
QFont caption2(const QFont& base);

QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);
QColor green();
QColor orange();

// A label's foreground colour.
void setTextColor(QWidget* widget, const QColor& color);

} // namespace LibraryStyle
