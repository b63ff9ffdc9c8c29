#include "Platform/Posix/LocalInstanceChannel.h"

#include "Platform/AppIdentity.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request is one short line; a peer that sends more without a line end is cut off.
constexpr qsizetype maxRequestBytes = 256;
// How long a later instance tries to reach the running one (it may still be starting).
constexpr std::chrono::milliseconds deliveryTimeout {700};
constexpr std::chrono::milliseconds reconnectPause {20};

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
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

} // namespace

LocalInstanceChannel::LocalInstanceChannel(QString folder, QString name, QObject* parent)
    : InstanceChannel(parent)
    , m_folder(std::move(folder))
    , m_name(name.isEmpty() ? QString::fromLatin1(AppIdentity::bundleIdentifier) : std::move(name))
{
}

LocalInstanceChannel::~LocalInstanceChannel() = default;

std::optional<QString> LocalInstanceChannel::runtimeFolder(QString* problem)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return QDir::cleanPath(runtime);

    QString ignored;
    QString& why = problem ? *problem : ignored;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
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

std::optional<InstanceChannel::RunningInstance> LocalInstanceChannel::claim()
{
    if (m_folder.isEmpty()) {
        const auto folder = runtimeFolder(&m_problem);
        if (!folder)
            return std::nullopt;
        m_folder = *folder;
    }

    m_lock = std::make_unique<QLockFile>(lockPath());
    // Stale only when its process is gone, never by age: the program runs for weeks.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() != QLockFile::LockFailedError) {
            m_problem = QStringLiteral("Could not create the lock file ") + lockPath();
            return std::nullopt;
        }
        RunningInstance running;
        m_lock->getLockInfo(&running.processIdentifier, nullptr, nullptr);
        m_lock.reset();
        return running;
    }

    // Holding the lock, any socket left at the path belongs to an instance that has ended.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &LocalInstanceChannel::acceptConnections);
    if (!m_server->listen(socketPath()))
        m_problem = QStringLiteral("Could not listen on ") + socketPath() + QStringLiteral(": ")
            + m_server->errorString();
    return std::nullopt;
}

void LocalInstanceChannel::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        m_pending.insert(socket, {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        readRequest(socket);
    }
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
