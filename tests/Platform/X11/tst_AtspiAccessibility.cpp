// Reading the focused element of real applications: a Qt window over AT-SPI, and xterm through
// the PRIMARY selection that stands in for it.

#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/PrimarySelection.h"
#include "Platform/X11/XcbConnection.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QScopeGuard>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <atomic>
#include <csignal>
#include <optional>

using X11Programs::Child;

namespace {
AccessibleElementRef focusedOf(Accessibility& accessibility, qint64 pid)
{
    // The application registers with the accessibility bus shortly after it shows its window.
    QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired()) {
        if (auto app = accessibility.applicationElement(qint32(pid))) {
            const AccessibleValue focused = app->attribute(AccessibleAttribute::FocusedElement);
            if (focused.kind == AccessibleValue::Kind::Element && focused.element
                && focused.element->attribute(AccessibleAttribute::SelectedText).kind == AccessibleValue::Kind::Text)
                return focused.element;
        }
        QTest::qWait(50);
    }
    return nullptr;
}

// The events the accessibility registry was asked for, one entry per listener and event, or
// nothing when it does not answer.
std::optional<int> registeredEvents()
{
    auto x = XcbConnection::open();
    const auto address = x ? AtspiAccessibility::reachableBusAddress(x.get()) : std::nullopt;
    if (!address)
        return std::nullopt;
    const QString name = QStringLiteral("tst-registry-reader-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::optional<int> count;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(*address), name);
        const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.a11y.atspi.Registry"),
            QStringLiteral("/org/a11y/atspi/registry"), QStringLiteral("org.a11y.atspi.Registry"),
            QStringLiteral("GetRegisteredEvents")));
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
            const QDBusArgument listeners = reply.arguments().constFirst().value<QDBusArgument>();
            count = 0;
            listeners.beginArray();
            while (!listeners.atEnd()) {
                QString listener;
                QString event;
                listeners.beginStructure();
                listeners >> listener >> event;
                listeners.endStructure();
                ++*count;
            }
            listeners.endArray();
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return count;
}

