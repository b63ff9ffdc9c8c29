#pragma once
// The shell's few questions to the X server beyond Qt, on Qt's own connection: who owns a
// manager selection of the screen Qt shows on (a compositing manager's, a system tray's), and
// what a window sits on (the panel under a tray icon).

#include <QByteArray>
#include <QColor>
#include <optional>
#include <xcb/xcb.h>

namespace ShellX11 {

// Qt's connection to the X server; null off X11.
xcb_connection_t* connection();
// The screen number of $DISPLAY (":0.1" is screen 1); 0 when it names none.
int screenNumber();
// The atom of an existing name; XCB_ATOM_NONE when nobody ever named it.
xcb_atom_t atom(xcb_connection_t* c, const QByteArray& name);
// The owner of the selection `prefix` + screen number (_NET_WM_CM_S0, _NET_SYSTEM_TRAY_S0);
// XCB_WINDOW_NONE when nobody owns it, nobody ever named it, or there is no X server.
xcb_window_t screenSelectionOwner(xcb_connection_t* c, const QByteArray& prefix);
// The colour most pixels show around the window in the nearest ancestor that shows more than the
// window itself (a few pixels on each side): the panel a tray icon is docked in. None while the
// window is the root's own child, or when the server gives no true-colour pixels.
std::optional<QColor> backgroundAround(xcb_connection_t* c, xcb_window_t window);

} // namespace ShellX11
