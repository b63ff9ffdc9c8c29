#include "Zubra/Shell/CaptureToastWindowSystem.h"

#include <QByteArray>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace CaptureToastWindowSystem {

namespace {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The screen number of $DISPLAY (":0.1" is screen 1); 0 when it names none.
int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot < 0)
        return 0;
    bool ok = false;
    const int number = display.mid(dot + 1).toInt(&ok);
    return ok && number >= 0 && number < 256 ? number : 0;
}

} // namespace

bool compositing()
{
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(name.size()), name.constData()), nullptr), &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false; // nobody ever named the selection: no compositing manager
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr), &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

void flush()
{
    if (xcb_connection_t* c = connection())
        xcb_flush(c);
}

} // namespace CaptureToastWindowSystem
