#pragma once
// The frontmost application on an X11 desktop: the active window's process, with the
// desktop entry that names the application.

#include "Platform/Workspace.h"

#include <memory>

class XcbConnection;

class X11Workspace final : public Workspace
{
public:
    // Uses its own connection to $DISPLAY; answers nothing when there is no X server.
    X11Workspace();
    explicit X11Workspace(std::shared_ptr<XcbConnection> connection);
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<QString> activeWindowTitle() override;

private:
    std::shared_ptr<XcbConnection> m_connection;
};
