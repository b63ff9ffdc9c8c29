#pragma once
// The HTML rendition of a Markdown text that goes on the clipboard beside it.

#include <QByteArray>
#include <QString>
#include <optional>

namespace MarkdownHtml {

inline constexpr qsizetype maxMarkdownBytes = 64 * 1024 * 1024;

// A complete UTF-8 HTML document rendering the Markdown (block structure and inline markup;
// raw HTML in the text is shown as text, never passed through). Nothing for an empty text,
// a text over the limit, or when rendering fails.
std::optional<QByteArray> htmlDocument(const QString& markdown);

} // namespace MarkdownHtml
