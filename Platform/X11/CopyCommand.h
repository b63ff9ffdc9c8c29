#pragma once
// Which keystroke makes a window copy its selection to the clipboard. Terminal emulators take
// Control+Shift+C (Control+C interrupts the program running in them); the classic X terminals,
// Emacs and GUI Vim have no copy keystroke that is safe to send (Control+C would act on the
// program or the document): their selection is in PRIMARY.

#include <QString>
#include <xcb/xcb.h>

class XcbConnection;

namespace CopyCommand {

enum class Keys {
    control, // Control+C
    controlShift, // Control+Shift+C
    none, // no keystroke copies; the selection is in PRIMARY
};

// By the window's WM_CLASS (instance or class, any case).
Keys forWindowClass(const QString& instance, const QString& className);
// By the class of the window or, when it names none, of its client window.
Keys forWindow(XcbConnection& connection, xcb_window_t window);

// Whether the class is a terminal emulator's (either kind above): its title and open files
// name the program running in it, never a document its text comes from.
bool isTerminalClass(const QString& instance, const QString& className);
bool isTerminal(XcbConnection& connection, xcb_window_t window);

// Whether selecting is the program's copy, so that its PRIMARY selection may stand for the
// selection it shows: the terminals above, Emacs, GUI Vim and the document viewers that copy by
// selecting (mupdf, zathura), these named by desktop id (any case). Never a browser, a toolkit or
// an unknown program: without a tree nothing tells a password field, and some of them put a
// selected password, or its mask, on PRIMARY.
bool selectingIsCopy(const QString& desktopId, const QString& instance, const QString& className);
// The same for a window, by its class and the desktop entry its application is known by.
bool selectingIsCopy(XcbConnection& connection, xcb_window_t window);

} // namespace CopyCommand
