#include "Zubra/Composer/ClampedLabel.h"

#include <QEvent>
#include <QTextLayout>

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
    relayout();
    updateGeometry();
}

QStringList ClampedLabel::linesAt(int width) const
{
    QStringList lines;
    if (m_text.isEmpty() || width <= 0)
        return lines;
    QTextLayout layout(m_text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == m_maximumLines - 1) {
            // The last line that fits takes the rest of the text, elided.
            const QString rest = m_text.mid(line.textStart()).simplified();
            lines.append(fontMetrics().elidedText(rest, Qt::ElideRight, width));
            break;
        }
        lines.append(m_text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

int ClampedLabel::heightOf(int lines) const
{
    const QMargins m = contentsMargins();
    return lines * fontMetrics().lineSpacing() + m.top() + m.bottom() + 2 * margin();
}

int ClampedLabel::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    return heightOf(std::max<qsizetype>(1, linesAt(width - m.left() - m.right() - 2 * margin()).size()));
}

QSize ClampedLabel::sizeHint() const
{
    // As wide as the text on one line; the layout offers less and the height follows.
    const QMargins m = contentsMargins();
    const int width = fontMetrics().horizontalAdvance(m_text) + m.left() + m.right() + 2 * margin();
    return {width, heightOf(1)};
}

QSize ClampedLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 4, heightOf(1)};
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
    const QString shown = linesAt(contentsRect().width() - 2 * margin()).join(u'\n');
    if (QLabel::text() != shown)
        QLabel::setText(shown);
}
