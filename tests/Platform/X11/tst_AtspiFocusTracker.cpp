// The focus tracker over a bus of the test's own: a private dbus-daemon stands in for both the
// session bus (its org.a11y.Bus names the accessibility bus) and the accessibility bus, and the
// test's connections send the focus events applications would.

#include "Platform/X11/AtspiAccessibilityFocus.h"
#include "support/TestMain.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Answers org.a11y.Bus.GetAddress with the private bus's own address.
class FakeAccessibilityBus final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.a11y.Bus")

public:
    explicit FakeAccessibilityBus(QString address)
        : m_address(std::move(address))
    {
    }

public slots:
    QString GetAddress() const { return m_address; }

private:
    QString m_address;
};

// One event as an application sends it: object:state-changed:<state> with its detail, or the
// older focus: event.
struct Event
{
    QString kind; // "focused", "selected", or "focus" for the focus: event
    int detail = 1;
    QString path;
};

QDBusMessage eventMessage(const Event& event)
{
    if (event.kind == "focus"_L1) {
        QDBusMessage message = QDBusMessage::createSignal(event.path, u"org.a11y.atspi.Event.Focus"_s, u"Focus"_s);
        message << QString() << 0 << 0 << QVariant::fromValue(QDBusVariant(0));
        return message;
    }
    QDBusMessage message
        = QDBusMessage::createSignal(event.path, u"org.a11y.atspi.Event.Object"_s, u"StateChanged"_s);
    message << event.kind << event.detail << 0 << QVariant::fromValue(QDBusVariant(0));
    return message;
}

} // namespace

Q_DECLARE_METATYPE(QList<Event>)

class TestAtspiFocusTracker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No X display: the tracker finds the accessibility bus through the session bus.
        qunsetenv("DISPLAY");
        QVERIFY(m_dir.isValid());
        const QString config = m_dir.filePath(u"bus.conf"_s);
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                   "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig><type>session</type>"
                   "<listen>unix:dir="
            + m_dir.path().toUtf8()
            + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
              "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        m_daemon.start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY(m_daemon.waitForStarted());
        QVERIFY(QTest::qWaitFor([this] { return m_daemon.canReadLine(); }, 10000));
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());

        QDBusConnection service = QDBusConnection::connectToBus(m_address, u"fake-a11y-bus"_s);
        QVERIFY(service.isConnected());
        m_fake = std::make_unique<FakeAccessibilityBus>(m_address);
        QVERIFY(service.registerObject(u"/org/a11y/bus"_s, m_fake.get(), QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(u"org.a11y.Bus"_s));

        m_tracker = AtspiFocusTracker::shared();
        // The tracker asks for the address from its thread: this thread's loop answers.
        QVERIFY(QTest::qWaitFor([this] { return m_tracker->waitUntilListening(0ms); }, 10000));
    }

    void cleanupTestCase()
    {
        m_tracker.reset();
        QDBusConnection::disconnectFromBus(u"fake-a11y-bus"_s);
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // Only gains count: the last element of an application that gained the focus is kept, and
    // neither a focus-out (GTK drops its focus while the hotkey's keys are held) nor another state
    // changes it.
    void onlyGainsCount_data()
    {
        QTest::addColumn<QList<Event>>("events");
        QTest::addColumn<QString>("focus"); // the path kept, empty: none
        QTest::newRow("a gain") << QList<Event> {{u"focused"_s, 1, u"/a"_s}} << u"/a"_s;
        QTest::newRow("a loss keeps the last gain")
            << QList<Event> {{u"focused"_s, 1, u"/a"_s}, {u"focused"_s, 0, u"/a"_s}} << u"/a"_s;
        QTest::newRow("a loss elsewhere keeps it")
            << QList<Event> {{u"focused"_s, 1, u"/a"_s}, {u"focused"_s, 0, u"/b"_s}} << u"/a"_s;
        QTest::newRow("a later gain wins")
            << QList<Event> {{u"focused"_s, 1, u"/a"_s}, {u"focused"_s, 1, u"/b"_s}} << u"/b"_s;
        QTest::newRow("the focus event is a gain")
            << QList<Event> {{u"focused"_s, 1, u"/a"_s}, {u"focus"_s, 1, u"/c"_s}} << u"/c"_s;
        QTest::newRow("another state is no gain")
            << QList<Event> {{u"focused"_s, 1, u"/a"_s}, {u"selected"_s, 1, u"/d"_s}} << u"/a"_s;
        QTest::newRow("a loss alone is nothing") << QList<Event> {{u"focused"_s, 0, u"/a"_s}} << QString();
    }

    void onlyGainsCount()
    {
        QFETCH(QList<Event>, events);
        QFETCH(QString, focus);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        QDBusConnection application = QDBusConnection::connectToBus(m_address, u"application-"_s + tag);
        QDBusConnection other = QDBusConnection::connectToBus(m_address, u"other-"_s + tag);
        QVERIFY(application.isConnected() && other.isConnected());
        for (const Event& event : events)
            QVERIFY(application.send(eventMessage(event)));
        // A round trip: the bus has passed on everything the application sent before the other
        // application's gain, which the tracker then sees last.
        const QDBusMessage reply = application.call(QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s,
            u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, u"GetId"_s));
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        const auto since = AtspiFocusTracker::Clock::now();
        QVERIFY(other.send(eventMessage({u"focused"_s, 1, u"/marker"_s})));
        QVERIFY(m_tracker->waitForFocus(other.baseService(), since, 10s));

        const std::optional<AtspiFocusTracker::Focus> kept = m_tracker->lastFocus(application.baseService());
        QCOMPARE(kept ? kept->path : QString(), focus);
        QDBusConnection::disconnectFromBus(application.name());
        QDBusConnection::disconnectFromBus(other.name());
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<FakeAccessibilityBus> m_fake;
    std::shared_ptr<AtspiFocusTracker> m_tracker;
};

TESSELLON_TEST_MAIN(TestAtspiFocusTracker)
#include "tst_AtspiFocusTracker.moc"
