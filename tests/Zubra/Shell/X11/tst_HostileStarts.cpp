// The built program started the ways a shell, a service manager or a second session may start
// it, each start with its own folders and a private home: a library whose document names a key
// twice, a file-size limit below the library's size, relative XDG folder variables, something at
// the instance socket's path, standard output and error on a pipe nobody reads, and a library
// another session holds for writing. Captures go through the real hotkey over the capture
// target window. Nothing may end the process, and no capture may be shown as saved and lost.

#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "support/LibraryFixtures.h"
#include "support/ProgramRun.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using X11Programs::Child;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using Run = ProgramRun;

// Presses the capture hotkey (held by the instance `run`) with the capture target in front,
// showing `selected` selected. Without a tray the instance opens its library window at launch,
// which takes the focus whenever it comes up: the target is brought in front once that window is
// up, and a press that still found the library window in front is made again.
bool pressHotkeyOver(const Run& run, Child& target, const QString& selected)
{
    const QString library = X11Programs::windowOf(run.app.processId());
    if (library.isEmpty() || !X11Programs::waitUntilActive(library))
        return false;
    if (!target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET),
            {"--text", "Field notes: " + selected + " and more", "--select", selected, "--title", "Field notes"}))
        return false;
    const std::optional<QByteArray> window = target.waitForLine("ready");
    if (!window)
        return false;
    const QString inFront = QStringLiteral("Capture refused: Tessellon is in front");
    for (int attempt = 0; attempt < 3; ++attempt) {
        // Each press is answered in the log: the capture starts, or it is refused.
        const QString answer = QStringLiteral("] Capture ");
        const qsizetype answers = run.logText().count(answer);
        const qsizetype refusals = run.logText().count(inFront);
        if (!X11Programs::activateAndHold(QString::fromLatin1(*window))
            || !X11Programs::run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "ctrl+alt+super+c"}))
            return false;
        QDeadlineTimer answered(5000);
        while (!answered.hasExpired() && run.logText().count(answer) == answers)
            QTest::qWait(20);
        if (run.logText().count(inFront) == refusals)
            return true;
    }
    return false;
}

// Whether some file in the folder holds every one of the texts.
bool someFileHolds(const QString& folder, const QList<QByteArray>& texts)
{
    QDirIterator files(folder, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        const QByteArray bytes = readAll(files.next());
        if (std::all_of(texts.cbegin(), texts.cend(), [&](const QByteArray& text) { return bytes.contains(text); }))
            return true;
    }
    return false;
}

QByteArray selectionJson(int n, const QByteArray& texts)
{
    return R"({"appName":"Editor","createdAt":"2025-03-14T09:26:53Z","groupIDs":[],"id":"00000000-0000-4000-8000-)"
        + QByteArray::number(n).rightJustified(12, '0') + R"(","markdown":"m",)" + texts + "}";
}

} // namespace

class TestHostileStarts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void repeatedKeyKeepsBothValues_data();
    void repeatedKeyKeepsBothValues();
    void fileSizeLimitFailsTheSaveOnly();
    void relativeFolderVariablesAreIgnored();
    void somethingAtTheSocketPath_data();
    void somethingAtTheSocketPath();
    void closedOutputDoesNotEndTheProcess();
    void captureRefusedWhenAnotherSessionHoldsTheLibrary();
};

void TestHostileStarts::initTestCase()
{
    for (const char* tool : {"xdotool", "dbus-send"})
        if (!X11Programs::available(QString::fromLatin1(tool)))
            QSKIP("a tool the test drives is missing");
    // The desktop's accessibility support is on, as "Turn On Accessibility" would leave it.
    QVERIFY(X11Programs::run(QStringLiteral("dbus-send"),
        {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
            "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true"}));
}

