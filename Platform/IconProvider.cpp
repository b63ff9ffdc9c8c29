#include "Platform/IconProvider.h"

#include "Platform/Workspace.h"

std::optional<QIcon> WorkspaceIconProvider::installedApplicationIcon(const QString& bundleIdentifier)
{
    return m_workspace->installedApplicationIcon(bundleIdentifier);
}

std::optional<QIcon> WorkspaceIconProvider::runningApplicationIcon(const QString& bundleIdentifier)
{
    for (const RunningApplication& app : m_workspace->runningApplications())
        if (app.bundleIdentifier == bundleIdentifier)
            return m_workspace->runningApplicationIcon(app.processIdentifier);
    return std::nullopt;
}

std::optional<QIcon> WorkspaceIconProvider::runningApplicationIconNamed(const QString& name)
{
    for (const RunningApplication& app : m_workspace->runningApplications())
        if (app.localizedName == name)
            return m_workspace->runningApplicationIcon(app.processIdentifier);
    return std::nullopt;
}
