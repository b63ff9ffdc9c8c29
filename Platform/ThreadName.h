#pragma once
// Names the calling thread, as debuggers, profilers and /proc/PID/task show it. The kernel keeps
// 15 bytes of a name.

#include <QByteArray>
#include <QList>
#include <QString>
#include <pthread.h>

namespace ThreadName {

constexpr qsizetype maxLength = 15;

inline void setCurrent(QByteArray name)
{
    name.truncate(maxLength);
    pthread_setname_np(pthread_self(), name.constData());
}

// A name from a dotted label: its last parts that fit ("com.tessellon.store.save" is
// "store.save"), else the start of its last part.
inline QByteArray fromLabel(const QString& label)
{
    const QList<QByteArray> parts = label.toUtf8().split('.');
    QByteArray name = parts.last().left(maxLength);
    for (qsizetype i = parts.size() - 2; i >= 0; --i) {
        const QByteArray longer = parts.at(i) + '.' + name;
        if (longer.size() > maxLength)
            break;
        name = longer;
    }
    return name;
}

} // namespace ThreadName
