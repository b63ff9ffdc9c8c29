#include "support/FailingFileSystem.h"

void FailingFileSystem::failOn(Operation operation, const QString& path)
{
    m_failures.append({operation, path});
}

QList<FailingFileSystem::Call> FailingFileSystem::changes() const
{
    QList<Call> result;
    for (const Call& call : m_calls)
        if (call.operation != Operation::read && call.operation != Operation::compare)
            result.append(call);
    return result;
}

bool FailingFileSystem::shouldFail(Operation operation, const QString& path) const
{
    for (const Call& failure : m_failures)
        if (failure.operation == operation && (failure.path.isEmpty() || failure.path == path))
            return true;
    return false;
}

FileContents FailingFileSystem::read(const QString& path, qint64 maxBytes) const
{
    m_calls.append({Operation::read, path});
    if (shouldFail(Operation::read, path))
        return FileContents::failed(failureText());
    return m_disk.read(path, maxBytes);
}

std::optional<bool> FailingFileSystem::holds(const QString& path, QByteArrayView bytes, qint64 maxBytes) const
{
    m_calls.append({Operation::compare, path});
    if (shouldFail(Operation::read, path) || shouldFail(Operation::compare, path))
        return std::nullopt;
    return m_disk.holds(path, bytes, maxBytes);
}

FileOutcome FailingFileSystem::writeAtomically(
    const QString& path, const QByteArray& bytes, const std::function<FileOutcome()>& beforeReplace, FileAccess access)
{
    m_calls.append({Operation::writeAtomically, path});
    if (m_beforeWrite)
        m_beforeWrite(path);
    if (shouldFail(Operation::writeAtomically, path))
        return FileError {failureText()};
    return m_disk.writeAtomically(path, bytes, beforeReplace, access);
}

FileOutcome FailingFileSystem::copy(const QString& from, const QString& to)
{
    m_calls.append({Operation::copy, to});
    if (shouldFail(Operation::copy, to))
        return FileError {failureText()};
    return m_disk.copy(from, to);
}

FileOutcome FailingFileSystem::createFolder(const QString& path)
{
    m_calls.append({Operation::createFolder, path});
    if (shouldFail(Operation::createFolder, path))
        return FileError {failureText()};
    return m_disk.createFolder(path);
}
