#pragma once
// Cutting user text to the lines a label has room for, in the detail view: a title that ends
// with an ellipsis, an address or a path whose middle gives way. The text is bounded before
// anything is measured, so a huge title costs no more than a short one.

#include <QFont>
#include <QLabel>
#include <QString>

class QMenu;

namespace DetailText {

// At most `lines` lines of at most `width` pixels, wrapping anywhere when a word does not fit.
QString fitToLines(const QString& text, const QFont& font, int width, int lines, Qt::TextElideMode mode);

// The part of `text` that the characters [from, to) of `shown`, its fitted form, stand for: a line
// break the fitting put in stands for nothing, an ellipsis for everything it replaced.
QString sourceOf(const QString& text, const QString& shown, qsizetype from, qsizetype to);

} // namespace DetailText

// A label whose text the mouse can select, and copy: a click gives it the keyboard focus, Ctrl+C
// and Edit ▸ Copy (which call copy() on the focused widget) copy the selection, and its context
// menu offers Copy and Select All. Text selected with the mouse or Select All is offered as the
// PRIMARY selection, as it would be copied. Not selectable until setSelectable(true).
class SelectableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit SelectableLabel(QWidget* parent = nullptr);

    void setSelectable(bool selectable);
    bool isSelectable() const { return m_selectable; }
    // The selection as its text reads: line breaks the label put in to fit are left out.
    virtual QString selectedPlainText() const;
    // The context menu's commands, for the current selection.
    void fillContextMenu(QMenu& menu);

public slots:
    void copy();
    void selectAll();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void offerSelection();

    bool m_selectable = false;
};

// A label that shows its text cut to its width and line count, with the whole text as tool tip.
// Only the drawing is cut: a copy of a selection that crosses the cut holds what the cut left out,
// and the accessible name is the whole text on one line. With wrapsAtWords lines, the text is never
// cut: the label's own layout wraps it at its words.
class FittedLabel : public SelectableLabel
{
    Q_OBJECT

public:
    static constexpr int wrapsAtWords = 0;

    FittedLabel(int lines, Qt::TextElideMode mode, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }
    QString selectedPlainText() const override;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refit();

    QString m_fullText;
    int m_lines;
    Qt::TextElideMode m_mode;
};
