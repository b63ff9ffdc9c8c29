#pragma once
// What the toast asks of the X server beyond Qt: whether a compositing manager runs (it alone
// shows translucent corners and window opacity), and sending queued requests at once. Qt
// queues a window's opacity change until other X traffic happens; an animated fade on a quiet
// desktop would otherwise reach the server only at its end, or never. Off X11 both are no-ops.

namespace CaptureToastWindowSystem {

// A compositing manager owns _NET_WM_CM_S<screen> on the display Qt uses.
bool compositing();
// Sends Qt's queued X requests to the server now.
void flush();

} // namespace CaptureToastWindowSystem
