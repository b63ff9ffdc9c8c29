#include "ZubraCore/Library/AppDataMigration.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "Platform/PosixTestGuards.h"
#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(AppDataMigration::Result)

using LibraryFixtures::readFile;
using LibraryFixtures::writeFile;

namespace {

QVariantMap allLegacyValues()
{
    return {{"Zubra.collectIntoActiveDraft", false},
        {"Zubra.customPromptTemplates", QByteArray(R"([{"name":"Summarize"}])")},
        {"captureHotKeyCombo", QVariantMap {{"keyCode", 8}, {"modifiers", 6400}}},
        {"NSWindow Frame ZubraMainWindow", "100 100 900 600 0 0 1440 875 "},
        {"NSWindow Frame ZubraSettingsWindow", "200 200 500 400 0 0 1440 875 "}};
}

} // namespace

class TestAppDataMigration : public QObject
{
    Q_OBJECT

private slots:
    void backupURL_data();
    void backupURL();
    void library_data();
    void library();
    void preferences_data();
    void preferences();
    void folderFailureStopsBeforePreferences();
    void copyFailureLeavesNoLibrary();
    void launchEntryUsesTheRealLocations();
    void adoptedLibraryIsPrivate_data();
    void adoptedLibraryIsPrivate();
};

void TestAppDataMigration::backupURL_data()
{
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("backup");
    QTest::newRow("default") << "/d/Tessellon/Tessellon.json"
                             << "/d/Tessellon/Tessellon.backup.json";
    QTest::newRow("only the last extension goes") << "/tmp/My.Lib.json"
                                                  << "/tmp/My.Lib.backup.json";
    QTest::newRow("no extension") << "/tmp/Library"
                                  << "/tmp/Library.backup.json";
    QTest::newRow("dot in a folder name only") << "/tmp/a.b/Library"
                                               << "/tmp/a.b/Library.backup.json";
    QTest::newRow("hidden file") << "/tmp/.library"
                                 << "/tmp/.library.backup.json";
}

void TestAppDataMigration::backupURL()
{
    QFETCH(QString, store);
    QFETCH(QString, backup);
    QCOMPARE(StoreLocations::backupURL(store), backup);
}

void TestAppDataMigration::library_data()
{
    QTest::addColumn<bool>("legacy");
    QTest::addColumn<bool>("currentPrimary");
    QTest::addColumn<bool>("currentBackup");
    QTest::addColumn<bool>("copied");
    QTest::newRow("both present: current kept") << true << true << false << false;
    QTest::newRow("earlier only: copied") << true << false << false << true;
    QTest::newRow("current backup only: kept for recovery") << true << false << true << false;
    QTest::newRow("current primary and backup") << true << true << true << false;
    QTest::newRow("nothing anywhere") << false << false << false << false;
    QTest::newRow("no earlier library, current backup") << false << false << true << false;
}

void TestAppDataMigration::library()
{
    QFETCH(bool, legacy);
    QFETCH(bool, currentPrimary);
    QFETCH(bool, currentBackup);
    QFETCH(bool, copied);
    QTemporaryDir dir;
    const QString legacyPath = dir.filePath("Zubra/Zubra.json");
    const QString currentPath = dir.filePath("Tessellon/Tessellon.json");
    const QString backupPath = dir.filePath("Tessellon/Tessellon.backup.json");
    const QByteArray legacyBytes = QByteArray("{\"version\":2,\"selections\":[]}\n\x00\xff tail", 36);
    if (legacy)
        QVERIFY(writeFile(legacyPath, legacyBytes));
    if (currentPrimary)
        QVERIFY(writeFile(currentPath, "current"));
    if (currentBackup)
        QVERIFY(writeFile(backupPath, "newer backup"));
    QSettings defaults(dir.filePath("defaults.ini"), QSettings::IniFormat);

    const AppDataMigration::Outcome outcome = AppDataMigration::migrate(legacyPath, currentPath, {}, defaults);
    QVERIFY(!outcome.failure);
    QCOMPARE(outcome.result, (AppDataMigration::Result {copied, 0}));
    if (copied)
        QCOMPARE(readFile(currentPath), legacyBytes);
    else if (currentPrimary)
        QCOMPARE(readFile(currentPath), QByteArray("current"));
    else
        QVERIFY(!QFile::exists(currentPath));
    if (currentBackup)
        QCOMPARE(readFile(backupPath), QByteArray("newer backup"));
    if (legacy)
        QCOMPARE(readFile(legacyPath), legacyBytes);
    // The copy leaves nothing else behind in the folder.
    const QStringList left = QDir(dir.filePath("Tessellon")).entryList(QDir::Files);
    for (const QString& name : left)
        QVERIFY2(name == "Tessellon.json" || name == "Tessellon.backup.json", qPrintable(name));
}

