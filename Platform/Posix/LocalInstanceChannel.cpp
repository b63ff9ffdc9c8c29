#include "Platform/Posix/LocalInstanceChannel.h"

#include "Platform/AppIdentity.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// A request is one short line; a peer that sends more without a line end is cut off.
constexpr qsizetype maxRequestBytes = 256;
// How long a later instance tries to reach the running one (it may still be starting).
constexpr std::chrono::milliseconds deliveryTimeout {700};
constexpr std::chrono::milliseconds reconnectPause {20};
// The lock file holds a process id and a line end; more is not read.
constexpr qsizetype maxLockFileBytes = 32;

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder exists, is a real folder of this user, and nobody else may enter it.
bool makePrivate(const QString& path, QString* problem)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QStringLiteral("Could not create ") + path + QStringLiteral(": ") + errnoText();
        return false;
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        *problem = path + QStringLiteral(" is not a folder of this user");
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        *problem = QStringLiteral("Could not restrict ") + path + QStringLiteral(": ") + errnoText();
        return false;
    }
    return true;
}

// A folder of this user that nobody else may write to (the runtime folder the session made).
bool isOwnUnsharedFolder(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The lock file, opened without following a link and without blocking; whatever else stands at
// its path (a link, a folder, a pipe, another user's file) is removed once and the file made anew.
int openLockFile(const QString& path, QString* problem)
{
    const QByteArray native = QFile::encodeName(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int descriptor = ::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (descriptor >= 0) {
            struct stat info {};
            if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid())
                return descriptor;
            ::close(descriptor);
        } else if (errno != ELOOP && errno != EISDIR && errno != ENXIO && errno != EACCES) {
            *problem = QStringLiteral("Could not open the lock file ") + path + QStringLiteral(": ") + errnoText();
            return -1;
        }
        if (attempt == 0 && (::unlink(native.constData()) == 0 || ::rmdir(native.constData()) == 0))
            continue;
        break;
    }
    *problem = QStringLiteral("The lock file ") + path + QStringLiteral(" is not a file of this user");
    return -1;
}

// The process that holds the lock on the file, as the kernel lists it; else the id the holder
// wrote into the file; 0 when neither names one.
qint64 lockHolder(int descriptor)
{
    struct stat info {};
    if (::fstat(descriptor, &info) == 0) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"
        const QByteArray device = QByteArray::number(major(info.st_dev), 16).rightJustified(2, '0') + ':'
            + QByteArray::number(minor(info.st_dev), 16).rightJustified(2, '0') + ':'
            + QByteArray::number(qulonglong(info.st_ino));
        QFile locks(QStringLiteral("/proc/locks"));
        if (locks.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = locks.readAll().split('\n');
            for (const QByteArray& line : lines) {
                const QList<QByteArray> fields = line.simplified().split(' ');
                if (fields.size() > 5 && fields.at(1) == "FLOCK" && fields.at(5) == device) {
                    bool ok = false;
                    const qint64 pid = fields.at(4).toLongLong(&ok);
                    if (ok && pid > 0)
                        return pid;
                }
            }
        }
    }
    char bytes[maxLockFileBytes] {};
    const ssize_t count = ::pread(descriptor, bytes, sizeof bytes, 0);
    bool ok = false;
    const qint64 pid = count > 0 ? QByteArray(bytes, count).trimmed().toLongLong(&ok) : 0;
    return ok && pid > 0 ? pid : 0;
}

} // namespace

LocalInstanceChannel::LocalInstanceChannel(QString folder, QString name, QObject* parent)
    : InstanceChannel(parent)
    , m_folder(std::move(folder))
    , m_name(name.isEmpty() ? QString::fromLatin1(AppIdentity::bundleIdentifier) : std::move(name))
{
}

LocalInstanceChannel::~LocalInstanceChannel()
{
    // The server's connections announce their end while it is destroyed: not to this object,
    // whose members are gone by then.
    if (m_server) {
        for (QLocalSocket* socket : m_server->findChildren<QLocalSocket*>())
            socket->disconnect(this);
        delete m_server;
    }
    removeOwnSocket();
    if (m_lockDescriptor >= 0)
        ::close(m_lockDescriptor); // releases the lock
}

std::optional<QString> LocalInstanceChannel::runtimeFolder(QString* problem)
{
    // Another user's folder, or one others may write to, could hold their socket in place of ours.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isOwnUnsharedFolder(runtime))
        return QDir::cleanPath(runtime);

    QString ignored;
    QString& why = problem ? *problem : ignored;
    // A relative cache folder would put the socket wherever the program was started.
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    if (cache.isEmpty() || !QDir().mkpath(cache)) {
        why = QStringLiteral("No cache folder for the runtime files");
        return std::nullopt;
    }
    const QString folder = cache + QLatin1Char('/') + QString::fromLatin1(AppIdentity::bundleIdentifier)
        + QStringLiteral("-runtime");
    if (!makePrivate(folder, &why))
        return std::nullopt;
    return folder;
}

