#pragma once
// Rich Text Format from the clipboard to attributed text. Reads the subset that reaches
// Markdown: groups and ignorable destinations, bold, italic, sizes and the font table
// (modern fonts are monospaced), paragraphs, line breaks, tabs, Unicode and code-page
// escapes, hyperlink fields, indents and lists with their list text. Pictures and binary
// data are skipped. Input over the limits, or malformed, gives no result.

#include "ZubraCore/Capture/AttributedText.h"

#include <QByteArray>
#include <optional>

namespace RtfReader {

inline constexpr qsizetype maxInputBytes = 8 * 1024 * 1024;
inline constexpr int maxGroupDepth = 256;
inline constexpr qsizetype maxOutputLength = 8 * 1024 * 1024; // UTF-16 units

std::optional<AttributedText> read(const QByteArray& rtf);

// RTFD (a bundle of RTF and attachments) has no producer on Linux desktops: always nothing.
std::optional<AttributedText> readRtfd(const QByteArray& rtfd);

} // namespace RtfReader
