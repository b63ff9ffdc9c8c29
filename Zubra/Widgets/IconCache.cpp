#include "Zubra/Widgets/IconCache.h"

#include "Platform/IconProvider.h"
#include "Zubra/Widgets/Symbols.h"

#include <QMutexLocker>
#include <QPixmap>
#include <QThread>

namespace {
// The provider of a process that has not installed one: it knows no icons.
class NoIcons final : public IconProvider
{
public:
    std::optional<QIcon> installedApplicationIcon(const QString&) override { return std::nullopt; }
    std::optional<QIcon> runningApplicationIcon(const QString&) override { return std::nullopt; }
    std::optional<QIcon> runningApplicationIconNamed(const QString&) override { return std::nullopt; }
};

// The size an icon found in the background is kept at: the largest the views draw it, at 2x.
constexpr int backgroundIconSide = 128;
} // namespace

IconCache::IconCache(std::shared_ptr<IconProvider> provider)
    : m_provider(std::move(provider))
{
}

IconCache::~IconCache()
{
    // A lookup under way finishes; queued ones are dropped.
    if (m_worker) {
        m_worker->quit();
        m_worker->wait();
        delete m_workerContext;
    }
}

IconCache& IconCache::shared()
{
    // Never destroyed: its worker runs until the process ends, together with what Qt keeps for
    // that thread (font engines of drawn icons), instead of being stopped during exit.
    static IconCache* const cache = new IconCache(std::make_shared<NoIcons>());
    return *cache;
}

void IconCache::installSharedProvider(std::shared_ptr<IconProvider> provider, bool background)
{
    IconCache& cache = shared();
    {
        const QMutexLocker locker(&cache.m_lock);
        cache.m_provider = std::move(provider);
        cache.m_cache.clear();
    }
    if (background)
        cache.lookUpInBackground();
}

QString IconCache::keyOf(const std::optional<QString>& bundleID, const QString& appName)
{
    return bundleID ? *bundleID : appName;
}

QIcon IconCache::fallbackIcon()
{
    return Symbols::icon(Symbols::Symbol::quote);
}

void IconCache::lookUpInBackground()
{
    const QMutexLocker locker(&m_lock);
    if (m_worker)
        return;
    m_worker = std::make_unique<QThread>();
    m_worker->setObjectName(QStringLiteral("Application icons"));
    m_workerContext = new QObject;
    m_workerContext->moveToThread(m_worker.get());
    m_worker->start();
}

QIcon IconCache::icon(const std::optional<QString>& bundleID, const QString& appName)
{
    const QString key = keyOf(bundleID, appName);
    {
        const QMutexLocker locker(&m_lock);
        const auto found = m_cache.constFind(key);
        if (found != m_cache.cend())
            return *found;
        if (m_worker) {
            if (!m_inFlight.contains(key)) {
                m_inFlight.insert(key);
                // The worker answers with an image; icons and pixmaps are made on this thread.
                // Destroying the cache finishes the worker first, so `this` outlives the work.
                QMetaObject::invokeMethod(m_workerContext, [this, key, bundleID, appName] {
                    std::optional<QImage> image;
                    if (const std::optional<QIcon> found = find(bundleID, appName))
                        image = found->pixmap(backgroundIconSide, backgroundIconSide).toImage();
                    QMetaObject::invokeMethod(this, [this, key, image] { store(key, image); }, Qt::QueuedConnection);
                }, Qt::QueuedConnection);
            }
            return fallbackIcon();
        }
    }
    const QIcon icon = find(bundleID, appName).value_or(fallbackIcon());
    const QMutexLocker locker(&m_lock);
    m_cache.insert(key, icon);
    return icon;
}

void IconCache::store(const QString& key, const std::optional<QImage>& image)
{
    {
        const QMutexLocker locker(&m_lock);
        m_inFlight.remove(key);
        m_cache.insert(key, image && !image->isNull() ? QIcon(QPixmap::fromImage(*image)) : fallbackIcon());
    }
    emit iconReady(key);
}

std::optional<QIcon> IconCache::find(const std::optional<QString>& bundleID, const QString& appName)
{
    std::shared_ptr<IconProvider> provider;
    {
        const QMutexLocker locker(&m_lock);
        provider = m_provider;
    }
    if (bundleID) {
        if (auto icon = provider->installedApplicationIcon(*bundleID))
            return *icon;
        if (auto icon = provider->runningApplicationIcon(*bundleID))
            return *icon;
    }
    return provider->runningApplicationIconNamed(appName);
}
