// The accessibility bus's switch (org.a11y.Status IsEnabled) on real session buses: read, set,
// followed when another program sets it, absent on a bus where nothing can provide it, and a
// launcher that stops answering never holds up the thread that asks for trust.

#include "Platform/X11/AccessibilityBus.h"
#include "support/PrivateSessionBus.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QSignalSpy>

using namespace std::chrono_literals;

namespace {

// The status as another program reads it; nothing when the bus does not answer.
std::optional<bool> isEnabled()
{
    const auto reply = X11Programs::run(QStringLiteral("dbus-send"),
        {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Get",
            "string:org.a11y.Status", "string:IsEnabled"});
    if (!reply)
        return std::nullopt;
    return reply->contains("boolean true");
}

bool setEnabled(bool on)
{
    return X11Programs::run(QStringLiteral("dbus-send"),
        {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
            "string:org.a11y.Status", "string:IsEnabled", on ? "variant:boolean:true" : "variant:boolean:false"})
        .has_value();
}

} // namespace

class TestAccessibilityBus : public QObject
{
    Q_OBJECT

private slots:
    void turnsTheBusOn()
    {
        if (!X11Programs::available(QStringLiteral("dbus-send")) || !isEnabled())
            QSKIP("no accessibility bus in this session");
        QVERIFY(setEnabled(false));
        QCOMPARE(isEnabled(), false);
        QCOMPARE(accessibilityBusState(), AccessibilityBusState::disabled);
        AccessibilityBusTrust trust(true);
        QTRY_COMPARE(trust.busState(), AccessibilityBusState::disabled);
        QVERIFY(!trust.isTrusted());
        trust.requestAccessibility();
        QTRY_VERIFY(trust.isTrusted());
        QCOMPARE(isEnabled(), true);
        QCOMPARE(accessibilityBusState(), AccessibilityBusState::enabled);
    }

    // Another program flips the switch: the trust follows it and says so, each change once.
    void followsTheSwitch()
    {
        if (!X11Programs::available(QStringLiteral("dbus-send")) || !isEnabled())
            QSKIP("no accessibility bus in this session");
        QVERIFY(setEnabled(true));
        AccessibilityBusTrust trust(true);
        QTRY_COMPARE(trust.busState(), AccessibilityBusState::enabled);
        QSignalSpy spy(&trust, &AccessibilityTrust::trustChanged);
        QVERIFY(setEnabled(false));
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QVERIFY(!trust.isTrusted());
        QVERIFY(setEnabled(true));
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toBool(), true);
        QTest::qWait(100);
        QCOMPARE(spy.count(), 2);
        // A bus that answers lets the reading end within the bound: the program may then tear down.
        QVERIFY(trust.stop());
        QVERIFY(setEnabled(false));
        QTest::qWait(100);
        QCOMPARE(spy.count(), 2);
    }

    // A session bus on which no accessibility bus runs or can be started: the bus is
    // unavailable, not off, and the copy keystroke alone makes captures possible.
    void busThatCannotExist()
    {
        PrivateSessionBus bus(false);
        if (!bus.isRunning())
            QSKIP("dbus-daemon is not installed");
        QCOMPARE(accessibilityBusState(bus.connection()), AccessibilityBusState::unavailable);
        QCOMPARE(accessibilityBusState(QDBusConnection(QStringLiteral("never connected"))),
            AccessibilityBusState::unavailable);
        AccessibilityBusTrust withKeystrokes(true, {}, bus.connection());
        AccessibilityBusTrust withoutKeystrokes(false, {}, bus.connection());
        QTRY_COMPARE(withKeystrokes.busState(), AccessibilityBusState::unavailable);
        QVERIFY(withKeystrokes.isTrusted());
        QTRY_COMPARE(withoutKeystrokes.busState(), AccessibilityBusState::unavailable);
        QVERIFY(!withoutKeystrokes.isTrusted());
        QVERIFY(missingForCapture(true).isEmpty());
        QVERIFY(missingForCapture(false).contains(QStringLiteral("XTEST")));
    }

    // The launcher stops answering: trust is read at once, the last answer stands until the
    // reading thread's call times out (then the switch counts as off), and the trust ends within
    // its bound while that call is still under way, saying that its thread is still in the call.
    // The bounds tell waiting for the call (a second) from not waiting, on a loaded machine too.
    void hungLauncher()
    {
        PrivateSessionBus bus(true);
        if (!bus.isRunning())
            QSKIP("no dbus-daemon or accessibility bus launcher");
        QDBusMessage set = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"),
            QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(true));
        QCOMPARE(bus.connection().call(set, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
        auto trust = std::make_unique<AccessibilityBusTrust>(true, AccessibilityBusTrust::Log {}, bus.connection());
        QTRY_COMPARE(trust->busState(), AccessibilityBusState::enabled);

        bus.stop();
        trust->requestAccessibility(); // the reading thread now waits for the launcher
        const qint64 notHung = accessibilityBusCallTimeout.count() / 2;
        QElapsedTimer reads;
        reads.start();
        for (int i = 0; i < 1000; ++i)
            QVERIFY(trust->isTrusted());
        QVERIFY(reads.elapsed() < notHung);
        QTRY_COMPARE_WITH_TIMEOUT(trust->busState(), AccessibilityBusState::disabled, 5000);

        trust->requestAccessibility();
        QTest::qWait(50);
        QElapsedTimer ending;
        ending.start();
        QVERIFY(!trust->stop());
        trust.reset();
        QVERIFY(ending.elapsed() < notHung);
        bus.resume();
        QTest::qWait(int(accessibilityBusCallTimeout.count()) * 2);
    }
};

TESSELLON_GUI_TEST_MAIN(TestAccessibilityBus)
#include "tst_AccessibilityBus.moc"
