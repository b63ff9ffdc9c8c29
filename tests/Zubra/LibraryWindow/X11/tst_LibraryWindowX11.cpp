// The library window of the real program in an X session: its title as the window manager reads
// it, and what a screen reader finds over the accessibility bus, named.

#include "Platform/X11/XcbConnection.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "support/LibraryFixtures.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"
#include "support/X11Wait.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace {

const QString python = QStringLiteral("/usr/bin/python3");
const QString controlsScript
    = QStringLiteral(TESSELLON_SOURCE_DIR "/tests/Zubra/LibraryWindow/X11/atspi_controls.py");

// The window's title as the window manager reads it.
QString windowTitle(const QString& window)
{
    auto x = XcbConnection::open();
    if (!x)
        return {};
    const auto bytes = x->property(window.toUInt(), x->atom("_NET_WM_NAME"), x->atom("UTF8_STRING"), 4096);
    return bytes ? QString::fromUtf8(*bytes) : QString();
}

// A dark colour set as KDE Plasma writes it; Qt reads it in a session that names KDE.
const char* darkKdeColours = R"([Colors:Window]
BackgroundNormal=42,46,50
ForegroundNormal=232,232,232
[Colors:View]
BackgroundNormal=27,30,32
ForegroundNormal=232,232,232
[Colors:Button]
BackgroundNormal=49,54,59
ForegroundNormal=232,232,232
[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=255,255,255
[Colors:Tooltip]
BackgroundNormal=49,54,59
ForegroundNormal=232,232,232
)";

} // namespace

