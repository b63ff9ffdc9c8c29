#pragma once
// The keyboard layout of the X server through xkbcommon: the keymap is read once and read
// again when the server announces a new keyboard or keymap; the active layout (group) is asked
// for each lookup, so a layout switch counts at once.

#include "Platform/KeyLayout.h"

#include <QMutex>
#include <memory>

class XcbConnection;
struct xkb_context;
struct xkb_keymap;

class XkbKeyLayout final : public KeyLayout
{
public:
    // Uses a private connection to $DISPLAY; without an X server every key types nothing.
    XkbKeyLayout();
    ~XkbKeyLayout() override;
    XkbKeyLayout(const XkbKeyLayout&) = delete;
    XkbKeyLayout& operator=(const XkbKeyLayout&) = delete;

    QString keyText(quint32 virtualKeyCode) override;
    std::optional<quint32> virtualKeyCode(quint32 nativeKeyCode) override;

private:
    // The current keymap, re-read when an XKB notification arrived since the last call.
    xkb_keymap* keymap();

    std::shared_ptr<XcbConnection> m_connection;
    QMutex m_mutex;
    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    int32_t m_device = -1;
    uint8_t m_firstEvent = 0;
};
