#include "support/RecordingSystemLog.h"
#include "support/StoreHarness.h"
#include "ZubraCore/Support/Logging.h"
#include "support/TestMain.h"

#include <QSignalSpy>

using namespace std::chrono_literals;
using Op = FailingFileSystem::Operation;

Q_DECLARE_METATYPE(StorePersistenceStatus::Value)

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void firstLaunchStartsEmptyAndWritesNothing();
    void activeDraftRepair_data();
    void activeDraftRepair();
    void changesCloserThanTheDelayMakeOneWrite();
    void saveNowWritesAtOnceAndCancelsThePendingWrite();
    void saveNowWritesOnlyWhatTheFilesLack_data();
    void saveNowWritesOnlyWhatTheFilesLack();
    void readOnlyLibraryRefusesEveryChange_data();
    void readOnlyLibraryRefusesEveryChange();
    void statusAfterFailedAndSuccessfulSaves_data();
    void statusAfterFailedAndSuccessfulSaves();
    void collectSwitchMirrorsDefaults_data();
    void collectSwitchMirrorsDefaults();
    void explicitLocationLeavesDefaultFolderAlone();
    void destroyedStoreDropsItsPendingWrite();
    void quitWritesEveryChangeOfAStoreNeverDestroyed_data();
    void quitWritesEveryChangeOfAStoreNeverDestroyed();
};

void TestStore::firstLaunchStartsEmptyAndWritesNothing()
{
    StoreHarness h;
    Store& store = h.open();
    QCOMPARE(store.persistenceStatus(), StorePersistenceStatus::ready);
    QVERIFY(store.canModifyLibrary());
    QVERIFY(store.selections().isEmpty() && store.groups().isEmpty() && store.drafts().isEmpty());
    QVERIFY(!store.activeDraftID());
    h.elapse(2s);
    QCOMPARE(h.writes(), 0);
    QVERIFY(!QFile::exists(h.path()));
    store.add(capture("first"));
    h.elapse(400ms);
    QCOMPARE(h.writes(), 1);
    QCOMPARE(LibraryFixtures::readFile(h.backupPath()), LibraryFixtures::readFile(h.path()));
}

void TestStore::activeDraftRepair_data()
{
    QTest::addColumn<int>("draftCount");
    QTest::addColumn<int>("storedActive"); // -1 none, -2 an id that names no draft
    QTest::addColumn<int>("expectedActive"); // -1 none
    QTest::newRow("drafts, no active id") << 3 << -1 << 0;
    QTest::newRow("dangling id with drafts") << 2 << -2 << 0;
    QTest::newRow("dangling id, no drafts") << 0 << -2 << -1;
    QTest::newRow("valid id kept") << 3 << 2 << 2;
    QTest::newRow("nothing at all") << 0 << -1 << -1;
}

void TestStore::activeDraftRepair()
{
    QFETCH(int, draftCount);
    QFETCH(int, storedActive);
    QFETCH(int, expectedActive);
    StoreHarness h;
    StoreSnapshot stored = LibraryFixtures::snapshot(3);
    QList<ContextDraft> drafts;
    for (int i = 0; i < draftCount; ++i) {
        ContextDraft d = stored.drafts->first();
        d.id = LibraryFixtures::id(7, i);
        d.name = "Draft " + QString::number(i);
        drafts.append(d);
    }
    stored.drafts = drafts;
    stored.activeDraftID = storedActive >= 0 ? std::optional(drafts[storedActive].id)
        : storedActive == -2                 ? std::optional(LibraryFixtures::id(9, 9))
                                             : std::nullopt;
    h.writeLibrary(stored);
    Store& store = h.open();
    QCOMPARE(store.activeDraftID(), expectedActive >= 0 ? std::optional(drafts[expectedActive].id) : std::nullopt);
    QCOMPARE(store.activeDraft().has_value(), expectedActive >= 0);
    h.elapse(1s);
    QCOMPARE(h.writes(), 0);
    QCOMPARE(h.onDisk().activeDraftID, stored.activeDraftID); // repaired only in memory until the next save
    store.addGroup("g", "#4F8EF7");
    h.elapse(400ms);
    QCOMPARE(h.onDisk().activeDraftID, store.activeDraftID());
}

