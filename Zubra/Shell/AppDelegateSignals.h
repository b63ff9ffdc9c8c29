#pragma once
// SIGTERM, SIGINT and SIGHUP (the terminal that started the program closed) end the program the
// way Quit does: the handler only writes a byte into a pipe, and a thread that waits on the pipe
// hands the signal to the GUI thread. A blocked GUI thread never makes the process deaf: the
// next signal ends it from that thread, after the last writes that are safe there.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <thread>

class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    // Runs on the watching thread, not the GUI thread, before a second signal ends the process.
    using LastWrites = std::function<void()>;

    // Installs the handlers for the life of the object; only one object may exist.
    explicit TerminationSignals(LastWrites lastWrites = {}, QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isInstalled() const { return m_watcher.joinable(); }

signals:
    // On the GUI thread, once, for the first signal.
    void terminationRequested(int signalNumber);

private:
    void watch();

    LastWrites m_lastWrites;
    std::thread m_watcher;
};

// The session's accessibility bus: on, off (it can be turned on), or unavailable: there is no
// session bus, or no accessibility bus is running or can be started on it.
enum class AccessibilityBusState { enabled, disabled, unavailable };
AccessibilityBusState accessibilityBusState(const QDBusConnection& session = QDBusConnection::sessionBus());

// Whether the session's accessibility bus is on (org.a11y.Status IsEnabled); false when the bus
// does not answer.
bool isAccessibilityBusEnabled();

// Whether captures may run: the platform can post the copy keystroke (`keystrokes`, X11 with
// XTEST), and the accessibility bus is on, or cannot exist at all (the capture then goes
// through the copy keystroke alone).
bool isCaptureTrusted(bool keystrokes);

// What keeps captures from running, in a sentence for the accessibility alert; empty when only
// the accessibility bus is off (the alert's own text says that) or nothing is missing.
QString missingForCapture(bool keystrokes);

// Turns the session's accessibility bus on (org.a11y.Status IsEnabled), so that toolkits publish
// their trees; false when the bus did not take it.
bool enableAccessibilityBus();
