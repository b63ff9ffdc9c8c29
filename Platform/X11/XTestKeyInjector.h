#pragma once
// Synthetic key events through the XTEST extension. Before pressing, it waits (at most about
// a second) until the keys of the capture hotkey are up: while the hotkey's key is down its
// grab takes the synthetic keys, and a held Alt or Super turns Control+C into another chord.
// Terminal emulators get Control+Shift+C, everything else Control+C.

#include "Platform/KeyInjector.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>

class XcbConnection;

class XTestKeyInjector final : public KeyInjector
{
public:
    XTestKeyInjector();
    explicit XTestKeyInjector(std::shared_ptr<XcbConnection> connection);
    ~XTestKeyInjector() override; // releases any key it still holds down

    void press(Chord chord) override;
    void release(Chord chord) override;

    // The key codes of the hotkey to wait for besides the modifiers; without them every key counts.
    void setHotkeyKeycodes(const QList<quint8>& keycodes) { m_hotkeyKeycodes = keycodes; }
    void setReleaseWait(double seconds) { m_releaseWait = seconds; }

    // True when a window of that WM_CLASS (instance or class, any case) is a terminal emulator.
    static bool isTerminal(const QString& instance, const QString& className);
    // The key symbols the copy chord consists of for that kind of window, modifiers first.
    static QList<quint32> copyKeysyms(bool terminal);

private:
    bool waitForHeldKeys();
    void fake(quint8 keycode, bool down);

    std::shared_ptr<XcbConnection> m_connection;
    QList<quint8> m_hotkeyKeycodes;
    QList<quint8> m_down;
    double m_releaseWait = 1.0;
};
