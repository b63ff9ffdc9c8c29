#include "ZubraCore/Library/StorePersistence.h"

#include "Platform/HeapGrowth.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Support/DiscardInBackground.h"
#include "ZubraCore/Support/Logging.h"


#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <future>
#include <new>

namespace {

void logEvent(const QString& message)
{
    Loggers::store().notice(message);
    FileLogger::log(message);
}

void logFailure(const QString& message, const QString& description)
{
    Loggers::store().error(message, description);
    FileLogger::log(message + QLatin1Char(' ') + description);
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

// One file as read at launch, parsed at most once and decoded at most once.
struct LaunchFile
{
    bool exists = false;
    FileContents contents;
    std::shared_ptr<const ParsedLibraryDocument> parsed;
    mutable std::optional<DocumentDecoding> decoding;

    const DocumentDecoding& decode() const
    {
        if (!decoding)
            decoding = parsed->decode();
        return *decoding;
    }
    // Why the file gives no snapshot: its read error or its decoding error.
    QString failure() const
    {
        if (!contents.bytes)
            return contents.error;
        return decode().error ? decode().error->description : QString();
    }
    bool decodes() const { return contents.bytes && !decode().error; }
};

} // namespace

struct StorePersistence::LaunchFiles
{
    LaunchFile primary;
    LaunchFile backup;
};

QString PersistenceError::description() const
{
    QString what;
    switch (kind) {
    case backupWriteFailed:
        what = QStringLiteral("The backup could not be written.");
        break;
    case duplicateIdentity:
        what = QStringLiteral("The library repeats an identifier.");
        break;
    case incompatibleVersion:
        what = QStringLiteral("The library carries a version this program does not write.");
        break;
    case primaryNotPreserved:
        what = QStringLiteral("Saving is off because the unreadable library could not be preserved.");
        break;
    case invalidDocument:
        what = QStringLiteral("The library could not be encoded into a readable document.");
        break;
    case folderNotCreated:
        what = QStringLiteral("The library folder could not be created.");
        break;
    case primaryWriteFailed:
        what = QStringLiteral("The library file could not be written.");
        break;
    case tooLarge:
        what = QStringLiteral("The library is larger than Tessellon can read back.");
        break;
    case libraryInUse:
        what = QStringLiteral("The library is open for writing in another Tessellon session.");
        break;
    case outOfMemory:
        what = QStringLiteral("There was not enough memory to save the library.");
        break;
    case superseded:
        what = QStringLiteral("The save for the end of the process took over.");
        break;
    }
    return detail.isEmpty() ? what : what + QLatin1Char(' ') + detail;
}

StorePersistence::StorePersistence(
    const QString& storePath, const QString& backupPath, std::shared_ptr<FileSystem> fileSystem)
    : m_storePath(storePath)
    , m_backupPath(backupPath)
    , m_fileSystem(std::move(fileSystem))
    , m_sizeLimit(LibraryDocument::maxBytes)
{
}

StorePersistence::~StorePersistence() = default;

QString StorePersistence::lockPath(const QString& storePath)
{
    return storePath + QStringLiteral(".lock");
}

bool StorePersistence::takeLock()
{
    // A lock on a file that was removed (with the library's folder, say) keeps no other instance
    // out: the lock is taken again on the file that stands at the path now, or writing stops.
    const std::lock_guard guard(m_lockMutex);
    if (m_lock && m_lock->isInPlace())
        return true;
    m_lock.reset();
    LockAttempt attempt = m_fileSystem->lock(lockPath(m_storePath));
    if (attempt.heldElsewhere)
        return false;
    // A lock that cannot be taken at all (a read-only folder) does not stop writing: the
    // write itself reports what the file system says.
    m_lock = std::move(attempt.lock);
    return true;
}

std::optional<QString> StorePersistence::nextPreservedPath(const QString& storePath, const FileSystem& fileSystem)
{
    const QFileInfo info(storePath);
    const QString suffix = info.suffix();
    const QString stem = info.path() + QLatin1Char('/') + (suffix.isEmpty() ? info.fileName() : info.completeBaseName())
        + QStringLiteral(".unreadable");
    const QString extension = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    // A folder holding this many preserved copies is not a place to add one more.
    constexpr int maxTries = 100000;
    QString candidate = stem + extension;
    for (int n = 2; fileSystem.exists(candidate); ++n) {
        if (n > maxTries)
            return std::nullopt;
        candidate = stem + QLatin1Char('-') + QString::number(n) + extension;
    }
    return candidate;
}

StoreLoadResult StorePersistence::load()
{
    // The records are decoded on several threads at once.
    const LargeHeapSteps heapSteps;
    auto files = std::make_unique<LaunchFiles>();
    StoreLoadResult result = load(*files);
    {
        // What stands at the paths now is what a later save may replace.
        const std::lock_guard lock(m_replaceMutex);
        m_primaryIdentity = m_fileSystem->identity(m_storePath);
        m_backupIdentity = m_fileSystem->identity(m_backupPath);
    }
    // The parse and the file's mapping are large: launching goes on while they are freed.
    discardInBackground(std::move(files));
    return result;
}

StoreLoadResult StorePersistence::load(LaunchFiles& files)
{
    LaunchFile& primary = files.primary;
    LaunchFile& backup = files.backup;

    // Each file is read once; a backup equal to the primary shares its parse.
    primary.exists = m_fileSystem->exists(m_storePath);
    backup.exists = m_fileSystem->exists(m_backupPath);
    // With no library yet nothing is created: the first save takes the lock.
    const bool lockedOut = (primary.exists || backup.exists) && !takeLock();
    primary.contents = m_fileSystem->read(m_storePath, m_sizeLimit);
    const auto parse = [](const FileContents& contents) {
        // The document keeps the file's bytes (its mapping, or its shared array) alive.
        std::shared_ptr<const void> owner = contents.mapping
            ? contents.mapping
            : std::make_shared<const QByteArray>(*contents.bytes);
        auto parsed = std::make_shared<const ParsedLibraryDocument>(
            QByteArrayView(*contents.bytes), contents.padding, std::move(owner));
        // The parse holds what it read: the file's pages need not stay in memory beside it.
        if (contents.releasePages)
            contents.releasePages();
        return parsed;
    };
    // The backup is compared with the primary by streaming it, while the primary is parsed,
    // so that it never sits in memory beside the primary and its parse. It is read whole only
    // when it differs (or there is no primary to compare it with).
    const auto compare = [this, &primary, &backup] {
        return primary.contents.bytes && backup.exists
            && m_fileSystem->holds(m_backupPath, *primary.contents.bytes, m_sizeLimit).value_or(false);
    };
    std::future<bool> comparing;
    try {
        comparing = std::async(std::launch::async, compare);
    } catch (const std::system_error&) {
        comparing = std::async(std::launch::deferred, compare); // no thread to be had
    }
    if (primary.contents.bytes)
        primary.parsed = parse(primary.contents);
    const bool sameBytes = comparing.get();
    // A backup equal to the primary shares its bytes and its parse.
    if (sameBytes) {
        backup.contents = primary.contents;
        backup.parsed = primary.parsed;
    } else {
        backup.contents = m_fileSystem->read(m_backupPath, m_sizeLimit);
        if (backup.contents.bytes)
            backup.parsed = parse(backup.contents);
    }

    // A version this program does not read, in either file, stops everything.
    for (const LaunchFile* file : {&primary, &backup}) {
        if (!file->parsed)
            continue;
        const std::optional<qint64> version = file->parsed->version();
        if (version && !LibraryDocument::isReadableVersion(*version)) {
            m_writesAllowed = false;
            logEvent(QStringLiteral("The library or backup requires a compatible version of Tessellon. Both files "
                                    "were left unchanged."));
            return {std::nullopt, StorePersistenceStatus::incompatibleVersion};
        }
    }

    if (lockedOut)
        return openedElsewhere(files);
    // Holding the lock, this store is the only writer: what interrupted saves left is no one's.
    if (m_lock) {
        const int removed
            = m_fileSystem->removeInterruptedWrites(m_storePath) + m_fileSystem->removeInterruptedWrites(m_backupPath);
        if (removed > 0)
            logEvent(QStringLiteral("Removed ") + QString::number(removed)
                + QStringLiteral(" temporary file(s) left by interrupted saves."));
    }
    if (primary.exists) {
        if (!primary.decodes()) {
            logFailure(
                QStringLiteral("The primary store is unreadable. Tessellon will check its backup."), primary.failure());
            if (sameBytes)
                backup.decoding = primary.decoding;
            return recoverFromBackup(files);
        }
        StoreSnapshot snapshot = *primary.decode().snapshot;
        primary.decoding.reset();
        if (sameBytes) // equal bytes decode alike
            return {std::move(snapshot), StorePersistenceStatus::ready};
        if (const FileOutcome failure = m_fileSystem->writeAtomically(m_backupPath, *primary.contents.bytes)) {
            logFailure(QStringLiteral("The local store backup could not be refreshed."), failure->description);
            return {std::move(snapshot), StorePersistenceStatus::backupUnavailable};
        }
        logEvent(QStringLiteral("The local store backup was refreshed from the valid primary store."));
        return {std::move(snapshot), StorePersistenceStatus::ready};
    }
    if (backup.exists)
        return recoverMissingPrimary(files);
    return {std::nullopt, StorePersistenceStatus::ready};
}

StoreLoadResult StorePersistence::recoverFromBackup(const LaunchFiles& files)
{
    const std::optional<QString> preservedPath = nextPreservedPath(m_storePath, *m_fileSystem);
    const FileOutcome copyFailure = preservedPath
        ? m_fileSystem->copy(m_storePath, *preservedPath)
        : FileOutcome(FileError {QStringLiteral("No free name was found beside the library.")});
    const bool preserved = !copyFailure;
    if (preserved) {
        logEvent(QStringLiteral("The unreadable primary store was preserved."));
    } else {
        logFailure(QStringLiteral("The unreadable primary store could not be copied and remains in place."),
            copyFailure->description);
        m_writesAllowed = false;
    }

    const LaunchFile& backup = files.backup;
    if (!backup.decodes()) {
        m_writesAllowed = false;
        logFailure(QStringLiteral("The store backup is unavailable or unreadable."), backup.failure());
        return {std::nullopt, StorePersistenceStatus::unreadablePrimary};
    }
    StoreSnapshot snapshot = *backup.decode().snapshot;
    if (!preserved) {
        logEvent(QStringLiteral("The backup was opened read-only because the unreadable primary could not be "
                                "preserved."));
        return {std::move(snapshot), StorePersistenceStatus::unreadablePrimary};
    }
    if (const FileOutcome failure = m_fileSystem->writeAtomically(m_storePath, *backup.contents.bytes)) {
        m_writesAllowed = false;
        logFailure(
            QStringLiteral("The valid backup could not be restored as the primary store."), failure->description);
        return {std::move(snapshot), StorePersistenceStatus::unreadablePrimary};
    }
    logEvent(QStringLiteral("The store was recovered from its local backup."));
    return {std::move(snapshot), StorePersistenceStatus::recoveredFromBackup};
}

StoreLoadResult StorePersistence::openedElsewhere(const LaunchFiles& files)
{
    m_writesAllowed = false;
    logEvent(QStringLiteral("The library is open for writing in another Tessellon session. It was opened "
                            "read-only."));
    for (const LaunchFile* file : {&files.primary, &files.backup})
        if (file->decodes())
            return {*file->decode().snapshot, StorePersistenceStatus::openElsewhere};
    return {std::nullopt, StorePersistenceStatus::openElsewhere};
}

StoreLoadResult StorePersistence::recoverMissingPrimary(const LaunchFiles& files)
{
    const LaunchFile& backup = files.backup;
    if (!backup.decodes()) {
        m_writesAllowed = false;
        logFailure(QStringLiteral("The primary store is missing and its backup is unreadable."), backup.failure());
        return {std::nullopt, StorePersistenceStatus::unreadablePrimary};
    }
    StoreSnapshot snapshot = *backup.decode().snapshot;
    FileOutcome failure = m_fileSystem->createFolder(folderOf(m_storePath));
    if (!failure)
        failure = m_fileSystem->writeAtomically(m_storePath, *backup.contents.bytes);
    if (failure) {
        m_writesAllowed = false;
        logFailure(QStringLiteral("The valid backup could not be restored as the missing primary store."),
            failure->description);
        return {std::move(snapshot), StorePersistenceStatus::unreadablePrimary};
    }
    logEvent(QStringLiteral("The missing primary store was recovered from its local backup."));
    return {std::move(snapshot), StorePersistenceStatus::recoveredFromBackup};
}

std::optional<PersistenceError> StorePersistence::write(const StoreSnapshot& snapshot)
{
    try {
        return writeDocument(snapshot, nullptr);
    } catch (const std::bad_alloc&) {
        return PersistenceError {PersistenceError::outOfMemory, {}};
    }
}

std::optional<PersistenceError> StorePersistence::writeForEnd(
    const StoreSnapshot& snapshot, const std::function<void()>& primaryInPlace)
{
    {
        const std::lock_guard lock(m_replaceMutex);
        m_ending = true;
    }
    try {
        return writeDocument(snapshot, &primaryInPlace);
    } catch (const std::bad_alloc&) {
        return PersistenceError {PersistenceError::outOfMemory, {}};
    }
}

void StorePersistence::syncEnd()
{
    for (const QString& path : {m_storePath, m_backupPath})
        m_fileSystem->finishSync(path, FileSync::none);
}

std::optional<FileIdentity>& StorePersistence::knownIdentity(const QString& path)
{
    return path == m_storePath ? m_primaryIdentity : m_backupIdentity;
}

FileOutcome StorePersistence::keepChangedFile(const QString& path)
{
    const std::optional<QString> kept = nextPreservedPath(path, *m_fileSystem);
    const FileOutcome failed = kept ? m_fileSystem->moveAside(path, *kept)
                                    : FileOutcome(FileError {QStringLiteral("No free name was found beside it.")});
    if (failed) {
        logFailure(QStringLiteral("The file ") + path
                + QStringLiteral(" was changed outside Tessellon and could not be set aside. It was not written."),
            failed->description);
        return failed;
    }
    knownIdentity(path).reset();
    logEvent(QStringLiteral("The file ") + path + QStringLiteral(" was changed outside Tessellon. It was kept as ")
        + *kept + QStringLiteral("."));
    return std::nullopt;
}

FileOutcome StorePersistence::replaceFile(const QString& path, const QByteArray& bytes,
    const std::function<FileOutcome()>& check, bool forEnd, bool& superseded)
{
    const auto changedFromOutside = [&] {
        const std::optional<FileIdentity> now = m_fileSystem->identity(path);
        return now && now != knownIdentity(path);
    };
    const FileError tookOver {QStringLiteral("The save for the end of the process took over.")};
    // A file changed while it was being written is set aside on the second try.
    for (int attempt = 0; attempt < 2; ++attempt) {
        {
            const std::lock_guard lock(m_replaceMutex);
            if (!forEnd && m_ending) {
                superseded = true;
                return tookOver;
            }
            if (changedFromOutside()) {
                if (const FileOutcome failed = keepChangedFile(path))
                    return failed;
            }
        }
        bool changed = false;
        // Held from the last look at the file through its replacement.
        std::unique_lock replacing(m_replaceMutex, std::defer_lock);
        const FileOutcome outcome = m_fileSystem->writeAtomically(
            path, bytes,
            [&]() -> FileOutcome {
                if (check) {
                    if (FileOutcome refused = check())
                        return refused;
                }
                replacing.lock();
                if (!forEnd && m_ending) {
                    superseded = true;
                    return tookOver;
                }
                if (changedFromOutside()) {
                    changed = true;
                    return FileError {path + QStringLiteral(" was changed while it was saved.")};
                }
                return std::nullopt;
            },
            FileAccess::ownerOnly, forEnd ? FileSync::none : FileSync::bytes);
        if (!outcome)
            knownIdentity(path) = m_fileSystem->identity(path);
        if (replacing.owns_lock())
            replacing.unlock();
        if (changed)
            continue;
        if (outcome || forEnd)
            return outcome;
        return m_fileSystem->finishSync(path, FileSync::bytes);
    }
    return FileError {path + QStringLiteral(" kept changing while it was saved.")};
}

std::optional<PersistenceError> StorePersistence::writeDocument(
    const StoreSnapshot& snapshot, const std::function<void()>* primaryInPlace)
{
    if (!m_writesAllowed)
        return PersistenceError {PersistenceError::primaryNotPreserved, {}};
    const bool forEnd = primaryInPlace != nullptr;
    {
        const std::lock_guard lock(m_replaceMutex);
        if (!forEnd && m_ending)
            return PersistenceError {PersistenceError::superseded, {}};
    }
    const DocumentEncoding encoding = LibraryDocument::encode(snapshot);
    if (encoding.error)
        return PersistenceError {PersistenceError::invalidDocument, *encoding.error};
    // What the next launch would refuse to read is not written.
    if (encoding.bytes.size() > m_sizeLimit)
        return PersistenceError {PersistenceError::tooLarge,
            QString::number(encoding.bytes.size()) + QStringLiteral(" bytes, at most ") + QString::number(m_sizeLimit)
                + QStringLiteral(" are read.")};
    // The bytes must read back before any file is replaced: what is written can be loaded. The
    // check runs while the primary's new bytes go to disk beside it; they replace the primary
    // only once the check has passed.
    const auto readBack = [&bytes = encoding.bytes]() -> std::optional<PersistenceError> {
        const std::optional<DocumentError> error = ParsedLibraryDocument(bytes).validate();
        if (!error)
            return std::nullopt;
        switch (error->kind) {
        case DocumentError::duplicateIdentity:
            return PersistenceError {PersistenceError::duplicateIdentity, error->description};
        case DocumentError::incompatibleVersion:
            return PersistenceError {PersistenceError::incompatibleVersion, error->description};
        case DocumentError::malformed:
            break;
        }
        return PersistenceError {PersistenceError::invalidDocument, error->description};
    };
    std::future<std::optional<PersistenceError>> checking;
    try {
        checking = std::async(std::launch::async, readBack);
    } catch (const std::system_error&) {
        checking = std::async(std::launch::deferred, readBack); // no thread to be had
    }
    std::optional<std::optional<PersistenceError>> checked;
    const auto check = [&]() -> std::optional<PersistenceError> {
        if (!checked)
            checked = checking.get();
        return *checked;
    };

    if (const FileOutcome failure = m_fileSystem->createFolder(folderOf(m_storePath))) {
        if (std::optional<PersistenceError> error = check())
            return error;
        return PersistenceError {PersistenceError::folderNotCreated, failure->description};
    }
    if (!takeLock()) {
        if (std::optional<PersistenceError> error = check())
            return error;
        m_writesAllowed = false;
        logEvent(QStringLiteral("The library is open for writing in another Tessellon session. Saving is off."));
        return PersistenceError {PersistenceError::libraryInUse, {}};
    }
    bool superseded = false;
    const FileOutcome primaryFailure = replaceFile(
        m_storePath, encoding.bytes,
        [&]() -> FileOutcome {
            if (const std::optional<PersistenceError> error = check())
                return FileError {error->description()};
            return std::nullopt;
        },
        forEnd, superseded);
    // A failed check stops the save whatever the write did.
    if (std::optional<PersistenceError> error = check())
        return error;
    if (superseded)
        return PersistenceError {PersistenceError::superseded, {}};
    if (primaryFailure)
        return PersistenceError {PersistenceError::primaryWriteFailed, primaryFailure->description};
    if (forEnd)
        (*primaryInPlace)();
    if (const FileOutcome failure = replaceFile(m_backupPath, encoding.bytes, {}, forEnd, superseded)) {
        if (superseded)
            return PersistenceError {PersistenceError::superseded, {}};
        return PersistenceError {PersistenceError::backupWriteFailed, failure->description};
    }
    return std::nullopt;
}

bool StorePersistence::claimForWriting()
{
    if (!m_writesAllowed)
        return false;
    if (takeLock())
        return true;
    logEvent(QStringLiteral("The library is open for writing in another Tessellon session. Saving is off."));
    return false;
}

StorePersistenceStatus StorePersistence::failureStatus(const PersistenceError& error)
{
    switch (error.kind) {
    case PersistenceError::primaryNotPreserved:
        return StorePersistenceStatus::unreadablePrimary;
    case PersistenceError::libraryInUse:
        return StorePersistenceStatus::openElsewhere;
    case PersistenceError::backupWriteFailed:
        return StorePersistenceStatus::backupUnavailable;
    default:
        return StorePersistenceStatus::saveFailed;
    }
}
