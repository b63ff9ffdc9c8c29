#include "ZubraCore/Support/RelativeDate.h"

#include <QHash>
#include <memory>
#include <unicode/reldatefmt.h>

namespace RelativeDate {
namespace {

// Whole steps of one unit that fit from `from` without passing `to` (from <= to).
// `start` is a count known to fit, so that long spans need not walk one step at a time.
template <typename Step>
int wholeSteps(QDateTime& from, const QDateTime& to, Step step, int start = 0)
{
    int count = start;
    if (count > 0 && !(step(from, count) <= to))
        count = 0;
    while (true) {
        const QDateTime next = step(from, count + 1);
        if (!next.isValid() || next > to)
            break;
        ++count;
    }
    from = step(from, count);
    return count;
}

URelativeDateTimeUnit icuUnit(Offset::Unit unit)
{
    switch (unit) {
    case Offset::Unit::year: return UDAT_REL_UNIT_YEAR;
    case Offset::Unit::month: return UDAT_REL_UNIT_MONTH;
    case Offset::Unit::week: return UDAT_REL_UNIT_WEEK;
    case Offset::Unit::day: return UDAT_REL_UNIT_DAY;
    case Offset::Unit::hour: return UDAT_REL_UNIT_HOUR;
    case Offset::Unit::minute: return UDAT_REL_UNIT_MINUTE;
    case Offset::Unit::second: return UDAT_REL_UNIT_SECOND;
    }
    return UDAT_REL_UNIT_SECOND;
}

// The ICU locale that words dates for a Qt locale. Qt's C locale (a system with no language
// set) would be ICU's POSIX locale, which counts without a singular ("1 seconds ago"): it
// gets American English instead.
QString icuLocaleName(const QLocale& locale)
{
    return locale.language() == QLocale::C ? QStringLiteral("en_US") : locale.name();
}

// ICU formatters are costly to build: one per locale and thread.
icu::RelativeDateTimeFormatter* formatterFor(const QLocale& locale)
{
    thread_local QHash<QString, std::shared_ptr<icu::RelativeDateTimeFormatter>> formatters;
    const QString name = icuLocaleName(locale);
    auto it = formatters.find(name);
    if (it == formatters.end()) {
        UErrorCode status = U_ZERO_ERROR;
        auto formatter = std::make_shared<icu::RelativeDateTimeFormatter>(
            icu::Locale(name.toUtf8().constData()), nullptr, UDAT_STYLE_LONG, UDISPCTX_CAPITALIZATION_NONE, status);
        if (U_FAILURE(status))
            formatter.reset();
        it = formatters.insert(name, formatter);
    }
    return it->get();
}

QString englishFallback(const Offset& offset)
{
    static const char* const names[] = {"year", "month", "week", "day", "hour", "minute", "second"};
    const int magnitude = offset.count < 0 ? -offset.count : offset.count;
    const QString amount = QString::number(magnitude) + u' ' + QLatin1String(names[int(offset.unit)])
        + (magnitude == 1 ? QString() : QStringLiteral("s"));
    return offset.count < 0 ? amount + QStringLiteral(" ago") : QStringLiteral("in ") + amount;
}

} // namespace

Offset offset(const QDateTime& time, const QDateTime& reference, const QTimeZone& timeZone)
{
    if (!time.isValid() || !reference.isValid())
        return {};
    const bool past = time < reference;
    QDateTime from = (past ? time : reference).toTimeZone(timeZone);
    const QDateTime to = (past ? reference : time).toTimeZone(timeZone);
    const int sign = past ? -1 : 1;

    const int yearsAtLeast = qMax(0, to.date().year() - from.date().year() - 1);
    const int years
        = wholeSteps(from, to, [](const QDateTime& d, int n) { return d.addYears(n); }, yearsAtLeast);
    if (years)
        return {Offset::Unit::year, sign * years};
    const int months = wholeSteps(from, to, [](const QDateTime& d, int n) { return d.addMonths(n); });
    if (months)
        return {Offset::Unit::month, sign * months};
    const int weeks = wholeSteps(from, to, [](const QDateTime& d, int n) { return d.addDays(7 * n); });
    if (weeks)
        return {Offset::Unit::week, sign * weeks};
    const int days = wholeSteps(from, to, [](const QDateTime& d, int n) { return d.addDays(n); });
    if (days)
        return {Offset::Unit::day, sign * days};
    const qint64 seconds = from.secsTo(to); // under a day
    if (seconds >= 3600)
        return {Offset::Unit::hour, sign * int(seconds / 3600)};
    if (seconds >= 60)
        return {Offset::Unit::minute, sign * int(seconds / 60)};
    return {Offset::Unit::second, sign * int(seconds)};
}

QString format(const QDateTime& time, const QDateTime& reference, Style style, const QLocale& locale,
    const QTimeZone& timeZone)
{
    const Offset o = offset(time, reference, timeZone);
    icu::RelativeDateTimeFormatter* formatter = formatterFor(locale);
    if (!formatter)
        return englishFallback(o);
    icu::UnicodeString text;
    UErrorCode status = U_ZERO_ERROR;
    const double value = o.count;
    if (style == Style::named)
        formatter->format(value, icuUnit(o.unit), text, status);
    else
        formatter->formatNumeric(value, icuUnit(o.unit), text, status);
    if (U_FAILURE(status))
        return englishFallback(o);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace RelativeDate
