#include "Zubra/Shell/AppDelegateSignals.h"

#include "ZubraCore/Support/Logging.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        logMP(QStringLiteral("Termination signals are not handled: no pipe"));
        return;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    delete m_notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationSignals::drain()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        last = byte;
    if (last != 0)
        emit terminationRequested(last);
}

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
