#include "Platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

std::optional<QByteArray> read(const QString& path, qint64 maxBytes)
{
    if (path.isEmpty() || maxBytes < 0)
        return std::nullopt;
    // O_NONBLOCK: opening a pipe with no writer would otherwise wait for one for ever.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat info {};
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxBytes) {
        // The file may grow between fstat and read: one byte more tells.
        QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
        qsizetype filled = 0;
        bool failed = false;
        while (filled < bytes.size()) {
            const ssize_t count = ::read(descriptor, bytes.data() + filled, size_t(bytes.size() - filled));
            if (count < 0 && errno == EINTR)
                continue;
            failed = count < 0;
            if (count <= 0)
                break;
            filled += count;
        }
        if (!failed && filled <= maxBytes && filled <= qsizetype(info.st_size)) {
            bytes.truncate(filled);
            result = std::move(bytes);
        }
    }
    ::close(descriptor);
    return result;
}

bool isRegularFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat info {};
    const bool regular = ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
    ::close(descriptor);
    return regular;
}

namespace {

// The folder and its missing parents, each made 0700; the last part, when it is already there,
// a folder of this user and open to others, is tightened to 0700.
bool preparePrivateFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent != folder && !QFileInfo::exists(parent) && !preparePrivateFolder(parent))
            return false;
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    if (!S_ISDIR(info.st_mode))
        return false;
    if (info.st_uid == ::getuid() && (info.st_mode & 077) != 0)
        ::chmod(native.constData(), info.st_mode & 0700);
    return true;
}

} // namespace

std::optional<PrivateFileProblem> preparePrivateFile(const QString& path)
{
    if (path.isEmpty())
        return PrivateFileProblem::notCreated;
    const QByteArray native = QFile::encodeName(path);
    const bool folderReady = preparePrivateFolder(QFileInfo(path).absolutePath());
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        if (errno != ENOENT || !folderReady)
            return PrivateFileProblem::notCreated;
        const int made = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (made >= 0) {
            ::fchmod(made, 0600); // whatever the umask
            ::close(made);
            return std::nullopt;
        }
        // Something was put there meanwhile: judged below as if it had been there before.
        if (::lstat(native.constData(), &info) != 0)
            return PrivateFileProblem::notCreated;
    }
    if (S_ISLNK(info.st_mode))
        return PrivateFileProblem::link;
    if (!S_ISREG(info.st_mode))
        return PrivateFileProblem::notAFile;
    if (info.st_uid != ::getuid())
        return PrivateFileProblem::otherOwner;
    // Opened without following a link or blocking, in case the path changed since lstat.
    const int descriptor = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        // Unreadable: left as it is, the settings' own check names it.
        return errno == ELOOP ? std::optional(PrivateFileProblem::link) : std::nullopt;
    }
    std::optional<PrivateFileProblem> problem;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))
        problem = PrivateFileProblem::notAFile;
    else if (info.st_uid != ::getuid())
        problem = PrivateFileProblem::otherOwner;
    else if ((info.st_mode & 077) != 0)
        ::fchmod(descriptor, info.st_mode & 0700);
    ::close(descriptor);
    return problem;
}

} // namespace RegularFile
