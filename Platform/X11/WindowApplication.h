#pragma once
// Which application a top-level window belongs to: its process, the desktop entry it declares
// or its class matches, and a display name from that entry or the class.

#include "Platform/Workspace.h"

#include <optional>
#include <xcb/xcb.h>

class XcbConnection;

// Nothing for a window without a known process.
std::optional<RunningApplication> applicationOfWindow(XcbConnection& x, xcb_window_t window);
