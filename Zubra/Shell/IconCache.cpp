#include "Zubra/Shell/IconCache.h"

#include "Platform/IconProvider.h"
#include "Zubra/Shell/Symbols.h"

#include <QMutexLocker>

namespace {
// The provider of a process that has not installed one: it knows no icons.
class NoIcons final : public IconProvider
{
public:
    std::optional<QIcon> installedApplicationIcon(const QString&) override { return std::nullopt; }
    std::optional<QIcon> runningApplicationIcon(const QString&) override { return std::nullopt; }
    std::optional<QIcon> runningApplicationIconNamed(const QString&) override { return std::nullopt; }
};
} // namespace

IconCache::IconCache(std::shared_ptr<IconProvider> provider)
    : m_provider(std::move(provider))
{
}

IconCache& IconCache::shared()
{
    static IconCache cache(std::make_shared<NoIcons>());
    return cache;
}

void IconCache::installSharedProvider(std::shared_ptr<IconProvider> provider)
{
    IconCache& cache = shared();
    const QMutexLocker locker(&cache.m_lock);
    cache.m_provider = std::move(provider);
    cache.m_cache.clear();
}

QIcon IconCache::fallbackIcon()
{
    return Symbols::icon(Symbols::Symbol::quote);
}

QIcon IconCache::icon(const std::optional<QString>& bundleID, const QString& appName)
{
    const QString key = bundleID ? *bundleID : appName;
    {
        const QMutexLocker locker(&m_lock);
        const auto found = m_cache.constFind(key);
        if (found != m_cache.cend())
            return *found;
    }
    const QIcon icon = lookUp(bundleID, appName);
    const QMutexLocker locker(&m_lock);
    m_cache.insert(key, icon);
    return icon;
}

QIcon IconCache::lookUp(const std::optional<QString>& bundleID, const QString& appName)
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
    if (auto icon = provider->runningApplicationIconNamed(appName))
        return *icon;
    return fallbackIcon();
}
