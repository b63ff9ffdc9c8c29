#pragma once
// One private connection to the X server, with the window-property reads the backends share.
// Everything read here comes from other clients: sizes are bounded, types checked, and a
// missing or malformed value reads as nothing.

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

class XcbConnection
{
public:
    // Connects to $DISPLAY (or the given display name); null when that fails.
    static std::shared_ptr<XcbConnection> open(const QByteArray& displayName = {});
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    // The atom of a name (created when missing), cached; XCB_ATOM_NONE on failure.
    xcb_atom_t atom(const char* name);

    // A property's bytes when it exists, has the given type (XCB_ATOM_ANY for any) and format,
    // and is no longer than maxBytes.
    std::optional<QByteArray> property(
        xcb_window_t window, xcb_atom_t property, xcb_atom_t type, int maxBytes, uint8_t format = 8);
    std::optional<uint32_t> cardinal(xcb_window_t window, xcb_atom_t property, xcb_atom_t type = XCB_ATOM_CARDINAL);

    struct WindowClass
    {
        QString instance;
        QString className;
    };
    std::optional<WindowClass> windowClass(xcb_window_t window);
    // A UTF-8 or Latin-1 text property (such as _GTK_APPLICATION_ID), bounded.
    std::optional<QString> textProperty(xcb_window_t window, const char* name);

    // The window the user works in: _NET_ACTIVE_WINDOW when a window manager publishes it,
    // else the input focus climbed to its client window. XCB_WINDOW_NONE when there is none, and
    // when the window the window manager names no longer exists.
    xcb_window_t activeWindow();
    bool exists(xcb_window_t window);
    xcb_window_t parentOf(xcb_window_t window);
    // The process that created the window: _NET_WM_PID of the window or an ancestor, else the
    // X-Resource extension's answer for the window's client. Zero when unknown.
    qint32 processOf(xcb_window_t window);
    bool hasExtension(const char* name);

private:
    XcbConnection(xcb_connection_t* connection, xcb_window_t root);
    xcb_window_t clientWindowOf(xcb_window_t window);
    qint32 processFromResources(xcb_window_t window);

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    QMutex m_atomLock;
    QHash<QByteArray, xcb_atom_t> m_atoms;
};
