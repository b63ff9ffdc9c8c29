#pragma once
// The global shortcut on X11: a passive grab of the key on the root window, taken through Qt's
// own connection (key events reach only the connection that grabbed), in four variants so that
// Caps Lock and Num Lock do not matter. A native event filter picks the presses out of Qt's
// event stream; a held key's auto-repeat is no press. Modifier bits map to X modifiers found at
// run time: control → Control, option → the modifier Alt is on, shift → Shift, command → the
// modifier Super is on.

#include "Platform/HotKeyService.h"

#include <QAbstractNativeEventFilter>
#include <QList>
#include <chrono>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

class XTestKeyInjector;

class X11HotKeyService final : public HotKeyService, public QAbstractNativeEventFilter
{
public:
    // Which X modifier (a Mod1 to Mod5 mask) each of these keys sets.
    struct ModifierMasks
    {
        quint16 alt = XCB_MOD_MASK_1;
        quint16 super = XCB_MOD_MASK_4;
        quint16 numLock = XCB_MOD_MASK_2;
    };

    X11HotKeyService();
    ~X11HotKeyService() override;

    // After each registration the injector learns the key to wait for before a synthetic copy.
    void setKeyInjector(std::shared_ptr<XTestKeyInjector> injector) { m_injector = std::move(injector); }

    // Fails with `unsupported` when the application does not run on the xcb platform.
    Result installHandler(std::function<void()> onPressed) override;
    Result registerHotKey(quint32 virtualKeyCode, quint32 modsCarbon) override;
    void unregisterHotKey() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The X modifier state of modifier bits, and back (Lock and Num Lock ignored).
    static quint16 modifierState(quint32 modsCarbon, const ModifierMasks& masks);
    static quint32 modsCarbon(quint16 state, const ModifierMasks& masks);
    // The four states grabbed for one shortcut: as is, with Lock, with Num Lock, with both.
    static QList<quint16> lockVariants(quint16 state, const ModifierMasks& masks);

    // The masks of the connection's current modifier mapping.
    static ModifierMasks currentMasks(xcb_connection_t* connection);
    // The keycode at an XKB key name on the connection's keyboard; 0 when there is none.
    static xcb_keycode_t keycodeOf(xcb_connection_t* connection, const char* xkbKeyName);

    // Whether a press of the shortcut's key, at that server time, is its auto-repeat; a release
    // (press false) is recorded and is none.
    bool isRepeat(bool press, xcb_timestamp_t time);
    // The longest a held key goes without a repeat: longer, and the press counts as new.
    static constexpr std::chrono::milliseconds repeatBound {2000};

private:
    void ungrab(const QList<quint16>& states);

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    std::function<void()> m_onPressed;
    std::shared_ptr<XTestKeyInjector> m_injector;
    bool m_filterInstalled = false;
    ModifierMasks m_masks;
    xcb_keycode_t m_keycode = 0;
    quint16 m_state = 0;
    QList<quint16> m_grabbed;
    // The shortcut's key as its events left it, to tell a new press from a repeat.
    bool m_keyDown = false;
    xcb_timestamp_t m_lastPressAt = 0;
    std::optional<xcb_timestamp_t> m_releasedAt;
};
