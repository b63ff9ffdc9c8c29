#include "ZubraCore/Support/IsoDate.h"

namespace IsoDate {
namespace {

void putDigits(char* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
}

// Reads `width` ASCII digits; -1 when any is not a digit.
template <typename Char> int digits(const Char* text, int width)
{
    int value = 0;
    for (int i = 0; i < width; ++i) {
        const auto c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + int(c - '0');
    }
    return value;
}

template <typename Char> std::optional<QDateTime> parseChars(const Char* t, qsizetype length)
{
    if (length != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != 'Z')
        return std::nullopt;
    const int year = digits(t, 4), month = digits(t + 5, 2), day = digits(t + 8, 2);
    const int hour = digits(t + 11, 2), minute = digits(t + 14, 2), second = digits(t + 17, 2);
    if (year < 1 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return std::nullopt;
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

} // namespace

int toUtf8(const QDateTime& time, char* buf)
{
    if (!time.isValid())
        return 0;
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    if (date.year() < 1 || date.year() > 9999)
        return 0;
    putDigits(buf, date.year(), 4);
    buf[4] = '-';
    putDigits(buf + 5, date.month(), 2);
    buf[7] = '-';
    putDigits(buf + 8, date.day(), 2);
    buf[10] = 'T';
    putDigits(buf + 11, clock.hour(), 2);
    buf[13] = ':';
    putDigits(buf + 14, clock.minute(), 2);
    buf[16] = ':';
    putDigits(buf + 17, clock.second(), 2);
    buf[19] = 'Z';
    return 20;
}

QString toText(const QDateTime& time)
{
    char buf[20];
    const int length = toUtf8(time, buf);
    return QString::fromLatin1(buf, length);
}

std::optional<QDateTime> parse(QStringView text)
{
    return parseChars(text.utf16(), text.size());
}

std::optional<QDateTime> parseUtf8(const char* text, qsizetype length)
{
    return parseChars(text, length);
}

QDateTime wholeSecond(const QDateTime& time)
{
    if (!time.isValid())
        return time;
    const QDateTime utc = time.toUTC();
    return QDateTime::fromSecsSinceEpoch(utc.toSecsSinceEpoch(), Qt::UTC);
}

} // namespace IsoDate
