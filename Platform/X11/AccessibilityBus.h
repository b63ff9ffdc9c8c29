#pragma once
// The session's accessibility bus (org.a11y.Bus) and its switch, org.a11y.Status IsEnabled.
//
// AccessibilityBusTrust reads the switch on a thread of its own ("Accessibility status"), follows
// its PropertiesChanged signal and the bus's owner, and publishes each state it reads: the GUI
// thread never waits for the bus, which belongs to another process and may be slow or hung.
// The free functions are the blocking calls that thread makes, each bounded by `callTimeout`.

#include "Platform/AccessibilityTrust.h"

#include <QDBusConnection>
#include <QPointer>
#include <QString>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>

class AccessibilityBusTrust final : public AccessibilityTrust
{
public:
    // How long stop() waits for the reading thread, which may be in a call to a hung bus.
    static constexpr std::chrono::milliseconds stopBound {100};

    // Lines for the program's log, written from the reading thread.
    using Log = std::function<void(const QString&)>;

    // Starts reading at once. `keystrokes`: the platform can post the copy keystroke.
    explicit AccessibilityBusTrust(bool keystrokes, Log log = {},
        const QDBusConnection& session = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    // Stops reading as stop() does. A thread still in a call then ends on its own once the call
    // times out, with what it shares with the trust and the session connection: the program
    // must not tear down the connection or the log before then (it ends without its teardown).
    ~AccessibilityBusTrust() override;

    // Ends the reading, waiting for the thread at most stopBound; true when it has ended (it
    // may still be in a call to a hung bus, for up to accessibilityBusCallTimeout).
    bool stop();

    void requestAccessibility() override;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    // Deleted once it has ended: by stop(), or after it on the thread's own finishing.
    QPointer<QThread> m_thread;
};

// Every call to the accessibility bus is answered within this or taken as no answer.
constexpr std::chrono::milliseconds accessibilityBusCallTimeout {1000};

// The switch as the bus answers now: on, off, or unavailable (no session bus, or no accessibility
// bus runs or can be started on it). A bus that does not answer in time counts as off.
AccessibilityBusState accessibilityBusState(const QDBusConnection& session = QDBusConnection::sessionBus());

// Turns the switch on, so that toolkits publish their trees; false when the bus did not take it.
bool enableAccessibilityBus(const QDBusConnection& session = QDBusConnection::sessionBus());

// What keeps captures from running, in a sentence for the accessibility alert; empty when only
// the accessibility bus is off (the alert's own text says that) or nothing is missing.
QString missingForCapture(bool keystrokes);
