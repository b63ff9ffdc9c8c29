// The frontmost application on a real X server: its process, desktop-entry id and name.

#include "Platform/X11/DesktopEntries.h"
#include "Platform/X11/WindowDocument.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XcbConnection.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QWidget>

using X11Programs::Child;

namespace {
void writeEntry(const QString& directory, const QString& fileName, const QByteArray& body)
{
    QDir().mkpath(directory);
    QFile file(directory + u'/' + fileName);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(body);
}

// Waits until the workspace names the process as frontmost.
std::optional<RunningApplication> frontmostOnceItIs(X11Workspace& workspace, qint64 pid)
{
    std::optional<RunningApplication> app;
    QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired()) {
        app = workspace.frontmostApplication();
        if (app && app->processIdentifier == pid)
            return app;
        QTest::qWait(20);
    }
    return app;
}
} // namespace

class TestX11Workspace : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    }

    void targetWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("entryFile"); // written to the user's applications folder
        QTest::addColumn<QByteArray>("entryBody");
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("name");

        const QStringList declared {"--desktop-file", "org.example.CaptureTarget"};
        QTest::newRow("declared entry") << declared << "org.example.CaptureTarget.desktop"
                                        << QByteArray("[Desktop Entry]\nType=Application\nName=Capture Target\n"
                                                      "Name[en_US]=Capture Target (US)\nExec=true\n")
                                        << "org.example.CaptureTarget"
                                        << "Capture Target (US)";
        QTest::newRow("declared, no entry") << declared << QString() << QByteArray() << "org.example.CaptureTarget"
                                            << "tessellon_capture_target";
        QTest::newRow("entry by window class")
            << QStringList() << "sub/by-class.desktop"
            << QByteArray("[Desktop Entry]\nType=Application\nName=By Class\nStartupWMClass=tessellon_capture_target\n"
                          "[Desktop Action x]\nName=Not this\n")
            << "sub-by-class"
            << "By Class";
        // LibreOffice declares "org.libreoffice", which no entry is named: the class finds one.
        QTest::newRow("declared without an entry, class has one")
            << declared << "by-class.desktop"
            << QByteArray("[Desktop Entry]\nType=Application\nName=By Class\nStartupWMClass=tessellon_capture_target\n")
            << "by-class"
            << "By Class";
        QTest::newRow("hidden entry is no entry")
            << QStringList() << "by-class.desktop"
            << QByteArray("[Desktop Entry]\nType=Application\nName=Hidden\nHidden=true\n"
                          "StartupWMClass=tessellon_capture_target\n")
            << "tessellon_capture_target"
            << "tessellon_capture_target";
    }
    void targetWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, entryFile);
        QFETCH(QByteArray, entryBody);
        QFETCH(QString, bundleID);
        QFETCH(QString, name);

        const QString applications = m_home.path() + QStringLiteral("/applications");
        QDir(applications).removeRecursively();
        if (!entryFile.isEmpty())
            writeEntry(applications + u'/' + entryFile.section(u'/', 0, -2), entryFile.section(u'/', -1), entryBody);

        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), arguments));
        QVERIFY(target.waitForLine("ready"));
        X11Workspace workspace;
        const auto app = frontmostOnceItIs(workspace, target.pid());
        QVERIFY(app);
        QCOMPARE(app->processIdentifier, target.pid());
        QCOMPARE(app->bundleIdentifier, bundleID);
        QCOMPARE(app->localizedName, name);
    }

    void withoutActiveWindowPropertyTheFocusIsClimbed()
    {
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), {}));
        const auto ready = target.waitForLine("ready");
        QVERIFY(ready);
        X11Workspace workspace;
        QVERIFY(frontmostOnceItIs(workspace, target.pid()));
        // As without a window manager: no _NET_ACTIVE_WINDOW, only the input focus.
        QVERIFY(X11Programs::run(QStringLiteral("xprop"), {"-root", "-remove", "_NET_ACTIVE_WINDOW"}));
        auto connection = XcbConnection::open();
        QVERIFY(!connection->cardinal(connection->root(), connection->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW));
        QCOMPARE(connection->activeWindow(), xcb_window_t(ready->toULongLong()));
        const auto app = workspace.frontmostApplication();
        QVERIFY(app);
        QCOMPARE(app->processIdentifier, target.pid());
    }

    void xtermIsNamedByTheSystemEntry()
    {
        if (!X11Programs::available(QStringLiteral("xterm")))
            QSKIP("xterm is not installed");
        if (!QFile::exists(QStringLiteral("/usr/share/applications/debian-xterm.desktop")))
            QSKIP("the xterm desktop entry is not installed");
        Child xterm;
        QVERIFY(xterm.start(QStringLiteral("xterm"), {"-e", "sh", "-c", "sleep 30"}));
        const QString window = X11Programs::windowOf(xterm.pid());
        QVERIFY(!window.isEmpty());
        QVERIFY(X11Programs::activate(window));
        X11Workspace workspace;
        const auto app = frontmostOnceItIs(workspace, xterm.pid());
        QVERIFY(app);
        QCOMPARE(app->bundleIdentifier, QStringLiteral("debian-xterm"));
        QCOMPARE(app->localizedName, QStringLiteral("XTerm"));
    }

    // A terminal's title names the script running in it, an existing file: no document path
    // comes from a terminal's window, neither through its title nor through its open files.
    void terminalWindowNamesNoDocument_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments"); // before the script's path
        QTest::newRow("terminator -x") << QStringLiteral("terminator") << QStringList {"--no-dbus", "-x"};
        QTest::newRow("st -e") << QStringLiteral("st") << QStringList {"-e"};
        QTest::newRow("xterm -e") << QStringLiteral("xterm") << QStringList {"-e"};
    }
    void terminalWindowNamesNoDocument()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        if (!X11Programs::available(program))
            QSKIP(qPrintable(program + QStringLiteral(" is not installed")));
        const QString script = m_home.path() + QStringLiteral("/term.sh");
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\nprintf '\\033]0;%s\\007' \"$0\"\nexec sleep 60\n");
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        Child terminal;
        QVERIFY(terminal.start(program, arguments + QStringList {script}));
        const QString window = X11Programs::windowOf(terminal.pid(), 20000);
        QVERIFY(!window.isEmpty());
        QVERIFY(X11Programs::activate(window));
        X11Workspace workspace;
        QVERIFY(frontmostOnceItIs(workspace, terminal.pid()));
        // The title names the script, which the title lookup alone would take for the document.
        QTRY_COMPARE_WITH_TIMEOUT(workspace.activeWindowTitle().value_or(QString()), script, 10000);
        QCOMPARE(WindowDocument::path(qint32(terminal.pid()), script), std::optional<QString>(script));
        QCOMPARE(workspace.activeWindowDocument(), std::nullopt);
    }

    // Emacs and its client both declare the class "Emacs": the window of the emacs process is
    // named by the entry that starts emacs.
    void emacsIsNamedByItsOwnEntry()
    {
        if (!X11Programs::available(QStringLiteral("emacs")))
            QSKIP("emacs is not installed");
        if (!QFile::exists(QStringLiteral("/usr/share/applications/emacs.desktop"))
            || !QFile::exists(QStringLiteral("/usr/share/applications/emacsclient.desktop")))
            QSKIP("the Emacs desktop entries are not installed");
        Child emacs;
        QVERIFY(emacs.start(QStringLiteral("emacs"), {"-Q", "--no-site-file", "--no-splash"}));
        const QString window = X11Programs::windowOf(emacs.pid(), 30000);
        QVERIFY(!window.isEmpty());
        QVERIFY(X11Programs::activate(window));
        X11Workspace workspace;
        const auto app = frontmostOnceItIs(workspace, emacs.pid());
        QVERIFY(app);
        QCOMPARE(app->bundleIdentifier, QStringLiteral("emacs"));
        QCOMPARE(app->localizedName, QStringLiteral("Emacs (GUI)"));
    }

    void ownWindowIsTessellon()
    {
        QWidget window;
        window.resize(200, 100);
        window.show();
        window.activateWindow();
        X11Workspace workspace;
        const auto app = frontmostOnceItIs(workspace, QCoreApplication::applicationPid());
        QVERIFY(app);
        QCOMPARE(app->bundleIdentifier, QStringLiteral("com.vesk.tessellon"));
    }

    // A window manager may leave _NET_ACTIVE_WINDOW naming a window that is gone (Tessellon's own
    // alert, closed with no other window to focus): no application is frontmost then, not the
    // one whose connection made the window.
    void activeWindowThatIsGoneIsNoFrontmostApplication()
    {
        auto connection = XcbConnection::open();
        QVERIFY(connection);
        xcb_connection_t* c = connection->connection();
        const xcb_window_t window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection->root(), 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_destroy_window(c, window);
        const xcb_atom_t active = connection->atom("_NET_ACTIVE_WINDOW");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, connection->root(), active, XCB_ATOM_WINDOW, 32, 1, &window);
        xcb_flush(c);
        const auto forget = qScopeGuard([] {
            X11Programs::run(QStringLiteral("xprop"), {"-root", "-remove", "_NET_ACTIVE_WINDOW"});
        });
        QCOMPARE(connection->cardinal(connection->root(), active, XCB_ATOM_WINDOW), std::optional<uint32_t>(window));
        QCOMPARE(connection->activeWindow(), xcb_window_t(XCB_WINDOW_NONE));
        X11Workspace workspace;
        QVERIFY(!workspace.frontmostApplication());
        QVERIFY(!workspace.activeWindowTitle());
    }

    void processOfAWindowWithoutPidProperty()
    {
        // A bare window carries no _NET_WM_PID: the X-Resource extension names its creator.
        auto connection = XcbConnection::open();
        QVERIFY(connection);
        xcb_connection_t* c = connection->connection();
        const xcb_window_t window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection->root(), 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_flush(c);
        QVERIFY(!connection->cardinal(window, connection->atom("_NET_WM_PID")));
        QCOMPARE(connection->processOf(window), qint32(QCoreApplication::applicationPid()));
        xcb_destroy_window(c, window);
        xcb_flush(c);
    }

    void oversizedOrMistypedPropertiesReadAsNothing()
    {
        auto connection = XcbConnection::open();
        QVERIFY(connection);
        xcb_connection_t* c = connection->connection();
        const xcb_window_t window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection->root(), 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QByteArray huge(9000, 'a');
        xcb_change_property(
            c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, huge.size(), huge.constData());
        const xcb_atom_t pid = connection->atom("_NET_WM_PID");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, pid, XCB_ATOM_STRING, 8, 4, "1234");
        xcb_flush(c);
        QVERIFY(!connection->windowClass(window));
        QVERIFY(!connection->cardinal(window, pid));
        xcb_destroy_window(c, window);
        xcb_flush(c);
    }
};

TESSELLON_GUI_TEST_MAIN(TestX11Workspace)
#include "tst_X11Workspace.moc"
