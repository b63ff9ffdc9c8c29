#pragma once
// After a capture whose copy keystroke left the clipboard unchanged, the application may still
// carry the copy out later (it was busy, or stopped): that copy would then replace what the user
// had on the clipboard. For a few seconds the guard keeps the snapshot taken before the
// keystroke and puts it back whenever a copy by that application arrives. A write by any other
// program ends the watch: that content is the user's.
//
// watch() and cancel() may be called from any thread; the checks run on the thread the guard
// lives on (the GUI thread), every pollInterval while a watch is on.

#include "Platform/Clock.h"
#include "Platform/Pasteboard.h"
#include "ZubraCore/Capture/Clipboard.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <mutex>
#include <optional>

class LateCopyGuard final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds watchTime {5000};
    static constexpr std::chrono::milliseconds pollInterval {40};

    LateCopyGuard(Pasteboard& pasteboard, Clock& clock, QObject* parent = nullptr);

    // Watches for copies by the process until watchTime has passed. `changeCount` is the
    // clipboard's count that the snapshot stands for. An incomplete snapshot is not watched.
    void watch(const Clipboard::PasteboardSnapshot& snapshot, qint64 changeCount, qint32 processIdentifier,
        const QString& appName);
    // A new capture takes over the clipboard: no watch any more.
    void cancel();
    bool isWatching() const;

    // One check, on the guard's thread; the timer calls it.
    void poll();

private:
    struct Watch
    {
        Clipboard::PasteboardSnapshot snapshot;
        qint64 changeCount = 0;
        qint32 processIdentifier = 0;
        QString appName;
        Clock::TimePoint deadline;
    };

    Pasteboard& m_pasteboard;
    Clock& m_clock;
    qint32 m_ownProcess;
    mutable std::mutex m_mutex; // guards m_watch
    std::optional<Watch> m_watch;
    QTimer m_timer;
};
