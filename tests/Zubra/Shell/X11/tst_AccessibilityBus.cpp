// "Turn On Accessibility" on a real session bus: the accessibility bus's IsEnabled status is
// read and set.

#include "Zubra/Shell/AppDelegateSignals.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

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
};

TESSELLON_GUI_TEST_MAIN(TestAccessibilityBus)
#include "tst_AccessibilityBus.moc"
