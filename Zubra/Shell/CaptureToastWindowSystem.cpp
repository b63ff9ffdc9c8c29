#include "Zubra/Shell/CaptureToastWindowSystem.h"

#include "Zubra/Shell/ShellX11.h"

namespace CaptureToastWindowSystem {

bool compositing()
{
    return ShellX11::screenSelectionOwner(ShellX11::connection(), "_NET_WM_CM_S") != XCB_WINDOW_NONE;
}

void flush()
{
    if (xcb_connection_t* c = ShellX11::connection())
        xcb_flush(c);
}

} // namespace CaptureToastWindowSystem
