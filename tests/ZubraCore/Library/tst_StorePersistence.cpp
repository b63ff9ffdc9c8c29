#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include "Platform/PosixTestGuards.h"
#include "support/FailingFileSystem.h"
#include "support/RecordingSystemLog.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Support/Logging.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"

#include "ZubraCore/Library/Store.h"

#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace std::chrono_literals;

using Op = FailingFileSystem::Operation;

namespace {

// The file states of the launch table.
enum class File { missing, a, b, damaged, version3, versionTwice, folder };

// What the test expects of each file after the launch, or of the snapshot.
enum class Content { none, a, b, damaged, version3, versionTwice, folder };

const QString messageIncompatible = QStringLiteral(
    "The library or backup requires a compatible version of Tessellon. Both files were left unchanged.");
const QString messageUnreadable = QStringLiteral("The primary store is unreadable. Tessellon will check its backup.");
const QString messageRefreshed = QStringLiteral("The local store backup was refreshed from the valid primary store.");
const QString messageNotRefreshed = QStringLiteral("The local store backup could not be refreshed.");
const QString messagePreserved = QStringLiteral("The unreadable primary store was preserved.");
const QString messageNotPreserved
    = QStringLiteral("The unreadable primary store could not be copied and remains in place.");
const QString messageBackupBad = QStringLiteral("The store backup is unavailable or unreadable.");
const QString messageRecovered = QStringLiteral("The store was recovered from its local backup.");
const QString messageNotRestored = QStringLiteral("The valid backup could not be restored as the primary store.");
const QString messageReadOnly
    = QStringLiteral("The backup was opened read-only because the unreadable primary could not be preserved.");
const QString messageMissingBad = QStringLiteral("The primary store is missing and its backup is unreadable.");
const QString messageMissingRecovered
    = QStringLiteral("The missing primary store was recovered from its local backup.");
const QString messageMissingNotRestored
    = QStringLiteral("The valid backup could not be restored as the missing primary store.");

// The failure-form messages: logged at error level with a description.
const QStringList failureMessages {messageUnreadable, messageNotRefreshed, messageNotPreserved, messageBackupBad,
    messageNotRestored, messageMissingBad, messageMissingNotRestored};

StoreSnapshot snapshotA()
{
    return LibraryFixtures::snapshot(3);
}
StoreSnapshot snapshotB()
{
    return LibraryFixtures::snapshot(5);
}
QByteArray bytesA()
{
    return LibraryDocument::encode(snapshotA()).bytes;
}
QByteArray bytesB()
{
    return LibraryDocument::encode(snapshotB()).bytes;
}
QByteArray bytesVersion3()
{
    return QByteArray(bytesA()).replace("\"version\": 2", "\"version\": 3");
}
// A newer version named before the real one: damage, not a newer library.
QByteArray bytesVersionTwice()
{
    return QByteArray(bytesA()).replace("\"version\": 2", "\"version\": 9,\n    \"version\": 2");
}
const QByteArray damagedBytes = "{";
const QString messageInUse
    = QStringLiteral("The library is open for writing in another Tessellon session. It was opened read-only.");
// Set in a child process of this test: the library it holds open for writing.
const char* holdEnvironment = "TESSELLON_TEST_HOLD_LIBRARY";

// A library folder in a temporary directory, with a file system that fails on demand.
struct Library
{
    QTemporaryDir dir;
    QString primary = dir.filePath(QStringLiteral("Tessellon.json"));
    QString backup = dir.filePath(QStringLiteral("Tessellon.backup.json"));
    QString preserved = dir.filePath(QStringLiteral("Tessellon.unreadable.json"));
    std::shared_ptr<FailingFileSystem> fileSystem = std::make_shared<FailingFileSystem>();

    StorePersistence persistence() const { return StorePersistence(primary, backup, fileSystem); }

    static bool place(const QString& path, File file)
    {
        switch (file) {
        case File::missing:
            return true;
        case File::a:
            return LibraryFixtures::writeFile(path, bytesA());
        case File::b:
            return LibraryFixtures::writeFile(path, bytesB());
        case File::damaged:
            return LibraryFixtures::writeFile(path, damagedBytes);
        case File::version3:
            return LibraryFixtures::writeFile(path, bytesVersion3());
        case File::versionTwice:
            return LibraryFixtures::writeFile(path, bytesVersionTwice());
        case File::folder:
            return QDir().mkpath(path);
        }
        return false;
    }

    static Content contentOf(const QString& path)
    {
        if (QFileInfo(path).isDir())
            return Content::folder;
        if (!QFileInfo::exists(path))
            return Content::none;
        const QByteArray bytes = LibraryFixtures::readFile(path);
        if (bytes == bytesA())
            return Content::a;
        if (bytes == bytesB())
            return Content::b;
        if (bytes == damagedBytes)
            return Content::damaged;
        if (bytes == bytesVersion3())
            return Content::version3;
        if (bytes == bytesVersionTwice())
            return Content::versionTwice;
        return Content::none;
    }
};

Content contentOf(const std::optional<StoreSnapshot>& snapshot)
{
    if (!snapshot)
        return Content::none;
    if (*snapshot == snapshotA())
        return Content::a;
    if (*snapshot == snapshotB())
        return Content::b;
    return Content::damaged; // something else entirely
}

} // namespace

Q_DECLARE_METATYPE(File)
Q_DECLARE_METATYPE(Content)
Q_DECLARE_METATYPE(QList<Op>)

namespace QTest {
template <> char* toString(const StorePersistenceStatus& status)
{
    return qstrdup(status.name().toUtf8().constData());
}
} // namespace QTest

