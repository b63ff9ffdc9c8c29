#include "Platform/Posix/LocalInstanceChannel.h"
#include "Platform/PosixTestGuards.h"
#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr char peerVariable[] = "TESSELLON_INSTANCE_PEER_FOLDER";

// The other process of the hand-off: this same program started again with the folder in its
// environment. It claims the channel and, finding an instance, asks it to show its window and
// quits 0.3 s later, as the application does; or, first, it reports each request it hears.
int runPeer(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    LocalInstanceChannel channel(qEnvironmentVariable(peerVariable));
    const auto running = channel.claim();
    if (!running) {
        QObject::connect(&channel, &InstanceChannel::showWindowRequested, [] {
            std::printf("request\n");
            std::fflush(stdout);
        });
        std::printf("primary\n");
        std::fflush(stdout);
        return app.exec();
    }
    std::printf("running %lld\n", static_cast<long long>(running->processIdentifier));
    const bool sent = channel.sendShowWindowRequest();
    std::printf(sent ? "sent\n" : "not sent\n");
    std::fflush(stdout);
    QTimer::singleShot(std::chrono::milliseconds(300), &app, &QCoreApplication::quit);
    app.exec();
    return sent ? 0 : 3;
}

class Peer
{
public:
    explicit Peer(const QString& folder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(peerVariable), folder);
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(), {});
    }
    ~Peer()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
    // Waits for the line while this process's event loop keeps serving the channel.
    bool waitForLine(const QByteArray& line, int timeoutMs = 5000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            while (process.canReadLine())
                if (process.readLine().trimmed() == line)
                    return true;
            if (process.state() == QProcess::NotRunning && !process.canReadLine())
                return false;
            QTest::qWait(5);
        }
        return false;
    }
    bool waitForExit(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(5);
        return process.state() == QProcess::NotRunning;
    }
    QProcess process;
};

void sendRaw(const QString& path, const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    QVERIFY(socket.waitForConnected(2000));
    socket.write(bytes);
    socket.waitForBytesWritten(2000);
    QTest::qWait(50);
    socket.disconnectFromServer();
}

} // namespace

class TestLocalInstanceChannel : public QObject
{
    Q_OBJECT

private slots:
    void laterInstanceHandsOffAndQuits();
    void laterInstanceFindsARunningPeer();
    void lockOfAnEndedInstanceIsTakenOver();
    void malformedRequestsAreIgnored_data();
    void malformedRequestsAreIgnored();
    void leftoverLockFileIsNobodys_data();
    void leftoverLockFileIsNobodys();
    void somethingAtTheSocketPath_data();
    void somethingAtTheSocketPath();
    void idleConnectionsAreCutOff();
    void failedAcceptListensAgain();
    void removedFilesAreServedAgain_data();
    void removedFilesAreServedAgain();
    void runtimeFolder_data();
    void runtimeFolder();
    void noPrivateFolderStillRuns();
};

