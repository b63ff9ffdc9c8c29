#include "Platform/X11/WindowApplication.h"

#include "Platform/AppIdentity.h"
#include "Platform/X11/DesktopEntries.h"
#include "Platform/X11/XcbConnection.h"

#include <QCoreApplication>

namespace {
std::optional<QString> nonEmpty(const QString& s)
{
    return s.isEmpty() ? std::nullopt : std::optional<QString>(s);
}
} // namespace

std::optional<RunningApplication> applicationOfWindow(XcbConnection& x, xcb_window_t window)
{
    const qint32 pid = x.processOf(window);
    if (pid <= 0)
        return std::nullopt;
    RunningApplication app;
    app.processIdentifier = pid;
    const auto windowClass = x.windowClass(window);

    // The application's own statement of its desktop entry wins over matching the class.
    std::optional<DesktopEntries::Entry> entry;
    std::optional<QString> declaredId;
    for (const char* name : {"_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"}) {
        if (auto id = x.textProperty(window, name); id && !id->trimmed().isEmpty()) {
            declaredId = id->trimmed();
            if (declaredId->endsWith(QLatin1String(".desktop")))
                declaredId->chop(8);
            entry = DesktopEntries::byId(*declaredId);
            break;
        }
    }
    if (!declaredId && windowClass)
        entry = DesktopEntries::forWindowClass(windowClass->instance, windowClass->className);

    if (entry)
        app.bundleIdentifier = entry->id;
    else if (declaredId)
        app.bundleIdentifier = declaredId;
    else if (windowClass)
        app.bundleIdentifier = nonEmpty(windowClass->className);
    if (pid == qint32(QCoreApplication::applicationPid()))
        app.bundleIdentifier = QString::fromLatin1(AppIdentity::bundleIdentifier);

    if (entry)
        app.localizedName = nonEmpty(entry->name);
    if (!app.localizedName && windowClass)
        app.localizedName = nonEmpty(windowClass->className);
    return app;
}
