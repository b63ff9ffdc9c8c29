#include "Platform/X11/WindowApplication.h"

#include "Platform/AppIdentity.h"
#include "Platform/X11/DesktopEntries.h"
#include "Platform/X11/XcbConnection.h"

#include <QCoreApplication>
#include <QFile>

namespace {
std::optional<QString> nonEmpty(const QString& s)
{
    return s.isEmpty() ? std::nullopt : std::optional<QString>(s);
}

// What the process runs as: its executable (resolved by the kernel) and the name it was started
// by, from /proc; empty when the process is gone or not ours to look at.
QStringList programsOf(qint32 pid)
{
    QStringList programs;
    const QString proc = QStringLiteral("/proc/") + QString::number(pid);
    const QString executable = QFile::symLinkTarget(proc + QStringLiteral("/exe"));
    if (!executable.isEmpty())
        programs.append(executable);
    QFile cmdline(proc + QStringLiteral("/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray first = cmdline.read(4096).split('\0').value(0);
        if (!first.isEmpty())
            programs.append(QString::fromLocal8Bit(first));
    }
    return programs;
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
    // An id that names no installed entry (LibreOffice declares "org.libreoffice") leaves the
    // class to find one.
    if (!entry && windowClass)
        entry = DesktopEntries::forWindowClass(
            windowClass->instance, windowClass->className, DesktopEntries::applicationDirectories(), programsOf(pid));

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
