#include "support/MemoryKeyInjector.h"

static QString chordName(KeyInjector::Chord chord)
{
    switch (chord) {
    case KeyInjector::Chord::Copy:
        return QStringLiteral("Copy");
    }
    return QStringLiteral("?");
}

void MemoryKeyInjector::press(Chord chord)
{
    events.append(QStringLiteral("press ") + chordName(chord));
}

void MemoryKeyInjector::release(Chord chord)
{
    events.append(QStringLiteral("release ") + chordName(chord));
    ++completedChords;
    if (onChord)
        onChord(completedChords);
}