class TestLibraryWindowX11 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
    QProcess m_app;
    QString m_window;
    bool m_darkSession = false;

    QString logText() const
    {
        QFile file(m_home.filePath(QStringLiteral("log/tessellon.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The controls showing in the window: role and name, one pair a line.
    QStringList controls()
    {
        const auto out = X11Programs::run(python, {controlsScript, QString::number(m_app.processId())}, 15000);
        return out ? QString::fromUtf8(*out).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    }

private slots:
    void initTestCase()
    {
        for (const char* tool : {"xdotool", "dbus-send"})
            if (!X11Programs::available(QString::fromLatin1(tool)))
                QSKIP("a tool the test drives is missing");
        if (!X11Programs::run(python, {"-c", "import pyatspi"}))
            QSKIP("python3-pyatspi is missing");
        for (const char* folder : {"data", "config", "state", "log", "run"})
            QVERIFY(QDir().mkpath(m_home.filePath(QString::fromLatin1(folder))));
        QVERIFY(::chmod(QFile::encodeName(m_home.filePath(QStringLiteral("run"))).constData(), 0700) == 0);
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        m_environment.insert(QStringLiteral("XDG_STATE_HOME"), m_home.filePath(QStringLiteral("state")));
        m_environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), m_home.filePath(QStringLiteral("log")));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("run")));
        if (m_darkSession) {
            m_environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
            m_environment.insert(QStringLiteral("KDE_SESSION_VERSION"), QStringLiteral("5"));
            m_environment.insert(QStringLiteral("KDE_FULL_SESSION"), QStringLiteral("true"));
        }
        QVERIFY(X11Programs::run(QStringLiteral("dbus-send"),
            {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                "variant:boolean:true"}));

        StoreSnapshot snapshot;
        snapshot.selections = SampleData::sampleSelections(QDateTime::currentDateTimeUtc());
        QVERIFY(LibraryFixtures::writeFile(m_home.filePath(QStringLiteral("data/Tessellon/Tessellon.json")),
            LibraryDocument::encode(snapshot).bytes));

        const qsizetype launches = logText().count(QStringLiteral("Tessellon launched"));
        m_app.setProcessEnvironment(m_environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(m_app.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(logText().count(QStringLiteral("Tessellon launched")) > launches, 10000);
        // A second start asks the running program for its window.
        QProcess second;
        second.setProcessEnvironment(m_environment);
        second.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(second.waitForFinished(10000));
        m_window = X11Programs::windowOf(m_app.processId(), 20000);
        QVERIFY(!m_window.isEmpty());
        QVERIFY(X11Programs::activate(m_window));
    }

    void titleNamesThePrompt()
    {
        QTRY_COMPARE_WITH_TIMEOUT(windowTitle(m_window), QStringLiteral("Tessellon"), 5000);
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+shift+p"))); // Go to Prompt
        QTRY_COMPARE_WITH_TIMEOUT(windowTitle(m_window), QStringLiteral("Tessellon \u2014 Prompt 1"), 5000);
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f"))); // back to the library, in the search field
        QTRY_COMPARE_WITH_TIMEOUT(windowTitle(m_window), QStringLiteral("Tessellon"), 5000);
    }

    void everyControlIsNamed()
    {
        // The first row inspected, so that the detail's buttons show too.
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
        QVERIFY(X11Programs::key(QStringLiteral("Tab")));
        QVERIFY(X11Programs::key(QStringLiteral("Down")));
        QVERIFY(X11Programs::key(QStringLiteral("Up")));
        QStringList found;
        for (int attempt = 0; attempt < 5 && !found.join(u'\n').contains(QStringLiteral("Copy as Markdown")); ++attempt) {
            if (attempt > 0)
                QTest::qWait(1000);
            found = controls();
        }
        QStringList unnamed;
        QStringList names;
        for (const QString& line : found) {
            const QStringList fields = line.split(u'\t');
            const QString name = fields.value(1).trimmed();
            if (name.isEmpty())
                unnamed.append(fields.value(0));
            names.append(name);
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(u"unnamed: "_qs + unnamed.join(u", "_qs) + u"\n"_qs + found.join(u'\n')));
        for (const QString& expected : {u"Capture Selection"_qs, u"Sort"_qs, u"Copy as Markdown"_qs,
                 u"Copy plain text"_qs, u"More"_qs, u"New Group\u2026"_qs})
            QVERIFY2(names.contains(expected), qPrintable(expected + u"\n"_qs + found.join(u'\n')));
    }

    // Screenshots of the window at its minimum size and maximised, in light colours and in a
    // dark colour set, for a person to look at.
    void screenshots_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void screenshots()
    {
        QFETCH(bool, dark);
        if (dark) {
            // The program again, in a session with a dark colour set.
            cleanupTestCase();
            QFile colours(m_home.filePath(QStringLiteral("config/kdeglobals")));
            QVERIFY(colours.open(QIODevice::WriteOnly));
            colours.write(darkKdeColours);
            colours.close();
            m_darkSession = true;
            initTestCase();
            QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
            QVERIFY(X11Programs::key(QStringLiteral("Tab")));
            QVERIFY(X11Programs::key(QStringLiteral("Down")));
        }
        const QString scheme = dark ? QStringLiteral("dark") : QStringLiteral("light");
        QDir().mkpath(QStringLiteral(TESSELLON_SCREENSHOT_DIR));
        const auto shoot = [&](const QString& name, QSize size) {
            QVERIFY(X11Wait::sized(xcb_window_t(m_window.toULong()), size));
            QVERIFY(X11Programs::activate(m_window));
            const auto screen = X11Wait::settledScreen();
            QVERIFY(screen);
            QVERIFY(screen->save(QStringLiteral(TESSELLON_SCREENSHOT_DIR "/library-window-") + name + u'-' + scheme
                + QStringLiteral(".png")));
        };
        // The window filling the screen, as maximised, then at its smallest. Sized directly:
        // openbox leaves a state request sent from here unanswered, and a window it holds
        // maximised refuses a new size.
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowmove", m_window, "0", "0"}));
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowsize", m_window, "100%", "100%"}));
        shoot(QStringLiteral("maximised"), QGuiApplication::primaryScreen()->size());
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowsize", m_window, "980", "600"}));
        shoot(QStringLiteral("minimum"), QSize(980, 600));
    }

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(5000)) {
                m_app.kill();
                m_app.waitForFinished(2000);
            }
        }
    }
};

TESSELLON_GUI_TEST_MAIN(TestLibraryWindowX11)
#include "tst_LibraryWindowX11.moc"
