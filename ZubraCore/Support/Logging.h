#pragma once
// Diagnostics: four category loggers writing to the system log, the log file, and logMP, the
// general-purpose line that goes to both.

#include "Platform/SystemLog.h"
#include "ZubraCore/Support/IsoDate.h"
#include "ZubraCore/Text/Uuids.h"

#include <QDateTime>
#include <QDebug>
#include <QString>
#include <QUuid>
#include <chrono>
#include <concepts>
#include <optional>
#include <type_traits>

// Writes to the system log under one category of the program's subsystem.
class CategoryLogger
{
public:
    explicit CategoryLogger(const QString& category)
        : m_category(category)
    {
    }

    QString category() const { return m_category; }
    void debug(const QString& message) const;
    // The system log's default level.
    void notice(const QString& message) const;
    // The public part is always shown; the private part may be withheld by the system log.
    void error(const QString& publicPart, const QString& privatePart = {}) const;

private:
    QString m_category;
};

namespace Loggers {

// The subsystem every category belongs to: the program's identifier.
QString subsystem();

const CategoryLogger& app();
const CategoryLogger& capture();
const CategoryLogger& store();
const CategoryLogger& hotkey();

// Routes every category to this log from now on (the program passes in the system's); nullptr:
// entries go nowhere. The log must outlive its use (set it back to nullptr before destroying it).
void setSystemLog(SystemLog* log);

} // namespace Loggers

// The append-only log file "tessellon.log", written on one serial background queue.
namespace FileLogger {

// $TESSELLON_LOG_DIR when set and not empty (taken as given), else $XDG_STATE_HOME/Tessellon,
// else ~/.local/state/Tessellon.
QString logDirectory();
QString logFilePath();

// Opens the log file once; true when it is open. After a failure one line goes to the standard
// error stream and a later call tries again; after a success further calls do nothing.
bool start();
// Queues one line, stamped with the time it is written, and returns at once. Lines logged
// before start() succeeded are dropped. Safe from any thread.
void log(const QString& message);
// How long a flush waits at most: a log file on a stalled disk never holds up an ending.
constexpr std::chrono::milliseconds flushBound {1000};
// Waits until every line queued so far has been written, at most `bound`; true when they are.
bool flush(std::chrono::milliseconds bound = flushBound);

} // namespace FileLogger

namespace LogDescription {

// The plain textual description logMP appends for a value.
template <typename T> QString describe(const T& value)
{
    if constexpr (std::is_same_v<T, bool>) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    } else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, QChar> || std::is_same_v<T, char16_t>) {
        return QString(QChar(value));
    } else if constexpr (std::is_arithmetic_v<T>) {
        return QString::number(value);
    } else if constexpr (std::is_enum_v<T>) {
        return QString::number(qToUnderlying(value));
    } else if constexpr (std::is_same_v<T, QUuid>) {
        return Uuids::toText(value);
    } else if constexpr (std::is_same_v<T, QDateTime>) {
        return IsoDate::toText(value);
    } else if constexpr (std::is_convertible_v<const T&, QString>) {
        return QString(value);
    } else if constexpr (std::is_convertible_v<const T&, const char*>) {
        return QString::fromUtf8(value);
    } else if constexpr (requires {
                             typename T::value_type;
                             value.has_value();
                             *value;
                         }) {
        return value ? describe(*value) : QStringLiteral("none");
    } else {
        static_assert(
            requires(QDebug stream) { stream << value; }, "logMP needs a describable value");
        QString text;
        QDebug(&text).noquote().nospace() << value;
        return text;
    }
}

} // namespace LogDescription

// Writes the finished logMP line: debug level on the "app" category, then the log file.
void logMPLine(const QString& line);

// The message, then each value's description after one space; to the system log and the file.
template <typename... Values> void logMP(const QString& message, const Values&... values)
{
    QString line = message;
    ((line += QLatin1Char(' '), line += LogDescription::describe(values)), ...);
    logMPLine(line);
}
