#pragma once
// Posts synthetic key events into the desktop's input stream, as if typed by the user.

class KeyInjector
{
public:
    enum class Chord {
        Copy, // the copy command of the frontmost application
    };

    virtual ~KeyInjector() = default;
    // False when the frontmost window has no copy keystroke (a terminal where selecting is
    // copying): a keystroke would reach the program running in it, so none may be sent.
    virtual bool hasCopyCommand() = 0;
    // Key-down events of the chord, modifiers first. A backend may wait (bounded) before it.
    virtual void press(Chord chord) = 0;
    // Key-up events of exactly the keys the last press put down, in reverse order.
    virtual void release(Chord chord) = 0;
};
