#include "ZubraCore/Capture/OfflineHTMLConverter.h"

#include "ZubraCore/Text/Utf8.h"

#include <QSet>
#include <QUrl>
#include <cstring>
#include <string_view>
#include <unicode/uchar.h>

namespace OfflineHTMLConverter {
namespace {

struct Style
{
    bool bold = false;
    bool italic = false;
    bool code = false;
    bool pre = false;
    int heading = 0;
    bool quote = false;
    std::optional<QString> link;
    QList<TextList> lists;

    TextAttributes attributes() const;
    bool operator==(const Style&) const = default;
};

struct Frame
{
    QByteArray name;
    Style previous;
};

struct Tag
{
    QByteArray name;
    bool closing = false;
    bool selfClosing = false;
    std::optional<QString> href;
};

const QSet<QByteArray>& blocks()
{
    static const QSet<QByteArray> set {"p", "div", "section", "article", "header", "footer", "main", "br", "hr", "li",
        "ul", "ol", "blockquote", "pre", "h1", "h2", "h3", "h4", "h5", "h6", "tr", "dl", "dt", "dd"};
    return set;
}

const QSet<QByteArray>& formatting()
{
    static const QSet<QByteArray> set {"b", "strong", "i", "em", "code", "kbd", "samp", "pre", "a", "ul", "ol", "li",
        "blockquote", "p", "h1", "h2", "h3", "h4", "h5", "h6"};
    return set;
}

bool isHiddenTag(const QByteArray& name)
{
    return name == "head" || name == "title" || name == "script" || name == "style" || name == "template";
}

TextFont fontFor(bool code, bool bold, bool italic)
{
    TextFont font;
    font.family = code ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans");
    QString name = code ? QStringLiteral("DejaVuSansMono") : QStringLiteral("DejaVuSans");
    if (bold && italic)
        name += QStringLiteral("-BoldOblique");
    else if (bold)
        name += QStringLiteral("-Bold");
    else if (italic)
        name += QStringLiteral("-Oblique");
    font.name = name;
    font.pointSize = 12.0;
    font.bold = bold;
    font.italic = italic;
    font.monospaceTrait = code;
    return font;
}

TextAttributes Style::attributes() const
{
    TextAttributes a;
    a.font = fontFor(code, bold, italic);
    a.paragraphStyle = TextParagraphStyle {lists, quote ? 24.0 : 0.0};
    a.heading = heading;
    if (link)
        a.link = TextLink {*link, true};
    return a;
}

inline bool isWhitespaceByte(char c)
{
    return c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

inline bool isTagNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '-';
}

inline bool isAttributeNameEnd(char c)
{
    return isWhitespaceByte(c) || c == '=' || c == '>' || c == '/';
}

inline char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

QByteArray lowered(std::string_view s)
{
    QByteArray out(s.data(), qsizetype(s.size()));
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

class Parser
{
public:
    explicit Parser(std::string_view bytes)
        : m_bytes(bytes)
    {
    }

    std::optional<AttributedText> parse();

private:
    enum class TagResult { Tag, NotATag, Broken };

    TagResult readTag(Tag& tag);
    bool skipDeclaration();
    bool skipRawText(const QByteArray& name);
    void appendText(std::string_view raw);
    void append(QStringView text, const TextAttributes& attributes);
    void append(QStringView text) { append(text, attributesOf(m_style)); }
    // Style::attributes, remembered for the last style asked about.
    const TextAttributes& attributesOf(const Style& style)
    {
        if (!m_attributesStyle || !(*m_attributesStyle == style)) {
            m_attributesStyle = style;
            m_attributes = style.attributes();
        }
        return m_attributes;
    }
    void close(const QByteArray& name);
    bool handleTag(const Tag& tag);
    void skipWhitespace()
    {
        while (m_position < size() && isWhitespaceByte(m_bytes[m_position]))
            ++m_position;
    }
    qsizetype size() const { return qsizetype(m_bytes.size()); }

    std::string_view m_bytes;
    qsizetype m_position = 0;
    int m_tokens = 0;
    QList<Frame> m_frames;
    Style m_style;
    QList<QByteArray> m_hidden;
    bool m_pendingSpace = false;
    bool m_hasLastCharacter = false;
    bool m_lastIsLineFeed = false;
    AttributedText m_output;
    std::optional<Style> m_attributesStyle;
    TextAttributes m_attributes;
};

std::optional<AttributedText> Parser::parse()
{
    while (m_position < size()) {
        if (++m_tokens > maxTokens)
            return std::nullopt;
        const char c = m_bytes[m_position];
        if (c != '<') {
            const void* lt = std::memchr(m_bytes.data() + m_position, '<', size_t(size() - m_position));
            const qsizetype end = lt ? static_cast<const char*>(lt) - m_bytes.data() : size();
            const std::string_view text = m_bytes.substr(size_t(m_position), size_t(end - m_position));
            m_position = end;
            if (m_hidden.isEmpty())
                appendText(text);
            continue;
        }
        const std::string_view rest = m_bytes.substr(size_t(m_position));
        if (rest.starts_with("<!--")) {
            const size_t close = m_bytes.find("-->", size_t(m_position + 4));
            if (close == std::string_view::npos)
                return std::nullopt;
            m_position = qsizetype(close) + 3;
            continue;
        }
        if (rest.starts_with("<!") || rest.starts_with("<?")) {
            if (!skipDeclaration())
                return std::nullopt;
            continue;
        }
        Tag tag;
        switch (readTag(tag)) {
        case TagResult::NotATag:
            ++m_position;
            if (m_hidden.isEmpty())
                appendText("<");
            break;
        case TagResult::Broken:
            return std::nullopt;
        case TagResult::Tag:
            if (!handleTag(tag))
                return std::nullopt;
            break;
        }
    }
    if (!m_hidden.isEmpty() || m_output.text().trimmed().isEmpty())
        return std::nullopt;
    return std::move(m_output);
}

Parser::TagResult Parser::readTag(Tag& tag)
{
    qsizetype i = m_position + 1;
    if (i < size() && m_bytes[i] == '/') {
        tag.closing = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < size() && isTagNameByte(m_bytes[i]))
        ++i;
    if (i == nameStart)
        return TagResult::NotATag;
    tag.name = lowered(m_bytes.substr(size_t(nameStart), size_t(i - nameStart)));
    m_position = i;
    if (m_position >= size())
        return TagResult::Broken;
    for (;;) {
        skipWhitespace();
        if (m_position >= size())
            return TagResult::Broken;
        const char c = m_bytes[m_position];
        if (c == '/') {
            tag.selfClosing = true;
            if (++m_position >= size())
                return TagResult::Broken;
            continue;
        }
        if (c == '>') {
            ++m_position;
            return TagResult::Tag;
        }
        const qsizetype attrStart = m_position;
        while (m_position < size() && !isAttributeNameEnd(m_bytes[m_position]))
            ++m_position;
        const QByteArray attrName = lowered(m_bytes.substr(size_t(attrStart), size_t(m_position - attrStart)));
        skipWhitespace();
        std::string_view value;
        if (m_position < size() && m_bytes[m_position] == '=') {
            ++m_position;
            skipWhitespace();
            if (m_position >= size())
                return TagResult::Broken;
            const char quote = m_bytes[m_position];
            if (quote == '"' || quote == '\'') {
                const size_t closeQuote
                    = m_position + 1 < size() ? m_bytes.find(quote, size_t(m_position + 1)) : std::string_view::npos;
                if (closeQuote == std::string_view::npos) {
                    m_position = size();
                    return TagResult::Broken;
                }
                value = m_bytes.substr(size_t(m_position + 1), closeQuote - size_t(m_position + 1));
                m_position = qsizetype(closeQuote) + 1;
            } else {
                const qsizetype valueStart = m_position;
                while (m_position < size() && !isWhitespaceByte(m_bytes[m_position]) && m_bytes[m_position] != '>')
                    ++m_position;
                value = m_bytes.substr(size_t(valueStart), size_t(m_position - valueStart));
            }
        }
        if (attrName == "href" && !tag.href)
            tag.href = decodeEntities(QString::fromUtf8(value.data(), qsizetype(value.size())));
        if (m_position >= size())
            return TagResult::Broken;
    }
}

bool Parser::skipDeclaration()
{
    m_position += 2;
    if (m_position >= size())
        return false;
    char quote = 0;
    int depth = 0;
    for (; m_position < size(); ++m_position) {
        const char c = m_bytes[m_position];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            depth = std::max(depth - 1, 0);
        } else if (c == '>' && depth == 0) {
            ++m_position;
            return true;
        }
    }
    return false;
}

bool Parser::skipRawText(const QByteArray& name)
{
    const QByteArray needle = "</" + name;
    const qsizetype n = needle.size();
    for (qsizetype k = m_position; k + n < size(); ++k) {
        const void* lt = std::memchr(m_bytes.data() + k, '<', size_t(size() - k));
        if (!lt)
            return false;
        k = static_cast<const char*>(lt) - m_bytes.data();
        if (k + n >= size())
            return false;
        bool match = true;
        for (qsizetype j = 0; j < n && match; ++j)
            match = asciiLower(m_bytes[k + j]) == needle[j];
        const char after = m_bytes[k + n];
        if (match && (isWhitespaceByte(after) || after == '>' || after == '/')) {
            m_position = k;
            Tag closing;
            return readTag(closing) == TagResult::Tag;
        }
    }
    return false;
}

bool Parser::handleTag(const Tag& tag)
{
    const QByteArray& name = tag.name;
    if (!tag.closing && isHiddenTag(name)) {
        if (tag.selfClosing)
            return true;
        if (m_frames.size() + m_hidden.size() > maxOpenFrames - 1)
            return false;
        if (name == "script" || name == "style")
            return skipRawText(name);
        m_hidden.append(name);
        return true;
    }
    if (!m_hidden.isEmpty()) {
        if (tag.closing && name == m_hidden.last())
            m_hidden.removeLast();
        return true;
    }
    if (blocks().contains(name)) {
        m_pendingSpace = false;
        if (!m_output.isEmpty() && !m_lastIsLineFeed)
            append(u"\n");
    }
    if (name == "td" || name == "th")
        m_pendingSpace = true;
    if (tag.closing) {
        close(name);
        return true;
    }
    if (!formatting().contains(name))
        return true;
    if (name == "p")
        close("p");
    if (name == "li") {
        qsizetype list = -1;
        qsizetype item = -1;
        for (qsizetype k = m_frames.size() - 1; k >= 0 && (list < 0 || item < 0); --k) {
            const QByteArray& frame = m_frames.at(k).name;
            if (list < 0 && (frame == "ul" || frame == "ol"))
                list = k;
            if (item < 0 && frame == "li")
                item = k;
        }
        if (list >= 0 && item > list)
            close("li");
    }
    if (m_frames.size() > maxOpenFrames - 1)
        return false;
    m_frames.append(Frame {name, m_style});
    if (name == "b" || name == "strong")
        m_style.bold = true;
    else if (name == "i" || name == "em")
        m_style.italic = true;
    else if (name == "code" || name == "kbd" || name == "samp")
        m_style.code = true;
    else if (name == "pre")
        m_style.code = m_style.pre = true;
    else if (name == "blockquote")
        m_style.quote = true;
    else if (name == "ul")
        m_style.lists.append(TextList {TextListMarker::Disc});
    else if (name == "ol")
        m_style.lists.append(TextList {TextListMarker::Decimal});
    else if (name == "a")
        m_style.link = tag.href ? safeLink(*tag.href) : std::nullopt;
    else if (name.size() == 2 && name[0] == 'h')
        m_style.heading = name[1] - '0';
    if (tag.selfClosing)
        close(name);
    return true;
}

void Parser::close(const QByteArray& name)
{
    for (qsizetype k = m_frames.size() - 1; k >= 0; --k) {
        if (m_frames.at(k).name == name) {
            m_style = m_frames.at(k).previous;
            m_frames.resize(k);
            return;
        }
    }
}

// Splits text into the clusters that matter for collapsing white space: a cluster is white
// space when its first scalar is. Only space separators (Zs) can join others in a cluster: they
// take following extenders (Extend, ZWJ, SpacingMark) and are taken by a preceding Prepend
// character; the white-space controls (tab, line breaks, U+2028, U+2029) stand alone, and CR LF
// is white space either way. So a scalar walk with these two rules gives the cluster answer
// without a break iterator.
template <typename Visit> void forEachWhitespaceSpan(QStringView text, Visit visit)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    char32_t previous = 0;
    while (i < n) {
        const qsizetype start = i;
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode()))
            c = QChar::surrogateToUcs4(text.at(i).unicode(), text.at(i + 1).unicode());
        i += QChar::requiresSurrogates(c) ? 2 : 1;
        bool space = c < 0x80 ? (c == ' ' || (c >= 9 && c <= 13)) : QChar::isSpace(c);
        const bool separator = space && (c == ' ' || (c >= 0x80 && QChar::category(c) == QChar::Separator_Space));
        if (separator && previous >= 0x80
            && u_getIntPropertyValue(UChar32(previous), UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_PREPEND)
            space = false;
        if (space && separator) {
            while (i < n) {
                const char16_t next = text.at(i).unicode();
                if (next < 0x300)
                    break;
                char32_t x = next;
                if (QChar::isHighSurrogate(next) && i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode()))
                    x = QChar::surrogateToUcs4(next, text.at(i + 1).unicode());
                const int gcb = u_getIntPropertyValue(UChar32(x), UCHAR_GRAPHEME_CLUSTER_BREAK);
                if (gcb != U_GCB_EXTEND && gcb != U_GCB_ZWJ && gcb != U_GCB_SPACING_MARK)
                    break;
                i += QChar::requiresSurrogates(x) ? 2 : 1;
            }
        }
        previous = c;
        visit(start, i, space);
    }
}

