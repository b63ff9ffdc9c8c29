#include "support/FailingFileSystem.h"

void FailingFileSystem::failOn(Operation operation, const QString& path)
{
    m_failures.append({operation, path});
}

void FailingFileSystem::record(Operation operation, const QString& path) const
{
    const std::lock_guard lock(m_callsMutex);
    m_calls.append({operation, path});
}

QList<FailingFileSystem::Call> FailingFileSystem::calls() const
{
    const std::lock_guard lock(m_callsMutex);
    return m_calls;
}

void FailingFileSystem::clearCalls()
{
    const std::lock_guard lock(m_callsMutex);
    m_calls.clear();
}

QList<FailingFileSystem::Call> FailingFileSystem::changes() const
{
    QList<Call> result;
    for (const Call& call : calls())
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
    record(Operation::read, path);
    if (shouldFail(Operation::read, path))
        return FileContents::failed(failureText());
    return m_disk.read(path, maxBytes);
}

std::optional<bool> FailingFileSystem::holds(const QString& path, QByteArrayView bytes, qint64 maxBytes) const
{
    record(Operation::compare, path);
    if (shouldFail(Operation::read, path) || shouldFail(Operation::compare, path))
        return std::nullopt;
    return m_disk.holds(path, bytes, maxBytes);
}

FileOutcome FailingFileSystem::writeAtomically(const QString& path, const QByteArray& bytes,
    const std::function<FileOutcome()>& beforeReplace, FileAccess access, FileSync sync)
{
    record(Operation::writeAtomically, path);
    if (m_beforeWrite)
        m_beforeWrite(path);
    if (shouldFail(Operation::writeAtomically, path))
        return FileError {failureText()};
    return m_disk.writeAtomically(path, bytes, beforeReplace, access, sync);
}

FileOutcome FailingFileSystem::finishSync(const QString& path, FileSync written)
{
    if (m_beforeSync && written != FileSync::full)
        m_beforeSync(path);
    return m_disk.finishSync(path, written);
}

FileOutcome FailingFileSystem::moveAside(const QString& from, const QString& to)
{
    record(Operation::moveAside, to);
    if (shouldFail(Operation::moveAside, to))
        return FileError {failureText()};
    return m_disk.moveAside(from, to);
}

FileOutcome FailingFileSystem::copy(const QString& from, const QString& to)
{
    record(Operation::copy, to);
    if (shouldFail(Operation::copy, to))
        return FileError {failureText()};
    return m_disk.copy(from, to);
}

FileOutcome FailingFileSystem::createFolder(const QString& path)
{
    record(Operation::createFolder, path);
    if (shouldFail(Operation::createFolder, path))
        return FileError {failureText()};
    return m_disk.createFolder(path);
}
