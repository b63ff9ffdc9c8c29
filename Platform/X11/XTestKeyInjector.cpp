#include "Platform/X11/XTestKeyInjector.h"

#include "Platform/X11/XcbConnection.h"

#include <QSet>
#include <cstdlib>
#include <thread>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace {
constexpr quint32 keysymC = 0x0063;
constexpr quint32 keysymShiftL = 0xffe1;
constexpr quint32 keysymControlL = 0xffe3;
constexpr std::chrono::milliseconds heldKeysPoll {10};
} // namespace

XTestKeyInjector::XTestKeyInjector()
    : m_connection(XcbConnection::open())
{
}

XTestKeyInjector::XTestKeyInjector(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection))
{
}

XTestKeyInjector::~XTestKeyInjector()
{
    release(Chord::Copy);
}

QList<quint32> XTestKeyInjector::copyKeysyms(CopyCommand::Keys keys)
{
    switch (keys) {
    case CopyCommand::Keys::control:
        return {keysymControlL, keysymC};
    case CopyCommand::Keys::controlShift:
        return {keysymControlL, keysymShiftL, keysymC};
    case CopyCommand::Keys::none:
        break;
    }
    return {};
}

bool XTestKeyInjector::hasCopyCommand()
{
    if (!m_connection)
        return true;
    return CopyCommand::forWindow(*m_connection, m_connection->activeWindow()) != CopyCommand::Keys::none;
}

void XTestKeyInjector::setHotkeyKeycodes(const QList<quint8>& keycodes)
{
    const std::lock_guard lock(m_hotkeyKeycodesMutex);
    m_hotkeyKeycodes = keycodes;
}

bool XTestKeyInjector::waitForHeldKeys()
{
    xcb_connection_t* c = m_connection->connection();
    QList<quint8> hotkeyKeycodes;
    {
        const std::lock_guard lock(m_hotkeyKeycodesMutex);
        hotkeyKeycodes = m_hotkeyKeycodes;
    }
    QSet<quint8> watched(hotkeyKeycodes.cbegin(), hotkeyKeycodes.cend());
    if (!watched.isEmpty()) {
        auto mapping = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
        if (mapping) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping);
            const int n = xcb_get_modifier_mapping_keycodes_length(mapping);
            for (int i = 0; i < n; ++i)
                if (codes[i])
                    watched.insert(codes[i]);
            std::free(mapping);
        }
    }
    return waitForKeysUp(*m_connection, watched, m_releaseWait);
}

std::optional<bool> XTestKeyInjector::keysDown(XcbConnection& connection, const QSet<quint8>& watched)
{
    xcb_connection_t* c = connection.connection();
    auto keymap = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    if (!keymap)
        return std::nullopt;
    bool held = false;
    for (int code = 8; code < 256 && !held; ++code) {
        const bool down = keymap->keys[code / 8] & (1 << (code % 8));
        held = down && (watched.isEmpty() || watched.contains(quint8(code)));
    }
    std::free(keymap);
    return held;
}

bool XTestKeyInjector::waitForKeysUp(
    XcbConnection& connection, const QSet<quint8>& watched, std::chrono::milliseconds bound)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto held = keysDown(connection, watched);
        if (!held)
            return false;
        if (!*held)
            return true;
        if (std::chrono::steady_clock::now() - start >= bound)
            return false;
        std::this_thread::sleep_for(heldKeysPoll);
    }
}

void XTestKeyInjector::fake(quint8 keycode, bool down)
{
    xcb_connection_t* c = m_connection->connection();
    xcb_test_fake_input(c, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
}

void XTestKeyInjector::press(Chord)
{
    if (!m_connection || !m_down.isEmpty())
        return;
    waitForHeldKeys();

    const QList<quint32> keysyms = copyKeysyms(CopyCommand::forWindow(*m_connection, m_connection->activeWindow()));
    if (keysyms.isEmpty())
        return;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection->connection());
    if (!symbols)
        return;
    QList<quint8> codes;
    for (quint32 keysym : keysyms) {
        xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, keysym);
        if (found && found[0] != XCB_NO_SYMBOL)
            codes.append(found[0]);
        std::free(found);
    }
    xcb_key_symbols_free(symbols);
    if (codes.size() != keysyms.size())
        return; // a layout without one of the keys: post nothing rather than a partial chord
    for (quint8 code : codes) {
        fake(code, true);
        m_down.append(code);
    }
    xcb_flush(m_connection->connection());
}

void XTestKeyInjector::release(Chord)
{
    if (!m_connection || m_down.isEmpty())
        return;
    for (auto it = m_down.crbegin(); it != m_down.crend(); ++it)
        fake(*it, false);
    m_down.clear();
    // A round trip, so the server has processed the events when this returns.
    std::free(xcb_get_input_focus_reply(
        m_connection->connection(), xcb_get_input_focus(m_connection->connection()), nullptr));
}
