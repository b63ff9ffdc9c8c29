// "Turn On Accessibility" on a real session bus: the accessibility bus's IsEnabled status is
// read and set.

#include "Platform/X11/AccessibilityBus.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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
        QVERIFY(!isAccessibilityBusEnabled());
        QVERIFY(enableAccessibilityBus());
        QCOMPARE(isEnabled(), true);
        QVERIFY(isAccessibilityBusEnabled());
    }

    // A session bus on which no accessibility bus runs or can be started: the bus is
    // unavailable, not off, and the copy keystroke alone makes captures possible.
    void busThatCannotExist()
    {
        if (!X11Programs::available(QStringLiteral("dbus-daemon")))
            QSKIP("dbus-daemon is not installed");
        QTemporaryDir dir;
        QFile config(dir.filePath(QStringLiteral("session.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir="
            + dir.path().toUtf8()
            + "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--print-address"),
                QStringLiteral("--nofork")});
        QVERIFY(daemon.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(daemon.readLine().trimmed());
        QVERIFY(!address.isEmpty());
        {
            QDBusConnection bare = QDBusConnection::connectToBus(address, QStringLiteral("no-a11y"));
            QVERIFY(bare.isConnected());
            QCOMPARE(accessibilityBusState(bare), AccessibilityBusState::unavailable);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("no-a11y"));
        QCOMPARE(accessibilityBusState(QDBusConnection(QStringLiteral("never connected"))),
            AccessibilityBusState::unavailable);
        daemon.kill();
        daemon.waitForFinished(2000);

        // The session's own bus can be turned on and off: off is not unavailable.
        if (isEnabled()) {
            QVERIFY(setEnabled(false));
            QCOMPARE(accessibilityBusState(), AccessibilityBusState::disabled);
            QVERIFY(!isCaptureTrusted(true));
            QVERIFY(setEnabled(true));
            QCOMPARE(accessibilityBusState(), AccessibilityBusState::enabled);
            QVERIFY(isCaptureTrusted(true));
        }
        QVERIFY(!isCaptureTrusted(false));
        QVERIFY(missingForCapture(true).isEmpty());
        QVERIFY(missingForCapture(false).contains(QStringLiteral("XTEST")));
    }
};

TESSELLON_GUI_TEST_MAIN(TestAccessibilityBus)
#include "tst_AccessibilityBus.moc"
