#include "Zubra/LibraryWindow/DetailText.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTextLayout>

namespace DetailText {

namespace {

// Longer texts are cut in the middle before they are measured.
constexpr qsizetype measuredLength = 2000;

QString bounded(const QString& text)
{
    if (text.size() <= measuredLength)
        return text;
    qsizetype head = measuredLength / 2;
    if (text.at(head - 1).isHighSurrogate())
        --head;
    qsizetype tail = text.size() - measuredLength / 2;
    if (text.at(tail).isLowSurrogate())
        ++tail;
    return text.left(head) + u"\u2026"_qs + text.mid(tail);
}

QStringList wrap(const QString& text, const QFont& font, int width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(text.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    return lines;
}

} // namespace

QString fitToLines(const QString& text, const QFont& font, int width, int lines, Qt::TextElideMode mode)
{
    QString flat = bounded(text);
    flat.replace(u'\n', u' ');
    flat.replace(u'\r', u' ');
    flat.replace(u'\t', u' ');
    if (width <= 0 || lines <= 0)
        return flat;
    QStringList wrapped = wrap(flat, font, width);
    if (wrapped.size() <= lines)
        return wrapped.join(u'\n');
    const QFontMetrics metrics(font);
    if (mode == Qt::ElideRight) {
        wrapped = wrapped.mid(0, lines);
        const QString rest = flat.mid(wrapped.mid(0, lines - 1).join(QString()).size());
        wrapped.last() = metrics.elidedText(rest, Qt::ElideRight, width);
        return wrapped.join(u'\n');
    }
    // The middle gives way: elide to the room of all lines, shrinking until the wrap fits.
    int room = width * lines;
    for (int attempt = 0; attempt < 12; ++attempt) {
        const QString cut = metrics.elidedText(flat, mode, room);
        const QStringList fitted = wrap(cut, font, width);
        if (fitted.size() <= lines)
            return fitted.join(u'\n');
        room -= width / 4;
    }
    return metrics.elidedText(flat, mode, width);
}

QString sourceOf(const QString& text, const QString& shown, qsizetype from, qsizetype to)
{
    // Positions without the line breaks the fitting put in; the text's own are spaces by then.
    const auto flatPosition = [&shown](qsizetype position) {
        return position - shown.left(position).count(u'\n');
    };
    QString flat = shown;
    flat.remove(u'\n');
    from = flatPosition(qBound(qsizetype(0), from, shown.size()));
    to = flatPosition(qBound(from, to, shown.size()));
    // What the shown text keeps of the start and the end of the text; the rest stands for the cut.
    const auto same = [](QChar shownChar, QChar textChar) {
        return shownChar == textChar || (shownChar == u' ' && (textChar == u'\n' || textChar == u'\r' || textChar == u'\t'));
    };
    const qsizetype shorter = qMin(flat.size(), text.size());
    qsizetype head = 0;
    while (head < shorter && same(flat[head], text[head]))
        ++head;
    if (head == flat.size() && head == text.size())
        return text.mid(from, to - from);
    qsizetype tail = 0;
    while (tail < shorter - head && same(flat[flat.size() - 1 - tail], text[text.size() - 1 - tail]))
        ++tail;
    const auto inText = [&](qsizetype position, bool isEnd) {
        if (position <= head)
            return position;
        if (position >= flat.size() - tail)
            return text.size() - (flat.size() - position);
        return isEnd ? text.size() - tail : head;
    };
    const qsizetype start = inText(from, false);
    return text.mid(start, inText(to, true) - start);
}

} // namespace DetailText

SelectableLabel::SelectableLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void SelectableLabel::setSelectable(bool selectable)
{
    m_selectable = selectable;
    setTextInteractionFlags(selectable ? Qt::TextSelectableByMouse : Qt::NoTextInteraction);
    // A click gives the focus, so that the copy commands reach this label and not the list.
    setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
}

QString SelectableLabel::selectedPlainText() const
{
    // The text's lines come back as paragraph separators.
    QString text = selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

void SelectableLabel::copy()
{
    const QString selected = selectedPlainText();
    if (m_selectable && !selected.isEmpty())
        QGuiApplication::clipboard()->setText(selected);
}

void SelectableLabel::selectAll()
{
    if (!m_selectable)
        return;
    setSelection(0, int(text().size()));
    offerSelection();
}

void SelectableLabel::offerSelection()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString selected = selectedPlainText();
    if (m_selectable && clipboard->supportsSelection() && !selected.isEmpty())
        clipboard->setText(selected, QClipboard::Selection);
}

void SelectableLabel::fillContextMenu(QMenu& menu)
{
    QAction* copyItem = menu.addAction(u"Copy"_qs, this, &SelectableLabel::copy);
    copyItem->setShortcut(QKeySequence::Copy);
    copyItem->setEnabled(hasSelectedText());
    menu.addAction(u"Select All"_qs, this, &SelectableLabel::selectAll)->setShortcut(QKeySequence::SelectAll);
}

void SelectableLabel::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_selectable) {
        event->ignore();
        return;
    }
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fillContextMenu(*menu);
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(rect().center()) : event->globalPos();
    menu->popup(at);
    event->accept();
}