QString LocalInstanceChannel::lockPath() const
{
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString LocalInstanceChannel::socketPath() const
{
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
}

QString LocalInstanceChannel::boundPath() const
{
    return socketPath() + QStringLiteral(".bound");
}

void LocalInstanceChannel::removeOwnSocket()
{
    const QByteArray published = QFile::encodeName(socketPath());
    struct stat info {};
    if (m_socketInode != 0 && ::lstat(published.constData(), &info) == 0 && S_ISSOCK(info.st_mode)
        && quint64(info.st_dev) == m_socketDevice && quint64(info.st_ino) == m_socketInode)
        ::unlink(published.constData());
    m_socketDevice = m_socketInode = 0;
}

bool LocalInstanceChannel::isListening() const
{
    // A failed accept closes the listening socket but leaves the server's name set, so that
    // isListening() alone still answers true.
    return m_server && m_server->isListening() && m_server->socketDescriptor() != -1;
}

std::optional<InstanceChannel::RunningInstance> LocalInstanceChannel::claim()
{
    if (m_folder.isEmpty()) {
        const auto folder = runtimeFolder(&m_problem);
        if (!folder)
            return std::nullopt;
        m_folder = *folder;
    }

    const int descriptor = openLockFile(lockPath(), &m_problem);
    if (descriptor < 0)
        return std::nullopt;
    // The kernel drops the lock when its holder ends, however it ends: a held lock is a live
    // instance, and a file left behind (empty, garbage, an old process id) is nobody's.
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            RunningInstance running;
            running.processIdentifier = lockHolder(descriptor);
            ::close(descriptor);
            return running;
        }
        m_problem = QStringLiteral("Could not lock ") + lockPath() + QStringLiteral(": ") + errnoText(error);
        ::close(descriptor);
        return std::nullopt;
    }
    m_lockDescriptor = descriptor;
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (::ftruncate(descriptor, 0) != 0 || ::pwrite(descriptor, pid.constData(), size_t(pid.size()), 0) != pid.size())
        m_problem = QStringLiteral("Could not write ") + lockPath() + QStringLiteral(": ") + errnoText();

    listen();
    return std::nullopt;
}

void LocalInstanceChannel::takeOver()
{
    if (m_folder.isEmpty() || m_server)
        return;
    listen();
}

void LocalInstanceChannel::listen()
{
    if (!m_server) {
        m_server = new QLocalServer(this);
        // No access option: with one the server would rename its socket over the path. The
        // folder is this user's alone.
        m_server->setMaxPendingConnections(maxPendingConnections);
        connect(m_server, &QLocalServer::newConnection, this, &LocalInstanceChannel::acceptConnections);
        m_relisten = new QTimer(this);
        m_relisten->setSingleShot(true);
        m_relisten->setInterval(relistenInterval);
        connect(m_relisten, &QTimer::timeout, this, &LocalInstanceChannel::keepServing);
        // A failed accept closes the server and removes its socket; a cleaner may remove the
        // socket or the whole folder. Either shows in the folder.
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &LocalInstanceChannel::keepServing);
    }
    // The server binds a name of its own (which it removes whenever it closes: at the end, or
    // after a failed accept, which the folder then shows); the socket's path is a second link
    // to that socket, made only where nothing stands, so that nothing of the user's is replaced.
    m_server->close();
    removeOwnSocket();
    // This process serves the channel now: a socket left at the path is no one's, and an empty
    // folder there (which no listening could replace) is removed as at the lock file's path.
    // Anything else there may be the user's: it is left in place and reported.
    const QByteArray published = QFile::encodeName(socketPath());
    struct stat standing {};
    if (::lstat(published.constData(), &standing) == 0) {
        if (S_ISSOCK(standing.st_mode)) {
            ::unlink(published.constData());
        } else if (!S_ISDIR(standing.st_mode)) {
            m_problem = QStringLiteral("Something other than a socket stands at ") + socketPath()
                + QStringLiteral(", left in place");
        } else if (::rmdir(published.constData()) == 0) {
            m_problem = QStringLiteral("Removed a folder that stood at ") + socketPath();
        } else {
            m_problem = QStringLiteral("A folder stands at ") + socketPath() + QStringLiteral(": ") + errnoText();
        }
    }
    const QByteArray bound = QFile::encodeName(boundPath());
    if (::lstat(bound.constData(), &standing) == 0 && S_ISSOCK(standing.st_mode))
        ::unlink(bound.constData()); // an ended instance's
    QString failure;
    if (!m_server->listen(boundPath())) {
        failure = m_server->errorString();
    } else if (::link(bound.constData(), published.constData()) != 0) {
        failure = errnoText();
        m_server->close();
    } else if (::lstat(published.constData(), &standing) == 0) {
        m_socketDevice = standing.st_dev;
        m_socketInode = standing.st_ino;
    }
    if (!failure.isEmpty()) {
        m_problem = (m_problem.isEmpty() ? QString() : m_problem + QStringLiteral("; "))
            + QStringLiteral("Could not listen on ") + socketPath() + QStringLiteral(": ") + failure;
        m_relisten->start(); // once the cause is gone, instead of turning every later launch away
    }
    watchFolder();
}

