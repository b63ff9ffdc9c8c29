#include "ZubraCore/Composition/CodeFence.h"

#include "ZubraCore/Text/TextMetrics.h"

#include <algorithm>

namespace {

qsizetype longestRun(QStringView text, QChar c)
{
    qsizetype best = 0;
    qsizetype run = 0;
    for (QChar ch : text) {
        run = ch == c ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

qsizetype leadingRun(QStringView text, QChar c)
{
    qsizetype n = 0;
    while (n < text.size() && text[n] == c)
        ++n;
    return n;
}

// A closing fence: only the fence character, at least `length` of them, surrounding blanks aside.
bool isClosingFence(QStringView line, QChar c, qsizetype length)
{
    const QStringView t = line.trimmed();
    return t.size() >= length && leadingRun(t, c) == t.size();
}

} // namespace

namespace CodeFence {

bool isCompleteFencedBlock(QStringView text)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty())
        return false;
    const QChar c = t.front();
    if (c != u'`' && c != u'~')
        return false;
    const qsizetype length = leadingRun(t, c);
    if (length < 3)
        return false;
    const QString owned = t.toString();
    const QStringList lines = TextMetrics::splitLines(owned);
    if (lines.size() < 2)
        return false;
    // A backtick fence's info string may not hold a backtick.
    if (c == u'`' && lines.front().indexOf(u'`', length) >= 0)
        return false;
    if (!isClosingFence(lines.back(), c, length))
        return false;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        if (isClosingFence(lines[i], c, length))
            return false;
    }
    return true;
}

QString fenced(const QString& text, const QString& language)
{
    const QString fence(std::max<qsizetype>(3, longestRun(text, u'`') + 1), u'`');
    return fence + language + u'\n' + text + u'\n' + fence;
}

} // namespace CodeFence