void TestHostileStarts::repeatedKeyKeepsBothValues_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QByteArray>("backup"); // null: the same document
    const QByteArray goodBackup = R"({"version":2,"groups":[],"drafts":[],"selections":[)"
        + selectionJson(3, R"("text":"delta record")") + "]}";
    QTest::newRow("selections twice") << R"({"version":2,"groups":[],"drafts":[],"selections":[],"selections":[)"
            + selectionJson(1, R"("text":"alpha record")") + "," + selectionJson(2, R"("text":"beta record")") + "]}"
                                      << QByteArray();
    QTest::newRow("text twice in a selection") << R"({"version":2,"groups":[],"drafts":[],"selections":[)"
            + selectionJson(1, R"("text":"alpha record","text":"beta record")") + "]}"
                                               << QByteArray();
    // Not a newer library: damage, from which the good backup recovers.
    QTest::newRow("a newer version named first, then the version") << R"({"version":9,"version":2,"groups":[],)"
            R"("drafts":[],"selections":[)" + selectionJson(1, R"("text":"alpha record beta record")") + "]}"
                                                                   << goodBackup;
}

// The library (and its backup, unless the row names another) names a key twice; a capture and a
// quit follow. Both values are still in a file of the library folder (the unreadable copy),
// whatever the capture did; a good backup takes the library's place and the capture is saved.
void TestHostileStarts::repeatedKeyKeepsBothValues()
{
    QFETCH(QByteArray, document);
    QFETCH(QByteArray, backup);
    Run run;
    QVERIFY(LibraryFixtures::writeFile(run.libraryPath(), document));
    QVERIFY(LibraryFixtures::writeFile(
        run.libraryFolder() + QStringLiteral("/Tessellon.backup.json"), backup.isNull() ? document : backup));
    QVERIFY(run.start());
    QVERIFY2(run.waitForLog(QStringLiteral("Tessellon launched")), qPrintable(run.logText()));
    Child target;
    QVERIFY(pressHotkeyOver(run, target, QStringLiteral("gamma")));
    // A capture into this library would be saved within the save's delay.
    const bool saved = run.waitForLog(QStringLiteral("Saved selection from"), 3000);
    QVERIFY(run.quit());
    QVERIFY2(someFileHolds(run.libraryFolder(), {"alpha record", "beta record"}), qPrintable(run.logText()));
    QCOMPARE(readAll(run.libraryFolder() + QStringLiteral("/Tessellon.unreadable.json")), document);
    if (!backup.isNull()) {
        QVERIFY2(saved, qPrintable(run.logText()));
        const QByteArray library = readAll(run.libraryPath());
        QVERIFY2(library.contains("delta record") && library.contains("gamma"), qPrintable(run.logText()));
    }
}

