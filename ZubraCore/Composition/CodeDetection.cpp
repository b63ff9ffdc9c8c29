// Telling code from prose, and naming the language of code.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <array>

namespace {

inline bool isAscii(QChar c)
{
    return c.unicode() < 0x80;
}

bool boundaryAt(QStringView text, qsizetype offset)
{
    if (offset <= 0 || offset >= text.size())
        return true;
    const QChar before = text[offset - 1];
    const QChar after = text[offset];
    if (isAscii(before) && isAscii(after))
        return !(before == u'\r' && after == u'\n');
    return TextMetrics::isBoundary(text, offset);
}

// Substring search over whole characters: a match counts only where it starts and ends at
// character boundaries, so ";" does not match a semicolon carrying a combining mark.
bool containsMarker(QStringView text, QStringView marker)
{
    for (qsizetype at = text.indexOf(marker); at >= 0; at = text.indexOf(marker, at + 1)) {
        if (boundaryAt(text, at) && boundaryAt(text, at + marker.size()))
            return true;
    }
    return false;
}

template <std::size_t N> bool containsAny(QStringView text, const std::array<QStringView, N>& markers)
{
    for (QStringView m : markers) {
        if (containsMarker(text, m))
            return true;
    }
    return false;
}

const std::array<QStringView, 23> codeMarkers = {u"def ", u"func ", u"class ", u" import ", u"return ", u"let ",
    u"var ", u"const ", u"public ", u"private ", u"static ", u"</", u"?>", u"??:", u"@interface", u"@implementation",
    u"#include", u"#import", u"  // ", u"\t//", u"=>", u"::", u";"};
const std::array<QStringView, 4> swiftMarkers = {u"func ", u"let ", u"var ", u"->"};
const std::array<QStringView, 4> pythonMarkers = {u"def ", u"import ", u"    # ", u"__name__"};

QStringList nonEmptyLines(const QString& text)
{
    QStringList lines = TextMetrics::splitLines(text);
    lines.removeIf([](const QString& line) { return line.isEmpty(); });
    return lines;
}

bool isJsonContainer(const QString& text)
{
    // Objects and arrays only; anything else cannot start with these.
    if (!text.startsWith(u'{') && !text.startsWith(u'['))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    return error.error == QJsonParseError::NoError && (document.isObject() || document.isArray());
}

} // namespace

namespace ContextComposer {

bool looksLikeCode(const QString& text)
{
    const QString s = text.trimmed();
    if (TextMetrics::count(s) < 3)
        return false;
    qsizetype opening = 0;
    qsizetype closing = 0;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == u'{' || u == u'(' || u == u'[')
            ++opening;
        else if (u == u'}' || u == u')' || u == u']')
            ++closing;
    }
    if (opening >= 2 && closing == opening)
        return true;
    if (containsAny(s.toLower(), codeMarkers))
        return true;
    const QStringList lines = nonEmptyLines(s);
    if (lines.size() < 4)
        return false;
    qint64 total = 0;
    for (const QString& line : lines)
        total += TextMetrics::count(line);
    return total / lines.size() >= 15;
}

std::optional<QString> detectCodeLanguage(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || !looksLikeCode(t))
        return std::nullopt;
    if (isJsonContainer(t))
        return u"json"_qs;
    const QString head = nonEmptyLines(t).mid(0, 10).join(u'\n');
    if (containsAny(head, swiftMarkers))
        return u"swift"_qs;
    if (containsAny(head, pythonMarkers))
        return u"python"_qs;
    return std::nullopt;
}

} // namespace ContextComposer