// Changes closer than the save delay make one write, holding the state of the last change.
void TestStore::changesCloserThanTheDelayMakeOneWrite()
{
    StoreHarness h;
    Store& store = h.open();
    const Selection s = capture("tagged");
    store.add(s);
    h.elapse(100ms);
    const auto group = store.createGroup("Reading", "#4F8EF7", {s.id});
    QVERIFY(group);
    h.elapse(100ms);
    store.renameGroup(group->id, "  Later  ");
    h.elapse(399ms);
    QCOMPARE(h.writes(), 0);
    h.elapse(1ms);
    QCOMPARE(h.writes(), 1);
    const StoreSnapshot disk = h.onDisk();
    QCOMPARE(disk.version, 2);
    QVERIFY(disk.drafts.has_value());
    QCOMPARE(disk.groups.value(0).name, QString("Later"));
    QCOMPARE(disk.selections.value(0).groupIDs, QList<QUuid> {group->id});
    h.elapse(5s);
    QCOMPARE(h.writes(), 1);
}

void TestStore::saveNowWritesAtOnceAndCancelsThePendingWrite()
{
    StoreHarness h;
    Store& store = h.open();
    store.add(capture("urgent"));
    store.saveNow();
    QCOMPARE(h.writes(), 1);
    QCOMPARE(h.onDisk().selections.size(), 1);
    h.elapse(2s);
    QCOMPARE(h.writes(), 1);
    store.saveNow(); // nothing new since the last write: the files stay as they are
    QCOMPARE(h.writes(), 1);
}

void TestStore::saveNowWritesOnlyWhatTheFilesLack_data()
{
    // How the library is set up before the store opens, what happens after, and whether the
    // save at quit must write.
    QTest::addColumn<QString>("onDisk"); // none, current, version 1, no drafts, dangling active, stale backup
    QTest::addColumn<QString>("then"); // nothing, saved, pending, primary failed, backup failed, launch backup failed
    QTest::addColumn<bool>("writes");
    QTest::newRow("first launch, no change") << "none" << "nothing" << false;
    QTest::newRow("loaded, no change") << "current" << "nothing" << false;
    QTest::newRow("loaded, stale backup refreshed") << "stale backup" << "nothing" << false;
    QTest::newRow("change saved") << "current" << "saved" << false;
    QTest::newRow("change pending") << "current" << "pending" << true;
    QTest::newRow("first change pending") << "none" << "pending" << true;
    QTest::newRow("primary write failed") << "current" << "primary failed" << true;
    QTest::newRow("backup write failed") << "current" << "backup failed" << true;
    QTest::newRow("backup not refreshed at launch") << "stale backup" << "launch backup failed" << true;
    QTest::newRow("older version") << "version 1" << "nothing" << true;
    QTest::newRow("file without drafts") << "no drafts" << "nothing" << true;
    QTest::newRow("active draft repaired") << "dangling active" << "nothing" << true;
}

