#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include "Platform/DiskFileSystem.h"
#include "Platform/PosixTestGuards.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using LibraryFixtures::readFile;
using LibraryFixtures::writeFile;
using namespace std::chrono_literals;

namespace {

// A character device node (the null device's numbers) standing in for any device; nothing when
// device nodes cannot be made here (not root).
bool makeDevice(const QString& path)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

// Runs an operation that must return; a pipe it may be waiting on is opened for writing to free it.
template <typename Operation> bool returnsPromptly(Operation operation, const QString& fifo)
{
    auto running = std::async(std::launch::async, operation);
    if (running.wait_for(10s) == std::future_status::ready)
        return true;
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    running.wait();
    if (fd >= 0)
        ::close(fd);
    return false;
}

} // namespace

class TestDiskFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<bool>("reads");
        QTest::newRow("file") << "file" << qint64(100) << true;
        QTest::newRow("empty file") << "empty" << qint64(100) << true;
        QTest::newRow("exactly the limit") << "file" << qint64(5) << true;
        QTest::newRow("over the limit") << "file" << qint64(4) << false;
        QTest::newRow("missing") << "missing" << qint64(100) << false;
        QTest::newRow("folder") << "folder" << qint64(100) << false;
        QTest::newRow("pipe without a writer") << "fifo" << qint64(100) << false;
        QTest::newRow("link to a file") << "link" << qint64(100) << true;
    }

    void read()
    {
        QFETCH(QString, setup);
        QFETCH(qint64, maxBytes);
        QFETCH(bool, reads);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f"));
        if (setup == "file")
            QVERIFY(writeFile(path, "hello"));
        else if (setup == "empty")
            QVERIFY(writeFile(path, ""));
        else if (setup == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (setup == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (setup == "link")
            QVERIFY(writeFile(dir.filePath(QStringLiteral("target")), "hello")
                && QFile::link(dir.filePath(QStringLiteral("target")), path));
        const FileContents contents = DiskFileSystem().read(path, maxBytes);
        QCOMPARE(contents.bytes.has_value(), reads);
        QCOMPARE(contents.error.isEmpty(), reads);
        if (reads)
            QCOMPARE(*contents.bytes, setup == "empty" ? QByteArray("") : QByteArray("hello"));
    }

    void holds_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<int>("expected"); // 1 holds, 0 differs, -1 not read
        const QByteArray large = QByteArray(3 << 20, 'x') + "tail"; // more than one block
        QByteArray largeChangedAtEnd = large;
        largeChangedAtEnd[largeChangedAtEnd.size() - 1] = 'L';
        QByteArray largeChangedInSecondBlock = large;
        largeChangedInSecondBlock[(1 << 20) + 5] = 'y';
        QTest::newRow("same") << "hello" << QByteArray("hello") << qint64(100) << 1;
        QTest::newRow("empty, same") << "" << QByteArray("") << qint64(100) << 1;
        QTest::newRow("other byte") << "hello" << QByteArray("hellO") << qint64(100) << 0;
        QTest::newRow("shorter") << "hello" << QByteArray("hell") << qint64(100) << 0;
        QTest::newRow("longer") << "hello" << QByteArray("hello!") << qint64(100) << 0;
        QTest::newRow("large, same") << "large" << large << (qint64(1) << 30) << 1;
        QTest::newRow("large, last byte differs")
            << "large" << largeChangedAtEnd << (qint64(1) << 30) << 0;
        QTest::newRow("large, second block differs")
            << "large" << largeChangedInSecondBlock << (qint64(1) << 30) << 0;
        QTest::newRow("over the limit") << "hello" << QByteArray("hello") << qint64(4) << -1;
        QTest::newRow("missing") << "missing" << QByteArray("hello") << qint64(100) << -1;
        QTest::newRow("folder") << "folder" << QByteArray("hello") << qint64(100) << -1;
        QTest::newRow("pipe without a writer") << "fifo" << QByteArray() << qint64(100) << -1;
    }

    void holds()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, maxBytes);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f"));
        if (setup == "large")
            QVERIFY(writeFile(path, QByteArray(3 << 20, 'x') + "tail"));
        else if (setup == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (setup == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (setup != "missing")
            QVERIFY(writeFile(path, setup.toUtf8()));
        const std::optional<bool> held = DiskFileSystem().holds(path, bytes, maxBytes);
        QCOMPARE(held ? int(*held) : -1, expected);
    }

    void writeAtomically_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("writes");
        QTest::newRow("new file") << "missing" << true;
        QTest::newRow("replace file") << "file" << true;
        QTest::newRow("folder at path") << "folder" << false;
        QTest::newRow("missing parent") << "no parent" << false;
        QTest::newRow("link to a file") << "link" << true;
        QTest::newRow("link to a device") << "device link" << false;
        QTest::newRow("device") << "device" << false;
        QTest::newRow("dangling link") << "dangling" << false;
    }

    void writeAtomically()
    {
        QFETCH(QString, setup);
        QFETCH(bool, writes);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("Tessellon.json"));
        if (setup == "file")
            QVERIFY(writeFile(path, "old"));
        else if (setup == "folder")
            QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        else if (setup == "no parent")
            path = dir.filePath(QStringLiteral("absent/Tessellon.json"));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere/target"));
        if (setup == "link")
            QVERIFY(writeFile(elsewhere, "old") && QFile::link(elsewhere, path));
        if (setup == "dangling")
            QVERIFY(QFile::link(elsewhere, path));
        if (setup == "device" || setup == "device link") {
            QVERIFY(QDir().mkpath(QFileInfo(elsewhere).path()));
            if (!makeDevice(setup == "device" ? path : elsewhere))
                QSKIP("device nodes cannot be made here");
            if (setup == "device link")
                QVERIFY(QFile::link(elsewhere, path));
        }
        const FileOutcome outcome = DiskFileSystem().writeAtomically(path, "new bytes");
        QCOMPARE(!outcome.has_value(), writes);
        if (setup == "link") {
            // The link stays; the file it names holds the new bytes.
            QVERIFY(S_ISLNK(modeOf(path)));
            QCOMPARE(readFile(elsewhere), QByteArray("new bytes"));
        } else if (writes) {
            QCOMPARE(readFile(path), QByteArray("new bytes"));
            // No temporary file is left beside it.
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"Tessellon.json"});
        }
        if (setup.startsWith("device")) {
            // Never written through, never replaced.
            QVERIFY(S_ISCHR(modeOf(setup == "device" ? path : elsewhere)));
            QCOMPARE(modeOf(path) & S_IFMT, setup == "device" ? S_IFCHR : S_IFLNK);
        }
        if (!writes) {
            QVERIFY(!outcome->description.isEmpty());
            if (setup == "folder")
                QVERIFY(QFileInfo::exists(path + QStringLiteral("/inside")));
        }
    }

    // A write whose last word says no leaves the file as it was and nothing beside it; the
    // answer is asked only once the new bytes are on disk.
    void writeAtomicallyAsksBeforeReplacing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tessellon.json"));
        QVERIFY(writeFile(path, "old"));
        int asked = 0;
        QStringList besideWhenAsked;
        const FileOutcome refused = DiskFileSystem().writeAtomically(path, "new", [&]() -> FileOutcome {
            ++asked;
            besideWhenAsked = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            return FileError {QStringLiteral("the bytes did not read back")};
        });
        QCOMPARE(asked, 1);
        QCOMPARE(besideWhenAsked.size(), 2); // the file and its replacement, written and waiting
        QVERIFY(refused);
        QCOMPARE(refused->description, QStringLiteral("the bytes did not read back"));
        QCOMPARE(readFile(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"Tessellon.json"});
        QVERIFY(!DiskFileSystem().writeAtomically(path, "new", [] { return FileOutcome(); }));
        QCOMPARE(readFile(path), QByteArray("new"));
    }

    void copy_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("copies");
        QTest::newRow("to a free name") << "free" << true;
        QTest::newRow("target exists") << "target" << false;
        QTest::newRow("source missing") << "no source" << false;
        QTest::newRow("source is a folder") << "source folder" << false;
        QTest::newRow("source is a pipe") << "source fifo" << false;
        QTest::newRow("source is a device") << "source device" << false;
        QTest::newRow("source links to a file") << "source link" << true;
    }

    void copy()
    {
        QFETCH(QString, setup);
        QFETCH(bool, copies);
        QTemporaryDir dir;
        const QString from = dir.filePath(QStringLiteral("a"));
        const QString to = dir.filePath(QStringLiteral("b"));
        if (setup == "source folder")
            QVERIFY(QDir().mkpath(from));
        else if (setup == "source fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(from).constData(), 0600), 0);
        else if (setup == "source device" && !makeDevice(from))
            QSKIP("device nodes cannot be made here");
        else if (setup == "source link")
            QVERIFY(writeFile(from + ".target", "damaged {") && QFile::link(from + ".target", from));
        else if (setup != "no source" && setup != "source device")
            QVERIFY(writeFile(from, "damaged {"));
        if (setup == "target")
            QVERIFY(writeFile(to, "keep me"));
        FileOutcome outcome;
        QVERIFY(returnsPromptly([&] { outcome = DiskFileSystem().copy(from, to); }, from));
        QCOMPARE(!outcome.has_value(), copies);
        if (copies)
            QCOMPARE(readFile(to), QByteArray("damaged {"));
        if (setup == "target")
            QCOMPARE(readFile(to), QByteArray("keep me"));
        if (!copies && setup != "target")
            QVERIFY(!QFileInfo::exists(to));
        // Nothing but the source (and its link target) and a kept target is left behind.
        QVERIFY(QDir(dir.path()).entryList(QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size() <= 3);
    }

    // A damaged library is often a large file of NUL bytes: it is copied without reading it
    // through memory, and its holes stay holes.
    void copyKeepsHoles()
    {
        QTemporaryDir dir;
        const QString from = dir.filePath(QStringLiteral("sparse")), to = dir.filePath(QStringLiteral("copy"));
        QFile file(from);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(1) << 30));
        QVERIFY(file.seek(qint64(512) << 20) && file.write("middle") == 6);
        file.close();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!DiskFileSystem().copy(from, to));
        qInfo("1 GiB sparse copy: %lld ms", qlonglong(timer.elapsed()));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(to).constData(), &info), 0);
        QCOMPARE(qint64(info.st_size), qint64(1) << 30);
        QVERIFY2(qint64(info.st_blocks) * 512 < (qint64(64) << 20), "the copy filled its holes");
        QFile copy(to);
        QVERIFY(copy.open(QIODevice::ReadOnly) && copy.seek(qint64(512) << 20));
        QCOMPARE(copy.read(6), QByteArray("middle"));
    }

    // A mapped large file reads like a small one and is followed by readable zero bytes.
    void readLargeFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("large"));
        QByteArray bytes(qsizetype(DiskFileSystem::mapThreshold) * 3 + 17, 'x');
        bytes[0] = '{';
        QVERIFY(writeFile(path, bytes));
        const FileContents contents = DiskFileSystem().read(path, bytes.size());
        QVERIFY(contents.bytes);
        QCOMPARE(*contents.bytes, bytes);
        QVERIFY(contents.padding >= DiskFileSystem::readPadding);
        const char* end = contents.bytes->constData() + contents.bytes->size();
        QVERIFY(std::all_of(end, end + contents.padding, [](char c) { return c == 0; }));
        QVERIFY(!DiskFileSystem().read(path, bytes.size() - 1).bytes);
    }

    // Every file and folder made here is private, whatever the umask; a folder that exists is left alone.
    void privateModes_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask 022") << 022;
        QTest::newRow("umask 077") << 077;
        QTest::newRow("umask 277") << 0277;
    }

    void privateModes()
    {
        QFETCH(int, mask);
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const UmaskGuard guard(mode_t(mask & 0777));
        DiskFileSystem disk;
        const QString folder = dir.filePath(QStringLiteral("a/b"));
        QVERIFY(!disk.createFolder(folder));
        const QString file = folder + QStringLiteral("/f"), copy = folder + QStringLiteral("/g");
        QVERIFY(!disk.writeAtomically(file, "one"));
        QVERIFY(!disk.copy(file, copy));
        QVERIFY(writeFile(folder + QStringLiteral("/loose"), "x"));
        QVERIFY(::chmod(QFile::encodeName(folder + QStringLiteral("/loose")).constData(), 0644) == 0);
        QVERIFY(!disk.writeAtomically(folder + QStringLiteral("/loose"), "replaced"));
        const LockAttempt lock = disk.lock(folder + QStringLiteral("/l.lock"));
        QVERIFY(lock.lock);
        QCOMPARE(permissionsOf(dir.filePath(QStringLiteral("a"))), mode_t(0700));
        QCOMPARE(permissionsOf(folder), mode_t(0700));
        for (const QString& name : {u"f"_qs, u"g"_qs, u"loose"_qs, u"l.lock"_qs})
            QCOMPARE(permissionsOf(folder + u'/' + name), mode_t(0600));
        QCOMPARE(permissionsOf(dir.path()), mode_t(0755));
    }

    // A file written for the user (an export) gets the mode the umask gives, also when it
    // replaces a private one; library files written beside it stay private.
    void userFilesFollowTheUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("mode");
        QTest::newRow("umask 022") << 022 << 0644;
        QTest::newRow("umask 002") << 002 << 0664;
        QTest::newRow("umask 077") << 077 << 0600;
    }

    void userFilesFollowTheUmask()
    {
        QFETCH(int, mask);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const UmaskGuard guard {mode_t(mask)};
        DiskFileSystem disk;
        const QString exported = dir.filePath(QStringLiteral("prompt.md"));
        QVERIFY(!disk.writeAtomically(exported, "text", FileAccess::umask));
        QCOMPARE(permissionsOf(exported), mode_t(mode));
        QVERIFY(!disk.writeAtomically(exported, "private", FileAccess::ownerOnly));
        QCOMPARE(permissionsOf(exported), mode_t(0600));
        QVERIFY(!disk.writeAtomically(exported, "again", FileAccess::umask));
        QCOMPARE(permissionsOf(exported), mode_t(mode));
        QCOMPARE(*disk.read(exported, 100).bytes, QByteArray("again"));
        const QString library = dir.filePath(QStringLiteral("Tessellon.json"));
        QVERIFY(!disk.writeAtomically(library, "{}"));
        QVERIFY(!disk.writeAtomically(library, "{}", [] { return FileOutcome(); }));
        QCOMPARE(permissionsOf(library), mode_t(0600));
    }

    // A full disk is reported in the system's words, and leaves no temporary file.
    void fullDiskSaysSo()
    {
        QTemporaryDir dir;
        const QByteArray mountPoint = QFile::encodeName(dir.path());
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("a small file system cannot be mounted here");
        const auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
        const QString path = dir.filePath(QStringLiteral("Tessellon.json"));
        QVERIFY(writeFile(path, "old"));
        const FileOutcome outcome = DiskFileSystem().writeAtomically(path, QByteArray(1 << 20, 'x'));
        QVERIFY(outcome);
        QVERIFY2(outcome->description.contains(QStringLiteral("No space left on device")),
            qPrintable(outcome->description));
        QCOMPARE(readFile(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"Tessellon.json"});
    }

    void lockIsExclusive()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tessellon.json.lock"));
        DiskFileSystem disk;
        LockAttempt first = disk.lock(path);
        QVERIFY(first.lock);
        const LockAttempt second = disk.lock(path);
        QVERIFY(!second.lock);
        QVERIFY(second.heldElsewhere);
        first.lock.reset();
        QVERIFY(disk.lock(path).lock);
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), dir.filePath(QStringLiteral("link.lock"))));
        const LockAttempt throughLink = disk.lock(dir.filePath(QStringLiteral("link.lock")));
        QVERIFY(!throughLink.lock && !throughLink.heldElsewhere && !throughLink.error.isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("elsewhere"))));
    }

    void createFolder_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("creates");
        QTest::newRow("nested") << "nested" << true;
        QTest::newRow("existing") << "existing" << true;
        QTest::newRow("file at path") << "file" << false;
        QTest::newRow("file in the parents") << "file parent" << false;
    }

    void createFolder()
    {
        QFETCH(QString, setup);
        QFETCH(bool, creates);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("x/y/z"));
        if (setup == "existing")
            QVERIFY(QDir().mkpath(path));
        else if (setup == "file")
            QVERIFY(writeFile(path, "f"));
        else if (setup == "file parent")
            QVERIFY(writeFile(dir.filePath(QStringLiteral("x/y")), "f"));
        const FileOutcome outcome = DiskFileSystem().createFolder(path);
        QCOMPARE(!outcome.has_value(), creates);
        QCOMPARE(QFileInfo(path).isDir(), creates);
    }
};

TESSELLON_TEST_MAIN(TestDiskFileSystem)
#include "tst_DiskFileSystem.moc"
