#include "Platform/X11/AccessibilityBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

// Every question to the accessibility bus is answered quickly or taken as no.
constexpr int busTimeoutMs = 1000;

QDBusMessage statusCall(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), method);
    call << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled");
    return call;
}

} // namespace

AccessibilityBusState accessibilityBusState(const QDBusConnection& session)
{
    if (!session.isConnected())
        return AccessibilityBusState::unavailable;
    const QDBusMessage reply = session.call(statusCall(QStringLiteral("Get")), QDBus::Block, busTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Nobody provides the accessibility bus and nothing can start it. Any other error (a bus
        // that is slow to answer) leaves it off, so the alert offers to turn it on.
        const QString error = reply.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            || error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
            || error.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn.")))
            return AccessibilityBusState::unavailable;
        return AccessibilityBusState::disabled;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return AccessibilityBusState::disabled;
    const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    return value.typeId() == QMetaType::Bool && value.toBool() ? AccessibilityBusState::enabled
                                                               : AccessibilityBusState::disabled;
}

bool isAccessibilityBusEnabled()
{
    return accessibilityBusState() == AccessibilityBusState::enabled;
}

bool isCaptureTrusted(bool keystrokes)
{
    return keystrokes && accessibilityBusState() != AccessibilityBusState::disabled;
}

QString missingForCapture(bool keystrokes)
{
    if (!keystrokes)
        return QStringLiteral("This session cannot send the copy keystroke to other applications: Tessellon needs an "
                              "X11 session whose X server offers the XTEST extension.");
    return {};
}

bool enableAccessibilityBus()
{
    QDBusMessage call = statusCall(QStringLiteral("Set"));
    call << QVariant::fromValue(QDBusVariant(true));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, busTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}