// A file-size limit below the library's size: the save fails as on a full disk, the process
// lives on with the capture in memory, and a save once the limit is lifted writes it.
void TestHostileStarts::fileSizeLimitFailsTheSaveOnly()
{
    Run run;
    StoreSnapshot library;
    for (int i = 0; i < 400; ++i)
        for (Selection selection : SampleData::sampleSelections(QDateTime::currentDateTimeUtc())) {
            selection.id = QUuid::createUuid();
            library.selections.append(selection);
        }
    const QByteArray bytes = LibraryDocument::encode(library).bytes;
    constexpr rlim_t limit = 256 * 1024;
    QVERIFY(bytes.size() > qsizetype(2 * limit));
    QVERIFY(LibraryFixtures::writeFile(run.libraryPath(), bytes));
    QVERIFY(LibraryFixtures::writeFile(run.libraryFolder() + QStringLiteral("/Tessellon.backup.json"), bytes));
    QVERIFY(run.start({}, run.environment(), [] {
        // The hard limit stays open: the test lifts the soft one later.
        const rlimit fileSize {limit, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
    }));
    QVERIFY2(run.waitForLog(QStringLiteral("Tessellon launched")), qPrintable(run.logText()));
    Child target;
    QVERIFY(pressHotkeyOver(run, target, QStringLiteral("epsilon")));
    QVERIFY2(run.waitForLog(QStringLiteral("Store save failed: The library file could not be written.")),
        qPrintable(run.logText()));
    QTest::qWait(500);
    QCOMPARE(run.app.state(), QProcess::Running);
    QCOMPARE(readAll(run.libraryPath()), bytes);

    const rlimit unlimited {RLIM_INFINITY, RLIM_INFINITY};
    QCOMPARE(::prlimit(pid_t(run.app.processId()), RLIMIT_FSIZE, &unlimited, nullptr), 0);
    QVERIFY(run.quit());
    QVERIFY2(readAll(run.libraryPath()).contains("epsilon"), qPrintable(run.logText()));
}

// Relative XDG variables are ignored: the library, the settings and the runtime folder are the
// defaults under HOME, so a start from another folder finds the same library and hands off.
void TestHostileStarts::relativeFolderVariablesAreIgnored()
{
    Run run;
    QProcessEnvironment environment = run.environment();
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        environment.insert(QString::fromLatin1(name), QStringLiteral("rel/") + QString::fromLatin1(name).toLower());
    const QString first = run.path(QStringLiteral("first"));
    const QString second = run.path(QStringLiteral("second"));
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
    // An empty library is seeded with the samples and saved 0.4 s later.
    QVERIFY(run.start({QStringLiteral("-showWindowOnLaunch")}, environment, {}, first));
    QVERIFY2(run.waitForLog(QStringLiteral("Tessellon launched")), qPrintable(run.logText()));
    const QString library = run.path(QStringLiteral(".local/share/Tessellon/Tessellon.json"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(library).size() > 0, 5000);
    QVERIFY(run.logText().contains(QStringLiteral("Ignored a relative folder variable")));

    QProcess later;
    later.setProcessEnvironment(environment);
    later.setWorkingDirectory(second);
    later.setProcessChannelMode(QProcess::ForwardedChannels);
    later.start(QStringLiteral(TESSELLON_PROGRAM), {});
    QVERIFY(later.waitForFinished(10000));
    QCOMPARE(later.exitCode(), 0);
    QVERIFY2(run.waitForLog(QStringLiteral("Show-window request from another instance")), qPrintable(run.logText()));
    QVERIFY(run.quit());
    QVERIFY(readAll(run.path(QStringLiteral(".config/vesk/Tessellon.conf"))).contains("TessellonMainWindow"));
    QVERIFY(QFileInfo(run.path(QStringLiteral(".cache/com.vesk.tessellon-runtime"))).isDir());
    QVERIFY(!QFileInfo::exists(first + QStringLiteral("/rel")));
    QVERIFY(!QFileInfo::exists(second + QStringLiteral("/rel")));
}

void TestHostileStarts::somethingAtTheSocketPath_data()
{
    QTest::addColumn<QString>("kind"); // "folder", "full folder", "file"
    QTest::addColumn<QString>("logged");
    QTest::newRow("an empty folder") << "folder" << "Single-instance channel: Removed a folder that stood at ";
    QTest::newRow("a folder with a file in it") << "full folder" << "Single-instance channel: A folder stands at ";
    QTest::newRow("a file") << "file" << "Single-instance channel: Something other than a socket stands at ";
}

// Something at the socket's path in the runtime folder: an empty folder is replaced, so a second
// start hands off; a file, the user's perhaps, is kept; either way the log says what stood there.
void TestHostileStarts::somethingAtTheSocketPath()
{
    QFETCH(QString, kind);
    QFETCH(QString, logged);
    Run run;
    const QString socket = run.path(QStringLiteral("run/com.vesk.tessellon.socket"));
    const QString kept = kind == u"file" ? socket : socket + QStringLiteral("/kept");
    if (kind != u"file")
        QVERIFY(QDir().mkpath(socket));
    if (kind != u"folder")
        QVERIFY(LibraryFixtures::writeFile(kept, "the user's"));
    QVERIFY(run.start());
    QVERIFY2(run.waitForLog(QStringLiteral("Tessellon launched")), qPrintable(run.logText()));
    QVERIFY2(run.waitForLog(logged + socket, 3000), qPrintable(run.logText()));
    if (kind == u"folder") {
        QProcess later;
        later.setProcessEnvironment(run.environment());
        later.setProcessChannelMode(QProcess::ForwardedChannels);
        later.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(later.waitForFinished(10000));
        QCOMPARE(later.exitCode(), 0);
        QVERIFY2(
            run.waitForLog(QStringLiteral("Show-window request from another instance")), qPrintable(run.logText()));
    }
    QVERIFY(run.quit());
    if (kind != u"folder")
        QCOMPARE(readAll(kept), "the user's");
}

// Standard output and error on a pipe whose reader has gone, and a log folder that cannot be
// made, so that the first thing written goes to standard error: the program runs on and saves.
void TestHostileStarts::closedOutputDoesNotEndTheProcess()
{
    Run run;
    QVERIFY(LibraryFixtures::writeFile(run.path(QStringLiteral("not-a-folder")), "x"));
    QProcessEnvironment environment = run.environment();
    environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), run.path(QStringLiteral("not-a-folder/log")));
    QVERIFY(run.start({QStringLiteral("-showWindowOnLaunch")}, environment, [] {
        int ends[2];
        if (::pipe(ends) != 0)
            ::_exit(90);
        ::close(ends[0]);
        ::dup2(ends[1], STDOUT_FILENO);
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
    }));
    // The samples are saved 0.4 s after the launch; standard error was written long before.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(run.libraryPath()).size() > 0 || run.app.state() != QProcess::Running, 15000);
    QTest::qWait(1000);
    QCOMPARE(run.app.state(), QProcess::Running);
    QVERIFY(run.quit());
    const auto document = LibraryDocument::decode(readAll(run.libraryPath()));
    QVERIFY(document.snapshot);
    QVERIFY(!document.snapshot->selections.isEmpty());
}

