#pragma once
// Posts synthetic key events into the desktop's input stream, as if typed by the user.

class KeyInjector
{
public:
    enum class Chord {
        Copy, // the copy command of the frontmost application
    };

    virtual ~KeyInjector() = default;
    // Key-down events of the chord, modifiers first. A backend may wait (bounded) before it.
    virtual void press(Chord chord) = 0;
    // Key-up events of exactly the keys the last press put down, in reverse order.
    virtual void release(Chord chord) = 0;
};
