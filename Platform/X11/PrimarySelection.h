#pragma once
// The X PRIMARY selection (the text last highlighted), read directly from its owner with a
// deadline and a size cap.

#include <QString>
#include <chrono>
#include <optional>
#include <xcb/xcb.h>

class XcbConnection;

namespace PrimarySelection {

// The window that owns the selection, XCB_WINDOW_NONE when nobody does.
xcb_window_t ownerWindow(XcbConnection& connection);
// The process that owns the selection, or zero when nobody does or it cannot be told.
qint32 ownerProcess(XcbConnection& connection);
// True when the selection's owner is the X client that made the window.
bool ownedByClientOf(XcbConnection& connection, xcb_window_t window);
// True when the selection's owner is a process started below `processIdentifier` (vim running
// in a terminal holds PRIMARY through an X connection of its own) whose X client shows no window
// the window manager lists: a program with windows of its own is an application of its own.
bool ownedByDescendantOf(XcbConnection& connection, qint32 processIdentifier);
// Whether `descendant` was started, directly or through others, by `ancestor` (from /proc).
bool isDescendantProcess(qint32 descendant, qint32 ancestor);

// How long an owner may take to answer: about as long as a capture waits for a copy. A program
// that converts its selection in script (Emacs) can take over half a second on a busy machine.
constexpr std::chrono::milliseconds ownerAnswer {1500};

// The selection as text (UTF-8, else Latin-1), incremental transfers included; nothing when
// there is none, when the owner does not answer within the timeout, or when the text exceeds
// maxBytes.
std::optional<QString> read(std::chrono::milliseconds timeout = ownerAnswer, qsizetype maxBytes = 16 * 1024 * 1024);

} // namespace PrimarySelection