class TestStorePersistence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet(holdEnvironment))
            holdLibraryAndExit(qEnvironmentVariable(holdEnvironment));
        qputenv("TESSELLON_LOG_DIR", m_logDir.path().toUtf8());
        QVERIFY(FileLogger::start());
    }
    void init() { Loggers::setSystemLog(&m_log); }
    void cleanup()
    {
        Loggers::setSystemLog(nullptr);
        m_log.clear();
    }

    void launch_data()
    {
        QTest::addColumn<File>("primary");
        QTest::addColumn<File>("backup");
        QTest::addColumn<QList<Op>>("failing");
        QTest::addColumn<StorePersistenceStatus>("status");
        QTest::addColumn<Content>("snapshot");
        QTest::addColumn<bool>("writesAllowed");
        QTest::addColumn<Content>("primaryAfter");
        QTest::addColumn<Content>("backupAfter");
        QTest::addColumn<Content>("preservedAfter");
        QTest::addColumn<QStringList>("messages");
        using S = StorePersistenceStatus;
        using C = Content;
        const QList<Op> none;
        const auto row = [](const char* name, File primary, File backup, QList<Op> failing, S status, C snapshot,
                             bool allowed, C primaryAfter, C backupAfter, C preservedAfter, QStringList messages) {
            QTest::newRow(name) << primary << backup << failing << status << snapshot << allowed << primaryAfter
                                << backupAfter << preservedAfter << messages;
        };
        row("primary of another version", File::version3, File::damaged, none, S::incompatibleVersion, C::none, false,
            C::version3, C::damaged, C::none, {messageIncompatible});
        row("backup of another version", File::a, File::version3, none, S::incompatibleVersion, C::none, false, C::a,
            C::version3, C::none, {messageIncompatible});
        row("missing primary, backup of another version", File::missing, File::version3, none, S::incompatibleVersion,
            C::none, false, C::none, C::version3, C::none, {messageIncompatible});
        row("damaged primary, backup of another version", File::damaged, File::version3, none, S::incompatibleVersion,
            C::none, false, C::damaged, C::version3, C::none, {messageIncompatible});
        row("primary naming its version twice, restored", File::versionTwice, File::b, none, S::recoveredFromBackup,
            C::b, true, C::b, C::b, C::versionTwice, {messageUnreadable, messagePreserved, messageRecovered});
        row("backup naming its version twice", File::a, File::versionTwice, none, S::ready, C::a, true, C::a, C::a,
            C::none, {messageRefreshed});
        row("valid primary, identical backup", File::a, File::a, none, S::ready, C::a, true, C::a, C::a, C::none, {});
        row("valid primary, no backup", File::a, File::missing, none, S::ready, C::a, true, C::a, C::a, C::none,
            {messageRefreshed});
        row("valid primary, damaged backup", File::a, File::damaged, none, S::ready, C::a, true, C::a, C::a, C::none,
            {messageRefreshed});
        row("valid primary, different backup", File::a, File::b, none, S::ready, C::a, true, C::a, C::a, C::none,
            {messageRefreshed});
        row("valid primary, backup rewrite fails", File::a, File::missing, {Op::writeAtomically}, S::backupUnavailable,
            C::a, true, C::a, C::none, C::none, {messageNotRefreshed});
        row("valid primary, folder at backup path", File::a, File::folder, none, S::backupUnavailable, C::a, true, C::a,
            C::folder, C::none, {messageNotRefreshed});
        row("damaged primary, restored", File::damaged, File::b, none, S::recoveredFromBackup, C::b, true, C::b, C::b,
            C::damaged, {messageUnreadable, messagePreserved, messageRecovered});
        row("damaged primary, restore fails", File::damaged, File::b, {Op::writeAtomically}, S::unreadablePrimary, C::b,
            false, C::damaged, C::b, C::damaged, {messageUnreadable, messagePreserved, messageNotRestored});
        row("damaged primary not preserved", File::damaged, File::b, {Op::copy}, S::unreadablePrimary, C::b, false,
            C::damaged, C::b, C::none, {messageUnreadable, messageNotPreserved, messageReadOnly});
        row("folder at primary path", File::folder, File::b, none, S::unreadablePrimary, C::b, false, C::folder, C::b,
            C::none, {messageUnreadable, messageNotPreserved, messageReadOnly});
        row("unreadable primary file", File::a, File::b, {Op::read}, S::recoveredFromBackup, C::b, true, C::b, C::b,
            C::a, {messageUnreadable, messagePreserved, messageRecovered});
        row("damaged primary, no backup", File::damaged, File::missing, none, S::unreadablePrimary, C::none, false,
            C::damaged, C::none, C::damaged, {messageUnreadable, messagePreserved, messageBackupBad});
        row("damaged primary and backup", File::damaged, File::damaged, none, S::unreadablePrimary, C::none, false,
            C::damaged, C::damaged, C::damaged, {messageUnreadable, messagePreserved, messageBackupBad});
        row("missing primary, restored", File::missing, File::b, none, S::recoveredFromBackup, C::b, true, C::b, C::b,
            C::none, {messageMissingRecovered});
        row("missing primary, folder creation fails", File::missing, File::b, {Op::createFolder}, S::unreadablePrimary,
            C::b, false, C::none, C::b, C::none, {messageMissingNotRestored});
        row("missing primary, restore fails", File::missing, File::b, {Op::writeAtomically}, S::unreadablePrimary, C::b,
            false, C::none, C::b, C::none, {messageMissingNotRestored});
        row("missing primary, damaged backup", File::missing, File::damaged, none, S::unreadablePrimary, C::none, false,
            C::none, C::damaged, C::none, {messageMissingBad});
        row("missing primary, folder at backup path", File::missing, File::folder, none, S::unreadablePrimary, C::none,
            false, C::none, C::folder, C::none, {messageMissingBad});
        row("neither file", File::missing, File::missing, none, S::ready, C::none, true, C::none, C::none, C::none, {});
    }

    void launch()
    {
        QFETCH(File, primary);
        QFETCH(File, backup);
        QFETCH(QList<Op>, failing);
        QFETCH(StorePersistenceStatus, status);
        QFETCH(Content, snapshot);
        QFETCH(bool, writesAllowed);
        QFETCH(Content, primaryAfter);
        QFETCH(Content, backupAfter);
        QFETCH(Content, preservedAfter);
        QFETCH(QStringList, messages);

        Library library;
        QVERIFY(Library::place(library.primary, primary));
        QVERIFY(Library::place(library.backup, backup));
        for (Op op : failing)
            library.fileSystem->failOn(op, op == Op::read ? library.primary : QString());
        StorePersistence persistence = library.persistence();

        const StoreLoadResult result = persistence.load();
        QCOMPARE(result.status, status);
        QCOMPARE(contentOf(result.snapshot), snapshot);
        QCOMPARE(persistence.writesAllowed(), writesAllowed);
        QCOMPARE(Library::contentOf(library.primary), primaryAfter);
        QCOMPARE(Library::contentOf(library.backup), backupAfter);
        QCOMPARE(Library::contentOf(library.preserved), preservedAfter);
        QCOMPARE(m_log.messages(QStringLiteral("store")), messages);
        for (const SystemLogEntry& entry : m_log.entries()) {
            const bool failure = failureMessages.contains(entry.publicPart);
            QCOMPARE(entry.level, failure ? SystemLogLevel::error : SystemLogLevel::notice);
            QCOMPARE(entry.privatePart.isEmpty(), !failure);
        }
        if (status == StorePersistenceStatus::incompatibleVersion)
            QCOMPARE(library.fileSystem->changes(), QList<FailingFileSystem::Call>());

        // The first save afterwards: refused, leaving every file as it is, or both files written.
        library.fileSystem->clearFailures();
        const StoreSnapshot next = LibraryFixtures::snapshot(7);
        const std::optional<PersistenceError> error = persistence.write(next);
        if (!writesAllowed) {
            QVERIFY(error);
            QCOMPARE(error->kind, PersistenceError::primaryNotPreserved);
            QCOMPARE(StorePersistence::failureStatus(*error), StorePersistenceStatus::unreadablePrimary);
            QCOMPARE(Library::contentOf(library.primary), primaryAfter);
            QCOMPARE(Library::contentOf(library.backup), backupAfter);
        } else if (backupAfter == Content::folder) {
            QVERIFY(error);
            QCOMPARE(error->kind, PersistenceError::backupWriteFailed);
            QCOMPARE(LibraryFixtures::readFile(library.primary), LibraryDocument::encode(next).bytes);
        } else {
            QVERIFY2(!error, error ? qPrintable(error->description()) : "");
            QCOMPARE(LibraryFixtures::readFile(library.primary), LibraryDocument::encode(next).bytes);
            QCOMPARE(LibraryFixtures::readFile(library.backup), LibraryDocument::encode(next).bytes);
        }
    }

    // A backup equal to the primary is compared by streaming it, never read whole beside the
    // primary; one that may differ is read, as its content may be needed.
    void backupIsReadWholeOnlyWhenItDiffers_data()
    {
        QTest::addColumn<File>("primary");
        QTest::addColumn<File>("backup");
        QTest::addColumn<bool>("compared");
        QTest::addColumn<bool>("readWhole");
        QTest::newRow("identical") << File::a << File::a << true << false;
        QTest::newRow("identical, both damaged") << File::damaged << File::damaged << true << false;
        QTest::newRow("different") << File::a << File::b << true << true;
        QTest::newRow("damaged primary") << File::damaged << File::b << true << true;
        QTest::newRow("no primary") << File::missing << File::b << false << true;
        QTest::newRow("no backup") << File::a << File::missing << false << true;
    }
    void backupIsReadWholeOnlyWhenItDiffers()
    {
        QFETCH(File, primary);
        QFETCH(File, backup);
        QFETCH(bool, compared);
        QFETCH(bool, readWhole);
        Library library;
        QVERIFY(Library::place(library.primary, primary));
        QVERIFY(Library::place(library.backup, backup));
        StorePersistence persistence = library.persistence();
        persistence.load();
        const QList<FailingFileSystem::Call> calls = library.fileSystem->calls();
        QCOMPARE(calls.contains({Op::compare, library.backup}), compared);
        QCOMPARE(calls.contains({Op::read, library.backup}), readWhole);
    }

    void refreshedBackupIsQuietNextTime()
    {
        Library library;
        QVERIFY(Library::place(library.primary, File::a));
        QCOMPARE(library.persistence().load().status, StorePersistenceStatus::ready);
        QCOMPARE(m_log.messages(QStringLiteral("store")), QStringList {messageRefreshed});
        m_log.clear();
        library.fileSystem->clearCalls();
        QCOMPARE(library.persistence().load().status, StorePersistenceStatus::ready);
        QCOMPARE(m_log.entries().size(), 0);
        QCOMPARE(library.fileSystem->changes(), QList<FailingFileSystem::Call>());
    }

    void secondDamageGetsNextPreservedName()
    {
        Library library;
        QVERIFY(Library::place(library.backup, File::b));
        QVERIFY(LibraryFixtures::writeFile(library.primary, "{"));
        QCOMPARE(library.persistence().load().status, StorePersistenceStatus::recoveredFromBackup);
        QCOMPARE(LibraryFixtures::readFile(library.primary), bytesB());
        QVERIFY(LibraryFixtures::writeFile(library.primary, "[1,"));
        QCOMPARE(library.persistence().load().status, StorePersistenceStatus::recoveredFromBackup);
        QCOMPARE(LibraryFixtures::readFile(library.preserved), QByteArray("{"));
        QCOMPARE(LibraryFixtures::readFile(library.dir.filePath(QStringLiteral("Tessellon.unreadable-2.json"))),
            QByteArray("[1,"));
    }

    void preservedPath_data()
    {
        QTest::addColumn<QString>("primary");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first") << QStringLiteral("Tessellon.json") << QStringList() << "Tessellon.unreadable.json";
        QTest::newRow("second") << QStringLiteral("Tessellon.json") << QStringList {"Tessellon.unreadable.json"}
                                << "Tessellon.unreadable-2.json";
        QTest::newRow("third") << QStringLiteral("Tessellon.json")
                               << QStringList {"Tessellon.unreadable.json", "Tessellon.unreadable-2.json"}
                               << "Tessellon.unreadable-3.json";
        QTest::newRow("gap is not refilled by order")
            << QStringLiteral("Tessellon.json")
            << QStringList {"Tessellon.unreadable.json", "Tessellon.unreadable-3.json"}
            << "Tessellon.unreadable-2.json";
        QTest::newRow("dots in the name") << QStringLiteral("My.Lib.json") << QStringList() << "My.Lib.unreadable.json";
        QTest::newRow("no extension") << QStringLiteral("Tessellon") << QStringList {"Tessellon.unreadable"}
                                      << "Tessellon.unreadable-2";
    }

    void preservedPath()
    {
        QFETCH(QString, primary);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString& name : existing)
            QVERIFY(LibraryFixtures::writeFile(dir.filePath(name), "x"));
        QCOMPARE(StorePersistence::nextPreservedPath(dir.filePath(primary), DiskFileSystem()),
            std::optional<QString>(dir.filePath(expected)));
    }

    void firstSaveWritesPrimaryThenIdenticalBackup()
    {
        Library library;
        library.primary = library.dir.filePath(QStringLiteral("new/folder/Tessellon.json"));
        library.backup = StoreLocations::backupURL(library.primary);
        StorePersistence persistence = library.persistence();
        const StoreLoadResult result = persistence.load();
        QCOMPARE(result.status, StorePersistenceStatus::ready);
        QVERIFY(!result.snapshot);
        QCOMPARE(library.fileSystem->changes(), QList<FailingFileSystem::Call>());

        QVERIFY(!persistence.write(snapshotA()));
        using Call = FailingFileSystem::Call;
        QCOMPARE(library.fileSystem->changes(),
            QList<Call>({{Op::createFolder, QFileInfo(library.primary).absolutePath()},
                {Op::writeAtomically, library.primary}, {Op::writeAtomically, library.backup}}));
        QCOMPARE(LibraryFixtures::readFile(library.primary), bytesA());
        QCOMPARE(LibraryFixtures::readFile(library.backup), bytesA());
    }

    void failedSaves_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<PersistenceError::Kind>("kind");
        QTest::addColumn<StorePersistenceStatus>("status");
        QTest::addColumn<Content>("primaryAfter");
        QTest::addColumn<Content>("backupAfter");
        QTest::newRow("repeated selection id")
            << "duplicate selection" << PersistenceError::duplicateIdentity
            << StorePersistenceStatus(StorePersistenceStatus::saveFailed) << Content::a << Content::a;
        QTest::newRow("repeated entry id in a draft")
            << "duplicate entry" << PersistenceError::duplicateIdentity
            << StorePersistenceStatus(StorePersistenceStatus::saveFailed) << Content::a << Content::a;
        QTest::newRow("version 3") << "version" << PersistenceError::incompatibleVersion
                                   << StorePersistenceStatus(StorePersistenceStatus::saveFailed) << Content::a
                                   << Content::a;
        QTest::newRow("unwritable time") << "time" << PersistenceError::invalidDocument
                                         << StorePersistenceStatus(StorePersistenceStatus::saveFailed) << Content::a
                                         << Content::a;
        QTest::newRow("folder at backup path")
            << "backup folder" << PersistenceError::backupWriteFailed
            << StorePersistenceStatus(StorePersistenceStatus::backupUnavailable) << Content::b << Content::folder;
        QTest::newRow("backup write fails")
            << "backup write" << PersistenceError::backupWriteFailed
            << StorePersistenceStatus(StorePersistenceStatus::backupUnavailable) << Content::b << Content::a;
        QTest::newRow("primary write fails")
            << "primary write" << PersistenceError::primaryWriteFailed
            << StorePersistenceStatus(StorePersistenceStatus::saveFailed) << Content::a << Content::a;
        QTest::newRow("folder creation fails")
            << "folder" << PersistenceError::folderNotCreated
            << StorePersistenceStatus(StorePersistenceStatus::saveFailed) << Content::a << Content::a;
        QTest::newRow("memory runs out writing the primary")
            << "memory" << PersistenceError::outOfMemory << StorePersistenceStatus(StorePersistenceStatus::saveFailed)
            << Content::a << Content::a;
    }

    void failedSaves()
    {
        QFETCH(QString, fault);
        QFETCH(PersistenceError::Kind, kind);
        QFETCH(StorePersistenceStatus, status);
        QFETCH(Content, primaryAfter);
        QFETCH(Content, backupAfter);
        Library library;
        QVERIFY(Library::place(library.primary, File::a));
        QVERIFY(Library::place(library.backup, File::a));
        StorePersistence persistence = library.persistence();
        QCOMPARE(persistence.load().status, StorePersistenceStatus::ready);

        StoreSnapshot snapshot = snapshotB();
        if (fault == "duplicate selection")
            snapshot.selections[4].id = snapshot.selections[1].id;
        else if (fault == "duplicate entry")
            (*snapshot.drafts)[0].entries[2].id = (*snapshot.drafts)[0].entries[0].id;
        else if (fault == "version")
            snapshot.version = 3;
        else if (fault == "time")
            snapshot.groups[0].createdAt = QDateTime();
        else if (fault == "backup folder")
            QVERIFY(QFile::remove(library.backup) && QDir().mkpath(library.backup));
        else if (fault == "backup write")
            library.fileSystem->failOn(Op::writeAtomically, library.backup);
        else if (fault == "primary write")
            library.fileSystem->failOn(Op::writeAtomically, library.primary);
        else if (fault == "folder")
            library.fileSystem->failOn(Op::createFolder);
        else if (fault == "memory")
            library.fileSystem->setBeforeWrite([](const QString&) { throw std::bad_alloc(); });

        const std::optional<PersistenceError> error = persistence.write(snapshot);
        QVERIFY(error);
        QCOMPARE(error->kind, kind);
        QVERIFY(!error->description().isEmpty());
        QCOMPARE(StorePersistence::failureStatus(*error), status);
        QCOMPARE(Library::contentOf(library.primary), primaryAfter);
        QCOMPARE(Library::contentOf(library.backup), backupAfter);
        QVERIFY(persistence.writesAllowed());

        // The next save without the fault rewrites both files.
        library.fileSystem->clearFailures();
        library.fileSystem->setBeforeWrite({});
        if (fault == "backup folder")
            QVERIFY(QDir(library.backup).removeRecursively());
        QVERIFY(!persistence.write(snapshotB()));
        QCOMPARE(Library::contentOf(library.primary), Content::b);
        QCOMPARE(Library::contentOf(library.backup), Content::b);
    }

    void presentation_data()
    {
        QTest::addColumn<StorePersistenceStatus>("status");
        QTest::addColumn<int>("presentation"); // -1: none
        QTest::addColumn<bool>("promptWhenUntrusted");
        using S = StorePersistenceStatus;
        QTest::newRow("ready") << S(S::ready) << -1 << true;
        QTest::newRow("recovered") << S(S::recoveredFromBackup) << -1 << true;
        QTest::newRow("unreadable") << S(S::unreadablePrimary) << int(LibraryRecoveryPresentation::unreadable) << false;
        QTest::newRow("incompatible") << S(S::incompatibleVersion)
                                      << int(LibraryRecoveryPresentation::incompatibleVersion) << false;
        QTest::newRow("backup unavailable") << S(S::backupUnavailable) << -1 << true;
        QTest::newRow("save failed") << S(S::saveFailed) << -1 << true;
        // Another session holds the library: nothing is damaged, and the notice says so.
        QTest::newRow("open elsewhere") << S(S::openElsewhere) << int(LibraryRecoveryPresentation::inUse) << false;
    }

    void presentation()
    {
        QFETCH(StorePersistenceStatus, status);
        QFETCH(int, presentation);
        QFETCH(bool, promptWhenUntrusted);
        const std::optional<LibraryRecoveryPresentation> shown = status.unavailableLibraryPresentation();
        QCOMPARE(shown.has_value(), presentation >= 0);
        QCOMPARE(status.blockedCaptureMessage().has_value(), presentation >= 0);
        if (shown) {
            QCOMPARE(int(LibraryRecoveryPresentation::Value(*shown)), presentation);
            QCOMPARE(shown->message().contains(u"Restore"_qs), presentation == int(LibraryRecoveryPresentation::unreadable));
            QCOMPARE(status.blockedCaptureMessage(), std::optional<QString>(shown->message()));
        }
        QCOMPARE(status.shouldShowLaunchAccessibilityPrompt(false), promptWhenUntrusted);
        QCOMPARE(status.shouldShowLaunchAccessibilityPrompt(true), false);
    }

    // Events are logged as the message; failures as the message, a space and the description.
    void linesReachTheLogFile()
    {
        Library library;
        QVERIFY(LibraryFixtures::writeFile(library.primary, "{"));
        QVERIFY(Library::place(library.backup, File::b));
        const QString logPath = m_logDir.filePath(QStringLiteral("tessellon.log"));
        FileLogger::flush();
        const qsizetype before = LibraryFixtures::readFile(logPath).size();
        library.persistence().load();
        FileLogger::flush();
        const QList<QByteArray> lines = LibraryFixtures::readFile(logPath).mid(before).split('\n');
        QStringList messages;
        for (const QByteArray& line : lines)
            if (line.size() > 23)
                messages.append(QString::fromUtf8(line.mid(23)));
        QCOMPARE(messages.size(), 3);
        QVERIFY2(messages[0].startsWith(messageUnreadable + QStringLiteral(" The document is not valid JSON")),
            qPrintable(messages[0]));
        QCOMPARE(messages[1], messagePreserved);
        QCOMPARE(messages[2], messageRecovered);
        QCOMPARE(m_log.entries().first().privatePart, messages[0].mid(messageUnreadable.size() + 1));
    }

    // Paths we did not make at the library's place: opened without waiting, never written
    // through, treated as a damaged primary that cannot be preserved.
    void hostilePrimary_data()
    {
        QTest::addColumn<QString>("primary");
        QTest::addColumn<bool>("withBackup");
        QTest::addColumn<StorePersistenceStatus>("status");
        QTest::addColumn<Content>("snapshot");
        QTest::addColumn<bool>("writesAllowed");
        using S = StorePersistenceStatus;
        QTest::newRow("pipe, backup") << "fifo" << true << S(S::unreadablePrimary) << Content::b << false;
        QTest::newRow("pipe, no backup") << "fifo" << false << S(S::unreadablePrimary) << Content::none << false;
        QTest::newRow("link to a device, backup") << "device link" << true << S(S::unreadablePrimary) << Content::b
                                                  << false;
        QTest::newRow("link to a device, no backup")
            << "device link" << false << S(S::unreadablePrimary) << Content::none << false;
        QTest::newRow("device, backup") << "device" << true << S(S::unreadablePrimary) << Content::b << false;
        QTest::newRow("link to a library elsewhere") << "library link" << true << S(S::ready) << Content::a << true;
    }

    void hostilePrimary()
    {
        QFETCH(QString, primary);
        QFETCH(bool, withBackup);
        QFETCH(StorePersistenceStatus, status);
        QFETCH(Content, snapshot);
        QFETCH(bool, writesAllowed);
        Library library;
        const QString elsewhere = library.dir.filePath(QStringLiteral("elsewhere/node"));
        QVERIFY(QDir().mkpath(QFileInfo(elsewhere).path()));
        const QByteArray node = QFile::encodeName(primary.endsWith("link") ? elsewhere : library.primary);
        if (primary == "fifo") {
            QCOMPARE(::mkfifo(node.constData(), 0600), 0);
        } else if (primary.startsWith("device")) {
            if (::mknod(node.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                QSKIP("device nodes cannot be made here");
        } else {
            QVERIFY(Library::place(elsewhere, File::a));
        }
        if (primary.endsWith("link"))
            QVERIFY(QFile::link(elsewhere, library.primary));
        const mode_t nodeType = modeOf(QFile::decodeName(node)) & S_IFMT;
        QVERIFY(Library::place(library.backup, withBackup ? (primary == "library link" ? File::a : File::b)
                                                           : File::missing));
        StorePersistence persistence = library.persistence();

        std::future<StoreLoadResult> loading = std::async(std::launch::async, [&] { return persistence.load(); });
        if (loading.wait_for(10s) != std::future_status::ready) {
            const int fd = ::open(node.constData(), O_WRONLY | O_NONBLOCK); // frees a waiting open
            loading.wait();
            ::close(fd);
            QFAIL("the launch waited on the file at the library path");
        }
        const StoreLoadResult result = loading.get();
        QCOMPARE(result.status, status);
        QCOMPARE(contentOf(result.snapshot), snapshot);
        QCOMPARE(persistence.writesAllowed(), writesAllowed);
        QVERIFY(!QFileInfo::exists(library.preserved));

        const std::optional<PersistenceError> error = persistence.write(snapshotB());
        QCOMPARE(!error, writesAllowed);
        // The node is what it was, and so is the link to it.
        QCOMPARE(modeOf(QFile::decodeName(node)) & S_IFMT, nodeType);
        if (primary.endsWith("link"))
            QVERIFY(S_ISLNK(modeOf(library.primary)));
        if (primary == "library link")
            QCOMPARE(Library::contentOf(elsewhere), Content::b);
    }

    // While the library is open, something else takes a file's place: a link to another file of
    // the user's (also by way of a link in place of the folder), or another file. A save, and
    // the save for a process's end, never write through it: it is kept under the preserved name,
    // byte for byte, and a new file is written in its place.
    void fileChangedFromOutside_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("forEnd");
        QTest::addColumn<QString>("keptAs"); // relative to the test folder; empty: nothing kept
        const QString primaryKept = QStringLiteral("library/Tessellon.unreadable.json");
        for (const bool forEnd : {false, true}) {
            const char* suffix = forEnd ? ", the end's save" : "";
            QTest::addRow("primary a link to a file of the user's%s", suffix) << "primary link" << forEnd << primaryKept;
            QTest::addRow("backup a link to a file of the user's%s", suffix)
                << "backup link" << forEnd << "library/Tessellon.backup.unreadable.json";
            QTest::addRow("folder a link to a folder of the user's%s", suffix)
                << "folder link" << forEnd << "elsewhere/Tessellon.unreadable.json";
            QTest::addRow("primary replaced by another file%s", suffix) << "primary replaced" << forEnd << primaryKept;
            QTest::addRow("primary removed%s", suffix) << "primary removed" << forEnd << "";
        }
    }

    void fileChangedFromOutside()
    {
        QFETCH(QString, change);
        QFETCH(bool, forEnd);
        QFETCH(QString, keptAs);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("library"));
        const QString primary = folder + QStringLiteral("/Tessellon.json");
        const QString backup = folder + QStringLiteral("/Tessellon.backup.json");
        const QString mine = dir.filePath(QStringLiteral("mine.json"));
        const QByteArray mineBytes = "{\"the user's\": true}\n";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(Library::place(primary, File::a));
        QVERIFY(Library::place(backup, File::a));
        QVERIFY(LibraryFixtures::writeFile(mine, mineBytes));
        StorePersistence persistence(primary, backup, std::make_shared<FailingFileSystem>());
        QCOMPARE(persistence.load().status, StorePersistenceStatus::ready);

        if (change == u"primary link" || change == u"backup link") {
            const QString replaced = change == u"primary link" ? primary : backup;
            QVERIFY(QFile::remove(replaced));
            QVERIFY(QFile::link(mine, replaced));
        } else if (change == u"folder link") {
            const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
            QVERIFY(QDir().rename(folder, dir.filePath(QStringLiteral("moved"))));
            QVERIFY(QDir().mkpath(elsewhere));
            QVERIFY(LibraryFixtures::writeFile(elsewhere + QStringLiteral("/Tessellon.json"), mineBytes));
            QVERIFY(QFile::link(elsewhere, folder));
        } else if (change == u"primary replaced") {
            const QString other = folder + QStringLiteral("/other");
            QVERIFY(LibraryFixtures::writeFile(other, mineBytes));
            QCOMPARE(::rename(QFile::encodeName(other).constData(), QFile::encodeName(primary).constData()), 0);
        } else {
            QVERIFY(QFile::remove(primary));
        }

        const std::optional<PersistenceError> error
            = forEnd ? persistence.writeForEnd(snapshotB(), [] { }) : persistence.write(snapshotB());
        QVERIFY2(!error, error ? qPrintable(error->description()) : "");
        QCOMPARE(Library::contentOf(primary), Content::b);
        QCOMPARE(Library::contentOf(backup), Content::b);
        QVERIFY(!S_ISLNK(modeOf(primary)) && !S_ISLNK(modeOf(backup)));
        QCOMPARE(LibraryFixtures::readFile(mine), mineBytes);
        if (keptAs.isEmpty())
            QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Tessellon.unreadable.json")));
        else
            QCOMPARE(LibraryFixtures::readFile(dir.filePath(keptAs)), mineBytes);
        if (forEnd)
            return; // no save follows the end's
        // The file written is the one the next save replaces in place: nothing more is kept.
        QVERIFY(!persistence.write(snapshotA()));
        QCOMPARE(Library::contentOf(primary), Content::a);
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Tessellon.unreadable-2.json")));
    }

    // A large file of NUL bytes, the usual leftover of a crash, is turned down at its first
    // byte and set aside without being read; the launch goes on with the backup.
    void hugeDamagedPrimary()
    {
        Library library;
        constexpr qint64 size = qint64(1) << 30;
        QFile primary(library.primary);
        QVERIFY(primary.open(QIODevice::WriteOnly) && primary.resize(size));
        primary.close();
        QVERIFY(Library::place(library.backup, File::b));
        StorePersistence persistence = library.persistence();
        QElapsedTimer timer;
        timer.start();
        const StoreLoadResult result = persistence.load();
        qInfo("launch with a 1 GiB damaged primary: %lld ms", qlonglong(timer.elapsed()));
        QCOMPARE(result.status, StorePersistenceStatus::recoveredFromBackup);
        QCOMPARE(contentOf(result.snapshot), Content::b);
        QCOMPARE(Library::contentOf(library.primary), Content::b);
        QCOMPARE(QFileInfo(library.preserved).size(), size);
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(library.preserved).constData(), &info), 0);
        QVERIFY2(qint64(info.st_blocks) * 512 < (qint64(64) << 20), "the preserved copy filled its holes");
    }

    // What a load would refuse is never written: the save fails and both files stand.
    void saveOverTheReadLimit()
    {
        Library library;
        QVERIFY(Library::place(library.primary, File::a));
        QVERIFY(Library::place(library.backup, File::a));
        {
            StorePersistence persistence = library.persistence();
            persistence.setSizeLimit(bytesA().size());
            QCOMPARE(persistence.load().status, StorePersistenceStatus::ready);
            const std::optional<PersistenceError> error = persistence.write(snapshotB());
            QVERIFY(error);
            QCOMPARE(error->kind, PersistenceError::tooLarge);
            QCOMPARE(StorePersistence::failureStatus(*error), StorePersistenceStatus::saveFailed);
            QCOMPARE(Library::contentOf(library.primary), Content::a);
            QCOMPARE(Library::contentOf(library.backup), Content::a);
            QVERIFY(persistence.writesAllowed());
            // Exactly at the limit it is written.
            QVERIFY(!persistence.write(snapshotA()));
        }
        StorePersistence next = library.persistence();
        next.setSizeLimit(bytesA().size());
        QCOMPARE(next.load().status, StorePersistenceStatus::ready);
    }

    // The save failure's log line carries the system's reason.
    void fullDiskIsNamedInTheLog()
    {
        QTemporaryDir dir;
        const QByteArray mountPoint = QFile::encodeName(dir.path());
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("a small file system cannot be mounted here");
        const auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
        QTemporaryDir settingsDir;
        QSettings defaults(settingsDir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
        {
            Store store(Store::Options {dir.filePath(QStringLiteral("Tessellon.json")), &defaults, {}, {}, {}});
            QCOMPARE(store.persistenceStatus(), StorePersistenceStatus::ready);
            store.add(Selection::make(QUuid::createUuid(), QString(200000, u'x'), std::nullopt, QStringLiteral("App"),
                std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}, LibraryFixtures::time(1)));
            store.saveNow();
            QCoreApplication::processEvents();
            QCOMPARE(store.persistenceStatus(), StorePersistenceStatus::saveFailed);
        }
        const QStringList lines = m_log.messages(QStringLiteral("app"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("Store save failed: ")), qPrintable(lines[0]));
        QVERIFY2(lines[0].contains(QStringLiteral("No space left on device")), qPrintable(lines[0]));
    }

    // Every file and folder of the library is private after launch, save, recovery and a
    // backup rewrite, whatever the umask.
    void privateModes_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask 022") << 022;
        QTest::newRow("umask 077") << 077;
    }

    void privateModes()
    {
        QFETCH(int, mask);
        const UmaskGuard guard {mode_t(mask)};
        Library library;
        library.primary = library.dir.filePath(QStringLiteral("data/Tessellon/Tessellon.json"));
        library.backup = StoreLocations::backupURL(library.primary);
        const QString folder = QFileInfo(library.primary).path();
        const auto expectPrivate = [&](const QStringList& names) {
            QCOMPARE(permissionsOf(folder), mode_t(0700));
            QCOMPARE(permissionsOf(QFileInfo(folder).path()), mode_t(0700));
            for (const QString& name : names)
                QCOMPARE(permissionsOf(folder + u'/' + name), mode_t(0600));
        };
        {
            StorePersistence first = library.persistence();
            QCOMPARE(first.load().status, StorePersistenceStatus::ready);
            QVERIFY(!first.write(snapshotA()));
            expectPrivate({u"Tessellon.json"_qs, u"Tessellon.backup.json"_qs, u"Tessellon.json.lock"_qs});
        }
        // A backup the user loosened, then lost: recreated private at launch.
        QVERIFY(::chmod(QFile::encodeName(library.backup).constData(), 0644) == 0);
        QVERIFY(QFile::remove(library.backup));
        QCOMPARE(library.persistence().load().status, StorePersistenceStatus::ready);
        expectPrivate({u"Tessellon.backup.json"_qs});
        // Recovery: the preserved copy and the restored primary.
        QVERIFY(LibraryFixtures::writeFile(library.primary, "{"));
        QVERIFY(::chmod(QFile::encodeName(library.primary).constData(), 0644) == 0);
        QCOMPARE(library.persistence().load().status, StorePersistenceStatus::recoveredFromBackup);
        expectPrivate({u"Tessellon.json"_qs, u"Tessellon.backup.json"_qs, u"Tessellon.unreadable.json"_qs});
        // A missing primary restored from the backup.
        QVERIFY(QFile::remove(library.primary));
        QCOMPARE(library.persistence().load().status, StorePersistenceStatus::recoveredFromBackup);
        expectPrivate({u"Tessellon.json"_qs});
        // No temporary file is left: each file above was one, renamed into place.
        QCOMPARE(QDir(folder).entryList(QDir::Hidden | QDir::Files).size(), 4);
    }

    // A second store on a library another process holds for writing loads it read-only and
    // writes nothing; once the first process is gone the library opens as usual.
    void secondProcessOpensReadOnly()
    {
        Library library;
        QVERIFY(Library::place(library.primary, File::a));
        QVERIFY(Library::place(library.backup, File::a));
        QProcess holder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(holdEnvironment), library.primary);
        holder.setProcessEnvironment(environment);
        holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("firstSaveTakesTheLock")});
        QVERIFY(holder.waitForStarted());
        QCOMPARE(holderReport(holder), QByteArray("ready true"));
        QCOMPARE(Library::contentOf(library.primary), Content::b); // the holder saved

        {
            StorePersistence second = library.persistence();
            const StoreLoadResult result = second.load();
            QCOMPARE(result.status, StorePersistenceStatus::openElsewhere);
            QCOMPARE(contentOf(result.snapshot), Content::b);
            QVERIFY(!second.writesAllowed());
            QCOMPARE(m_log.messages(QStringLiteral("store")), QStringList {messageInUse});
            QVERIFY(second.write(snapshotA()));
            QCOMPARE(Library::contentOf(library.primary), Content::b);
        }

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
        QCOMPARE(holder.exitCode(), 0);
        StorePersistence third = library.persistence();
        QCOMPARE(third.load().status, StorePersistenceStatus::ready);
        QVERIFY(!third.write(snapshotA()));

        // Now this process holds it: a store in another process is the one turned away.
        QProcess late;
        late.setProcessEnvironment(environment);
        late.start(QCoreApplication::applicationFilePath(), {QStringLiteral("firstSaveTakesTheLock")});
        QCOMPARE(holderReport(late), QByteArray("openElsewhere false"));
        late.closeWriteChannel();
        QVERIFY(late.waitForFinished(30000));
        QCOMPARE(Library::contentOf(library.primary), Content::a);
    }

    // Two stores on a library that does not exist yet: the first save takes the lock, and the
    // other store's save is refused and turns its writing off.
    void firstSaveTakesTheLock()
    {
        Library library;
        StorePersistence first = library.persistence();
        StorePersistence second = library.persistence();
        QCOMPARE(first.load().status, StorePersistenceStatus::ready);
        QCOMPARE(second.load().status, StorePersistenceStatus::ready);
        QVERIFY(!first.write(snapshotA()));
        const std::optional<PersistenceError> error = second.write(snapshotB());
        QVERIFY(error);
        QCOMPARE(error->kind, PersistenceError::libraryInUse);
        QCOMPARE(StorePersistence::failureStatus(*error), StorePersistenceStatus::openElsewhere);
        QVERIFY(!second.writesAllowed());
        QCOMPARE(Library::contentOf(library.primary), Content::a);
        QVERIFY(!first.write(snapshotB()));
    }

    void deletedFolderIsLockedAgain_data()
    {
        QTest::addColumn<bool>("otherOpensFirst");
        QTest::newRow("the first store saves first") << false;
        QTest::newRow("another store opens first") << true;
    }
    // The library's folder is deleted while a store has it open. Whichever store writes into
    // the folder made anew holds the lock there: the other one never writes over it.
    void deletedFolderIsLockedAgain()
    {
        QFETCH(bool, otherOpensFirst);
        Library library;
        QVERIFY(Library::place(library.primary, File::a));
        QVERIFY(Library::place(library.backup, File::a));
        StorePersistence first = library.persistence();
        QCOMPARE(first.load().status, StorePersistenceStatus::ready);
        QVERIFY(QDir(library.dir.path()).removeRecursively());

        if (!otherOpensFirst)
            QVERIFY(!first.write(snapshotA()));
        StorePersistence second = library.persistence();
        const StorePersistenceStatus secondStatus = second.load().status;
        if (otherOpensFirst) {
            QCOMPARE(secondStatus, StorePersistenceStatus::ready);
            QVERIFY(!second.write(snapshotB()));
            const std::optional<PersistenceError> error = first.write(snapshotA());
            QVERIFY(error);
            QCOMPARE(error->kind, PersistenceError::libraryInUse);
            QCOMPARE(Library::contentOf(library.primary), Content::b);
        } else {
            QCOMPARE(secondStatus, StorePersistenceStatus::openElsewhere);
            QVERIFY(second.write(snapshotB()));
            QCOMPARE(Library::contentOf(library.primary), Content::a);
            QVERIFY(!first.write(snapshotA()));
        }
    }

    // Temporary files that saves killed midway left beside the library are removed at launch by
    // the store that holds the lock; nothing else is, and nothing while another store holds it.
    void interruptedSavesAreCleanedUp()
    {
        Library library;
        QVERIFY(Library::place(library.primary, File::a));
        QVERIFY(Library::place(library.backup, File::a));
        const QStringList leftovers {QStringLiteral(".Tessellon.json.a1B2c3"), QStringLiteral(".Tessellon.backup.json.Zz9yX8")};
        const QStringList kept {QStringLiteral(".Tessellon.json.toolong7"), QStringLiteral(".Tessellon.json.ab-cd_"),
            QStringLiteral("Tessellon.json.a1B2c3"), QStringLiteral(".Other.json.a1B2c3"), QStringLiteral(".Tessellon.json.link01"),
            QStringLiteral(".Tessellon.json.fold01")};
        for (const QString& name : leftovers + kept.first(4))
            QVERIFY(LibraryFixtures::writeFile(library.dir.filePath(name), "partial"));
        QVERIFY(QFile::link(library.primary, library.dir.filePath(kept[4])));
        QVERIFY(QDir(library.dir.path()).mkdir(kept[5]));
        const auto present = [&library](const QString& name) { return QFileInfo(library.dir.filePath(name)).isSymLink() || QFileInfo::exists(library.dir.filePath(name)); };

        {
            StorePersistence holder = library.persistence();
            QCOMPARE(holder.load().status, StorePersistenceStatus::ready);
            QVERIFY(std::none_of(leftovers.begin(), leftovers.end(), present));
            QVERIFY(std::all_of(kept.begin(), kept.end(), present));
            QCOMPARE(Library::contentOf(library.primary), Content::a);
            // Another store finds the lock held: it leaves a leftover made meanwhile alone.
            QVERIFY(LibraryFixtures::writeFile(library.dir.filePath(leftovers[0]), "partial"));
            StorePersistence other = library.persistence();
            QCOMPARE(other.load().status, StorePersistenceStatus::openElsewhere);
            QVERIFY(present(leftovers[0]));
        }
    }

