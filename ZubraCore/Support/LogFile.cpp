#include "ZubraCore/Support/LogFile.h"

#include "ZubraCore/Support/IsoDate.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

LogFile::~LogFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<QString> LogFile::open(const QString& path)
{
    if (m_fd >= 0)
        return std::nullopt;
    const QByteArray native = path.toLocal8Bit();
    // Never through a link: in a shared folder another user could point one at a victim file.
    // Not blocking either, should something other than a file stand there.
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd;
    do {
        fd = ::open(native.constData(), flags | O_CREAT | O_EXCL, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        ::fchmod(fd, 0600); // private whatever the umask
    } else if (errno == EEXIST) {
        do {
            fd = ::open(native.constData(), flags);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    struct stat info;
    if (::fstat(fd, &info) < 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return QStringLiteral("not a regular file");
    }
    m_fd = fd;
    return std::nullopt;
}

bool LogFile::append(const QByteArray& bytes) const
{
    if (m_fd < 0)
        return false;
    // One call per line: with O_APPEND the kernel places the whole line at the current end.
    // A short write (disk full, signal) leaves the rest out rather than splitting the line
    // around another writer's output.
    ssize_t written;
    do {
        written = ::write(m_fd, bytes.constData(), size_t(bytes.size()));
    } while (written < 0 && errno == EINTR);
    return written == bytes.size();
}

QByteArray LogFile::formatLine(const QDateTime& time, const QString& message)
{
    QByteArray line;
    line.reserve(message.size() + 24);
    char stamp[20];
    line.append('[');
    line.append(stamp, IsoDate::toUtf8(time, stamp));
    line.append("] ");
    line.append(message.toUtf8());
    line.append('\n');
    return line;
}
