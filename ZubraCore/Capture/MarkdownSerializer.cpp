#include "ZubraCore/Capture/MarkdownSerializer.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace MarkdownSerializer {
namespace {

struct Paragraph
{
    qsizetype start = 0;
    qsizetype length = 0;
    QStringList listMarkers;
    bool isQuote = false;
};

// Walks the runs forward; every lookup in one conversion moves it forward or keeps it.
class RunCursor
{
public:
    explicit RunCursor(const AttributedText& source)
        : m_runs(source.runs())
    {
    }

    // Index of the run holding the offset; offsets must not go backwards between calls.
    qsizetype seek(qsizetype offset)
    {
        while (m_index + 1 < m_runs.size() && m_runs.at(m_index).end() <= offset)
            ++m_index;
        return m_index;
    }

private:
    const QList<TextRun>& m_runs;
    qsizetype m_index = 0;
};

const QStringList& monoFamilies()
{
    static const QStringList families = [] {
        QStringList names {"Menlo", "Monaco", "Courier", "Courier New", "Consolas", "SFMono-Regular", "Noto Sans Mono",
            "JetBrains Mono", "Fira Code", "Source Code Pro", "Hack", "DejaVu Sans Mono", "IBM Plex Mono",
            "Andale Mono", "Roboto Mono", "PT Mono", "Cascadia Code", "MonaspaceNeon"};
        for (QString& name : names)
            name = name.toLower();
        return names;
    }();
    return families;
}

QString marker(TextListMarker format)
{
    switch (format) {
    case TextListMarker::Decimal:
        return QStringLiteral("1. ");
    case TextListMarker::LowercaseAlpha:
    case TextListMarker::LowercaseLatin:
        return QStringLiteral("a. ");
    case TextListMarker::UppercaseAlpha:
    case TextListMarker::UppercaseLatin:
        return QStringLiteral("A. ");
    case TextListMarker::LowercaseRoman:
        return QStringLiteral("i. ");
    case TextListMarker::UppercaseRoman:
        return QStringLiteral("I. ");
    default:
        return QStringLiteral("- ");
    }
}

bool isNewline(char16_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isHorizontalWhitespace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

bool isBlankOrNewlines(QStringView text)
{
    for (QChar c : text)
        if (!isNewline(c.unicode()))
            return false;
    return true;
}

// Drops line breaks at the front, and the terminator, line breaks and spaces at the back.
void trimNewlines(const QString& text, qsizetype& start, qsizetype& length)
{
    if (length < 1)
        return;
    qsizetype end = start + length;
    while (start < end && (text.at(start) == u'\n' || text.at(start) == u'\r'))
        ++start;
    // A paragraph separator (U+2029) that ends the paragraph is its terminator, not content.
    if (end > start && text.at(end - 1) == u'\x2029')
        --end;
    while (end > start && (text.at(end - 1) == u'\n' || text.at(end - 1) == u'\r' || text.at(end - 1) == u' '))
        --end;
    length = end - start;
}

int headingLevel(const AttributedText& source, RunCursor cursor, qsizetype start, qsizetype length, double body)
{
    if (body <= 0 || length < 1)
        return 0;
    const QList<TextRun>& runs = source.runs();
    qsizetype index = cursor.seek(start);
    if (const std::optional<int>& key = runs.at(index).attributes.heading)
        return *key;
    const qsizetype end = start + std::min<qsizetype>(length, 120);
    double largest = 0;
    for (; index < runs.size() && runs.at(index).start < end; ++index)
        if (const std::optional<TextFont>& font = runs.at(index).attributes.font)
            largest = std::max(largest, font->pointSize);
    const double ratio = largest / body;
    if (ratio >= 1.8)
        return 1;
    if (ratio >= 1.4)
        return 2;
    if (ratio >= 1.2)
        return 3;
    return 0;
}

void stripEmbeddedListMarker(const QString& text, qsizetype& start, qsizetype& length, qsizetype maxStrips)
{
    QStringView s = QStringView(text).mid(start, length);
    qsizetype offset = 0;
    for (qsizetype round = 0; round < std::max<qsizetype>(maxStrips, 1); ++round) {
        qsizetype tabs = 0;
        while (tabs < s.size() && s.at(tabs) == u'\t')
            ++tabs;
        s = s.mid(tabs);
        offset += tabs;
        const qsizetype tab = s.indexOf(u'\t');
        if (tab < 0)
            break;
        bool blank = true;
        for (qsizetype k = 0; k < tab && blank; ++k)
            blank = isHorizontalWhitespace(s.at(k));
        if (blank)
            break;
        s = s.mid(tab + 1);
        offset += tab + 1;
    }
    start += offset;
    length -= offset;
}

QString resolveLink(const TextLink& link)
{
    if (link.isUrl)
        return link.target;
    if (link.target.toLower().startsWith(u"http") || link.target.contains(u"://"))
        return link.target;
    return {};
}

// isMonospace for the fonts of one conversion: runs mostly repeat a few fonts. The name and
// family tests are remembered separately; the cache is bounded because names come from input.
class MonospaceCache
{
public:
    bool operator()(const TextFont& font)
    {
        if (font.monospaceTrait)
            return true;
        if (m_byName.size() + m_byFamily.size() > 4096) {
            m_byName.clear();
            m_byFamily.clear();
        }
        auto name = m_byName.constFind(font.name);
        if (name == m_byName.cend())
            name = m_byName.insert(font.name, isMonospace(TextFont {QString(), font.name, 12, false, false, false}));
        if (*name)
            return true;
        auto family = m_byFamily.constFind(font.family);
        if (family == m_byFamily.cend())
            family = m_byFamily.insert(
                font.family, isMonospace(TextFont {font.family, QString(), 12, false, false, false}));
        return *family;
    }

private:
    QHash<QString, bool> m_byName;
    QHash<QString, bool> m_byFamily;
};

QString codeSpan(QStringView text)
{
    QString code = text.toString();
    const bool hasBacktick = code.contains(u'`');
    code.replace(QStringLiteral("`"), QStringLiteral("\\`"));
    const QString fence = hasBacktick ? QStringLiteral("``") : QStringLiteral("`");
    return fence + code + fence;
}

QString linked(QString result, const TextAttributes& attrs)
{
    if (attrs.link) {
        const QString link = resolveLink(*attrs.link);
        if (!link.isEmpty())
            return QStringLiteral("[") + result + QStringLiteral("](") + link + QStringLiteral(")");
    }
    return result;
}

bool isCode(const TextAttributes& attrs, MonospaceCache& monospace)
{
    return attrs.font && monospace(*attrs.font);
}

QString renderSegment(QStringView text, const TextAttributes& attrs, bool heading, MonospaceCache& monospace)
{
    if (text.isEmpty())
        return {};
    if (heading)
        return escapedPlain(text);
    if (isCode(attrs, monospace))
        return linked(codeSpan(text), attrs);
    const bool bold = attrs.font && attrs.font->bold;
    const bool italic = attrs.font && attrs.font->italic;
    const QString e = escapedPlain(text);
    if (bold && italic)
        return linked(QStringLiteral("***") + e + QStringLiteral("***"), attrs);
    if (bold)
        return linked(QStringLiteral("**") + e + QStringLiteral("**"), attrs);
    if (italic)
        return linked(QStringLiteral("*") + e + QStringLiteral("*"), attrs);
    return linked(e, attrs);
}

// Neighbouring monospaced runs with the same link form one code span: code carries no emphasis,
// so runs that differ only in it would otherwise give stray backticks between them.
QString renderInline(const AttributedText& source, RunCursor& cursor, qsizetype start, qsizetype length, bool heading,
    MonospaceCache& monospace)
{
    QString out;
    const qsizetype end = start + length;
    const QList<TextRun>& runs = source.runs();
    const QStringView text(source.text());
    for (qsizetype index = cursor.seek(start); index < runs.size() && runs.at(index).start < end; ++index) {
        const TextRun& run = runs.at(index);
        const qsizetype from = std::max(run.start, start);
        qsizetype to = std::min(run.end(), end);
        if (heading || !isCode(run.attributes, monospace) || from == to) {
            out += renderSegment(text.mid(from, to - from), run.attributes, heading, monospace);
            continue;
        }
        while (index + 1 < runs.size() && runs.at(index + 1).start < end
            && isCode(runs.at(index + 1).attributes, monospace)
            && runs.at(index + 1).attributes.link == run.attributes.link) {
            ++index;
            to = std::min(runs.at(index).end(), end);
        }
        out += linked(codeSpan(text.mid(from, to - from)), run.attributes);
    }
    return out;
}

// Joins the lines, turns every run of three or more line feeds into two and trims.
QString joinLines(const QStringList& lines)
{
    const QString joined = lines.join(u'\n');
    QString out;
    out.reserve(joined.size());
    qsizetype feeds = 0;
    for (QChar c : joined) {
        if (c == u'\n') {
            if (++feeds <= 2)
                out += c;
        } else {
            feeds = 0;
            out += c;
        }
    }
    return out.trimmed();
}

} // namespace

double estimateBodySize(const AttributedText& source)
{
    QHash<qint64, qint64> counts;
    const std::optional<TextFont>* previous = nullptr;
    for (const TextRun& run : source.runs()) {
        const std::optional<TextFont>& font = run.attributes.font;
        const bool continues = previous && *previous == font;
        previous = &font;
        if (continues || !font)
            continue;
        counts[qint64(std::round(font->pointSize))] += 1;
    }
    if (counts.isEmpty())
        return 12;
    qint64 bestSize = 0, bestCount = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount || (it.value() == bestCount && it.key() < bestSize)) {
            bestSize = it.key();
            bestCount = it.value();
        }
    }
    return double(bestSize);
}

