#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include "Platform/DiskFileSystem.h"

#include <QDir>
#include <QTemporaryDir>

using LibraryFixtures::readFile;
using LibraryFixtures::writeFile;

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
        const FileContents contents = DiskFileSystem().read(path, maxBytes);
        QCOMPARE(contents.bytes.has_value(), reads);
        QCOMPARE(contents.error.isEmpty(), reads);
        if (reads)
            QCOMPARE(*contents.bytes, setup == "empty" ? QByteArray("") : QByteArray("hello"));
    }

    void writeAtomically_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("writes");
        QTest::newRow("new file") << "missing" << true;
        QTest::newRow("replace file") << "file" << true;
        QTest::newRow("folder at path") << "folder" << false;
        QTest::newRow("missing parent") << "no parent" << false;
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
        const FileOutcome outcome = DiskFileSystem().writeAtomically(path, "new bytes");
        QCOMPARE(!outcome.has_value(), writes);
        if (writes) {
            QCOMPARE(readFile(path), QByteArray("new bytes"));
            // No temporary file is left beside it.
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"Tessellon.json"});
        } else {
            QVERIFY(!outcome->description.isEmpty());
            if (setup == "folder")
                QVERIFY(QFileInfo::exists(path + QStringLiteral("/inside")));
        }
    }

    void copy_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("copies");
        QTest::newRow("to a free name") << "free" << true;
        QTest::newRow("target exists") << "target" << false;
        QTest::newRow("source missing") << "no source" << false;
        QTest::newRow("source is a folder") << "source folder" << false;
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
        else if (setup != "no source")
            QVERIFY(writeFile(from, "damaged {"));
        if (setup == "target")
            QVERIFY(writeFile(to, "keep me"));
        const FileOutcome outcome = DiskFileSystem().copy(from, to);
        QCOMPARE(!outcome.has_value(), copies);
        if (copies)
            QCOMPARE(readFile(to), QByteArray("damaged {"));
        if (setup == "target")
            QCOMPARE(readFile(to), QByteArray("keep me"));
        if (setup == "no source" || setup == "source folder")
            QVERIFY(!QFileInfo::exists(to));
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
