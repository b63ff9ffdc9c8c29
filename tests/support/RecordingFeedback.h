#pragma once
// Feedback that only counts what it was asked to sound.

#include "Platform/Feedback.h"

class RecordingFeedback final : public Feedback
{
public:
    void alertBeep() override { ++beeps; }
    void savedSound() override { ++savedSounds; }
    void haptic() override { ++haptics; }

    int beeps = 0;
    int savedSounds = 0;
    int haptics = 0;
};
