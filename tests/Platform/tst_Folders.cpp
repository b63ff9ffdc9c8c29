#include "Platform/Folders.h"
#include "Platform/PosixTestGuards.h"
#include "support/TestMain.h"

#include <QTest>

class TestFolders : public QObject
{
    Q_OBJECT

private slots:
    // A relative base folder is invalid: it is taken out, so that the default under HOME serves
    // (Qt's own paths and the programs started later included), and said so for the log.
    void relativeBaseFoldersAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("kept"); // null: the variable is unset afterwards
        QTest::newRow("absolute data home")
            << QByteArray("XDG_DATA_HOME") << QByteArray("/home/u/data") << QByteArray("/home/u/data");
        QTest::newRow("relative data home") << QByteArray("XDG_DATA_HOME") << QByteArray("rel/data") << QByteArray();
        QTest::newRow("dot config home") << QByteArray("XDG_CONFIG_HOME") << QByteArray("./config") << QByteArray();
        QTest::newRow("relative state home") << QByteArray("XDG_STATE_HOME") << QByteArray("state") << QByteArray();
        QTest::newRow("relative cache home") << QByteArray("XDG_CACHE_HOME") << QByteArray("~/.cache") << QByteArray();
        QTest::newRow("relative runtime folder") << QByteArray("XDG_RUNTIME_DIR") << QByteArray("run") << QByteArray();
        QTest::newRow("data folders, one relative")
            << QByteArray("XDG_DATA_DIRS") << QByteArray("/usr/local/share:share:/usr/share")
            << QByteArray("/usr/local/share:/usr/share");
        QTest::newRow("config folders, all relative")
            << QByteArray("XDG_CONFIG_DIRS") << QByteArray("a:b") << QByteArray();
        QTest::newRow("absolute config folders")
            << QByteArray("XDG_CONFIG_DIRS") << QByteArray("/etc/xdg") << QByteArray("/etc/xdg");
    }
    void relativeBaseFoldersAreIgnored()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, kept);
        const EnvironmentGuard guard {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
            "XDG_RUNTIME_DIR", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"};
        for (const char* other : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                 "XDG_RUNTIME_DIR", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
            qunsetenv(other);
        qputenv(name.constData(), value);
        const QStringList dropped = Folders::ignoreRelativeBaseFolders();
        QCOMPARE(qEnvironmentVariableIsSet(name.constData()), !kept.isNull());
        QCOMPARE(qgetenv(name.constData()), kept);
        QCOMPARE(dropped, kept == value ? QStringList() : QStringList {QString::fromLatin1(name + '=' + value)});
    }
};

TESSELLON_TEST_MAIN(TestFolders)
#include "tst_Folders.moc"
