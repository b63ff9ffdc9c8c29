#include "Platform/Folders.h"
#include "Platform/PosixTestGuards.h"
#include "support/TestMain.h"

#include <QStandardPaths>
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

    // Without an absolute HOME, Qt's default folders (the library's, the settings') would lie
    // under "/" or where the program was started: the password database's home serves instead,
    // and without one the program is told not to start.
    void homeIsSettled_data()
    {
        QTest::addColumn<QByteArray>("home"); // null: unset
        QTest::addColumn<QString>("database"); // the password database's answer
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("settled"); // HOME afterwards; null: unset
        const QString database = QStringLiteral("/home/from-database");
        QTest::newRow("absolute") << QByteArray("/home/u") << database << int(Folders::Home::kept)
                                  << QByteArray("/home/u");
        QTest::newRow("unset") << QByteArray() << database << int(Folders::Home::replaced)
                               << QByteArray("/home/from-database");
        QTest::newRow("empty") << QByteArray("") << database << int(Folders::Home::replaced)
                               << QByteArray("/home/from-database");
        QTest::newRow("relative") << QByteArray("home/u") << database << int(Folders::Home::replaced)
                                  << QByteArray("/home/from-database");
        QTest::newRow("tilde") << QByteArray("~") << database << int(Folders::Home::replaced)
                               << QByteArray("/home/from-database");
        QTest::newRow("unset, no database entry")
            << QByteArray() << QString() << int(Folders::Home::missing) << QByteArray();
        QTest::newRow("relative, relative database entry")
            << QByteArray("u") << QStringLiteral("db") << int(Folders::Home::missing) << QByteArray("u");
    }
    void homeIsSettled()
    {
        QFETCH(QByteArray, home);
        QFETCH(QString, database);
        QFETCH(int, outcome);
        QFETCH(QByteArray, settled);
        const EnvironmentGuard guard {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"};
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            qunsetenv(name);
        home.isNull() ? qunsetenv("HOME") : qputenv("HOME", home);
        const Folders::Home result = Folders::settleHome([&database] { return database; });
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.previous, outcome == Folders::Home::kept ? QString() : QString::fromUtf8(home));
        QCOMPARE(qEnvironmentVariableIsSet("HOME"), !settled.isNull());
        QCOMPARE(qgetenv("HOME"), settled);
        if (outcome == Folders::Home::missing)
            return;
        const QString folder = QString::fromUtf8(settled);
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
            folder + QStringLiteral("/.local/share"));
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
            folder + QStringLiteral("/.config"));
    }
};

TESSELLON_TEST_MAIN(TestFolders)
#include "tst_Folders.moc"
