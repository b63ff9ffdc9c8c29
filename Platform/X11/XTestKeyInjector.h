#pragma once
// Synthetic key events through the XTEST extension. Before pressing, it waits (at most about
// a second) until the keys of the capture hotkey are up: while the hotkey's key is down its
// grab takes the synthetic keys, and a held Alt or Super turns Control+C into another chord.
// Terminal emulators get Control+Shift+C, everything else Control+C; a terminal without a copy
// keystroke (xterm) gets nothing.

#include "Platform/KeyInjector.h"
#include "Platform/X11/CopyCommand.h"

#include <QList>
#include <QSet>
#include <QString>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class XcbConnection;

class XTestKeyInjector final : public KeyInjector
{
public:
    XTestKeyInjector();
    explicit XTestKeyInjector(std::shared_ptr<XcbConnection> connection);
    ~XTestKeyInjector() override; // releases any key it still holds down

    bool hasCopyCommand() override;
    void press(Chord chord) override;
    void release(Chord chord) override;

    // The key codes of the hotkey to wait for besides the modifiers; without them every key counts.
    // Set on the GUI thread while a capture may be pressing keys on its worker.
    void setHotkeyKeycodes(const QList<quint8>& keycodes);
    void setReleaseWait(std::chrono::milliseconds wait) { m_releaseWait = wait; }

    // Whether one of the watched keys (any key when none are given) is down; nothing when the
    // server does not answer.
    static std::optional<bool> keysDown(XcbConnection& connection, const QSet<quint8>& watched = {});
    // Waits until none of them is down, at most `bound`; true when they are all up.
    static bool waitForKeysUp(XcbConnection& connection, const QSet<quint8>& watched, std::chrono::milliseconds bound);

    // The key symbols of a copy keystroke, modifiers first; empty for none.
    static QList<quint32> copyKeysyms(CopyCommand::Keys keys);

private:
    bool waitForHeldKeys();
    void fake(quint8 keycode, bool down);

    std::shared_ptr<XcbConnection> m_connection;
    std::mutex m_hotkeyKeycodesMutex; // guards m_hotkeyKeycodes
    QList<quint8> m_hotkeyKeycodes;
    QList<quint8> m_down;
    std::chrono::milliseconds m_releaseWait {1000};
};
