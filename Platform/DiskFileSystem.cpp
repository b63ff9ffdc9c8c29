#include "Platform/DiskFileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Flushes a file or folder to disk; for a folder this makes a rename inside it durable.
FileOutcome syncPath(const QString& path, bool folder)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return FileError {path + QStringLiteral(" could not be opened to sync: ") + systemError()};
    int result;
    do {
        result = ::fsync(fd);
    } while (result < 0 && errno == EINTR);
    const QString failure = result < 0 ? systemError() : QString();
    ::close(fd);
    if (result < 0)
        return FileError {path + QStringLiteral(" could not be synced: ") + failure};
    return std::nullopt;
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

QString tooLarge(qint64 maxBytes)
{
    return QStringLiteral("The file is larger than ") + QString::number(maxBytes) + QStringLiteral(" bytes.");
}

} // namespace

FileOutcome DiskFileSystem::syncFolder(const QString& folder)
{
    return syncPath(folder, true);
}

bool DiskFileSystem::exists(const QString& path) const
{
    return QFileInfo::exists(path);
}

FileContents DiskFileSystem::read(const QString& path, qint64 maxBytes) const
{
    // Opening a pipe would wait for a writer; a folder or device is no library either.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return {std::nullopt, path + QStringLiteral(" is not a regular file.")};
    QFile file(path);
    // An unopened file reads as empty bytes, which would pass for a damaged library.
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, file.errorString()};
    QByteArray bytes;
    if (!file.isSequential()) {
        if (file.size() > maxBytes)
            return {std::nullopt, tooLarge(maxBytes)};
        bytes = file.readAll();
    } else {
        // Pipes and devices have no size: read in bounded chunks.
        constexpr qint64 chunk = 1 << 20;
        for (;;) {
            const QByteArray part = file.read(chunk);
            bytes += part;
            if (bytes.size() > maxBytes)
                return {std::nullopt, tooLarge(maxBytes)};
            if (part.isEmpty())
                break;
        }
    }
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt, file.errorString()};
    if (bytes.size() > maxBytes) // the file grew after its size was taken
        return {std::nullopt, tooLarge(maxBytes)};
    return {bytes, {}};
}

FileOutcome DiskFileSystem::writeAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return FileError {file.errorString()};
    if (file.write(bytes) != bytes.size()) {
        const QString failure = file.errorString();
        file.cancelWriting();
        return FileError {failure};
    }
    // commit() syncs the file and renames it over the target; the folder holds the new name.
    if (!file.commit())
        return FileError {file.errorString()};
    return syncPath(folderOf(path), true);
}

FileOutcome DiskFileSystem::copy(const QString& from, const QString& to)
{
    if (QFileInfo::exists(to))
        return FileError {to + QStringLiteral(" already exists.")};
    if (QFileInfo(from).isDir())
        return FileError {from + QStringLiteral(" is a folder.")};
    QFile source(from);
    if (!source.copy(to))
        return FileError {source.errorString()};
    if (FileOutcome failure = syncPath(to, false))
        return failure;
    return syncPath(folderOf(to), true);
}

FileOutcome DiskFileSystem::createFolder(const QString& path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        return FileError {path + QStringLiteral(": ") + QString::fromLocal8Bit(error.message().c_str())};
    return std::nullopt;
}
