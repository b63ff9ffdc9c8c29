#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include "support/FailingFileSystem.h"
#include "support/RecordingSystemLog.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Support/Logging.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"

#include <QDir>
#include <QTemporaryDir>

using Op = FailingFileSystem::Operation;

namespace {

// The file states of the launch table.
enum class File { missing, a, b, damaged, version3, folder };

// What the test expects of each file after the launch, or of the snapshot.
enum class Content { none, a, b, damaged, version3, folder };

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
const QByteArray damagedBytes = "{";

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
            QCOMPARE(status.blockedCaptureMessage(), std::optional<QString>(shown->message()));
        }
        QCOMPARE(status.shouldShowLaunchAccessibilityPrompt(false), promptWhenUntrusted);
        QCOMPARE(status.shouldShowLaunchAccessibilityPrompt(true), false);
    }

    void presentationTexts()
    {
        const LibraryRecoveryPresentation unreadable = LibraryRecoveryPresentation::unreadable;
        const LibraryRecoveryPresentation incompatible = LibraryRecoveryPresentation::incompatibleVersion;
        QCOMPARE(unreadable.title(), QStringLiteral("Library unavailable"));
        QCOMPARE(unreadable.message(),
            QStringLiteral("Tessellon could not open the library. Restore a valid library "
                           "or backup file, then relaunch Tessellon."));
        QVERIFY(unreadable.canRevealLibraryFolder());
        QCOMPARE(incompatible.title(), QStringLiteral("Library version not supported"));
        QCOMPARE(incompatible.message(),
            QStringLiteral("The library or backup uses a format this version of Tessellon cannot open. Both "
                           "files are unchanged. Open them with a compatible version of Tessellon."));
        QVERIFY(!incompatible.canRevealLibraryFolder());
        QVERIFY(qHash(unreadable) != qHash(incompatible));
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
        QVERIFY2(
            messages[0].startsWith(messageUnreadable + QStringLiteral(" The document is not valid JSON (byte 1: ")),
            qPrintable(messages[0]));
        QCOMPARE(messages[1], messagePreserved);
        QCOMPARE(messages[2], messageRecovered);
        QCOMPARE(m_log.entries().first().privatePart, messages[0].mid(messageUnreadable.size() + 1));
    }

private:
    RecordingSystemLog m_log;
    QTemporaryDir m_logDir;
};

TESSELLON_TEST_MAIN(TestStorePersistence)
#include "tst_StorePersistence.moc"