private:
    static QByteArray holderReport(QProcess& holder)
    {
        const QByteArray marker = "holder: ";
        while (holder.canReadLine() || holder.waitForReadyRead(30000)) {
            while (holder.canReadLine()) {
                const QByteArray line = holder.readLine().trimmed();
                if (line.startsWith(marker))
                    return line.mid(marker.size());
            }
        }
        return {};
    }

    // The child side of secondProcessOpensReadOnly: loads the library, saves B when it may,
    // reports "<status> <writes allowed>" and holds the library until its input closes.
    [[noreturn]] void holdLibraryAndExit(const QString& primary)
    {
        Loggers::setSystemLog(&m_log);
        int code = 0;
        {
            StorePersistence persistence(primary, StoreLocations::backupURL(primary));
            const StoreLoadResult result = persistence.load();
            if (persistence.writesAllowed() && persistence.write(snapshotB()))
                code = 1;
            const QByteArray line = "holder: " + result.status.name().toUtf8() + (persistence.writesAllowed() ? " true\n" : " false\n");
            ::write(STDOUT_FILENO, line.constData(), size_t(line.size()));
            char byte;
            while (::read(STDIN_FILENO, &byte, 1) > 0) { }
        }
        m_logDir.remove();
        Loggers::setSystemLog(nullptr);
        std::exit(code);
    }

    RecordingSystemLog m_log;
    QTemporaryDir m_logDir;
};

TESSELLON_TEST_MAIN(TestStorePersistence)
#include "tst_StorePersistence.moc"
