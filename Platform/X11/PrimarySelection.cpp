#include "Platform/X11/PrimarySelection.h"

#include "Platform/X11/SelectionTransfer.h"
#include "Platform/X11/XcbConnection.h"

#include <QStringDecoder>
#include <cstdlib>

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
    const uint32_t clientBits = ~xcb_get_setup(connection.connection())->resource_id_mask;
    return owner != XCB_WINDOW_NONE && (owner & clientBits) == (window & clientBits);
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