void TestAppDataMigration::preferences_data()
{
    QTest::addColumn<QVariantMap>("legacy");
    QTest::addColumn<QVariantMap>("current");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariantMap>("expected");
    const QVariantMap all = allLegacyValues();
    QVariantMap adoptedAll;
    for (const auto& [earlier, now] : AppDataMigration::preferenceKeys())
        adoptedAll.insert(now, all.value(earlier));

    QTest::newRow("no earlier domain") << QVariantMap {} << QVariantMap {} << 0 << QVariantMap {};
    QTest::newRow("all five, values as stored") << all << QVariantMap {} << 5 << adoptedAll;
    QVariantMap keptHotKey = adoptedAll;
    keptHotKey["captureHotKeyCombo"] = "mine";
    QTest::newRow("hotkey already set") << all << QVariantMap {{"captureHotKeyCombo", "mine"}} << 4 << keptHotKey;
    QVariantMap keptFalse = adoptedAll;
    keptFalse["Tessellon.collectIntoActiveDraft"] = true;
    keptFalse["NSWindow Frame TessellonMainWindow"] = "";
    QTest::newRow("current false-like values stay")
        << QVariantMap {{"Zubra.collectIntoActiveDraft", true}, {"NSWindow Frame ZubraMainWindow", "old"}}
        << QVariantMap {{"Tessellon.collectIntoActiveDraft", true}, {"NSWindow Frame TessellonMainWindow", ""}} << 0
        << QVariantMap {{"Tessellon.collectIntoActiveDraft", true}, {"NSWindow Frame TessellonMainWindow", ""}};
    QTest::newRow("other earlier keys are ignored")
        << QVariantMap {{"Zubra.somethingElse", 1}, {"captureHotKeyCombo", 3}} << QVariantMap {} << 1
        << QVariantMap {{"captureHotKeyCombo", 3}};
}

void TestAppDataMigration::preferences()
{
    QFETCH(QVariantMap, legacy);
    QFETCH(QVariantMap, current);
    QFETCH(int, count);
    QFETCH(QVariantMap, expected);
    QTemporaryDir dir;
    QSettings defaults(dir.filePath("defaults.ini"), QSettings::IniFormat);
    for (auto it = current.cbegin(); it != current.cend(); ++it)
        defaults.setValue(it.key(), it.value());
    const auto outcome
        = AppDataMigration::migrate(dir.filePath("none.json"), dir.filePath("T/T.json"), legacy, defaults);
    QVERIFY(!outcome.failure);
    QCOMPARE(outcome.result, (AppDataMigration::Result {false, count}));
    QVariantMap actual;
    for (const QString& key : defaults.allKeys())
        actual.insert(key, defaults.value(key));
    QCOMPARE(actual, expected);
}

void TestAppDataMigration::folderFailureStopsBeforePreferences()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("Zubra.json"), "earlier"));
    QVERIFY(writeFile(dir.filePath("blocker"), "a file where the folder should be"));
    QSettings defaults(dir.filePath("defaults.ini"), QSettings::IniFormat);
    const auto outcome = AppDataMigration::migrate(
        dir.filePath("Zubra.json"), dir.filePath("blocker/sub/T.json"), allLegacyValues(), defaults);
    QVERIFY(outcome.failure);
    QCOMPARE(outcome.failure->error, AppDataMigration::MigrationError::folderNotCreated);
    QVERIFY(outcome.failure->description().startsWith(
        "Tessellon could not create the library folder " + dir.filePath("blocker/sub") + ". "));
    QCOMPARE(outcome.result, (AppDataMigration::Result {false, 0}));
    QVERIFY(defaults.allKeys().isEmpty());
}