// Sets PRIMARY from a process of its own (xclip stays in the foreground as the owner).
bool ownPrimaryElsewhere(Child& owner, const QByteArray& text)
{
    if (!owner.start(QStringLiteral("xclip"), {"-quiet", "-selection", "primary", "-i"}, text, true))
        return false;
    QDeadlineTimer deadline(5000);
    auto x = XcbConnection::open();
    while (!deadline.hasExpired()) {
        if (PrimarySelection::ownerProcess(*x) == owner.pid())
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

class TestAtspiAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void unreachableBusIsRefusedBeforeLibatspi()
    {
        // A bus address published on the root window that nobody serves must not reach libatspi.
        QVERIFY(X11Programs::run(QStringLiteral("xprop"),
            {"-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", "unix:path=/nonexistent/tessellon-a11y"}));
        auto x = XcbConnection::open();
        QVERIFY(x);
        QVERIFY(!AtspiAccessibility::reachableBusAddress(x.get(), std::chrono::milliseconds(1000)));
        QVERIFY(X11Programs::run(QStringLiteral("xprop"), {"-root", "-remove", "AT_SPI_BUS"}));
        QVERIFY(AtspiAccessibility::reachableBusAddress(x.get(), std::chrono::milliseconds(2000)));
    }

    void trustedOnXcbWithXTest()
    {
        AtspiAccessibility accessibility;
        QVERIFY(accessibility.isTrusted());
    }

    // At quit the focus tracker leaves the bus without being waited for: the registry drops the
    // events it asked for, and the reader stops counting on them.
    void stoppedFocusTrackingLeavesTheRegistry()
    {
        const std::optional<int> others = registeredEvents();
        QVERIFY(others);
        AtspiAccessibility accessibility;
        QVERIFY(accessibility.followsFocus(std::chrono::seconds(10)));
        QCOMPARE(registeredEvents().value_or(-1), *others + 2); // a focus gain, in two forms
        accessibility.stopFollowingFocus();
        QTRY_VERIFY(!accessibility.followsFocus(std::chrono::milliseconds(0)));
        QTRY_COMPARE(registeredEvents().value_or(-1), *others);
    }

    void qtWindowSelectionComesFromTheTree()
    {
        Child decoy;
        QVERIFY(ownPrimaryElsewhere(decoy, "decoy"));
        Child target;
        QVERIFY(target.start(
            QStringLiteral(TESSELLON_CAPTURE_TARGET), {"--text", "alpha beta gamma", "--select", "beta gamma"}));
        QVERIFY(target.waitForLine("ready"));
        AtspiAccessibility accessibility;
        const AccessibleElementRef focused = focusedOf(accessibility, target.pid());
        QVERIFY(focused);
        const AccessibleValue text = focused->attribute(AccessibleAttribute::SelectedText);
        QCOMPARE(text.kind, AccessibleValue::Kind::Text);
        QCOMPARE(text.text, QStringLiteral("beta gamma"));
        QCOMPARE(focused->attribute(AccessibleAttribute::URL).kind, AccessibleValue::Kind::Absent);
        // The walk can climb to the window and no further than the application.
        AccessibleElementRef element = focused;
        int depth = 0;
        for (; depth < 20; ++depth) {
            const AccessibleValue parent = element->attribute(AccessibleAttribute::Parent);
            if (parent.kind != AccessibleValue::Kind::Element)
                break;
            element = parent.element;
        }
        QVERIFY(depth >= 1);
        QVERIFY(depth < 20);
    }

    // GTK applications answer over the same calls; a password field says so and gives no text,
    // not even through PRIMARY.
    void gtkElements_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<bool>("password");
        QTest::newRow("text view") << QStringList {"zenity", "--text-info", "--filename=@FILE@"} << false;
        QTest::newRow("password entry") << QStringList {"zenity", "--password"} << true;
    }
    void gtkElements()
    {
        QFETCH(QStringList, command);
        QFETCH(bool, password);
        if (!X11Programs::available(QStringLiteral("zenity")) || !X11Programs::available(QStringLiteral("xdotool")))
            QSKIP("zenity or xdotool is not installed");
        QTemporaryDir dir;
        QFile file(dir.path() + QStringLiteral("/text.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("alpha beta\n");
        file.close();
        command.replaceInStrings(QStringLiteral("@FILE@"), file.fileName());
        Child dialog;
        QVERIFY(dialog.start(command.first(), command.mid(1)));
        const QString window = X11Programs::windowOf(dialog.pid(), 20000);
        QVERIFY(!window.isEmpty());
        QVERIFY(X11Programs::activate(window));
        if (password)
            QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"type", "--delay", "20", "hunter2secret"}));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+a")));

        AtspiAccessibility accessibility;
        AccessibleElementRef focused;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (auto app = accessibility.applicationElement(qint32(dialog.pid()))) {
                const AccessibleValue value = app->attribute(AccessibleAttribute::FocusedElement);
                if (value.kind == AccessibleValue::Kind::Element
                    && (password
                        || value.element->attribute(AccessibleAttribute::SelectedText).kind
                            == AccessibleValue::Kind::Text)) {
                    focused = value.element;
                    break;
                }
            }
            QTest::qWait(50);
        }
        QVERIFY(focused);
        const AccessibleValue secret = focused->attribute(AccessibleAttribute::Protected);
        QCOMPARE(secret.kind, AccessibleValue::Kind::Flag);
        QCOMPARE(secret.flag, password);
        const AccessibleValue text = focused->attribute(AccessibleAttribute::SelectedText);
        if (password) {
            QCOMPARE(text.kind, AccessibleValue::Kind::Absent);
        } else {
            QCOMPARE(text.kind, AccessibleValue::Kind::Text);
            QCOMPARE(text.text.trimmed(), QStringLiteral("alpha beta"));
        }
    }

    // An application that stops answering costs a bounded time, and the read fails cleanly.
    void hungApplicationIsBounded()
    {
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), {"--select", "quick"}));
        QVERIFY(target.waitForLine("ready"));
        AtspiAccessibility accessibility;
        accessibility.setPrimaryFallback(false);
        QVERIFY(focusedOf(accessibility, target.pid()));
        QCOMPARE(::kill(pid_t(target.pid()), SIGSTOP), 0);
        std::atomic<bool> done = false;
        AccessibleValue focused;
        QThread* worker = QThread::create([&] {
            if (auto app = accessibility.applicationElement(qint32(target.pid())))
                focused = app->attribute(AccessibleAttribute::FocusedElement);
            done = true;
        });
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        worker->wait();
        delete worker;
        ::kill(pid_t(target.pid()), SIGCONT);
        QVERIFY(focused.kind != AccessibleValue::Kind::Element);
    }

    void primaryStandsInOnlyForItsOwner_data()
    {
        QTest::addColumn<bool>("xtermOwns");
        QTest::newRow("xterm owns PRIMARY") << true;
        QTest::newRow("another process owns PRIMARY") << false;
    }
    void primaryStandsInOnlyForItsOwner()
    {
        QFETCH(bool, xtermOwns);
        if (!X11Programs::available(QStringLiteral("xterm")) || !X11Programs::available(QStringLiteral("xdotool")))
            QSKIP("xterm or xdotool is not installed");
        Child xterm;
        QVERIFY(X11Programs::startXtermWithWordSelected(xterm, QStringLiteral("tessellate")));
        Child other;
        if (!xtermOwns)
            QVERIFY(ownPrimaryElsewhere(other, "not xterm's"));

        AtspiAccessibility accessibility;
        const AccessibleElementRef app = accessibility.applicationElement(qint32(xterm.pid()));
        QVERIFY(app);
        const AccessibleValue focused = app->attribute(AccessibleAttribute::FocusedElement);
        QCOMPARE(focused.kind, AccessibleValue::Kind::Element);
        const AccessibleValue text = focused.element->attribute(AccessibleAttribute::SelectedText);
        if (xtermOwns) {
            QCOMPARE(text.kind, AccessibleValue::Kind::Text);
            QCOMPARE(text.text, QStringLiteral("tessellate"));
        } else {
            QCOMPARE(text.kind, AccessibleValue::Kind::Absent);
        }
        QCOMPARE(focused.element->attribute(AccessibleAttribute::Parent).kind, AccessibleValue::Kind::Absent);
    }

    // vim in a terminal holds PRIMARY through an X connection of its own: its Visual selection
    // is the terminal's, though another process owns it.
    void primaryOfAProgramInsideTheTerminal()
    {
        if (!X11Programs::available(QStringLiteral("xterm")) || !X11Programs::available(QStringLiteral("vim.gtk3"))
            || !X11Programs::available(QStringLiteral("xdotool")))
            QSKIP("xterm, vim.gtk3 or xdotool is not installed");
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/notes.txt");
        QFile notes(file);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("tessellate the plane\n");
        notes.close();
        Child decoy;
        QVERIFY(ownPrimaryElsewhere(decoy, "decoy"));
        Child xterm;
        QVERIFY(xterm.start(QStringLiteral("xterm"),
            {"-geometry", "60x6+0+0", "-e", "vim.gtk3", "-u", "NONE", "-U", "NONE", "-N", "-i", "NONE", "--cmd",
                "set clipboard=autoselect", file}));
        const QString window = X11Programs::windowOf(xterm.pid());
        QVERIFY(!window.isEmpty());
        QVERIFY(X11Programs::activate(window));
        // Visual line mode once vim shows the file; again until the selection is vim's.
        auto x = XcbConnection::open();
        QDeadlineTimer deadline(15000);
        qint32 owner = 0;
        while (!deadline.hasExpired()) {
            X11Programs::key(QStringLiteral("Escape"));
            X11Programs::key(QStringLiteral("shift+v"));
            QTest::qWait(300);
            owner = PrimarySelection::ownerProcess(*x);
            if (owner != decoy.pid() && owner != 0)
                break;
        }
        QVERIFY(owner != decoy.pid() && owner != xterm.pid());

        AtspiAccessibility accessibility;
        const AccessibleElementRef app = accessibility.applicationElement(qint32(xterm.pid()));
        QVERIFY(app);
        const AccessibleValue focused = app->attribute(AccessibleAttribute::FocusedElement);
        QCOMPARE(focused.kind, AccessibleValue::Kind::Element);
        const AccessibleValue text = focused.element->attribute(AccessibleAttribute::SelectedText);
        QCOMPARE(text.kind, AccessibleValue::Kind::Text);
        QCOMPARE(text.text.trimmed(), QStringLiteral("tessellate the plane"));
        X11Programs::key(QStringLiteral("Escape"));
        X11Programs::run(QStringLiteral("xdotool"), {"type", ":qa!\n"});
    }

    // Without a reachable accessibility bus nothing stands in for a tree, PRIMARY included:
    // nothing can tell whether the focus is a password field.
    void noBusGivesNoElement()
    {
        if (!X11Programs::available(QStringLiteral("xterm")) || !X11Programs::available(QStringLiteral("xdotool")))
            QSKIP("xterm or xdotool is not installed");
        Child xterm;
        QVERIFY(X11Programs::startXtermWithWordSelected(xterm, QStringLiteral("tessellate")));
        QVERIFY(X11Programs::run(QStringLiteral("xprop"),
            {"-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", "unix:path=/nonexistent/tessellon-a11y"}));
        const auto restore
            = qScopeGuard([] { X11Programs::run(QStringLiteral("xprop"), {"-root", "-remove", "AT_SPI_BUS"}); });
        AtspiAccessibility accessibility;
        QVERIFY(!accessibility.applicationElement(qint32(xterm.pid())));
    }

    void primaryReadIsBounded_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("cap");
        QTest::addColumn<bool>("read");
        QTest::newRow("under the cap") << 1000 << 4096 << true;
        QTest::newRow("over the cap") << 5000 << 4096 << false;
        QTest::newRow("incremental transfer") << 2 * 1024 * 1024 << 8 * 1024 * 1024 << true;
        QTest::newRow("incremental transfer over the cap") << 2 * 1024 * 1024 << 1024 * 1024 << false;
    }
    void primaryReadIsBounded()
    {
        QFETCH(int, size);
        QFETCH(int, cap);
        QFETCH(bool, read);
        Child owner;
        const QByteArray text(size, 'x');
        QVERIFY(ownPrimaryElsewhere(owner, text));
        const auto got = PrimarySelection::read(std::chrono::milliseconds(2000), cap);
        QCOMPARE(got.has_value(), read);
        if (read)
            QCOMPARE(got->toUtf8(), text);
    }
};

TESSELLON_GUI_TEST_MAIN(TestAtspiAccessibility)
#include "tst_AtspiAccessibility.moc"
