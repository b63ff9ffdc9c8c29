#include "ZubraCore/Capture/LateCopyGuard.h"

#include "ZubraCore/Support/Logging.h"

#include <QCoreApplication>

LateCopyGuard::LateCopyGuard(Pasteboard& pasteboard, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_pasteboard(pasteboard)
    , m_clock(clock)
    , m_ownProcess(qint32(QCoreApplication::applicationPid()))
{
    m_timer.setInterval(pollInterval);
    connect(&m_timer, &QTimer::timeout, this, &LateCopyGuard::poll);
}

void LateCopyGuard::watch(const Clipboard::PasteboardSnapshot& snapshot, qint64 changeCount,
    qint32 processIdentifier, const QString& appName)
{
    if (!snapshot.complete || processIdentifier <= 0)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_watch = Watch {snapshot, changeCount, processIdentifier, appName, m_clock.now() + watchTime};
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_timer.isActive())
                m_timer.start();
        },
        Qt::QueuedConnection);
}

void LateCopyGuard::cancel()
{
    const std::lock_guard lock(m_mutex);
    m_watch.reset();
}

bool LateCopyGuard::isWatching() const
{
    const std::lock_guard lock(m_mutex);
    return m_watch.has_value();
}

void LateCopyGuard::poll()
{
    const std::lock_guard lock(m_mutex);
    if (m_watch) {
        const qint64 count = Clipboard::changeCount(m_pasteboard);
        if (count != m_watch->changeCount) {
            const qint32 owner = m_pasteboard.ownerProcess();
            if (owner == m_watch->processIdentifier) {
                // The copy the capture asked for, too late: the user's content goes back. The
                // watch goes on, as a second keystroke may still be waiting in the application.
                if (Clipboard::restore(m_watch->snapshot, m_pasteboard)) {
                    logMP(QStringLiteral("Capture: a late copy by ") + m_watch->appName
                        + QStringLiteral(" replaced the clipboard; it was put back"));
                    m_watch->changeCount = Clipboard::changeCount(m_pasteboard);
                } else {
                    logMP(QStringLiteral("Capture: a late copy by ") + m_watch->appName
                        + QStringLiteral(" replaced the clipboard, which could not be put back"));
                    m_watch.reset();
                }
            } else if (owner == m_ownProcess) {
                m_watch->changeCount = count; // the put-back itself, announced late
            } else {
                m_watch.reset(); // another program wrote: that is the user's clipboard now
            }
        }
        if (m_watch && !(m_clock.now() < m_watch->deadline))
            m_watch.reset();
    }
    if (!m_watch)
        m_timer.stop();
}
