#pragma once
// The sounds that answer a capture, and touch feedback where the hardware has it.

class Feedback
{
public:
    virtual ~Feedback() = default;
    // The alert beep: a refusal or a failed capture.
    virtual void alertBeep() = 0;
    // The sound of a saved capture.
    virtual void savedSound() = 0;
    // A light tap on a device that can give one; nothing elsewhere.
    virtual void haptic() { }
};
