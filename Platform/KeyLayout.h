#pragma once
// The current keyboard layout: what a key types, and which key the user pressed.

#include <QString>
#include <QtGlobal>
#include <optional>

class KeyLayout
{
public:
    virtual ~KeyLayout() = default;
    // The text the key at that virtual key code types without modifiers (level 0) on the
    // current layout; empty when it types nothing or the key does not exist.
    virtual QString keyText(quint32 virtualKeyCode) = 0;
    // The virtual key code of a key event's native key code (an X keycode); nothing for a key
    // without one.
    virtual std::optional<quint32> virtualKeyCode(quint32 nativeKeyCode) = 0;
};

// A US layout that never changes: the layout of a program without a keyboard (tests, the
// off-screen export).
class UsKeyLayout final : public KeyLayout
{
public:
    QString keyText(quint32 virtualKeyCode) override;
    // Knows no native key codes.
    std::optional<quint32> virtualKeyCode(quint32) override { return std::nullopt; }
};
