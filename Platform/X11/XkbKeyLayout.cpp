#include "Platform/X11/XkbKeyLayout.h"

#include "Platform/VirtualKeys.h"
#include "Platform/X11/XcbConnection.h"

#include <QMutexLocker>
#include <cstdlib>
// The XKB protocol header names a member "explicit": renamed while it is read as C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

XkbKeyLayout::XkbKeyLayout()
    : m_connection(XcbConnection::open())
{
    if (!m_connection)
        return;
    xcb_connection_t* c = m_connection->connection();
    if (!xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &m_firstEvent, nullptr))
        return;
    m_device = xkb_x11_get_core_keyboard_device_id(c);
    m_context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
    if (m_device < 0 || !m_context)
        return;
    // Told of a new keyboard or a changed keymap; the active group is read per lookup instead.
    const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS
        | XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS
        | XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    xcb_xkb_select_events_details_t details {};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    xcb_xkb_select_events_aux(c, uint16_t(m_device), events, 0, 0, mapParts, mapParts, &details);
    xcb_flush(c);
}

XkbKeyLayout::~XkbKeyLayout()
{
    if (m_keymap)
        xkb_keymap_unref(m_keymap);
    if (m_context)
        xkb_context_unref(m_context);
}

xkb_keymap* XkbKeyLayout::keymap()
{
    if (!m_context)
        return nullptr;
    xcb_connection_t* c = m_connection->connection();
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        if (m_firstEvent && event->response_type == m_firstEvent)
            changed = true;
        std::free(event);
    }
    if (changed && m_keymap) {
        xkb_keymap_unref(m_keymap);
        m_keymap = nullptr;
    }
    if (!m_keymap)
        m_keymap = xkb_x11_keymap_new_from_device(m_context, c, m_device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    return m_keymap;
}

QString XkbKeyLayout::keyText(quint32 virtualKeyCode)
{
    const QMutexLocker locker(&m_mutex);
    const auto name = VirtualKeys::xkbKeyName(virtualKeyCode);
    xkb_keymap* map = name ? keymap() : nullptr;
    if (!map)
        return {};
    const xkb_keycode_t key = xkb_keymap_key_by_name(map, name->constData());
    if (key == XKB_KEYCODE_INVALID)
        return {};
    xkb_state* state = xkb_x11_state_new_from_device(map, m_connection->connection(), m_device);
    if (!state)
        return {};
    const xkb_layout_index_t layout = xkb_state_key_get_layout(state, key);
    xkb_state_unref(state);
    if (layout == XKB_LAYOUT_INVALID)
        return {};
    const xkb_keysym_t* syms = nullptr;
    if (xkb_keymap_key_get_syms_by_level(map, key, layout, 0, &syms) < 1)
        return {};
    char text[64] = {};
    const int size = xkb_keysym_to_utf8(syms[0], text, sizeof text);
    return size > 1 ? QString::fromUtf8(text, size - 1) : QString();
}

std::optional<quint32> XkbKeyLayout::virtualKeyCode(quint32 nativeKeyCode)
{
    const QMutexLocker locker(&m_mutex);
    xkb_keymap* map = keymap();
    if (!map)
        return std::nullopt;
    const char* name = xkb_keymap_key_get_name(map, nativeKeyCode);
    if (!name)
        return std::nullopt;
    if (auto code = VirtualKeys::virtualKeyCode(QByteArray(name)))
        return code;
    // A keymap may name the key by an alias of the name the table knows.
    for (quint32 candidate = 0; candidate < 128; ++candidate)
        if (auto known = VirtualKeys::xkbKeyName(candidate))
            if (xkb_keymap_key_by_name(map, known->constData()) == nativeKeyCode)
                return candidate;
    return std::nullopt;
}
