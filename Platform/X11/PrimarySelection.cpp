#include "Platform/X11/PrimarySelection.h"

#include "Platform/X11/SelectionTransfer.h"
#include "Platform/X11/XcbConnection.h"

#include <QFile>
#include <QStringDecoder>
#include <cstdlib>
#include <cstring>

namespace {
// Processes between a program and the terminal it runs in: a shell, a multiplexer, a sudo.
constexpr int maxAncestry = 32;
constexpr int maxClientWindows = 16 * 1024;

// The parent of a process from /proc/PID/stat, zero when it cannot be read.
qint32 parentProcess(qint32 pid)
{
    QFile stat(QStringLiteral("/proc/") + QString::number(pid) + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (comm) state ppid ...": the name may hold spaces and parentheses, so the fields
    // start after its last closing parenthesis.
    const QByteArray line = stat.read(1024);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 1).simplified().split(' ');
    bool ok = false;
    const qint32 parent = fields.value(1).toInt(&ok);
    return ok && parent > 0 ? parent : 0;
}

// The bits of a window id that name the X client that made it.
uint32_t clientOf(XcbConnection& connection, xcb_window_t window)
{
    return window & ~xcb_get_setup(connection.connection())->resource_id_mask;
}

// Whether the client shows a window of the window manager's client list.
bool clientHasListedWindow(XcbConnection& connection, uint32_t client)
{
    const auto list = connection.property(
        connection.root(), connection.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, maxClientWindows * 4, 32);
    for (qsizetype i = 0; list && i + 4 <= list->size(); i += 4) {
        xcb_window_t window = XCB_WINDOW_NONE;
        std::memcpy(&window, list->constData() + i, 4);
        if (clientOf(connection, window) == client)
            return true;
    }
    return false;
}
} // namespace

namespace PrimarySelection {

xcb_window_t ownerWindow(XcbConnection& connection)
{
    xcb_connection_t* c = connection.connection();
    auto r = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, XCB_ATOM_PRIMARY), nullptr);
    if (!r)
        return XCB_WINDOW_NONE;
    const xcb_window_t owner = r->owner;
    std::free(r);
    return owner;
}

qint32 ownerProcess(XcbConnection& connection)
{
    const xcb_window_t owner = ownerWindow(connection);
    return owner == XCB_WINDOW_NONE ? 0 : connection.processOf(owner);
}

bool ownedByClientOf(XcbConnection& connection, xcb_window_t window)
{
    if (window == XCB_WINDOW_NONE)
        return false;
    const xcb_window_t owner = ownerWindow(connection);
    // The server gives every client the same mask; the bits above it name the client.
    return owner != XCB_WINDOW_NONE && clientOf(connection, owner) == clientOf(connection, window);
}

bool isDescendantProcess(qint32 descendant, qint32 ancestor)
{
    if (descendant <= 0 || ancestor <= 0 || descendant == ancestor)
        return false;
    qint32 pid = descendant;
    for (int i = 0; i < maxAncestry && pid > 1; ++i) {
        pid = parentProcess(pid);
        if (pid == ancestor)
            return true;
    }
    return false;
}

bool ownedByDescendantOf(XcbConnection& connection, qint32 processIdentifier)
{
    const xcb_window_t owner = ownerWindow(connection);
    if (owner == XCB_WINDOW_NONE || !isDescendantProcess(connection.processOf(owner), processIdentifier))
        return false;
    return !clientHasListedWindow(connection, clientOf(connection, owner));
}

std::optional<QString> read(std::chrono::milliseconds timeout, qsizetype maxBytes)
{
    SelectionTransfer::Reader reader;
    const QDeadlineTimer deadline(timeout);
    std::optional<QString> text;
    if (auto utf8 = reader.read(XCB_ATOM_PRIMARY, QStringLiteral("UTF8_STRING"), deadline, maxBytes);
        utf8 && utf8->format == 8) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder.decode(utf8->bytes);
        if (!decoder.hasError())
            text = decoded;
    }
    if (!text && !deadline.hasExpired()) {
        if (auto latin = reader.read(XCB_ATOM_PRIMARY, QStringLiteral("STRING"), deadline, maxBytes);
            latin && latin->format == 8)
            text = QString::fromLatin1(latin->bytes);
    }
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}

} // namespace PrimarySelection
