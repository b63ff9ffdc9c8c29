#pragma once
// The running applications of the desktop as the user sees them.

#include <QIcon>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

struct RunningApplication
{
    // The longest application name kept or logged. Real names are a few dozen characters; a
    // hostile desktop entry or window property can carry hundreds of thousands, which would
    // otherwise be stored with every capture and written to every log line.
    static constexpr qsizetype maxNameLength = 256;
    // The name cut to maxNameLength, never inside a surrogate pair.
    static QString boundedName(const QString& name);

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
    // The path of the regular file the active window shows, as its title or its process's open
    // files tell; nothing by default and whenever none exists.
    virtual std::optional<QString> activeWindowDocument() { return std::nullopt; }

    // The services below answer nothing in a workspace that does not offer them.

    // Every application with a window on the desktop, once each, in the desktop's window order.
    virtual QList<RunningApplication> runningApplications() { return {}; }
    // The icon an installed application declares, by its desktop-entry id.
    virtual std::optional<QIcon> installedApplicationIcon(const QString&) { return std::nullopt; }
    // The icon a running application shows on its windows.
    virtual std::optional<QIcon> runningApplicationIcon(qint32) { return std::nullopt; }
    // Opens a web or mail address in the user's preferred application; only http, https and
    // mailto addresses are opened. False when refused or when nothing could be started.
    virtual bool openAddress(const QString&) { return false; }
    // Shows the file selected in the file manager, else opens the folder that holds it.
    virtual bool revealFile(const QString&) { return false; }

    // True for an address openAddress accepts: an http, https or mailto scheme (any case).
    static bool isOpenableAddress(const QString& address);
};
