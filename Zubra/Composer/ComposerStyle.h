#pragma once
// The few text styles, colours and small controls the composer's panes are drawn with.

#include <QColor>
#include <QFont>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStyle>
#include <functional>
#include <optional>

class QFrame;
class QIcon;
class QLabel;
class QObject;
class QPainter;
class QPalette;
class QPushButton;
class QStackedWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace ComposerStyle {

QColor red();
QColor orange();
// The secondary and tertiary text colours of `palette`.
QColor secondary(const QPalette& palette);
QColor tertiary(const QPalette& palette);
// The monospaced font of the prompt preview and the sheet editors: the desktop's fixed font,
// or the fonts' monospace family where that font is not fixed-pitch (no fixed font configured).
QFont monospaced();
QFont monospaced(const QFont& desktopFixed);

QLabel* headlineLabel(const QString& text);
// Caption text (smaller than the body) in the secondary colour, scaled further by `scale`.
QLabel* captionLabel(const QString& text = QString(), double scale = 1.0);
QLabel* secondaryLabel(const QString& text);
// A symbol before a semibold caption text in `color`, the symbol as tall as the text.
QWidget* symbolLabel(const QIcon& icon, const QString& text, const QColor& color);
QPushButton* smallButton(const QString& text);
// A small button with a menu or an action; the caller gives it its symbol.
QToolButton* menuButton(const QString& text);
// The caption font (smaller than the body) on `widget`.
void useCaptionFont(QWidget* widget);
QFrame* divider();
// Text colour of a label; none restores the palette's secondary colour.
void setTextColor(QLabel* label, const std::optional<QColor>& color);

// The mark of the keyboard focus: a ring in the palette's highlight colour just inside `rect`.
void paintFocusRing(QPainter& painter, const QRectF& rect, const QPalette& palette);
// Keeps a focus ring around whichever control inside `root` has the keyboard focus, except
// controls that draw their own (`exceptions` and what lies inside them).
void showFocusRings(QWidget* root, QList<QWidget*> exceptions = {});

// A pane's content stack filling `pane`: page 0 is `emptyText` centred, for when there is
// nothing to show; the pane adds its content as page 1.
QStackedWidget* paneStack(QWidget* pane, const QString& emptyText);
// A timer owned by `owner` that runs `refresh` once on the next turn of the event loop however
// often it was started before then.
QTimer* coalescingTimer(QObject* owner, std::function<void()> refresh);

} // namespace ComposerStyle