void LocalInstanceChannel::watchFolder()
{
    if (m_watcher && !m_watcher->directories().contains(m_folder))
        m_watcher->addPath(m_folder);
}

void LocalInstanceChannel::keepServing()
{
    const QByteArray folder = QFile::encodeName(m_folder);
    struct stat info {};
    if (::stat(folder.constData(), &info) != 0 && !makePrivate(m_folder, &m_problem))
        return; // nothing to watch: a later launch finds no instance and runs on its own
    // The lock held on a file that is gone keeps nobody out: it is taken on a new file.
    if (m_lockDescriptor >= 0) {
        struct stat held {};
        const bool inPlace = ::fstat(m_lockDescriptor, &held) == 0
            && ::stat(QFile::encodeName(lockPath()).constData(), &info) == 0 && info.st_dev == held.st_dev
            && info.st_ino == held.st_ino;
        if (!inPlace) {
            const int descriptor = openLockFile(lockPath(), &m_problem);
            if (descriptor >= 0 && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
                ::close(m_lockDescriptor);
                m_lockDescriptor = descriptor;
                const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
                if (::pwrite(descriptor, pid.constData(), size_t(pid.size()), 0) != pid.size())
                    m_problem = QStringLiteral("Could not write ") + lockPath() + QStringLiteral(": ") + errnoText();
            } else if (descriptor >= 0) {
                ::close(descriptor); // another instance runs there now: it serves the socket
                m_problem = QStringLiteral("Another instance took the lock file ") + lockPath();
                watchFolder();
                return;
            }
        }
    }
    const bool socketInPlace = isListening()
        && ::lstat(QFile::encodeName(socketPath()).constData(), &info) == 0 && S_ISSOCK(info.st_mode)
        && quint64(info.st_dev) == m_socketDevice && quint64(info.st_ino) == m_socketInode;
    if (!socketInPlace && !m_relisten->isActive())
        listen();
    else
        watchFolder();
}

void LocalInstanceChannel::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_pending.size() >= maxPendingConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_pending.insert(socket, {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A socket may say so again while it is destroyed: only one still pending is released here.
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            if (m_pending.remove(socket))
                socket->deleteLater();
        });
        QTimer::singleShot(idleConnectionTimeout, socket, [this, socket] { dropConnection(socket); });
        readRequest(socket);
    }
}

void LocalInstanceChannel::dropConnection(QLocalSocket* socket)
{
    if (!m_pending.remove(socket))
        return;
    socket->abort();
    socket->deleteLater();
}

void LocalInstanceChannel::readRequest(QLocalSocket* socket)
{
    auto pending = m_pending.find(socket);
    if (pending == m_pending.end())
        return;
    pending->append(socket->read(maxRequestBytes + 1 - pending->size()));
    const qsizetype end = pending->indexOf('\n');
    if (end < 0 && pending->size() <= maxRequestBytes)
        return; // wait for the rest of the line
    const bool asked = end >= 0 && QByteArrayView(*pending).first(end) == showWindowRequest.toLatin1();
    m_pending.erase(pending);
    socket->disconnectFromServer();
    socket->deleteLater();
    if (asked)
        emit showWindowRequested();
}

bool LocalInstanceChannel::sendShowWindowRequest()
{
    if (m_folder.isEmpty())
        return false;
    QDeadlineTimer deadline(deliveryTimeout);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(reconnectPause.count());
    }
    socket.write(showWindowRequest.toLatin1() + '\n');
    const bool written = socket.bytesToWrite() == 0 || socket.waitForBytesWritten(int(deadline.remainingTime()));
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(int(deadline.remainingTime()));
    return written;
}