void TestAppDataMigration::copyFailureLeavesNoLibrary()
{
    // Reading this file fails at its first byte (address 0 is never mapped).
    const QString unreadable = u"/proc/self/mem"_qs;
    if (!QFileInfo(unreadable).isFile())
        QSKIP("no /proc/self/mem on this system");
    QTemporaryDir dir;
    const QString currentPath = dir.filePath("T/Tessellon.json");
    QSettings defaults(dir.filePath("defaults.ini"), QSettings::IniFormat);
    const auto outcome = AppDataMigration::migrate(unreadable, currentPath, allLegacyValues(), defaults);
    QVERIFY(outcome.failure);
    QCOMPARE(outcome.failure->error, AppDataMigration::MigrationError::copyFailed);
    QVERIFY(outcome.failure->description().startsWith("Tessellon could not copy the earlier Zubra library to "));
    QVERIFY(!QFile::exists(currentPath));
    QVERIFY(QDir(dir.filePath("T")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QVERIFY(defaults.allKeys().isEmpty());
}

void TestAppDataMigration::launchEntryUsesTheRealLocations()
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    QVERIFY(writeFile(home.filePath("data/Zubra/Zubra.json"), "earlier library"));
    {
        QSettings earlier(u"vesk"_qs, u"Zubra"_qs);
        earlier.setValue("captureHotKeyCombo", "combo");
        earlier.setValue("Zubra.collectIntoActiveDraft", true);
    }
    const auto outcome = AppDataMigration::migrateIfNeeded();
    QVERIFY(!outcome.failure);
    QCOMPARE(outcome.result, (AppDataMigration::Result {true, 2}));
    QCOMPARE(StoreLocations::defaultStoreURL(), home.filePath("data/Tessellon/Tessellon.json"));
    QCOMPARE(readFile(home.filePath("data/Tessellon/Tessellon.json")), QByteArray("earlier library"));
    QSettings current(u"vesk"_qs, u"Tessellon"_qs);
    QCOMPARE(current.value("captureHotKeyCombo").toString(), QString("combo"));
    QCOMPARE(current.value("Tessellon.collectIntoActiveDraft").toBool(), true);
    // A second run copies nothing, and the adopted library stays as it is.
    QVERIFY(writeFile(home.filePath("data/Zubra/Zubra.json"), "changed since"));
    const auto again = AppDataMigration::migrateIfNeeded();
    QVERIFY(!again.failure);
    QCOMPARE(again.result, (AppDataMigration::Result {false, 0}));
    QCOMPARE(readFile(home.filePath("data/Tessellon/Tessellon.json")), QByteArray("earlier library"));
}

void TestAppDataMigration::adoptedLibraryIsPrivate_data()
{
    QTest::addColumn<int>("mask");
    QTest::newRow("umask 022") << 022;
    QTest::newRow("umask 077") << 077;
}

// The earlier product's private library stays private in its new, private folder.
void TestAppDataMigration::adoptedLibraryIsPrivate()
{
    QFETCH(int, mask);
    const UmaskGuard guard {mode_t(mask)};
    QTemporaryDir dir;
    const QString legacy = dir.filePath("Zubra/Zubra.json");
    QVERIFY(writeFile(legacy, "earlier library"));
    QVERIFY(QFile::setPermissions(legacy, QFile::ReadOwner | QFile::WriteOwner));
    const QString current = dir.filePath("data/Tessellon/Tessellon.json");
    QSettings defaults(dir.filePath("defaults.ini"), QSettings::IniFormat);
    const auto outcome = AppDataMigration::migrate(legacy, current, {}, defaults);
    QVERIFY(!outcome.failure);
    QVERIFY(outcome.result.copiedStore);
    QCOMPARE(readFile(current), QByteArray("earlier library"));
    QCOMPARE(permissionsOf(dir.filePath("data")), mode_t(0700));
    QCOMPARE(permissionsOf(dir.filePath("data/Tessellon")), mode_t(0700));
    QCOMPARE(permissionsOf(current), mode_t(0600));
    QCOMPARE(QDir(dir.filePath("data/Tessellon")).entryList(QDir::Files | QDir::Hidden), QStringList {"Tessellon.json"});
}

TESSELLON_TEST_MAIN(TestAppDataMigration)
#include "tst_AppDataMigration.moc"
