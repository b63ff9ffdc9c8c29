#include "Zubra/LibraryWindow/DetailText.h"

#include <QFontMetrics>
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

} // namespace DetailText

FittedLabel::FittedLabel(int lines, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent)
    , m_lines(lines)
    , m_mode(mode)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void FittedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    setToolTip(DetailText::fitToLines(text, font(), 480, 8, Qt::ElideMiddle));
    refit();
}

QSize FittedLabel::minimumSizeHint() const
{
    return QSize(40, QLabel::minimumSizeHint().height());
}

QSize FittedLabel::sizeHint() const
{
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
    // The room for text: inside the label's contents margins and its own margin.
    const int room = contentsRect().width() - 2 * margin() - 2;
    const QString fitted = DetailText::fitToLines(m_fullText, font(), room, m_lines, m_mode);
    if (fitted != text()) {
        setText(fitted);
        updateGeometry();
    }
}
