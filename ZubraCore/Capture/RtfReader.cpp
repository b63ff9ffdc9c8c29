#include "ZubraCore/Capture/RtfReader.h"

#include "ZubraCore/Capture/OfflineHTMLConverter.h"
#include "ZubraCore/Capture/RtfCodePages.h"

#include <QHash>
#include <memory>
#include <string_view>
#include <unordered_set>

namespace RtfReader {
namespace {

using namespace std::string_view_literals;

constexpr int maxFonts = 4096;
constexpr int maxLists = 1024;
constexpr int maxListLevels = 9;
constexpr qsizetype maxFieldInstruction = 16384;
constexpr int maxControlWordLetters = 32;
constexpr int maxParameterDigits = 10;

enum class Destination {
    Text, // visible text
    Skip, // ignored with everything inside
    FontTable, // font definitions
    ColorTable, // ignored, but its own group
    ListTable, // list definitions
    List, // one list definition
    ListLevel, // one level of a list definition
    OverrideTable,
    Override,
    FieldInstruction,
    OldListFormat, // \pn: the numbering of the current paragraph, older style
};

struct FontEntry
{
    QString family;
    int charset = 0;
    bool modern = false;
    bool fixedPitch = false;
};

struct ListDefinition
{
    int id = 0;
    QList<TextListMarker> levels;
};

struct State
{
    Destination destination = Destination::Text;
    // character
    int font = -1;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool hidden = false; // \v: text the document does not show
    int unicodeSkip = 1;
    // paragraph
    int leftIndent = 0; // twips
    int firstLineIndent = 0; // twips, relative to the left indent
    int listOverride = 0; // \ls, 0 for none
    int listLevel = 0;
    std::optional<TextListMarker> oldStyleList;
    // fields
    int field = -1;
    std::optional<TextLink> link;
    // definitions being read
    int definingFont = -1;
};

// The character a symbol control word stands for, or 0.
char16_t symbolCharacter(std::string_view word)
{
    static constexpr std::pair<std::string_view, char16_t> symbols[] = {
        {"emdash", u'\u2014'},
        {"endash", u'\u2013'},
        {"bullet", u'\u2022'},
        {"lquote", u'\u2018'},
        {"rquote", u'\u2019'},
        {"ldblquote", u'\u201C'},
        {"rdblquote", u'\u201D'},
        {"emspace", u'\u2003'},
        {"enspace", u'\u2002'},
        {"qmspace", u'\u2005'},
        {"zwj", u'\u200D'},
        {"zwnj", u'\u200C'},
    };
    for (const auto& [name, c] : symbols)
        if (name == word)
            return c;
    return 0;
}

// The marker an older-style numbering word (\pn...) selects.
std::optional<TextListMarker> oldStyleMarker(std::string_view word)
{
    static constexpr std::pair<std::string_view, TextListMarker> markers[] = {
        {"pnlvlblt", TextListMarker::Disc},
        {"pndec", TextListMarker::Decimal},
        {"pnlcltr", TextListMarker::LowercaseAlpha},
        {"pnucltr", TextListMarker::UppercaseAlpha},
        {"pnlcrm", TextListMarker::LowercaseRoman},
        {"pnucrm", TextListMarker::UppercaseRoman},
    };
    for (const auto& [name, marker] : markers)
        if (name == word)
            return marker;
    return std::nullopt;
}

// Bytes that end a run of plain text.
inline bool isSpecialByte(char c)
{
    return c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n' || c == '\0';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

TextListMarker markerForNumberFormat(int nfc)
{
    switch (nfc) {
    case 0:
    case 22:
        return TextListMarker::Decimal;
    case 1:
        return TextListMarker::UppercaseRoman;
    case 2:
        return TextListMarker::LowercaseRoman;
    case 3:
        return TextListMarker::UppercaseAlpha;
    case 4:
        return TextListMarker::LowercaseAlpha;
    default:
        return TextListMarker::Disc;
    }
}

bool isSkippedDestination(std::string_view word)
{
    static const std::unordered_set<std::string_view> words {"stylesheet", "info", "pict", "object", "header",
        "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "xe",
        "tc", "txe", "rxe", "revtbl", "rsidtbl", "generator", "themedata", "colorschememapping", "datastore",
        "latentstyles", "xmlnstbl", "mmathPr", "nonshppict", "shppict", "shp", "bkmkstart", "bkmkend", "userprops",
        "docvar", "atnid", "atnauthor", "template", "filetbl", "pgdsctbl", "listpicture", "leveltext", "levelnumbers",
        "listname", "fldtype", "datafield", "formfield", "sp", "sn", "sv", "wgrffmtfilter", "expandedcolortbl"};
    return words.contains(word);
}

// A hyperlink field's target, when the instruction is HYPERLINK with an address.
std::optional<TextLink> hyperlinkOf(const QString& instruction)
{
    QStringList words;
    const QString s = instruction.trimmed();
    qsizetype i = 0;
    while (i < s.size()) {
        while (i < s.size() && s.at(i).isSpace())
            ++i;
        if (i >= s.size())
            break;
        QString word;
        if (s.at(i) == u'"') {
            const qsizetype close = s.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? s.size() : close;
            word = s.mid(i + 1, end - i - 1);
            i = end + 1;
        } else {
            const qsizetype start = i;
            while (i < s.size() && !s.at(i).isSpace())
                ++i;
            word = s.mid(start, i - start);
        }
        words.append(word);
    }
    if (words.isEmpty() || words.first().compare(u"HYPERLINK", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    for (qsizetype k = 1; k < words.size(); ++k) {
        const QString& word = words.at(k);
        if (word.startsWith(u'\\')) {
            if (word.compare(u"\\l", Qt::CaseInsensitive) == 0)
                return std::nullopt; // a place inside the document
            if (word.size() == 2 && QStringLiteral("ot").contains(word.at(1).toLower()))
                ++k; // a switch with an argument (tip, target); \m and \n stand alone
            continue;
        }
        if (const std::optional<QString> url = OfflineHTMLConverter::safeLink(word))
            return TextLink {*url, true};
        return std::nullopt;
    }
    return std::nullopt;
}

class Reader
{
public:
    explicit Reader(const QByteArray& input)
        : m_in(input.constData())
        , m_size(input.size())
    {
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    std::optional<AttributedText> read();

private:
    bool controlWord(std::string_view word, bool hasParameter, int parameter);
    bool controlSymbol(char symbol);
    bool emitText(QStringView text);
    bool emitCharacter(char32_t c);
    bool flushBytes();
    bool beginGroup();
    bool endGroup();
    void textBytes(std::string_view bytes);
    int currentCodePage() const;
    const TextAttributes& attributes();
    TextParagraphStyle paragraphStyle() const;
    bool endParagraph();
    bool withinLimits() const
    {
        return m_output.length() + m_paragraph.length() <= maxOutputLength
            && m_output.runs().size() + m_paragraph.runs().size() <= maxRuns;
    }

    const char* m_in;
    qsizetype m_size;
    qsizetype m_pos = 0;

    QList<State> m_stack;
    State m_state;
    int m_skip = 0; // characters still to skip after \u
    bool m_ignorablePending = false; // \* seen at the start of this group
    bool m_groupStart = false; // no control word yet in this group
    char16_t m_highSurrogate = 0;

    int m_documentCodePage = 1252;
    int m_defaultFont = -1;
    QHash<int, FontEntry> m_fonts;
    QList<ListDefinition> m_lists;
    QHash<int, qsizetype> m_listIndexById;
    QHash<int, int> m_overrides; // \ls number to list id
    int m_overrideListId = 0;
    int m_overrideNumber = 0;
    QList<QString> m_fieldInstructions;

    QByteArray m_bytes; // code-page bytes not yet decoded
    int m_bytesCodePage = 0;
    RtfCodePages::Decoder m_decoder;

    // Paragraph formatting is the one in effect where the paragraph ends, so the text of the
    // current paragraph waits here without a paragraph style until then.
    AttributedText m_paragraph;
    AttributedText m_output;

    // The character attributes last made, and the state they were made from.
    struct AttributeSource
    {
        int font = -1;
        int halfPoints = 0;
        bool bold = false;
        bool italic = false;
        std::optional<TextLink> link;
        bool operator==(const AttributeSource&) const = default;
    };
    std::optional<AttributeSource> m_attributeSource;
    TextAttributes m_attributes;
};

std::optional<AttributedText> Reader::read()
{
    qsizetype start = 0;
    while (start < m_size && (m_in[start] == ' ' || m_in[start] == '\r' || m_in[start] == '\n' || m_in[start] == '\t'))
        ++start;
    if (m_size - start < 5 || std::string_view(m_in + start, 5) != "{\\rtf")
        return std::nullopt;
    m_pos = start;
    bool rootClosed = false;
    while (m_pos < m_size && !rootClosed) {
        const char c = m_in[m_pos];
        if (c == '{') {
            ++m_pos;
            if (!beginGroup())
                return std::nullopt;
        } else if (c == '}') {
            ++m_pos;
            if (!endGroup())
                return std::nullopt;
            rootClosed = m_stack.isEmpty();
        } else if (c == '\\') {
            ++m_pos;
            if (m_pos >= m_size)
                return std::nullopt;
            const char next = m_in[m_pos];
            if ((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z')) {
                const qsizetype wordStart = m_pos;
                while (m_pos < m_size
                    && ((m_in[m_pos] >= 'a' && m_in[m_pos] <= 'z') || (m_in[m_pos] >= 'A' && m_in[m_pos] <= 'Z')))
                    ++m_pos;
                if (m_pos - wordStart > maxControlWordLetters)
                    return std::nullopt;
                const std::string_view word(m_in + wordStart, size_t(m_pos - wordStart));
                bool negative = false;
                if (m_pos < m_size && m_in[m_pos] == '-') {
                    negative = true;
                    ++m_pos;
                }
                const qsizetype digitStart = m_pos;
                qint64 value = 0;
                while (m_pos < m_size && m_in[m_pos] >= '0' && m_in[m_pos] <= '9') {
                    value = value * 10 + (m_in[m_pos] - '0');
                    ++m_pos;
                    if (m_pos - digitStart > maxParameterDigits)
                        return std::nullopt;
                }
                const bool hasParameter = m_pos > digitStart;
                if (negative && !hasParameter)
                    return std::nullopt;
                if (m_pos < m_size && m_in[m_pos] == ' ')
                    ++m_pos;
                value = std::clamp<qint64>(negative ? -value : value, INT_MIN, INT_MAX);
                if (!controlWord(word, hasParameter, int(value)))
                    return std::nullopt;
            } else {
                ++m_pos;
                if (!controlSymbol(next))
                    return std::nullopt;
            }
        } else if (c == '\r' || c == '\n' || c == '\0') {
            ++m_pos;
        } else {
            qsizetype end = m_pos + 1;
            while (end < m_size && !isSpecialByte(m_in[end]))
                ++end;
            textBytes(std::string_view(m_in + m_pos, size_t(end - m_pos)));
            m_pos = end;
        }
        if (!withinLimits())
            return std::nullopt;
    }
    if (!rootClosed || !flushBytes() || !endParagraph())
        return std::nullopt;
    return std::move(m_output);
}

bool Reader::beginGroup()
{
    if (!flushBytes())
        return false;
    if (m_stack.size() >= maxGroupDepth)
        return false;
    m_skip = 0;
    m_stack.append(m_state);
    m_ignorablePending = false;
    m_groupStart = true;
    return true;
}

bool Reader::endGroup()
{
    if (!flushBytes())
        return false;
    if (m_stack.isEmpty())
        return false;
    m_skip = 0;
    if (!emitText({}))
        return false;
    // The last paragraph takes the formatting in effect where the document ends.
    if (m_stack.size() == 1 && !endParagraph())
        return false;
    const State closed = m_state;
    m_state = m_stack.takeLast();
    m_groupStart = false;
    m_ignorablePending = false;
    if (closed.destination == Destination::OldListFormat && closed.oldStyleList)
        m_state.oldStyleList = closed.oldStyleList;
    if (closed.destination == Destination::Override && m_state.destination == Destination::OverrideTable) {
        if (m_overrideNumber > 0 && m_overrides.size() < maxLists)
            m_overrides.insert(m_overrideNumber, m_overrideListId);
        m_overrideNumber = m_overrideListId = 0;
    }
    return true;
}

int Reader::currentCodePage() const
{
    const int font = m_state.font >= 0 ? m_state.font : m_defaultFont;
    const auto it = m_fonts.constFind(font);
    return it == m_fonts.cend() ? m_documentCodePage : RtfCodePages::forCharset(it->charset, m_documentCodePage);
}

void Reader::textBytes(std::string_view bytes)
{
    if (m_skip > 0) {
        const qsizetype skipped = std::min<qsizetype>(m_skip, qsizetype(bytes.size()));
        m_skip -= int(skipped);
        bytes.remove_prefix(size_t(skipped));
    }
    while (!bytes.empty()) {
        const size_t tab = bytes.find('\t');
        const std::string_view chunk = bytes.substr(0, tab);
        if (!chunk.empty()) {
            const int codePage = currentCodePage();
            if (!m_bytes.isEmpty() && codePage != m_bytesCodePage)
                flushBytes();
            m_bytesCodePage = codePage;
            m_bytes.append(chunk.data(), qsizetype(chunk.size()));
        }
        if (tab == std::string_view::npos)
            break;
        flushBytes();
        emitText(u"\t");
        bytes.remove_prefix(tab + 1);
    }
}

bool Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return true;
    const QString decoded = m_decoder.decode(m_bytes, m_bytesCodePage);
    m_bytes.clear();
    return emitText(decoded);
}

const TextAttributes& Reader::attributes()
{
    const AttributeSource source {m_state.font, m_state.halfPoints, m_state.bold, m_state.italic, m_state.link};
    if (m_attributeSource == source)
        return m_attributes;
    m_attributeSource = source;
    TextAttributes& a = m_attributes;
    a = TextAttributes {};
    TextFont font;
    const int fontNumber = m_state.font >= 0 ? m_state.font : m_defaultFont;
    const auto it = m_fonts.constFind(fontNumber);
    if (it != m_fonts.cend()) {
        font.family = it->family;
        font.monospaceTrait = it->modern || it->fixedPitch;
    }
    font.name = font.family;
    if (m_state.bold || m_state.italic)
        font.name += m_state.bold ? (m_state.italic ? QStringLiteral("-BoldItalic") : QStringLiteral("-Bold"))
                                  : QStringLiteral("-Italic");
    font.pointSize = m_state.halfPoints / 2.0;
    font.bold = m_state.bold;
    font.italic = m_state.italic;
    a.font = font;
    a.link = m_state.link;
    return a;
}

TextParagraphStyle Reader::paragraphStyle() const
{
    TextParagraphStyle paragraph;
    paragraph.firstLineHeadIndent = (double(m_state.leftIndent) + m_state.firstLineIndent) / 20.0;
    if (m_state.listOverride > 0) {
        const int listId = m_overrides.value(m_state.listOverride, -1);
        const qsizetype index = m_listIndexById.value(listId, -1);
        const ListDefinition* list = index >= 0 ? &m_lists.at(index) : nullptr;
        const int level = std::clamp(m_state.listLevel, 0, maxListLevels - 1);
        for (int k = 0; k <= level; ++k)
            paragraph.textLists.append(
                TextList {list && k < list->levels.size() ? list->levels.at(k) : TextListMarker::Disc});
    } else if (m_state.oldStyleList) {
        paragraph.textLists.append(TextList {*m_state.oldStyleList});
    }
    return paragraph;
}

bool Reader::endParagraph()
{
    if (m_paragraph.isEmpty())
        return true;
    const TextParagraphStyle style = paragraphStyle();
    const QString& text = m_paragraph.text();
    for (const TextRun& run : m_paragraph.runs()) {
        TextAttributes a = run.attributes;
        a.paragraphStyle = style;
        m_output.append(QStringView(text).mid(run.start, run.length), a);
    }
    m_paragraph = AttributedText();
    return withinLimits();
}

bool Reader::emitText(QStringView text)
{
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        if (!emitText(u"\uFFFD"))
            return false;
    }
    if (text.isEmpty())
        return true;
    switch (m_state.destination) {
    case Destination::Text:
        if (m_state.hidden)
            return true;
        m_paragraph.append(text, attributes());
        return withinLimits();
    case Destination::FontTable:
        m_attributeSource.reset();
        if (m_state.definingFont >= 0) {
            FontEntry& entry = m_fonts[m_state.definingFont];
            for (QChar c : text) {
                if (c == u';')
                    m_state.definingFont = -1;
                else if (m_state.definingFont >= 0 && entry.family.size() < 256)
                    entry.family += c;
            }
            entry.family = entry.family.trimmed();
        }
        return true;
    case Destination::FieldInstruction:
        if (m_state.field >= 0 && m_fieldInstructions[m_state.field].size() + text.size() <= maxFieldInstruction)
            m_fieldInstructions[m_state.field] += text;
        return true;
    default:
        return true;
    }
}

bool Reader::emitCharacter(char32_t c)
{
    if (QChar::isHighSurrogate(c)) {
        if (!emitText({})) // a pending high surrogate becomes U+FFFD
            return false;
        m_highSurrogate = char16_t(c);
        return true;
    }
    if (QChar::isLowSurrogate(c)) {
        if (!m_highSurrogate)
            return emitText(u"\uFFFD");
        const char16_t pair[2] = {m_highSurrogate, char16_t(c)};
        m_highSurrogate = 0;
        return emitText(QStringView(pair, 2));
    }
    if (c == 0)
        return emitText({});
    const char16_t one = char16_t(c);
    return emitText(QStringView(&one, 1));
}

bool Reader::controlSymbol(char symbol)
{
    if (symbol == '\'') {
        if (m_pos + 2 > m_size)
            return false;
        const int hi = hexValue(m_in[m_pos]);
        const int lo = hexValue(m_in[m_pos + 1]);
        m_pos += 2;
        if (hi < 0 || lo < 0)
            return false;
        const char byte = char(hi * 16 + lo);
        textBytes(std::string_view(&byte, 1));
        m_groupStart = false;
        return true;
    }
    if (symbol == '*') {
        if (m_groupStart)
            m_ignorablePending = true;
        return true;
    }
    m_groupStart = false;
    if (m_skip > 0) {
        --m_skip;
        return true;
    }
    if (!flushBytes())
        return false;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        return emitCharacter(char32_t(symbol));
    case '~':
        return emitCharacter(0x00A0);
    case '_':
        return emitCharacter(0x2011);
    case '\r':
    case '\n':
        return controlWord("par", false, 0);
    case '\t':
        return emitText(u"\t");
    default:
        return true; // \- optional hyphen, \: index subentry, \| and anything else
    }
}

bool Reader::controlWord(std::string_view word, bool hasParameter, int parameter)
{
    const bool atGroupStart = m_groupStart;
    const bool ignorable = m_ignorablePending;
    m_groupStart = false;
    m_ignorablePending = false;

    if (word == "bin"sv) {
        // Binary data: skipped whole, and one character for a \u skip.
        if (!flushBytes() || !hasParameter || parameter < 0 || parameter > m_size - m_pos)
            return false;
        m_pos += parameter;
        if (m_skip > 0)
            --m_skip;
        return true;
    }
    if (m_skip > 0) {
        --m_skip;
        return true;
    }
    if (word != "u"sv && !flushBytes())
        return false;

    State& s = m_state;
    // Destinations.
    if (atGroupStart) {
        if (word == "fonttbl"sv) {
            s.destination = Destination::FontTable;
            return true;
        }
        if (word == "colortbl"sv) {
            s.destination = Destination::ColorTable;
            return true;
        }
        if (word == "listtable"sv) {
            s.destination = Destination::ListTable;
            return true;
        }
        if (word == "list"sv && s.destination == Destination::ListTable) {
            s.destination = Destination::List;
            if (m_lists.size() < maxLists)
                m_lists.append(ListDefinition {});
            return true;
        }
        if (word == "listlevel"sv && s.destination == Destination::List) {
            s.destination = Destination::ListLevel;
            if (!m_lists.isEmpty() && m_lists.last().levels.size() < maxListLevels)
                m_lists.last().levels.append(TextListMarker::Decimal);
            return true;
        }
        if (word == "listoverridetable"sv) {
            s.destination = Destination::OverrideTable;
            return true;
        }
        if (word == "listoverride"sv && s.destination == Destination::OverrideTable) {
            s.destination = Destination::Override;
            m_overrideNumber = m_overrideListId = 0;
            return true;
        }
        if (word == "field"sv) {
            if (m_fieldInstructions.size() < 65536) {
                m_fieldInstructions.append(QString());
                s.field = int(m_fieldInstructions.size() - 1);
            } else {
                s.field = -1;
            }
            return true;
        }
        if (word == "fldinst"sv) {
            s.destination = Destination::FieldInstruction;
            return true;
        }
        if (word == "fldrslt"sv) {
            if (s.field >= 0)
                if (const std::optional<TextLink> link = hyperlinkOf(m_fieldInstructions.at(s.field)))
                    s.link = link;
            return true;
        }
        if (word == "listtext"sv || word == "pntext"sv) {
            s.destination = s.destination == Destination::Text ? Destination::Text : Destination::Skip;
            return true;
        }
        if (word == "pn"sv) {
            s.destination = Destination::OldListFormat;
            return true;
        }
        if (isSkippedDestination(word) || ignorable) {
            s.destination = Destination::Skip;
            return true;
        }
    }
    if (s.destination == Destination::Skip || s.destination == Destination::ColorTable)
        return true;

    switch (s.destination) {
    case Destination::FontTable:
        m_attributeSource.reset();
        if (word == "f"sv && hasParameter && (m_fonts.size() < maxFonts || m_fonts.contains(parameter))) {
            s.definingFont = parameter;
            m_fonts[parameter] = FontEntry {};
        } else if (s.definingFont >= 0) {
            FontEntry& entry = m_fonts[s.definingFont];
            if (word == "fmodern"sv)
                entry.modern = true;
            else if (word == "fcharset"sv)
                entry.charset = parameter;
            else if (word == "fprq"sv)
                entry.fixedPitch = parameter == 1;
        }
        return true;
    case Destination::List:
        if (word == "listid"sv && !m_lists.isEmpty()) {
            m_lists.last().id = parameter;
            m_listIndexById.insert(parameter, m_lists.size() - 1);
        }
        return true;
    case Destination::ListLevel:
        if ((word == "levelnfc"sv || word == "levelnfcn"sv) && !m_lists.isEmpty() && !m_lists.last().levels.isEmpty())
            m_lists.last().levels.last() = markerForNumberFormat(parameter);
        return true;
    case Destination::ListTable:
    case Destination::OverrideTable:
        return true;
    case Destination::Override:
        if (word == "listid"sv)
            m_overrideListId = parameter;
        else if (word == "ls"sv)
            m_overrideNumber = parameter;
        return true;
    case Destination::OldListFormat:
        if (const std::optional<TextListMarker> marker = oldStyleMarker(word))
            s.oldStyleList = marker;
        return true;
    default:
        break;
    }

    // Document settings.
    if (word == "ansicpg"sv && hasParameter && parameter > 0)
        m_documentCodePage = parameter;
    else if (word == "ansi"sv)
        m_documentCodePage = 1252;
    else if (word == "mac"sv)
        m_documentCodePage = 10000;
    else if (word == "pc"sv)
        m_documentCodePage = 437;
    else if (word == "pca"sv)
        m_documentCodePage = 850;
    else if (word == "deff"sv && hasParameter) {
        m_defaultFont = parameter;
        m_attributeSource.reset();
    }
    // Unicode.
    else if (word == "uc"sv)
        s.unicodeSkip = std::clamp(hasParameter ? parameter : 1, 0, 16);
    else if (word == "u"sv && hasParameter) {
        if (!flushBytes())
            return false;
        const int value = parameter < 0 ? parameter + 65536 : parameter;
        if (!emitCharacter(char32_t(std::clamp(value, 0, 0xFFFF))))
            return false;
        m_skip = s.unicodeSkip;
    }
    // Characters.
    else if (word == "b"sv)
        s.bold = !hasParameter || parameter != 0;
    else if (word == "i"sv)
        s.italic = !hasParameter || parameter != 0;
    else if (word == "v"sv)
        s.hidden = !hasParameter || parameter != 0;
    else if (word == "fs"sv && hasParameter && parameter > 0)
        s.halfPoints = std::min(parameter, 32767);
    else if (word == "f"sv && hasParameter)
        s.font = parameter;
    else if (word == "plain"sv) {
        s.bold = s.italic = s.hidden = false;
        s.halfPoints = 24;
        s.font = -1;
    }
    // Paragraphs.
    else if (word == "pard"sv) {
        s.leftIndent = s.firstLineIndent = 0;
        s.listOverride = s.listLevel = 0;
        s.oldStyleList.reset();
    } else if (word == "li"sv && hasParameter)
        s.leftIndent = std::clamp(parameter, -1000000, 1000000);
    else if (word == "fi"sv && hasParameter)
        s.firstLineIndent = std::clamp(parameter, -1000000, 1000000);
    else if (word == "ls"sv && hasParameter)
        s.listOverride = parameter;
    else if (word == "ilvl"sv && hasParameter)
        s.listLevel = parameter;
    // Text.
    else if (word == "par"sv || word == "sect"sv || word == "page"sv || word == "row"sv)
        return emitText(u"\n") && (s.destination != Destination::Text || endParagraph());
    else if (word == "line"sv)
        return emitText(u"\u2028");
    else if (word == "tab"sv || word == "cell"sv)
        return emitText(u"\t");
    else if (const char16_t c = symbolCharacter(word))
        return emitCharacter(c);
    return true;
}

} // namespace

std::optional<AttributedText> read(const QByteArray& rtf)
{
    if (rtf.size() > maxInputBytes)
        return std::nullopt;
    Reader reader(rtf);
    return reader.read();
}

std::optional<AttributedText> readRtfd(const QByteArray&)
{
    return std::nullopt;
}

} // namespace RtfReader
