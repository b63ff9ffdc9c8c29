#include "Platform/Posix/XdgAutostartLoginItems.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(LoginItems::Status)

class TestXdgAutostartLoginItems : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void registerThenUnregister();
    void status_data();
    void status();
    void execArgument_data();
    void execArgument();
    void failuresAreReported();

private:
    std::unique_ptr<QTemporaryDir> m_config;
    QByteArray m_savedConfig;
};

void TestXdgAutostartLoginItems::init()
{
    m_savedConfig = qgetenv("XDG_CONFIG_HOME");
    m_config = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
}

void TestXdgAutostartLoginItems::cleanup()
{
    qputenv("XDG_CONFIG_HOME", m_savedConfig);
    m_config.reset();
}

void TestXdgAutostartLoginItems::registerThenUnregister()
{
    const QString path = m_config->path() + QStringLiteral("/autostart/com.vesk.tessellon.desktop");
    QCOMPARE(XdgAutostartLoginItems::entryPath(), path);
    XdgAutostartLoginItems items(QStringLiteral("/opt/Tessellon App/tessellon"));
    QCOMPARE(items.status(), LoginItems::Status::notRegistered);
    QCOMPARE(items.unregisterMainApp(), std::nullopt); // nothing to remove is no failure

    QCOMPARE(items.registerMainApp(), std::nullopt);
    QCOMPARE(items.status(), LoginItems::Status::enabled);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.first(), "[Desktop Entry]");
    QVERIFY(lines.contains("Exec=\"/opt/Tessellon App/tessellon\""));
    QVERIFY(lines.contains("Type=Application"));
    // Registering again rewrites the same entry.
    QCOMPARE(items.registerMainApp(), std::nullopt);
    QCOMPARE(items.status(), LoginItems::Status::enabled);

    QCOMPARE(items.unregisterMainApp(), std::nullopt);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(items.status(), LoginItems::Status::notRegistered);
}

void TestXdgAutostartLoginItems::status_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<LoginItems::Status>("status");
    const QByteArray head = "[Desktop Entry]\nType=Application\nExec=tessellon\n";
    QTest::newRow("plain entry") << head << LoginItems::Status::enabled;
    QTest::newRow("hidden") << head + "Hidden=true\n" << LoginItems::Status::notRegistered;
    QTest::newRow("hidden false") << head + "Hidden=false\n" << LoginItems::Status::enabled;
    QTest::newRow("disabled by the desktop") << head + "X-GNOME-Autostart-enabled=false\n"
                                             << LoginItems::Status::notRegistered;
    QTest::newRow("spaces around the sign") << head + "Hidden = true\n" << LoginItems::Status::notRegistered;
    QTest::newRow("hidden in an action group") << head + "[Desktop Action x]\nHidden=true\n"
                                               << LoginItems::Status::enabled;
    QTest::newRow("no main group") << QByteArray("Exec=tessellon\n") << LoginItems::Status::notRegistered;
    QTest::newRow("binary") << QByteArray("\0\xff[\n=\n", 6) << LoginItems::Status::notRegistered;
    QTest::newRow("oversized") << head + QByteArray(100 * 1024, '#') << LoginItems::Status::notRegistered;
}

void TestXdgAutostartLoginItems::status()
{
    QFETCH(QByteArray, contents);
    QFETCH(LoginItems::Status, status);
    const QString path = XdgAutostartLoginItems::entryPath();
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    QCOMPARE(XdgAutostartLoginItems().status(), status);
}

void TestXdgAutostartLoginItems::execArgument_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("execLine"); // as written in the file
    QTest::newRow("plain") << "/usr/bin/tessellon"
                           << "Exec=/usr/bin/tessellon";
    QTest::newRow("space") << "/home/a b/tessellon"
                           << "Exec=\"/home/a b/tessellon\"";
    QTest::newRow("percent") << "/home/100%/tessellon"
                             << "Exec=/home/100%%/tessellon";
    QTest::newRow("dollar") << "/home/$x/t"
                            << "Exec=\"/home/\\\\$x/t\"";
    QTest::newRow("double quote") << "/home/\"q\"/t"
                                  << "Exec=\"/home/\\\\\"q\\\\\"/t\"";
    QTest::newRow("backslash") << "/home/a\\b/t"
                               << "Exec=\"/home/a\\\\\\\\b/t\"";
    QTest::newRow("line feed") << "/home/a\nb/t"
                               << "Exec=\"/home/a\\nb/t\"";
}

void TestXdgAutostartLoginItems::execArgument()
{
    QFETCH(QString, program);
    QFETCH(QString, execLine);
    const QList<QByteArray> lines = XdgAutostartLoginItems::entry(program).split('\n');
    QVERIFY2(lines.contains(execLine.toUtf8()), XdgAutostartLoginItems::entry(program).constData());
    QCOMPARE(lines.count("[Desktop Entry]"), 1); // the program never breaks the entry's lines
}

void TestXdgAutostartLoginItems::failuresAreReported()
{
    // A file where the autostart folder belongs: the entry cannot be written.
    QFile blocker(m_config->path() + QStringLiteral("/autostart"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    XdgAutostartLoginItems items(QStringLiteral("/usr/bin/tessellon"));
    const auto registered = items.registerMainApp();
    QVERIFY(registered);
    QVERIFY(registered->contains(m_config->path() + QStringLiteral("/autostart")));
    QCOMPARE(items.status(), LoginItems::Status::notRegistered);

    // A folder where the entry belongs: it cannot be removed.
    QVERIFY(blocker.remove());
    QVERIFY(QDir().mkpath(XdgAutostartLoginItems::entryPath() + QStringLiteral("/inside")));
    const auto unregistered = items.unregisterMainApp();
    QVERIFY(unregistered);
    QVERIFY(unregistered->startsWith(QStringLiteral("Could not remove ")));
}

TESSELLON_TEST_MAIN(TestXdgAutostartLoginItems)
#include "tst_XdgAutostartLoginItems.moc"
