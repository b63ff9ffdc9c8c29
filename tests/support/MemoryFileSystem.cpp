#include "support/MemoryFileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace {

QString clean(const QString& path)
{
    return QDir::cleanPath(path);
}
QString parentOf(const QString& path)
{
    return QFileInfo(clean(path)).path();
}

} // namespace

void MemoryFileSystem::place(const QString& path, const QByteArray& bytes)
{
    createFolder(parentOf(path));
    m_files.insert(clean(path), bytes);
}

bool MemoryFileSystem::exists(const QString& path) const
{
    return m_files.contains(clean(path)) || m_folders.contains(clean(path));
}

FileContents MemoryFileSystem::read(const QString& path, qint64 maxBytes) const
{
    if (m_folders.contains(clean(path)))
        return FileContents::failed(QStringLiteral("Is a directory"));
    const auto found = m_files.constFind(clean(path));
    if (found == m_files.cend())
        return FileContents::failed(QStringLiteral("No such file or directory"));
    if (found->size() > maxBytes)
        return FileContents::failed(QStringLiteral("The file is too large."));
    return FileContents::of(*found);
}

FileOutcome MemoryFileSystem::writeAtomically(const QString& path, const QByteArray& bytes,
    const std::function<FileOutcome()>& beforeReplace, FileAccess, FileSync)
{
    if (m_folders.contains(clean(path)))
        return FileError {QStringLiteral("Is a directory")};
    if (!m_folders.contains(parentOf(path)))
        return FileError {QStringLiteral("No such file or directory")};
    if (beforeReplace) {
        if (FileOutcome refused = beforeReplace())
            return refused;
    }
    m_files.insert(clean(path), bytes);
    return std::nullopt;
}

FileOutcome MemoryFileSystem::copy(const QString& from, const QString& to)
{
    if (exists(to))
        return FileError {QStringLiteral("File exists")};
    const FileContents contents = read(from, std::numeric_limits<qint64>::max());
    if (!contents.bytes)
        return FileError {contents.error};
    return writeAtomically(to, *contents.bytes);
}

FileOutcome MemoryFileSystem::createFolder(const QString& path)
{
    QStringList missing;
    for (QString folder = clean(path); !m_folders.contains(folder);) {
        if (m_files.contains(folder))
            return FileError {QStringLiteral("Not a directory")};
        missing.append(folder);
        const QString parent = parentOf(folder);
        if (parent == folder) // the top of a relative path
            break;
        folder = parent;
    }
    for (const QString& folder : missing)
        m_folders.insert(folder);
    return std::nullopt;
}

namespace {

class MemoryLock final : public FileLock
{
public:
    MemoryLock(std::shared_ptr<QSet<QString>> locked, QString path)
        : m_locked(std::move(locked))
        , m_path(std::move(path))
    {
        m_locked->insert(m_path);
    }
    ~MemoryLock() override { m_locked->remove(m_path); }

private:
    std::shared_ptr<QSet<QString>> m_locked;
    QString m_path;
};

} // namespace

LockAttempt MemoryFileSystem::lock(const QString& path)
{
    if (m_locked->contains(clean(path)))
        return {nullptr, true, {}};
    if (!m_files.contains(clean(path))) {
        if (const FileOutcome failure = writeAtomically(path, {}))
            return {nullptr, false, failure->description};
    }
    return {std::make_unique<MemoryLock>(m_locked, clean(path)), false, {}};
}