void Parser::appendText(std::string_view raw)
{
    QString text = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    if (text.contains(u'&'))
        text = decodeEntities(text);
    if (m_style.pre) {
        append(text);
        return;
    }
    // The buffer is built from spans of the text: [spanStart, spanEnd) is pending content.
    QString buffer;
    qsizetype spanStart = -1;
    qsizetype spanEnd = -1;
    auto flushSpan = [&] {
        if (spanStart >= 0)
            buffer += QStringView(text).mid(spanStart, spanEnd - spanStart);
        spanStart = -1;
    };
    forEachWhitespaceSpan(text, [&](qsizetype start, qsizetype end, bool space) {
        if (space) {
            m_pendingSpace = true;
            return;
        }
        if (m_pendingSpace) {
            const bool bufferEmpty = buffer.isEmpty() && spanStart < 0;
            if (bufferEmpty && m_hasLastCharacter && !m_lastIsLineFeed) {
                Style plain = m_style;
                plain.bold = plain.italic = plain.code = false;
                plain.link.reset();
                append(u" ", attributesOf(plain));
            } else if (!bufferEmpty) {
                flushSpan();
                buffer += u' ';
            }
            m_pendingSpace = false;
        }
        if (spanStart < 0)
            spanStart = start;
        spanEnd = end;
    });
    if (buffer.isEmpty() && spanStart >= 0) {
        append(QStringView(text).mid(spanStart, spanEnd - spanStart));
        return;
    }
    flushSpan();
    append(buffer);
}

