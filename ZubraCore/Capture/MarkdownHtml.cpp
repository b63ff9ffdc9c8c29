#include "ZubraCore/Capture/MarkdownHtml.h"

#include <algorithm>
#include <cstring>
#include <md4c-html.h>

namespace MarkdownHtml {
namespace {

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

// Collects the renderer's output into one growing buffer. The renderer writes a link or image
// address in pieces between the opening `<a href="` or `<img src="` and a piece that starts with
// the closing quote (a quote inside an address is always percent-encoded); the pieces are held
// back until then, and an unsafe address is written as "#".
class Collector
{
public:
    explicit Collector(qsizetype expected)
    {
        m_buffer.resize(std::max<qsizetype>(expected, 256));
        m_data = m_buffer.data();
    }

    static void callback(const MD_CHAR* text, MD_SIZE size, void* userdata)
    {
        static_cast<Collector*>(userdata)->take(text, qsizetype(size));
    }

    void append(const char* text, qsizetype size)
    {
        if (m_size + size > m_buffer.size()) {
            m_buffer.resize(std::max(m_buffer.size() * 2, m_size + size));
            m_data = m_buffer.data();
        }
        std::memcpy(m_data + m_size, text, size_t(size));
        m_size += size;
    }

    QByteArray take()
    {
        m_buffer.resize(m_size);
        return std::move(m_buffer);
    }

private:
    void take(const char* text, qsizetype size)
    {
        if (m_inAddress) {
            if (size == 0 || text[0] != '"') {
                m_address.append(text, size);
                return;
            }
            m_inAddress = false;
            if (isSafeAddress(m_address))
                append(m_address.constData(), m_address.size());
            else
                append("#", 1);
            m_address.clear();
        }
        append(text, size);
        if (opensAddress(text, size))
            m_inAddress = true;
    }

    static bool opensAddress(const char* text, qsizetype size)
    {
        static constexpr char link[] = "<a href=\"";
        static constexpr char image[] = "<img src=\"";
        return (size == qsizetype(sizeof link - 1) && std::memcmp(text, link, sizeof link - 1) == 0)
            || (size == qsizetype(sizeof image - 1) && std::memcmp(text, image, sizeof image - 1) == 0);
    }

    QByteArray m_buffer;
    char* m_data = nullptr;
    qsizetype m_size = 0;
    QByteArray m_address;
    bool m_inAddress = false;
};

} // namespace

std::optional<QByteArray> htmlDocument(const QString& markdown)
{
    if (markdown.isEmpty())
        return std::nullopt;
    if (markdown.size() > maxMarkdownBytes)
        return std::nullopt; // every unit gives at least one byte
    const QByteArray input = markdown.toUtf8();
    if (input.size() > maxMarkdownBytes)
        return std::nullopt;
    static constexpr char head[] = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n</head>\n<body>\n";
    static constexpr char tail[] = "</body>\n</html>\n";
    Collector collector(input.size() + input.size() / 2 + qsizetype(sizeof head + sizeof tail));
    collector.append(head, qsizetype(sizeof head - 1));
    // Tables and strikethrough as the common dialect has them; raw HTML stays text, so a
    // captured "<script>" never becomes markup in the rendition, and addresses other than
    // web and mail ones never become links.
    const unsigned parserFlags = MD_FLAG_TABLES | MD_FLAG_STRIKETHROUGH | MD_FLAG_NOHTML;
    if (md_html(input.constData(), MD_SIZE(input.size()), Collector::callback, &collector, parserFlags,
            MD_HTML_FLAG_SKIP_UTF8_BOM)
        != 0)
        return std::nullopt;
    collector.append(tail, qsizetype(sizeof tail - 1));
    return collector.take();
}

} // namespace MarkdownHtml
