#pragma once
// The session's accessibility bus (org.a11y.Bus): its IsEnabled status, read and set over the
// session bus.

#include <QDBusConnection>
#include <QString>

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
