#pragma once
// A global keyboard shortcut: one key with modifiers that reaches this program whichever
// application has the keyboard. The key is a virtual key code and the modifiers are bits
// (command 0x100, shift 0x200, option 0x800, control 0x1000), as the shortcut is stored.

#include <QtGlobal>
#include <functional>

class HotKeyService
{
public:
    enum class Status {
        ok,
        unsupported, // this desktop delivers no global shortcuts to us
        noSuchKey, // the keyboard has no key at that position
        notInstalled, // registering before the handler was installed
        taken, // another program holds the shortcut (X11's BadAccess)
        refused, // the desktop refused it with another error
    };

    // The outcome of a call: taken and refused carry the desktop's own error code.
    struct Result
    {
        Status status = Status::ok;
        int desktopError = 0;

        bool isOk() const { return status == Status::ok; }
        // The number a log line shows: the desktop's error code, or a negative one of our own.
        int logCode() const
        {
            switch (status) {
            case Status::ok:
                return 0;
            case Status::unsupported:
                return -1;
            case Status::noSuchKey:
                return -2;
            case Status::notInstalled:
                return -3;
            case Status::taken:
            case Status::refused:
                break;
            }
            return desktopError;
        }
        friend bool operator==(const Result&, const Result&) = default;
    };

    virtual ~HotKeyService() = default;
    // Sets the function every press of the registered shortcut runs, on the GUI thread. Only a
    // press that follows a release of the key counts: a held key's auto-repeat runs nothing.
    virtual Result installHandler(std::function<void()> onPressed) = 0;
    // Takes the shortcut, replacing none: unregister first. All or nothing: on failure no part
    // of the shortcut stays taken.
    virtual Result registerHotKey(quint32 virtualKeyCode, quint32 modsCarbon) = 0;
    virtual void unregisterHotKey() = 0;
};
