#pragma once
// "2 hours ago", "yesterday": how long before or after a reference moment a time lies, in the
// largest calendar unit that is not zero (years, months, weeks, days, hours, minutes, seconds),
// counted in the given time zone and worded for the given locale (in English for the C locale).

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>

namespace RelativeDate {

enum class Style {
    numeric, // always a count: "1 day ago", "in 0 seconds"
    named, // a name where the language has one: "yesterday", "last week", "now"
};

// One calendar unit and a signed count of it (negative: before the reference).
struct Offset
{
    enum class Unit { year, month, week, day, hour, minute, second };
    Unit unit = Unit::second;
    int count = 0;
    friend bool operator==(const Offset&, const Offset&) = default;
};

// The largest non-zero unit of the calendar difference from reference to time.
Offset offset(const QDateTime& time, const QDateTime& reference, const QTimeZone& timeZone);

QString format(const QDateTime& time, const QDateTime& reference, Style style, const QLocale& locale,
    const QTimeZone& timeZone);

} // namespace RelativeDate
