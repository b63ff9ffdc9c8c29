#pragma once
// The running applications of the desktop as the user sees them.

#include <QString>
#include <QtGlobal>
#include <optional>

struct RunningApplication
{
    qint32 processIdentifier = 0;
    std::optional<QString> localizedName;
    // The application's desktop-entry id; Tessellon's own is "com.vesk.tessellon".
    std::optional<QString> bundleIdentifier;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

class Workspace
{
public:
    virtual ~Workspace() = default;
    // The application that owns the active window, or nothing.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // The title of the active window, as the window manager shows it; nothing by default.
    virtual std::optional<QString> activeWindowTitle() { return std::nullopt; }
};
