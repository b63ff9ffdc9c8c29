#include "Platform/X11/PrimarySelection.h"

#include "Platform/X11/XcbConnection.h"

#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>

namespace PrimarySelection {

qint32 ownerProcess(XcbConnection& connection)
{
    xcb_connection_t* c = connection.connection();
    auto r = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, XCB_ATOM_PRIMARY), nullptr);
    if (!r)
        return 0;
    const xcb_window_t owner = r->owner;
    std::free(r);
    return owner == XCB_WINDOW_NONE ? 0 : connection.processOf(owner);
}

namespace {
// Asks the owner to convert the selection to `target` and waits for its answer.
std::optional<QByteArray> convert(
    XcbConnection& connection, xcb_window_t window, xcb_atom_t target, int timeoutMs, int maxBytes)
{
    xcb_connection_t* c = connection.connection();
    const xcb_atom_t property = connection.atom("TESSELLON_SELECTION");
    xcb_convert_selection(c, window, XCB_ATOM_PRIMARY, target, property, XCB_CURRENT_TIME);
    xcb_flush(c);

    QElapsedTimer timer;
    timer.start();
    bool answered = false, refused = false;
    while (!answered && timer.elapsed() < timeoutMs && !xcb_connection_has_error(c)) {
        xcb_generic_event_t* event = xcb_poll_for_event(c);
        if (!event) {
            QThread::msleep(2);
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
            auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
            if (notify->requestor == window) {
                answered = true;
                refused = notify->property == XCB_ATOM_NONE;
            }
        }
        std::free(event);
    }
    if (!answered || refused)
        return std::nullopt;
    // Refuses incremental transfers and anything over the cap.
    return connection.property(window, property, target, maxBytes);
}
} // namespace

std::optional<QString> read(XcbConnection& connection, int timeoutMs, int maxBytes)
{
    xcb_connection_t* c = connection.connection();
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t mask = XCB_CW_EVENT_MASK;
    const uint32_t values[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, mask, values);

    QElapsedTimer timer;
    timer.start();
    std::optional<QString> text;
    if (auto bytes = convert(connection, window, connection.atom("UTF8_STRING"), timeoutMs, maxBytes))
        text = QString::fromUtf8(*bytes);
    else if (const int left = timeoutMs - int(timer.elapsed()); left > 0)
        if (auto latin = convert(connection, window, XCB_ATOM_STRING, left, maxBytes))
            text = QString::fromLatin1(*latin);
    xcb_destroy_window(c, window);
    xcb_flush(c);
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}

} // namespace PrimarySelection
