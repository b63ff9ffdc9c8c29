#include "Zubra/LibraryWindow/DetailDates.h"

#include <memory>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace DetailDates {

namespace {

icu::DateFormat::EStyle icuStyle(Style style)
{
    switch (style) {
    case Style::none:
        return icu::DateFormat::kNone;
    case Style::shortStyle:
        return icu::DateFormat::kShort;
    case Style::medium:
        return icu::DateFormat::kMedium;
    case Style::longStyle:
        return icu::DateFormat::kLong;
    case Style::full:
        return icu::DateFormat::kFull;
    }
    return icu::DateFormat::kNone;
}

} // namespace

QString format(const QDateTime& time, Style dateStyle, Style timeStyle, const QLocale& locale,
    const QTimeZone& timeZone)
{
    if (!time.isValid())
        return {};
    // The "C" locale words dates as en_US does.
    const QString localeName = locale.language() == QLocale::C ? u"en_US"_qs : locale.name();
    std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateTimeInstance(
        icuStyle(dateStyle), icuStyle(timeStyle), icu::Locale(localeName.toLatin1().constData())));
    if (!formatter)
        return locale.toString(time.toTimeZone(timeZone), QLocale::ShortFormat);
    const QByteArray zoneID = timeZone.isValid() ? timeZone.id() : QByteArray("UTC");
    formatter->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zoneID.constData())));
    icu::UnicodeString out;
    formatter->format(static_cast<UDate>(time.toMSecsSinceEpoch()), out);
    return QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length());
}

} // namespace DetailDates
