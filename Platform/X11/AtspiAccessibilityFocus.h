#pragma once
// The keyboard focus of every application on the accessibility bus, followed from the focus
// events the applications send, so that a capture knows the focused element in one step
// whatever the size of the tree.
//
// Only gains count: the last element that gained the focus in each application is kept. A
// focus-out alone changes nothing, for the passive grab of the capture hotkey makes GTK 3 drop
// its focus while the keys are held, and that is not the user's focus change; a real change
// comes with a gain elsewhere. The tracker listens on a private bus connection from a thread of
// its own (it tells the registry which events it wants: GTK sends only events someone asked
// for), connects again when the bus comes back, and is shared by every reader alive in the
// process.

#include <QHash>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

class AtspiFocusTracker
{
public:
    using Clock = std::chrono::steady_clock;

    // Where a focus gain was seen: the application's bus name and the element's path.
    struct Focus
    {
        QString service;
        QString path;
        Clock::time_point at;
    };

    // Attempts to reach the bus while it is not reachable are this far apart.
    static constexpr std::chrono::seconds reconnectInterval {5};
    static constexpr int maxApplications = 1024;

    // The tracker of this process, started when no reader holds one.
    static std::shared_ptr<AtspiFocusTracker> shared();
    ~AtspiFocusTracker();
    AtspiFocusTracker(const AtspiFocusTracker&) = delete;
    AtspiFocusTracker& operator=(const AtspiFocusTracker&) = delete;

    // The element that last gained the focus in the application with that bus name.
    std::optional<Focus> lastFocus(const QString& service) const;
    // The first gain in that application later than `since`, waiting for it at most `bound`.
    std::optional<Focus> waitForFocus(const QString& service, Clock::time_point since, std::chrono::milliseconds bound);
    // Whether the tracker listens to the bus, waiting for it at most `bound`.
    bool waitUntilListening(std::chrono::milliseconds bound);
    // Stops listening without waiting for it: the thread leaves the bus while the caller goes
    // on (at quit), and the destructor then finds it done. The gains seen so far stay.
    void stop();

    // Called from the tracker's thread.
    void gained(const QString& service, const QString& path);
    void setListening(bool listening);

private:
    AtspiFocusTracker();

    mutable std::mutex m_mutex; // guards everything below
    std::condition_variable m_changed;
    QHash<QString, Focus> m_focus;
    bool m_listening = false;
    std::unique_ptr<QThread> m_thread;
};
