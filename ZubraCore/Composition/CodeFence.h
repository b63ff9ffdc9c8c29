#pragma once
// Markdown code fences around detected code.

#include <QString>
#include <QStringView>

namespace CodeFence {

// True when the text is one complete fenced code block: an opening fence line, a closing fence line
// at its very end, and no closing fence in between.
bool isCompleteFencedBlock(QStringView text);

// The text fenced with `language` as the info string. The fence is longer than any backtick run
// in the text (at least three backticks), so the text cannot close it early.
QString fenced(const QString& text, const QString& language);

} // namespace CodeFence
