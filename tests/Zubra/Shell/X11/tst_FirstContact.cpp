// How the built program meets a new user on a real X session, each start with its own empty
// data, settings, log and runtime folders:
// - without any tray a plain start opens the library window with the welcome sheet, which has
//   the keyboard (Return is "Get Started"); showing the window again never adds a second sheet;
//   closing the window keeps the program running, and starting it again shows the window;
// - with an XEmbed tray (trayer) or a StatusNotifierItem host (this test's own
//   org.kde.StatusNotifierWatcher) a plain start opens no window: the status item is there.

#include "Platform/X11/XcbConnection.h"
#include "support/AtspiTree.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"
#include "support/X11Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QMultiMap>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

using X11Programs::Child;

namespace {

// A StatusNotifierItem host as desktops announce one: the watcher service, with a host
// registered; it records the items that register.
class StatusNotifierWatcher final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return registered; }

    QStringList registered;

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) { registered.append(service); }
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString&) { }
};

// The top-level windows of the process that the window manager lists (also when minimised), by
// their titles.
QMultiMap<QString, xcb_window_t> listedWindowsOf(qint64 pid)
{
    QMultiMap<QString, xcb_window_t> windows;
    auto x = XcbConnection::open();
    if (!x)
        return windows;
    const auto list = x->property(x->root(), x->atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 64 * 1024, 32);
    for (qsizetype i = 0; list && i + 4 <= list->size(); i += 4) {
        xcb_window_t window = 0;
        std::memcpy(&window, list->constData() + i, 4);
        if (x->processOf(window) != pid)
            continue;
        const auto name = x->property(window, x->atom("_NET_WM_NAME"), x->atom("UTF8_STRING"), 1024, 8);
        windows.insert(name ? QString::fromUtf8(*name) : QString(), window);
    }
    return windows;
}

// Their titles, sorted.
QStringList windowsOf(qint64 pid)
{
    return listedWindowsOf(pid).keys();
}

QString activeWindowTitle()
{
    const auto title = X11Programs::run(QStringLiteral("xdotool"), {"getactivewindow", "getwindowname"});
    return title ? QString::fromUtf8(*title).trimmed() : QString();
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QTest::qWait(50);
    }
    return condition();
}

const QString welcome = QStringLiteral("Welcome to Tessellon");
const QString library = QStringLiteral("Tessellon");

} // namespace

class TestFirstContact : public QObject
{
    Q_OBJECT

    // One user's folders and the program started in them.
    struct Start
    {
        QTemporaryDir home;
        QProcessEnvironment environment;
        QProcess app;

        Start()
        {
            for (const char* folder : {"data", "config", "state", "log", "run"})
                QDir().mkpath(home.filePath(QString::fromLatin1(folder)));
            ::chmod(QFile::encodeName(home.filePath(QStringLiteral("run"))).constData(), 0700);
            environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
            environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
            environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), home.filePath(QStringLiteral("log")));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
            app.setProcessEnvironment(environment);
            app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        }
        ~Start()
        {
            if (app.state() != QProcess::NotRunning) {
                ::kill(pid_t(app.processId()), SIGTERM);
                if (!app.waitForFinished(8000)) {
                    app.kill();
                    app.waitForFinished(2000);
                }
            }
        }
        bool launch()
        {
            app.start(QStringLiteral(TESSELLON_PROGRAM), {});
            return app.waitForStarted(5000) && waitFor([this] { return log().contains(u"Tessellon launched"); });
        }
        // Starts the program again in the same folders: it hands off to the running one.
        bool startAgain()
        {
            const qsizetype before = log().count(QStringLiteral("Show-window request from another instance"));
            QProcess second;
            second.setProcessEnvironment(environment);
            second.start(QStringLiteral(TESSELLON_PROGRAM), {});
            return second.waitForFinished(5000) && second.exitCode() == 0 && waitFor([this, before] {
                return log().count(QStringLiteral("Show-window request from another instance")) > before;
            });
        }
        QString log() const
        {
            QFile file(home.filePath(QStringLiteral("log/tessellon.log")));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        }
        QStringList windows() const { return windowsOf(app.processId()); }
    };

