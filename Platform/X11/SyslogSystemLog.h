#pragma once
// The system log backend: syslog(3) under the program's identifier, the category in front of
// each message. Private parts are left out, so nothing personal reaches the shared log.

#include "Platform/SystemLog.h"
#include "Platform/AppIdentity.h"

#include <QByteArray>
#include <syslog.h>

class SyslogSystemLog final : public SystemLog
{
public:
    // The identifier must outlive every syslog call: a string literal does.
    explicit SyslogSystemLog(const char* identifier = AppIdentity::bundleIdentifier)
    {
        openlog(identifier, LOG_PID | LOG_NDELAY, LOG_USER);
    }

    void write(const SystemLogEntry& entry) override
    {
        syslog(priority(entry.level), "%s", formatLine(entry).constData());
    }

    // "[category] public part": the private part never reaches the shared log.
    static QByteArray formatLine(const SystemLogEntry& entry)
    {
        return ('[' + entry.category + "] " + entry.publicPart).toUtf8();
    }

    static int priority(SystemLogLevel level)
    {
        switch (level) {
        case SystemLogLevel::debug:
            return LOG_DEBUG;
        case SystemLogLevel::notice:
            return LOG_NOTICE;
        case SystemLogLevel::error:
            return LOG_ERR;
        }
        return LOG_NOTICE;
    }
};
