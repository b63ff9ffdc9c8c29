#include "ZubraCore/Capture/MarkdownHtml.h"

#include <md4c-html.h>

namespace MarkdownHtml {
namespace {

void collect(const MD_CHAR* text, MD_SIZE size, void* userdata)
{
    static_cast<QByteArray*>(userdata)->append(text, qsizetype(size));
}

// Whether a link or image address may stay: http, https, mailto, or no scheme at all.
bool isSafeAddress(QByteArray address)
{
    address.replace("&amp;", "&");
    const qsizetype colon = address.indexOf(':');
    if (colon < 0)
        return true;
    const QByteArray head = address.left(colon);
    if (head.contains('/') || head.contains('?') || head.contains('#'))
        return true; // the colon is inside a path, query or fragment: a relative address
    const QByteArray scheme = head.toLower();
    return scheme == "http" || scheme == "https" || scheme == "mailto";
}

// The renderer writes every address as a quoted, escaped attribute value, and text never holds
// a bare double quote, so each `href="` and `src="` starts an address. Unsafe ones become "#".
void neutralizeUnsafeAddresses(QByteArray& html)
{
    for (const char* attribute : {" href=\"", " src=\""}) {
        const qsizetype length = qsizetype(qstrlen(attribute));
        qsizetype at = html.indexOf(attribute);
        while (at >= 0) {
            const qsizetype start = at + length;
            const qsizetype end = html.indexOf('"', start);
            if (end < 0)
                break;
            if (!isSafeAddress(html.mid(start, end - start))) {
                html.replace(start, end - start, "#");
                at = html.indexOf(attribute, start + 1);
            } else {
                at = html.indexOf(attribute, end);
            }
        }
    }
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
    // captured "<script>" never becomes markup in the rendition, and addresses other than
    // web and mail ones never become links.
    const unsigned parserFlags = MD_FLAG_TABLES | MD_FLAG_STRIKETHROUGH | MD_FLAG_NOHTML;
    if (md_html(input.constData(), MD_SIZE(input.size()), collect, &document, parserFlags, MD_HTML_FLAG_SKIP_UTF8_BOM)
        != 0)
        return std::nullopt;
    neutralizeUnsafeAddresses(document);
    document.append(tail);
    return document;
}

} // namespace MarkdownHtml
