#pragma once
// A file system held in memory, for fast tests of code that reads and writes whole files.

#include "Platform/FileSystem.h"

#include <QHash>
#include <QSet>
#include <memory>

class MemoryFileSystem final : public FileSystem
{
public:
    // "/" always exists.
    MemoryFileSystem() { m_folders.insert(QStringLiteral("/")); }

    QHash<QString, QByteArray> files() const { return m_files; }
    // Places a file (its folders are created).
    void place(const QString& path, const QByteArray& bytes);

    bool exists(const QString& path) const override;
    FileContents read(const QString& path, qint64 maxBytes) const override;
    using FileSystem::writeAtomically;
    FileOutcome writeAtomically(const QString& path, const QByteArray& bytes,
        const std::function<FileOutcome()>& beforeReplace, FileAccess access, FileSync sync) override;
    FileOutcome copy(const QString& from, const QString& to) override;
    FileOutcome createFolder(const QString& path) override;
    // A lock is a file; while one is held, another attempt on the path reports it held.
    LockAttempt lock(const QString& path) override;

private:
    QHash<QString, QByteArray> m_files;
    QSet<QString> m_folders;
    std::shared_ptr<QSet<QString>> m_locked = std::make_shared<QSet<QString>>();
};
