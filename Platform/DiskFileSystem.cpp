#include "Platform/DiskFileSystem.h"

#include "Platform/Folders.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr mode_t privateFile = 0600;
constexpr mode_t privateFolder = 0700;

// The process's umask, read without changing it (umask(2) can only swap it, which races with
// other threads creating files); 022 where /proc does not tell.
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok && mask <= 0777)
                return mode_t(mask);
        }
    }
    return 022;
}

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

FileError failure(const QString& path, const QString& what, int error = errno)
{
    return FileError {path + QStringLiteral(": ") + what + (what.isEmpty() ? QString() : QStringLiteral(": "))
        + systemError(error)};
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

int retrying(auto call)
{
    int result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// Opens an existing file for reading without waiting on it: a pipe without a writer or a
// device never blocks the open. Only a regular file (or a link to one) is accepted.
int openRegular(const QString& path, struct stat& info, QString& error)
{
    const int fd = retrying([&] { return ::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (fd < 0) {
        error = path + QStringLiteral(": ") + systemError();
        return -1;
    }
    if (::fstat(fd, &info) < 0 || !S_ISREG(info.st_mode)) {
        const int saved = errno;
        error = S_ISREG(info.st_mode) ? path + QStringLiteral(": ") + systemError(saved)
                                      : path + QStringLiteral(" is not a regular file.");
        ::close(fd);
        return -1;
    }
    return fd;
}

// Flushes a file or folder to disk; for a folder this makes a rename inside it durable.
FileOutcome syncPath(const QString& path, bool folder)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return failure(path, QStringLiteral("could not be opened to sync"));
    const int result = retrying([fd] { return ::fsync(fd); });
    const int saved = errno;
    ::close(fd);
    if (result < 0)
        return failure(path, QStringLiteral("could not be synced"), saved);
    return std::nullopt;
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(std::min<qint64>(size, qint64(1) << 30)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// A private temporary file beside the target, removed again unless it was renamed into place.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QString& target, mode_t mode = privateFile)
    {
        const QFileInfo info(target);
        m_path = native(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
        m_fd = ::mkostemp(m_path.data(), O_CLOEXEC);
        m_created = m_fd >= 0;
        // mkostemp's own mode is not the one asked for: set it exactly.
        if (m_created && ::fchmod(m_fd, mode) < 0)
            close();
    }
    ~TemporaryFile()
    {
        close();
        if (m_created && !m_kept)
            ::unlink(m_path.constData());
    }
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const QByteArray& path() const { return m_path; }
    // Closes the file, reporting a late write error.
    bool close()
    {
        if (m_fd < 0)
            return true;
        return ::close(std::exchange(m_fd, -1)) == 0 || errno == EINTR;
    }
    void keep() { m_kept = true; }

private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_created = false;
    bool m_kept = false;
};

// Where a replace must put the new file: the path itself, or the regular file a link names.
std::optional<QString> replaceTarget(const QString& path, FileError& error)
{
    struct stat info;
    if (::lstat(native(path).constData(), &info) < 0) {
        if (errno == ENOENT)
            return path;
        error = failure(path, {});
        return std::nullopt;
    }
    if (S_ISREG(info.st_mode))
        return path;
    if (S_ISDIR(info.st_mode)) {
        error = failure(path, {}, EISDIR);
        return std::nullopt;
    }
    if (S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        struct stat linked;
        if (::stat(native(path).constData(), &linked) == 0 && S_ISREG(linked.st_mode)
            && ::realpath(native(path).constData(), resolved))
            return QFile::decodeName(resolved);
        error = FileError {path + QStringLiteral(" is a link to something other than a regular file.")};
        return std::nullopt;
    }
    error = FileError {path + QStringLiteral(" is not a regular file.")};
    return std::nullopt;
}

// Copies the data of a file, leaving its holes as holes, in the kernel where it can.
bool copyData(int from, int to, qint64 size)
{
    if (size == 0) {
        // Pseudo-files report no size yet may hold bytes: read them to the end.
        char buffer[1 << 16];
        for (;;) {
            const ssize_t got = ::read(from, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return got == 0;
            if (!writeAll(to, buffer, got))
                return false;
        }
    }
    if (::ioctl(to, FICLONE, from) == 0)
        return true;
    qint64 position = 0;
    while (position < size) {
        off_t start = ::lseek(from, position, SEEK_DATA);
        if (start < 0) {
            if (errno == ENXIO)
                break; // only a hole remains
            start = position; // no hole support: copy everything
        }
        off_t end = ::lseek(from, start, SEEK_HOLE);
        if (end < 0)
            end = size;
        loff_t in = start, out = start;
        while (in < end) {
            const ssize_t copied = ::copy_file_range(from, &in, to, &out, size_t(end - in), 0);
            if (copied > 0)
                continue;
            if (copied == 0)
                break; // the source shrank
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                return false;
            // No kernel copy between these files: through a small buffer.
            char buffer[1 << 16];
            while (in < end) {
                const ssize_t got = ::pread(from, buffer, size_t(std::min<qint64>(sizeof buffer, end - in)), in);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return got == 0;
                if (::lseek(to, out, SEEK_SET) < 0 || !writeAll(to, buffer, got))
                    return false;
                in += got;
                out += got;
            }
        }
        position = end;
    }
    return ::ftruncate(to, size) == 0;
}

class DiskFileLock final : public FileLock
{
public:
    DiskFileLock(int fd, QByteArray path)
        : m_fd(fd)
        , m_path(std::move(path))
    {
    }
    ~DiskFileLock() override { ::close(m_fd); } // closing releases the lock

    bool isInPlace() const override
    {
        struct stat held {};
        struct stat atPath {};
        return ::fstat(m_fd, &held) == 0 && ::lstat(m_path.constData(), &atPath) == 0 && held.st_dev == atPath.st_dev
            && held.st_ino == atPath.st_ino;
    }

private:
    int m_fd;
    QByteArray m_path;
};

} // namespace

FileOutcome DiskFileSystem::syncFolder(const QString& folder)
{
    return syncPath(folder, true);
}

bool DiskFileSystem::exists(const QString& path) const
{
    struct stat info;
    return ::lstat(native(path).constData(), &info) == 0;
}

FileContents DiskFileSystem::read(const QString& path, qint64 maxBytes) const
{
    struct stat info;
    QString error;
    const Descriptor fd(openRegular(path, info, error));
    if (fd.get() < 0)
        return FileContents::failed(error);
    const qint64 size = info.st_size;
    if (size > maxBytes)
        return FileContents::failed(
            QStringLiteral("The file is larger than ") + QString::number(maxBytes) + QStringLiteral(" bytes."));

    if (size >= mapThreshold) {
        // The file's pages, then zero pages for the padding: nothing is read until it is used.
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        const size_t fileSpan = (size_t(size) + page - 1) / page * page;
        const size_t total = (size_t(size) + readPadding + page - 1) / page * page;
        void* area = ::mmap(nullptr, total, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (area == MAP_FAILED)
            return FileContents::failed(path + QStringLiteral(": ") + systemError());
        std::shared_ptr<const void> mapping(area, [total](const void* p) { ::munmap(const_cast<void*>(p), total); });
        if (::mmap(area, fileSpan, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd.get(), 0) == MAP_FAILED)
            return FileContents::failed(path + QStringLiteral(": ") + systemError());
        ::madvise(area, fileSpan, MADV_SEQUENTIAL);
        FileContents contents
            = FileContents::of(QByteArray::fromRawData(static_cast<const char*>(area), qsizetype(size)),
                qsizetype(total - size_t(size)));
        contents.mapping = std::move(mapping);
        // The pages are clean copies of the file: dropping them loses nothing.
        contents.releasePages = [area, fileSpan] { ::madvise(area, fileSpan, MADV_DONTNEED); };
        return contents;
    }

    QByteArray bytes(qsizetype(size) + readPadding, '\0');
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd.get(), bytes.data() + done, size_t(size - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return FileContents::failed(path + QStringLiteral(": ") + systemError());
        if (got == 0)
            break; // the file shrank while it was read
        done += got;
    }
    bytes.truncate(qsizetype(done)); // keeps the allocation, so the padding stays readable
    return FileContents::of(std::move(bytes), readPadding);
}

std::optional<bool> DiskFileSystem::holds(const QString& path, QByteArrayView bytes, qint64 maxBytes) const
{
    struct stat info;
    QString error;
    const Descriptor fd(openRegular(path, info, error));
    if (fd.get() < 0 || info.st_size > maxBytes)
        return std::nullopt;
    if (info.st_size != bytes.size())
        return false;
    // Read through a small buffer: the file's pages stay in the page cache, not in this process.
    constexpr qint64 block = qint64(1) << 20;
    std::vector<char> buffer(static_cast<size_t>(block));
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::pread(fd.get(), buffer.data(), size_t(std::min(block, bytes.size() - done)), done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return false; // the file shrank while it was read
        if (std::memcmp(buffer.data(), bytes.data() + done, size_t(got)) != 0)
            return false;
        done += got;
    }
    return true;
}

FileOutcome DiskFileSystem::writeAtomically(const QString& path, const QByteArray& bytes,
    const std::function<FileOutcome()>& beforeReplace, FileAccess access, FileSync sync)
{
    FileError error;
    const std::optional<QString> target = replaceTarget(path, error);
    if (!target)
        return error;
    TemporaryFile file(*target, access == FileAccess::ownerOnly ? privateFile : mode_t(0666 & ~currentUmask()));
    if (!file.isOpen())
        return failure(folderOf(*target), QStringLiteral("a temporary file could not be created"));
    if (!writeAll(file.fd(), bytes.constData(), bytes.size()))
        return failure(*target, QStringLiteral("could not be written"));
    if (sync != FileSync::none && retrying([&] { return ::fsync(file.fd()); }) < 0)
        return failure(*target, QStringLiteral("could not be synced"));
    if (!file.close())
        return failure(*target, QStringLiteral("could not be written"));
    if (beforeReplace) {
        if (FileOutcome refused = beforeReplace())
            return refused;
    }
    if (::rename(file.path().constData(), native(*target).constData()) < 0)
        return failure(*target, QStringLiteral("could not be replaced"));
    file.keep();
    if (sync != FileSync::full)
        return std::nullopt;
    return syncPath(folderOf(*target), true);
}

FileOutcome DiskFileSystem::finishSync(const QString& path, FileSync written)
{
    if (written == FileSync::full)
        return std::nullopt;
    // The file a link names is the one that was replaced, in its own folder.
    QString target = path;
    char resolved[PATH_MAX];
    if (QFileInfo(path).isSymLink() && ::realpath(native(path).constData(), resolved))
        target = QFile::decodeName(resolved);
    if (written == FileSync::none) {
        if (const FileOutcome failed = syncPath(target, false))
            return failed;
    }
    return syncPath(folderOf(target), true);
}

std::optional<FileIdentity> DiskFileSystem::identity(const QString& path) const
{
    struct stat info;
    const QByteArray name = native(path);
    if (::stat(name.constData(), &info) != 0 && ::lstat(name.constData(), &info) != 0)
        return std::nullopt;
    // A folder is no file that was written or replaced: a write there fails, and it stays. (Told
    // by its inode alone, a folder made where the file was removed may take the file's number.)
    if (S_ISDIR(info.st_mode))
        return std::nullopt;
    return FileIdentity {quint64(info.st_dev), quint64(info.st_ino)};
}

FileOutcome DiskFileSystem::moveAside(const QString& from, const QString& to)
{
    const QByteArray source = native(from);
    const QByteArray target = native(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return std::nullopt;
    if (errno != EINVAL && errno != ENOSYS)
        return failure(from, QStringLiteral("could not be moved to ") + to);
    // A file system without the no-replace rename.
    if (exists(to))
        return FileError {to + QStringLiteral(" already exists.")};
    if (::rename(source.constData(), target.constData()) < 0)
        return failure(from, QStringLiteral("could not be moved to ") + to);
    return std::nullopt;
}

FileOutcome DiskFileSystem::copy(const QString& from, const QString& to)
{
    if (exists(to))
        return FileError {to + QStringLiteral(" already exists.")};
    struct stat info;
    QString error;
    const Descriptor source(openRegular(from, info, error));
    if (source.get() < 0)
        return FileError {error};
    TemporaryFile file(to);
    if (!file.isOpen())
        return failure(folderOf(to), QStringLiteral("a temporary file could not be created"));
    if (!copyData(source.get(), file.fd(), info.st_size))
        return failure(to, QStringLiteral("could not be written"));
    if (retrying([&] { return ::fsync(file.fd()); }) < 0)
        return failure(to, QStringLiteral("could not be synced"));
    if (!file.close())
        return failure(to, QStringLiteral("could not be written"));
    // Linking never replaces what may have appeared at the target meanwhile.
    if (::link(file.path().constData(), native(to).constData()) < 0)
        return failure(to, QStringLiteral("could not be created"));
    return syncPath(folderOf(to), true);
}

FileOutcome DiskFileSystem::createFolder(const QString& path)
{
    // Existing folders are left as they are; a folder of ours is exactly private, whatever the umask.
    if (const auto failed = Folders::createWithParents(path, privateFolder, true))
        return failure(failed->folder, {}, failed->error);
    return std::nullopt;
}

LockAttempt DiskFileSystem::lock(const QString& path)
{
    const QByteArray name = native(path);
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = retrying([&] { return ::open(name.constData(), flags | O_CREAT | O_EXCL, privateFile); });
    if (fd >= 0)
        ::fchmod(fd, privateFile);
    else if (errno == EEXIST)
        fd = retrying([&] { return ::open(name.constData(), flags); });
    if (fd < 0)
        return {nullptr, false, path + QStringLiteral(": ") + systemError()};
    Descriptor owned(fd);
    struct stat info;
    if (::fstat(fd, &info) < 0 || !S_ISREG(info.st_mode))
        return {nullptr, false, path + QStringLiteral(" is not a regular file.")};
    if (retrying([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) < 0) {
        if (errno == EWOULDBLOCK)
            return {nullptr, true, {}};
        return {nullptr, false, path + QStringLiteral(": ") + systemError()};
    }
    return {std::make_unique<DiskFileLock>(owned.release(), name), false, {}};
}

int DiskFileSystem::removeInterruptedWrites(const QString& path)
{
    const QFileInfo info(path);
    const QByteArray folder = native(info.absolutePath());
    // TemporaryFile's names: "." + the file's name + "." + six characters of mkostemp's.
    const QByteArray prefix = '.' + native(info.fileName()) + '.';
    constexpr qsizetype uniqueLength = 6;
    DIR* directory = ::opendir(folder.constData());
    if (!directory)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(directory)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() != prefix.size() + uniqueLength || !name.startsWith(prefix))
            continue;
        const QByteArrayView unique = name.last(uniqueLength);
        if (!std::all_of(unique.begin(), unique.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        struct stat found {};
        if (::fstatat(::dirfd(directory), entry->d_name, &found, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(found.st_mode)
            && found.st_uid == ::getuid() && ::unlinkat(::dirfd(directory), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(directory);
    return removed;
}
