#pragma once
// The one date-time text form of the library file and the log file: ISO 8601 in UTC with the
// designator "Z" and whole seconds, such as 2025-03-14T09:26:53Z.

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>

namespace IsoDate {

// Converts to UTC and drops the sub-second part; an invalid time gives the empty string.
QString toText(const QDateTime& time);
// The same text as UTF-8 into buf (at least 20 bytes); returns the number of bytes (0 when invalid).
int toUtf8(const QDateTime& time, char* buf);

// Reads exactly "YYYY-MM-DDTHH:MM:SSZ" naming a real calendar time; anything else gives nothing
// (no fractions, no offsets, no space for the "T", no missing seconds).
std::optional<QDateTime> parse(QStringView text);
std::optional<QDateTime> parseUtf8(const char* text, qsizetype length);

// The time truncated to the whole second, in UTC: what a round trip through the text keeps.
QDateTime wholeSecond(const QDateTime& time);

} // namespace IsoDate