void TestStore::saveNowWritesOnlyWhatTheFilesLack()
{
    QFETCH(QString, onDisk);
    QFETCH(QString, then);
    QFETCH(bool, writes);
    StoreHarness h;
    StoreSnapshot stored = LibraryFixtures::snapshot(3);
    if (onDisk == "version 1")
        stored.version = 1;
    if (onDisk == "no drafts") {
        stored.drafts.reset();
        stored.activeDraftID.reset();
    }
    if (onDisk == "dangling active")
        stored.activeDraftID = QUuid::createUuid();
    if (onDisk != "none")
        h.writeLibrary(stored);
    if (onDisk == "stale backup")
        QVERIFY(LibraryFixtures::writeFile(h.backupPath(), LibraryDocument::encode(LibraryFixtures::snapshot(1)).bytes));
    if (then == "launch backup failed")
        h.files->failOn(Op::writeAtomically, h.backupPath());
    Store& store = h.open();
    h.files->clearFailures();
    if (then == "primary failed")
        h.files->failOn(Op::writeAtomically, h.path());
    if (then == "backup failed")
        h.files->failOn(Op::writeAtomically, h.backupPath());
    if (then != "nothing" && then != "launch backup failed") {
        store.add(capture("latest"));
        if (then != "pending")
            h.elapse(400ms);
    }
    h.files->clearFailures();
    h.files->clearCalls();

    store.saveNow();
    QCOMPARE(h.writes(), writes ? 1 : 0);
    QCOMPARE(h.files->changes().isEmpty(), !writes);
    // Either way both files now hold what the store holds.
    if (onDisk != "none" || then != "nothing") {
        const StoreSnapshot held {
            StoreSnapshot::currentVersion, store.selections(), store.groups(), store.drafts(), store.activeDraftID()};
        QCOMPARE(h.onDisk(), held);
        QCOMPARE(LibraryFixtures::readFile(h.backupPath()), LibraryFixtures::readFile(h.path()));
    }
    store.saveNow(); // and a second save at once has nothing to write
    QCOMPARE(h.writes(), writes ? 1 : 0);
}

void TestStore::readOnlyLibraryRefusesEveryChange_data()
{
    QTest::addColumn<QByteArray>("primary");
    QTest::addColumn<QByteArray>("backup");
    QTest::addColumn<StorePersistenceStatus::Value>("status");
    const QByteArray valid = LibraryDocument::encode(LibraryFixtures::snapshot(4)).bytes;
    QTest::newRow("damaged, no backup") << QByteArray("{") << QByteArray() << StorePersistenceStatus::unreadablePrimary;
    QTest::newRow("newer version") << QByteArray(R"({"version": 999})") << QByteArray()
                                   << StorePersistenceStatus::incompatibleVersion;
    QTest::newRow("valid primary, newer backup")
        << valid << QByteArray(R"({"version": 3})") << StorePersistenceStatus::incompatibleVersion;
}

void TestStore::readOnlyLibraryRefusesEveryChange()
{
    QFETCH(QByteArray, primary);
    QFETCH(QByteArray, backup);
    QFETCH(StorePersistenceStatus::Value, status);
    StoreHarness h;
    QVERIFY(LibraryFixtures::writeFile(h.path(), primary));
    if (!backup.isEmpty())
        QVERIFY(LibraryFixtures::writeFile(h.backupPath(), backup));
    Store& store = h.open();
    QCOMPARE(store.persistenceStatus(), status);
    QVERIFY(!store.canModifyLibrary());
    QVERIFY(store.selections().isEmpty());

    const Selection s = capture("refused");
    store.add(s);
    store.deleteSelection(s.id);
    store.deleteSelections({s.id});
    QVERIFY(store.addImportedTextChunks({"A", "B"}, "Pasted text").isEmpty());
    QVERIFY(!store.addGroup("g", "#4F8EF7"));
    QVERIFY(!store.createGroup("g", "#4F8EF7", {s.id}));
    store.addToGroup(QUuid::createUuid(), {s.id});
    store.removeFromGroups({QUuid::createUuid()}, {s.id});
    store.deleteGroup(QUuid::createUuid());
    store.renameGroup(QUuid::createUuid(), "name");
    QVERIFY(!store.newDraft("x"));
    const ContextDraft first = store.ensureActiveDraft();
    const ContextDraft second = store.ensureActiveDraft();
    QCOMPARE(first.name, QString("Prompt 1"));
    QVERIFY(first.id != second.id); // a fresh unsaved draft each time
    store.updateDraft(first);
    store.activateDraft(first.id);
    store.deleteDraft(first.id);
    QCOMPARE(store.addSelectionsToActiveDraft({s.id}), 0);
    QVERIFY(!store.addSelectionToActiveDraft(s.id));
    store.saveNow();
    h.elapse(2s);

    QVERIFY(store.selections().isEmpty() && store.groups().isEmpty() && store.drafts().isEmpty());
    QVERIFY(!store.activeDraftID());
    QVERIFY(h.files->changes().isEmpty());
    QCOMPARE(LibraryFixtures::readFile(h.path()), primary);

    store.setCollectIntoActiveDraft(true); // not guarded
    QVERIFY(store.collectIntoActiveDraft());
    QCOMPARE(h.defaults.value(Store::collectIntoActiveDraftKey).toBool(), true);
}

