#pragma once
// The instance channel over a lock file and a local socket in the user's runtime folder, both
// named by the program's identifier. The lock decides who runs; the socket carries requests.

#include "Platform/InstanceChannel.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <chrono>

class QFileSystemWatcher;
class QLocalServer;
class QLocalSocket;
class QTimer;

class LocalInstanceChannel final : public InstanceChannel
{
    Q_OBJECT

public:
    // A peer that has not sent its request by then is cut off.
    static constexpr std::chrono::milliseconds idleConnectionTimeout {1000};
    // Connections waiting for their request at once; further ones are closed on arrival.
    static constexpr int maxPendingConnections = 16;
    // After a failed listen (no descriptors left, say), when it is tried again.
    static constexpr std::chrono::milliseconds relistenInterval {1000};

    // folder: where the lock and the socket live; empty = runtimeFolder(). name: their base name.
    explicit LocalInstanceChannel(QString folder = {}, QString name = {}, QObject* parent = nullptr);
    ~LocalInstanceChannel() override;

    // Another instance runs only while a live process holds the lock on the lock file; the
    // file's contents (the holder's process id, for the log) never decide it.
    std::optional<RunningInstance> claim() override;
    bool sendShowWindowRequest() override;
    // After a failed hand-off: serves the socket although the lock stays with the silent holder.
    void takeOver() override;

    QString lockPath() const;
    QString socketPath() const;
    // What went wrong while claiming (folder, lock or socket), for the log; empty when nothing did.
    // A failed claim still answers "one instance": the program runs rather than refusing to start.
    QString problem() const { return m_problem; }
    bool isListening() const;

    // $XDG_RUNTIME_DIR when it names a folder of this user that nobody else may write to, else a
    // folder of this user's own under the cache folder, created with mode 0700 (and tightened to
    // it when found looser). Nothing when no private folder could be had.
    static std::optional<QString> runtimeFolder(QString* problem = nullptr);

private:
    // The name the server binds; socketPath() is a second link to the same socket.
    QString boundPath() const;
    // Removes the socket at socketPath() while it is still the one this server made.
    void removeOwnSocket();
    void listen();
    // Serves again what was taken away: the folder, the lock file or the socket removed (a
    // cleaner emptying the folder), or the socket closed by a failed accept. Runs when the
    // folder changes, and after a failed listen; nothing polls.
    void keepServing();
    void watchFolder();
    void acceptConnections();
    void readRequest(QLocalSocket* socket);
    void dropConnection(QLocalSocket* socket);

    QString m_folder;
    QString m_name;
    QString m_problem;
    int m_lockDescriptor = -1;
    QLocalServer* m_server = nullptr;
    QTimer* m_relisten = nullptr; // single shot, after a failed listen
    QFileSystemWatcher* m_watcher = nullptr;
    // The socket file this server made: its device and inode (0 when there is none).
    quint64 m_socketDevice = 0;
    quint64 m_socketInode = 0;
    QHash<QLocalSocket*, QByteArray> m_pending;
};
