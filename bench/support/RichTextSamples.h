#pragma once
// Generated rich-text inputs of about the given size: an HTML article (kept under the converter's
// token limit up to 1 MiB), the same kind of document in RTF, and Markdown. The same for the
// same size.

#include <QByteArray>
#include <QString>

namespace RichTextSamples {

inline constexpr qsizetype megabyte = 1024 * 1024;

QByteArray articleHtml(qsizetype targetBytes = megabyte);
QByteArray articleRtf(qsizetype targetBytes = megabyte);
QString articleMarkdown(qsizetype targetBytes = megabyte);

} // namespace RichTextSamples
