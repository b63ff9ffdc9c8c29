// The built program on a real X session, with its own empty data, settings, log and runtime
// folders: a second start hands off to the running one without touching the library; Settings,
// moved and closed, opens again where it was left; a burst of show-window requests brings the
// library window forward once and leaves the focus to the user's next program; the capture
// hotkey, pressed with xdotool over a Qt window and over xterm, puts the selected text into the
// library file within two seconds, leaves the user's clipboard as it was and shows a toast;
// SIGTERM ends the program cleanly. A screenshot of the window after the captures is kept in the
// build folder for review.

#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/XcbConnection.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "support/LibraryFixtures.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"
#include "support/X11Wait.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <cstring>
#include <csignal>
#include <sys/stat.h>

using X11Programs::Child;

namespace {

const QList<Pasteboard::ItemData> userClipboard {{{QStringLiteral("text/plain"), QByteArrayLiteral("the user's own")},
    {QStringLiteral("application/x-tessellon-test"), QByteArray("\x00\x01 kept", 7)}}};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A viewable window of the process that the window manager does not manage (the toast).
bool showsUnmanagedWindow(qint64 pid)
{
    auto x = XcbConnection::open();
    if (!x)
        return false;
    xcb_connection_t* c = x->connection();
    auto tree = xcb_query_tree_reply(c, xcb_query_tree(c, x->root()), nullptr);
    if (!tree)
        return false;
    bool found = false;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        auto attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        if (attributes && attributes->override_redirect && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            found = x->processOf(children[i]) == pid;
        std::free(attributes);
    }
    std::free(tree);
    return found;
}

} // namespace

class TestApplicationEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
    QProcess m_app;
    QtPasteboard* m_pasteboard = nullptr;
    Child m_tray;

    static bool waitForTray()
    {
        auto x = XcbConnection::open();
        if (!x)
            return false;
        const xcb_atom_t selection = x->atom("_NET_SYSTEM_TRAY_S0");
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            auto owner = xcb_get_selection_owner_reply(
                x->connection(), xcb_get_selection_owner(x->connection(), selection), nullptr);
            const bool owned = owner && owner->owner != XCB_NONE;
            std::free(owner);
            if (owned)
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    QString libraryPath() const { return m_home.filePath(QStringLiteral("data/Tessellon/Tessellon.json")); }
    QString logText() const { return QString::fromUtf8(readAll(m_home.filePath(QStringLiteral("log/tessellon.log")))); }

    bool waitForLog(const QString& line, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (logText().contains(line))
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    void putUserClipboard()
    {
        QVERIFY(m_pasteboard->writeItems(userClipboard));
        QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->types().contains(QStringLiteral("application/x-tessellon-test")), 5000);
    }

    void verifyUserClipboard()
    {
        for (const auto& [type, bytes] : userClipboard.first()) {
            const auto read = X11Programs::run(QStringLiteral("xclip"), {"-o", "-selection", "clipboard", "-t", type});
            QVERIFY2(read, qPrintable(type));
            QCOMPARE(*read, bytes);
        }
    }

    // Presses the hotkey and waits (two seconds at most) until the library file holds the text.
    void captureWithHotkey(const QString& text, const QString& appName)
    {
        const qint64 pid = m_app.processId();
        QElapsedTimer clock;
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "ctrl+alt+super+c"}));
        clock.start();
        bool toast = false;
        QByteArray library;
        while (clock.elapsed() < 2000) {
            toast = toast || showsUnmanagedWindow(pid);
            library = readAll(libraryPath());
            if (library.contains(text.toUtf8()) && toast)
                break;
            QTest::qWait(10);
        }
        QVERIFY2(library.contains(text.toUtf8()), qPrintable(logText()));
        QVERIFY2(toast, "no toast appeared");
        const auto document = LibraryDocument::decode(library);
        QVERIFY(document.snapshot);
        const auto& selections = document.snapshot->selections;
        const auto captured = std::find_if(
            selections.begin(), selections.end(), [&](const Selection& s) { return s.text == text; });
        QVERIFY(captured != selections.end());
        QCOMPARE(captured->appName, appName);
        QVERIFY(logText().contains(QStringLiteral("Saved selection from ") + appName));
    }

