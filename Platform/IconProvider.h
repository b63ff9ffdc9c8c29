#pragma once
// Where application icons come from. The icon cache asks in its own order; a provider only
// answers each question or says it has nothing.

#include <QIcon>
#include <QString>
#include <memory>
#include <optional>

class Workspace;

class IconProvider
{
public:
    virtual ~IconProvider() = default;
    // The icon the installed application with this desktop-entry id declares.
    virtual std::optional<QIcon> installedApplicationIcon(const QString& bundleIdentifier) = 0;
    // The icon of the first running application with this desktop-entry id.
    virtual std::optional<QIcon> runningApplicationIcon(const QString& bundleIdentifier) = 0;
    // The icon of the first running application with this display name.
    virtual std::optional<QIcon> runningApplicationIconNamed(const QString& name) = 0;
};

// The icons of the desktop, as a workspace finds them. The provider shares the workspace: the
// program's icon cache and its worker thread outlive main's locals.
class WorkspaceIconProvider final : public IconProvider
{
public:
    explicit WorkspaceIconProvider(std::shared_ptr<Workspace> workspace)
        : m_workspace(std::move(workspace))
    {
    }

    std::optional<QIcon> installedApplicationIcon(const QString& bundleIdentifier) override;
    std::optional<QIcon> runningApplicationIcon(const QString& bundleIdentifier) override;
    std::optional<QIcon> runningApplicationIconNamed(const QString& name) override;

private:
    std::shared_ptr<Workspace> m_workspace;
};
