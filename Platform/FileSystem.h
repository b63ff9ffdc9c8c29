#pragma once
// The few file operations the library files need, behind one seam so that tests can make any
// of them fail (running as root, permissions cannot).
//
// Files and folders this seam creates are private to the user: files 0600, folders 0700,
// whatever the umask. The one exception is a file written for the user to keep or share (an
// exported prompt), which gets the mode the umask gives, as any program's new file. Paths it did
// not create are opened without waiting (a pipe or a device at a library path never blocks) and
// only regular files, or links to them, are read, copied or replaced.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

struct FileError
{
    QString description; // the system's or the implementation's own words
};

// Who may read a file the seam writes: the user alone (library files), or whoever the user's
// umask lets (files the user exports).
enum class FileAccess { ownerOnly, umask };

// Nothing on success, else why the operation failed.
using FileOutcome = std::optional<FileError>;

// What a replacement has put on the disk when writeAtomically returns. Either way every reader
// sees the new bytes at once, and a process that ends loses nothing: only a power cut loses
// what is not synced yet.
enum class FileSync {
    full, // the new bytes before they replace the old ones, then the new name in its folder
    bytes, // the new bytes before they replace the old ones; the name waits for finishSync()
    none, // nothing yet: finishSync() later, when there is time to wait for the disk
};

// Which file stands at a path, to tell the file written last from one put there since.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileContents
{
    // Absent when the file could not be read. May point into `mapping` (a memory-mapped file):
    // keep the contents alive while the bytes are used.
    std::optional<QByteArray> bytes;
    QString error; // why, when absent
    std::shared_ptr<const void> mapping; // owns mapped bytes, when they are mapped
    // Readable bytes after the end of `bytes` (zeros for a mapped file), so that a parser that
    // reads ahead may parse in place.
    qsizetype padding = 0;
    // For mapped bytes: lets the system drop this process's copies of the pages (they are read
    // from the file again when next used), so that bytes already parsed stop counting as the
    // process's memory. Empty for bytes held in memory.
    std::function<void()> releasePages;

    static FileContents failed(QString why)
    {
        FileContents contents;
        contents.error = std::move(why);
        return contents;
    }
    static FileContents of(QByteArray bytes, qsizetype padding = 0)
    {
        FileContents contents;
        contents.bytes = std::move(bytes);
        contents.padding = padding;
        return contents;
    }
};

// An advisory lock held on a file until it is destroyed.
class FileLock
{
public:
    virtual ~FileLock() = default;
    // Whether the locked file still stands at its path. A lock on a file that was removed (its
    // folder deleted, say) keeps nobody out: another open of the path locks a new file.
    virtual bool isInPlace() const { return true; }
};

struct LockAttempt
{
    std::unique_ptr<FileLock> lock; // present when taken
    bool heldElsewhere = false; // another open of the file (another process) holds it
    QString error; // why it could not be tried, when neither
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // True when anything (a file, a folder, a link, even a dangling one) stands at the path.
    virtual bool exists(const QString& path) const = 0;
    // The whole file; fails when it is not a regular file (or a link to one), cannot be opened
    // or read, or holds more than maxBytes.
    virtual FileContents read(const QString& path, qint64 maxBytes) const = 0;
    // Whether the file holds exactly these bytes; nothing when it cannot be read (or holds more
    // than maxBytes). Streams the file, holding only a small part of it in memory at a time.
    virtual std::optional<bool> holds(const QString& path, QByteArrayView bytes, qint64 maxBytes) const;
    // Replaces the file in one step: a reader sees either the old or the new bytes, and the
    // new name is synced to disk with its folder before success is reported. Only a regular
    // file, or a link to one (the linked file is replaced), is ever replaced.
    FileOutcome writeAtomically(const QString& path, const QByteArray& bytes, FileAccess access = FileAccess::ownerOnly)
    {
        return writeAtomically(path, bytes, {}, access, FileSync::full);
    }
    // The same, asking `beforeReplace` once the new bytes are on disk and before anything is
    // replaced: its failure stops the write (the temporary file is removed) and is returned.
    FileOutcome writeAtomically(
        const QString& path, const QByteArray& bytes, const std::function<FileOutcome()>& beforeReplace)
    {
        return writeAtomically(path, bytes, beforeReplace, FileAccess::ownerOnly, FileSync::full);
    }
    // The same, syncing only as much as asked before it returns.
    virtual FileOutcome writeAtomically(const QString& path, const QByteArray& bytes,
        const std::function<FileOutcome()>& beforeReplace, FileAccess access, FileSync sync)
        = 0;
    // Syncs what a writeAtomically of the path left unsynced (`written` says what it synced).
    virtual FileOutcome finishSync(const QString& /*path*/, FileSync /*written*/) { return std::nullopt; }
    // The file at the path (what a link names, or the link itself when it names nothing);
    // nothing when nothing or a folder stands there.
    virtual std::optional<FileIdentity> identity(const QString& /*path*/) const { return std::nullopt; }
    // Moves whatever stands at `from` (a link itself, not what it names) to `to`, where nothing
    // may stand; nothing is read or copied.
    virtual FileOutcome moveAside(const QString& from, const QString& to);
    // Copies a regular file to a path where nothing stands yet; fails when something does.
    // Holes of a sparse file stay holes; the bytes never pass through memory.
    virtual FileOutcome copy(const QString& from, const QString& to) = 0;
    // Creates the folder with every missing parent; succeeds when it already exists.
    virtual FileOutcome createFolder(const QString& path) = 0;
    // Takes an exclusive advisory lock on the file at the path, creating it when missing.
    virtual LockAttempt lock(const QString& path) = 0;
    // Removes the temporary files that interrupted writes of this file left beside it: regular
    // files of this user named as writeAtomically and copy name them, and nothing else. Returns
    // how many were removed. Only for a caller that knows no write of the file is under way.
    virtual int removeInterruptedWrites(const QString& /*path*/) { return 0; }
};
