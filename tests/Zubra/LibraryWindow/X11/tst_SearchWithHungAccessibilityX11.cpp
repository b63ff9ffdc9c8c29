// Typing in the library window's search field while the desktop's accessibility service hangs:
// the real program on a session bus of this test's own, whose accessibility bus launcher the test
// stops (SIGSTOP) once the window shows. Each keystroke must reach the screen at once: the window
// reads trust as the last answer and never waits for the service.

#include "Platform/X11/AccessibilityBus.h"
#include "Platform/X11/XcbConnection.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "support/LibraryFixtures.h"
#include "support/PrivateSessionBus.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <sys/stat.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

using namespace std::chrono_literals;

namespace {

// The longest a keystroke may take to show (the median of several): a window that waited for the
// hung service would wait for a whole bus call; a loaded machine is slower, but not that slow.
constexpr std::chrono::milliseconds shownWithin = accessibilityBusCallTimeout / 2;
// The window's top band, which holds the search field and its blinking cursor, is left out of
// the comparison: the list below it changes with every keystroke.
constexpr int toolbarBand = 120;

// Presses and releases the key of one lower-case letter through XTEST.
bool typeLetter(XcbConnection& x, char letter)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(x.connection());
    xcb_keycode_t* codes = symbols ? xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(letter)) : nullptr;
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    if (symbols)
        xcb_key_symbols_free(symbols);
    if (!code)
        return false;
    xcb_test_fake_input(x.connection(), XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_test_fake_input(x.connection(), XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    return xcb_flush(x.connection()) > 0;
}

} // namespace

class TestSearchWithHungAccessibilityX11 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<PrivateSessionBus> m_bus;
    QProcess m_app;
    xcb_window_t m_window = 0;

    QImage below()
    {
        QScreen* screen = QGuiApplication::primaryScreen();
        const QImage whole = screen->grabWindow(m_window).toImage();
        return whole.copy(0, toolbarBand, whole.width(), std::max(0, whole.height() - toolbarBand));
    }

private slots:
    void initTestCase()
    {
        if (!X11Programs::available(QStringLiteral("xdotool")))
            QSKIP("xdotool is missing");
        m_bus = std::make_unique<PrivateSessionBus>(true);
        if (!m_bus->isRunning())
            QSKIP("no dbus-daemon or accessibility bus launcher");
        // On, so that no alert opens at launch.
        QDBusMessage set = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"),
            QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(true));
        QCOMPARE(m_bus->connection().call(set, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);

        for (const char* folder : {"data", "config", "state", "log", "run"})
            QVERIFY(QDir().mkpath(m_home.filePath(QString::fromLatin1(folder))));
        QVERIFY(::chmod(QFile::encodeName(m_home.filePath(QStringLiteral("run"))).constData(), 0700) == 0);
        StoreSnapshot snapshot;
        snapshot.selections = SampleData::sampleSelections(QDateTime::currentDateTimeUtc());
        QVERIFY(LibraryFixtures::writeFile(
            m_home.filePath(QStringLiteral("data/Tessellon/Tessellon.json")), LibraryDocument::encode(snapshot).bytes));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), m_home.filePath(QStringLiteral("state")));
        environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), m_home.filePath(QStringLiteral("log")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("run")));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        m_app.setProcessEnvironment(environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(TESSELLON_PROGRAM), {QStringLiteral("-showWindowOnLaunch")});
        QVERIFY(m_app.waitForStarted(5000));
        const QString window = X11Programs::windowOf(m_app.processId(), 20000);
        QVERIFY(!window.isEmpty());
        m_window = window.toUInt();
        QVERIFY(X11Programs::activate(window));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f"))); // into the search field
    }

    void keystrokeShownAtOnce()
    {
        auto x = XcbConnection::open();
        QVERIFY(x);
        m_bus->stop();
        QList<qint64> shown;
        for (const char letter : {'z', 'q', 'x', 'j', 'v'}) {
            // The window at rest: two grabs alike.
            QImage before = below();
            QDeadlineTimer settle(5s);
            for (QImage again; !settle.hasExpired() && (again = below()) != before; before = again)
                QTest::qWait(50);
            QElapsedTimer since;
            QVERIFY(typeLetter(*x, letter));
            since.start();
            while (below() == before && since.elapsed() < 5000) { }
            shown.append(since.elapsed());
        }
        m_bus->resume();
        std::sort(shown.begin(), shown.end());
        const qint64 median = shown.at(shown.size() / 2);
        QVERIFY2(median <= shownWithin.count(),
            qPrintable(QStringLiteral("keystrokes shown after (ms, sorted): ") + QString::number(shown.at(0)) + u' '
                + QString::number(shown.at(1)) + u' ' + QString::number(shown.at(2)) + u' '
                + QString::number(shown.at(3)) + u' ' + QString::number(shown.at(4))));
    }

    void cleanupTestCase()
    {
        if (m_bus)
            m_bus->resume();
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(10000)) {
                m_app.kill();
                m_app.waitForFinished(2000);
            }
        }
        m_bus.reset();
    }
};

TESSELLON_GUI_TEST_MAIN(TestSearchWithHungAccessibilityX11)
#include "tst_SearchWithHungAccessibilityX11.moc"
