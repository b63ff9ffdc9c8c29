#pragma once
// Application icons for the library's rows and sources: looked up once per application, by
// desktop-entry id when the capture has one and by application name otherwise, and kept for
// the life of the process, the drawn fallback included. The cache itself is safe from any
// thread. The program's cache looks icons up on a worker of its own (reading desktop entries and
// icon files can take long), so that painting never waits: a row asks, gets the placeholder at
// once, and is drawn again when iconReady names its key.

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

class IconProvider;
class QThread;

class IconCache final : public QObject
{
    Q_OBJECT

public:
    explicit IconCache(std::shared_ptr<IconProvider> provider);
    ~IconCache() override;

    // The process's cache. Until the program installs its provider it knows no icons and
    // answers the fallback.
    static IconCache& shared();
    // Replaces the shared cache's provider and forgets its answers; the program calls it once,
    // before any view asks. With background set, the shared cache looks up on its worker.
    static void installSharedProvider(std::shared_ptr<IconProvider> provider, bool background = false);

    // The key an application's icon is kept under: its id when it has one, else its name.
    static QString keyOf(const std::optional<QString>& bundleID, const QString& appName);

    // Never fails: the installed application with that id, else the running application with
    // that id, else the running application with that name, else the fallback symbol. Looking
    // up in the background, a key not yet known answers the fallback and starts its lookup.
    QIcon icon(const std::optional<QString>& bundleID, const QString& appName);

    // From now on misses are looked up on a worker thread; answers arrive on this object's thread.
    void lookUpInBackground();

    // The symbol for an application without an icon of its own.
    static QIcon fallbackIcon();

signals:
    // The icon of this key was found in the background; rows showing it draw again.
    void iconReady(const QString& key);

private:
    // The provider's answer in lookup order; nothing when only the fallback is left.
    std::optional<QIcon> find(const std::optional<QString>& bundleID, const QString& appName);
    void store(const QString& key, const std::optional<QImage>& image);

    std::shared_ptr<IconProvider> m_provider;
    QMutex m_lock; // guards m_cache and m_inFlight only; never held during a lookup
    QHash<QString, QIcon> m_cache;
    QSet<QString> m_inFlight;
    // The worker is a QThread: the per-thread caches Qt fills while icons are drawn (fonts among
    // them) are released when it ends.
    std::unique_ptr<QThread> m_worker;
    QObject* m_workerContext = nullptr; // lives on the worker; lookups are queued to it
};