void TestStore::statusAfterFailedAndSuccessfulSaves_data()
{
    QTest::addColumn<bool>("recoverAtLaunch");
    QTest::addColumn<bool>("failPrimary");
    QTest::addColumn<StorePersistenceStatus::Value>("afterFailure");
    QTest::addColumn<StorePersistenceStatus::Value>("afterSuccess");
    QTest::newRow("backup fails") << false << false << StorePersistenceStatus::backupUnavailable
                                  << StorePersistenceStatus::ready;
    QTest::newRow("primary fails") << false << true << StorePersistenceStatus::saveFailed
                                   << StorePersistenceStatus::ready;
    QTest::newRow("backup fails after recovery")
        << true << false << StorePersistenceStatus::backupUnavailable << StorePersistenceStatus::recoveredFromBackup;
    QTest::newRow("primary fails after recovery")
        << true << true << StorePersistenceStatus::saveFailed << StorePersistenceStatus::recoveredFromBackup;
}

void TestStore::statusAfterFailedAndSuccessfulSaves()
{
    QFETCH(bool, recoverAtLaunch);
    QFETCH(bool, failPrimary);
    QFETCH(StorePersistenceStatus::Value, afterFailure);
    QFETCH(StorePersistenceStatus::Value, afterSuccess);
    RecordingSystemLog log;
    Loggers::setSystemLog(&log);
    StoreHarness h;
    if (recoverAtLaunch) {
        h.writeLibrary(LibraryFixtures::snapshot(2));
        QVERIFY(LibraryFixtures::writeFile(h.path(), "{"));
    }
    Store& store = h.open();
    const StorePersistenceStatus launch
        = recoverAtLaunch ? StorePersistenceStatus::recoveredFromBackup : StorePersistenceStatus::ready;
    QCOMPARE(store.persistenceStatus(), launch);
    QCOMPARE(store.recoveredDuringLaunch(), recoverAtLaunch);
    QSignalSpy statusSpy(&store, &Store::persistenceStatusChanged);

    h.files->failOn(Op::writeAtomically, failPrimary ? h.path() : h.backupPath());
    store.add(capture("kept in memory"));
    h.elapse(400ms);
    QCOMPARE(store.persistenceStatus(), afterFailure);
    QCOMPARE(statusSpy.size(), 1);
    QVERIFY(store.canModifyLibrary());
    QCOMPARE(store.selections().first().text, QString("kept in memory"));
    const QStringList lines = log.messages("app");
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith("Store save failed: "), qPrintable(lines.first()));

    h.elapse(5s);
    QCOMPARE(h.writes(), 1); // no retry by itself
    h.files->clearFailures();
    store.add(capture("next change"));
    h.elapse(400ms);
    QCOMPARE(store.persistenceStatus(), afterSuccess);
    QCOMPARE(h.onDisk().selections.size(), store.selections().size());
    Loggers::setSystemLog(nullptr);
}

void TestStore::collectSwitchMirrorsDefaults_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("expected");
    QTest::newRow("absent") << QVariant() << false;
    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("text true") << QVariant("true") << true;
    QTest::newRow("garbage reads as off") << QVariant("perhaps") << false;
    QTest::newRow("a list reads as off") << QVariant(QStringList {"a", "b"}) << false;
}

