#include "Platform/Folders.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <utility>
#include <sys/stat.h>

namespace Folders {

std::optional<Failure> createWithParents(const QString& path, mode_t mode, bool exact)
{
    QStringList missing;
    for (QString folder = QFileInfo(path).absoluteFilePath();;) {
        struct stat info {};
        if (::stat(QFile::encodeName(folder).constData(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                return Failure {folder, ENOTDIR};
            break;
        }
        if (errno != ENOENT)
            return Failure {folder, errno};
        missing.prepend(folder);
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    for (const QString& folder : std::as_const(missing)) {
        const QByteArray native = QFile::encodeName(folder);
        if (::mkdir(native.constData(), mode) == 0) {
            if (exact)
                ::chmod(native.constData(), mode);
        } else if (errno != EEXIST) {
            return Failure {folder, errno};
        }
    }
    return std::nullopt;
}

} // namespace Folders
