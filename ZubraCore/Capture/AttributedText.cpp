#include "ZubraCore/Capture/AttributedText.h"

#include <algorithm>

AttributedText::AttributedText(const QString& text, const TextAttributes& attributes)
{
    append(text, attributes);
}

void AttributedText::append(QStringView text, const TextAttributes& attributes)
{
    if (text.isEmpty())
        return;
    const qsizetype start = m_text.size();
    m_text.append(text);
    if (!m_runs.isEmpty() && m_runs.last().attributes == attributes)
        m_runs.last().length += text.size();
    else
        m_runs.append(TextRun {start, text.size(), attributes});
}

void AttributedText::append(const AttributedText& other)
{
    for (const TextRun& run : other.m_runs)
        append(QStringView(other.m_text).mid(run.start, run.length), run.attributes);
}

qsizetype AttributedText::runIndexAt(qsizetype offset) const
{
    if (offset < 0 || offset >= m_text.size())
        return -1;
    auto it = std::upper_bound(
        m_runs.cbegin(), m_runs.cend(), offset, [](qsizetype value, const TextRun& run) { return value < run.start; });
    return (it - m_runs.cbegin()) - 1;
}

TextAttributes AttributedText::attributesAt(qsizetype offset) const
{
    const qsizetype i = runIndexAt(offset);
    return i < 0 ? TextAttributes {} : m_runs.at(i).attributes;
}

bool isParagraphSeparator(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == u'\x2029';
}

ParagraphRange AttributedText::paragraphRangeAt(qsizetype offset) const
{
    const qsizetype n = m_text.size();
    if (n == 0)
        return {};
    offset = std::clamp<qsizetype>(offset, 0, n - 1);
    const char16_t* d = reinterpret_cast<const char16_t*>(m_text.utf16());
    // The start: just after the previous terminator. The LF of a CR LF pair belongs to the
    // paragraph the CR ends.
    qsizetype start = offset;
    if (d[start] == u'\n' && start > 0 && d[start - 1] == u'\r')
        --start;
    while (start > 0 && !isParagraphSeparator(d[start - 1]))
        --start;
    qsizetype end = offset;
    if (end > start && d[end] == u'\n' && d[end - 1] == u'\r')
        end = end - 1;
    while (end < n && !isParagraphSeparator(d[end]))
        ++end;
    if (end < n) {
        if (d[end] == u'\r' && end + 1 < n && d[end + 1] == u'\n')
            end += 2;
        else
            end += 1;
    }
    return {start, end - start};
}
