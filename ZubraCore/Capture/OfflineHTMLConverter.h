#pragma once
// HTML from the clipboard to attributed text, without a web engine and without network
// access. Keeps only what Markdown can express: line structure, bold, italic, code, headings,
// quotes, lists, safe links and table cells. Hostile or unusual HTML gives no result, and the
// caller falls back to another flavour.

#include "ZubraCore/Capture/AttributedText.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace OfflineHTMLConverter {

// The name of the heading-level attribute (TextAttributes::heading) that carries an HTML
// heading level to the Markdown serializer.
inline constexpr char headingKey[] = "TessellonHTMLHeading";

inline constexpr qsizetype maxInputBytes = 0x100000; // 1 MiB
inline constexpr int maxTokens = 20000;
inline constexpr int maxOpenFrames = 128;
inline constexpr qsizetype maxLinkBytes = 8192;

// The whole converted output (not trimmed), or nothing for input that is too large, not
// UTF-8, too deeply nested or has too many tokens, is cut off inside a comment, declaration,
// tag or script, leaves a hidden element open, or has no visible text.
std::optional<AttributedText> convert(const QByteArray& html);

// The link an href may become: http, https or mailto, at most 8,192 bytes, no white space,
// line breaks, parentheses, angle brackets, backslash or double quote.
std::optional<QString> safeLink(const QString& href);

// Decodes the named references of the converter's table and numeric references; anything
// else stays as written. The output is never decoded again.
QString decodeEntities(QStringView text);

} // namespace OfflineHTMLConverter
