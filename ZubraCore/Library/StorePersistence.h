#pragma once
// The two library files on disk, the primary and its byte-identical backup: the launch-time
// read with its version screen and recovery, and every save.
//
// A damaged primary is never deleted or moved: it is copied aside first and replaced only when
// the copy succeeded. When a recovery cannot be made safe, or a file carries a version this
// program does not read, writing is refused for the rest of the run.
//
// Use: the store builds one with its primary path and StoreLocations::backupURL(primary), calls load() once
// on the main thread before anything is saved, publishes the status, and from then on calls
// write() from its own serial save queue (one call at a time) with a snapshot taken on the main
// thread, publishing failureStatus(error) when a write fails. Diagnostics go to the "store"
// category of the system log and to the log file.
//
// While it may write, an instance holds an advisory lock on "<library>.lock" beside the library
// (taken at launch when a library file exists, else at the first save). A second instance on the
// same library, in this process or another, finds the lock held: it loads the library read-only
// (status openElsewhere) and never writes. Before each write the lock is proved to be on the
// file at the lock's path; when that file was removed (the folder deleted) it is taken again, or
// writing stops. Holding the lock at launch, it removes the temporary files of interrupted saves.
//
// A file that is no longer the one loaded or last written (replaced from outside, say by a link
// to another file of the user's) is never written through: it is moved aside under the name a
// damaged primary is preserved under, and a new file is written in its place.
//
// A process that must end now writes with writeForEnd(), from any thread, also while write()
// runs: the new bytes replace both files before anything is synced, and no earlier write
// replaces them afterwards.

#include "Platform/DiskFileSystem.h"
#include "Platform/FileSystem.h"
#include "ZubraCore/Library/StorePersistenceStatus.h"
#include "ZubraCore/Library/StoreSnapshot.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct PersistenceError
{
    enum Kind {
        backupWriteFailed, // the primary holds the new data, the backup does not
        duplicateIdentity, // the snapshot repeats an identifier: nothing written
        incompatibleVersion, // the snapshot carries a version other than 1 or 2: nothing written
        primaryNotPreserved, // writing is refused for this run: nothing written
        invalidDocument, // the encoded bytes did not read back (or could not be encoded)
        folderNotCreated, // the library folder could not be created
        primaryWriteFailed, // the primary could not be replaced: the old one stands
        tooLarge, // the document would exceed what a load accepts: nothing written
        libraryInUse, // another store holds the library for writing: nothing written, writing off
        outOfMemory, // the save ran out of memory: the files are as a failed write leaves them
        superseded, // a write for the process's end took over: this one replaced nothing more
    };
    Kind kind;
    QString detail; // the underlying failure, when there is one

    // One line for the logs: what failed and why.
    QString description() const;
};

struct StoreLoadResult
{
    std::optional<StoreSnapshot> snapshot;
    StorePersistenceStatus status;
};

class StorePersistence
{
public:
    StorePersistence(const QString& storePath, const QString& backupPath,
        std::shared_ptr<FileSystem> fileSystem = std::make_shared<DiskFileSystem>());
    ~StorePersistence(); // releases the write lock

    // Where a damaged primary is copied: "<base>.unreadable[-n][.<extension>]", the first free name.
    // Nothing when no free name is found within a sane number of tries.
    static std::optional<QString> nextPreservedPath(const QString& storePath, const FileSystem& fileSystem);

    const QString& storePath() const { return m_storePath; }
    const QString& backupPath() const { return m_backupPath; }
    bool writesAllowed() const { return m_writesAllowed.load(); }
    // The lock file that marks the library as open for writing.
    static QString lockPath(const QString& storePath);

    // The largest document read or written; LibraryDocument::maxBytes unless a test lowers it.
    void setSizeLimit(qint64 bytes) { m_sizeLimit = bytes; }

    // Reads the files once at launch, screening versions, refreshing a stale backup and
    // recovering a damaged or missing primary. Never fails: every failure ends in the status.
    StoreLoadResult load();

    // Saves the whole library: the encoded bytes are read back first, then the primary is
    // replaced, then the backup. Nothing on success. One call at a time. Running out of memory
    // on the way (a large library on a tight machine) is a failed save, not a crash.
    [[nodiscard]] std::optional<PersistenceError> write(const StoreSnapshot& snapshot);
    // The same for a process that must end now, safe beside a running write(): the primary, then
    // the backup, are replaced without waiting for the disk (`primaryInPlace` is called once the
    // primary holds the bytes), and from its start no write() replaces anything. syncEnd()
    // puts the files on disk afterwards. One call per process.
    [[nodiscard]] std::optional<PersistenceError> writeForEnd(
        const StoreSnapshot& snapshot, const std::function<void()>& primaryInPlace);
    // Syncs what writeForEnd() left unsynced.
    void syncEnd();

    // Before a change that must not be lost (a capture): takes the write lock when it is free.
    // False when another store holds it: nothing would be written. Safe beside a running write.
    bool claimForWriting();

    // The status to publish after a failed write.
    static StorePersistenceStatus failureStatus(const PersistenceError& error);

private:
    struct LaunchFiles;
    StoreLoadResult load(LaunchFiles& files);
    StoreLoadResult recoverFromBackup(const LaunchFiles& files);
    StoreLoadResult recoverMissingPrimary(const LaunchFiles& files);
    StoreLoadResult openedElsewhere(const LaunchFiles& files);
    // Takes the write lock unless it is held already; false when another store holds it.
    bool takeLock();
    std::optional<PersistenceError> writeDocument(
        const StoreSnapshot& snapshot, const std::function<void()>* primaryInPlace);
    // Replaces one library file; `check` runs before it is replaced and stops the write.
    FileOutcome replaceFile(const QString& path, const QByteArray& bytes, const std::function<FileOutcome()>& check,
        bool forEnd, bool& superseded);
    // Moves a file changed from outside to the next preserved name; m_replaceMutex held.
    FileOutcome keepChangedFile(const QString& path);
    std::optional<FileIdentity>& knownIdentity(const QString& path);

    QString m_storePath;
    QString m_backupPath;
    std::shared_ptr<FileSystem> m_fileSystem;
    std::atomic<bool> m_writesAllowed {true};
    std::mutex m_lockMutex; // guards m_lock: taken by writes on the save queue and by claims
    std::unique_ptr<FileLock> m_lock;
    qint64 m_sizeLimit;
    // Held over each look at a library file and its replacement.
    std::mutex m_replaceMutex;
    bool m_ending = false; // a write for the end began: write() replaces nothing more
    // The file each path held when loaded or last written; nothing when there was none.
    std::optional<FileIdentity> m_primaryIdentity;
    std::optional<FileIdentity> m_backupIdentity;
};
