#include "ZubraCore/Capture/RtfReader.h"

#include "ZubraCore/Capture/OfflineHTMLConverter.h"

#include <QHash>
#include <QSet>
#include <memory>
#include <unicode/ucnv.h>

namespace RtfReader {
namespace {

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

// The converter name of a code page this reader knows; others read as windows-1252.
const char* codecNameFor(int codePage)
{
    switch (codePage) {
    case 437:
        return "cp437";
    case 850:
        return "cp850";
    case 852:
        return "cp852";
    case 866:
        return "cp866";
    case 874:
        return "windows-874-2000";
    case 932:
        return "windows-31j";
    case 936:
        return "windows-936-2000";
    case 949:
        return "windows-949-2000";
    case 950:
        return "windows-950-2000";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    case 10000:
        return "macintosh";
    case 65001:
        return "UTF-8";
    default:
        return "windows-1252";
    }
}

int codePageForCharset(int charset, int documentCodePage)
{
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        return documentCodePage;
    }
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

bool isSkippedDestination(const QByteArray& word)
{
    static const QSet<QByteArray> words {"stylesheet", "info", "pict", "object", "header", "headerl", "headerr",
        "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "xe", "tc", "txe", "rxe",
        "revtbl", "rsidtbl", "generator", "themedata", "colorschememapping", "datastore", "latentstyles", "xmlnstbl",
        "mmathPr", "nonshppict", "shppict", "shp", "bkmkstart", "bkmkend", "userprops", "docvar", "atnid", "atnauthor",
        "template", "filetbl", "pgdsctbl", "listpicture", "leveltext", "levelnumbers", "listname", "fldtype",
        "datafield", "formfield", "sp", "sn", "sv", "wgrffmtfilter", "expandedcolortbl"};
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
            if (word.size() == 2 && QStringLiteral("otmn").contains(word.at(1).toLower()))
                ++k; // a switch with an argument
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
    ~Reader()
    {
        for (UConverter* c : std::as_const(m_converters))
            if (c)
                ucnv_close(c);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    std::optional<AttributedText> read();

private:
    bool controlWord(const QByteArray& word, bool hasParameter, int parameter);
    bool controlSymbol(char symbol);
    bool emitText(QStringView text);
    bool emitCharacter(char32_t c);
    bool flushBytes();
    bool beginGroup();
    bool endGroup();
    void textByte(char byte);
    int currentCodePage() const;
    TextAttributes attributes() const;
    TextParagraphStyle paragraphStyle() const;
    bool endParagraph();
    qsizetype outputLength() const { return m_output.length() + m_paragraph.length(); }
    UConverter* converter(int codePage);

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
    QHash<int, int> m_overrides; // \ls number to list id
    int m_overrideListId = 0;
    int m_overrideNumber = 0;
    QList<QString> m_fieldInstructions;

    QByteArray m_bytes; // code-page bytes not yet decoded
    int m_bytesCodePage = 0;
    QHash<QByteArray, UConverter*> m_converters;

    // Paragraph formatting is the one in effect where the paragraph ends, so the text of the
    // current paragraph waits here without a paragraph style until then.
    AttributedText m_paragraph;
    AttributedText m_output;
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
                const QByteArray word(m_in + wordStart, m_pos - wordStart);
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
        } else {
            ++m_pos;
            if (c != '\r' && c != '\n' && c != '\0')
                textByte(c);
        }
        if (outputLength() > maxOutputLength)
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
    return it == m_fonts.cend() ? m_documentCodePage : codePageForCharset(it->charset, m_documentCodePage);
}

UConverter* Reader::converter(int codePage)
{
    const char* name = codecNameFor(codePage);
    auto it = m_converters.constFind(name);
    if (it != m_converters.cend())
        return *it;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name, &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        c = ucnv_open("windows-1252", &status);
        if (U_FAILURE(status))
            c = nullptr;
    }
    m_converters.insert(name, c);
    return c;
}

void Reader::textByte(char byte)
{
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    if (byte == '\t') {
        flushBytes();
        emitText(u"\t");
        return;
    }
    const int codePage = currentCodePage();
    if (!m_bytes.isEmpty() && codePage != m_bytesCodePage)
        flushBytes();
    m_bytesCodePage = codePage;
    m_bytes.append(byte);
}

bool Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return true;
    QString decoded;
    bool ascii = true;
    for (char b : std::as_const(m_bytes))
        ascii = ascii && uchar(b) < 0x80;
    if (ascii) {
        decoded = QString::fromLatin1(m_bytes);
    } else if (UConverter* c = converter(m_bytesCodePage)) {
        ucnv_reset(c);
        decoded.resize(m_bytes.size() * 2 + 4);
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = ucnv_toUChars(c, reinterpret_cast<UChar*>(decoded.data()), int32_t(decoded.size()),
            m_bytes.constData(), int32_t(m_bytes.size()), &status);
        decoded.resize(U_FAILURE(status) ? 0 : n);
    } else {
        decoded = QString::fromLatin1(m_bytes);
    }
    m_bytes.clear();
    return emitText(decoded);
}