private slots:
    void initTestCase()
    {
        for (const char* tool : {"xdotool", "xclip", "xterm", "dbus-send", "trayer"})
            if (!X11Programs::available(QString::fromLatin1(tool)))
                QSKIP("a tool the test drives is missing");
        m_pasteboard = new QtPasteboard(this);
        // A system tray, as most desktops have: a plain start then opens no window.
        QVERIFY(m_tray.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right"}));
        QVERIFY(waitForTray());
        for (const char* folder : {"data", "config", "state", "log", "run"})
            QVERIFY(QDir().mkpath(m_home.filePath(QString::fromLatin1(folder))));
        QVERIFY(::chmod(QFile::encodeName(m_home.filePath(QStringLiteral("run"))).constData(), 0700) == 0);
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        m_environment.insert(QStringLiteral("XDG_STATE_HOME"), m_home.filePath(QStringLiteral("state")));
        m_environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), m_home.filePath(QStringLiteral("log")));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("run")));
        // The desktop's accessibility support is on, as "Turn On Accessibility" would leave it.
        QVERIFY(X11Programs::run(QStringLiteral("dbus-send"),
            {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                "variant:boolean:true"}));

        // A library in use, so that the window shows rows.
        StoreSnapshot snapshot;
        snapshot.selections = SampleData::sampleSelections(QDateTime::currentDateTimeUtc());
        QVERIFY(LibraryFixtures::writeFile(libraryPath(), LibraryDocument::encode(snapshot).bytes));

        m_app.setProcessEnvironment(m_environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(m_app.waitForStarted(5000));
        QVERIFY2(waitForLog(QStringLiteral("Tessellon launched")), qPrintable(logText()));
        QVERIFY(!logText().contains(QStringLiteral("No hotkey could be registered")));
    }

    void secondStartHandsOff()
    {
        // The running instance has loaded the library (and refreshed its backup) by now.
        const QString backupPath = m_home.filePath(QStringLiteral("data/Tessellon/Tessellon.backup.json"));
        QTRY_VERIFY(QFile::exists(backupPath));
        // Without a backup, a process that loaded the library would write one at once.
        QVERIFY(QFile::remove(backupPath));
        const QByteArray bytes = readAll(libraryPath());
        const QDateTime modified = QFileInfo(libraryPath()).lastModified();
        QVERIFY(X11Programs::windowOf(m_app.processId(), 300).isEmpty()); // no window yet

        // It leaves by itself once it has handed off; how soon is no test's to time (a loaded
        // machine running the sanitizer build takes more than a second).
        QProcess second;
        second.setProcessEnvironment(m_environment);
        second.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        QVERIFY(waitForLog(QStringLiteral("Another Tessellon instance found (pid ") + QString::number(m_app.processId())
            + QStringLiteral("); delegating")));
        QVERIFY(waitForLog(QStringLiteral("Show-window request from another instance")));
        QVERIFY(!X11Programs::windowOf(m_app.processId()).isEmpty());
        QCOMPARE(readAll(libraryPath()), bytes);
        QCOMPARE(QFileInfo(libraryPath()).lastModified(), modified);
        QVERIFY(!QFile::exists(backupPath));
    }

    // Ctrl+, in the library window opens Settings; moved and closed with Escape, it opens again
    // where it was left, each time.
    void settingsOpenWhereTheyWereLeft()
    {
        const QString library = X11Programs::windowOf(m_app.processId());
        QVERIFY(!library.isEmpty());
        const QString pid = QString::number(m_app.processId());
        const auto settings = [&pid]() -> QString {
            const auto found = X11Programs::run(
                QStringLiteral("xdotool"), {"search", "--all", "--onlyvisible", "--pid", pid, "--name", "^Settings$"});
            return found ? QString::fromLatin1(found->split('\n').first()) : QString();
        };
        const auto open = [&] {
            return X11Programs::activate(library) && X11Programs::key(QStringLiteral("ctrl+comma"))
                && X11Wait::until([&] { return !settings().isEmpty(); });
        };
        auto x = XcbConnection::open();
        QVERIFY(x);
        const auto placeOf = [&x](const QString& window) {
            return X11Wait::rootPosition(*x, xcb_window_t(window.toUInt())).value_or(QPoint(-1, -1));
        };
        QVERIFY(open());
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowmove", "--sync", settings(), "600", "400"}));
        const QPoint moved = placeOf(settings());
        QVERIFY2(moved != QPoint(-1, -1), qPrintable(settings()));
        for (int round = 0; round < 2; ++round) {
            QVERIFY(X11Programs::activate(settings()));
            QVERIFY(X11Programs::key(QStringLiteral("Escape")));
            QVERIFY(X11Wait::until([&] { return settings().isEmpty(); }));
            QVERIFY(open());
            X11Wait::until([&] { return placeOf(settings()) == moved; }, std::chrono::seconds(3));
            QCOMPARE(placeOf(settings()), moved);
        }
        QVERIFY(X11Programs::activate(settings()));
        QVERIFY(X11Programs::key(QStringLiteral("Escape")));
    }

    // Thousands of show-window requests over the instance socket: every one is answered, at most
    // one a second is taken (the rest are merged), and the program the user turns to next keeps
    // the focus.
    void showWindowBurstLeavesTheFocus()
    {
        QString socketPath;
        for (QDirIterator it(m_home.filePath(QStringLiteral("run")), {QStringLiteral("*.socket")}, QDir::System,
                 QDirIterator::Subdirectories);
             it.hasNext();)
            socketPath = it.next();
        QVERIFY(!socketPath.isEmpty());
        const qsizetype linesBefore = logText().count(QStringLiteral("Show-window request from another instance"));
        constexpr int requests = 3000;
        QElapsedTimer burst;
        burst.start();
        for (int i = 0; i < requests; ++i) {
            QLocalSocket socket;
            socket.connectToServer(socketPath);
            QVERIFY(socket.waitForConnected(5000));
            socket.write("TessellonShowWindowRequest\n");
            QVERIFY(socket.waitForBytesWritten(5000));
            // The running instance hangs up once it has read the request.
            QVERIFY(socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(5000));
        }
        const qsizetype taken
            = logText().count(QStringLiteral("Show-window request from another instance")) - linesBefore;
        QVERIFY2(taken <= 2 + burst.elapsed() / 1000, qPrintable(QString::number(taken)));

        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET),
            {"--text", "Focus refocused here", "--select", "refocused", "--title", "After the burst"}));
        QVERIFY(target.waitForLine("ready"));
        const QString window = X11Programs::windowOf(target.pid());
        QVERIFY(X11Programs::activate(window));
        auto x = XcbConnection::open();
        QVERIFY(x);
        // Longer than the window manager takes to act on a request.
        QTest::qWait(1500);
        QCOMPARE(QString::number(x->activeWindow()), window);
        putUserClipboard();
        captureWithHotkey(QStringLiteral("refocused"), QStringLiteral("tessellon_capture_target"));
    }

    void hotkeyCapturesFromAQtWindow()
    {
        putUserClipboard();
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET),
            {"--text", "The quick brown fox jumps", "--select", "quick brown", "--title", "Field notes"}));
        QVERIFY(target.waitForLine("ready"));
        captureWithHotkey(QStringLiteral("quick brown"), QStringLiteral("tessellon_capture_target"));
        verifyUserClipboard();
    }

    void hotkeyCapturesFromXterm()
    {
        putUserClipboard();
        Child xterm;
        // xterm copies to the clipboard on Control+Shift+C here, as terminals usually do.
        QVERIFY(X11Programs::startXtermWithWordSelected(xterm, QStringLiteral("tessellate"),
            {"-xrm", "XTerm*VT100.translations: #override Shift Ctrl<Key>C: copy-selection(CLIPBOARD)"}));
        captureWithHotkey(QStringLiteral("tessellate"), QStringLiteral("XTerm"));
        verifyUserClipboard();
    }

    void screenshotAfterTheCaptures()
    {
        const QString window = X11Programs::windowOf(m_app.processId());
        QVERIFY(!window.isEmpty());
        QVERIFY(X11Programs::activate(window));
        const auto screen = X11Wait::settledScreen();
        QVERIFY(screen);
        QDir().mkpath(QStringLiteral(TESSELLON_SCREENSHOT_DIR));
        QVERIFY(screen->save(QStringLiteral(TESSELLON_SCREENSHOT_DIR "/tessellon-after-capture.png")));
    }

    void terminationSignalQuitsCleanly()
    {
        ::kill(pid_t(m_app.processId()), SIGTERM);
        QVERIFY(m_app.waitForFinished(8000));
        QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app.exitCode(), 0);
        QVERIFY(logText().trimmed().endsWith(QStringLiteral("Tessellon terminated")));
        QVERIFY(readAll(libraryPath()).contains("tessellate"));
    }

    // A separate start (its own folders, so no instance runs there) whose adoption of the earlier
    // product's data fails: the error line, the critical alert, status 1, and no library.
    void failedAdoptionStopsTheStart()
    {
        QTemporaryDir home;
        QVERIFY(LibraryFixtures::writeFile(home.filePath(QStringLiteral("data/Zubra/Zubra.json")), "{\"version\":2}"));
        // A file where the library folder belongs: the copy cannot be made.
        QVERIFY(LibraryFixtures::writeFile(home.filePath(QStringLiteral("data/Tessellon")), "not a folder"));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("run"))));
        QVERIFY(::chmod(QFile::encodeName(home.filePath(QStringLiteral("run"))).constData(), 0700) == 0);
        QProcessEnvironment environment = m_environment;
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), home.filePath(QStringLiteral("log")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(program.waitForStarted(5000));
        const QString alert = X11Programs::windowOf(program.processId());
        QVERIFY2(!alert.isEmpty(), "no alert window");
        // "Quit", the alert's one button, answers Return once the alert has the keyboard.
        QDeadlineTimer deadline(8000);
        while (program.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            X11Programs::activate(alert);
            X11Programs::run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "Return"});
            program.waitForFinished(300);
        }
        QCOMPARE(program.state(), QProcess::NotRunning);
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(program.readAllStandardError().split('\n').contains(
            QByteArray("error: Tessellon could not copy your existing Zubra data. Your data was not changed, and "
                       "Tessellon did not start. Resolve the local storage problem, then open Tessellon again.")));
        QVERIFY(QFileInfo(home.filePath(QStringLiteral("data/Tessellon"))).isFile());
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("log/tessellon.log"))));
    }

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.kill();
            m_app.waitForFinished(2000);
        }
    }
};

TESSELLON_GUI_TEST_MAIN(TestApplicationEndToEnd)
#include "tst_ApplicationEndToEnd.moc"