QString convert(const AttributedText& source)
{
    if (source.length() < 1)
        return {};
    const double body = estimateBodySize(source);
    const QString& text = source.text();
    RunCursor cursor(source);
    MonospaceCache monospace;
    QStringList lines;
    qsizetype location = 0;
    while (location < source.length()) {
        const ParagraphRange range = source.paragraphRangeAt(location);
        if (range.length < 1)
            break;
        location = range.end();

        Paragraph paragraph {range.start, range.length, {}, false};
        const qsizetype runIndex = cursor.seek(range.start);
        if (const std::optional<TextParagraphStyle>& style = source.runs().at(runIndex).attributes.paragraphStyle) {
            for (qsizetype i = 0; i < style->textLists.size(); ++i)
                paragraph.listMarkers.append(QString(2 * i, u' ') + marker(style->textLists.at(i).marker));
            paragraph.isQuote
                = paragraph.listMarkers.isEmpty() && style->firstLineHeadIndent >= std::max(body * 1.4, 8.0);
        }

        qsizetype start = range.start, length = range.length;
        trimNewlines(text, start, length);
        if (isBlankOrNewlines(QStringView(text).mid(range.start, range.length)) || length == 0) {
            lines.append(QString());
            continue;
        }
        const int level = headingLevel(source, cursor, start, length, body);
        QString prefix;
        const bool isHeading = level >= 1;
        if (isHeading) {
            prefix = QString(level, u'#') + QLatin1Char(' ');
        } else if (!paragraph.listMarkers.isEmpty()) {
            prefix = paragraph.listMarkers.last();
            stripEmbeddedListMarker(text, start, length, paragraph.listMarkers.size());
        } else if (paragraph.isQuote) {
            prefix = QStringLiteral("> ");
        }
        const QString line = prefix + renderInline(source, cursor, start, length, isHeading, monospace);
        if (isHeading && !lines.isEmpty() && !lines.last().isEmpty())
            lines.append(QString());
        lines.append(line);
    }
    return joinLines(lines);
}

bool isMonospace(const TextFont& font)
{
    const QString name = font.name.toLower();
    const QString family = font.family.toLower();
    for (const QString& mono : monoFamilies())
        if (name.contains(mono) || family.contains(mono))
            return true;
    if (name.contains(u"mono") || name.contains(u"courier") || name.contains(u"menlo"))
        return true;
    return font.monospaceTrait;
}

QString escapedPlain(QStringView text)
{
    const auto special
        = [](QChar c) { return c == u'\\' || c == u'*' || c == u'_' || c == u'`' || c == u'[' || c == u']'; };
    if (std::none_of(text.begin(), text.end(), special))
        return text.toString();
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        if (c == u'\\' || c == u'*' || c == u'_' || c == u'`' || c == u'[' || c == u']')
            out += u'\\';
        out += c;
    }
    return out;
}

} // namespace MarkdownSerializer
