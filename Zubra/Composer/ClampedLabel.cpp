#include "Zubra/Composer/ClampedLabel.h"

#include <QEvent>
#include <QTextLayout>

using namespace Qt::StringLiterals;

ClampedLabel::ClampedLabel(int maximumLines, QWidget* parent)
    : QLabel(parent)
    , m_maximumLines(std::max(1, maximumLines))
{
    // The lines are broken here; the label shows them as they are.
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ClampedLabel::setFullText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    // Read whole by assistive technology, not as the lines that fit.
    setAccessibleName(text);
    relayout();
    updateGeometry();
}

QStringList ClampedLabel::linesAt(int width) const
{
    QStringList lines;
    if (m_text.isEmpty() || width <= 0)
        return lines;
    // A line feed breaks a line here as it would when the label draws it.
    QString text = m_text;
    text.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == m_maximumLines - 1) {
            // The last line that fits takes the rest of the text, elided.
            const QString rest = text.mid(line.textStart()).simplified();
            lines.append(fontMetrics().elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

int ClampedLabel::heightOf(const QStringList& lines) const
{
    // Measured the way the label draws its text: each line as tall as its fonts' ascent and
    // descent (a fallback font's included), rounded up to whole pixels, so that no descender of
    // the last line is cut. At least one line, also for no text.
    const QString shown = lines.isEmpty() ? u"X"_s : lines.join(u'\n');
    const int text
        = fontMetrics()
              .boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), int(Qt::AlignLeft | Qt::AlignTop), shown)
              .height();
    const QMargins m = contentsMargins();
    return std::max(text, fontMetrics().height()) + m.top() + m.bottom() + 2 * margin();
}

int ClampedLabel::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    return heightOf(linesAt(width - m.left() - m.right() - 2 * margin()));
}

QSize ClampedLabel::sizeHint() const
{
    // As wide as the text on one line; the layout offers less and the height follows.
    const QMargins m = contentsMargins();
    const int width = fontMetrics().horizontalAdvance(m_text) + m.left() + m.right() + 2 * margin();
    return {width, heightOf(linesAt(width - m.left() - m.right() - 2 * margin()))};
}

QSize ClampedLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 4, heightOf({})};
}

void ClampedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    relayout();
}

void ClampedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        relayout();
        updateGeometry();
    }
}

void ClampedLabel::relayout()
{
    const QStringList lines = linesAt(contentsRect().width() - 2 * margin());
    const QString shown = lines.join(u'\n');
    if (QLabel::text() != shown)
        QLabel::setText(shown);
    // The lines at this width need this height: layouts that share out too little height (a
    // crowded pane, a larger font or scale) shrink other items first.
    const int needed = heightOf(lines);
    if (minimumHeight() != needed)
        setMinimumHeight(needed);
}
