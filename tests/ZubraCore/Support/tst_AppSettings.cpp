// Settings that cannot be kept are named, not dropped silently: the file is a folder, cannot be
// read, or it or its folder cannot be written.

#include "ZubraCore/Support/AppSettings.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
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
};

TESSELLON_TEST_MAIN(TestAppSettings)
#include "tst_AppSettings.moc"
