#include "Platform/X11/X11HotKeyService.h"

#include "Platform/VirtualKeys.h"
#include "Platform/X11/XTestKeyInjector.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <cstdlib>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>

namespace {
constexpr quint32 keysymNumLock = 0xff7f;
constexpr quint32 keysymAltL = 0xffe9;
constexpr quint32 keysymAltR = 0xffea;
constexpr quint32 keysymSuperL = 0xffeb;
constexpr quint32 keysymSuperR = 0xffec;
// The modifier bits of a key event's state; the rest are pointer buttons and the XKB group.
constexpr quint16 modifierBits = 0xff;

struct Free
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;
} // namespace

X11HotKeyService::X11HotKeyService() = default;

X11HotKeyService::~X11HotKeyService()
{
    unregisterHotKey();
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

quint16 X11HotKeyService::modifierState(quint32 mods, const ModifierMasks& masks)
{
    quint16 state = 0;
    if (mods & 0x1000)
        state |= XCB_MOD_MASK_CONTROL;
    if (mods & 0x800)
        state |= masks.alt;
    if (mods & 0x200)
        state |= XCB_MOD_MASK_SHIFT;
    if (mods & 0x100)
        state |= masks.super;
    return state;
}

quint32 X11HotKeyService::modsCarbon(quint16 state, const ModifierMasks& masks)
{
    quint32 mods = 0;
    if (state & XCB_MOD_MASK_CONTROL)
        mods |= 0x1000;
    if (state & masks.alt)
        mods |= 0x800;
    if (state & XCB_MOD_MASK_SHIFT)
        mods |= 0x200;
    if (state & masks.super)
        mods |= 0x100;
    return mods;
}

QList<quint16> X11HotKeyService::lockVariants(quint16 state, const ModifierMasks& masks)
{
    return {state, quint16(state | XCB_MOD_MASK_LOCK), quint16(state | masks.numLock),
        quint16(state | XCB_MOD_MASK_LOCK | masks.numLock)};
}

X11HotKeyService::ModifierMasks X11HotKeyService::currentMasks(xcb_connection_t* c)
{
    ModifierMasks masks;
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    if (!mapping || !symbols) {
        xcb_key_symbols_free(symbols);
        return masks;
    }
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    bool alt = false, super = false, numLock = false;
    // Rows 3 to 7 are Mod1 to Mod5; the first row holding the key's keysym names its modifier.
    for (int row = 3; row < 8; ++row) {
        const quint16 mask = quint16(1 << row);
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[row * perModifier + i];
            if (!code)
                continue;
            for (int column = 0; column < 2; ++column) {
                const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols, code, column);
                if (!alt && (sym == keysymAltL || sym == keysymAltR)) {
                    masks.alt = mask;
                    alt = true;
                } else if (!super && (sym == keysymSuperL || sym == keysymSuperR)) {
                    masks.super = mask;
                    super = true;
                } else if (!numLock && sym == keysymNumLock) {
                    masks.numLock = mask;
                    numLock = true;
                }
            }
        }
    }
    xcb_key_symbols_free(symbols);
    return masks;
}

xcb_keycode_t X11HotKeyService::keycodeOf(xcb_connection_t* c, const char* xkbKeyName)
{
    if (!xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
        return 0;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(c);
    if (device < 0)
        return 0;
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
    if (!context)
        return 0;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, c, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xcb_keycode_t keycode = 0;
    if (keymap) {
        const xkb_keycode_t found = xkb_keymap_key_by_name(keymap, xkbKeyName);
        if (found != XKB_KEYCODE_INVALID && found <= 255)
            keycode = xcb_keycode_t(found);
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return keycode;
}

HotKeyService::Result X11HotKeyService::installHandler(std::function<void()> onPressed)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return {Status::unsupported};
    m_connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return {Status::unsupported};
    m_root = screens.data->root;
    m_onPressed = std::move(onPressed);
    if (!m_filterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return {};
}

void X11HotKeyService::ungrab(const QList<quint16>& states)
{
    for (quint16 state : states)
        xcb_ungrab_key(m_connection, m_keycode, m_root, state);
    xcb_flush(m_connection);
}

HotKeyService::Result X11HotKeyService::registerHotKey(quint32 virtualKeyCode, quint32 mods)
{
    unregisterHotKey();
    if (!m_connection)
        return {Status::notInstalled};
    const auto name = VirtualKeys::xkbKeyName(virtualKeyCode);
    const xcb_keycode_t keycode = name ? keycodeOf(m_connection, name->constData()) : 0;
    if (!keycode)
        return {Status::noSuchKey};

    m_masks = currentMasks(m_connection);
    m_keycode = keycode;
    m_state = modifierState(mods, m_masks);
    const QList<quint16> variants = lockVariants(m_state, m_masks);
    QList<xcb_void_cookie_t> cookies;
    for (quint16 state : variants)
        cookies.append(
            xcb_grab_key_checked(m_connection, 1, m_root, state, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    Result result;
    QList<quint16> granted;
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        Reply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookies[i]));
        if (!error)
            granted.append(variants[i]);
        else if (result.isOk())
            result = {error->error_code == XCB_ACCESS ? Status::taken : Status::refused, error->error_code};
    }
    if (!result.isOk()) {
        // Another client holds one variant: give back the ones we got, so nothing half works.
        ungrab(granted);
        m_keycode = 0;
        return result;
    }
    m_grabbed = granted;
    if (m_injector)
        m_injector->setHotkeyKeycodes({quint8(keycode)});
    return {};
}

void X11HotKeyService::unregisterHotKey()
{
    if (m_connection && !m_grabbed.isEmpty())
        ungrab(m_grabbed);
    m_grabbed.clear();
    m_keycode = 0;
    m_keyDown = false;
    m_releasedAt.reset();
}

bool X11HotKeyService::isRepeat(bool press, xcb_timestamp_t time)
{
    // The key's auto-repeat: with Xkb's detectable auto-repeat, presses without a release between
    // them; without it, each repeat a release and a press at the same time. A key down for longer
    // than any repeat delay without an event is one whose release this filter missed.
    if (!press) {
        m_keyDown = false;
        m_releasedAt = time;
        return false;
    }
    const bool repeat = (m_keyDown && xcb_timestamp_t(time - m_lastPressAt) < repeatBound.count())
        || (m_releasedAt && time == *m_releasedAt);
    m_keyDown = true;
    m_lastPressAt = time;
    return repeat;
}

bool X11HotKeyService::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (m_grabbed.isEmpty() || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Press and release events share one layout.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->detail != m_keycode)
        return false;
    if (type == XCB_KEY_RELEASE) {
        isRepeat(false, key->time); // with whatever modifiers: the key is up
        return false;
    }
    const quint16 ignored = XCB_MOD_MASK_LOCK | m_masks.numLock;
    if ((key->state & modifierBits & ~ignored) != m_state)
        return false;
    // Only a press that follows a release starts a capture; a held key's repeats are swallowed.
    if (!isRepeat(true, key->time) && m_onPressed) {
        // Run after this event is done, from the event loop, never inside the filter.
        auto handler = m_onPressed;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [handler] { handler(); }, Qt::QueuedConnection);
    }
    return true;
}
