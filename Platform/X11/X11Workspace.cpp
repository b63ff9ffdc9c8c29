#include "Platform/X11/X11Workspace.h"
#include "Platform/AppIdentity.h"

#include "Platform/X11/DesktopEntries.h"
#include "Platform/X11/XcbConnection.h"

#include <QCoreApplication>
#include <QFile>

namespace {
const QString ownBundleID = QString::fromLatin1(AppIdentity::bundleIdentifier);

// The process's short name from /proc, bounded.
std::optional<QString> processName(qint32 pid)
{
    QFile file(QStringLiteral("/proc/") + QString::number(pid) + QStringLiteral("/comm"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString name = QString::fromUtf8(file.read(256)).trimmed();
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> nonEmpty(const QString& s)
{
    return s.isEmpty() ? std::nullopt : std::optional<QString>(s);
}
} // namespace

X11Workspace::X11Workspace()
    : m_connection(XcbConnection::open())
{
}

X11Workspace::X11Workspace(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection))
{
}

X11Workspace::~X11Workspace() = default;

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    if (!m_connection)
        return std::nullopt;
    const xcb_window_t window = m_connection->activeWindow();
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;
    const qint32 pid = m_connection->processOf(window);
    if (pid <= 0)
        return std::nullopt;

    RunningApplication app;
    app.processIdentifier = pid;
    const auto windowClass = m_connection->windowClass(window);

    // The application's own statement of its desktop entry wins over matching the class.
    std::optional<DesktopEntries::Entry> entry;
    std::optional<QString> declaredId;
    for (const char* name : {"_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"}) {
        if (auto id = m_connection->textProperty(window, name); id && !id->trimmed().isEmpty()) {
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
        app.bundleIdentifier = ownBundleID;

    if (entry)
        app.localizedName = nonEmpty(entry->name);
    if (!app.localizedName && windowClass)
        app.localizedName = nonEmpty(windowClass->className);
    if (!app.localizedName)
        app.localizedName = processName(pid);
    return app;
}

std::optional<QString> X11Workspace::activeWindowTitle()
{
    if (!m_connection)
        return std::nullopt;
    const xcb_window_t window = m_connection->activeWindow();
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;
    if (auto title = m_connection->textProperty(window, "_NET_WM_NAME"))
        return title;
    return m_connection->textProperty(window, "WM_NAME");
}
