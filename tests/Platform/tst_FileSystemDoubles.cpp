#include "support/TestMain.h"

#include "Platform/DiskFileSystem.h"
#include "support/FailingFileSystem.h"
#include "support/MemoryFileSystem.h"

#include <QTemporaryDir>

// The in-memory file system must answer as the disk does, so that tests using it mean something.
class TestFileSystemDoubles : public QObject
{
    Q_OBJECT

private slots:
    void memoryAnswersLikeDisk_data()
    {
        QTest::addColumn<QStringList>("steps");
        // Each step: operation, path (and second path or bytes); paths are relative to a root.
        QTest::newRow("write then read") << QStringList {"mkdir a", "write a/f 1", "read a/f"};
        QTest::newRow("write without folder") << QStringList {"write b/f 1", "read b/f", "exists b"};
        QTest::newRow("replace") << QStringList {"mkdir a", "write a/f 1", "write a/f 22", "read a/f"};
        QTest::newRow("write over folder") << QStringList {"mkdir a/f", "write a/f 1", "read a/f", "exists a/f"};
        QTest::newRow("copy to free name") << QStringList {"mkdir a", "write a/f 1", "copy a/f a/g", "read a/g"};
        QTest::newRow("copy over file") << QStringList {
            "mkdir a", "write a/f 1", "write a/g 2", "copy a/f a/g", "read a/g"};
        QTest::newRow("copy missing") << QStringList {"mkdir a", "copy a/f a/g", "exists a/g"};
        QTest::newRow("copy folder") << QStringList {"mkdir a/f", "copy a/f a/g", "exists a/g"};
        QTest::newRow("folder over file") << QStringList {"mkdir a", "write a/f 1", "mkdir a/f/g", "mkdir a/f"};
        QTest::newRow("folder twice") << QStringList {"mkdir a/b/c", "mkdir a/b/c", "exists a/b", "read a/b"};
    }

    void memoryAnswersLikeDisk()
    {
        QFETCH(QStringList, steps);
        QTemporaryDir dir;
        DiskFileSystem disk;
        MemoryFileSystem memory;
        memory.createFolder(QStringLiteral("/root"));
        for (const QString& step : steps) {
            const QStringList parts = step.split(u' ');
            const auto answer = [&parts](FileSystem& fileSystem, const QString& root) -> QString {
                const QString path = root + u'/' + parts.value(1);
                const QString op = parts[0];
                if (op == "mkdir")
                    return fileSystem.createFolder(path) ? "fail" : "ok";
                if (op == "write")
                    return fileSystem.writeAtomically(path, parts[2].toUtf8()) ? "fail" : "ok";
                if (op == "copy")
                    return fileSystem.copy(path, root + u'/' + parts[2]) ? "fail" : "ok";
                if (op == "exists")
                    return fileSystem.exists(path) ? "yes" : "no";
                const FileContents contents = fileSystem.read(path, 100);
                return contents.bytes ? QString::fromUtf8(*contents.bytes) : "unreadable";
            };
            QCOMPARE(answer(memory, QStringLiteral("/root")), answer(disk, dir.path()));
        }
    }

    // A held lock turns the next attempt away, on disk and in memory alike, until it is released.
    void locksAnswerLikeDisk()
    {
        QTemporaryDir dir;
        DiskFileSystem disk;
        MemoryFileSystem memory;
        memory.createFolder(QStringLiteral("/root"));
        for (auto [fileSystem, root] : {std::pair<FileSystem*, QString> {&disk, dir.path()}, {&memory, u"/root"_qs}}) {
            const QString path = root + QStringLiteral("/Library.json.lock");
            LockAttempt first = fileSystem->lock(path);
            QVERIFY(first.lock);
            QVERIFY(fileSystem->exists(path));
            const LockAttempt second = fileSystem->lock(path);
            QVERIFY(!second.lock && second.heldElsewhere);
            first.lock.reset();
            QVERIFY(fileSystem->lock(path).lock);
            const LockAttempt noFolder = fileSystem->lock(root + QStringLiteral("/absent/x.lock"));
            QVERIFY(!noFolder.lock && !noFolder.heldElsewhere && !noFolder.error.isEmpty());
        }
    }

    void failingFileSystemFailsChosenPaths()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a")), b = dir.filePath(QStringLiteral("b"));
        FailingFileSystem files;
        files.failOn(FailingFileSystem::Operation::writeAtomically, b);
        QVERIFY(!files.writeAtomically(a, "1"));
        QVERIFY(files.writeAtomically(b, "2"));
        QVERIFY(!files.exists(b));
        files.failOn(FailingFileSystem::Operation::read);
        QVERIFY(!files.read(a, 10).bytes);
        files.clearFailures();
        QCOMPARE(files.read(a, 10).bytes, std::optional<QByteArray>("1"));
        using Call = FailingFileSystem::Call;
        QCOMPARE(files.changes(),
            QList<Call>({{FailingFileSystem::Operation::writeAtomically, a},
                {FailingFileSystem::Operation::writeAtomically, b}}));
    }
};

TESSELLON_TEST_MAIN(TestFileSystemDoubles)
#include "tst_FileSystemDoubles.moc"
