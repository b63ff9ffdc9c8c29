#pragma once
// The system's diagnostic log: one entry per event, filed under a category, with a public part
// that may be shown to anyone and a private part that a backend may withhold.

#include <QString>

enum class SystemLogLevel {
    debug,
    notice, // the log's default level
    error,
};

struct SystemLogEntry
{
    QString category;
    SystemLogLevel level = SystemLogLevel::notice;
    QString publicPart;
    QString privatePart; // empty when there is none

    friend bool operator==(const SystemLogEntry&, const SystemLogEntry&) = default;
};

class SystemLog
{
public:
    virtual ~SystemLog() = default;
    // Must be safe to call from any thread.
    virtual void write(const SystemLogEntry& entry) = 0;
};
