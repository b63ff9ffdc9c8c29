#include "Zubra/LibraryWindow/SelectionRowPainter.h"

#include "ZubraCore/Text/TextMetrics.h"

#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QtMath>

namespace SelectionRowPainter {
namespace {

constexpr int verticalPadding = 5;
constexpr int horizontalPadding = 10;
constexpr int iconSize = 26;
constexpr qreal iconCornerRadius = 6;
constexpr int iconSpacing = 9;
constexpr int columnSpacing = 4;
constexpr int sourceSpacing = 5;
constexpr int chipSpacing = 8;
constexpr int chipDot = 6;
constexpr int chipDotSpacing = 4;
constexpr int dateSpacing = 12;
constexpr int headlineLines = 2;
constexpr qreal secondaryAlpha = 0.62;
constexpr qreal tertiaryAlpha = 0.42;

QString emDash() { return QStringLiteral("\u2014"); }

QFont scaled(const QFont& font, qreal factor)
{
    QFont result = font;
    if (font.pointSizeF() > 0)
        result.setPointSizeF(font.pointSizeF() * factor);
    else
        result.setPixelSize(qMax(1, qRound(font.pixelSize() * factor)));
    return result;
}

// Control characters (a CR of a CR LF, tabs) would draw as boxes or jump: one space each.
QString printable(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return text;
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

struct Colors
{
    QColor primary;
    QColor secondary;
    QColor tertiary;
};

Colors colorsFor(const Style& style)
{
    const QPalette::ColorGroup group = style.active ? QPalette::Active : QPalette::Inactive;
    const QColor text = style.selected && style.active ? style.palette.color(group, QPalette::HighlightedText)
                                                       : style.palette.color(group, QPalette::Text);
    return {text, withAlpha(text, secondaryAlpha), withAlpha(text, tertiaryAlpha)};
}

// The two headline lines: the first wraps at a word, the second ends in an ellipsis when text
// remains.
QStringList headlineLinesFor(const QString& text, const QFont& font, int width)
{
    QStringList lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    if (!first.isValid()) {
        layout.endLayout();
        return lines;
    }
    first.setLineWidth(width);
    const int firstEnd = first.textStart() + first.textLength();
    layout.endLayout();
    lines.append(text.first(firstEnd).trimmed());
    if (firstEnd < text.size()) {
        const QString rest = text.mid(firstEnd).trimmed();
        if (!rest.isEmpty())
            lines.append(QFontMetrics(font).elidedText(rest, Qt::ElideRight, width));
    }
    Q_ASSERT(lines.size() <= headlineLines);
    return lines;
}

// Laying out text is most of a row's cost, and a list repaints the same rows again and again:
// recent layouts are kept by text, font and width. Main thread only, like all painting.
template <typename Value>
class LayoutMemo
{
public:
    template <typename Make>
    const Value& get(const QString& text, const QString& fontKey, int width, Make make)
    {
        const Key key {text, fontKey, width};
        auto it = m_values.constFind(key);
        if (it != m_values.constEnd())
            return *it;
        if (m_values.size() >= capacity)
            m_values.clear();
        return *m_values.insert(key, make());
    }

private:
    static constexpr qsizetype capacity = 2048;
    struct Key
    {
        QString text;
        QString fontKey;
        int width;
        friend bool operator==(const Key&, const Key&) = default;
        friend size_t qHash(const Key& k, size_t seed = 0) noexcept { return qHashMulti(seed, k.text, k.fontKey, k.width); }
    };
    QHash<Key, Value> m_values;
};

void drawSourceGlyph(QPainter& painter, const QRectF& box, SourceSymbol symbol, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, 1.0);
    painter.setBrush(Qt::NoBrush);
    const QRectF r = box.adjusted(0.5, 0.5, -0.5, -0.5);
    switch (symbol) {
    case SourceSymbol::web: {
        painter.setPen(pen);
        painter.drawEllipse(r);
        painter.drawEllipse(QRectF(r.center().x() - r.width() / 4, r.top(), r.width() / 2, r.height()));
        painter.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
        break;
    }
    case SourceSymbol::document: {
        painter.setPen(pen);
        const qreal w = r.height() * 0.78;
        const QRectF page(r.center().x() - w / 2, r.top(), w, r.height());
        const qreal fold = w * 0.35;
        QPainterPath path;
        path.moveTo(page.topLeft());
        path.lineTo(page.right() - fold, page.top());
        path.lineTo(page.right(), page.top() + fold);
        path.lineTo(page.bottomRight());
        path.lineTo(page.bottomLeft());
        path.closeSubpath();
        path.moveTo(page.right() - fold, page.top());
        path.lineTo(page.right() - fold, page.top() + fold);
        path.lineTo(page.right(), page.top() + fold);
        painter.drawPath(path);
        break;
    }
    case SourceSymbol::application: {
        pen.setStyle(Qt::DashLine);
        pen.setDashPattern({1.5, 1.5});
        painter.setPen(pen);
        painter.drawRoundedRect(r, r.width() * 0.22, r.height() * 0.22);
        break;
    }
    }
    painter.restore();
}

void drawCheckmark(QPainter& painter, const QRectF& box, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    path.moveTo(box.left() + box.width() * 0.1, box.top() + box.height() * 0.55);
    path.lineTo(box.left() + box.width() * 0.4, box.top() + box.height() * 0.85);
    path.lineTo(box.left() + box.width() * 0.92, box.top() + box.height() * 0.18);
    painter.drawPath(path);
    painter.restore();
}

QString copiedText() { return QStringLiteral("Copied"); }

} // namespace

QString headline(const QString& text, qsizetype maxLength)
{
    // The bounds of the trimmed text; both scans stop at the first character that is not blank.
    qsizetype start = 0;
    while (start < text.size() && text.at(start).isSpace())
        ++start;
    qsizetype end = text.size();
    while (end > start && text.at(end - 1).isSpace())
        --end;
    QStringView window = QStringView(text).mid(start, qMin(end - start, maxLength + 1));
    const qsizetype lineFeed = TextMetrics::indexOfLineFeed(window);
    if (lineFeed >= 0)
        return window.first(lineFeed).toString();
    if (window.size() > maxLength) {
        qsizetype cut = maxLength;
        if (window.at(cut).isLowSurrogate())
            --cut;
        window = window.first(cut);
    }
    return window.toString();
}

QString boundedSourceText(const QString& text, qsizetype keep)
{
    if (text.size() <= 2 * keep + 1)
        return text;
    qsizetype head = keep;
    if (text.at(head).isLowSurrogate())
        --head;
    qsizetype tail = text.size() - keep;
    if (text.at(tail).isLowSurrogate())
        ++tail;
    return text.first(head) + QStringLiteral("\u2026") + text.mid(tail);
}

SourceSymbol sourceSymbol(const Selection& selection)
{
    if (selection.sourceURL)
        return SourceSymbol::web;
    if (selection.filePath)
        return SourceSymbol::document;
    return SourceSymbol::application;
}

Content content(const Selection& selection, const QList<SelectionGroup>& groups, const QIcon& icon,
    const QString& relativeDate, qreal copiedOpacity)
{
    Content c;
    c.icon = icon;
    c.headline = headline(selection.text);
    if (c.headline.isEmpty())
        c.headline = emDash();
    c.symbol = sourceSymbol(selection);
    c.sourceText = boundedSourceText(selection.sourceDetail().value_or(selection.appName));
    for (qsizetype i = 0; i < groups.size() && i < 2; ++i)
        c.chips.append({groups[i].name, groups[i].color()});
    c.moreGroups = groups.size() > 2 ? int(groups.size() - 2) : 0;
    c.relativeDate = relativeDate;
    c.copiedOpacity = copiedOpacity;
    return c;
}

Style style(const QFont& font, const QPalette& palette)
{
    return Style {font, scaled(font, 0.88), scaled(font, 0.8), palette};
}

DateColumn dateColumn(const Content& content, const Style& style, int rowWidth)
{
    // Advances in fractional pixels, rounded up: a width rounded to the nearest pixel can fall
    // short of the text and have it shortened.
    const QFontMetricsF captionMetrics(style.caption);
    const QFontMetricsF caption2Metrics(style.caption2);
    int width = qCeil(captionMetrics.horizontalAdvance(content.relativeDate));
    if (content.copiedOpacity > 0) {
        const qreal copiedWidth = caption2Metrics.height() + 3 + caption2Metrics.horizontalAdvance(copiedText());
        width = qMax(width, qCeil(copiedWidth));
    }
    // The headline and the source line yield their width first; only a row too narrow for the
    // icon and the date shortens the date.
    const int available = qMax(0, rowWidth - 2 * horizontalPadding - iconSize - iconSpacing);
    if (width <= available)
        return {width, content.relativeDate};
    return {available, QFontMetrics(style.caption).elidedText(content.relativeDate, Qt::ElideRight, available)};
}

int rowHeight(const Style& style)
{
    const int body = QFontMetrics(style.body).lineSpacing();
    const int caption = QFontMetrics(style.caption).height();
    const int caption2 = QFontMetrics(style.caption2).height();
    const int text = headlineLines * body + columnSpacing + caption + columnSpacing + qMax(caption2, chipDot);
    return verticalPadding + qMax(iconSize, text) + verticalPadding;
}

void paint(QPainter& painter, const QRect& rect, const Content& content, const Style& style)
{
    painter.save();
    const Colors colors = colorsFor(style);
    if (style.selected) {
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette::ColorGroup group = style.active ? QPalette::Active : QPalette::Inactive;
        QColor fill = style.palette.color(group, QPalette::Highlight);
        if (!style.active)
            fill = withAlpha(fill, 0.35);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect).adjusted(4, 1, -4, -1), 5, 5);
    }

    const QRect inner = rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);

    // Icon.
    const QRect iconRect(inner.left(), inner.top(), iconSize, iconSize);
    if (!content.icon.isNull()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath clip;
        clip.addRoundedRect(iconRect, iconCornerRadius, iconCornerRadius);
        painter.setClipPath(clip);
        const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        painter.drawPixmap(iconRect, content.icon.pixmap(QSize(iconSize, iconSize), dpr));
        painter.restore();
    }

    // Date column, measured first: the text column takes what is left.
    const QFontMetrics captionMetrics(style.caption);
    const QFontMetrics caption2Metrics(style.caption2);
    const DateColumn date = dateColumn(content, style, rect.width());
    const int dateLeft = inner.right() + 1 - date.width;
    painter.setFont(style.caption);
    painter.setPen(colors.secondary);
    const QRect dateRect(dateLeft, inner.top(), date.width, captionMetrics.height());
    painter.drawText(dateRect, Qt::AlignRight | Qt::AlignTop, date.text);
    if (content.copiedOpacity > 0) {
        painter.save();
        painter.setOpacity(painter.opacity() * qBound(0.0, content.copiedOpacity, 1.0));
        const int top = dateRect.bottom() + 1 + columnSpacing;
        const int h = caption2Metrics.height();
        const int right = inner.right() + 1;
        const int textWidth = caption2Metrics.horizontalAdvance(copiedText());
        painter.setFont(style.caption2);
        painter.setPen(colors.secondary);
        painter.drawText(QRect(right - textWidth, top, textWidth, h), Qt::AlignRight | Qt::AlignVCenter, copiedText());
        const qreal mark = h * 0.62;
        drawCheckmark(painter, QRectF(right - textWidth - 3 - mark, top + (h - mark) / 2, mark, mark), colors.secondary);
        painter.restore();
    }

    // Text column.
    const int textLeft = iconRect.right() + 1 + iconSpacing;
    const int textWidth = qMax(0, dateLeft - dateSpacing - textLeft);
    int y = inner.top();
    const QFontMetrics bodyMetrics(style.body);
    painter.setFont(style.body);
    painter.setPen(colors.primary);
    static LayoutMemo<QStringList> headlines;
    static LayoutMemo<QString> sources;
    const QStringList& lines = headlines.get(content.headline, style.body.key(), textWidth,
        [&] { return headlineLinesFor(printable(content.headline), style.body, textWidth); });
    for (const QString& line : lines) {
        painter.drawText(QRect(textLeft, y, textWidth, bodyMetrics.height()), Qt::AlignLeft | Qt::AlignTop, line);
        y += bodyMetrics.lineSpacing();
    }
    y += columnSpacing;
    const int captionHeight = captionMetrics.height();
    const qreal glyph = caption2Metrics.ascent() * 0.95;
    drawSourceGlyph(
        painter, QRectF(textLeft, y + (captionHeight - glyph) / 2, glyph, glyph), content.symbol, colors.secondary);
    const int sourceLeft = textLeft + qCeil(glyph) + sourceSpacing;
    const int sourceWidth = qMax(0, textLeft + textWidth - sourceLeft);
    painter.setFont(style.caption);
    painter.setPen(colors.secondary);
    const QString& source = sources.get(content.sourceText, style.caption.key(), sourceWidth,
        [&] { return captionMetrics.elidedText(printable(content.sourceText), Qt::ElideMiddle, sourceWidth); });
    painter.drawText(QRect(sourceLeft, y, sourceWidth, captionHeight), Qt::AlignLeft | Qt::AlignVCenter, source);
    y += captionHeight + columnSpacing;

    // Group chips.
    if (!content.chips.isEmpty()) {
        const int h = qMax(caption2Metrics.height(), chipDot);
        painter.setFont(style.caption2);
        int x = textLeft;
        const int right = textLeft + textWidth;
        const QString more = content.moreGroups > 0 ? u'+' + QString::number(content.moreGroups) : QString();
        const int moreWidth = more.isEmpty() ? 0 : chipSpacing + caption2Metrics.horizontalAdvance(more);
        const int chipMax = qMax(0, (textWidth - moreWidth) / int(content.chips.size()));
        for (const Chip& chip : content.chips) {
            if (x >= right)
                break;
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            // On a selected row the dot gets a rim of the row's text colour, as in the sidebar: a
            // group may have the highlight's colour.
            painter.setPen(style.selected ? QPen(colors.primary, 1.25) : QPen(Qt::NoPen));
            painter.setBrush(chip.color);
            painter.drawEllipse(QRectF(x, y + (h - chipDot) / 2.0, chipDot, chipDot));
            painter.restore();
            const int nameLeft = x + chipDot + chipDotSpacing;
            const int nameMax = qMax(0, qMin(chipMax - chipDot - chipDotSpacing, right - nameLeft));
            const QString name = caption2Metrics.elidedText(printable(chip.name), Qt::ElideRight, nameMax);
            const int nameWidth = caption2Metrics.horizontalAdvance(name);
            painter.setPen(colors.secondary);
            painter.drawText(QRect(nameLeft, y, nameWidth, h), Qt::AlignLeft | Qt::AlignVCenter, name);
            x = nameLeft + nameWidth + chipSpacing;
        }
        if (!more.isEmpty() && x < right) {
            painter.setPen(colors.tertiary);
            painter.drawText(QRect(x, y, right - x, h), Qt::AlignLeft | Qt::AlignVCenter, more);
        }
    }
    painter.restore();
}

QString accessibleName(const Selection& selection)
{
    const QString h = TextMetrics::oneLine(headline(selection.text));
    return h.isEmpty() ? QStringLiteral("Untitled capture") : h;
}

QString accessibleValue(const Content& content)
{
    return QStringLiteral("From ") + content.sourceText + QStringLiteral(", ") + content.relativeDate;
}

} // namespace SelectionRowPainter
