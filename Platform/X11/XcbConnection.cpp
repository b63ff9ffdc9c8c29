#include "Platform/X11/XcbConnection.h"

#include <QMutexLocker>
#include <cstdlib>
#include <cstring>
#include <xcb/res.h>

namespace {
// A reply freed by RAII.
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T* r)
{
    return Reply<T>(r, &std::free);
}

constexpr int kMaxClimb = 64; // ancestors examined when climbing the window tree
constexpr int kMaxClassBytes = 4096;
constexpr int kMaxTextBytes = 4096;
} // namespace

std::shared_ptr<XcbConnection> XcbConnection::open(const QByteArray& displayName)
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    return std::shared_ptr<XcbConnection>(new XcbConnection(c, it.data->root));
}

XcbConnection::XcbConnection(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection)
    , m_root(root)
{
}

XcbConnection::~XcbConnection()
{
    xcb_disconnect(m_connection);
}

xcb_atom_t XcbConnection::atom(const char* name)
{
    const QByteArray key(name);
    {
        QMutexLocker lock(&m_atomLock);
        if (auto it = m_atoms.constFind(key); it != m_atoms.constEnd())
            return *it;
    }
    auto r = reply(xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, key.size(), name), nullptr));
    if (!r)
        return XCB_ATOM_NONE;
    QMutexLocker lock(&m_atomLock);
    m_atoms.insert(key, r->atom);
    return r->atom;
}

std::optional<QByteArray> XcbConnection::property(
    xcb_window_t window, xcb_atom_t property, xcb_atom_t type, int maxBytes, uint8_t format)
{
    if (window == XCB_WINDOW_NONE || property == XCB_ATOM_NONE || maxBytes <= 0)
        return std::nullopt;
    // Ask for one unit more than allowed so an oversized value is recognised, not cut.
    const uint32_t longs = uint32_t(maxBytes / 4 + 1);
    auto r = reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, longs), nullptr));
    if (!r || r->type == XCB_ATOM_NONE || r->format != format || r->bytes_after > 0)
        return std::nullopt;
    if (type != XCB_ATOM_ANY && r->type != type)
        return std::nullopt;
    const int length = xcb_get_property_value_length(r.get());
    if (length < 0 || length > maxBytes)
        return std::nullopt;
    return QByteArray(static_cast<const char*>(xcb_get_property_value(r.get())), length);
}

std::optional<uint32_t> XcbConnection::cardinal(xcb_window_t window, xcb_atom_t prop, xcb_atom_t type)
{
    auto bytes = property(window, prop, type, 4, 32);
    if (!bytes || bytes->size() != 4)
        return std::nullopt;
    uint32_t value = 0;
    std::memcpy(&value, bytes->constData(), 4);
    return value;
}

std::optional<XcbConnection::WindowClass> XcbConnection::windowClass(xcb_window_t window)
{
    auto bytes = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, kMaxClassBytes);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    // Two NUL-terminated Latin-1 strings: instance, then class.
    const QList<QByteArray> parts = bytes->split('\0');
    WindowClass result;
    result.instance = QString::fromLatin1(parts.value(0));
    result.className = QString::fromLatin1(parts.value(1));
    if (result.instance.isEmpty() && result.className.isEmpty())
        return std::nullopt;
    return result;
}

std::optional<QString> XcbConnection::textProperty(xcb_window_t window, const char* name)
{
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    if (auto bytes = property(window, atom(name), utf8, kMaxTextBytes))
        return QString::fromUtf8(*bytes);
    if (auto bytes = property(window, atom(name), XCB_ATOM_STRING, kMaxTextBytes))
        return QString::fromLatin1(*bytes);
    return std::nullopt;
}

bool XcbConnection::exists(xcb_window_t window)
{
    return reply(
               xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr))
        != nullptr;
}

xcb_window_t XcbConnection::parentOf(xcb_window_t window)
{
    auto r = reply(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
    if (!r || r->parent == m_root)
        return XCB_WINDOW_NONE;
    return r->parent;
}

xcb_window_t XcbConnection::clientWindowOf(xcb_window_t window)
{
    // The nearest ancestor that names its class; without one, the top-level window.
    xcb_window_t topLevel = window;
    for (int i = 0; i < kMaxClimb && window != XCB_WINDOW_NONE; ++i) {
        if (windowClass(window))
            return window;
        topLevel = window;
        window = parentOf(window);
    }
    return topLevel;
}

xcb_window_t XcbConnection::activeWindow()
{
    const xcb_atom_t active = atom("_NET_ACTIVE_WINDOW");
    if (auto window = cardinal(m_root, active, XCB_ATOM_WINDOW); window && *window != XCB_WINDOW_NONE) {
        // A window manager may leave the property naming a window that is gone (a closed dialog
        // with no other window focused): then no window is active, whoever made the old one.
        return exists(*window) ? xcb_window_t(*window) : xcb_window_t(XCB_WINDOW_NONE);
    }
    auto focus = reply(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    if (!focus || focus->focus == XCB_WINDOW_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT
        || focus->focus == m_root)
        return XCB_WINDOW_NONE;
    return clientWindowOf(focus->focus);
}

qint32 XcbConnection::processOf(xcb_window_t window)
{
    const xcb_atom_t pidAtom = atom("_NET_WM_PID");
    xcb_window_t w = window;
    for (int i = 0; i < kMaxClimb && w != XCB_WINDOW_NONE; ++i) {
        if (auto pid = cardinal(w, pidAtom); pid && *pid > 0 && *pid <= uint32_t(INT32_MAX))
            return qint32(*pid);
        w = parentOf(w);
    }
    return processFromResources(window);
}

qint32 XcbConnection::processFromResources(xcb_window_t window)
{
    if (window == XCB_WINDOW_NONE || !hasExtension("X-Resource"))
        return 0;
    // The client that created the window is named by the window id's resource base.
    xcb_res_client_id_spec_t spec;
    spec.client = window;
    spec.mask = XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID;
    auto r = reply(
        xcb_res_query_client_ids_reply(m_connection, xcb_res_query_client_ids(m_connection, 1, &spec), nullptr));
    if (!r)
        return 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem; xcb_res_client_id_value_next(&it)) {
        if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || it.data->length != 4)
            continue;
        const uint32_t pid = *xcb_res_client_id_value_value(it.data);
        if (pid > 0 && pid <= uint32_t(INT32_MAX))
            return qint32(pid);
    }
    return 0;
}

bool XcbConnection::hasExtension(const char* name)
{
    const auto length = uint16_t(std::strlen(name));
    auto r = reply(xcb_query_extension_reply(m_connection, xcb_query_extension(m_connection, length, name), nullptr));
    return r && r->present;
}
