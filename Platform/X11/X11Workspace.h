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
    // The active window's title when it names a file, else a file its process holds open whose
    // name the title shows; nothing for a terminal emulator's window.
    std::optional<QString> activeWindowDocument() override;

    // The applications of the window manager's client list (_NET_CLIENT_LIST), named as the
    // frontmost one is; their icons from _NET_WM_ICON; installed icons through desktop entries.
    QList<RunningApplication> runningApplications() override;
    std::optional<QIcon> installedApplicationIcon(const QString& bundleIdentifier) override;
    std::optional<QIcon> runningApplicationIcon(qint32 processIdentifier) override;
    // Through xdg-open, given the address exactly as written.
    bool openAddress(const QString& address) override;
    // org.freedesktop.FileManager1.ShowItems when a file manager offers it, else xdg-open on
    // the folder; a refused call also falls back to the folder.
    bool revealFile(const QString& path) override;

private:
    std::shared_ptr<XcbConnection> m_connection;
};