void TestLocalInstanceChannel::laterInstanceHandsOffAndQuits()
{
    QTemporaryDir folder;
    LocalInstanceChannel channel(folder.path());
    QVERIFY(!channel.claim());
    QCOMPARE(channel.problem(), QString());
    QSignalSpy requests(&channel, &InstanceChannel::showWindowRequested);

    Peer later(folder.path());
    QVERIFY(later.waitForLine("running " + QByteArray::number(QCoreApplication::applicationPid())));
    // It leaves by itself (a loaded machine may start it slowly; a hang never ends).
    QVERIFY(later.waitForExit(5000));
    QCOMPARE(later.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(later.process.exitCode(), 0);
    QTRY_COMPARE(requests.count(), 1);
    // The running instance keeps its lock: a third one is handed off as well.
    Peer third(folder.path());
    QVERIFY(third.waitForLine("sent"));
    QTRY_COMPARE(requests.count(), 2);
}

void TestLocalInstanceChannel::laterInstanceFindsARunningPeer()
{
    QTemporaryDir folder;
    Peer first(folder.path());
    QVERIFY(first.waitForLine("primary"));
    LocalInstanceChannel channel(folder.path());
    const auto running = channel.claim();
    QVERIFY(running);
    QCOMPARE(running->processIdentifier, first.process.processId());
    QVERIFY(channel.sendShowWindowRequest());
    QVERIFY(first.waitForLine("request"));
}

void TestLocalInstanceChannel::lockOfAnEndedInstanceIsTakenOver()
{
    QTemporaryDir folder;
    {
        Peer crashed(folder.path());
        QVERIFY(crashed.waitForLine("primary"));
        ::kill(pid_t(crashed.process.processId()), SIGKILL);
        QVERIFY(crashed.waitForExit(2000));
    }
    LocalInstanceChannel channel(folder.path());
    QVERIFY(QFile::exists(channel.lockPath()));
    QVERIFY(QFile::exists(channel.socketPath()));
    QVERIFY(!channel.claim());
    QCOMPARE(channel.problem(), QString());
    QSignalSpy requests(&channel, &InstanceChannel::showWindowRequested);
    Peer later(folder.path());
    QVERIFY(later.waitForLine("sent"));
    QTRY_COMPARE(requests.count(), 1);
}

void TestLocalInstanceChannel::malformedRequestsAreIgnored_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("another word") << QByteArray("TessellonQuitRequest\n");
    QTest::newRow("no line end") << QByteArray("TessellonShowWindowRequest");
    QTest::newRow("trailing blank") << QByteArray("TessellonShowWindowRequest \n");
    QTest::newRow("endless line") << QByteArray(64 * 1024, 'x');
    QTest::newRow("empty line") << QByteArray("\n");
    QTest::newRow("binary") << QByteArray("\0\xff\xfe\n", 4);
}

void TestLocalInstanceChannel::malformedRequestsAreIgnored()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir folder;
    LocalInstanceChannel channel(folder.path());
    QVERIFY(!channel.claim());
    QSignalSpy requests(&channel, &InstanceChannel::showWindowRequested);
    sendRaw(channel.socketPath(), bytes);
    QTest::qWait(100);
    QCOMPARE(requests.count(), 0);
    // The channel still serves a proper request afterwards.
    sendRaw(channel.socketPath(), "TessellonShowWindowRequest\n");
    QTRY_COMPARE(requests.count(), 1);
}

void TestLocalInstanceChannel::leftoverLockFileIsNobodys_data()
{
    QTest::addColumn<QString>("kind"); // "file", "link", "fifo", "folder"
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("empty") << "file" << QByteArray();
    QTest::newRow("garbage") << "file" << QByteArray("x");
    QTest::newRow("pid zero") << "file" << QByteArray("0\n");
    QTest::newRow("this very process") << "file" << QByteArray::number(QCoreApplication::applicationPid());
    QTest::newRow("ended process") << "file" << QByteArray("2147483646\n");
    QTest::newRow("old lock file format") << "file" << QByteArray("1\ntessellon\nhost\n");
    QTest::newRow("link elsewhere") << "link" << QByteArray("12\n");
    QTest::newRow("pipe") << "fifo" << QByteArray();
    QTest::newRow("folder") << "folder" << QByteArray();
}

void TestLocalInstanceChannel::leftoverLockFileIsNobodys()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, contents);
    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    LocalInstanceChannel channel(folder.path());
    const QString target = elsewhere.path() + QStringLiteral("/target");
    if (kind == u"file" || kind == u"link") {
        QFile file(kind == u"file" ? channel.lockPath() : target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    if (kind == u"link")
        QVERIFY(QFile::link(target, channel.lockPath()));
    if (kind == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(channel.lockPath()).constData(), 0600), 0);
    if (kind == u"folder")
        QVERIFY(QDir().mkdir(channel.lockPath()));

    QVERIFY(!channel.claim());
    QCOMPARE(channel.problem(), QString());
    QVERIFY(channel.isListening());
    QVERIFY(S_ISREG(modeOf(channel.lockPath())));
    if (kind == u"link") {
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), contents); // the link was not followed
    }

    // Held now: a second claim finds this process as the running instance and reaches it.
    LocalInstanceChannel later(folder.path());
    const auto running = later.claim();
    QVERIFY(running);
    QCOMPARE(running->processIdentifier, QCoreApplication::applicationPid());
}

