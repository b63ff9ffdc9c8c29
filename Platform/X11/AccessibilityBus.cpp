#include "Platform/X11/AccessibilityBus.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QThread>
#include <QVariantMap>
#include <functional>
#include <mutex>

namespace {
using namespace Qt::StringLiterals;

const QString busService = u"org.a11y.Bus"_s;
const QString busPath = u"/org/a11y/bus"_s;
const QString propertiesInterface = u"org.freedesktop.DBus.Properties"_s;
const QString statusInterface = u"org.a11y.Status"_s;
const QString enabledProperty = u"IsEnabled"_s;

QDBusMessage statusCall(const QString& method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface, method);
    call << statusInterface << enabledProperty;
    return call;
}

} // namespace

// Reads the switch and follows it, on the trust's thread.
class AccessibilityBusReader final : public QObject
{
    Q_OBJECT

public:
    using Publish = std::function<void(AccessibilityBusState)>;

    AccessibilityBusReader(const QDBusConnection& session, Publish publish, AccessibilityBusTrust::Log log)
        : m_session(session)
        , m_publish(std::move(publish))
        , m_log(std::move(log))
    {
    }

    void start()
    {
        if (m_session.isConnected()) {
            m_session.connect(busService, busPath, propertiesInterface, u"PropertiesChanged"_s, this,
                SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
            // A bus that starts, ends or changes hands is read again.
            auto* watcher
                = new QDBusServiceWatcher(busService, m_session, QDBusServiceWatcher::WatchForOwnerChange, this);
            connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &AccessibilityBusReader::read);
        }
        read();
    }

public slots:
    void read() { m_publish(accessibilityBusState(m_session)); }

    void enable()
    {
        if (!enableAccessibilityBus(m_session) && m_log)
            m_log(u"The accessibility bus could not be turned on"_s);
        read();
    }

    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated)
    {
        if (interface != statusInterface)
            return;
        const QVariant value = changed.value(enabledProperty);
        if (value.typeId() == QMetaType::Bool)
            m_publish(value.toBool() ? AccessibilityBusState::enabled : AccessibilityBusState::disabled);
        else if (changed.contains(enabledProperty) || invalidated.contains(enabledProperty))
            read();
    }

private:
    QDBusConnection m_session;
    Publish m_publish;
    AccessibilityBusTrust::Log m_log;
};

// What the trust and its thread share; the thread may outlive the trust when the bus hangs.
struct AccessibilityBusTrust::Shared
{
    std::mutex mutex; // guards everything below
    AccessibilityBusTrust* owner = nullptr; // null once the trust is gone
    AccessibilityBusReader* reader = nullptr; // while the thread runs its loop
    QEventLoop* loop = nullptr;
    bool stopping = false;
};

AccessibilityBusTrust::AccessibilityBusTrust(bool keystrokes, Log log, const QDBusConnection& session, QObject* parent)
    : AccessibilityTrust(keystrokes, parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    m_thread = QThread::create([shared = m_shared, session, log = std::move(log)] {
        AccessibilityBusReader reader(
            session,
            [shared](AccessibilityBusState state) {
                const std::lock_guard lock(shared->mutex);
                if (shared->owner)
                    shared->owner->publish(state);
            },
            log);
        QEventLoop loop;
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->stopping)
                return;
            shared->reader = &reader;
            shared->loop = &loop;
        }
        reader.start();
        loop.exec();
        const std::lock_guard lock(shared->mutex);
        shared->reader = nullptr;
        shared->loop = nullptr;
    });
    m_thread->setObjectName(u"Accessibility status"_s);
    QObject::connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

AccessibilityBusTrust::~AccessibilityBusTrust()
{
    // A thread still waiting for a hung bus deletes itself once the call times out.
    stop();
}

bool AccessibilityBusTrust::stop()
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->owner = nullptr;
        m_shared->stopping = true;
        // Queued: a loop that has not started yet ends as soon as it starts.
        if (m_shared->loop)
            QMetaObject::invokeMethod(m_shared->loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    if (!m_thread)
        return true; // ended and deleted already
    if (!m_thread->wait(QDeadlineTimer(stopBound)))
        return false;
    delete m_thread;
    return true;
}

void AccessibilityBusTrust::requestAccessibility()
{
    const std::lock_guard lock(m_shared->mutex);
    if (m_shared->reader)
        QMetaObject::invokeMethod(m_shared->reader, &AccessibilityBusReader::enable, Qt::QueuedConnection);
}

AccessibilityBusState accessibilityBusState(const QDBusConnection& session)
{
    if (!session.isConnected())
        return AccessibilityBusState::unavailable;
    const QDBusMessage reply
        = session.call(statusCall(u"Get"_s), QDBus::Block, int(accessibilityBusCallTimeout.count()));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // Nobody provides the accessibility bus and nothing can start it. Any other error (a bus
        // that is slow to answer) leaves it off, so the alert offers to turn it on.
        const QString error = reply.errorName();
        if (error == "org.freedesktop.DBus.Error.ServiceUnknown"_L1
            || error == "org.freedesktop.DBus.Error.NameHasNoOwner"_L1
            || error.startsWith("org.freedesktop.DBus.Error.Spawn."_L1))
            return AccessibilityBusState::unavailable;
        return AccessibilityBusState::disabled;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return AccessibilityBusState::disabled;
    const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    return value.typeId() == QMetaType::Bool && value.toBool() ? AccessibilityBusState::enabled
                                                               : AccessibilityBusState::disabled;
}

bool enableAccessibilityBus(const QDBusConnection& session)
{
    QDBusMessage call = statusCall(u"Set"_s);
    call << QVariant::fromValue(QDBusVariant(true));
    const QDBusMessage reply = session.call(call, QDBus::Block, int(accessibilityBusCallTimeout.count()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

QString missingForCapture(bool keystrokes)
{
    if (!keystrokes)
        return u"This session cannot send the copy keystroke to other applications: Tessellon needs an "
               "X11 session whose X server offers the XTEST extension."_s;
    return {};
}

#include "AccessibilityBus.moc"
