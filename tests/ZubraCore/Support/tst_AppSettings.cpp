// Settings that cannot be kept are named, not dropped silently: the file is a folder, cannot be
// read, or it or its folder cannot be written. The program's own settings file is private, and
// nothing at its path but a regular file of the user's is ever read or written: a link's target,
// a pipe or a device stays untouched, and the settings live for the session only.

#include "ZubraCore/Support/AppSettings.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

class TestAppSettings : public QObject
{
    Q_OBJECT

private slots:
    void storageProblem_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("problem"); // the end of the message; empty: none
        QTest::newRow("new file in a new folder") << "none" << "";
        QTest::newRow("existing file") << "file" << "";
        QTest::newRow("a folder at the file's place") << "folder" << " is not a file: settings are not saved.";
        QTest::newRow("a file at the folder's place") << "blocked" << " cannot be written: settings are not saved.";
        // Permissions bind only an ordinary user; root reads and writes whatever the modes say.
        if (::geteuid() != 0) {
            QTest::newRow("unreadable file") << "unreadable" << " cannot be read: settings are not saved.";
            QTest::newRow("read-only folder") << "readonly" << " cannot be written: settings are not saved.";
        }
    }
    void storageProblem()
    {
        QFETCH(QString, setup);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("config"));
        const QString path = folder + QStringLiteral("/Tessellon.conf");
        if (setup != u"none" && setup != u"blocked")
            QVERIFY(QDir().mkpath(folder));
        if (setup == u"file" || setup == u"unreadable" || setup == u"readonly") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\nkept=1\n");
        }
        if (setup == u"folder")
            QVERIFY(QDir().mkpath(path));
        if (setup == u"blocked") {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        if (setup == u"unreadable")
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0200), 0);
        if (setup == u"readonly")
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0500), 0);

        {
            QSettings settings(path, QSettings::IniFormat);
            AppSettings app(settings);
            app.setCollectIntoActiveDraft(true);
            const std::optional<QString> found = app.storageProblem();
            if (problem.isEmpty()) {
                QVERIFY2(!found, qPrintable(found.value_or(QString())));
            } else {
                QVERIFY(found);
                QCOMPARE(*found, QStringLiteral("The settings file ") + path + problem);
            }
        }
        if (problem.isEmpty()) {
            QSettings reread(path, QSettings::IniFormat);
            QVERIFY(AppSettings(reread).collectIntoActiveDraft());
        }
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }

    void openPrivate_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("problem"); // the end of the message; empty: kept in the file
        QTest::newRow("missing file and folder") << "none" << "";
        QTest::newRow("open file in an open folder") << "open" << "";
        QTest::newRow("link to a file of the user's") << "link" << " is a link: settings are not saved.";
        QTest::newRow("dangling link") << "dangling" << " is a link: settings are not saved.";
        QTest::newRow("link to a pipe") << "linkToPipe" << " is a link: settings are not saved.";
        QTest::newRow("pipe") << "pipe" << " is not a file: settings are not saved.";
        QTest::newRow("link to a device") << "linkToDevice" << " is a link: settings are not saved.";
        QTest::newRow("folder") << "folder" << " is not a file: settings are not saved.";
    }
    void openPrivate()
    {
        QFETCH(QString, setup);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("config/vesk"));
        const QString path = folder + QStringLiteral("/Tessellon.conf");
        const QString target = dir.filePath(QStringLiteral("target"));
        const QByteArray targetBytes = "[General]\nmine=1\n";
        if (setup != u"none")
            QVERIFY(QDir().mkpath(folder));
        {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(targetBytes);
        }
        const QByteArray nativePath = QFile::encodeName(path);
        if (setup == u"open") {
            QVERIFY(QFile::copy(target, path));
            QCOMPARE(::chmod(nativePath.constData(), 0644), 0);
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        }
        const QString pipe = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        if (setup == u"link")
            QCOMPARE(::symlink(QFile::encodeName(target).constData(), nativePath.constData()), 0);
        if (setup == u"dangling")
            QCOMPARE(::symlink(QFile::encodeName(dir.filePath(QStringLiteral("nothing"))).constData(), nativePath.constData()), 0);
        if (setup == u"linkToPipe")
            QCOMPARE(::symlink(QFile::encodeName(pipe).constData(), nativePath.constData()), 0);
        if (setup == u"pipe")
            QCOMPARE(::mkfifo(nativePath.constData(), 0600), 0);
        if (setup == u"linkToDevice")
            QCOMPARE(::symlink("/dev/zero", nativePath.constData()), 0);
        if (setup == u"folder")
            QVERIFY(QDir().mkpath(path));

        {
            const std::unique_ptr<QSettings> settings = AppSettings::openPrivate(path);
            AppSettings app(*settings);
            app.setCollectIntoActiveDraft(true);
            app.setLastExportFolder(QStringLiteral("/somewhere"));
            settings->sync();
            // Kept for the session in any case.
            QVERIFY(app.collectIntoActiveDraft());
            QCOMPARE(app.lastExportFolder(), QStringLiteral("/somewhere"));
            const std::optional<QString> found = app.storageProblem();
            if (problem.isEmpty()) {
                QVERIFY2(!found, qPrintable(found.value_or(QString())));
            } else {
                QVERIFY(found);
                QCOMPARE(*found, QStringLiteral("The settings file ") + path + problem);
            }
        }

        QFile original(target);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), targetBytes);
        QCOMPARE(QFileInfo(pipe).isFile(), false);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("nothing"))));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/dev/null/Tessellon.conf")));
        struct stat info {};
        QCOMPARE(::lstat(nativePath.constData(), &info), 0);
        if (problem.isEmpty()) {
            QVERIFY(S_ISREG(info.st_mode));
            QCOMPARE(info.st_mode & 0777, mode_t(0600));
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
            QCOMPARE(info.st_mode & 0777, mode_t(0700));
            QSettings reread(path, QSettings::IniFormat);
            QVERIFY(AppSettings(reread).collectIntoActiveDraft());
        } else {
            // What stood at the path stands there still.
            const bool expected = setup == u"folder" ? S_ISDIR(info.st_mode)
                : setup == u"pipe"                   ? S_ISFIFO(info.st_mode)
                                                     : S_ISLNK(info.st_mode);
            QVERIFY(expected);
            QVERIFY(!QFileInfo::exists(path + QStringLiteral(".lock")));
        }
    }
};

TESSELLON_TEST_MAIN(TestAppSettings)
#include "tst_AppSettings.moc"
