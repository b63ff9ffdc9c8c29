#pragma once
// Capture times as the detail shows them: the platform's date and time styles (short, medium,
// long, full) of a given locale and time zone, worded by ICU.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>

namespace DetailDates {

enum class Style { none, shortStyle, medium, longStyle, full };

// "Mar 14, 2025, 10:00 AM" for medium and short in en_US; empty for an invalid time.
QString format(const QDateTime& time, Style dateStyle, Style timeStyle, const QLocale& locale,
    const QTimeZone& timeZone);

} // namespace DetailDates
