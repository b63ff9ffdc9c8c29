#pragma once
// Text with attributes, as read from the rich flavours of the clipboard (HTML, RTF) and
// written out as Markdown. The text is kept exactly as given (CR, U+00A0 and U+2028 stay
// what they are); attributes live in runs that cover the whole text without gaps, and
// adjacent runs with equal attributes are always merged into one.

#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

// The marker format of a text list, as far as Markdown cares about it.
enum class TextListMarker {
    Disc,
    Circle,
    Square,
    Hyphen,
    Box,
    Check,
    Diamond,
    Decimal,
    LowercaseAlpha,
    UppercaseAlpha,
    LowercaseLatin,
    UppercaseLatin,
    LowercaseRoman,
    UppercaseRoman,
    LowercaseHexadecimal,
    UppercaseHexadecimal,
    Octal,
};

struct TextList
{
    TextListMarker marker = TextListMarker::Disc;
    friend bool operator==(const TextList&, const TextList&) = default;
};

struct TextFont
{
    QString family; // e.g. "DejaVu Sans"
    QString name; // the face name, e.g. "DejaVuSans-Bold"
    double pointSize = 12.0;
    bool bold = false;
    bool italic = false;
    bool monospaceTrait = false; // the face declares itself fixed-pitch
    friend bool operator==(const TextFont&, const TextFont&) = default;
};

struct TextParagraphStyle
{
    QList<TextList> textLists; // outermost first
    double firstLineHeadIndent = 0.0;
    friend bool operator==(const TextParagraphStyle&, const TextParagraphStyle&) = default;
};

// A link target. A URL was validated when it was made; a plain string was not.
struct TextLink
{
    QString target;
    bool isUrl = true;
    friend bool operator==(const TextLink&, const TextLink&) = default;
};

struct TextAttributes
{
    std::optional<TextFont> font;
    std::optional<TextParagraphStyle> paragraphStyle;
    std::optional<TextLink> link;
    // The HTML heading level (0 outside headings). Absent for text that did not come from
    // HTML, whose headings are then judged by font size.
    std::optional<int> heading;
    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

struct TextRun
{
    qsizetype start = 0; // UTF-16 offset
    qsizetype length = 0; // UTF-16 units, always > 0
    TextAttributes attributes;
    qsizetype end() const { return start + length; }
    friend bool operator==(const TextRun&, const TextRun&) = default;
};

// A paragraph: [start, start + length) including its terminator (if any).
struct ParagraphRange
{
    qsizetype start = 0;
    qsizetype length = 0;
    qsizetype end() const { return start + length; }
    friend bool operator==(const ParagraphRange&, const ParagraphRange&) = default;
};

class AttributedText
{
public:
    AttributedText() = default;
    explicit AttributedText(const QString& text, const TextAttributes& attributes = {});

    const QString& text() const { return m_text; }
    qsizetype length() const { return m_text.size(); }
    bool isEmpty() const { return m_text.isEmpty(); }
    const QList<TextRun>& runs() const { return m_runs; }

    // Appends text with the given attributes; merges with the last run when they are equal.
    void append(QStringView text, const TextAttributes& attributes);
    void append(const AttributedText& other);

    // Index of the run that holds the UTF-16 offset (0 <= offset < length()), else -1.
    qsizetype runIndexAt(qsizetype offset) const;
    // The attributes at the offset; default attributes outside the text.
    TextAttributes attributesAt(qsizetype offset) const;

    // The paragraph that holds the offset, its terminator included. Paragraphs end after
    // "\n", "\r", "\r\n" and U+2029; U+2028 stays inside a paragraph.
    ParagraphRange paragraphRangeAt(qsizetype offset) const;

    friend bool operator==(const AttributedText&, const AttributedText&) = default;

private:
    QString m_text;
    QList<TextRun> m_runs;
};

// True for the characters that end a paragraph on their own (CR LF is one terminator).
bool isParagraphSeparator(char16_t c);