TextAttributes Reader::attributes() const
{
    TextAttributes a;
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
        const ListDefinition* list = nullptr;
        for (const ListDefinition& candidate : m_lists)
            if (candidate.id == listId)
                list = &candidate;
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
    return m_output.length() <= maxOutputLength;
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
        m_paragraph.append(text, attributes());
        return outputLength() <= maxOutputLength;
    case Destination::FontTable:
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
        textByte(char(hi * 16 + lo));
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

bool Reader::controlWord(const QByteArray& word, bool hasParameter, int parameter)
{
    const bool atGroupStart = m_groupStart;
    const bool ignorable = m_ignorablePending;
    m_groupStart = false;
    m_ignorablePending = false;

    if (word == "bin") {
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
    if (word != "u" && !flushBytes())
        return false;

    State& s = m_state;
    // Destinations.
    if (atGroupStart) {
        if (word == "fonttbl") {
            s.destination = Destination::FontTable;
            return true;
        }
        if (word == "colortbl") {
            s.destination = Destination::ColorTable;
            return true;
        }
        if (word == "listtable") {
            s.destination = Destination::ListTable;
            return true;
        }
        if (word == "list" && s.destination == Destination::ListTable) {
            s.destination = Destination::List;
            if (m_lists.size() < maxLists)
                m_lists.append(ListDefinition {});
            return true;
        }
        if (word == "listlevel" && s.destination == Destination::List) {
            s.destination = Destination::ListLevel;
            if (!m_lists.isEmpty() && m_lists.last().levels.size() < maxListLevels)
                m_lists.last().levels.append(TextListMarker::Decimal);
            return true;
        }
        if (word == "listoverridetable") {
            s.destination = Destination::OverrideTable;
            return true;
        }
        if (word == "listoverride" && s.destination == Destination::OverrideTable) {
            s.destination = Destination::Override;
            m_overrideNumber = m_overrideListId = 0;
            return true;
        }
        if (word == "field") {
            if (m_fieldInstructions.size() < 65536) {
                m_fieldInstructions.append(QString());
                s.field = int(m_fieldInstructions.size() - 1);
            } else {
                s.field = -1;
            }
            return true;
        }
        if (word == "fldinst") {
            s.destination = Destination::FieldInstruction;
            return true;
        }
        if (word == "fldrslt") {
            if (s.field >= 0)
                if (const std::optional<TextLink> link = hyperlinkOf(m_fieldInstructions.at(s.field)))
                    s.link = link;
            return true;
        }
        if (word == "listtext" || word == "pntext") {
            s.destination = s.destination == Destination::Text ? Destination::Text : Destination::Skip;
            return true;
        }
        if (word == "pn") {
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
        if (word == "f" && hasParameter && (m_fonts.size() < maxFonts || m_fonts.contains(parameter))) {
            s.definingFont = parameter;
            m_fonts[parameter] = FontEntry {};
        } else if (s.definingFont >= 0) {
            FontEntry& entry = m_fonts[s.definingFont];
            if (word == "fmodern")
                entry.modern = true;
            else if (word == "fcharset")
                entry.charset = parameter;
            else if (word == "fprq")
                entry.fixedPitch = parameter == 1;
        }
        return true;
    case Destination::List:
        if (word == "listid" && !m_lists.isEmpty())
            m_lists.last().id = parameter;
        return true;
    case Destination::ListLevel:
        if ((word == "levelnfc" || word == "levelnfcn") && !m_lists.isEmpty() && !m_lists.last().levels.isEmpty())
            m_lists.last().levels.last() = markerForNumberFormat(parameter);
        return true;
    case Destination::ListTable:
    case Destination::OverrideTable:
        return true;
    case Destination::Override:
        if (word == "listid")
            m_overrideListId = parameter;
        else if (word == "ls")
            m_overrideNumber = parameter;
        return true;
    case Destination::OldListFormat:
        if (word == "pnlvlblt")
            s.oldStyleList = TextListMarker::Disc;
        else if (word == "pndec")
            s.oldStyleList = TextListMarker::Decimal;
        else if (word == "pnlcltr")
            s.oldStyleList = TextListMarker::LowercaseAlpha;
        else if (word == "pnucltr")
            s.oldStyleList = TextListMarker::UppercaseAlpha;
        else if (word == "pnlcrm")
            s.oldStyleList = TextListMarker::LowercaseRoman;
        else if (word == "pnucrm")
            s.oldStyleList = TextListMarker::UppercaseRoman;
        return true;
    default:
        break;
    }

    // Document settings.
    if (word == "ansicpg" && hasParameter && parameter > 0)
        m_documentCodePage = parameter;
    else if (word == "ansi")
        m_documentCodePage = 1252;
    else if (word == "mac")
        m_documentCodePage = 10000;
    else if (word == "pc")
        m_documentCodePage = 437;
    else if (word == "pca")
        m_documentCodePage = 850;
    else if (word == "deff" && hasParameter)
        m_defaultFont = parameter;
    // Unicode.
    else if (word == "uc")
        s.unicodeSkip = std::clamp(hasParameter ? parameter : 1, 0, 16);
    else if (word == "u" && hasParameter) {
        if (!flushBytes())
            return false;
        const int value = parameter < 0 ? parameter + 65536 : parameter;
        if (!emitCharacter(char32_t(std::clamp(value, 0, 0xFFFF))))
            return false;
        m_skip = s.unicodeSkip;
    }
    // Characters.
    else if (word == "b")
        s.bold = !hasParameter || parameter != 0;
    else if (word == "i")
        s.italic = !hasParameter || parameter != 0;
    else if (word == "fs" && hasParameter && parameter > 0)
        s.halfPoints = std::min(parameter, 32767);
    else if (word == "f" && hasParameter)
        s.font = parameter;
    else if (word == "plain") {
        s.bold = s.italic = false;
        s.halfPoints = 24;
        s.font = -1;
    }
    // Paragraphs.
    else if (word == "pard") {
        s.leftIndent = s.firstLineIndent = 0;
        s.listOverride = s.listLevel = 0;
        s.oldStyleList.reset();
    } else if (word == "li" && hasParameter)
        s.leftIndent = std::clamp(parameter, -1000000, 1000000);
    else if (word == "fi" && hasParameter)
        s.firstLineIndent = std::clamp(parameter, -1000000, 1000000);
    else if (word == "ls" && hasParameter)
        s.listOverride = parameter;
    else if (word == "ilvl" && hasParameter)
        s.listLevel = parameter;
    // Text.
    else if (word == "par" || word == "sect" || word == "page" || word == "row")
        return emitText(u"\n") && (s.destination != Destination::Text || endParagraph());
    else if (word == "line")
        return emitText(u"\u2028");
    else if (word == "tab" || word == "cell")
        return emitText(u"\t");
    else if (word == "emdash")
        return emitCharacter(0x2014);
    else if (word == "endash")
        return emitCharacter(0x2013);
    else if (word == "bullet")
        return emitCharacter(0x2022);
    else if (word == "lquote")
        return emitCharacter(0x2018);
    else if (word == "rquote")
        return emitCharacter(0x2019);
    else if (word == "ldblquote")
        return emitCharacter(0x201C);
    else if (word == "rdblquote")
        return emitCharacter(0x201D);
    else if (word == "emspace")
        return emitCharacter(0x2003);
    else if (word == "enspace")
        return emitCharacter(0x2002);
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