void Parser::append(QStringView text, const TextAttributes& attributes)
{
    if (text.isEmpty())
        return;
    m_output.append(text, attributes);
    m_hasLastCharacter = true;
    // The last cluster is a lone line feed only when no CR precedes it (CR LF is one cluster).
    m_lastIsLineFeed = text.endsWith(u'\n') && !(text.size() >= 2 && text.at(text.size() - 2) == u'\r');
}

struct NamedReference
{
    const char16_t* name;
    char16_t character;
};

constexpr NamedReference namedReferences[] = {
    {u"amp", u'&'},
    {u"lt", u'<'},
    {u"gt", u'>'},
    {u"quot", u'"'},
    {u"apos", u'\''},
    {u"nbsp", u'\u00A0'},
    {u"ndash", u'\u2013'},
    {u"mdash", u'\u2014'},
    {u"hellip", u'\u2026'},
    {u"copy", u'\u00A9'},
    {u"reg", u'\u00AE'},
    {u"lsquo", u'\u2018'},
    {u"rsquo", u'\u2019'},
    {u"ldquo", u'\u201C'},
    {u"rdquo", u'\u201D'},
};

std::optional<char32_t> numericReference(QStringView digits)
{
    int base = 10;
    if (!digits.isEmpty() && (digits.front() == u'x' || digits.front() == u'X')) {
        base = 16;
        digits = digits.mid(1);
    }
    if (digits.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (QChar ch : digits) {
        const char16_t c = ch.unicode();
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * quint64(base) + quint64(d);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (value < 1 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    return char32_t(value);
}

} // namespace

std::optional<AttributedText> convert(const QByteArray& html)
{
    if (html.size() > maxInputBytes)
        return std::nullopt;
    if (!Utf8::decodeStrict(html))
        return std::nullopt;
    std::string_view bytes(html.constData(), size_t(html.size()));
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    return Parser(bytes).parse();
}

std::optional<QString> safeLink(const QString& href)
{
    if (href.toUtf8().size() > maxLinkBytes)
        return std::nullopt;
    for (QChar ch : href) {
        const char16_t c = ch.unicode();
        if (ch.isSpace() || c == u'\x0B' || c == u'(' || c == u')' || c == u'<' || c == u'>' || c == u'\\' || c == u'"')
            return std::nullopt;
    }
    const QUrl url(href, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http" || scheme == u"https" || scheme == u"mailto")
        return href;
    return std::nullopt;
}

QString decodeEntities(QStringView text)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c != u'&') {
            const qsizetype amp = text.indexOf(u'&', i);
            const qsizetype end = amp < 0 ? n : amp;
            out += text.mid(i, end - i);
            i = end;
            continue;
        }
        const qsizetype semicolon = text.mid(i + 1, 33).indexOf(u';');
        if (semicolon >= 0) {
            const QStringView name = text.mid(i + 1, semicolon);
            std::optional<char32_t> decoded;
            if (name.startsWith(u'#')) {
                decoded = numericReference(name.mid(1));
            } else {
                for (const NamedReference& ref : namedReferences) {
                    if (name == QStringView(ref.name)) {
                        decoded = ref.character;
                        break;
                    }
                }
            }
            if (decoded) {
                const char32_t ucs4 = *decoded;
                out += QStringView(QChar::fromUcs4(ucs4));
                i += semicolon + 2;
                continue;
            }
        }
        out += u'&';
        ++i;
    }
    return out;
}

} // namespace OfflineHTMLConverter
