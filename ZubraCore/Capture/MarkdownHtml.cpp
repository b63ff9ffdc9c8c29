#include "ZubraCore/Capture/MarkdownHtml.h"

#include <md4c-html.h>

namespace MarkdownHtml {
namespace {

void collect(const MD_CHAR* text, MD_SIZE size, void* userdata)
{
    static_cast<QByteArray*>(userdata)->append(text, qsizetype(size));
}

} // namespace

std::optional<QByteArray> htmlDocument(const QString& markdown)
{
    if (markdown.isEmpty())
        return std::nullopt;
    const QByteArray input = markdown.toUtf8();
    if (input.size() > maxMarkdownBytes)
        return std::nullopt;
    static constexpr char head[] = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n</head>\n<body>\n";
    static constexpr char tail[] = "</body>\n</html>\n";
    QByteArray document;
    document.reserve(input.size() + input.size() / 4 + qsizetype(sizeof head + sizeof tail));
    document.append(head);
    // Tables and strikethrough as the common dialect has them; raw HTML stays text, so a
    // captured "<script>" never becomes markup in the rendition.
    const unsigned parserFlags = MD_FLAG_TABLES | MD_FLAG_STRIKETHROUGH | MD_FLAG_NOHTML;
    if (md_html(input.constData(), MD_SIZE(input.size()), collect, &document, parserFlags, MD_HTML_FLAG_SKIP_UTF8_BOM)
        != 0)
        return std::nullopt;
    document.append(tail);
    return document;
}

} // namespace MarkdownHtml
