#include "Platform/X11/X11Workspace.h"

#include "Platform/X11/CopyCommand.h"
#include "Platform/X11/WindowApplication.h"
#include "Platform/X11/WindowDocument.h"
#include "Platform/X11/XcbConnection.h"

#include <QFile>

namespace {
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
    std::optional<RunningApplication> app = applicationOfWindow(*m_connection, window);
    if (app && !app->localizedName)
        app->localizedName = processName(app->processIdentifier);
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

std::optional<QString> X11Workspace::activeWindowDocument()
{
    if (!m_connection)
        return std::nullopt;
    const xcb_window_t window = m_connection->activeWindow();
    // A terminal's title and open files name the script or program running in it.
    if (window == XCB_WINDOW_NONE || CopyCommand::isTerminal(*m_connection, window))
        return std::nullopt;
    auto title = m_connection->textProperty(window, "_NET_WM_NAME");
    if (!title)
        title = m_connection->textProperty(window, "WM_NAME");
    if (!title)
        return std::nullopt;
    return WindowDocument::path(m_connection->processOf(window), *title);
}