void SelectableLabel::keyPressEvent(QKeyEvent* event)
{
    // Where no menu bar answers the keys first.
    if (m_selectable && event->matches(QKeySequence::Copy)) {
        copy();
        event->accept();
        return;
    }
    if (m_selectable && event->matches(QKeySequence::SelectAll)) {
        selectAll();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void SelectableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // The label offers what it shows; the selection as it is copied replaces that.
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && hasSelectedText())
        offerSelection();
}

FittedLabel::FittedLabel(int lines, Qt::TextElideMode mode, QWidget* parent)
    : SelectableLabel(parent)
    , m_lines(lines)
    , m_mode(mode)
{
    if (lines == wrapsAtWords) {
        setWordWrap(true);
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    } else {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
}

void FittedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    setToolTip(DetailText::fitToLines(text, font(), 480, 8, Qt::ElideMiddle));
    setAccessibleName(DetailText::fitToLines(text, font(), 0, 0, Qt::ElideNone));
    if (m_lines == wrapsAtWords) {
        setText(DetailText::fitToLines(text, font(), 0, 0, Qt::ElideNone));
        updateGeometry();
        return;
    }
    refit();
}

QString FittedLabel::selectedPlainText() const
{
    if (!hasSelectedText())
        return {};
    // The label's positions count each line as it counts characters.
    const qsizetype from = selectionStart();
    return DetailText::sourceOf(m_fullText, text(), from, from + selectedText().size());
}

QSize FittedLabel::minimumSizeHint() const
{
    if (m_lines == wrapsAtWords)
        return QSize(40, fontMetrics().lineSpacing());
    return QSize(40, QLabel::minimumSizeHint().height());
}

int FittedLabel::heightForWidth(int width) const
{
    if (m_lines != wrapsAtWords)
        return SelectableLabel::heightForWidth(width);
    // As tall as the lines the words wrap into, spaced as the fitted labels' lines are.
    const QMargins margins = contentsMargins();
    const int room = width - margins.left() - margins.right() - 2 * margin();
    QTextLayout layout(text(), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, room));
        ++lines;
    }
    layout.endLayout();
    return fontMetrics().lineSpacing() * qMax(1, lines) + 2 + margins.top() + margins.bottom() + 2 * margin();
}

QSize FittedLabel::sizeHint() const
{
    if (m_lines == wrapsAtWords)
        return QSize(120, heightForWidth(width() > 0 ? width() : 120));
    const int lineCount = qMax(1, int(text().count(u'\n')) + 1);
    return QSize(120, fontMetrics().lineSpacing() * lineCount + 2);
}

void FittedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refit();
}

void FittedLabel::refit()
{
    if (m_lines == wrapsAtWords)
        return;
    // The room for text: inside the label's contents margins and its own margin.
    const int room = contentsRect().width() - 2 * margin() - 2;
    const QString fitted = DetailText::fitToLines(m_fullText, font(), room, m_lines, m_mode);
    if (fitted != text()) {
        setText(fitted);
        updateGeometry();
    }
}
