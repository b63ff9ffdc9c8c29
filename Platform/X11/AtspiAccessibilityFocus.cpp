#include "Platform/X11/AtspiAccessibilityFocus.h"

#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/XcbConnection.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <algorithm>

namespace {
using namespace Qt::StringLiterals;

const QString objectEvents = u"org.a11y.atspi.Event.Object"_s;
const QString focusEvents = u"org.a11y.atspi.Event.Focus"_s;
// The events asked of the registry: toolkits that filter send only these.
const QStringList wantedEvents {u"object:state-changed:focused"_s, u"focus:"_s};
constexpr std::chrono::milliseconds registerTimeout {1000};
} // namespace

// Receives the bus's focus events on the tracker's thread.
class AtspiFocusListener final : public QObject
{
    Q_OBJECT

public:
    explicit AtspiFocusListener(AtspiFocusTracker& tracker)
        : m_tracker(tracker)
        , m_x(XcbConnection::open())
    {
        m_retry.setInterval(AtspiFocusTracker::reconnectInterval);
        connect(&m_retry, &QTimer::timeout, this, &AtspiFocusListener::connectToBus);
    }
    ~AtspiFocusListener() override { disconnectFromBus(); }

public slots:
    // Connects when not connected; while the bus cannot be reached, tries again now and then.
    void connectToBus()
    {
        if (!m_name.isEmpty() && QDBusConnection(m_name).isConnected())
            return;
        disconnectFromBus();
        if (const auto address = AtspiAccessibility::reachableBusAddress(m_x.get())) {
            const QString name = u"tessellon-a11y-focus-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
            QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(*address), name);
            if (bus.isConnected()) {
                m_name = name;
                bus.connect({}, {}, objectEvents, u"StateChanged"_s, this, SLOT(stateChanged(QDBusMessage)));
                bus.connect({}, {}, focusEvents, u"Focus"_s, this, SLOT(focusEvent(QDBusMessage)));
                for (const QString& event : wantedEvents) {
                    QDBusMessage call = QDBusMessage::createMethodCall(u"org.a11y.atspi.Registry"_s,
                        u"/org/a11y/atspi/registry"_s, u"org.a11y.atspi.Registry"_s, u"RegisterEvent"_s);
                    call.setArguments({event});
                    bus.call(call, QDBus::Block, int(registerTimeout.count()));
                }
            } else {
                QDBusConnection::disconnectFromBus(name);
            }
        }
        m_tracker.setListening(!m_name.isEmpty());
        if (m_name.isEmpty())
            m_retry.start();
        else
            m_retry.stop();
    }

    void stateChanged(const QDBusMessage& message)
    {
        const QVariantList arguments = message.arguments();
        if (arguments.size() >= 2 && arguments.at(0).toString() == QLatin1String("focused")
            && arguments.at(1).toInt() == 1)
            m_tracker.gained(message.service(), message.path());
    }

    void focusEvent(const QDBusMessage& message) { m_tracker.gained(message.service(), message.path()); }

private:
    void disconnectFromBus()
    {
        if (m_name.isEmpty())
            return;
        QDBusConnection::disconnectFromBus(m_name);
        m_name.clear();
    }

    AtspiFocusTracker& m_tracker;
    std::shared_ptr<XcbConnection> m_x;
    QTimer m_retry;
    QString m_name;
};

std::shared_ptr<AtspiFocusTracker> AtspiFocusTracker::shared()
{
    static std::mutex mutex;
    static std::weak_ptr<AtspiFocusTracker> current;
    const std::lock_guard lock(mutex);
    auto tracker = current.lock();
    if (!tracker) {
        tracker = std::shared_ptr<AtspiFocusTracker>(new AtspiFocusTracker());
        current = tracker;
    }
    return tracker;
}

AtspiFocusTracker::AtspiFocusTracker()
{
    m_thread.reset(QThread::create([this] {
        AtspiFocusListener listener(*this);
        listener.connectToBus();
        QEventLoop loop;
        loop.exec();
        setListening(false); // leaving the bus: no gain comes any more
    }));
    m_thread->setObjectName(u"Accessibility focus"_s);
    m_thread->start();
}

AtspiFocusTracker::~AtspiFocusTracker()
{
    // Ends the thread's event loop; asked again while the loop has not started yet.
    m_thread->exit();
    while (!m_thread->wait(std::chrono::milliseconds(10)))
        m_thread->exit();
}

void AtspiFocusTracker::stop()
{
    m_thread->exit();
}

std::optional<AtspiFocusTracker::Focus> AtspiFocusTracker::lastFocus(const QString& service) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_focus.constFind(service);
    if (found == m_focus.cend())
        return std::nullopt;
    return *found;
}

std::optional<AtspiFocusTracker::Focus> AtspiFocusTracker::waitForFocus(
    const QString& service, Clock::time_point since, std::chrono::milliseconds bound)
{
    std::unique_lock lock(m_mutex);
    std::optional<Focus> focus;
    m_changed.wait_for(lock, bound, [&] {
        const auto found = m_focus.constFind(service);
        if (found != m_focus.cend() && found->at > since)
            focus = *found;
        return focus.has_value();
    });
    return focus;
}

bool AtspiFocusTracker::waitUntilListening(std::chrono::milliseconds bound)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, bound, [this] { return m_listening; });
}

void AtspiFocusTracker::gained(const QString& service, const QString& path)
{
    if (service.isEmpty() || path.isEmpty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_focus.contains(service) && m_focus.size() >= maxApplications) {
            // Applications that have left leave their entries: the oldest goes.
            const auto oldest = std::min_element(
                m_focus.cbegin(), m_focus.cend(), [](const Focus& a, const Focus& b) { return a.at < b.at; });
            m_focus.remove(oldest.key());
        }
        m_focus.insert(service, Focus {service, path, Clock::now()});
    }
    m_changed.notify_all();
}

void AtspiFocusTracker::setListening(bool listening)
{
    {
        const std::lock_guard lock(m_mutex);
        m_listening = listening;
    }
    m_changed.notify_all();
}

#include "AtspiAccessibilityFocus.moc"
