#pragma once
// A global keyboard shortcut: one key with modifiers that reaches this program whichever
// application has the keyboard. The key is a virtual key code and the modifiers are bits
// (command 0x100, shift 0x200, option 0x800, control 0x1000), as the shortcut is stored.

#include <QtGlobal>
#include <functional>

class HotKeyService
{
public:
    // Status codes of the calls below; any other non-zero value is the desktop's own error code.
    static constexpr int ok = 0;
    static constexpr int unsupported = -1; // this desktop delivers no global shortcuts to us
    static constexpr int noSuchKey = -2; // the keyboard has no key at that position
    static constexpr int notInstalled = -3; // registering before the handler was installed
    static constexpr int taken = 10; // another program holds the shortcut (X11's BadAccess)

    virtual ~HotKeyService() = default;
    // Sets the function every press of the registered shortcut runs, on the GUI thread.
    virtual int installHandler(std::function<void()> onPressed) = 0;
    // Takes the shortcut, replacing none: unregister first. All or nothing: on failure no part
    // of the shortcut stays taken.
    virtual int registerHotKey(quint32 virtualKeyCode, quint32 modsCarbon) = 0;
    virtual void unregisterHotKey() = 0;
};