void TestLocalInstanceChannel::somethingAtTheSocketPath_data()
{
    QTest::addColumn<QString>("kind"); // "file", "link", "folder", "full folder"
    QTest::addColumn<bool>("listens");
    QTest::addColumn<QString>("problem"); // the start of what is reported; empty: nothing
    QTest::newRow("a file") << "file" << false << "Something other than a socket stands at ";
    QTest::newRow("a link to a file") << "link" << false << "Something other than a socket stands at ";
    QTest::newRow("an empty folder") << "folder" << true << "Removed a folder that stood at ";
    QTest::newRow("a folder with something in it") << "full folder" << false << "A folder stands at ";
}

// A socket at the socket's path is no one's, and an empty folder there is removed as at the
// lock file's path; anything else may be the user's: it is kept, and reported for the log.
void TestLocalInstanceChannel::somethingAtTheSocketPath()
{
    QFETCH(QString, kind);
    QFETCH(bool, listens);
    QFETCH(QString, problem);
    QTemporaryDir folder;
    std::optional<LocalInstanceChannel> channel(std::in_place, folder.path());
    const QString socketPath = channel->socketPath();
    // The user's file: at the path, inside the folder there, or where the link there points.
    const QString kept = kind == u"file" ? socketPath
        : kind == u"link"                ? folder.filePath(QStringLiteral("notes.txt"))
                                         : socketPath + QStringLiteral("/kept");
    if (kind == u"folder" || kind == u"full folder")
        QVERIFY(QDir().mkdir(socketPath));
    if (kind != u"folder")
        QVERIFY(LibraryFixtures::writeFile(kept, "the user's"));
    if (kind == u"link")
        QVERIFY(QFile::link(kept, socketPath));
    QVERIFY(!channel->claim());
    QCOMPARE(channel->isListening(), listens);
    QVERIFY2(problem.isEmpty() ? channel->problem().isEmpty() : channel->problem().startsWith(problem + socketPath),
        qPrintable(channel->problem()));
    if (!listens) {
        QVERIFY(channel->problem().contains(QStringLiteral("Could not listen on ") + socketPath));
        // Kept through the retries and the channel's end.
        QTest::qWait(int((LocalInstanceChannel::relistenInterval + 300ms).count()));
        QVERIFY(!channel->isListening());
        channel.reset();
        QCOMPARE(LibraryFixtures::readFile(kept), "the user's");
        QCOMPARE(QFileInfo(socketPath).isSymLink(), kind == u"link");
        return;
    }
    QVERIFY(S_ISSOCK(modeOf(socketPath)));
    QSignalSpy requests(&*channel, &InstanceChannel::showWindowRequested);
    Peer later(folder.path());
    QVERIFY(later.waitForLine("sent"));
    QTRY_COMPARE(requests.count(), 1);
    channel.reset();
    QVERIFY(!QFileInfo::exists(socketPath));
}

void TestLocalInstanceChannel::idleConnectionsAreCutOff()
{
    QTemporaryDir folder;
    LocalInstanceChannel channel(folder.path());
    QVERIFY(!channel.claim());
    QSignalSpy requests(&channel, &InstanceChannel::showWindowRequested);
    std::vector<std::unique_ptr<QLocalSocket>> silent;
    for (int i = 0; i < LocalInstanceChannel::maxPendingConnections * 3; ++i) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(channel.socketPath());
        QVERIFY(socket->waitForConnected(2000));
        silent.push_back(std::move(socket));
    }
    QElapsedTimer clock;
    clock.start();
    for (const auto& socket : silent)
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QLocalSocket::UnconnectedState, 5000);
    QVERIFY(clock.elapsed() >= LocalInstanceChannel::idleConnectionTimeout.count() / 2);
    sendRaw(channel.socketPath(), "TessellonShowWindowRequest\n");
    QTRY_COMPARE(requests.count(), 1);
}

