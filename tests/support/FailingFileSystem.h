#pragma once
// A file system for tests: does the real work on disk (in a temporary folder) but fails the
// operations it is told to, and records every call.

#include "Platform/DiskFileSystem.h"

#include <QList>
#include <functional>
#include <mutex>
#include <QStringList>

class FailingFileSystem final : public FileSystem
{
public:
    // `compare` is holds(); a failing read makes it fail too.
    enum class Operation { read, writeAtomically, copy, createFolder, compare, moveAside };

    struct Call
    {
        Operation operation;
        QString path; // the target: the written, copied-to or created path
        friend bool operator==(const Call&, const Call&) = default;
    };

    // Makes the operation fail for this path (an empty path: for every path).
    void failOn(Operation operation, const QString& path = {});
    void clearFailures() { m_failures.clear(); }
    // Called with the path at the start of every writeAtomically, on the writing thread: a test
    // may hold the write there (a slow disk) or throw (std::bad_alloc: memory ran out).
    void setBeforeWrite(std::function<void(const QString& path)> hook) { m_beforeWrite = std::move(hook); }
    // Called with the path at the start of every finishSync that syncs something: a disk that
    // is slow to sync.
    void setBeforeSync(std::function<void(const QString& path)> hook) { m_beforeSync = std::move(hook); }

    QList<Call> calls() const;
    // The calls that changed or would have changed something on disk.
    QList<Call> changes() const;
    void clearCalls();

    bool exists(const QString& path) const override { return m_disk.exists(path); }
    FileContents read(const QString& path, qint64 maxBytes) const override;
    std::optional<bool> holds(const QString& path, QByteArrayView bytes, qint64 maxBytes) const override;
    using FileSystem::writeAtomically;
    FileOutcome writeAtomically(const QString& path, const QByteArray& bytes,
        const std::function<FileOutcome()>& beforeReplace, FileAccess access, FileSync sync) override;
    FileOutcome finishSync(const QString& path, FileSync written) override;
    std::optional<FileIdentity> identity(const QString& path) const override { return m_disk.identity(path); }
    FileOutcome moveAside(const QString& from, const QString& to) override;
    FileOutcome copy(const QString& from, const QString& to) override;
    FileOutcome createFolder(const QString& path) override;
    // Locks are real (on disk) and not recorded: they change no library file.
    LockAttempt lock(const QString& path) override { return m_disk.lock(path); }
    int removeInterruptedWrites(const QString& path) override { return m_disk.removeInterruptedWrites(path); }

    static QString failureText() { return QStringLiteral("Injected failure."); }

private:
    bool shouldFail(Operation operation, const QString& path) const;
    void record(Operation operation, const QString& path) const;

    DiskFileSystem m_disk;
    QList<Call> m_failures;
    std::function<void(const QString&)> m_beforeWrite;
    std::function<void(const QString&)> m_beforeSync;
    mutable std::mutex m_callsMutex; // an ending writes beside the save queue
    mutable QList<Call> m_calls;
};
