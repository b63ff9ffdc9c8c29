// The built program, each start with its own empty folders and a private home, attacked the ways
// only a real process shows: something other than a file of the user's at the settings path
// (a link, a pipe), which is never written through and never blocks the start; the ends that do
// not come through Quit (SIGHUP, the X server gone, a second SIGTERM while the GUI thread is
// stuck on a stopped X server), which still write the library's pending save. A change is
// pending from the start: with -showWindowOnLaunch an empty library is seeded with samples,
// saved 0.4 s later.

#include "Zubra/App/AppDelegate.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "support/ProgramRun.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A private X server on a free display, for the tests that stop or kill it.
class PrivateDisplay
{
public:
    PrivateDisplay()
    {
        m_server.start(QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QDeadlineTimer deadline(10000);
        while (!m_server.canReadLine() && m_server.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        const QByteArray number = m_server.readLine().trimmed();
        if (!number.isEmpty())
            m_name = QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~PrivateDisplay()
    {
        if (m_server.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_server.processId()), SIGCONT);
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
    const QString& name() const { return m_name; }
    void signal(int number) { ::kill(pid_t(m_server.processId()), number); }

private:
    QProcess m_server;
    QString m_name;
};

// A run on a display of the test's own, and what it saved.
struct Run : ProgramRun
{
    using ProgramRun::start;
    bool start(const QStringList& arguments, const QString& display)
    {
        QProcessEnvironment environment = this->environment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        return start(arguments, environment);
    }

    // The number of selections in the library file; -1 when it does not read.
    qsizetype savedSelections() const
    {
        const auto document = LibraryDocument::decode(readAll(libraryPath()));
        return document.snapshot ? document.snapshot->selections.size() : -1;
    }

    // Waits until the library file holds selections, however slow the disk: a save takes
    // several syncs, each of which a busy disk may hold for most of a second.
    qsizetype waitForSavedSelections()
    {
        QDeadlineTimer deadline(hangBound);
        while (savedSelections() <= 0 && !deadline.hasExpired() && app.state() != QProcess::NotRunning)
            QTest::qWait(10);
        return savedSelections();
    }

    // Waits until the library window shows: a launch on a busy disk may be slow to show it, and
    // the accessibility alert, which bears the same title, may come first.
    bool waitForLibraryWindow()
    {
        const QString pid = QString::number(app.processId());
        QDeadlineTimer deadline(hangBound);
        while (!deadline.hasExpired() && app.state() != QProcess::NotRunning) {
            const auto windows = X11Programs::run(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid,
                    QStringLiteral("--name"), QStringLiteral("^Tessellon$")});
            for (const QByteArray& window : windows.value_or(QByteArray()).split('\n')) {
                const auto shell = window.isEmpty() ? std::nullopt
                                                    : X11Programs::run(QStringLiteral("xdotool"),
                                                        {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                                            QString::fromLatin1(window)});
                for (const QByteArray& line : shell.value_or(QByteArray()).split('\n')) {
                    if (line.startsWith("WIDTH=") && line.mid(6).toInt() >= AppDelegate::mainWindowMinimumSize.width())
                        return true;
                }
            }
            QTest::qWait(50);
        }
        return false;
    }
};

} // namespace

class TestProcessEndings : public QObject
{
    Q_OBJECT

private slots:
    void settingsPathThatIsNoFile_data();
    void settingsPathThatIsNoFile();
    void endsWithoutQuitSavePendingChanges_data();
    void endsWithoutQuitSavePendingChanges();
    void secondSignalEndsABlockedProcess();
};

void TestProcessEndings::settingsPathThatIsNoFile_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("logged"); // empty: the settings are kept in the file
    QTest::newRow("nothing yet") << "none" << "";
    QTest::newRow("link to a file of the user's") << "link" << " is a link: settings are not saved.";
    QTest::newRow("pipe") << "pipe" << " is not a file: settings are not saved.";
    QTest::newRow("link to a pipe") << "linkToPipe" << " is a link: settings are not saved.";
}