// Two sessions on one library: this one started on an empty library (it held nothing), the
// other one opened the library since and holds it for writing. A capture here is refused at
// once instead of being shown as saved and lost.
void TestHostileStarts::captureRefusedWhenAnotherSessionHoldsTheLibrary()
{
    Run here;
    QVERIFY(here.start());
    QVERIFY2(here.waitForLog(QStringLiteral("Tessellon launched")), qPrintable(here.logText()));

    StoreSnapshot library;
    library.selections = SampleData::sampleSelections(QDateTime::currentDateTimeUtc());
    QVERIFY(LibraryFixtures::writeFile(here.libraryPath(), LibraryDocument::encode(library).bytes));
    Run other;
    QProcessEnvironment environment = here.environment();
    // Its own runtime folder (so no hand-off) and log; the same library.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), other.path(QStringLiteral("run")));
    environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), other.logFolder);
    QVERIFY(other.start({}, environment));
    QVERIFY2(other.waitForLog(QStringLiteral("Tessellon launched")), qPrintable(other.logText()));
    QVERIFY(QFile::exists(here.libraryPath() + QStringLiteral(".lock")));

    Child target;
    QVERIFY(pressHotkeyOver(here, target, QStringLiteral("zeta")));
    QVERIFY2(here.waitForLog(QStringLiteral("The library is open for writing in another Tessellon session")),
        qPrintable(here.logText()));
    QTest::qWait(1000); // a capture shown as saved would be logged by now
    QVERIFY2(!here.logText().contains(QStringLiteral("Saved selection")), qPrintable(here.logText()));
    QVERIFY(here.quit());
    QVERIFY(other.quit());
}

TESSELLON_TEST_MAIN(TestHostileStarts)
#include "tst_HostileStarts.moc"
