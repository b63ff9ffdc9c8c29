#pragma once
// Whether captures may run: the platform can post the copy keystroke, and the desktop's
// accessibility support is on or cannot exist at all (captures then go through the keystroke
// alone). The support's switch belongs to another process, which may be slow or hung: a backend
// reads it away from the GUI thread, follows its changes and publishes each state it reads
// here. Readers get the last state at once and never wait for the desktop.

#include <QObject>
#include <atomic>

// The desktop's accessibility support: not read yet, on, off (it can be turned on), or
// unavailable (nothing provides it, or there is no session bus).
enum class AccessibilityBusState { unknown, enabled, disabled, unavailable };

class AccessibilityTrust : public QObject
{
    Q_OBJECT

public:
    explicit AccessibilityTrust(bool keystrokes, QObject* parent = nullptr);

    // The last state published.
    AccessibilityBusState busState() const { return m_state.load(std::memory_order_acquire); }
    bool canPostKeystrokes() const { return m_keystrokes; }
    // The keystroke can be posted and the support is not off. A state not read yet counts as
    // trusted: nothing is asked of the user before the desktop has answered.
    bool isTrusted() const { return trusted(busState()); }

    // Asks the desktop to turn its support on; the state it then reads is published as usual.
    virtual void requestAccessibility() = 0;

signals:
    // On this object's thread, each time isTrusted() changes.
    void trustChanged(bool trusted);

protected:
    // Safe from any thread; the signal is sent on this object's thread.
    void publish(AccessibilityBusState state);

private:
    bool trusted(AccessibilityBusState state) const { return m_keystrokes && state != AccessibilityBusState::disabled; }

    const bool m_keystrokes;
    std::atomic<AccessibilityBusState> m_state {AccessibilityBusState::unknown};
};
