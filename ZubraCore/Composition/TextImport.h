#pragma once
// Splits pasted text into chunks that each become a source of their own: paragraphs stay whole
// when they fit, longer blocks are cut at line breaks, overlong lines at spaces or hard cuts.

#include <QString>
#include <QStringList>

namespace TextImport {

// The chunks of the text in order; none empty, none longer than maxLength characters.
// A maxLength below 1 counts as 1.
QStringList chunks(const QString& text, qsizetype maxLength);

} // namespace TextImport
