#pragma once
// The file system seam on the real disk.

#include "Platform/FileSystem.h"

class DiskFileSystem : public FileSystem
{
public:
    bool exists(const QString& path) const override;
    FileContents read(const QString& path, qint64 maxBytes) const override;
    std::optional<bool> holds(const QString& path, QByteArrayView bytes, qint64 maxBytes) const override;
    using FileSystem::writeAtomically;
    FileOutcome writeAtomically(const QString& path, const QByteArray& bytes,
        const std::function<FileOutcome()>& beforeReplace, FileAccess access, FileSync sync) override;
    FileOutcome finishSync(const QString& path, FileSync written) override;
    std::optional<FileIdentity> identity(const QString& path) const override;
    FileOutcome moveAside(const QString& from, const QString& to) override;
    FileOutcome copy(const QString& from, const QString& to) override;
    FileOutcome createFolder(const QString& path) override;
    LockAttempt lock(const QString& path) override;
    int removeInterruptedWrites(const QString& path) override;

    // Flushes a folder to disk, so that a rename inside it survives a power cut.
    static FileOutcome syncFolder(const QString& folder);

    // Files at least this large are mapped rather than read.
    static constexpr qint64 mapThreshold = qint64(1) << 20;
    // Zero bytes readable after every read file's bytes.
    static constexpr qsizetype readPadding = 64;
};
