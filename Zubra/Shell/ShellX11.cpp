#include "Zubra/Shell/ShellX11.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>

namespace ShellX11 {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

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

xcb_atom_t atom(xcb_connection_t* c, const QByteArray& name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(name.size()), name.constData()), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t screenSelectionOwner(xcb_connection_t* c, const QByteArray& prefix)
{
    if (!c)
        return XCB_WINDOW_NONE;
    const xcb_atom_t selection = atom(c, prefix + QByteArray::number(screenNumber()));
    if (selection == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr), &std::free);
    return owner ? owner->owner : xcb_window_t(XCB_WINDOW_NONE);
}

} // namespace ShellX11
