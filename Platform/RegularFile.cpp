#include "Platform/RegularFile.h"

#include <QFile>
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

} // namespace RegularFile
