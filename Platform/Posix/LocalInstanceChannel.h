#pragma once
// The instance channel over a lock file and a local socket in the user's runtime folder, both
// named by the program's identifier. The lock decides who runs; the socket carries requests.

#include "Platform/InstanceChannel.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

class LocalInstanceChannel final : public InstanceChannel
{
    Q_OBJECT

public:
    // folder: where the lock and the socket live; empty = runtimeFolder(). name: their base name.
    explicit LocalInstanceChannel(QString folder = {}, QString name = {}, QObject* parent = nullptr);
    ~LocalInstanceChannel() override;

    std::optional<RunningInstance> claim() override;
    bool sendShowWindowRequest() override;

    QString lockPath() const;
    QString socketPath() const;
    // What went wrong while claiming (folder, lock or socket), for the log; empty when nothing did.
    // A failed claim still answers "one instance": the program runs rather than refusing to start.
    QString problem() const { return m_problem; }

    // $XDG_RUNTIME_DIR when it names an existing folder, else a folder of this user's own under the
    // cache folder, created with mode 0700 (and tightened to it when found looser). Nothing when
    // no private folder could be had.
    static std::optional<QString> runtimeFolder(QString* problem = nullptr);

private:
    void acceptConnections();
    void readRequest(QLocalSocket* socket);

    QString m_folder;
    QString m_name;
    QString m_problem;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, QByteArray> m_pending;
};
