// The workspace's running applications, icons and opening services.

#include "Platform/X11/X11Workspace.h"

#include "Platform/X11/DesktopEntries.h"
#include "Platform/X11/IconTheme.h"
#include "Platform/X11/WindowApplication.h"
#include "Platform/X11/WindowIcon.h"
#include "Platform/X11/XcbConnection.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPixmap>
#include <QProcess>
#include <QSet>
#include <QUrl>
#include <cstring>

namespace {
constexpr int maxClientListBytes = 64 * 1024;
constexpr int maxWindowIconBytes = 4 * 1024 * 1024;
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

QList<xcb_window_t> clientList(XcbConnection& x)
{
    QList<xcb_window_t> windows;
    const auto list = x.property(x.root(), x.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, maxClientListBytes, 32);
    for (qsizetype i = 0; list && i + 4 <= list->size(); i += 4) {
        xcb_window_t window = 0;
        std::memcpy(&window, list->constData() + i, 4);
        windows.append(window);
    }
    return windows;
}

bool openFolderOf(const QString& path)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(path).absolutePath()});
}
} // namespace

QList<RunningApplication> X11Workspace::runningApplications()
{
    QList<RunningApplication> apps;
    if (!m_connection)
        return apps;
    QSet<qint32> seen;
    for (xcb_window_t window : clientList(*m_connection)) {
        const qint32 pid = m_connection->processOf(window);
        if (pid <= 0 || seen.contains(pid))
            continue;
        seen.insert(pid);
        if (auto app = applicationOfWindow(*m_connection, window))
            apps.append(*app);
    }
    return apps;
}

std::optional<QIcon> X11Workspace::installedApplicationIcon(const QString& bundleIdentifier)
{
    const auto entry = DesktopEntries::byId(bundleIdentifier);
    if (!entry || entry->icon.isEmpty())
        return std::nullopt;
    return IconTheme::resolve(entry->icon);
}

std::optional<QIcon> X11Workspace::runningApplicationIcon(qint32 processIdentifier)
{
    if (!m_connection || processIdentifier <= 0)
        return std::nullopt;
    const xcb_atom_t iconAtom = m_connection->atom("_NET_WM_ICON");
    for (xcb_window_t window : clientList(*m_connection)) {
        if (m_connection->processOf(window) != processIdentifier)
            continue;
        const auto data = m_connection->property(window, iconAtom, XCB_ATOM_CARDINAL, maxWindowIconBytes, 32);
        if (!data)
            continue;
        if (auto image = WindowIcon::fromProperty(*data))
            return QIcon(QPixmap::fromImage(*image));
    }
    return std::nullopt;
}

bool X11Workspace::openAddress(const QString& address)
{
    if (!isOpenableAddress(address))
        return false;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
}

bool X11Workspace::revealFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    const bool offered = names
        && (names->isServiceRegistered(fileManagerService).value()
            || names->activatableServiceNames().value().contains(fileManagerService));
    if (!offered)
        return openFolderOf(path);

    QDBusMessage call = QDBusMessage::createMethodCall(fileManagerService,
        QStringLiteral("/org/freedesktop/FileManager1"), fileManagerService, QStringLiteral("ShowItems"));
    call << QStringList {QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)}
         << QString();
    // Answered later: a file manager started for this call may take a while to come up.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher* w) {
        if (w->isError())
            openFolderOf(path);
        w->deleteLater();
    });
    return true;
}
