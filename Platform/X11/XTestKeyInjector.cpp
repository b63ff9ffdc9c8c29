#include "Platform/X11/XTestKeyInjector.h"

#include "Platform/X11/XcbConnection.h"

#include <QElapsedTimer>
#include <QSet>
#include <QThread>
#include <cstdlib>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace {
constexpr quint32 kKeysymC = 0x0063;
constexpr quint32 kKeysymShiftL = 0xffe1;
constexpr quint32 kKeysymControlL = 0xffe3;

// WM_CLASS names (lower case) of terminal emulators, whose copy chord is Control+Shift+C.
const QSet<QString>& terminalClasses()
{
    static const QSet<QString> classes {
        QStringLiteral("xterm"),
        QStringLiteral("uxterm"),
        QStringLiteral("urxvt"),
        QStringLiteral("rxvt"),
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("org.gnome.console"),
        QStringLiteral("kgx"),
        QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"),
        QStringLiteral("lxterminal"),
        QStringLiteral("qterminal"),
        QStringLiteral("terminator"),
        QStringLiteral("tilix"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("foot"),
        QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("st"),
        QStringLiteral("st-256color"),
        QStringLiteral("terminology"),
        QStringLiteral("sakura"),
        QStringLiteral("guake"),
        QStringLiteral("tilda"),
        QStringLiteral("yakuake"),
        QStringLiteral("termite"),
        QStringLiteral("eterm"),
        QStringLiteral("cool-retro-term"),
        QStringLiteral("x-terminal-emulator"),
    };
    return classes;
}
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

bool XTestKeyInjector::isTerminal(const QString& instance, const QString& className)
{
    return terminalClasses().contains(instance.toLower()) || terminalClasses().contains(className.toLower());
}

QList<quint32> XTestKeyInjector::copyKeysyms(bool terminal)
{
    if (terminal)
        return {kKeysymControlL, kKeysymShiftL, kKeysymC};
    return {kKeysymControlL, kKeysymC};
}

bool XTestKeyInjector::waitForHeldKeys()
{
    xcb_connection_t* c = m_connection->connection();
    QSet<quint8> watched(m_hotkeyKeycodes.cbegin(), m_hotkeyKeycodes.cend());
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
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        auto keymap = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
        if (!keymap)
            return false;
        bool held = false;
        for (int code = 8; code < 256 && !held; ++code) {
            const bool down = keymap->keys[code / 8] & (1 << (code % 8));
            held = down && (watched.isEmpty() || watched.contains(quint8(code)));
        }
        std::free(keymap);
        if (!held)
            return true;
        if (timer.elapsed() >= qint64(m_releaseWait * 1000))
            return false;
        QThread::msleep(10);
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

    bool terminal = false;
    const xcb_window_t window = m_connection->activeWindow();
    if (auto windowClass = m_connection->windowClass(window))
        terminal = isTerminal(windowClass->instance, windowClass->className);

    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection->connection());
    if (!symbols)
        return;
    QList<quint8> codes;
    for (quint32 keysym : copyKeysyms(terminal)) {
        xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, keysym);
        if (found && found[0] != XCB_NO_SYMBOL)
            codes.append(found[0]);
        std::free(found);
    }
    xcb_key_symbols_free(symbols);
    if (codes.size() != copyKeysyms(terminal).size())
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
