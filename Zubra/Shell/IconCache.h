#pragma once
// Application icons for the library's rows and sources: looked up once per application, by
// desktop-entry id when the capture has one and by application name otherwise, and kept for
// the life of the process, the drawn fallback included.

#include <QHash>
#include <QIcon>
#include <QMutex>
#include <QString>
#include <memory>
#include <optional>

class IconProvider;

class IconCache
{
public:
    explicit IconCache(std::shared_ptr<IconProvider> provider);

    // The process's cache. Until the program installs its provider it knows no icons and
    // answers the fallback.
    static IconCache& shared();
    // Replaces the shared cache's provider and forgets its answers; the program calls it once,
    // before any view asks.
    static void installSharedProvider(std::shared_ptr<IconProvider> provider);

    // Never fails: the installed application with that id, else the running application with
    // that id, else the running application with that name, else the fallback symbol.
    QIcon icon(const std::optional<QString>& bundleID, const QString& appName);

    // The symbol for an application without an icon of its own.
    static QIcon fallbackIcon();

private:
    QIcon lookUp(const std::optional<QString>& bundleID, const QString& appName);

    std::shared_ptr<IconProvider> m_provider;
    QMutex m_lock; // guards m_cache only; never held during a lookup
    QHash<QString, QIcon> m_cache;
};
