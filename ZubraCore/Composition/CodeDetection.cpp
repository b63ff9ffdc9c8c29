// Telling code from prose, and naming the language of code.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
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

// A set of ASCII markers found in one pass over a text. A match counts only where it starts and
// ends at character boundaries, so ";" does not match a semicolon carrying a combining mark.
class MarkerSet
{
public:
    MarkerSet(std::initializer_list<QStringView> markers)
        : m_markers(markers)
    {
        for (qsizetype m = 0; m < m_markers.size(); ++m) {
            const QStringView marker = m_markers[m];
            Slot& slot = m_byFirst[marker.front().unicode()];
            Q_ASSERT(slot.count < int(slot.markers.size()));
            slot.markers[slot.count++] = int(m);
            if (marker.size() == 1)
                m_single[marker.front().unicode()] = true;
            else
                m_pairs[marker[0].unicode() * 128 + marker[1].unicode()] = true;
        }
    }

    bool foundIn(QStringView text) const
    {
        const char16_t* d = text.utf16();
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t c = d[i];
            if (c >= 128)
                continue;
            // Most positions fail on their first two characters.
            if (!m_single[c] && !(i + 1 < n && d[i + 1] < 128 && m_pairs[c * 128 + d[i + 1]]))
                continue;
            const Slot& slot = m_byFirst[c];
            for (int k = 0; k < slot.count; ++k) {
                const QStringView marker = m_markers[slot.markers[k]];
                const qsizetype length = marker.size();
                if (n - i < length)
                    continue;
                qsizetype j = 1;
                while (j < length && d[i + j] == marker[j].unicode())
                    ++j;
                if (j == length && boundaryAt(text, i) && boundaryAt(text, i + length))
                    return true;
            }
        }
        return false;
    }

private:
    struct Slot
    {
        std::array<int, 3> markers {};
        int count = 0;
    };
    QList<QStringView> m_markers;
    std::array<Slot, 128> m_byFirst {};
    std::array<bool, 128> m_single {};
    std::array<bool, 128 * 128> m_pairs {};
};

const MarkerSet codeMarkers = {u"def ", u"func ", u"class ", u" import ", u"return ", u"let ", u"var ", u"const ",
    u"public ", u"private ", u"static ", u"</", u"?>", u"??:", u"@interface", u"@implementation", u"#include",
    u"#import", u"  // ", u"\t//", u"=>", u"::", u";"};
const MarkerSet swiftMarkers = {u"func ", u"let ", u"var ", u"->"};
const MarkerSet pythonMarkers = {u"def ", u"import ", u"    # ", u"__name__"};

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
    // Fewer than three characters; a prefix never holds more characters than the whole text.
    if (TextMetrics::count(QStringView(s).first(std::min<qsizetype>(s.size(), 64))) < 3
        && (s.size() <= 64 || TextMetrics::count(s) < 3))
        return false;
    // A bracket counts only as a character of its own: "(" with a combining mark is another
    // character.
    qsizetype opening = 0;
    qsizetype closing = 0;
    const QStringView view(s);
    for (qsizetype i = 0; i < view.size(); ++i) {
        const char16_t u = view[i].unicode();
        const bool opens = u == u'{' || u == u'(' || u == u'[';
        if (!opens && u != u'}' && u != u')' && u != u']')
            continue;
        if (!boundaryAt(view, i) || !boundaryAt(view, i + 1))
            continue;
        ++(opens ? opening : closing);
    }
    if (opening >= 2 && closing == opening)
        return true;
    if (codeMarkers.foundIn(s.toLower()))
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
    if (swiftMarkers.foundIn(head))
        return u"swift"_qs;
    if (pythonMarkers.foundIn(head))
        return u"python"_qs;
    return std::nullopt;
}

} // namespace ContextComposer
