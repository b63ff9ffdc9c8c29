// The built program started with the export flags: one error line on standard error and status
// 1, nothing on standard output, no display needed, and nothing of the regular start-up (no
// adoption of earlier data, no library, no log file).

#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestProgramEntry : public QObject
{
    Q_OBJECT

private slots:
    void exportFlags_data();
    void exportFlags();
};

void TestProgramEntry::exportFlags_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("error");
    const QByteArray missingDirectory = "error: Provide an output directory after -exportUISurfaces.\n";
    const QByteArray missingPath = "error: Provide an output path after -exportSampleScreenshot.\n";
    QTest::newRow("surfaces flag last") << QStringList {"-exportUISurfaces"} << missingDirectory;
    QTest::newRow("storage failure flag last") << QStringList {"-exportStorageFailureSurfaces"} << missingDirectory;
    QTest::newRow("screenshot flag last") << QStringList {"-exportSampleScreenshot"} << missingPath;
    QTest::newRow("screenshot pair, surfaces flag last")
        << QStringList {"-exportSampleScreenshot", "out.png", "-exportUISurfaces"} << missingDirectory;
}

void TestProgramEntry::exportFlags()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, error);
    QTemporaryDir home;
    // The earlier product's library, which a regular start would adopt.
    QVERIFY(LibraryFixtures::writeFile(home.filePath(QStringLiteral("data/Zubra/Zubra.json")), "{\"version\":2}"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), home.filePath(QStringLiteral("log")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(home.path());
    program.start(QStringLiteral(TESSELLON_PROGRAM), arguments);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.readAllStandardError(), error);
    QCOMPARE(program.readAllStandardOutput(), QByteArray());
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList {"data"});
    QCOMPARE(QDir(home.filePath(QStringLiteral("data"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
        QStringList {"Zubra"});
}

TESSELLON_TEST_MAIN(TestProgramEntry)
#include "tst_ProgramEntry.moc"
