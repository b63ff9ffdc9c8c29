#pragma once
// Counting and cutting text by user-perceived characters (extended grapheme clusters).
// Every "number of characters" in Tessellon is a count of clusters: a letter with a
// combining accent, an emoji with modifiers, a flag and CR LF each count once.

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace TextMetrics {

// Number of grapheme clusters in the text.
qsizetype count(QStringView text);

// UTF-16 offsets of every cluster boundary, 0 and text.size() included
// (count + 1 entries; {0} for the empty text).
QList<qsizetype> boundaries(QStringView text);

// UTF-16 length of the first n clusters (the whole text when it has fewer).
qsizetype prefixLength(QStringView text, qsizetype n);

// The first n clusters of the text.
QString prefix(const QString& text, qsizetype n);

// True when a cluster boundary stands at the UTF-16 offset.
bool isBoundary(QStringView text, qsizetype offset);

// Offset of the first line feed at or after `from` that is a cluster of its own (not the LF
// of a CR LF pair), or -1.
qsizetype indexOfLineFeed(QStringView text, qsizetype from = 0);

// Splits at every line feed that is a cluster of its own; a CR LF pair does not split.
QStringList splitLines(const QString& text);

// The text on one line, as a one-line label shows it or a screen reader reads it: each line
// break (CR LF, a lone CR or LF, a vertical tab, a form feed, NEL, a Unicode line or paragraph
// separator) becomes one space.
QString oneLine(QString text);

// The reference count straight from ICU's character iterator, without the ASCII
// shortcuts of count(); used to verify count() and as the benchmark's limit.
qsizetype countWithIcu(QStringView text);

} // namespace TextMetrics