// A session and a quit leave whatever stands at the settings path as it was; a missing file is
// made private, in a private folder, whatever the umask.
void TestProcessEndings::settingsPathThatIsNoFile()
{
    QFETCH(QString, setup);
    QFETCH(QString, logged);
    Run run;
    const QString target = run.path(QStringLiteral("mine.conf"));
    const QByteArray targetBytes = "[General]\nnot=Tessellon's\n";
    const QString pipe = run.path(QStringLiteral("pipe"));
    QVERIFY(QDir().mkpath(run.path(QStringLiteral("config/vesk"))));
    QVERIFY(::chmod(QFile::encodeName(run.path(QStringLiteral("config/vesk"))).constData(), 0755) == 0);
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(targetBytes);
    }
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QByteArray settings = QFile::encodeName(run.settingsPath());
    if (setup == u"link")
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), settings.constData()), 0);
    if (setup == u"pipe")
        QCOMPARE(::mkfifo(settings.constData(), 0600), 0);
    if (setup == u"linkToPipe")
        QCOMPARE(::symlink(QFile::encodeName(pipe).constData(), settings.constData()), 0);

    const mode_t umask = ::umask(022);
    QVERIFY(run.start({QStringLiteral("-showWindowOnLaunch")}));
    ::umask(umask);
    QVERIFY2(run.waitForLog(QStringLiteral("Tessellon launched")), "the start never got as far as the log");
    // The library window is up, so the quit saves its frame.
    QVERIFY(run.waitForLibraryWindow());
    run.signal(SIGTERM);
    QVERIFY(run.app.waitForFinished(int(ProgramRun::hangBound.count())));
    QCOMPARE(run.app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.app.exitCode(), 0);
    QVERIFY(run.savedSelections() > 0);

    QCOMPARE(readAll(target), targetBytes);
    QVERIFY(!QFileInfo(pipe).isFile());
    struct stat info {};
    QCOMPARE(::lstat(settings.constData(), &info), 0);
    if (logged.isEmpty()) {
        // The window's frame was saved at the quit.
        QVERIFY(S_ISREG(info.st_mode));
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QVERIFY2(readAll(run.settingsPath()).contains("TessellonMainWindow"),
            qPrintable(QString::fromUtf8(readAll(run.settingsPath())) + run.logText()));
        QCOMPARE(::stat(QFile::encodeName(run.path(QStringLiteral("config/vesk"))).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0700));
    } else {
        QVERIFY(setup == u"pipe" ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode));
        QVERIFY2(run.logText().contains(QStringLiteral("The settings file ") + run.settingsPath() + logged),
            qPrintable(run.logText()));
    }
}

void TestProcessEndings::endsWithoutQuitSavePendingChanges_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("SIGHUP: the terminal closed") << "hangup";
    QTest::newRow("the X server died") << "display";
}

void TestProcessEndings::endsWithoutQuitSavePendingChanges()
{
    QFETCH(QString, ending);
    PrivateDisplay display;
    QVERIFY(!display.name().isEmpty());
    Run run;
    QVERIFY(run.start({QStringLiteral("-showWindowOnLaunch")}, display.name()));
    QVERIFY(run.waitForLog(QStringLiteral("Tessellon launched")));
    // Within the save's 0.4 s delay.
    if (ending == u"hangup")
        run.signal(SIGHUP);
    else
        display.signal(SIGKILL);
    QVERIFY(run.app.waitForFinished(int(ProgramRun::hangBound.count())));
    QVERIFY2(run.savedSelections() > 0, qPrintable(run.logText()));
    if (ending == u"hangup") {
        QCOMPARE(run.app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.app.exitCode(), 0);
        QVERIFY(run.logText().trimmed().endsWith(QStringLiteral("Tessellon terminated")));
    } else {
        QVERIFY2(run.logText().contains(QStringLiteral("Tessellon is ending without Quit")), qPrintable(run.logText()));
    }
}

// The X server stops answering: the first SIGTERM's quit gets stuck in a request to it. The
// second one ends the process within a second, the library saved.
void TestProcessEndings::secondSignalEndsABlockedProcess()
{
    PrivateDisplay display;
    QVERIFY(!display.name().isEmpty());
    Run run;
    QVERIFY(run.start({QStringLiteral("-showWindowOnLaunch")}, display.name()));
    QVERIFY(run.waitForLog(QStringLiteral("Tessellon launched")));
    QTest::qWait(1000); // the window is up
    const qsizetype saved = run.waitForSavedSelections();
    QVERIFY(saved > 0);
    display.signal(SIGSTOP);
    run.signal(SIGTERM);
    // Stuck: the first signal alone does not end it.
    QVERIFY(!run.app.waitForFinished(1500));
    QDeadlineTimer deadline(1000);
    run.signal(SIGTERM);
    QVERIFY(run.app.waitForFinished(5000));
    QVERIFY2(!deadline.hasExpired(), "the second signal took longer than a second");
    QVERIFY2(run.app.exitStatus() == QProcess::NormalExit, qPrintable(run.logText()));
    QCOMPARE(run.app.exitCode(), 128 + SIGTERM);
    QCOMPARE(run.savedSelections(), saved);
    QVERIFY(run.logText().contains(QStringLiteral("A second termination signal")));
    display.signal(SIGCONT);
}

TESSELLON_TEST_MAIN(TestProcessEndings)
#include "tst_ProcessEndings.moc"
