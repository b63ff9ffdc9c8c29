#pragma once
// Feedback that records which sounds were asked for, in order, and counts each kind.

#include "Platform/Feedback.h"

#include <QStringList>

class RecordingFeedback final : public Feedback
{
public:
    void alertBeep() override
    {
        ++beeps;
        sounds.append(QStringLiteral("beep"));
    }
    void savedSound() override
    {
        ++savedSounds;
        sounds.append(QStringLiteral("saved"));
    }
    void haptic() override
    {
        ++haptics;
        sounds.append(QStringLiteral("haptic"));
    }

    QStringList sounds;
    int beeps = 0;
    int savedSounds = 0;
    int haptics = 0;
};
