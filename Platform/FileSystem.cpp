#include "Platform/FileSystem.h"

#include <cstring>

std::optional<bool> FileSystem::holds(const QString& path, QByteArrayView bytes, qint64 maxBytes) const
{
    const FileContents contents = read(path, maxBytes);
    if (!contents.bytes)
        return std::nullopt;
    return QByteArrayView(*contents.bytes) == bytes;
}

FileOutcome FileSystem::moveAside(const QString& from, const QString&)
{
    return FileError {from + QStringLiteral(" cannot be moved here.")};
}