private slots:
    void initTestCase()
    {
        for (const char* tool : {"xdotool", "trayer"})
            if (!X11Programs::available(QString::fromLatin1(tool)))
                QSKIP("a tool the test drives is missing");
        // The desktop's accessibility support is on, as "Turn On Accessibility" would leave it: a
        // start then shows no accessibility alert.
        QVERIFY(X11Programs::run(QStringLiteral("dbus-send"),
            {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                "variant:boolean:true"}));
    }

    void withoutTrayTheWindowAndOneFocusedWelcome()
    {
        Start start;
        QVERIFY(start.launch());
        QVERIFY2(waitFor([&] { return start.windows() == QStringList {library, welcome}; }),
            qPrintable(start.windows().join(u'|') + u'\n' + start.log()));
        // The sheet has the keyboard from the start.
        QVERIFY2(waitFor([] { return activeWindowTitle() == welcome; }, 5000), qPrintable(activeWindowTitle()));

        // Shown again (also from the minimised state): still one sheet, and it keeps the keyboard.
        QVERIFY(start.startAgain());
        QTest::qWait(500);
        QCOMPARE(start.windows(), (QStringList {library, welcome}));
        const QList<xcb_window_t> main = listedWindowsOf(start.app.processId()).values(library);
        QCOMPARE(main.size(), 1);
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowminimize", "--sync", QString::number(main[0])}));
        auto x = XcbConnection::open();
        QVERIFY(x);
        QVERIFY(X11Wait::until([&] { return !X11Wait::isShown(*x, main[0]); }));
        QVERIFY(start.startAgain());
        // Shown again: the window manager maps the library window back.
        QVERIFY(X11Wait::shown(main[0]));
        QCOMPARE(start.windows(), (QStringList {library, welcome}));
        QVERIFY2(waitFor([] { return activeWindowTitle() == welcome; }, 5000), qPrintable(activeWindowTitle()));

        // Return is "Get Started".
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "Return"}));
        QVERIFY2(waitFor([&] { return start.windows() == QStringList {library}; }), qPrintable(start.windows().join(u'|')));

        // Closing the window keeps the program for the hotkey; starting it again shows the window.
        QVERIFY(X11Programs::activate(X11Programs::windowOf(start.app.processId())));
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "ctrl+w"}));
        QVERIFY2(waitFor([&] { return start.windows().isEmpty(); }), qPrintable(start.windows().join(u'|')));
        QTest::qWait(300);
        QCOMPARE(start.app.state(), QProcess::Running);
        QVERIFY(start.startAgain());
        QVERIFY(waitFor([&] { return start.windows().contains(library); }));
        QVERIFY(!start.log().contains(QStringLiteral("Tessellon terminated")));
    }

    // The empty prompt's hint names the capture shortcut that works: recorded anew in Settings,
    // the new one, as a screen reader reads the hint.
    void emptyPromptHintFollowsANewShortcut()
    {
        Start start;
        QVERIFY(start.launch());
        QVERIFY2(waitFor([] { return activeWindowTitle() == welcome; }), qPrintable(activeWindowTitle()));
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "Return"}));
        QVERIFY(waitFor([&] { return start.windows() == QStringList {library}; }));
        QVERIFY(X11Programs::activate(X11Programs::windowOf(start.app.processId())));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+n")));
        AtspiTree::Reader reader;
        QVERIFY(reader.connected());
        const auto hint = [&reader, &start]() -> QString {
            for (const AtspiTree::Element& e : reader.read(4000, start.app.processId()))
                if (e.name.startsWith(u"No sources yet."))
                    return e.name;
            return {};
        };
        QVERIFY2(waitFor([&] { return hint().contains(u"press Ctrl+Alt+Super+C with"); }), qPrintable(hint()));

        // Settings opens with its shortcut button focused: Space records, then the new shortcut.
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+comma")));
        QVERIFY2(waitFor([] { return activeWindowTitle() == u"Settings"; }), qPrintable(activeWindowTitle()));
        QVERIFY(X11Programs::key(QStringLiteral("space")));
        QTest::qWait(300);
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+alt+shift+v")));
        QTest::qWait(300);
        QVERIFY(X11Programs::key(QStringLiteral("Escape")));
        QVERIFY2(waitFor([&] { return hint().contains(u"press Ctrl+Alt+Shift+V with"); }), qPrintable(hint()));
    }

    void xembedTrayKeepsThePlainStartQuiet()
    {
        Child tray;
        QVERIFY(tray.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "request"}));
        auto x = XcbConnection::open();
        QVERIFY(x);
        const xcb_atom_t selection = x->atom("_NET_SYSTEM_TRAY_S0");
        QVERIFY(waitFor([&] {
            auto owner = xcb_get_selection_owner_reply(x->connection(), xcb_get_selection_owner(x->connection(), selection), nullptr);
            const bool owned = owner && owner->owner != XCB_NONE;
            std::free(owner);
            return owned;
        }));
        Start start;
        QVERIFY(start.launch());
        QTest::qWait(1500);
        QVERIFY2(start.windows().isEmpty(), qPrintable(start.windows().join(u'|')));
        QVERIFY(!start.log().contains(QStringLiteral("No system tray")));
        // Starting it again shows the window.
        QVERIFY(start.startAgain());
        QVERIFY(waitFor([&] { return start.windows().contains(library); }));
    }

    void statusNotifierHostKeepsThePlainStartQuiet()
    {
        StatusNotifierWatcher watcher;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAllProperties));
        QVERIFY(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        Start start;
        QVERIFY(start.launch());
        // The program's status item registers with the host.
        QVERIFY2(waitFor([&] { return !watcher.registered.isEmpty(); }), qPrintable(start.log()));
        QTest::qWait(1000);
        QVERIFY2(start.windows().isEmpty(), qPrintable(start.windows().join(u'|')));
        QVERIFY(!start.log().contains(QStringLiteral("No system tray")));
        bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    }
};

TESSELLON_GUI_TEST_MAIN(TestFirstContact)
#include "tst_FirstContact.moc"