void TestLocalInstanceChannel::failedAcceptListensAgain()
{
    QTemporaryDir folder;
    LocalInstanceChannel channel(folder.path());
    QVERIFY(!channel.claim());
    QSignalSpy requests(&channel, &InstanceChannel::showWindowRequested);

    // No descriptor left but the one a peer's connection takes: the server's accept then fails.
    rlimit saved {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    int highest = 0; // a new descriptor must stay below the limit
    for (int descriptor = 0; descriptor < 4096; ++descriptor)
        if (::fcntl(descriptor, F_GETFD) != -1)
            highest = descriptor;
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(highest + 16);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::vector<int> filler;
    for (int descriptor; (descriptor = ::dup(0)) != -1;)
        filler.push_back(descriptor);
    QVERIFY(!filler.empty());
    ::close(filler.back());
    filler.pop_back();
    auto restore = qScopeGuard([&] {
        for (int descriptor : filler)
            ::close(descriptor);
        ::setrlimit(RLIMIT_NOFILE, &saved);
    });
    QLocalSocket peer;
    peer.connectToServer(channel.socketPath());
    QVERIFY(peer.waitForConnected(1000));
    // The accept fails here; the server closes and, once a descriptor is free, listens again.
    QTest::qWait(300);
    peer.abort();
    restore.dismiss();
    for (int descriptor : filler)
        ::close(descriptor);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    QTRY_VERIFY_WITH_TIMEOUT(channel.isListening(), 5000);
    LocalInstanceChannel later(folder.path());
    QVERIFY(later.claim());
    QVERIFY(later.sendShowWindowRequest());
    QTRY_COMPARE(requests.count(), 1);
}

void TestLocalInstanceChannel::removedFilesAreServedAgain_data()
{
    QTest::addColumn<QString>("removed");
    QTest::newRow("socket") << "socket";
    QTest::newRow("lock file") << "lock";
    QTest::newRow("socket and lock file") << "both";
    QTest::newRow("the whole folder") << "folder";
}

// A cleaner empties the runtime folder, or removes it: the running instance makes what is gone
// anew, so that a later start still finds it and hands off.
void TestLocalInstanceChannel::removedFilesAreServedAgain()
{
    QFETCH(QString, removed);
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkdir(folder));
    LocalInstanceChannel channel(folder);
    QVERIFY(!channel.claim());
    QSignalSpy requests(&channel, &InstanceChannel::showWindowRequested);
    if (removed == u"socket" || removed == u"both")
        QVERIFY(QFile::remove(channel.socketPath()));
    if (removed == u"lock" || removed == u"both")
        QVERIFY(QFile::remove(channel.lockPath()));
    if (removed == u"folder")
        QVERIFY(QDir(folder).removeRecursively());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(channel.socketPath()).exists() && QFileInfo(channel.lockPath()).exists(), 2000);
    Peer later(folder);
    QVERIFY(later.waitForLine("running " + QByteArray::number(QCoreApplication::applicationPid())));
    QVERIFY(later.waitForLine("sent"));
    QTRY_COMPARE(requests.count(), 1);
    QVERIFY(later.waitForExit(2000));
    QCOMPARE(later.process.exitCode(), 0);
}

