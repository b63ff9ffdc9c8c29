#pragma once
// Feedback that records which sounds were asked for, in order.

#include "Platform/Feedback.h"

#include <QStringList>

class RecordingFeedback final : public Feedback
{
public:
    void alertBeep() override { sounds.append(QStringLiteral("beep")); }
    void savedSound() override { sounds.append(QStringLiteral("saved")); }
    void haptic() override { sounds.append(QStringLiteral("haptic")); }

    QStringList sounds;
};
