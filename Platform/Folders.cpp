#include "Platform/Folders.h"

#include <QByteArrayList>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <sys/stat.h>

namespace Folders {

QStringList ignoreRelativeBaseFolders()
{
    QStringList dropped;
    for (const char* name :
        {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty() && !value.startsWith('/')) {
            dropped.append(QLatin1String(name) + u'=' + QFile::decodeName(value));
            qunsetenv(name);
        }
    }
    for (const char* name : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
        const QByteArray value = qgetenv(name);
        QByteArrayList kept;
        bool changed = false;
        for (const QByteArray& entry : value.split(':')) {
            if (entry.startsWith('/'))
                kept.append(entry);
            else if (!entry.isEmpty())
                changed = true;
        }
        if (!changed)
            continue;
        dropped.append(QLatin1String(name) + u'=' + QFile::decodeName(value));
        if (kept.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, kept.join(':'));
    }
    return dropped;
}

QString passwordDatabaseHome()
{
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? size_t(suggested) : size_t(16384));
    passwd entry {};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < 1 << 20)
        buffer.resize(buffer.size() * 2);
    return found && found->pw_dir ? QFile::decodeName(found->pw_dir) : QString();
}

Home settleHome(const std::function<QString()>& databaseHome)
{
    const QByteArray value = qgetenv("HOME");
    if (value.startsWith('/'))
        return {Home::kept, {}};
    const QString previous = QFile::decodeName(value);
    const QString home = databaseHome();
    if (!home.startsWith(u'/'))
        return {Home::missing, previous};
    qputenv("HOME", QFile::encodeName(home));
    return {Home::replaced, previous};
}

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
