#pragma once
// Attributed text (converted HTML or rich text) to the Markdown kept with a selection:
// headings (from the HTML heading level, else from font size), nested list items, quotes
// (from indentation), inline code (monospaced fonts), bold, italic and links.

#include "ZubraCore/Capture/AttributedText.h"

#include <QString>

namespace MarkdownSerializer {

// Never fails; an empty source gives the empty string.
QString convert(const AttributedText& source);

// Whether a font counts as monospaced (by a known family, by name or by its trait).
bool isMonospace(const TextFont& font);

// Backslash before each of \ * _ ` [ ]; everything else unchanged.
QString escapedPlain(QStringView text);

// The body size: the smallest of the most frequent font sizes over the font runs, each
// rounded half away from zero; 12 without fonts.
double estimateBodySize(const AttributedText& source);

} // namespace MarkdownSerializer
