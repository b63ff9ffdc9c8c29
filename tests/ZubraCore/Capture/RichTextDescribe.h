#pragma once
// A compact text form of attributed text for test expectations: one "{text|flags}" per run.
// Flags: b bold, i italic, m monospaced face, hN heading level, q quote indent, ul/ol the list
// stack (outermost first, joined by ">"), a=target for a link, s=N for a size other than 12.

#include "ZubraCore/Capture/AttributedText.h"

#include <QStringList>

inline QString describeAttributes(const TextAttributes& a)
{
    QStringList flags;
    if (a.font) {
        if (a.font->bold)
            flags << QStringLiteral("b");
        if (a.font->italic)
            flags << QStringLiteral("i");
        if (a.font->monospaceTrait)
            flags << QStringLiteral("m");
        if (a.font->pointSize != 12.0)
            flags << QStringLiteral("s=") + QString::number(a.font->pointSize);
    }
    if (a.heading && *a.heading != 0)
        flags << QStringLiteral("h") + QString::number(*a.heading);
    if (a.paragraphStyle) {
        if (a.paragraphStyle->firstLineHeadIndent != 0)
            flags << QStringLiteral("q=") + QString::number(a.paragraphStyle->firstLineHeadIndent);
        QStringList lists;
        for (const TextList& list : a.paragraphStyle->textLists)
            lists << (list.marker == TextListMarker::Decimal ? QStringLiteral("ol") : QStringLiteral("ul"));
        if (!lists.isEmpty())
            flags << lists.join(u'>');
    }
    if (a.link)
        flags << QStringLiteral("a=") + a.link->target;
    return flags.join(u',');
}

inline QString describe(const AttributedText& text)
{
    QString out;
    for (const TextRun& run : text.runs())
        out += u'{' + text.text().mid(run.start, run.length) + u'|' + describeAttributes(run.attributes) + u'}';
    return out;
}

// Runs cover the text without gaps and no two neighbours are equal.
inline bool runsAreWellFormed(const AttributedText& text)
{
    qsizetype expected = 0;
    for (qsizetype k = 0; k < text.runs().size(); ++k) {
        const TextRun& run = text.runs().at(k);
        if (run.start != expected || run.length <= 0)
            return false;
        if (k > 0 && text.runs().at(k - 1).attributes == run.attributes)
            return false;
        expected = run.end();
    }
    return expected == text.length();
}
