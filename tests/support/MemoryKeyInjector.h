#pragma once
// Records the key chords posted and lets a test react to each one, as the frontmost
// application would.

#include "Platform/KeyInjector.h"

#include <QStringList>
#include <functional>

class MemoryKeyInjector final : public KeyInjector
{
public:
    bool hasCopyCommand() override { return copyCommand; }
    void press(Chord chord) override;
    void release(Chord chord) override;

    // "press Copy" and "release Copy", in order.
    QStringList events;
    int completedChords = 0;
    // False: the frontmost window is a terminal where selecting is copying.
    bool copyCommand = true;
    // Called after each release with the number of chords completed so far (1 for the first).
    std::function<void(int)> onChord;
};
