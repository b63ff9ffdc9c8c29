#pragma once
// What every result of a rich-text reader keeps: runs that cover the text from start to end
// without gaps or empty runs, no two neighbours with equal attributes, and links that are safe.
// The Markdown written from it is then made too, so that the serializer sees every shape.

#include "ZubraCore/Capture/AttributedText.h"
#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Capture/OfflineHTMLConverter.h"

#include <cstdlib>

inline void checkAttributedText(const AttributedText& text, qsizetype maxLength)
{
    if (text.length() > maxLength)
        std::abort();
    qsizetype at = 0;
    const TextRun* previous = nullptr;
    for (const TextRun& run : text.runs()) {
        if (run.start != at || run.length <= 0 || (previous && previous->attributes == run.attributes))
            std::abort();
        if (run.attributes.link && run.attributes.link->isUrl
            && !OfflineHTMLConverter::safeLink(run.attributes.link->target))
            std::abort();
        at = run.end();
        previous = &run;
    }
    if (at != text.length())
        std::abort();
    (void)MarkdownSerializer::convert(text);
}