void TestLocalInstanceChannel::runtimeFolder_data()
{
    QTest::addColumn<QString>("runtime"); // "<tmp>" = a real folder
    QTest::addColumn<int>("runtimeMode"); // of that real folder
    QTest::addColumn<bool>("othersOwnRuntime"); // it belongs to another user (root only)
    // Of the private folder before the call; 0 = absent; -1: absent, and the cache folder relative.
    QTest::addColumn<int>("existingMode");
    QTest::addColumn<bool>("usesRuntime");
    QTest::newRow("runtime folder set") << "<tmp>" << 0700 << false << 0 << true;
    QTest::newRow("runtime folder others may read") << "<tmp>" << 0755 << false << 0 << true;
    QTest::newRow("runtime folder others may write") << "<tmp>" << 0777 << false << 0 << false;
    QTest::newRow("runtime folder its group may write") << "<tmp>" << 0770 << false << 0 << false;
    QTest::newRow("runtime folder sticky and shared") << "<tmp>" << 01777 << false << 0 << false;
    if (::getuid() == 0)
        QTest::newRow("runtime folder of another user") << "<tmp>" << 0700 << true << 0 << false;
    QTest::newRow("unset: private folder made") << "" << 0 << false << 0 << false;
    QTest::newRow("relative runtime folder") << "run/user" << 0 << false << 0 << false;
    QTest::newRow("relative runtime and cache folders") << "run/user" << 0 << false << -1 << false;
    QTest::newRow("runtime folder missing") << "/nonexistent/tessellon-run" << 0 << false << 0 << false;
    QTest::newRow("loose private folder tightened") << "" << 0 << false << 0755 << false;
    QTest::newRow("private folder kept") << "" << 0 << false << 0700 << false;
}

void TestLocalInstanceChannel::runtimeFolder()
{
    QFETCH(QString, runtime);
    QFETCH(int, runtimeMode);
    QFETCH(bool, othersOwnRuntime);
    QFETCH(int, existingMode);
    QFETCH(bool, usesRuntime);
    const EnvironmentGuard guard {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME"};
    QTemporaryDir runtimeFolder;
    QTemporaryDir cache;
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString runtimePath = runtime == u"<tmp>" ? runtimeFolder.path() : runtime;
    if (runtime == u"<tmp>") {
        QCOMPARE(::chmod(QFile::encodeName(runtimePath).constData(), mode_t(runtimeMode)), 0);
        if (othersOwnRuntime)
            QCOMPARE(::chown(QFile::encodeName(runtimePath).constData(), 65534, 65534), 0);
    }
    if (runtimePath.isEmpty())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", runtimePath.toLocal8Bit());
    // A relative cache folder is not used: the default under HOME is.
    qputenv("XDG_CACHE_HOME", existingMode < 0 ? QByteArray("cache") : cache.path().toLocal8Bit());
    const QString privateFolder = (existingMode < 0 ? home.path() + QStringLiteral("/.cache") : cache.path())
        + QStringLiteral("/com.vesk.tessellon-runtime");
    if (existingMode > 0) {
        QVERIFY(QDir().mkdir(privateFolder));
        QVERIFY(::chmod(QFile::encodeName(privateFolder).constData(), mode_t(existingMode)) == 0);
    }

    QString problem;
    const auto folder = LocalInstanceChannel::runtimeFolder(&problem);
    QVERIFY2(folder, qPrintable(problem));
    if (usesRuntime) {
        QCOMPARE(*folder, runtimePath);
        QVERIFY(!QFileInfo::exists(privateFolder));
    } else {
        QCOMPARE(*folder, privateFolder);
        QCOMPARE(permissionsOf(privateFolder), mode_t(0700));
    }
}

void TestLocalInstanceChannel::noPrivateFolderStillRuns()
{
    const EnvironmentGuard guard {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};
    QTemporaryDir cache;
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    // Someone placed a link where the private folder belongs: it is not followed.
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), cache.path() + QStringLiteral("/com.vesk.tessellon-runtime")));
    QString problem;
    QVERIFY(!LocalInstanceChannel::runtimeFolder(&problem));
    QVERIFY(problem.contains(QStringLiteral("not a folder of this user")));

    LocalInstanceChannel channel;
    QVERIFY(!channel.claim());
    QVERIFY(!channel.problem().isEmpty());
    QVERIFY(!channel.sendShowWindowRequest());
    QVERIFY(QDir(elsewhere.path()).isEmpty());
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet(peerVariable))
        return runPeer(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication app(argc, argv);
    TestLocalInstanceChannel test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_LocalInstanceChannel.moc"
