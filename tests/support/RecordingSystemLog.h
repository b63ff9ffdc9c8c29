#pragma once
// A system log that keeps every entry in memory, for tests.

#include "Platform/SystemLog.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

class RecordingSystemLog final : public SystemLog
{
public:
    void write(const SystemLogEntry& entry) override
    {
        const QMutexLocker locker(&m_mutex);
        m_entries.append(entry);
    }

    QList<SystemLogEntry> entries() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_entries;
    }

    // The public parts of the entries filed under one category, in order.
    QStringList messages(const QString& category) const
    {
        const QMutexLocker locker(&m_mutex);
        QStringList result;
        for (const SystemLogEntry& entry : m_entries)
            if (entry.category == category)
                result.append(entry.publicPart);
        return result;
    }

    void clear()
    {
        const QMutexLocker locker(&m_mutex);
        m_entries.clear();
    }

private:
    mutable QMutex m_mutex;
    QList<SystemLogEntry> m_entries;
};