void TestStore::collectSwitchMirrorsDefaults()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, expected);
    StoreHarness h;
    if (stored.isValid())
        h.defaults.setValue(Store::collectIntoActiveDraftKey, stored);
    Store& store = h.open();
    QCOMPARE(store.collectIntoActiveDraft(), expected);
    QSignalSpy spy(&store, &Store::collectIntoActiveDraftChanged);
    store.setCollectIntoActiveDraft(!expected);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(h.defaults.value(Store::collectIntoActiveDraftKey).toBool(), !expected);
    h.defaults.remove(Store::collectIntoActiveDraftKey);
    store.setCollectIntoActiveDraft(!expected); // unchanged, written all the same
    QCOMPARE(spy.size(), 1);
    QVERIFY(h.defaults.contains(Store::collectIntoActiveDraftKey));
    h.elapse(1s);
    QCOMPARE(h.writes(), 0); // the switch is not part of the library
}

void TestStore::explicitLocationLeavesDefaultFolderAlone()
{
    QTemporaryDir data;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    {
        StoreHarness h;
        Store& store = h.open();
        store.add(capture("x"));
        store.saveNow();
    }
    QVERIFY(!QFileInfo::exists(data.filePath("Tessellon")));
    QCOMPARE(Store::defaultStoreURL(), data.filePath("Tessellon/Tessellon.json"));
    QVERIFY(QFileInfo(data.filePath("Tessellon")).isDir());
    qputenv("XDG_DATA_HOME", saved);
}

void TestStore::destroyedStoreDropsItsPendingWrite()
{
    StoreHarness h;
    h.open().add(capture("never written"));
    h.store.reset();
    h.clock->advance(2s);
    QVERIFY(h.files->changes().isEmpty());
    QVERIFY(!QFile::exists(h.path()));
}

void TestStore::quitWritesEveryChangeOfAStoreNeverDestroyed_data()
{
    // Changes made within the save delay before the quit, on a library that had one selection.
    QTest::addColumn<std::function<void(Store&)>>("change");
    QTest::newRow("capture") << std::function<void(Store&)>([](Store& store) { store.add(capture("late")); });
    QTest::newRow("deletion") << std::function<void(Store&)>(
        [](Store& store) { store.deleteSelection(store.selections().first().id); });
    QTest::newRow("group and membership") << std::function<void(Store&)>([](Store& store) {
        const auto group = store.addGroup(u"Reading"_qs, u"#4F8EF7"_qs);
        store.addToGroup(group->id, {store.selections().first().id});
    });
    QTest::newRow("draft, then several changes") << std::function<void(Store&)>([](Store& store) {
        store.newDraft(u"Prompt"_qs);
        store.addSelectionToActiveDraft(store.selections().first().id);
        store.add(capture("after the draft"));
        store.setCollectIntoActiveDraft(true);
    });
}

// The program's entry saves the store and lets it go without destroying it: what the quit's
// saveNow() wrote is then all there is, and it holds every change however late.
void TestStore::quitWritesEveryChangeOfAStoreNeverDestroyed()
{
    QFETCH(std::function<void(Store&)>, change);
    StoreHarness h;
    Store& store = h.open();
    store.add(capture("first"));
    h.elapse(Store::saveDelay);
    QCOMPARE(h.writes(), 1);
    change(store);
    store.saveNow();
    Store* const leftToProcessEnd = h.store.release();
    h.clock->advance(10s); // the process is ending: nothing more runs
    const StoreSnapshot disk = h.onDisk();
    QCOMPARE(disk.selections, leftToProcessEnd->selections());
    QCOMPARE(disk.groups, leftToProcessEnd->groups());
    QCOMPARE(disk.drafts.value_or(QList<ContextDraft>()), leftToProcessEnd->drafts());
    QCOMPARE(disk.activeDraftID, leftToProcessEnd->activeDraftID());
    delete leftToProcessEnd; // this test's process goes on
}

TESSELLON_TEST_MAIN(TestStore)
#include "tst_Store.moc"
